#!/usr/bin/env bash
# The review page of a real run, opened in headless Chromium: no console error and no file
# that fails to load, one row per source, every player's file on disk, each window mark
# where the JSON report's start puts it; a screenshot of it is saved in the build folder.
# Usage: review_page.sh <build folder>. Exits 77 (skipped) when Chromium or Node.js cannot
# be had.
set -euo pipefail
build=$(realpath "${1:?usage: review_page.sh <build folder>}")
here=$(dirname "$(realpath "$0")")
source "$here/browser-tools.sh"
need_node
need_chromium

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/songs/Album" "$work/out"
# A tagged song whose second half repeats its first, one without tags, and one that is
# no MP3 at all, which fails.
sox -n -r 44100 -c 2 "$work/verse.wav" synth 20 pluck C3 pluck E3 pluck G3 tremolo 4 40
sox -n -r 44100 -c 2 "$work/chorus.wav" synth 20 square A3 square C4 square E4 gain -12
sox "$work/verse.wav" "$work/chorus.wav" "$work/verse.wav" "$work/chorus.wav" -C 128 \
  --comment "Title=Night & Day" --add-comment "Artist=The <Tests>" "$work/songs/Album/Tagged.mp3"
sox -n -r 44100 -c 2 -C 128 "$work/songs/Album/No tags #1.mp3" synth 40 brownnoise tremolo 0.2 80
echo "not audio" > "$work/songs/Album/Broken.mp3"

"$build/lumbrisk-cli" -s auto -d 10 --loudness -16 --keep-folders --json -o "$work/out/previews" \
  --review "$work/out/review.html" "$work/songs/" > "$work/report.json" || true

node "$here/review_check.js" "$work/out/review.html" "$work/report.json" "$build/review-page.png"
