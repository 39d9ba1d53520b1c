#!/usr/bin/env bash
# Prepares a Debian 12 machine for building, testing and packaging Velmora: the MinGW cross
# compiler, Wine with Xvfb, GoogleTest sources, ImageMagick, NSIS for the installer, a static
# libjpeg-turbo cross-built with SIMD, and the HEIF decoder libraries (libde265, libheif)
# cross-built static for velmora-heif.dll, all into .deps/ (git-ignored). Every step is
# skipped when already done.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/.deps"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

need_pkgs=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
for p in g++-mingw-w64-i686-posix mingw-w64-i686-dev nasm cmake make wine wine32:i386 \
         xvfb xauth x11-utils x11-apps googletest imagemagick zip unzip libvips-tools \
         libjpeg-turbo-progs nsis dpkg-dev libheif-examples; do
  have "$p" || need_pkgs+=("$p")
done

if [ ${#need_pkgs[@]} -gt 0 ]; then
  echo "setup: installing ${need_pkgs[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need_pkgs[@]}" >/dev/null
fi

# Debian source packages are fetched with apt-get source, which needs a deb-src entry.
fetch_source() {
  mkdir -p "$deps/src"
  if ! ls "$deps"/src/"$1"_*.dsc >/dev/null 2>&1; then
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
      echo "setup: adding a deb-src entry for $suite"
      printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" | $SUDO tee /etc/apt/sources.list.d/velmora-src.sources >/dev/null
      $SUDO apt-get update -qq
    fi
    (cd "$deps/src" && apt-get source --download-only "$1" >/dev/null 2>&1 ||
       apt-get source --download-only "$1")
  fi
}

# libjpeg-turbo: Debian's source package, cross-built static with SIMD.
jpeg_prefix="$deps/libjpeg-turbo"
if [ ! -f "$jpeg_prefix/lib/libjpeg.a" ]; then
  fetch_source libjpeg-turbo
  tarball=$(ls "$deps"/src/libjpeg-turbo_*.orig.tar.gz | head -n 1)
  rm -rf "$deps/src/libjpeg-turbo" && mkdir -p "$deps/src/libjpeg-turbo"
  tar -xzf "$tarball" -C "$deps/src/libjpeg-turbo" --strip-components=1
  echo "setup: cross-building libjpeg-turbo from $(basename "$tarball")"
  cmake -S "$deps/src/libjpeg-turbo" -B "$deps/src/libjpeg-turbo-build" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$jpeg_prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm >/dev/null
  cmake --build "$deps/src/libjpeg-turbo-build" -j"$(nproc)" >/dev/null
  cmake --install "$deps/src/libjpeg-turbo-build" >/dev/null
fi

# HEIF decoding: libde265 (HEVC) and libheif from Debian's source packages with Debian's
# patches applied, cross-built static and lean (decoder only: no encoders, no AV1, no plug-in
# loading, no tools) into .deps/heif, from which CMake links velmora-heif.dll.
heif_prefix="$deps/heif"
heif_cmake() { # source folder, build folder, options...
  local src=$1 build=$2
  shift 2
  # Only failures are shown: the libraries' own messages and warnings would bury the set-up's.
  mkdir -p "$build"
  if ! { cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
           -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
           -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_INSTALL_PREFIX="$heif_prefix" \
           -DBUILD_SHARED_LIBS=OFF "$@" &&
         cmake --build "$build" -j"$(nproc)" && cmake --install "$build"; } >"$build/setup.log" 2>&1; then
    tail -n 40 "$build/setup.log"
    exit 1
  fi
}
heif_unpack() { # package name
  fetch_source "$1"
  local dsc
  dsc=$(ls "$deps"/src/"$1"_*.dsc | head -n 1)
  rm -rf "$deps/src/$1" "$deps/src/$1-build"
  (cd "$deps/src" && dpkg-source --no-check -x "$(basename "$dsc")" "$1" >/dev/null)
  echo "setup: cross-building $(basename "$dsc" .dsc)"
}
# libde265 on Windows takes a Windows mutex object for every lock, which under Wine is a round
# trip to the Wine server each (tens of thousands for a photo), and makes two semaphores for
# every condition variable, waited on or not: built on the MinGW-w64 runtime's POSIX threads,
# with its condition variables made on first use, a 12 MP photo decodes in 1.2 s instead of
# 4.3 s under Wine. The stamp tells a library built before these changes, which is rebuilt.
de265_stamp="$heif_prefix/lib/libde265-velmora-threads"
if [ ! -f "$heif_prefix/lib/libde265.a" ] || [ ! -f "$de265_stamp" ]; then
  heif_unpack libde265
  threads="$deps/src/libde265/libde265/threads"
  sed -i 's/^#ifndef _WIN32$/#if !defined(_WIN32) || defined(__MINGW32__)/' "$threads.h" "$threads.cc"
  sed -i 's/{ pthread_cond_init(c,NULL); }/{ *c = PTHREAD_COND_INITIALIZER; }/' "$threads.cc"
  if [ "$(cat "$threads.h" "$threads.cc" | grep -c '^#if !defined(_WIN32) || defined(__MINGW32__)$')" != 3 ] ||
    ! grep -q 'PTHREAD_COND_INITIALIZER' "$threads.cc"; then
    echo "setup: libde265's thread code is not as expected; its two changes were not made" >&2
    exit 1
  fi
  heif_cmake "$deps/src/libde265" "$deps/src/libde265-build" \
    -DENABLE_SDL=OFF -DENABLE_DECODER=OFF -DENABLE_ENCODER=OFF
  touch "$de265_stamp"
fi
if [ ! -f "$heif_prefix/lib/libheif.a" ]; then
  heif_unpack libheif
  # Upstream builds with -Werror (the cross compiler's warnings are not ours to fix) and adds
  # desktop plug-ins (gdk-pixbuf, a thumbnailer) that have no place here.
  sed -i -e '/add_definitions(-Werror)/d' -e '/add_subdirectory *(gdk-pixbuf)/d' \
    -e '/add_subdirectory *(gnome)/d' "$deps/src/libheif/CMakeLists.txt"
  heif_cmake "$deps/src/libheif" "$deps/src/libheif-build" \
    -DWITH_EXAMPLES=OFF -DENABLE_PLUGIN_LOADING=OFF -DWITH_LIBDE265=ON \
    -DWITH_LIBDE265_PLUGIN=OFF -DLIBDE265_INCLUDE_DIR="$heif_prefix/include" \
    -DLIBDE265_LIBRARY="$heif_prefix/lib/libde265.a" -DWITH_X265=OFF -DWITH_DAV1D=OFF \
    -DWITH_AOM_DECODER=OFF -DWITH_AOM_ENCODER=OFF -DWITH_SvtEnc=OFF -DWITH_RAV1E=OFF \
    -DWITH_DEFLATE_HEADER_COMPRESSION=OFF
fi
echo "setup: ready"
