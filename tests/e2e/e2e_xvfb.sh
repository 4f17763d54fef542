#!/usr/bin/env bash
# End-to-end run of the real lumbrisk program on a private Xvfb server, driven by real X
# events as a person would drive it: every click lands where the window layout puts the
# control (window position + the control's place in twips / 15), so a control that is
# moved, hidden or disabled makes the run fail.
#
# Run 1 (empty settings folder): type start and duration, pick "64 kbps", type the output
# folder, add two MP3 files through the file dialog, press "Start Creating", expect the
# closing message and two separate previews. Run 2 (same settings folder, nothing typed):
# choose joining, load the sample files (beside the program), add one more file, press
# "Start Creating"; the joined preview proves that start, duration, bit rate and output
# folder came back from the settings. Run 3: type auto as the start, choose separate files
# and make the preview of a sample song: it must start where lumbrisk-cli finds its chorus.
#
# Usage: e2e_xvfb.sh <lumbrisk executable> <screenshot file written when the run fails>
set -euo pipefail

usage="usage: e2e_xvfb.sh <lumbrisk executable> <failure screenshot file>"
program=$(realpath "${1:?$usage}")
failure_screenshot=$(realpath "${2:?$usage}")
source "$(dirname "$0")/../../scripts/xsession.sh"

# The files beside the program: next to it in the build tree, in share/lumbrisk when installed.
program_folder=$(dirname "$program")
[[ -d "$program_folder/../share/lumbrisk" ]] && program_folder=$(realpath "$program_folder/../share/lumbrisk")

work=$(mktemp -d)
program_pid=
finish() {
  local status=$?
  set +e # clean up whatever fails
  if [[ $status -ne 0 ]]; then
    [[ -n "${XSESSION_XVFB_PID:-}" ]] && import -window root "$failure_screenshot" 2>/dev/null \
      && echo "screenshot of the failure: $failure_screenshot"
    echo "--- program output ---"
    cat "$work/program.log"
  fi
  [[ -n "$program_pid" ]] && kill "$program_pid" 2>/dev/null
  xsession_stop
  rm -rf "$work"
  exit "$status"
}
trap finish EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# --- driving the window ----------------------------------------------------------------

window=

# Clicks a control of the window, given in twips as in the window layout.
click_twips() {
  xsession_click_twips "$window" "$@"
}

# Replaces the text of the line edit that has the keyboard focus.
type_text() {
  xdotool key ctrl+a
  xdotool type --delay 15 "$1"
  sleep 0.2
}

start_program() {
  mkdir -p "$work/config" "$work/home" "$work/tmp" "$work/runtime"
  chmod 700 "$work/runtime"
  (cd "$work/music" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/config" TEMP="$work/tmp" \
    XDG_RUNTIME_DIR="$work/runtime" \
    QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= "$program" >>"$work/program.log" 2>&1) &
  program_pid=$!
  window=$(xsession_wait_window Lumbrisk 30) || fail "the window did not open"
  [[ "$(xprop -id "$window" _NET_WM_ICON)" == *"Icon (48 x 48)"* ]] || fail "the window has no program icon"
}

stop_program() {
  kill "$program_pid"
  wait "$program_pid" 2>/dev/null || true
  program_pid=
}

# Presses "Add MP3 File(s)" and picks the named files of the music folder in the dialog.
add_files() {
  click_twips 120 5680 3840 405 # PushButton1 "Add MP3 File(s)"
  local dialog
  dialog=$(xsession_wait_window "Add File\(s\) - Hold Ctrl to select multiple files" 10) \
    || fail "\"Add MP3 File(s)\" did not open the file dialog"
  xdotool windowfocus --sync "$dialog"
  type_text "$work/music/"
  xdotool key Return
  sleep 0.5
  type_text "$1"
  xdotool key Return
  for _ in $(seq 50); do
    [[ "$(xwininfo -id "$dialog" 2>/dev/null)" == *IsViewable* ]] || return 0
    sleep 0.1
  done
  fail "the file dialog did not accept $1"
}

# Presses "Start Creating" and waits for the job's closing message box, which must be
# titled "Lumbrisk" (an error report is titled "Application Error"), then closes it. Its
# text cannot be read through X; the previews checked afterwards show what the job did.
start_creating() {
  click_twips 8040 5680 7800 405 # PushButton2 "Start Creating"
  local box title
  box=$(xsession_wait_window ".+" 60 "$window") || fail "no message box after \"Start Creating\""
  title=$(xdotool getwindowname "$box")
  [[ "$title" == Lumbrisk ]] || fail "a box titled \"$title\" instead of the closing message"
  xdotool windowfocus --sync "$box" key Return
  sleep 0.3
}

# --- checks ------------------------------------------------------------------------------

# Checks an MP3 file: 2 channels, 48000 Hz, the given bit rate (kbit/s) and duration (s).
expect_preview() {
  local file=$1 kbps=$2 seconds=$3 info
  [[ -f "$file" ]] || fail "missing preview $file"
  info=$(ffprobe -v error -select_streams a:0 -show_entries stream=channels,sample_rate,bit_rate \
    -show_entries format=duration -of default=noprint_wrappers=1 "$file")
  grep -qx "channels=2" <<<"$info" || fail "$file: not 2 channels: $info"
  grep -qx "sample_rate=48000" <<<"$info" || fail "$file: not 48000 Hz: $info"
  grep -qx "bit_rate=${kbps}000" <<<"$info" || fail "$file: not $kbps kbit/s: $info"
  awk -F= -v want="$seconds" '/^duration=/ {d = $2 - want; exit !(d > -0.1 && d < 0.15)}' <<<"$info" \
    || fail "$file: not $seconds s long: $info"
}

expect_setting() {
  grep -qxF "$1=$2" "$work/config/Tarnvolde/Lumbrisk.ini" \
    || fail "setting $1 is not \"$2\": $(cat "$work/config/Tarnvolde/Lumbrisk.ini")"
}

# The decoded audio of two MP3 files is the same, sample for sample.
same_audio() {
  cmp -s <(sox "$1" -t raw - 2>/dev/null) <(sox "$2" -t raw - 2>/dev/null)
}

# --- the run -----------------------------------------------------------------------------

mkdir -p "$work/music" "$work/out"
sox -n -r 44100 -c 2 -C 192 "$work/music/song one.mp3" synth 12 sine 440 sine 660 2>/dev/null
sox -n -r 44100 -c 2 -C 192 "$work/music/song two.mp3" synth 12 sine 330 sine 495 2>/dev/null
sox -n -r 44100 -c 1 -C 192 "$work/music/third.mp3" synth 12 sine 550 2>/dev/null

xsession_start

echo "run 1: fresh settings folder"
start_program
click_twips $((8040 + 240)) $((60 + 300)) 6600 345 # Text2, start second
type_text 2
click_twips $((8040 + 240)) $((915 + 300)) 6600 345 # Text3, duration
type_text 4
click_twips $((8040 + 240)) $((2895 + 300)) 7320 345 # Combo1, opens its list
xdotool type --delay 15 "64"
xdotool key Return
click_twips $((8040 + 480 + 240)) $((3750 + 510 + 300)) 5670 345 # Text1, output folder
type_text "$work/out/"
add_files '"song one.mp3" "song two.mp3"'
start_creating
expect_preview "$work/out/song one_Preview.mp3" 64 4
expect_preview "$work/out/song two_Preview.mp3" 64 4
expect_setting Text2 2
expect_setting Text3 4
expect_setting kbps "64 kbps"
expect_setting Text1 "$work/out/"
stop_program

echo "run 2: same settings folder, join the samples and one more file"
samples=$(find "$program_folder/Samples" -maxdepth 1 -type f | wc -l)
[[ $samples -gt 0 ]] || fail "no sample files in $program_folder/Samples"
rm "$work/out/"*
start_program
click_twips $((8040 + 240)) $((1785 + 650)) 3975 225 # Option3, join into one file
click_twips 4080 6200 3840 405 # PushButton11 "Load Sample/Example Files"
question=$(xsession_wait_window Lumbrisk 10 "$window") || fail "no question after loading the samples"
xdotool windowfocus --sync "$question" key Escape # No: do not open the samples' folder
sleep 0.3
add_files '"third.mp3"'
start_creating
expect_preview "$work/out/Joined_Preview.mp3" 64 $(((samples + 1) * 4))
[[ "$(ls "$work/out")" == "Joined_Preview.mp3" ]] || fail "per-file previews left beside the joined one: $(ls "$work/out")"
expect_setting Option3 True
stop_program

echo "run 3: auto, the start at each song's chorus"
song="$work/music/Rain Bells.mp3" # a sample whose chorus the analysis finds
cp "$program_folder/Samples/Rain Bells.mp3" "$song"
rm "$work/out/"*
start_program
click_twips $((8040 + 240)) $((60 + 300)) 6600 345 # Text2, start
type_text auto
click_twips $((8040 + 240)) $((1785 + 300)) 4095 225 # Option4, separate files
add_files '"Rain Bells.mp3"'
start_creating
preview="$work/out/Rain Bells_Preview.mp3"
expect_preview "$preview" 64 4
expect_setting Text2 auto
chorus_start=$("$(dirname "$program")/lumbrisk-cli" --dry-run -s auto -d 4 -b 64 -o "$work" "$song" \
  | sed -n 's/.* trim \([0-9.]*\) 4$/\1/p')
[[ -n "$chorus_start" && "$chorus_start" != 3 ]] || fail "lumbrisk-cli found no start of its own: '$chorus_start'"
sox "$song" -c 2 -r 48000 -C 64 "$work/cut.mp3" trim "$chorus_start" 4
same_audio "$preview" "$work/cut.mp3" || fail "the preview does not start at the chorus, $chorus_start s"
stop_program

if grep -E "Sanitizer|runtime error" "$work/program.log"; then
  fail "sanitizer report in the program output"
fi
echo "PASS"
