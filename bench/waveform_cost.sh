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

source bench/turns.sh
rich_bench

declare -A extra=([plain]="" [json]="--waveform json" [dat]="--waveform dat --waveform-channels 2")
ways=(plain json dat)

echo "$files songs of $seconds s, previews of 30 s, $jobs at once, $repeats rounds;" \
     "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
measure_ways "plain cut" -s 30 -d 30
measure_ways "shop run" -s auto -d 30 --loudness -14
