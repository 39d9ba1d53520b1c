#!/usr/bin/env bash
# `make package`: a zip with velmora.exe (stripped, no other files needed; its icon, version
# record and manifest are inside it) and the user guide as a Windows text file, ready to copy
# to a Windows machine and unpack anywhere.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
exe="$build/velmora.exe"
if [ ! -f "$exe" ]; then
  echo "package: $exe is missing; build it first (make build)" >&2
  exit 1
fi
command -v zip >/dev/null || { echo "package: zip is missing; run make setup" >&2; exit 1; }

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="velmora-${version:-dev}-win32"
stage="$build/package/$name"
rm -rf "$build/package"
mkdir -p "$stage"
cp "$exe" "$stage/velmora.exe"
i686-w64-mingw32-strip "$stage/velmora.exe" 2>/dev/null || true
# The icon, version record and manifest travel in the executable's resource section.
if ! grep -q "activeCodePage" "$stage/velmora.exe"; then
  echo "package: $exe carries no manifest; was it built from this tree?" >&2
  exit 1
fi
# Notepad on older Windows wants CR LF line ends.
sed 's/$/\r/' "$root/docs/user-guide.md" >"$stage/User Guide.txt"

zipfile="$build/$name.zip"
rm -f "$zipfile"
(cd "$build/package" && zip -q -r -X "$zipfile" "$name")
rm -rf "$build/package"
echo "package: $zipfile"
unzip -l "$zipfile" | sed 's/^/  /'
