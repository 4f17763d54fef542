#!/usr/bin/env bash
# Takes the README's screenshot: the window on a private Xvfb server with the sample files
# loaded, saved as docs/screenshot.png. Your own settings are not touched.
#
# Usage: scripts/screenshot.sh [lumbrisk executable, default build/lumbrisk]
set -euo pipefail

program=$(realpath "${1:-$(dirname "$0")/../build/lumbrisk}")
cd "$(dirname "$0")/.."
source scripts/xsession.sh

config=$(mktemp -d)
program_pid=
finish() {
  set +e # clean up whatever fails
  [[ -n "$program_pid" ]] && kill "$program_pid" 2>/dev/null
  xsession_stop
  rm -rf "$config"
}
trap finish EXIT

xsession_start
XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= "$program" 2>/dev/null &
program_pid=$!
window=$(xsession_wait_window Lumbrisk 30)

xsession_click_twips "$window" 4080 6200 3840 405 # "Load Sample/Example Files"
# It then offers to open the samples' folder: answer No.
if question=$(xsession_wait_window Lumbrisk 5 "$window" 2>/dev/null); then
  xdotool windowfocus --sync "$question" key Escape
fi
xdotool mousemove --sync 0 0 # no hover highlight or tooltip in the picture
sleep 1

mkdir -p docs
import -window "$window" docs/screenshot.png
echo "docs/screenshot.png"
