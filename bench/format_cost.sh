#!/usr/bin/env bash
# What a preview costs in each output format: lumbrisk-cli making the same previews as MP3
# (SoX's LAME), AAC (SoX into FFmpeg's aac) and Opus (SoX into FFmpeg's libopus), each at
# its default bit rate, taking turns; once as a plain cut (-s 30) and once as a shop makes
# them (-s auto --loudness -14 --limit, where the encoded preview is decoded and measured).
# Prints the median wall time and processor time (the program's and its tools') of each,
# and their ratios to MP3.
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_FILES (12),
# BENCH_SECONDS (150), BENCH_REPEATS (3), BENCH_CACHE (/tmp/lumbrisk-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
files=${BENCH_FILES:-12}
seconds=${BENCH_SECONDS:-150}
repeats=${BENCH_REPEATS:-3}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/rich-s${seconds}
cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time is missing: apt install time" >&2; exit 1; }
source bench/turns.sh

# The songs of bench/waveform_cost.sh: noise and plucked chords, which cost an encoder
# about what music does.
mkdir -p "$cache"
sources=()
for ((i = 1; i <= files; i++)); do
  source=$(printf '%s/Song %02d.mp3' "$cache" "$i")
  if [[ ! -s "$source" ]]; then
    echo "making $source" >&2
    nice sox -n -r 44100 -c 2 -C 192 "$source.part.mp3" synth "$seconds" pinknoise synth pluck $((100 + 10 * i)) \
      synth pluck $((150 + 10 * i)) tremolo 2 50 gain -3
    mv "$source.part.mp3" "$source"
  fi
  sources+=("$source")
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

formats=(mp3 aac opus)

# measure NAME OPTIONS...: the formats in turns, then their medians and ratios to MP3.
measure() {
  local name=$1 r k format e u s w c
  shift
  declare -A wall=() cpu=()
  for ((r = 0; r < repeats; r++)); do
    for ((k = 0; k < ${#formats[@]}; k++)); do
      format=${formats[(r + k) % ${#formats[@]}]}
      rm -rf "$work/out" && mkdir -p "$work/out"
      read -r e u s < <(/usr/bin/time -f "%e %U %S" "$cli" -q -j "$jobs" --format "$format" "$@" \
        -o "$work/out" "${sources[@]}" 2>&1 >/dev/null | tail -1)
      [[ $(find "$work/out" -name '*_Preview.*' | wc -l) -eq $files ]] || { echo "$format made too few previews" >&2; exit 1; }
      wall[$format]+="$e "
      cpu[$format]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    done
  done
  echo "$name ($*):"
  local base_wall base_cpu
  base_wall=$(tr ' ' '\n' <<< "${wall[mp3]}" | grep . | median)
  base_cpu=$(tr ' ' '\n' <<< "${cpu[mp3]}" | grep . | median)
  for format in "${formats[@]}"; do
    w=$(tr ' ' '\n' <<< "${wall[$format]}" | grep . | median)
    c=$(tr ' ' '\n' <<< "${cpu[$format]}" | grep . | median)
    awk -v n="$format" -v w="$w" -v c="$c" -v bw="$base_wall" -v bc="$base_cpu" -v ws="${wall[$format]}" 'BEGIN {
      printf "  %-5s wall %7.3f s (ratio %.3f)   processor %7.3f s (ratio %.3f)   rounds: %s\n", n, w, w / bw, c, c / bc, ws }'
  done
}

echo "$files songs of $seconds s, previews of 30 s, $jobs at once, $repeats rounds;" \
     "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
measure "plain cut" -s 30 -d 30
measure "shop run" -s auto -d 30 --loudness -14 --limit
