#!/usr/bin/env bash
# A shop's nightly run in which one song of one album changed: its previews and then a
# crossfaded sampler per album of the same songs, both with --update, against the same night
# with the samplers made whole (--join without --update, as every night before samplers could
# be kept), and against the first run, which makes everything. Prints the times and ratios.
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_ALBUMS (6),
# BENCH_SONGS (8 per album), BENCH_SECONDS (90, each song's length).
# Every song is looked into (-s auto) and measured (--loudness -14): the work a sampler of
# songs whose previews are up to date no longer does again.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
albums=${BENCH_ALBUMS:-6}
songs=${BENCH_SONGS:-8}
seconds=${BENCH_SECONDS:-90}
cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Pink noise under a tone, each song at its own pitch (pitch 0: the changed song's new take).
make_song() {
  nice sox -R -n -r 44100 -c 2 -C 192 "$1" synth "$seconds" pinknoise synth "$seconds" sine mix "$2" \
    tremolo 2 40 gain -n -1
}
for ((album = 1; album <= albums; album++)); do
  mkdir -p "$work/music/Album $album"
  for ((song = 1; song <= songs; song++)); do
    make_song "$(printf '%s/music/Album %d/%02d - Song.mp3' "$work" "$album" "$song")" $((100 * album + 20 * song))
  done
done
changed="$work/music/Album 1/03 - Song.mp3"

options=(-j "$jobs" -s auto -d 30 --loudness -14 --keep-folders -o "$work/out" "$work/music")
samplers=(--join --crossfade 2)
# Seconds the run took; its standard error is kept in $work/err.
timed() {
  local begun=$EPOCHREALTIME
  "$cli" "$@" 2> "$work/err" || { cat "$work/err" >&2; exit 1; }
  awk -v b="$begun" -v e="$EPOCHREALTIME" 'BEGIN { print e - b }'
}
expect() {
  grep -q -- "$1" "$work/err" || { echo "expected \"$1\" in:" >&2; cat "$work/err" >&2; exit 1; }
}

first_previews=$(timed --update "${options[@]}")
first_samplers=$(timed --update "${options[@]}" "${samplers[@]}")
expect "pieces taken from previews that were up to date: $((albums * songs))"

make_song "$changed" 440
night_previews=$(timed --update "${options[@]}")
expect "1 of 1 previews made"
night_samplers=$(timed --update "${options[@]}" "${samplers[@]}")
expect "pieces taken from previews that were up to date: $songs; up to date: $((albums - 1)) joined preview"

make_song "$changed" 550
before_previews=$(timed --update "${options[@]}")
before_samplers=$(timed "${options[@]}" "${samplers[@]}")
expect "$albums joined previews made from $((albums * songs)) of $((albums * songs)) previews"

awk -v fp="$first_previews" -v fs="$first_samplers" -v np="$night_previews" -v ns="$night_samplers" \
    -v bp="$before_previews" -v bs="$before_samplers" -v a="$albums" -v s="$songs" -v j="$jobs" -v l="$seconds" 'BEGIN {
  printf "%d albums of %d songs of %d s, %d at once; one song of one album changed\n", a, s, l, j
  printf "first run: previews %7.2f s + samplers %7.2f s = %7.2f s\n", fp, fs, fp + fs
  printf "nightly:   previews %7.2f s + samplers %7.2f s = %7.2f s\n", np, ns, np + ns
  printf "before:    previews %7.2f s + samplers %7.2f s = %7.2f s   (samplers made whole)\n", bp, bs, bp + bs
  printf "nightly / before      %.3f\n", (np + ns) / (bp + bs)
  printf "samplers / before     %.3f\n", ns / bs
  printf "nightly / first run   %.3f\n", (np + ns) / (fp + fs)
}'
