#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Lumbrisk need.
# Does nothing when everything is present already.
set -euo pipefail

packages=(
  # build
  cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev help2man
  # tags and pictures; loudness; decoding and analysis of the audio
  libtag1-dev zlib1g-dev libebur128-dev libmpg123-dev libfftw3-dev libaubio-dev
  # run: audio tools, Arial-compatible font, platform plugins
  sox libsox-fmt-mp3 ffmpeg fonts-liberation libqt6gui6 qt6-qpa-plugins xdg-utils
  # tests and screenshots on a real X server
  xvfb xauth xdotool x11-utils imagemagick desktop-file-utils bash-completion
  # bench/cli_vs_parallel.sh
  parallel
  # the Debian package: dpkg-shlibdeps finds the linked libraries' packages; its checks
  dpkg-dev file lintian appstream
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
