#!/usr/bin/env bash
# The waveform files of lumbrisk-cli read by BBC's own client, waveform-data.js (npm, put
# into the build folder), and compared pixel by pixel with FFmpeg's decoding of each
# preview: JSON at 8 bits of both channels mixed, and .dat at 16 bits per channel, of
# previews with fades and a loudness gain, which the waveform must show as published.
# Usage: waveform_client.sh <build folder>. Exits 77 (skipped) when Node.js or the package
# cannot be had.
set -euo pipefail
build=$(realpath "${1:?usage: waveform_client.sh <build folder>}")
here=$(dirname "$(realpath "$0")")
source "$here/browser-tools.sh"
need_node

need_npm "$build" waveform-data@4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Left and right unlike each other, and changing within a pixel: a swelling tone on the
# left, noise that comes and goes on the right.
sox -n -r 44100 -c 1 "$work/left.wav" synth 12 sine 220-880 tremolo 0.5 90
sox -n -r 44100 -c 1 "$work/right.wav" synth 12 pinknoise tremolo 3 100 gain -6
sox -M "$work/left.wav" "$work/right.wav" -C 192 "$work/Song.mp3"

cli="$build/lumbrisk-cli"
common=(-s 2 -d 6 --fade-in 1 --fade-out 2 --loudness -14 -q)
"$cli" "${common[@]}" --waveform json --waveform-bits 8 -o "$work/json" "$work/Song.mp3"
"$cli" "${common[@]}" --waveform dat --waveform-bits 16 --waveform-channels 2 -o "$work/dat" "$work/Song.mp3"

NODE_PATH="$modules/node_modules" node "$here/waveform_check.js" \
  "$work/json/Song_Preview.json" "$work/dat/Song_Preview.dat"
