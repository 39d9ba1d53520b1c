#!/usr/bin/env bash
# Measures fitting under a size beside the plain shrink, side by side in one run, and prints
# the fit targets with their figures and "met" or "not met": one 12 MP photo to "at most 1 MB"
# at most 2.5 x the time of one plain shrink at the scale found; 24 photos of 12 MP into one
# 25 MB mail at most 2 x the plain batch at the scale found and at most 0.8 x `vips resize`
# run once per photo at that scale; each fitted result using at least 95% of its limit.
# The photos are the batch benchmark's (made here the same way when that one has not run).
# See bench/README.md, "Fit under a size".
# Usage: bench/fit-bench.sh [BUILD_DIR] [REPEATS]      (default: build, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench-common.sh"
bench_arguments fit-bench 3 "$@"
command -v vips >/dev/null || { echo "fit-bench: vips is missing; run make setup" >&2; exit 1; }
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$repeats"
fi
start=$(date +%s)
convert=$(command -v convert-im6.q16 || command -v convert)

make_batch_photos "$build" "$convert"
start_bench_wine "$exe" "$build/fit-bench-wineprefix"

PYTHONPATH="$root/bench" python3 - "$work" "$photos" "$repeats" "$work/velmora-shrink.exe" "$convert" \
  "$root" "$start" <<'PY'
import glob, os, re, sys

from benchlib import MB, header, interleaved, line, print_targets, run, target

work, photos, repeats, exe, convert, root, began = sys.argv[1:]
repeats = int(repeats)
load_start = os.getloadavg()
inputs = sorted(glob.glob(os.path.join(photos, "photo*.jpg")))
out = os.path.join(work, "out")
plain_out = os.path.join(work, "plain")
os.mkdir(out)
os.mkdir(plain_out)


def found(text):
    """The scale n/d, the bytes counted and the limit from the tool's search line."""
    m = re.search(r"search: (\d+) scales? in (\d+) pass(?:es)?; (\d+) of (\d+) bytes.*scale (\d+)/(\d+)",
                  text)
    tries, passes, used, limit, n, d = map(int, m.groups())
    return tries, passes, used, limit, n, d


def in_process(text):
    m = re.search(r"fit ([\d.]+) plain shrink at ([\d.]+)% ([\d.]+) ratio ([\d.]+)", text)
    return float(m.group(1)), float(m.group(3))


def proc(cmd):
    def go():
        t, m, _ = run(cmd)
        return t, m
    return go


header("Velmora fit benchmark", repeats, load_start, root, exe,
       [["wine", "--version"], [convert, "-version"], ["vips", "--version"]])
line("photos: %d of 4000x3000 (plasma, quality 92), %.1f MB together"
     % (len(inputs), sum(os.path.getsize(p) for p in inputs) / MB))
line()

# ---- 1. one photo to at most 1 MB
one = inputs[0]
text = run(["wine", exe, "--fit", "1MB", one, os.path.join(work, "fit.jpg")])[2]
tries, passes, used, limit, n, d = found(text)
percent = 100.0 * n / d
whole = max(1, round(percent))
line("1. One photo to at most 1 MB: scale %d/%d (%.2f%%), %d of %d bytes (%.1f%%), %d scale(s) tried"
     " in %d pass(es)" % (n, d, percent, used, limit, 100.0 * used / limit, tries, passes))
bench = run(["wine", exe, "--fit", "1MB", one, os.path.join(work, "fit.jpg"), "--bench", str(repeats)])[2]
fit_ms, plain_ms = in_process(bench)
line("   in process (medians of %d, alternating): fit %.1f ms, plain shrink at the scale found %.1f ms"
     % (repeats, fit_ms, plain_ms))
tools = {
    "velmora-shrink --fit 1MB": proc(["wine", exe, "--fit", "1MB", one, os.path.join(work, "fit.jpg")]),
    "velmora-shrink IN %d%% (nearest whole %%)" % whole:
        proc(["wine", exe, one, str(whole), os.path.join(work, "plain.jpg")]),
}
med, peak = interleaved(tools, repeats)
for name in tools:
    line("   %-44s %7.0f ms  peak RSS %6.1f MB" % (name, med[name], peak[name]))
names = list(tools)
target("one photo to 1 MB: fit <= 2.5 x one plain shrink at that scale (in process)",
       "%.2f x (%.0f / %.0f ms)" % (fit_ms / plain_ms, fit_ms, plain_ms), fit_ms <= 2.5 * plain_ms)
target("  the same, whole processes (plain at %d%%; for information)" % whole,
       "%.2f x (%.0f / %.0f ms)" % (med[names[0]] / med[names[1]], med[names[0]], med[names[1]]),
       med[names[0]] <= 2.5 * med[names[1]])
target("one photo to 1 MB: uses >= 95% of the limit", "%.1f%%" % (100.0 * used / limit),
       used >= 0.95 * limit)

# ---- 2. 24 photos into one 25 MB mail
line()
text = run(["wine", exe, "--mail", "25MB", *inputs, "--into", out])[2]
tries, passes, used, limit, n, d = found(text)
percent = 100.0 * n / d
whole = max(1, round(percent))
total = sum(os.path.getsize(os.path.join(out, os.path.basename(p))) for p in inputs)
line("2. %d photos into one 25 MB mail: scale %d/%d (%.2f%%), %d of %d bytes as attachments (%.1f%%),"
     " copies %.1f MB; %d scale(s) tried in %d pass(es)"
     % (len(inputs), n, d, percent, used, limit, 100.0 * used / limit, total / MB, tries, passes))
bench = run(["wine", exe, "--mail", "25MB", *inputs, "--into", out, "--bench", str(repeats)])[2]
fit_ms, plain_ms = in_process(bench)
line("   in process (medians of %d, alternating): fit %.0f ms, plain batch at the scale found %.0f ms"
     " (2 workers, as the batch)" % (repeats, fit_ms, plain_ms))


def vips_each():
    total_s, top = 0.0, 0.0
    for i, src in enumerate(inputs):
        t, m, _ = run(["vips", "resize", src,
                       os.path.join(work, "v%02d.jpg[Q=90,subsample-mode=on]" % i), "%.6f" % (n / d)])
        total_s, top = total_s + t, max(top, m)
    return total_s, top


tools = {
    "velmora-shrink --mail 25MB": proc(["wine", exe, "--mail", "25MB", *inputs, "--into", out]),
    "velmora-shrink %d%% batch (nearest whole %%)" % whole:
        proc(["wine", exe, str(whole), *inputs, "--into", plain_out]),
    "vips resize %.4f, once per photo" % (n / d): vips_each,
}
med, peak = interleaved(tools, repeats)
for name in tools:
    line("   %-44s %7.0f ms  peak RSS %6.1f MB" % (name, med[name], peak[name]))
mail, batch, vips = (med[k] for k in tools)
target("24 photos into 25 MB: fit <= 2 x the plain batch at that scale (in process)",
       "%.2f x (%.0f / %.0f ms)" % (fit_ms / plain_ms, fit_ms, plain_ms), fit_ms <= 2 * plain_ms)
target("  the same, whole processes (batch at %d%%; for information)" % whole,
       "%.2f x (%.0f / %.0f ms)" % (mail / batch, mail, batch), mail <= 2 * batch)
target("24 photos into 25 MB: fit <= 0.8 x vips once per photo (whole processes)",
       "%.2f x (%.0f / %.0f ms)" % (mail / vips, mail, vips), mail <= 0.8 * vips)
target("24 photos into 25 MB: uses >= 95% of the limit", "%.1f%%" % (100.0 * used / limit),
       used >= 0.95 * limit)

print_targets(76, began)
PY
