#!/usr/bin/env bash
# The review page of real runs, used in headless Chromium as a person uses it (see
# review_check.js), with npm's playwright-core driving Debian's chromium. playwright-core
# is put into the build folder when missing; the check is skipped (exit 77) with a note only
# when Node.js, Chromium or playwright-core cannot be had. A screenshot of the editor is saved
# in the build folder.
# Usage: review_page.sh <build folder>.
set -euo pipefail
build=$(realpath "${1:?usage: review_page.sh <build folder>}")
here=$(dirname "$(realpath "$0")")
source "$here/browser-tools.sh"
need_node
need_chromium

# The page's own script must parse before any page is opened.
for script in "$here"/../../src/cli/review/*.js; do node --check "$script"; done

need_npm "$build" playwright-core@1

work=$(mktemp -d "$build/review-page.XXXXXX")
# A song that shares no top folder with the page, which the saved list names whole.
top=$(cut -d/ -f2 <<< "$work")
[[ $top == var ]] && parent=/tmp || parent=/var/tmp
outside=$(mktemp -d -p "$parent")
trap 'rm -rf "$work" "$outside"' EXIT

node "$here/review_check.js" "$build/lumbrisk-cli" "$build/bench/review_page_bench" "$modules" "$work" "$outside" \
  "$build/review-page.png"
