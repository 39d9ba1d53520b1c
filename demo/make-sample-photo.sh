#!/usr/bin/env bash
# Draws, with ImageMagick, the sample photo that `make run` opens: a 1800 x 2400 landscape with
# sky, sun, hills, a house, a fence of thin bars and grass (fine detail for the shrink to keep),
# stored turned on its side with EXIF orientation 6, as a camera held upright stores it, so the
# program must turn it upright. Its name is not ASCII. Same picture every time (fixed seeds).
# Usage: make-sample-photo.sh CONVERT OUTDIR   (writes "OUTDIR/Velmora sample — café.jpg")
set -euo pipefail
convert=$1
out=$2
name="$out/Velmora sample — café.jpg"
mkdir -p "$out"
upright="$out/upright.jpg"
fence=$(for x in $(seq 0 14 1800); do printf 'line %d,1040 %d,1250 ' "$x" "$x"; done)
"$convert" -size 1800x1100 gradient:'#2a64b0-#cde2f4' \
  \( -size 1800x1300 xc: -seed 11 +noise Random -colorspace Gray -motion-blur 0x9+270 -auto-level \
     \( -size 225x163 xc: -seed 12 +noise Random -colorspace Gray -blur 0x3 -auto-level \
        -resize 800x800%! \) \
     -compose Multiply -composite -auto-level +level-colors '#1a3512,#d2c46a' \) \
  -compose Over -append +repage \
  -fill '#fff3b0' -draw 'circle 420,380 420,520' \
  -fill '#3d6b3a' -draw 'ellipse 1300,1110 700,170 180,360' \
  -fill '#557f49' -draw 'ellipse 350,1120 600,120 180,360' \
  -fill '#b0452f' -draw 'rectangle 1180,900 1420,1080' \
  -fill '#6e2a1c' -draw 'polygon 1160,905 1300,790 1440,905' \
  -stroke '#5a3b1e' -strokewidth 3 -draw "$fence line 0,1080 1800,1080 line 0,1200 1800,1200" \
  -rotate -90 -quality 92 "$upright"

# ImageMagick's JPEG starts with SOI and an 18-byte JFIF APP0; the APP1 goes after them.
# "Exif\0\0", a big-endian TIFF header, IFD0 with one entry: orientation (0x0112) = 6.
exif='Exif\0\0MM\0*\0\0\0\010\0\001\001\022\0\003\0\0\0\001\0\006\0\0\0\0\0\0'
{ head -c 20 "$upright"; printf '\377\341\000\042'; printf "$exif"; tail -c +21 "$upright"; } \
  >"$name.tmp"
mv "$name.tmp" "$name"
rm -f "$upright"
