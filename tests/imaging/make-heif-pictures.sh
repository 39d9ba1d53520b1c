#!/usr/bin/env bash
# Makes HEIF test files with Debian's libheif-examples (heif-enc, heif-convert) from pictures
# drawn by ImageMagick, and the references the decoder test compares against (NAME-ref.ppm:
# heif-convert's own decode of NAME.heic, 8 bits):
#   plain.heic     150 x 90, 8-bit 4:2:0, from a PNG
#   exif.heic      from a JPEG whose EXIF block says Make "Velmora", orientation 6, with a
#                  132-byte ICC profile (a bare header, 'acsp' at 36)
#   tiny.avif      an AV1-coded HEIF file
#   rotated.heic   plain.heic with a rotation box (90 degrees clockwise to view) in place of
#                  its pixi box; rotated-im.ppm: ImageMagick's own turn of the drawn picture,
#                  a reference independent of libheif
#   mirrored.heic  plain.heic with a mirror box in place of the pixi box
#   alpha.heic     with an alpha plane; alpha-ref.ppm: heif-convert's decode laid on white
#   deep.heic      10-bit samples from a 16-bit PNG (heif-enc -b 10)
#   quadrants.heic for the program's end-to-end test: four coloured quarters 96 x 160 upright,
#                  stored turned as 160 x 96 with a rotation box
# heif-enc 1.15 neither writes rotation or mirror boxes (not even from a JPEG's EXIF
# orientation) nor image grids: the turned files are patched, and no grid is made.
# Usage: make-heif-pictures.sh CONVERT OUTDIR
set -euo pipefail
convert=$1
out=$2
mkdir -p "$out"
cd "$out"
"$convert" -size 150x90 xc: -sparse-color Shepards \
  "0,0 red 149,0 yellow 0,89 blue 149,89 lime 75,45 white" -depth 8 plain.png
reference() { # NAME: heif-convert's decode as an 8-bit PPM, extra ImageMagick options after
  local name=$1
  shift
  heif-convert "$name.heic" "$name-out.png" >/dev/null
  "$convert" "$name-out.png" "$@" -depth 8 "$name-ref.ppm"
  rm -f "$name-out.png"
}
heif-enc -q 90 plain.png -o plain.heic >/dev/null
reference plain

# A JPEG with an EXIF block after ImageMagick's 18-byte JFIF marker.
"$convert" plain.png -sampling-factor 1x1 -quality 95 plain.jpg
exif='Exif\0\0II*\0\010\0\0\0\002\0\017\001\002\0\010\0\0\0\046\0\0\0\022\001\003\0\001\0\0\0\006\0\0\0\0\0\0\0Velmora\0'
icc() {
  printf '\0\0\0\204none\002\020\0\0mntrRGB XYZ '
  head -c 12 /dev/zero
  printf acsp
  head -c 28 /dev/zero
  printf '\0\0\366\326\0\001\0\0\0\0\323\055'
  head -c 52 /dev/zero
}
{
  head -c 20 plain.jpg
  printf '\377\341\000\066'
  printf "$exif"
  printf '\377\342\000\224ICC_PROFILE\0\001\001'
  icc
  tail -c +21 plain.jpg
} >exif.jpg
heif-enc -q 90 exif.jpg -o exif.heic >/dev/null

# The 16-byte pixi property box becomes a 16-byte irot (angle 3: 270 degrees anticlockwise)
# or imir (axis 0) box at the same property index, so the image's associations still hold.
with_box() { # NAME TYPE-AND-PAYLOAD(12 bytes, printf) [FROM]
  local from=${3:-plain.heic} at
  cp "$from" "$1.heic"
  at=$(grep -obUa pixi "$from" | head -n 1 | cut -d: -f1)
  printf "$2" | dd of="$1.heic" bs=1 seek="$at" conv=notrunc status=none
  reference "$1"
}
with_box rotated 'irot\003\0\0\0\0\0\0\0'
with_box mirrored 'imir\0\0\0\0\0\0\0\0'
"$convert" plain.png -rotate 90 -depth 8 rotated-im.ppm
"$convert" -size 48x80 'xc:rgb(210,40,40)' 'xc:rgb(40,170,60)' +append \
  \( -size 48x80 'xc:rgb(40,60,200)' 'xc:rgb(230,210,40)' +append \) -append -rotate -90 \
  PNG24:quadrants-stored.png
heif-enc -q 90 quadrants-stored.png -o quadrants-stored.heic >/dev/null
with_box quadrants 'irot\003\0\0\0\0\0\0\0' quadrants-stored.heic
rm -f quadrants-stored.png quadrants-stored.heic quadrants-ref.ppm

"$convert" plain.png \( -size 150x90 gradient:white-black \) -alpha off -compose CopyOpacity \
  -composite alpha.png
heif-enc -q 90 alpha.png -o alpha.heic >/dev/null
reference alpha -background white -flatten

"$convert" plain.png -depth 16 PNG48:deep.png
heif-enc -q 90 -b 10 deep.png -o deep.heic >/dev/null
reference deep
heif-enc -A -q 50 plain.png -o tiny.avif >/dev/null
rm -f plain.png plain.jpg exif.jpg alpha.png deep.png
