#!/usr/bin/env bash
# Times velmora-shrink against ImageMagick's convert and libvips on one photo-like
# 12-megapixel JPEG (4000 x 3000, ImageMagick plasma, quality 92), all at 30% and
# quality 90, in the same run: medians of whole processes (Wine's server kept running),
# peak memory of each, the ratios, and velmora-shrink's own phase times.
# Usage: bench/shrink-bench.sh [BUILD_DIR] [REPEATS]      (default: build, 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
repeats=${2:-7}
exe="$build/tools/velmora-shrink.exe"
if [ ! -f "$exe" ]; then
  echo "shrink-bench: $exe is missing; build it with: cmake --build $build --target velmora-shrink" >&2
  exit 1
fi
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$repeats"
fi
convert=$(command -v convert-im6.q16 || command -v convert)
vips=$(command -v vips)

work=$(mktemp -d)
export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -p </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

echo "making the 4000 x 3000 test picture..."
"$convert" -size 4000x3000 -seed 7 plasma:fractal -quality 92 "$work/in.jpg"
"$convert" -size 64x64 -seed 7 plasma:fractal -quality 90 "$work/tiny.jpg"

python3 - "$work" "$repeats" "$exe" "$convert" "$vips" <<'PY'
import os, statistics, subprocess, sys, time

work, repeats, exe, convert, vips = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5]
src = os.path.join(work, "in.jpg")
tools = {
    "velmora-shrink": ["wine", exe, src, "30", os.path.join(work, "velmora.jpg")],
    "ImageMagick convert": [convert, src, "-resize", "30%", "-quality", "90",
                            os.path.join(work, "magick.jpg")],
    "libvips resize": [vips, "resize", src, os.path.join(work, "vips.jpg") + "[Q=90]", "0.3"],
}

def run(cmd):
    """Wall seconds and peak resident kilobytes of one whole process."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("shrink-bench: %s failed" % " ".join(cmd))
    return elapsed, usage.ru_maxrss

for cmd in tools.values():  # warm the file cache and Wine's
    run(cmd)
times = {name: [] for name in tools}
peaks = {name: [] for name in tools}
for _ in range(repeats):  # interleaved, so load changes hit every tool alike
    for name, cmd in tools.items():
        t, m = run(cmd)
        times[name].append(t)
        peaks[name].append(m)
baseline = max(run(["wine", exe, os.path.join(work, "tiny.jpg"), "30",
                    os.path.join(work, "tiny-out.jpg")])[1] for _ in range(3))

decoded_mb = 4000 * 3000 * 3 / 2**20
med = {name: statistics.median(v) for name, v in times.items()}
print("\n%d runs each, 4000x3000 JPEG (%.1f MB) to 30%%, quality 90; median wall time, peak RSS"
      % (repeats, os.path.getsize(src) / 2**20))
for name in tools:
    print("  %-20s %7.0f ms   %6.1f MB" % (name, med[name] * 1000, max(peaks[name]) / 1024))
v = med["velmora-shrink"]
print("ratios: ImageMagick / velmora = %.2f   libvips / velmora = %.2f"
      % (med["ImageMagick convert"] / v, med["libvips resize"] / v))
peak = max(peaks["velmora-shrink"]) / 1024
print("velmora peak RSS %.1f MB = %.2f x the decoded 24-bit picture (%.1f MB); Wine's own share"
      " (same tool on a 64x64 picture) %.1f MB, leaving %.1f MB = %.2f x"
      % (peak, peak / decoded_mb, decoded_mb, baseline / 1024, peak - baseline / 1024,
         (peak - baseline / 1024) / decoded_mb))
PY

echo
echo "velmora-shrink phases (in-process, $repeats repetitions):"
wine "$exe" "$work/in.jpg" 30 "$work/velmora.jpg" --bench "$repeats" | tail -n 2
