#!/usr/bin/env bash
# What --waveform adds to a run: lumbrisk-cli making the same previews without it, with
# --waveform json and with --waveform dat --waveform-channels 2, taking turns. Prints the
# median wall time and processor time (the program's and its tools') of each, and their
# ratios to the run without. Target: at most 1.05.
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_FILES (24),
# BENCH_SECONDS (150), BENCH_REPEATS (5), BENCH_CACHE (/tmp/lumbrisk-bench, shared with
# the other benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
files=${BENCH_FILES:-24}
seconds=${BENCH_SECONDS:-150}
repeats=${BENCH_REPEATS:-5}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/s${seconds}
cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time is missing: apt install time" >&2; exit 1; }

source bench/sources.sh
make_sources
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

declare -A extra=([plain]="" [json]="--waveform json" [dat]="--waveform dat --waveform-channels 2")
ways=(plain json dat)
declare -A wall=() cpu=()
for ((r = 0; r < repeats; r++)); do
  for ((k = 0; k < ${#ways[@]}; k++)); do
    way=${ways[(r + k) % ${#ways[@]}]}
    rm -rf "$work/out" && mkdir -p "$work/out"
    # shellcheck disable=SC2086
    read -r e u s < <(/usr/bin/time -f "%e %U %S" "$cli" -q -j "$jobs" -s 30 -d 30 ${extra[$way]} \
      -o "$work/out" "${sources[@]}" 2>&1 >/dev/null | tail -1)
    wall[$way]+="$e "
    cpu[$way]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
  done
done

median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
echo "$files files of $seconds s, previews of 30 s, $jobs at once, $repeats rounds;" \
     "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
base_wall=$(median <<< "${wall[plain]}")
base_cpu=$(median <<< "${cpu[plain]}")
for way in "${ways[@]}"; do
  w=$(median <<< "${wall[$way]}")
  c=$(median <<< "${cpu[$way]}")
  awk -v n="$way" -v w="$w" -v c="$c" -v bw="$base_wall" -v bc="$base_cpu" -v ws="${wall[$way]}" 'BEGIN {
    printf "%-6s wall %7.3f s (ratio %.3f)   processor %7.3f s (ratio %.3f)   rounds: %s\n", n, w, w / bw, c, c / bc, ws }'
done
