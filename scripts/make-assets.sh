#!/usr/bin/env bash
# Draws the program's own pictures into assets/: the icon in four sizes, the arrows of
# "Move Up"/"Move Down", the hand pointer "HAND-M.CUR" (hotspot at the fingertip) and
# the row-drag pointer "drag.ico". Needs ImageMagick and python3.
set -euo pipefail
cd "$(dirname "$0")/../assets"
convert="/usr/bin/convert -define png:exclude-chunks=date,time" # /usr/local/bin may hold a stand-in

$convert -size 256x256 xc:none -fill '#2b6cb0' -draw 'roundrectangle 8,8 248,248 40,40' \
  -fill white -draw 'polygon 96,64 200,40 200,168 184,168 184,80 112,98 112,188 96,188' \
  -draw 'circle 84,188 112,188' -draw 'circle 172,168 200,168' icons/lumbrisk-256.png
for size in 32 48 128; do
  $convert icons/lumbrisk-256.png -resize ${size}x${size} icons/lumbrisk-$size.png
done

$convert -size 32x32 xc:none -fill '#2b6cb0' \
  -draw 'polygon 16,3 29,18 21,18 21,29 11,29 11,18 3,18' pictures/arrow-up.png
$convert pictures/arrow-up.png -flip pictures/arrow-down.png

$convert -size 32x32 xc:none -fill '#2b6cb0' -stroke black -draw 'rectangle 6,10 26,22' \
  -draw 'polygon 16,2 21,8 11,8' -draw 'polygon 16,30 21,24 11,24' drag.ico

hand_ico=$(mktemp --suffix=.ico)
trap 'rm -f "$hand_ico"' EXIT
$convert -size 32x32 xc:none -fill white -stroke black \
  -draw 'polygon 10,2 14,2 14,12 26,14 26,26 22,30 10,30 4,20 6,18 10,22' "$hand_ico"
# A cursor file is an icon file of type 2 whose directory entry holds the hotspot.
python3 - "$hand_ico" HAND-M.CUR <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
data[2:4] = struct.pack('<H', 2)
data[10:14] = struct.pack('<HH', 11, 2)
open(sys.argv[2], 'wb').write(data)
PY
