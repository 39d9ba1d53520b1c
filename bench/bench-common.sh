# Shell steps the benchmarks share; sourced, with root set to the repository.

# The arguments [BUILD_DIR] [REPEATS] after the script's name $1 and its default REPEATS $2:
# sets build, repeats and exe (the velmora-shrink it runs), and ends the script when exe is
# missing.
bench_arguments() {
  local name=$1 default=$2
  shift 2
  build=$(cd "${1:-$root/build}" && pwd)
  repeats=${2:-$default}
  exe="$build/tools/velmora-shrink.exe"
  if [ ! -f "$exe" ]; then
    echo "$name: $exe is missing; build it with: cmake --build $build --target velmora-shrink" >&2
    exit 1
  fi
}

# The 24 photos of 12 MP (and a tiny one) in $1/batch-bench-photos, made with ImageMagick $2
# and kept for later runs; made again when the recipe changes. Sets photos.
make_batch_photos() {
  photos="$1/batch-bench-photos"
  local recipe="plasma:fractal 4000x3000 quality 92 seeds 101-124 ($("$2" -version | head -n 1))"
  if [ "$(cat "$photos/recipe" 2>/dev/null)" != "$recipe" ]; then
    echo "making the 24 photos (about a minute)..."
    rm -rf "$photos"
    mkdir -p "$photos"
    for i in $(seq 1 24); do
      "$2" -size 4000x3000 -seed $((100 + i)) plasma:fractal -quality 92 \
        "$photos/photo$(printf %02d "$i").jpg"
    done
    "$2" -size 64x64 -seed 7 plasma:fractal -quality 90 "$photos/tiny.jpg"
    echo "$recipe" >"$photos/recipe"
  fi
}

# A work folder holding a copy of the tool $1 (a rebuild during the run cannot swap it), and
# Wine in the prefix $2 of the benchmark's own with one server kept running for the whole run;
# both end with the script. Sets work.
start_bench_wine() {
  work=$(mktemp -d)
  cp -p "$1" "$work/velmora-shrink.exe"
  export WINEPREFIX="$2" WINEARCH=win32 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  "$root/scripts/wine-prefix.sh" "$WINEPREFIX"
  # A persistent server cannot start while the one that made the prefix runs: wait for that
  # one to end (one left running by an earlier run is used as it is).
  if ! wineserver -p </dev/null >/dev/null 2>&1; then
    timeout 30 wineserver -w || true
    wineserver -p </dev/null >/dev/null 2>&1 || true
  fi
  # Wine's background programs start with the first program and keep its output open: start
  # them here on /dev/null.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
  trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
}
