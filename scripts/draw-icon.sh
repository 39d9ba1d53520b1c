#!/usr/bin/env bash
# Draws Velmora's program icon with ImageMagick: a photo, an arrow and the same photo
# smaller. Writes one .ico with 256 (PNG), 48, 32 and 16 pixels, 32 bits with alpha, to
# app/velmora.ico (or $1). The icon is kept in the repository; run this after changing it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/app/velmora.ico}
command -v convert >/dev/null || { echo "draw-icon: ImageMagick's convert is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The photo: sky, sun and two hills, 160 x 120.
convert -size 160x120 gradient:'#5aa9e6-#cfe8fb' \
  -fill '#ffd23f' -stroke '#f4a300' -strokewidth 3 -draw 'circle 118,34 118,54' \
  -stroke none -fill '#3f9b3a' -draw 'ellipse 40,132 90,62 0,360' \
  -fill '#2e7d32' -draw 'ellipse 130,140 80,54 0,360' \
  "$work/photo.png"
convert "$work/photo.png" -resize 50% "$work/half.png"

# picture SOURCE OUT WHITE OUTLINE: the photo in a white border inside a dark outline.
picture() {
  convert "$1" -bordercolor white -border "$3" -bordercolor '#263238' -border "$4" "$2"
}
# compose BIG SMALL OUT STROKE: on 256 x 256, the big picture top left, the small one bottom
# right, and an arrow from the one to the other with a white edge STROKE pixels wide.
compose() {
  convert -size 256x256 xc:none \
    "$1" -geometry +4+8 -composite \
    "$2" -geometry +154+156 -composite \
    -fill '#1e3a8a' -stroke white -strokewidth "$4" \
    -draw 'polygon 116,100 160,144 172,124 192,198 118,186 138,172 94,128' \
    -depth 8 "$3"
}

# 256 and 48 pixels: fine borders.
picture "$work/photo.png" "$work/big.png" 8 2
picture "$work/half.png" "$work/small.png" 5 2
compose "$work/big.png" "$work/small.png" "$work/fine.png" 4
# 32 and 16 pixels: no white border and thick outlines, so that the shapes stay apart.
picture "$work/photo.png" "$work/big-bold.png" 0 12
picture "$work/half.png" "$work/small-bold.png" 0 12
compose "$work/big-bold.png" "$work/small-bold.png" "$work/bold.png" 0

convert "$work/fine.png" \( -clone 0 -resize 48x48 \) \
  \( "$work/bold.png" -resize 32x32 \) \( "$work/bold.png" -resize 16x16 \) -depth 8 "$out"
echo "draw-icon: $out"
