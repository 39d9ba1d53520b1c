#!/usr/bin/env bash
# `make package`: from the build folder $1, into the folder $2 (the build folder unless given):
# - velmora-VERSION-win32.zip, the portable copy: velmora.exe (stripped, no other files needed;
#   its icon, version record, manifest, licence and notices are inside it), the user guide, the
#   licence and the third-party notices as Windows text files, to unpack anywhere; beside
#   velmora.exe the HEIF decoder velmora-heif.dll when it was built (a separate LGPL part that a
#   distributor may leave out: without it HEIC photos are refused as not installed);
# - velmora-VERSION-setup.exe, the installer made with NSIS from the same files
#   (installer/velmora.nsi): for the current user, with Start menu, Send To and Open with.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
mkdir -p "${2:-$build}"
out=$(cd "${2:-$build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$build/velmora.exe"
notices="$build/THIRD-PARTY-NOTICES.txt"
for f in "$exe" "$notices"; do
  [ -f "$f" ] || { echo "package: $f is missing; build it first (make build)" >&2; exit 1; }
done
command -v zip >/dev/null || { echo "package: zip is missing; run make setup" >&2; exit 1; }
command -v makensis >/dev/null || { echo "package: makensis is missing; run make setup" >&2; exit 1; }

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
version=${version:-0.0}
name="velmora-$version-win32"
work=$(mktemp -d "$build/package.XXXXXX")
trap 'rm -rf "$work"' EXIT
stage="$work/$name"
mkdir -p "$stage"
cp "$exe" "$stage/velmora.exe"
i686-w64-mingw32-strip "$stage/velmora.exe" 2>/dev/null || true
heif=()
if [ -f "$build/velmora-heif.dll" ]; then
  cp "$build/velmora-heif.dll" "$stage/velmora-heif.dll"
  heif=(-DHEIF)
fi
# The icon, version record, manifest, licence and notices travel in the resource section.
if ! grep -q "activeCodePage" "$stage/velmora.exe" || ! grep -q "Independent JPEG Group" "$stage/velmora.exe"; then
  echo "package: $exe lacks its manifest or notices; was it built from this tree?" >&2
  exit 1
fi
# Notepad on older Windows wants CR LF line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf "$root/docs/user-guide.md" "$stage/User Guide.txt"
crlf "$root/LICENSE" "$stage/LICENSE.txt"
crlf "$notices" "$stage/THIRD-PARTY-NOTICES.txt"

zipfile="$out/$name.zip"
rm -f "$zipfile"
(cd "$work" && zip -q -r -X "$zipfile" "$name")
echo "package: $zipfile"
unzip -l "$zipfile" | sed 's/^/  /'

# The version record of the setup program wants four numbers.
IFS=. read -r -a parts <<<"$version"
while [ ${#parts[@]} -lt 4 ]; do parts+=(0); done
setup="$out/velmora-$version-setup.exe"
makensis -V2 -INPUTCHARSET UTF8 "${heif[@]}" -DVERSION="$version" -DVERSION4="$(IFS=.; echo "${parts[*]:0:4}")" \
  -DSTAGE="$stage" -DICON="$root/app/velmora.ico" -DOUTFILE="$setup" "$root/installer/velmora.nsi"
echo "package: $setup ($(du -k "$setup" | cut -f1) KB)"
