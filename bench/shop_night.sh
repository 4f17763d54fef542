#!/usr/bin/env bash
# A shop's first night: a preview of every song at -14 LUFS, its peaks limited, a waveform
# file beside each, the review page, and a crossfaded sampler per album. lumbrisk-cli does it
# with the README's two lines (previews, then the samplers of them with --update); a script
# does the same with FFmpeg's two-pass loudnorm (true peak -1 dBTP) under GNU parallel, a
# waveform of each file from FFmpeg's samples, and the samplers joined with acrossfade and
# brought to the target as a whole. The page is Lumbrisk's alone. Prints the median times,
# the ratio lumbrisk/script (aimed at 0.5 or less) and each one's worst distance from the
# target and highest true peak, on FFmpeg's meter.
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_ALBUMS (3),
# BENCH_SONGS (6 per album), BENCH_SECONDS (90, each song's length), BENCH_REPEATS (3),
# BENCH_CACHE (/tmp/lumbrisk-bench, where the songs are kept).
# A quick try: BENCH_ALBUMS=2 BENCH_SONGS=3 BENCH_SECONDS=60 BENCH_REPEATS=1 bench/shop_night.sh
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
albums=${BENCH_ALBUMS:-3}
songs=${BENCH_SONGS:-6}
seconds=${BENCH_SECONDS:-90}
repeats=${BENCH_REPEATS:-3}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/shop-a${albums}-s${songs}-l${seconds}
start=30
duration=30
fade=1
crossfade=2
target=-14
files=$((albums * songs + albums)) # previews and samplers, each *_Preview.mp3 (turns.sh counts them)

cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
command -v parallel > /dev/null || { echo "GNU parallel is missing: apt install parallel" >&2; exit 1; }

# Pink noise under a tone, each song at its own pitch, and clicks whose peaks stand some 5 dB
# above where -14 LUFS puts them: what the limiter is for. MP3, FLAC and WAV in turn.
formats=(mp3 flac wav)
for ((album = 1; album <= albums; album++)); do
  mkdir -p "$cache/music/Album $album"
  for ((song = 1; song <= songs; song++)); do
    path=$(printf '%s/music/Album %d/%02d - Song.%s' "$cache" "$album" "$song" "${formats[(album + song) % 3]}")
    [[ -s "$path" ]] && continue
    echo "making $path" >&2
    nice sox -R -n -r 44100 -c 2 "$cache/bed.wav" synth "$seconds" pinknoise synth "$seconds" sine mix \
      $((90 * album + 30 * song)) tremolo 2 60 gain -20
    nice sox -R -n -r 44100 -c 2 "$cache/clicks.wav" synth "$seconds" square $((2 + song % 3)) highpass 300 gain -12 2> /dev/null
    nice sox -m "$cache/bed.wav" "$cache/clicks.wav" "$path" gain -n -0.3
  done
done
rm -f "$cache/bed.wav" "$cache/clicks.wav"

source bench/turns.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export start duration fade crossfade target

options=(-q -j "$jobs" --update -s "$start" -d "$duration" --fade-in "$fade" --fade-out "$fade" --loudness "$target" --limit
  --keep-folders)
run_lumbrisk() {
  "$cli" "${options[@]}" -o "$1" --waveform dat --review "$1/review.html" "$cache/music" &&
    "$cli" "${options[@]}" -o "$1" --join --crossfade "$crossfade" "$cache/music"
}

# The .dat of audiowaveform (version 2, 8 bits, 256 samples a pixel, one channel) of a file.
waveform() {
  ffmpeg -nostdin -v error -i "$1" -ac 1 -ar 44100 -f s16le - | python3 -c '
import array, struct, sys
samples = array.array("h", sys.stdin.buffer.read())
pairs = array.array("b")
for at in range(0, len(samples), 256):
    part = samples[at:at + 256]
    pairs.extend((min(part) >> 8, max(part) >> 8))
with open(sys.argv[1], "wb") as out:
    out.write(struct.pack("<iIiiII", 2, 1, 44100, 256, len(pairs) // 2, 1) + pairs.tobytes())
' "${1%.mp3}.dat"
}

# Two passes of loudnorm over what the filter graph $2 makes of the inputs $1 (an array's
# name): measured, then brought to the target linearly, encoded at 128 kbit/s.
loudnorm_two_passes() {
  local -n given=$1
  local graph=$2 out=$3 measured wanted="I=$target:TP=-1:LRA=20"
  measured=$(ffmpeg -nostdin -hide_banner -nostats "${given[@]}" -filter_complex "$graph,loudnorm=$wanted:print_format=json" \
             -f null - 2>&1)
  value() { sed -n "s/.*\"$1\" : \"\\([^\"]*\\)\".*/\\1/p" <<< "$measured"; }
  ffmpeg -nostdin -v error -y "${given[@]}" -filter_complex \
    "$graph,loudnorm=$wanted:linear=true:measured_I=$(value input_i):measured_TP=$(value input_tp):measured_LRA=$(value input_lra):measured_thresh=$(value input_thresh):offset=$(value target_offset),aresample=44100" \
    -c:a libmp3lame -b:a 128k "$out"
  waveform "$out"
}

preview() {
  local song=$1 out=$2 name inputs=(-ss "$start" -t "$duration" -i "$1")
  name=$(basename "${song%.*}")
  loudnorm_two_passes inputs "[0:a]afade=t=in:d=$fade,afade=t=out:st=$((duration - fade)):d=$fade" \
    "$out/$(basename "$(dirname "$song")")/${name}_Preview.mp3"
}

sampler() {
  local folder=$1 inputs=() graph='' last='[0:a]' index=0 piece
  for piece in "$folder"/*_Preview.mp3; do
    inputs+=(-i "$piece")
    if ((index > 0)); then
      graph+="${graph:+;}$last[$index:a]acrossfade=d=$crossfade[j$index]"
      last="[j$index]"
    fi
    index=$((index + 1))
  done
  loudnorm_two_passes inputs "$graph;${last}anull" "$folder/Joined_Preview.mp3"
}
export -f waveform loudnorm_two_passes preview sampler

run_script() {
  local album
  for ((album = 1; album <= albums; album++)); do mkdir -p "$1/Album $album"; done
  find "$cache/music" -type f | parallel --will-cite -j "$jobs" preview {} "$1"
  find "$1" -mindepth 1 -type d | parallel --will-cite -j "$jobs" sampler {}
}

# The largest distance from the target and the highest true peak among the files, on FFmpeg's meter.
measured() {
  local preview
  find "$work/$1" -name '*_Preview.mp3' -print0 | while IFS= read -r -d '' preview; do
    ffmpeg -nostdin -hide_banner -nostats -i "$preview" -af ebur128=peak=true -f null - 2>&1 |
      awk '/I:.*LUFS$/ { i = $2 } /Peak:.*dBFS$/ { p = $2 } END { print i, p }'
  done | awk -v t="$target" '{ e = $1 - t; if (e < 0) e = -e; if (e > w) w = e; if (NR == 1 || $2 > p) p = $2 }
    END { printf "%.1f LU, %.2f dBTP", w, p }'
}

echo "$albums albums of $songs songs of $seconds s (MP3, FLAC, WAV); previews of $duration s from second $start" \
     "at $target LUFS, limited, with waveforms; a sampler per album crossfaded by $crossfade s; $jobs at once;" \
     "$repeats rounds"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
take_turns lumbrisk script

lumbrisk_median=$(median_of lumbrisk)
script_median=$(median_of script)
awk -v l="$lumbrisk_median" -v s="$script_median" -v j="$jobs" -v ls="${times[lumbrisk]}" -v ss="${times[script]}" \
    -v lm="$(measured lumbrisk)" -v sm="$(measured script)" 'BEGIN {
  printf "lumbrisk-cli, two lines, -j %d       %7.3f s   (rounds: %s)   worst %s\n", j, l, ls, lm
  printf "loudnorm, 2 passes, parallel -j %d  %7.3f s   (rounds: %s)   worst %s\n", j, s, ss, sm
  printf "lumbrisk / script   %.3f   (aimed at 0.5 or less)\n", l / s
}'
