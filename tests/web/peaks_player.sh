#!/usr/bin/env bash
# The waveform files of lumbrisk-cli loaded into peaks.js itself, the player shops put on
# their pages, in headless Chromium: those made with the defaults as JSON and as .dat, and
# one of both channels, and those of an AAC and an Opus preview, each beside its preview; the page is served by a server on this
# machine that the check starts. A 16-bit file is refused by peaks.js 4, which is why 8 bits
# is the default. peaks.js, its peers and playwright-core (npm) are put into the build folder.
# Usage: peaks_player.sh <build folder>. Exits 77 (skipped) when Node.js, Chromium or the
# npm packages cannot be had.
set -euo pipefail
build=$(realpath "${1:?usage: peaks_player.sh <build folder>}")
here=$(dirname "$(realpath "$0")")
source "$here/browser-tools.sh"
need_node
need_chromium

need_npm "$build" peaks.js@4 konva@9 waveform-data@4 playwright-core@1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Loud for three seconds, then 26 dB quieter: the drawn waveform must show the step. The
# channels differ, so that one waveform per channel has two to draw.
sox -n -r 44100 -c 1 "$work/left.wav" synth 3 sine 440 : synth 3 sine 440 gain -26
sox -n -r 44100 -c 1 "$work/right.wav" synth 3 pinknoise gain -3 : synth 3 pinknoise gain -29
sox -M "$work/left.wav" "$work/right.wav" -C 192 "$work/Song.mp3"

cli="$build/lumbrisk-cli"
"$cli" -q -s 0 -d 6 --waveform json -o "$work/json" "$work/Song.mp3"
"$cli" -q -s 0 -d 6 --waveform dat -o "$work/dat" "$work/Song.mp3"
"$cli" -q -s 0 -d 6 --waveform dat --waveform-channels 2 -o "$work/stereo" "$work/Song.mp3"
"$cli" -q -s 0 -d 6 --waveform json --waveform-bits 16 -o "$work/sixteen" "$work/Song.mp3"
"$cli" -q -s 0 -d 6 --waveform json --format aac -o "$work/aac" "$work/Song.mp3"
"$cli" -q -s 0 -d 6 --waveform dat --format opus -o "$work/opus" "$work/Song.mp3"

NODE_PATH="$modules/node_modules" node "$here/peaks_check.js" "$modules/node_modules" "$work" "$build/peaks-player.png" \
  json/Song_Preview.json dat/Song_Preview.dat stereo/Song_Preview.dat sixteen/Song_Preview.json \
  aac/Song_Preview.json opus/Song_Preview.dat
