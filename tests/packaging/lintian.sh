#!/usr/bin/env bash
# Builds the Debian package from a build folder into a private folder and checks it with
# lintian as CI would: any error or warning fails; notes of lower levels are shown only.
# Usage: lintian.sh <build folder>. Exits 77 (skipped) when lintian is not installed.
set -euo pipefail
build=$(realpath "${1:?usage: lintian.sh <build folder>}")
command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" \
  || { cat "$work/cpack.log"; exit 1; }
package=("$work"/lumbrisk_*.deb)
lintian --info --display-level '>=pedantic' --fail-on error,warning "${package[@]}"
