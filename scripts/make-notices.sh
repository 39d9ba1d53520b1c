#!/usr/bin/env bash
# Writes THIRD-PARTY-NOTICES.txt: the notices of the code that is linked into velmora.exe, taken
# at build time from the licence files of exactly the versions the build uses: libjpeg-turbo
# from the source package that scripts/setup.sh fetched, and the MinGW-w64 runtime parts that
# are linked statically (start-up code and mingwex, gdtoa, winpthreads; libgcc and libstdc++)
# from the Debian packages of the cross compiler. GoogleTest builds only the tests. With a
# third argument, the folder holding the libheif and libde265 source packages setup.sh fetched
# and unpacked, also the notices of velmora-heif.dll: their licence files whole and where to
# get the exact sources.
# Usage: make-notices.sh OUT LIBJPEG_TURBO_SOURCE_DIR [HEIF_SOURCES_DIR]
set -euo pipefail
out=$1
jpeg=$2
heif=${3:-}
mingw_doc=/usr/share/doc/mingw-w64-common/copyright
gcc_doc=/usr/share/doc/gcc-mingw-w64-base/copyright
for f in ${heif:+"$heif/libheif/COPYING" "$heif/libde265/COPYING"} "$jpeg/LICENSE.md" "$jpeg/README.ijg" "$jpeg/simd/nasm/jsimdext.inc" "$mingw_doc" "$gcc_doc"; do
  [ -f "$f" ] || { echo "make-notices: $f is missing (run make setup)" >&2; exit 1; }
done

jpeg_version=$(sed -n 's/^set(VERSION \([0-9.]*\))/\1/p' "$jpeg/CMakeLists.txt")
jpeg_package=$(cd "$jpeg/.." && ls libjpeg-turbo_*.dsc 2>/dev/null | sed 's/\.dsc$//' | head -n 1)
version_of() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || echo "as installed"; }
mingw_version=$(version_of mingw-w64-i686-dev)
gcc_version=$(version_of g++-mingw-w64-i686-posix)

# The paragraph of a Debian copyright file whose first line is $2, its fields' text with the
# one-space indent taken off and " ." lines as empty ones.
paragraph() {
  awk -v first="$2" '
    $0 == first && blank { on = 1 }
    on && /^$/ { exit }
    on { sub(/^ \.$/, ""); sub(/^ /, ""); print }
    { blank = ($0 == "") }' "$1"
}
rule() { printf '\n%s\n%s\n\n' "$1" "$(printf '%*s' ${#1} '' | tr ' ' '=')"; }

{
  echo "Third-party notices for Velmora"
  echo
  echo "velmora.exe contains code of the software below, linked into it when it was built. Their"
  echo "licences ask that copies of the program carry these notices; here they are, taken from"
  echo "the licence files of the versions the program was built with."

  rule "libjpeg-turbo $jpeg_version${jpeg_package:+ (source package $jpeg_package)}"
  echo "This software is based in part on the work of the Independent JPEG Group."
  echo
  echo "Velmora reads and writes JPEG files with libjpeg-turbo's libjpeg API and its SIMD"
  echo "extensions; the TurboJPEG API is not part of it. libjpeg-turbo's LICENSE.md follows,"
  echo "then the legal section of its README.ijg and the zlib licence of its SIMD extensions."
  echo
  sed 's/<br>$//' "$jpeg/LICENSE.md"
  echo
  awk '/^LEGAL ISSUES$/ { on = 1 } /^REFERENCES$/ { exit } on' "$jpeg/README.ijg"
  echo "The zlib licence of the SIMD extensions (simd/nasm/jsimdext.inc):"
  echo
  awk 'NR > 1 && /^;/ { sub(/^; ?/, ""); print; next } NR > 1 { exit }' \
    "$jpeg/simd/nasm/jsimdext.inc" | sed -n '/Copyright/,/source distribution/p'

  rule "MinGW-w64 runtime $mingw_version (C run-time start-up, mingwex, gdtoa, winpthreads)"
  echo "From the copyright file of the Debian package mingw-w64-i686-dev $mingw_version."
  echo
  paragraph "$mingw_doc" "Files: *"
  echo
  echo "The C run-time start-up code (mingw-w64-crt/crt/*):"
  paragraph "$mingw_doc" "License: public-domain"
  echo
  paragraph "$mingw_doc" "Files: mingw-w64-crt/gdtoa/*"
  echo
  paragraph "$mingw_doc" "Files: mingw-w64-crt/gdtoa/qnan.c"
  echo
  paragraph "$mingw_doc" "Files: mingw-w64-libraries/winpthreads/*"
  paragraph "$mingw_doc" "License: expat"
  echo
  paragraph "$mingw_doc" "Files: mingw-w64-libraries/winpthreads/include/pthread.h"

  rule "GCC $gcc_version runtime libraries (libgcc, libstdc++)"
  echo "libgcc and libstdc++ are Copyright (C) Free Software Foundation, Inc., and licensed"
  echo "under the GNU General Public License, version 3 or later, with version 3.1 of the GCC"
  echo "Runtime Library Exception, which allows them to be combined with programs under any"
  echo "licence. Its text, from the copyright file of the Debian package gcc-mingw-w64-base:"
  echo
  awk '/^GCC RUNTIME LIBRARY EXCEPTION$/ { on = 1 } on && /^2\. No Weakening/ { last = 1 }
       on { print } last && /requirements of the license of GCC\.$/ { exit }' "$gcc_doc"

  if [ -n "$heif" ]; then
    source_package() { (cd "$heif" && ls "$1"_*.dsc 2>/dev/null | sed 's/\.dsc$//; s/_/ /' | head -n 1); }
    heif_package=$(source_package libheif)
    de265_package=$(source_package libde265)
    rule "velmora-heif.dll: libheif and libde265"
    echo "velmora-heif.dll, the HEIF/HEIC decoder that velmora.exe loads from its own folder, is a"
    echo "separate library (no part of velmora.exe) that contains libheif and libde265, which are"
    echo "licensed under the GNU Lesser General Public License, version 3; their licence files,"
    echo "with the text of the LGPL and of the GNU GPL it builds on, follow. The DLL also carries"
    echo "the MinGW-w64 and GCC runtime parts named above."
    echo
    echo "It was built from Debian's source packages ${heif_package:-libheif} and"
    echo "${de265_package:-libde265}, with Debian's patches, as the source package versions are"
    echo "published (apt-get source libheif=VERSION libde265=VERSION on Debian 12, or"
    echo "https://snapshot.debian.org/ by package name and version). libde265 was modified in two"
    echo "places, both in libde265/threads.h and threads.cc: on Windows it uses the POSIX threads"
    echo "of the MinGW-w64 runtime instead of Windows mutex objects, and its condition variables"
    echo "are made on first use; scripts/setup.sh makes the two changes to the unpacked sources."
    echo "Velmora's own sources hold the rest of the DLL (heif/velmora_heif.h and .cpp, under"
    echo "Velmora's licence) and the steps that build it (scripts/setup.sh)."
    echo "You may replace velmora-heif.dll with one built from modified versions of these"
    echo "libraries, or delete it: Velmora then refuses HEIC photos and works as before otherwise."
    rule "libheif: COPYING"
    cat "$heif/libheif/COPYING"
    rule "libde265: COPYING"
    cat "$heif/libde265/COPYING"
  fi
} >"$out.tmp"
mv "$out.tmp" "$out"
