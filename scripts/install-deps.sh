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
  # bench/cli_vs_parallel.sh; the README's recipes for large catalogues, run by the tests
  parallel slurm-wlm munge openssh-server openssh-client
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
# The tests start munged, slurmctld, slurmd and sshd of their own; their packages must not
# start them as system services. Where no policy denies that already, one does for the
# install alone.
policy=/usr/sbin/policy-rc.d
if [[ ! -e $policy ]]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" > /dev/null
  $sudo chmod 755 "$policy"
  trap '$sudo rm -f "$policy"' EXIT
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
