#!/usr/bin/env bash
# What the analyses of the sources cost on top of the cut: lumbrisk-cli with --loudness
# against a plain run from a fixed second, and --start auto with --loudness against
# --start auto alone, on the same songs. Prints the four times and the two ratios, with the
# targets beside them (--loudness at most 1.15 times a plain run; the loudness on top of the
# chorus search at most 1.1 times the search alone).
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_FILES (16),
# BENCH_SECONDS (240, the length of each song), BENCH_REPEATS (3), BENCH_FORMAT (mp3; flac
# to time sources SoX decodes), BENCH_CACHE (/tmp/lumbrisk-bench, where the songs are kept),
# BENCH_SONGS (a folder of songs of your own to take the first BENCH_FILES of instead of the
# songs made here).
# A quick try: BENCH_FILES=4 BENCH_SECONDS=60 BENCH_REPEATS=1 bench/analysis_ratios.sh
#
# The ways take turns (bench/turns.sh). Shown: the median time of each and the ratios of
# the medians, every round's times beside them; then the same for processor time (of the
# program and its tools), which load from elsewhere on the machine disturbs less.
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
if [[ -n ${BENCH_SONGS:-} ]]; then
  mapfile -t sources < <(find "$BENCH_SONGS" -maxdepth 1 -name "*.$format" | sort | head -n "$files")
  [[ ${#sources[@]} -eq $files ]] || { echo "$BENCH_SONGS has fewer than $files .$format files" >&2; exit 1; }
else
  make_songs
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each run's processor time goes to $work/<way>.cpu, one line a round.
cli_run() {
  local way=$1 out=$2
  shift 2
  /usr/bin/time -f '%U %S' -a -o "$work/$way.cpu" "$cli" -q -j "$jobs" -d "$duration" -o "$out" "$@" "${sources[@]}" 2> /dev/null
}
run_plain() { cli_run plain "$1" -s 30; }
run_loudness() { cli_run loudness "$1" -s 30 --loudness -16; }
run_auto() { cli_run auto "$1" -s auto; }
run_autoloudness() { cli_run autoloudness "$1" -s auto --loudness -16; }
cpu_of() { awk '{ print $1 + $2 }' "$work/$1.cpu" | median; }
cpu_rounds() { awk '{ printf "%.2f ", $1 + $2 }' "$work/$1.cpu"; }

echo "files: $files $format songs of ${seconds} s; previews of ${duration} s; $jobs at once; $repeats rounds"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
take_turns plain loudness auto autoloudness

# The four times, each with its rounds, and the ratios the issue sets targets for.
print_ratios() {
  awk -v p="$1" -v l="$2" -v a="$3" -v al="$4" -v ps="$5" -v ls="$6" -v as="$7" -v als="$8" 'BEGIN {
    printf "-s 30                      %7.3f s   (rounds: %s)\n", p, ps
    printf "-s 30 --loudness -16       %7.3f s   (rounds: %s)\n", l, ls
    printf "-s auto                    %7.3f s   (rounds: %s)\n", a, as
    printf "-s auto --loudness -16     %7.3f s   (rounds: %s)\n", al, als
    printf "loudness / plain           %.3f   (target at most 1.15)\n", l / p
    printf "auto+loudness / auto       %.3f   (target at most 1.10)\n", al / a
  }'
}

echo "wall time:"
print_ratios "$(median_of plain)" "$(median_of loudness)" "$(median_of auto)" "$(median_of autoloudness)" \
             "${times[plain]}" "${times[loudness]}" "${times[auto]}" "${times[autoloudness]}"
echo "processor time:"
print_ratios "$(cpu_of plain)" "$(cpu_of loudness)" "$(cpu_of auto)" "$(cpu_of autoloudness)" \
             "$(cpu_rounds plain)" "$(cpu_rounds loudness)" "$(cpu_rounds auto)" "$(cpu_rounds autoloudness)"
