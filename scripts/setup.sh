#!/usr/bin/env bash
# Prepares a Debian 12 machine for building, testing and packaging Velmora: the MinGW cross
# compiler, Wine with Xvfb, GoogleTest sources, ImageMagick, NSIS for the installer, and a
# static libjpeg-turbo cross-built with SIMD into .deps/ (git-ignored). Every step is
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
         libjpeg-turbo-progs nsis; do
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

# libjpeg-turbo: Debian's source package, cross-built static with SIMD.
jpeg_prefix="$deps/libjpeg-turbo"
if [ ! -f "$jpeg_prefix/lib/libjpeg.a" ]; then
  mkdir -p "$deps/src"
  if ! ls "$deps"/src/libjpeg-turbo_*.orig.tar.gz >/dev/null 2>&1; then
    if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
      echo "setup: adding a deb-src entry for $suite"
      printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$suite" | $SUDO tee /etc/apt/sources.list.d/velmora-src.sources >/dev/null
      $SUDO apt-get update -qq
    fi
    (cd "$deps/src" && apt-get source --download-only libjpeg-turbo >/dev/null 2>&1 ||
       apt-get source --download-only libjpeg-turbo)
  fi
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
echo "setup: ready"
