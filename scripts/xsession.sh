# Helpers for driving Lumbrisk on a private Xvfb server; sourced by the end-to-end test
# and the screenshot script. Needs Xvfb, xdotool and xwininfo.

# Starts Xvfb on a free display and exports DISPLAY. Call xsession_stop when done.
xsession_start() {
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$number_file" 2>/dev/null &
  XSESSION_XVFB_PID=$!
  for _ in $(seq 100); do
    [[ -s "$number_file" ]] && break
    sleep 0.1
  done
  [[ -s "$number_file" ]] || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$(head -n1 "$number_file")"
  rm -f "$number_file"
}

xsession_stop() {
  [[ -n "${XSESSION_XVFB_PID:-}" ]] || return 0
  kill "$XSESSION_XVFB_PID" 2>/dev/null || true
  wait "$XSESSION_XVFB_PID" 2>/dev/null || true
  XSESSION_XVFB_PID=
}

# Prints the id of a visible window whose whole title matches the regular expression $1,
# waiting up to $2 seconds (default 20); fails when none appears. The main window and its
# message boxes share the title "Lumbrisk", so $3 names a window id to leave out.
xsession_wait_window() {
  local title=$1 seconds=${2:-20} except=${3:-} id
  for _ in $(seq $((seconds * 10))); do
    for id in $(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null); do
      [[ "$id" != "$except" ]] && { echo "$id"; return 0; }
    done
    sleep 0.1
  done
  echo "no window titled '$title' within ${seconds} s" >&2
  return 1
}

# Prints "X Y", the screen position of the window's top-left corner.
xsession_window_origin() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} END {print x, y}'
}

# Clicks the middle of a control of window $1, the control given as left, top, width and
# height in twips relative to the window (15 twips to the pixel; for a control inside a
# frame, add up the lefts and tops of its containers).
xsession_click_twips() {
  local origin_x origin_y
  read -r origin_x origin_y < <(xsession_window_origin "$1")
  xdotool mousemove --sync $((origin_x + ($2 + $4 / 2) / 15)) $((origin_y + ($3 + $5 / 2) / 15)) click 1
  sleep 0.3
}
