#!/usr/bin/env bash
# How much the preview job costs beyond the tools it runs: the job (to one folder) against a
# plain shell loop of the identical SoX and FFmpeg command lines: separate files with a
# fixed bit rate, separate files with "Same bit rate as input file", and all files joined
# (the loop's cuts go to a folder of its own, then one sox --combine sequence). Prints
# job / loop.
#
# Environment: BUILD_DIR (build), BENCH_FILES (40), BENCH_SECONDS (150, the length of each
# file), BENCH_REPEATS (5), BENCH_CACHE (/tmp/lumbrisk-bench, where the files are kept).
# A quick try: BENCH_FILES=8 BENCH_SECONDS=40 BENCH_REPEATS=1 bench/preview_vs_loop.sh
#
# Job and loop take turns, each going first in every other round, so that load from
# elsewhere on the machine falls on both. Shown: the median of the per-round ratios, the
# ratio of the medians, and the processor time the job used itself (the tools not counted).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
files=${BENCH_FILES:-40}
seconds=${BENCH_SECONDS:-150}
repeats=${BENCH_REPEATS:-5}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/s${seconds}
start=30
duration=15

driver="$build/bench/preview_bench"
[[ -x "$driver" ]] || { echo "Build first: $driver is missing" >&2; exit 1; }
sox=$(command -v sox)
ffmpeg=$(command -v ffmpeg)

source bench/sources.sh
make_sources

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TEMP="$work/temp"

fresh() { rm -rf "$work/out" "$TEMP"; mkdir -p "$work/out" "$TEMP"; }

# The same command lines the job runs, with no more work around them than a loop needs.
loop() {
  local mode=$1 source name bitrate line last fields target pieces=()
  for source in "${sources[@]}"; do
    bitrate=128
    if [[ $mode == same ]]; then
      "$ffmpeg" -i "$source" 2> "$TEMP/out.txt" || true
      last=
      while IFS= read -r line; do [[ $line == *Audio:* ]] && last=$line; done < "$TEMP/out.txt"
      read -ra fields <<< "$last"
      bitrate=${fields[-2]}
    fi
    name=${source##*/}
    target="$work/out/${name%.*}_Preview.mp3"
    if [[ $mode == join ]]; then
      target="$TEMP/piece-${#pieces[@]}.mp3"
      pieces+=("$target")
    fi
    "$sox" "$source" -c 2 -r 48000 -C "$bitrate" "$target" trim "$start" "$duration" 2> /dev/null
  done
  if [[ $mode == join ]]; then
    "$sox" --combine sequence "${pieces[@]}" -c 2 -r 48000 -C 128 "$work/out/Joined_Preview.mp3" 2> /dev/null
    rm -f "${pieces[@]}"
  fi
}

time_loop() {
  local begin=$EPOCHREALTIME
  loop "$1"
  awk -v a="$begin" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", b - a }'
}

# Prints the job's time and its own processor time, once its previews are counted: the
# caller waits for all of it before the next fresh start clears the folder.
time_job() {
  fresh
  local timing made expected=$files
  timing=$("$driver" "$1" "$work/out" "$start" "$duration" "${sources[@]}")
  [[ $1 == join ]] && expected=1
  made=$(ls "$work/out" | wc -l)
  [[ $made -eq $expected ]] || { echo "the job made $made of $expected previews ($1)" >&2; exit 1; }
  echo "$timing"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "files: $files x ${seconds} s at 192 kbps; previews of ${duration} s from second ${start}; $repeats rounds"
for mode in fixed same join; do
  jobs=() loops=() ratios=() own=()
  for ((r = 1; r <= repeats; r++)); do
    if ((r % 2)); then
      timing=$(time_job "$mode")
      fresh; plain=$(time_loop "$mode")
    else
      fresh; plain=$(time_loop "$mode")
      timing=$(time_job "$mode")
    fi
    read -r job cpu <<< "$timing"
    jobs+=("$job") loops+=("$plain") own+=("$cpu")
    ratios+=("$(awk -v j="$job" -v l="$plain" 'BEGIN { printf "%.3f", j / l }')")
  done
  case $mode in
    fixed) label="128 kbps" ;;
    same) label="same bit rate" ;;
    join) label="joined" ;;
  esac
  awk -v m="$label" -v r="$(printf '%s\n' "${ratios[@]}" | median)" \
      -v j="$(printf '%s\n' "${jobs[@]}" | median)" -v l="$(printf '%s\n' "${loops[@]}" | median)" \
      -v c="$(printf '%s\n' "${own[@]}" | median)" -v rs="${ratios[*]}" -v js="${jobs[*]}" -v ls="${loops[*]}" \
    'BEGIN { printf "%-14s job/loop %.3f (median of rounds: %s) | medians: job %.3f s, loop %.3f s, ratio %.3f | job own processor time %.3f s\n    job: %s\n    loop: %s\n", m, r, rs, j, l, j / l, c, js, ls }'
done
