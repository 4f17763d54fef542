#!/usr/bin/env bash
# How lumbrisk-cli plans a catalogue as it grows: dry runs (--dry-run -o OUT TREE) over trees
# of 1,000, 10,000 and 100,000 files, symbolic links to one short MP3 in folders of
# Group/Artist/Album (so every size has the same depth, and every track name recurs in every
# album, which puts the same-name rule to work), beside `find -L TREE -type f -name '*.mp3'`
# over the same tree. Prints the time, processor time and peak memory of each, the time and
# processor time per file beyond the start-up (a dry run over an empty folder), and those per
# file of the largest size over those of the smallest (processor time varies less with the
# load from elsewhere).
# Targets: the largest planned in under 10 s and 200 MB, time per file flat (at most 1.5).
#
# Environment: BUILD_DIR (build), BENCH_SIZES ("1000 10000 100000", multiples of 1000),
# BENCH_REPEATS (3).
# A quick try: BENCH_SIZES="1000 10000" BENCH_REPEATS=1 bench/plan_scale.sh
#
# Each size runs its rounds one after another, find and lumbrisk-cli taking turns, with a
# warm cache; shown are the medians. Load from elsewhere on the machine slows both.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
read -r -a sizes <<< "${BENCH_SIZES:-1000 10000 100000}"
repeats=${BENCH_REPEATS:-3}

cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time is missing: apt install time" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/out"
sox -n -r 44100 -c 2 -C 128 "$work/one.mp3" synth 1 sine 440

# One group of 1,000 files: 10 artists of 10 albums of "Track 1.mp3" to "Track 10.mp3".
group="$work/group"
mkdir -p "$group/Artist 1/Album 1"
for ((t = 1; t <= 10; t++)); do ln -s "$work/one.mp3" "$group/Artist 1/Album 1/Track $t.mp3"; done
for ((b = 2; b <= 10; b++)); do cp -a "$group/Artist 1/Album 1" "$group/Artist 1/Album $b"; done
for ((a = 2; a <= 10; a++)); do cp -a "$group/Artist 1" "$group/Artist $a"; done

# Builds the tree of the given size; prints its path.
make_tree() {
  local tree="$work/tree$1" g
  mkdir -p "$tree"
  for ((g = 1; g <= $1 / 1000; g++)); do cp -a "$group" "$tree/Group $g"; done
  echo "$tree"
}

# Runs the command under GNU time; prints "wall-seconds cpu-seconds peak-kB".
measure() {
  local begin=$EPOCHREALTIME
  /usr/bin/time -f '%U %S %M' -o "$work/time" "$@" > "$work/stdout" 2> /dev/null
  local end=$EPOCHREALTIME
  awk -v a="$begin" -v b="$end" '{ printf "%.3f %.2f %s\n", b - a, $1 + $2, $3 }' "$work/time"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "dry runs of lumbrisk-cli and find -L over trees of symbolic links; medians of $repeats rounds"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%8s  %9s %9s %9s  %9s %9s  %8s  %9s\n' files "cli s" "cpu s" "peak MB" "us/file" "cpu us" "find s" \
  "cli/find"
declare -A per_file cpu_per_file
startup=0
startup_cpu=0
for n in 0 "${sizes[@]}"; do
  tree=$(make_tree "$n")
  find -L "$tree" -type f -name '*.mp3' > /dev/null # warms the cache
  walls=() cpus=() peaks=() finds=()
  for ((r = 0; r < repeats; r++)); do
    read -r wall _ _ < <(measure find -L "$tree" -type f -name '*.mp3')
    finds+=("$wall")
    read -r wall cpu peak < <(measure "$cli" --dry-run -o "$work/out" "$tree")
    lines=$(wc -l < "$work/stdout")
    [[ $lines -eq $n ]] || { echo "lumbrisk-cli planned $lines of $n files" >&2; exit 1; }
    walls+=("$wall") cpus+=("$cpu") peaks+=("$peak")
  done
  wall=$(printf '%s\n' "${walls[@]}" | median)
  cpu=$(printf '%s\n' "${cpus[@]}" | median)
  peak=$(printf '%s\n' "${peaks[@]}" | median)
  find_wall=$(printf '%s\n' "${finds[@]}" | median)
  if ((n == 0)); then
    startup=$wall startup_cpu=$cpu
    per_file[$n]=- cpu_per_file[$n]=-
  else
    per_file[$n]=$(awk -v w="$wall" -v s="$startup" -v n="$n" 'BEGIN { printf "%.2f", (w - s) * 1e6 / n }')
    cpu_per_file[$n]=$(awk -v c="$cpu" -v s="$startup_cpu" -v n="$n" 'BEGIN { printf "%.2f", (c - s) * 1e6 / n }')
  fi
  awk -v n="$n" -v w="$wall" -v c="$cpu" -v p="$peak" -v u="${per_file[$n]}" -v cu="${cpu_per_file[$n]}" \
      -v f="$find_wall" 'BEGIN {
    printf "%8d  %9.3f %9.2f %9.1f  %9s %9s  %8.3f  %9.1f\n", n, w, c, p / 1024, u, cu, f, w / f
  }'
  rm -rf "$tree"
done
first=${sizes[0]}
last=${sizes[${#sizes[@]} - 1]}
awk -v a="${per_file[$first]}" -v b="${per_file[$last]}" -v ca="${cpu_per_file[$first]}" \
    -v cb="${cpu_per_file[$last]}" -v s="$first" -v l="$last" 'BEGIN {
  printf "per file beyond the start-up, %d files / %d files: time %.2f, processor time %.2f   (target at most 1.5)\n",
         l, s, (a > 0 ? b / a : 0), (ca > 0 ? cb / ca : 0)
}'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
