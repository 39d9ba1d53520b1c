#!/usr/bin/env bash
# Measures velmora-shrink on a batch of photos against libvips run once per photo and
# ImageMagick's mogrify, side by side in one run, and prints the batch targets with their
# figures and "met" or "not met": 24 photos of 12 megapixels to 30% in one process at most
# 0.6 x the time of `vips resize` run photo after photo, at least 5 x faster than `mogrify`
# on copies of the same files, and a peak memory at most that of one photo plus 20%. It also
# times the batch with one and two workers, each photo's decode on one thread or two, which
# is how the shrinker's default was chosen, and how soon the first photo of a batch is ready
# against the same photo shrunk alone. See bench/README.md, "Batch".
# Usage: bench/batch-bench.sh [BUILD_DIR] [REPEATS]      (default: build, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench-common.sh"
bench_arguments batch-bench 3 "$@"
for tool in vips; do
  command -v "$tool" >/dev/null || { echo "batch-bench: $tool is missing; run make setup" >&2; exit 1; }
done
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$repeats"
fi
start=$(date +%s)
convert=$(command -v convert-im6.q16 || command -v convert)
mogrify=$(command -v mogrify-im6.q16 || command -v mogrify)

make_batch_photos "$build" "$convert"
start_bench_wine "$exe" "$build/batch-bench-wineprefix"

PYTHONPATH="$root/bench" python3 - "$work" "$photos" "$repeats" "$work/velmora-shrink.exe" "$convert" "$mogrify" \
  "$root" "$start" <<'PY'
import glob, os, re, shutil, sys

from benchlib import MB, header, interleaved, line, print_targets, run, target

work, photos, repeats, exe, convert, mogrify, root, began = sys.argv[1:]
repeats = int(repeats)
load_start = os.getloadavg()
inputs = sorted(glob.glob(os.path.join(photos, "photo*.jpg")))
tiny = os.path.join(photos, "tiny.jpg")
out = os.path.join(work, "out")
os.mkdir(out)


def velmora_batch(*extra):
    def go():
        t, m, _ = run(["wine", exe, "30", *inputs, "--into", out, *extra])
        return t, m
    return go


def velmora_one(src):
    def go():
        t, m, _ = run(["wine", exe, src, "30", os.path.join(work, "one.jpg")])
        return t, m
    return go


def vips_each():
    """vips resize once per photo, one after the other: total seconds, highest peak."""
    total, peak = 0.0, 0.0
    for i, src in enumerate(inputs):
        t, m, _ = run(["vips", "resize", src,
                       os.path.join(out, "v%02d.jpg[Q=90,subsample-mode=on]" % i), "0.3"])
        total, peak = total + t, max(peak, m)
    return total, peak


def mogrify_copies():
    """mogrify on fresh copies (the copying is not timed): seconds and peak."""
    copies = os.path.join(work, "copies")
    shutil.rmtree(copies, ignore_errors=True)
    os.mkdir(copies)
    names = []
    for src in inputs:
        shutil.copy(src, copies)
        names.append(os.path.join(copies, os.path.basename(src)))
    t, m, _ = run([mogrify, "-resize", "30%", "-quality", "90", *names])
    return t, m


header("Velmora batch benchmark", repeats, load_start, root, exe,
       [["wine", "--version"], [convert, "-version"], ["vips", "--version"]])
total_mb = sum(os.path.getsize(p) for p in inputs) / MB
line("photos: %d of 4000x3000 (plasma, quality 92), %.1f MB together" % (len(inputs), total_mb))
line()

# ---- 1. the batch, whole processes
line("1. %d photos of 12 MP to 30%%: whole processes, median of %d interleaved rounds"
     % (len(inputs), repeats))
tools = {
    "velmora-shrink, default": velmora_batch(),
    "velmora-shrink, 1 worker x 2 threads": velmora_batch("--workers", "1", "--threads", "2"),
    "velmora-shrink, 1 worker x 1 thread": velmora_batch("--workers", "1", "--threads", "1"),
    "velmora-shrink, 2 workers x 2 threads": velmora_batch("--workers", "2", "--threads", "2"),
    "vips resize, once per photo": vips_each,
    "mogrify -resize 30%": mogrify_copies,
}
med, peak = interleaved(tools, repeats)
for name in tools:
    line("   %-40s %7.0f ms  peak RSS %6.1f MB" % (name, med[name], peak[name]))
default = "velmora-shrink, default"
v, vips, im = med[default], med["vips resize, once per photo"], med["mogrify -resize 30%"]
line("   default (2 workers x 1 thread each): %.0f ms per photo; one worker with two threads"
     " takes %.2f x its time, 2 workers x 2 threads %.2f x"
     % (v / len(inputs), med["velmora-shrink, 1 worker x 2 threads"] / v,
        med["velmora-shrink, 2 workers x 2 threads"] / v))
target("24 x 12 MP to 30%: velmora <= 0.6 x vips once per photo",
       "%.2f x (%.0f / %.0f ms)" % (v / vips, v, vips), v <= 0.6 * vips)
target("24 x 12 MP to 30%: mogrify >= 5 x velmora's time",
       "%.2f x (%.0f / %.0f ms)" % (im / v, im, v), im >= 5 * v)

# ---- 2. memory: the batch against one photo
line()
line("2. Peak memory (ru_maxrss of the whole process), highest of %d runs each" % repeats)
ones = {"velmora-shrink, one photo": velmora_one(inputs[0]),
        "velmora-shrink, 64x64 (Wine's own)": velmora_one(tiny)}
_, one_peak = interleaved(ones, repeats)
single = one_peak["velmora-shrink, one photo"]
wine_share = one_peak["velmora-shrink, 64x64 (Wine's own)"]
batch = peak[default]
for name, value in (("velmora-shrink, one photo", single),
                    ("velmora-shrink, %d photos (default)" % len(inputs), batch),
                    ("velmora-shrink, 64x64 (Wine's own)", wine_share)):
    line("   %-40s %6.1f MB" % (name, value))
line("   batch / one photo = %.2f; less Wine's own share: %.1f / %.1f MB"
     % (batch / single, batch - wine_share, single - wine_share))
target("batch peak <= 1.2 x one photo's (whole process; judged)",
       "%.2f x (%.1f / %.1f MB)" % (batch / single, batch, single), batch <= 1.2 * single)
# The whole-process figures can all be Wine's own: then there is no share of the tool's to compare.
own_single = single - wine_share
target("  the same less Wine's own %.1f MB (for information)" % wine_share,
       ("%.2f x (%.1f / %.1f MB)" % ((batch - wine_share) / own_single, batch - wine_share,
                                     own_single)) if own_single > 0.05 else
       "%.1f / %.1f MB" % (batch - wine_share, own_single),
       batch - wine_share <= 1.2 * max(own_single, 0.0) + 0.05)

# ---- 3. the first photo: how soon the one asked for is ready when the others follow
line()
line("3. The first photo in process (velmora-shrink --bench %d, medians): in the batch, while the"
     " other worker starts on the next, against the same photo shrunk alone" % repeats)
batch_out = run(["wine", exe, "30", *inputs, "--into", out, "--bench", str(repeats)])[2]
m = re.search(r"batch ([\d.]+) per photo ([\d.]+) first photo ([\d.]+)", batch_out)
alone_out = run(["wine", exe, inputs[0], "30", os.path.join(work, "one.jpg"),
                 "--bench", str(repeats)])[2]
alone = float(re.search(r"total ([\d.]+)", alone_out).group(1))
threads = re.search(r"decoded at .*?, (.*?)\r?$", alone_out, re.M).group(1)
line("   batch of %d: %.0f ms, %.1f ms per photo; first photo ready after %.1f ms"
     % (len(inputs), float(m.group(1)), float(m.group(2)), float(m.group(3))))
line("   the first photo alone (%s): %.1f ms; in the batch it takes %.2f x that"
     % (threads, alone, float(m.group(3)) / alone))

print_targets(58, began)
PY
