#!/usr/bin/env bash
# lumbrisk-cli with N tools at once against GNU parallel running the identical SoX command
# lines with -j N (what lumbrisk-cli --dry-run prints), and against the same lines run one
# after another. Prints the three times and the ratios cli/parallel and loop/cli.
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_FILES (40),
# BENCH_SECONDS (150, the length of each file), BENCH_REPEATS (3), BENCH_CACHE
# (/tmp/lumbrisk-bench, where the files are kept; shared with preview_vs_loop.sh).
# A quick try: BENCH_FILES=8 BENCH_SECONDS=40 BENCH_REPEATS=1 bench/cli_vs_parallel.sh
#
# The three take turns, in a different order each round, so that load from elsewhere on
# the machine falls on all of them. Shown: the median time of each and the ratios of the
# medians; every round's times below.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
files=${BENCH_FILES:-40}
seconds=${BENCH_SECONDS:-150}
repeats=${BENCH_REPEATS:-3}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/s${seconds}
start=30
duration=15

cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
command -v parallel > /dev/null || { echo "GNU parallel is missing: apt install parallel" >&2; exit 1; }

source bench/sources.sh
source bench/turns.sh
make_sources

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
options=(-s "$start" -d "$duration" -b 128)

# The identical command lines, one per file, into the folder of the way that runs them.
for way in parallel loop; do
  mkdir -p "$work/$way"
  "$cli" --dry-run "${options[@]}" -o "$work/$way" "${sources[@]}" > "$work/$way.sh"
  [[ $(wc -l < "$work/$way.sh") -eq $files ]] || { echo "expected $files command lines" >&2; exit 1; }
done

run_cli() { "$cli" -q -j "$jobs" "${options[@]}" -o "$1" "${sources[@]}"; }
run_parallel() { parallel --will-cite -j "$jobs" < "$work/parallel.sh" 2> /dev/null; }
run_loop() { sh "$work/loop.sh" 2> /dev/null; }

echo "files: $files x ${seconds} s at 192 kbps; previews of ${duration} s from second ${start} at 128 kbps;" \
     "$jobs at once; $repeats rounds"
# Parallel runs gain only from idle cores: other work on the machine shows here.
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
take_turns cli parallel loop

cli_median=$(median_of cli)
parallel_median=$(median_of parallel)
loop_median=$(median_of loop)
awk -v c="$cli_median" -v p="$parallel_median" -v l="$loop_median" -v j="$jobs" \
    -v cs="${times[cli]}" -v ps="${times[parallel]}" -v ls="${times[loop]}" 'BEGIN {
  printf "lumbrisk-cli -j %d   %7.3f s   (rounds: %s)\n", j, c, cs
  printf "GNU parallel -j %d   %7.3f s   (rounds: %s)\n", j, p, ps
  printf "sequential loop     %7.3f s   (rounds: %s)\n", l, ls
  printf "cli / parallel  %.3f   (target at most 1.05)\n", c / p
  printf "loop / cli      %.3f   (target at least 1.8 on 2 cores)\n", l / c
}'
