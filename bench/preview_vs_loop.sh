#!/usr/bin/env bash
# How much the preview job costs beyond the tools it runs: the job (separate files, to one
# folder) against a plain shell loop of the identical SoX and FFmpeg command lines, once
# with a fixed bit rate and once with "Same bit rate as input file". Prints job / loop.
#
# Environment: BUILD_DIR (build), BENCH_FILES (40), BENCH_SECONDS (150, the length of each
# file), BENCH_REPEATS (3), BENCH_CACHE (/tmp/lumbrisk-bench, where the files are kept).
# A quick try: BENCH_FILES=8 BENCH_SECONDS=40 BENCH_REPEATS=1 bench/preview_vs_loop.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
files=${BENCH_FILES:-40}
seconds=${BENCH_SECONDS:-150}
repeats=${BENCH_REPEATS:-3}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/n${files}-s${seconds}
start=30
duration=15

driver="$build/bench/preview_bench"
[[ -x "$driver" ]] || { echo "Build first: $driver is missing" >&2; exit 1; }
sox=$(command -v sox)
ffmpeg=$(command -v ffmpeg)

# The sources: 192 kbps constant bit rate, made once and kept.
mkdir -p "$cache"
sources=()
for ((i = 1; i <= files; i++)); do
  source=$(printf '%s/Track %02d.mp3' "$cache" "$i")
  if [[ ! -s "$source" ]]; then
    echo "making $source" >&2
    nice "$sox" -n -r 44100 -c 2 -C 192 "$source.part.mp3" synth "$seconds" sine $((200 + 20 * i))
    mv "$source.part.mp3" "$source"
  fi
  sources+=("$source")
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export TEMP="$work/temp"

fresh() { rm -rf "$work/out" "$TEMP"; mkdir -p "$work/out" "$TEMP"; }

# The same command lines the job runs, with no more work around them than a loop needs.
loop() {
  local mode=$1 source name bitrate line last fields
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
    "$sox" "$source" -c 2 -r 48000 -C "$bitrate" "$work/out/${name%.*}_Preview.mp3" trim "$start" "$duration" 2> /dev/null
  done
}

time_loop() {
  local begin=$EPOCHREALTIME
  loop "$1"
  awk -v a="$begin" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", b - a }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "files: $files x ${seconds} s at 192 kbps; previews of ${duration} s from second ${start}; $repeats repeats"
for mode in fixed same; do
  jobs=() loops=()
  for ((r = 1; r <= repeats; r++)); do
    fresh
    jobs+=("$("$driver" "$mode" "$work/out" "$start" "$duration" "${sources[@]}")")
    made=$(ls "$work/out" | wc -l)
    [[ $made -eq $files ]] || { echo "the job made $made of $files previews" >&2; exit 1; }
    fresh
    loops+=("$(time_loop "$mode")")
  done
  job=$(printf '%s\n' "${jobs[@]}" | median)
  plain=$(printf '%s\n' "${loops[@]}" | median)
  label=$([[ $mode == fixed ]] && echo "128 kbps" || echo "same bit rate")
  awk -v m="$label" -v j="$job" -v l="$plain" -v js="${jobs[*]}" -v ls="${loops[*]}" \
    'BEGIN { printf "%-14s job %7.3f s  loop %7.3f s  job/loop %.3f   (job runs: %s; loop runs: %s)\n", m, j, l, j / l, js, ls }'
done
