#!/usr/bin/env bash
# A nightly catalogue run: lumbrisk-cli --update over a library of N unchanged songs, the
# first time (every preview made) and again (every preview up to date, none made). Prints
# both times and the ratio second/first.
#
# Environment: BUILD_DIR (build), BENCH_FILES (1000), BENCH_JOBS (the number of cores).
# The songs are copies of one short tone, 100 albums of up to 10, so that the first run
# costs what SoX costs per file and the second what Lumbrisk's own checks cost.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
files=${BENCH_FILES:-1000}
jobs=${BENCH_JOBS:-$(nproc)}
cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sox -n -r 44100 -c 2 -C 192 "$work/tone.mp3" synth 4 sine 440
for ((i = 0; i < files; i++)); do
  album=$(printf '%s/library/Album %03d' "$work" $((i / 10)))
  mkdir -p "$album"
  cp "$work/tone.mp3" "$(printf '%s/Track %02d.mp3' "$album" $((i % 10 + 1)))"
done

run() {
  local begun=$EPOCHREALTIME
  "$cli" --update -j "$jobs" -s 0 -d 3 --keep-folders -o "$work/previews" "$work/library" 2> "$work/err" \
    || { cat "$work/err" >&2; exit 1; }
  awk -v b="$begun" -v e="$EPOCHREALTIME" 'BEGIN { print e - b }'
}

first=$(run)
second=$(run)
grep -q "up to date: $files" "$work/err" || { echo "the second run did not keep every preview:" >&2; cat "$work/err" >&2; exit 1; }
awk -v f="$first" -v s="$second" -v n="$files" -v j="$jobs" 'BEGIN {
  printf "%d songs, %d at once\n", n, j
  printf "first --update run    %7.3f s\n", f
  printf "second --update run   %7.3f s\n", s
  printf "second / first        %.4f   (target at most 0.02)\n", s / f
}'
