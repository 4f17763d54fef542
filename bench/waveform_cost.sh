#!/usr/bin/env bash
# What --waveform adds to a run: lumbrisk-cli making the same previews without it, with
# --waveform json and with --waveform dat --waveform-channels 2, taking turns; once as a
# plain cut (-s 30) and once as a shop makes them (-s auto --loudness -14). Prints the
# median wall time and processor time (the program's and its tools') of each, and their
# ratios to the run without. Target: at most 1.05. The songs are noise and plucked chords,
# which cost LAME about what music does (a pure tone costs it less).
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

declare -A extra=([plain]="" [json]="--waveform json" [dat]="--waveform dat --waveform-channels 2")
ways=(plain json dat)
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# measure NAME OPTIONS...: the three ways in turns, then their medians and ratios.
measure() {
  local name=$1 r k way e u s w c base_wall base_cpu
  shift
  declare -A wall=() cpu=()
  for ((r = 0; r < repeats; r++)); do
    for ((k = 0; k < ${#ways[@]}; k++)); do
      way=${ways[(r + k) % ${#ways[@]}]}
      rm -rf "$work/out" && mkdir -p "$work/out"
      # shellcheck disable=SC2086
      read -r e u s < <(/usr/bin/time -f "%e %U %S" "$cli" -q -j "$jobs" "$@" ${extra[$way]} \
        -o "$work/out" "${sources[@]}" 2>&1 >/dev/null | tail -1)
      wall[$way]+="$e "
      cpu[$way]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    done
  done
  echo "$name ($*):"
  base_wall=$(median <<< "${wall[plain]}")
  base_cpu=$(median <<< "${cpu[plain]}")
  for way in "${ways[@]}"; do
    w=$(median <<< "${wall[$way]}")
    c=$(median <<< "${cpu[$way]}")
    awk -v n="$way" -v w="$w" -v c="$c" -v bw="$base_wall" -v bc="$base_cpu" -v ws="${wall[$way]}" 'BEGIN {
      printf "  %-6s wall %7.3f s (ratio %.3f)   processor %7.3f s (ratio %.3f)   rounds: %s\n", n, w, w / bw, c, c / bc, ws }'
  done
}

echo "$files songs of $seconds s, previews of 30 s, $jobs at once, $repeats rounds;" \
     "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
measure "plain cut" -s 30 -d 30
measure "shop run" -s auto -d 30 --loudness -14
