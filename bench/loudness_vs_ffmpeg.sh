#!/usr/bin/env bash
# lumbrisk-cli --loudness -16 against FFmpeg's two-pass loudnorm (the way ffmpeg-normalize
# works: a measuring pass, then linear=true with the measured values) on the same files cut
# the same way, and against a plain lumbrisk-cli run. Prints the times, the ratios
# loudness/ffmpeg and loudness/plain, and each one's worst error in LU from -16 LUFS as
# FFmpeg's ebur128 meter reads the previews.
#
# Environment: BUILD_DIR (build), BENCH_JOBS (the number of cores), BENCH_FILES (20),
# BENCH_SECONDS (150, the length of each file), BENCH_REPEATS (3), BENCH_CACHE
# (/tmp/lumbrisk-bench, where the files are kept).
# A quick try: BENCH_FILES=6 BENCH_SECONDS=40 BENCH_REPEATS=1 bench/loudness_vs_ffmpeg.sh
#
# The three take turns (bench/turns.sh). Shown: the median time of each and the ratios of
# the medians; every round's times beside them.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
jobs=${BENCH_JOBS:-$(nproc)}
files=${BENCH_FILES:-20}
seconds=${BENCH_SECONDS:-150}
repeats=${BENCH_REPEATS:-3}
cache=${BENCH_CACHE:-/tmp/lumbrisk-bench}/levels-s${seconds}
start=30
duration=15
target=-16

cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
command -v parallel > /dev/null || { echo "GNU parallel is missing: apt install parallel" >&2; exit 1; }

# Tones, noise and both, from -35 to -6 dBFS: masters far apart in level.
make_level_sources() {
  local i source level kinds
  mkdir -p "$cache"
  sources=()
  for ((i = 1; i <= files; i++)); do
    source=$(printf '%s/Track %02d.mp3' "$cache" "$i")
    level=$((-35 + 29 * (i - 1) / (files > 1 ? files - 1 : 1)))
    case $((i % 3)) in
      0) kinds=(sine $((200 + 20 * i)) brownnoise) ;;
      1) kinds=(brownnoise) ;;
      2) kinds=(sine $((200 + 20 * i)) sine $((300 + 30 * i))) ;;
    esac
    if [[ ! -s "$source" ]]; then
      echo "making $source" >&2
      nice sox -n -r 44100 -c 2 -C 192 "$source.part.mp3" synth "$seconds" "${kinds[@]}" gain "$level"
      mv "$source.part.mp3" "$source"
    fi
    sources+=("$source")
  done
}
source bench/turns.sh
make_level_sources

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export start duration target

# One file through loudnorm: the measuring pass, then the linear pass with its figures,
# encoded as lumbrisk-cli encodes (stereo, 48000 Hz, 128 kbit/s).
ffmpeg_normalize() {
  local source=$1 out=$2 measured name
  local wanted="I=$target:TP=-1:LRA=7"
  measured=$(ffmpeg -nostdin -hide_banner -nostats -ss "$start" -t "$duration" -i "$source" \
             -af "loudnorm=$wanted:print_format=json" -f null - 2>&1)
  value() { sed -n "s/.*\"$1\" : \"\\([^\"]*\\)\".*/\\1/p" <<< "$measured"; }
  name=$(basename "$source" .mp3)
  ffmpeg -nostdin -v error -y -ss "$start" -t "$duration" -i "$source" \
    -af "loudnorm=$wanted:linear=true:measured_I=$(value input_i):measured_TP=$(value input_tp):measured_LRA=$(value input_lra):measured_thresh=$(value input_thresh):offset=$(value target_offset)" \
    -ac 2 -ar 48000 -c:a libmp3lame -b:a 128k "$out/${name}_Preview.mp3"
}
export -f ffmpeg_normalize

options=(-s "$start" -d "$duration" -b 128)
run_loudness() { "$cli" --json -j "$jobs" --loudness "$target" "${options[@]}" -o "$1" "${sources[@]}" > "$work/report.json"; }
run_plain() { "$cli" -q -j "$jobs" "${options[@]}" -o "$1" "${sources[@]}"; }
run_ffmpeg() { parallel --will-cite -j "$jobs" ffmpeg_normalize {} "$1" ::: "${sources[@]}"; }

# The largest distance from the target among the previews in the folder, as FFmpeg reads them.
worst_error() {
  local preview
  for preview in "$work/$1"/*_Preview.mp3; do
    ffmpeg -nostdin -hide_banner -nostats -i "$preview" -af ebur128 -f null - 2>&1 \
      | sed -n 's/^ *I: *\(-\?[0-9.]*\) LUFS$/\1/p' | tail -n 1
  done | awk -v t="$target" '{ e = $1 - t; if (e < 0) e = -e; if (e > w) w = e } END { printf "%.1f", w }'
}

echo "files: $files x ${seconds} s at 192 kbps, from -35 to -6 dBFS; previews of ${duration} s from second" \
     "${start} at 128 kbps, brought to $target LUFS; $jobs at once; $repeats rounds"
echo "load average at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
take_turns loudness ffmpeg plain

held_back=$(grep -c '"held_back": true' "$work/report.json" || true)
loudness_median=$(median_of loudness)
ffmpeg_median=$(median_of ffmpeg)
plain_median=$(median_of plain)
awk -v l="$loudness_median" -v f="$ffmpeg_median" -v p="$plain_median" -v j="$jobs" -v t="$target" \
    -v ls="${times[loudness]}" -v fs="${times[ffmpeg]}" -v ps="${times[plain]}" \
    -v le="$(worst_error loudness)" -v fe="$(worst_error ffmpeg)" -v h="$held_back" 'BEGIN {
  printf "lumbrisk-cli --loudness %d -j %d   %7.3f s   (rounds: %s)\n", t, j, l, ls
  printf "FFmpeg loudnorm, 2 passes, -j %d   %7.3f s   (rounds: %s)\n", j, f, fs
  printf "lumbrisk-cli -j %d                 %7.3f s   (rounds: %s)\n", j, p, ps
  printf "loudness / ffmpeg   %.3f   (target at most 1.0)\n", l / f
  printf "loudness / plain    %.3f   (target at most 1.6)\n", l / p
  printf "worst error from %d LUFS on FFmpeg'\''s meter: lumbrisk-cli %s LU (%d held back by peaks), loudnorm %s LU\n", t, le, h, fe
}'
