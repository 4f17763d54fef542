#!/usr/bin/env bash
# What the analyses of the sources cost on top of the cut: lumbrisk-cli with --loudness
# against a plain run from a fixed second, and --start auto with --loudness against
# --start auto alone, on the same songs. Prints the four times and the two ratios, with the
# targets beside them (--loudness at most 1.15 times a plain run; the loudness on top of the
# chorus search at most 1.1 times the search alone).
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_FILES (16),
# BENCH_SECONDS (240, the length of each song), BENCH_REPEATS (3), BENCH_FORMAT (mp3; flac
# to time sources SoX decodes), BENCH_CACHE (/tmp/lumbrisk-bench, where the songs are kept).
# A quick try: BENCH_FILES=4 BENCH_SECONDS=60 BENCH_REPEATS=1 bench/analysis_ratios.sh
#
# The ways take turns (bench/turns.sh). Shown: the median time of each and the ratios of
# the medians; every round's times beside them.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
files=${BENCH_FILES:-16}
seconds=${BENCH_SECONDS:-240}
repeats=${BENCH_REPEATS:-3}
format=${BENCH_FORMAT:-mp3}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/songs-s${seconds}
duration=30

cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }

# Chords over noise that swells and falls, a level of its own for each song: the search
# and the meter get audio that changes, the cut gets a real gain.
make_songs() {
  local i source level
  mkdir -p "$cache"
  sources=()
  for ((i = 1; i <= files; i++)); do
    source=$(printf '%s/Song %02d.%s' "$cache" "$i" "$format")
    level=$((-30 + 24 * (i - 1) / (files > 1 ? files - 1 : 1)))
    if [[ ! -s "$source" ]]; then
      echo "making $source" >&2
      nice sox -n -r 44100 -c 2 ${format/mp3/-C 192} "$source.part.$format" synth "$seconds" \
        pluck $((40 + i % 12)) pluck $((44 + i % 12)) pinknoise tremolo 0.2 60 gain "$level"
      mv "$source.part.$format" "$source"
    fi
    sources+=("$source")
  done
}
source bench/turns.sh
make_songs

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run_plain() { "$cli" -q -j "$jobs" -s 30 -d "$duration" -o "$1" "${sources[@]}"; }
run_loudness() { "$cli" -q -j "$jobs" -s 30 -d "$duration" --loudness -16 -o "$1" "${sources[@]}"; }
run_auto() { "$cli" -q -j "$jobs" -s auto -d "$duration" -o "$1" "${sources[@]}"; }
run_autoloudness() { "$cli" -q -j "$jobs" -s auto -d "$duration" --loudness -16 -o "$1" "${sources[@]}"; }

echo "files: $files $format songs of ${seconds} s; previews of ${duration} s; $jobs at once; $repeats rounds"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
take_turns plain loudness auto autoloudness

awk -v p="$(median_of plain)" -v l="$(median_of loudness)" -v a="$(median_of auto)" -v al="$(median_of autoloudness)" \
    -v ps="${times[plain]}" -v ls="${times[loudness]}" -v as="${times[auto]}" -v als="${times[autoloudness]}" 'BEGIN {
  printf "-s 30                      %7.3f s   (rounds: %s)\n", p, ps
  printf "-s 30 --loudness -16       %7.3f s   (rounds: %s)\n", l, ls
  printf "-s auto                    %7.3f s   (rounds: %s)\n", a, as
  printf "-s auto --loudness -16     %7.3f s   (rounds: %s)\n", al, als
  printf "loudness / plain           %.3f   (target at most 1.15)\n", l / p
  printf "auto+loudness / auto       %.3f   (target at most 1.10)\n", al / a
}'
