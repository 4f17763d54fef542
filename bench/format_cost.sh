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

source bench/turns.sh
rich_bench

declare -A extra=([mp3]="--format mp3" [aac]="--format aac" [opus]="--format opus")
ways=(mp3 aac opus)

echo "$files songs of $seconds s, previews of 30 s, $jobs at once, $repeats rounds;" \
     "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
measure_ways "plain cut" -s 30 -d 30
measure_ways "shop run" -s auto -d 30 --loudness -14 --limit
