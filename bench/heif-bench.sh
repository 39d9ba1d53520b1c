#!/usr/bin/env bash
# Measures a 12 MP HEIC decode through velmora-heif.dll under Wine against Debian's native
# heif-convert (the same libheif and libde265 versions, 64-bit), side by side in one run, and
# prints the ratios. See bench/README.md.
# Usage: bench/heif-bench.sh [BUILD_DIR] [REPEATS]      (default: build, 5)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeats=${2:-5}
exe="$build/velmora-heif-bench.exe"
if [ ! -f "$exe" ] || [ ! -f "$build/velmora-heif.dll" ] || [ ! -f "$build/tools/velmora-shrink.exe" ]; then
  echo "heif-bench: build it first: cmake --build $build --target velmora-heif-bench velmora-shrink" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$repeats"
fi
convert=$(command -v convert-im6.q16 || command -v convert)
work=$(mktemp -d)
# Program and DLL are copied so that a rebuild during the run cannot swap them; Wine runs in
# the benchmarks' own prefix with one server kept for the whole run.
cp -p "$exe" "$build/velmora-heif.dll" "$build/tools/velmora-shrink.exe" "$work/"
export WINEPREFIX="$build/bench-wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

echo "making the 12 MP HEIC (x265 takes a minute or more)..."
"$convert" -size 4000x3000 -seed 7 plasma:fractal -depth 8 "$work/p12.png"
heif-enc -q 90 "$work/p12.png" -o "$work/p12.heic" >/dev/null
rm -f "$work/p12.png"

cd "$work"
PYTHONPATH="$root/bench" python3 - "$repeats" "$root" <<'PY'
import os, re, sys
import benchlib as b
repeats, root = int(sys.argv[1]), sys.argv[2]
b.header("HEIF decode benchmark", repeats, os.getloadavg(), root, "velmora-heif-bench.exe",
         [["dpkg-query", "-W", "-f=libheif-examples ${Version}", "libheif-examples"],
          ["wine", "--version"]])
b.line("picture: 4000 x 3000 plasma:fractal seed 7, heif-enc -q 90, %.1f MB"
       % (os.path.getsize("p12.heic") / b.MB))
wine = ["wine", "velmora-heif-bench.exe", "p12.heic", "1"]
times, peaks = b.interleaved({
    "velmora-heif-bench under Wine (one decode)": wine,
    "heif-convert to y4m (native)": ["heif-convert", "p12.heic", "p12.y4m"],
    "heif-convert to jpg (native)": ["heif-convert", "p12.heic", "p12.jpg"],
}, repeats)
b.line()
b.line("Whole processes, median of %d interleaved rounds:" % repeats)
for name in times:
    b.line("  %-44s %7.0f ms  peak %5.0f MB" % (name, times[name], peaks[name]))
_, _, text = b.run(["wine", "velmora-heif-bench.exe", "p12.heic", str(repeats)])
b.line("In-process, velmora-heif-bench %s: %s" % (repeats, " / ".join(text.strip().splitlines())))
total = float(re.search(r"total ([0-9.]+) ms", text).group(1))
y4m = times["heif-convert to y4m (native)"]
b.line()
b.line("ratio: in-process decode through the DLL / heif-convert to y4m, whole process: %.2f"
       % (total / y4m))
b.line("ratio: the Wine process / heif-convert to y4m, both whole processes: %.2f"
       % (times["velmora-heif-bench under Wine (one decode)"] / y4m))

# The photo to 30%, each a whole process: velmora-shrink, heif-convert to PNG (lossless)
# followed by vips resize, and vips reading the HEIC itself.
vips_q = "[Q=90,subsample-mode=on]"
def chain():
    t1, m1, _ = b.run(["heif-convert", "p12.heic", "p12.png"])
    t2, m2, _ = b.run(["vips", "resize", "p12.png", "chain30.jpg" + vips_q, "0.3"])
    return t1 + t2, max(m1, m2)
times, peaks = b.interleaved({
    "velmora-shrink p12.heic 30 under Wine": ["wine", "velmora-shrink.exe", "p12.heic", "30",
                                              "v30.jpg"],
    "heif-convert to PNG, then vips resize 0.3": chain,
    "vips resize 0.3 of the HEIC itself": ["vips", "resize", "p12.heic", "d30.jpg" + vips_q, "0.3"],
}, repeats)
b.line()
b.line("The photo to 30%%, whole processes, median of %d interleaved rounds:" % repeats)
for name in times:
    b.line("  %-44s %7.0f ms  peak %5.0f MB" % (name, times[name], peaks[name]))
mine = times["velmora-shrink p12.heic 30 under Wine"]
b.line("ratio: velmora-shrink / heif-convert then vips resize: %.2f"
       % (mine / times["heif-convert to PNG, then vips resize 0.3"]))
b.line("ratio: velmora-shrink / vips resize of the HEIC: %.2f"
       % (mine / times["vips resize 0.3 of the HEIC itself"]))
PY
