#!/usr/bin/env bash
# What hostile input costs lumbrisk-cli, against the same job on harmless input:
#  - `-s auto` on a 200 s MP3 behind an ID3v2 tag of 200,000 TXXX frames, against the MP3
#    alone (libmpg123 read such a tag in time that grew with the square of its frames);
#  - `-s auto` on a 240 s AAC stream with every third frame damaged, whose FFmpeg writes a
#    warning per damaged frame, against the stream undamaged (unread, the warnings filled
#    their pipe and held the decoding up for the watchdog's minute);
#  - reading a --starts list of 100,000 and of 1,000,000 rows that all name one file (a last
#    bad row ends the run once the list is read), and a dry run of the 100,000 rows.
# Prints each time, processor time and peak memory, and the ratios.
# Targets: each ratio of hostile to harmless under 10; per row of the list, 1,000,000 rows
# over 100,000 at most 1.5, and the million read in under 5 s.
#
# Environment: BUILD_DIR (build). Needs GNU time, SoX, FFmpeg and python3.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
cli="$build/lumbrisk-cli"
[[ -x "$cli" ]] || { echo "Build first: $cli is missing" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time is missing: apt install time" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

sox -n -r 44100 -c 2 -C 128 tone.mp3 synth 200 sine 440
ffmpeg -v error -f lavfi -i "sine=f=440:d=240" -ac 2 -c:a aac -f adts clean.aac
python3 - <<'EOF'
import random, struct
def syncsafe(n):
    return bytes([(n >> s) & 0x7f for s in (21, 14, 7, 0)])
frames = bytearray()
for i in range(200000):
    text = b'\0' + b'd%d' % i + b'\0v'
    frames += b'TXXX' + struct.pack('>I', len(text)) + b'\0\0' + text
open('tagged.mp3', 'wb').write(b'ID3\x03\0\0' + syncsafe(len(frames)) + frames + open('tone.mp3', 'rb').read())
data = bytearray(open('clean.aac', 'rb').read())
noise = random.Random(7)
at, frame = data.find(b'\xff\xf1'), 0
while at >= 0:
    frame += 1
    if frame % 3 == 0:
        for byte in range(at + 12, min(at + 40, len(data))):
            data[byte] = noise.randrange(256)
    at = data.find(b'\xff\xf1', at + 2)
open('warned.aac', 'wb').write(data)
for rows in (100000, 1000000):
    open('list%d.csv' % rows, 'w').write('tone.mp3,1\n' * rows + 'gone.mp3,1\n')
open('plan.csv', 'w').write('tone.mp3,1\n' * 100000)
EOF

# Runs the command under GNU time; prints "wall-seconds cpu-seconds peak-MB".
measure() {
  local begin=$EPOCHREALTIME
  /usr/bin/time -q -f '%U %S %M' -o time.txt "$@" > /dev/null 2>&1 || true
  local end=$EPOCHREALTIME
  awk -v a="$begin" -v b="$end" '{ printf "%.2f %.2f %.0f\n", b - a, $1 + $2, $3 / 1024 }' time.txt
}

row() { printf '%-44s %8s %8s %8s\n' "$@"; }
row "" "s" "cpu s" "peak MB"
declare -A wall
for job in "tone.mp3:-s auto, plain MP3" "tagged.mp3:-s auto, MP3 behind 200,000 frames" \
           "clean.aac:-s auto, AAC" "warned.aac:-s auto, AAC warned of frame by frame"; do
  file=${job%%:*}
  read -r w c m < <(measure "$cli" -q -s auto -o "out-$file" "$file")
  wall[$file]=$w
  row "${job#*:}" "$w" "$c" "$m"
done
for rows in 100000 1000000; do
  read -r w c m < <(measure "$cli" --dry-run --starts "list$rows.csv" -o out)
  wall[list$rows]=$w
  row "--starts of $rows rows, read" "$w" "$c" "$m"
done
read -r w c m < <(measure "$cli" --dry-run --starts plan.csv -o out)
row "--starts of 100000 rows, dry run" "$w" "$c" "$m"

awk -v a="${wall[tone.mp3]}" -v b="${wall[tagged.mp3]}" -v c="${wall[clean.aac]}" -v d="${wall[warned.aac]}" \
    -v e="${wall[list100000]}" -v f="${wall[list1000000]}" 'BEGIN {
  printf "tagged MP3 / plain MP3: %.1f   warned AAC / clean AAC: %.1f   (targets under 10)\n", b / a, d / c
  printf "per row, 1,000,000 rows / 100,000 rows: %.2f   (target at most 1.5)\n", (f / 1000000) / (e / 100000)
}'
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
