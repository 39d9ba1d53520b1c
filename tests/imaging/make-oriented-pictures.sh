#!/usr/bin/env bash
# Makes, with ImageMagick, the pictures the orientation test compares against:
# oriented-N.jpg is a 13 x 8 picture with four coloured corners whose EXIF block says
# orientation N (written by `convert -orient`), and upright-N.ppm is ImageMagick's own
# `-auto-orient` of that file. Odd orientations carry an "II" block, even ones "MM".
# Usage: make-oriented-pictures.sh CONVERT OUTDIR
set -euo pipefail
convert=$1
out=$2
mkdir -p "$out"
base="$out/corners.jpg"
"$convert" -size 13x8 xc: -sparse-color Bilinear "0,0 red 12,0 yellow 0,7 blue 12,7 lime" \
  -sampling-factor 1x1 -quality 95 "$base"

# A JFIF file from ImageMagick starts with SOI and an 18-byte APP0; an APP1 goes after them.
# The block: "Exif\0\0", TIFF header, IFD0 with one entry (orientation 1), no next IFD.
exif_ii='Exif\0\0II*\0\010\0\0\0\001\0\022\001\003\0\001\0\0\0\001\0\0\0\0\0\0\0'
exif_mm='Exif\0\0MM\0*\0\0\0\010\0\001\001\022\0\003\0\0\0\001\0\001\0\0\0\0\0\0'
with_exif() {
  { head -c 20 "$base"; printf '\377\341\000\042'; printf "$1"; tail -c +21 "$base"; } >"$2"
}
with_exif "$exif_ii" "$out/exif-ii.jpg"
with_exif "$exif_mm" "$out/exif-mm.jpg"

names=(TopLeft TopRight BottomRight BottomLeft LeftTop RightTop RightBottom LeftBottom)
for n in 1 2 3 4 5 6 7 8; do
  source="$out/exif-ii.jpg"
  [ $((n % 2)) -eq 0 ] && source="$out/exif-mm.jpg"
  "$convert" "$source" -orient "${names[n - 1]}" "$out/oriented-$n.jpg"
  "$convert" "$out/oriented-$n.jpg" -auto-orient -depth 8 "$out/upright-$n.ppm"
done
