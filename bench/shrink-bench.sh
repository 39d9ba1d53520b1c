#!/usr/bin/env bash
# Measures velmora-shrink (the streamed pipeline) against libvips, ImageMagick and the
# codec's own decode, side by side in one run, and prints every target of the pipeline
# with its figure and "met" or "not met": speed at 30% and 70% on a 12-megapixel picture,
# the decode floor, peak memory up to 200 megapixels, quality (PSNR against ImageMagick's
# Lanczos resize), and what the second thread brings. See bench/README.md.
# Usage: bench/shrink-bench.sh [BUILD_DIR] [REPEATS]      (default: build, 7)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
. "$root/bench/bench-common.sh"
bench_arguments shrink-bench 7 "$@"

# What the benchmark needs beyond `make test`: the real photo (a Debian package of
# photographs), djpeg and cjpeg (also in scripts/setup.sh) and butteraugli. Installed once.
photo_pkg=lomiri-wallpapers-16.04
photo_src=/usr/share/backgrounds/picosdeeuropa_by_Aitzol_Berasategi.jpg
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
need=()
for p in libjpeg-turbo-progs butteraugli "$photo_pkg"; do have "$p" || need+=("$p"); done
if [ ${#need[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  echo "shrink-bench: installing ${need[*]}"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    "${need[@]}" >/dev/null
fi

if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$repeats"
fi
start=$(date +%s)
convert=$(command -v convert-im6.q16 || command -v convert)
compare=$(command -v compare-im6.q16 || command -v compare)

work=$(mktemp -d)
# The tool is copied so that a rebuild during the run cannot swap it; Wine runs in a prefix
# of the benchmark's own, so that its server (kept running for the whole run, and stopped
# at the end) is shared with no test.
cp -p "$exe" "$work/velmora-shrink.exe"
export WINEPREFIX="$build/bench-wineprefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
"$root/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -w   # a persistent server cannot start while the one that made the prefix runs
wineserver -p </dev/null >/dev/null 2>&1
wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT

echo "making the test pictures..."
# 12 MP photo-like picture and a 64 x 64 one for Wine's own share of memory.
"$convert" -size 4000x3000 -seed 7 plasma:fractal -quality 92 "$work/plasma.jpg"
"$convert" -size 64x64 -seed 7 plasma:fractal -quality 90 "$work/tiny.jpg"
# Ring pattern: 0.5 + 0.5 sin((i*i + j*j) / 2500) on 3000 x 2000, grey, quality 92. The same
# values as `convert -size 3000x2000 xc: -fx "..."` (the JPEG comes out byte for byte the
# same), computed here because -fx takes about a minute.
python3 - "$work/ring.pgm" <<'PY'
import math, sys
w, h = 3000, 2000
squares = [i * i for i in range(w)]
with open(sys.argv[1], "wb") as f:
    f.write(b"P5\n%d %d\n255\n" % (w, h))
    for j in range(h):
        jj = j * j
        f.write(bytes(int(127.5 + 127.5 * math.sin((s + jj) / 2500) + 0.5) for s in squares))
PY
"$convert" "$work/ring.pgm" -quality 92 "$work/ring.jpg"
# A dark, saturated picture (deep red to deep blue, with grain) at quality 99 and 4:4:4: the
# kind of photo whose colours a decode's less exact transform shifts by a level or two.
"$convert" -size 3000x2000 gradient:'#3c0a1c'-'#0a1670' -seed 7 -attenuate 0.25 +noise Gaussian \
  -quality 99 -sampling-factor 1x1 "$work/dark.jpg"
# The real photo, cut losslessly to 3260 x 2440 so that 30% is a whole number of pixels
# for every program; the large pictures are the whole photo upscaled by libvips.
jpegtran -crop 3260x2440+0+0 -copy none -outfile "$work/photo.jpg" "$photo_src"
vips resize "$photo_src" "$work/photo48.jpg[Q=90]" 2.450980392156863   # 8000 x 6000
vips resize "$photo_src" "$work/photo200.jpg[Q=90]" 5                  # 16320 x 12240
# Six photos of different content for the coding comparison, 2400 x 1800, quality 95.
S=2400x1800
"$convert" -size $S gradient:'#3a78c8'-'#dfeaf6' \( -size $S -seed 21 plasma:fractal -blur 0x25 \
  -colorspace gray \) -compose softlight -composite -quality 95 "$work/c-sky.jpg"
"$convert" -size $S -seed 22 plasma:'#1f5a12'-'#a8c040' -attenuate 0.8 +noise Multiplicative \
  -quality 95 "$work/c-foliage.jpg"
"$convert" -size $S xc:'#f4f1ea' -fill '#202020' -font DejaVu-Sans -pointsize 42 -annotate +20+60 \
  "$(for i in $(seq 1 40); do echo "Line $i: Pack my box with five dozen liquor jugs 0123456789 NOPQRSTUVWXYZ"; done)" \
  -quality 95 "$work/c-text.jpg"
"$convert" -size $S radial-gradient:'#f0c8a8'-'#3a2418' \( -size $S -seed 23 plasma:fractal -blur 0x6 \) \
  -compose softlight -composite -attenuate 0.3 +noise Gaussian -quality 95 "$work/c-portrait.jpg"
"$convert" -size $S -seed 24 plasma:'#c01010'-'#2010a0' -modulate 45,190 -blur 0x1 -quality 95 \
  "$work/c-dark.jpg"
"$convert" -size $S -seed 25 plasma:fractal -colorspace gray -type truecolor -quality 95 \
  "$work/c-gray.jpg"
# And six real photographs from the same package, cut losslessly to the same size (the portrait
# one upright): a mountain in autumn, a bridge's cables against the sky, a dragonfly among
# leaves, two dogs at a window, a wall clock and a sunset over hills.
real_photos=(mountain:aitzgorri_by_Aitzol_Berasategi:2400x1800+336+128
  cables:Bridge_by_Sander_Klootwijk:2400x1800+976+320 dragonfly:Dragonfly_by_Bolly:2400x1800+912+688
  dogs:friends_by_Aitzol_Berasategi:1800x2400+128+336
  clock:greentock_by_Peter_Nerlich:2400x1800+240+176
  sunset:sunset_by_Aitzol_Berasategi:2400x1800+928+512)
for entry in "${real_photos[@]}"; do
  IFS=: read -r short file crop <<<"$entry"
  jpegtran -crop "$crop" -copy none -outfile "$work/c-$short.jpg" "/usr/share/backgrounds/$file.jpg"
done

PYTHONPATH="$root/bench" python3 - "$work" "$repeats" "$work/velmora-shrink.exe" "$convert" "$compare" "$photo_pkg" \
  "$photo_src" "$root" "$start" <<'PY'
import os, re, statistics, sys

from benchlib import MB, header, interleaved, line, output, print_targets, run, target

work, repeats, exe, convert, compare, photo_pkg, photo_src, root, began = sys.argv[1:]
repeats = int(repeats)
load_start = os.getloadavg()
W = lambda name: os.path.join(work, name)


def velmora(src, percent, out, *extra):
    return ["wine", exe, src, str(percent), out, *extra]


def vips(src, scale, out):
    return ["vips", "resize", src, out + "[Q=90,subsample-mode=on]", str(scale)]


def bench_figures(out):
    """From --bench output: median read, shrink and total ms, decode scale, threads, memory."""
    m = re.search(r"read ([\d.]+) shrink ([\d.]+) total ([\d.]+)", out)
    scale = re.search(r"decoded at (\d+/8) of full size, (.*?)\r?$", out, re.M)
    memory = re.search(r"peak memory .*?\r?$", out, re.M)
    coded = re.search(r"^coded .*?\r?$", out, re.M)
    return (float(m.group(1)), float(m.group(2)), float(m.group(3)), scale.group(1),
            scale.group(2), memory.group(0).strip() if memory else "",
            coded.group(0).strip() if coded else "")


def in_process(src, percent, threads=None):
    """velmora-shrink --bench REPEATS (and --threads) on src at percent: bench_figures."""
    extra = ["--bench", str(repeats)] + (["--threads", str(threads)] if threads else [])
    return bench_figures(run(velmora(src, percent, W("bench-out.jpg"), *extra))[2])


def size(path):
    """WxH of a picture, from vipsheader (which reads only the header)."""
    return re.search(r"(\d+x\d+)", output(["vipsheader", path]).split(":", 1)[1]).group(1)


def psnr(reference, path):
    if size(reference) != size(path):
        return None
    text = output([compare, "-metric", "PSNR", reference, path, "null:"]).strip()
    return float("inf") if text.startswith("inf") else float(text.split()[0])


# ---- header: date, machine, versions, what was measured
header("Velmora shrink benchmark", repeats, load_start, root, exe,
       [["wine", "--version"], [convert, "-version"], ["vips", "--version"],
        ["djpeg", "-version"]])
line("real photo: %s (Debian package %s), %s"
     % (os.path.basename(photo_src), photo_pkg, size(photo_src)))
line()

decoded_mb = 4000 * 3000 * 3 / MB
plasma = W("plasma.jpg")

# ---- 1. 12 MP to 30%, whole processes, and the decode floor
line("1. 12 MP (4000x3000 plasma, %.1f MB) to 30%%: whole processes, median of %d interleaved runs"
     % (os.path.getsize(plasma) / MB, repeats))
tools = {
    "velmora-shrink (Wine)": velmora(plasma, 30, W("v30.jpg")),
    "vips resize 0.3": vips(plasma, 0.3, W("vips30.jpg")),
    "convert -resize 30%": [convert, plasma, "-resize", "30%", "-quality", "90", W("im30.jpg")],
    "djpeg -scale 1/2": ["djpeg", "-scale", "1/2", "-outfile", "/dev/null", plasma],
    "djpeg (full size)": ["djpeg", "-outfile", "/dev/null", plasma],
}
med, peak = interleaved(tools, repeats)
for name in tools:
    line("   %-24s %7.0f ms  peak RSS %6.1f MB" % (name, med[name], peak[name]))
v30, vips30, im30, djpeg, djpeg_full = (med[n] for n in tools)
peak_12 = peak["velmora-shrink (Wine)"]  # the highest of the runs above
read, shrink, total, scale, threads, memory, coding = in_process(plasma, 30)
line("   velmora-shrink --bench %d (in process): read %.1f  shrink %.1f  total %.1f ms;"
     " decoded at %s, %s" % (repeats, read, shrink, total, scale, threads))
line("   %s (under Wine only the working set is meaningful)" % memory)
line("   %s" % coding)
line("   in-process total = %.2f x djpeg -scale 1/2, %.2f x djpeg at full size"
     % (total / djpeg, total / djpeg_full))
target("12 MP to 30%: velmora <= 0.85 x libvips' time",
       "%.2f x (%.0f / %.0f ms)" % (v30 / vips30, v30, vips30), v30 <= 0.85 * vips30)
target("12 MP to 30%: ImageMagick >= 3 x velmora's time",
       "%.2f x (%.0f / %.0f ms)" % (im30 / v30, im30, v30), im30 >= 3 * v30)
target("in-process total <= 1.4 x djpeg -scale 1/2",
       "%.2f x (%.1f / %.1f ms)" % (total / djpeg, total, djpeg), total <= 1.4 * djpeg)

# ---- 2. 12 MP to 70%
line()
line("2. 12 MP to 70%%: whole processes, median of %d interleaved runs" % repeats)
tools = {"velmora-shrink (Wine)": velmora(plasma, 70, W("v70.jpg")),
         "vips resize 0.7": vips(plasma, 0.7, W("vips70.jpg"))}
med, peak = interleaved(tools, repeats)
for name in tools:
    line("   %-24s %7.0f ms  peak RSS %6.1f MB" % (name, med[name], peak[name]))
v70, vips70 = (med[n] for n in tools)
target("12 MP to 70%: velmora <= 1.0 x libvips' time",
       "%.2f x (%.0f / %.0f ms)" % (v70 / vips70, v70, vips70), v70 <= vips70)

# ---- 3. memory and large pictures
line()
line("3. Peak memory (ru_maxrss of the whole process) and large pictures")
tiny = [run(velmora(W("tiny.jpg"), 30, W("tiny-out.jpg"))) for _ in range(3)]
wine_share = max(m for _, m, _ in tiny)
line("   velmora-shrink on a 64x64 picture (Wine's own share): %.1f MB, %.0f ms (median of 3)"
     % (wine_share, statistics.median(t for t, _, _ in tiny) * 1000))
line("   12 MP to 30%%: %.1f MB = %.2f x the decoded 24-bit picture (%.1f MB); less Wine's own"
     " share: %.1f MB = %.2f x" % (peak_12, peak_12 / decoded_mb, decoded_mb,
                                  peak_12 - wine_share, (peak_12 - wine_share) / decoded_mb))
target("12 MP to 30%: peak <= 1.0 x decoded picture (whole process; judged)",
       "%.2f x (%.1f / %.1f MB)" % (peak_12 / decoded_mb, peak_12, decoded_mb),
       peak_12 <= decoded_mb)
target("  the same less Wine's own %.1f MB (for information)" % wine_share,
       "%.2f x (%.1f MB)" % ((peak_12 - wine_share) / decoded_mb, peak_12 - wine_share),
       peak_12 - wine_share <= decoded_mb)
big = W("photo200.jpg")
line("   200 MP photo (%s, %.1f MB), one process each with --bench 1 (in-process total):"
     % (size(big), os.path.getsize(big) / MB))
for percent in (10, 50, 100):
    _, m, out = run(velmora(big, percent, W("big-out.jpg"), "--bench", "1"))
    figures = bench_figures(out)
    line("     to %3d%%: %6.0f ms  peak RSS %6.1f MB  output %s, decoded at %s; %s"
         % (percent, figures[2], m, size(W("big-out.jpg")), figures[3], figures[6]))
    target("200 MP to %d%%: peak <= 250 MB" % percent, "%.1f MB" % m, m <= 250)
mid = W("photo48.jpg")
line("   48 MP photo (%s, %.1f MB) to 30%%, median of %d interleaved runs:"
     % (size(mid), os.path.getsize(mid) / MB, repeats))
tools = {"velmora-shrink (Wine)": velmora(mid, 30, W("v48.jpg")),
         "vips resize 0.3": vips(mid, 0.3, W("vips48.jpg"))}
med, peak = interleaved(tools, repeats)
for name in tools:
    line("     %-22s %7.0f ms  peak RSS %6.1f MB" % (name, med[name], peak[name]))
v48, vips48 = (med[n] for n in tools)
line("     velmora / libvips = %.2f" % (v48 / vips48))

# ---- 4. quality
# The references are written as PPM: ImageMagick rounds its 16-bit result to 8 bits there,
# while its PNG writer truncates (one level low on about half the samples, which moves every
# score and favours a resize that runs low).
line()
line("4. PSNR against ImageMagick's -filter Lanczos -resize (dB, higher is closer)")
ring, photo, dark = W("ring.jpg"), W("photo.jpg"), W("dark.jpg")
for label, src, percent in (("ring", ring, 30), ("ring", ring, 70), ("photo", photo, 30),
                            ("dark", dark, 30)):
    ref = W("ref.ppm")
    run([convert, src, "-filter", "Lanczos", "-resize", "%d%%" % percent, ref])
    run(velmora(src, percent, W("q-velmora.jpg")))
    run(vips(src, percent / 100, W("q-vips.jpg")))
    pv, pl = psnr(ref, W("q-velmora.jpg")), psnr(ref, W("q-vips.jpg"))
    shown = lambda p: "size differs" if p is None else "%.2f" % p
    line("   %-5s %s to %d%% (%s): velmora %s, libvips %s"
         % (label, size(src), percent, size(ref), shown(pv), shown(pl)))
    both = pv is not None and pl is not None
    margin = 0.5 if label == "ring" else 1
    target("PSNR %s at %d%%: velmora >= libvips - %g dB" % (label, percent, margin),
           "%.2f vs %.2f dB (%+.2f)" % (pv, pl, pv - pl) if both else "size differs",
           both and pv >= pl - margin)

# ---- 5. the second thread
line()
line("5. The second thread: in-process total (velmora-shrink --bench %d), 12 MP, median of three"
     " alternating processes of each" % repeats)
for percent in (30, 70):
    totals = {1: [], 2: []}
    for _ in range(3):  # alternating, so load changes hit both alike
        for threads in (1, 2):
            totals[threads].append(in_process(plasma, percent, threads)[2])
    one, two = statistics.median(totals[1]), statistics.median(totals[2])
    line("   to %d%%: one thread %.1f ms, two threads %.1f ms: one / two = %.2f"
         % (percent, one, two, one / two))

# ---- 6. coding: bytes and quality
line()
line("6. Coding: six made pictures (2400x1800, quality 95) and six real photographs (cut to")
line("   2400x1800) at 30% and 70%; bytes, PSNR (dB) and")
line("   butteraugli (lower is better) against ImageMagick's Lanczos resize of the original")
line("   velmora: velmora-shrink; default: velmora-shrink --coding 90:420:0:std (the same pixels")
line("   coded as the codec does by default); vips: vips resize [Q=90,subsample-mode=on];")
line("   cjpeg: cjpeg -quality 90 -optimize of the reference pixels themselves")


def butteraugli(reference, path):
    return float(output(["butteraugli", reference, path]).split()[0])


rows = []
decodes_agree = True
line("   %-9s %4s | %-22s | %-22s | %-22s | %-22s" % ("photo", "%", "velmora", "default",
                                                     "vips", "cjpeg"))
for name in ("sky", "foliage", "text", "portrait", "dark", "gray",
             "mountain", "cables", "dragonfly", "dogs", "clock", "sunset"):
    src = W("c-%s.jpg" % name)
    for percent in (30, 70):
        ref = W("c-ref.png")  # butteraugli reads PNG and JPEG only
        run([convert, src, "-filter", "Lanczos", "-resize", "%d%%" % percent, W("c-ref.ppm")])
        run([convert, W("c-ref.ppm"), ref])
        outs = {"velmora": W("c-velmora.jpg"), "default": W("c-default.jpg"),
                "vips": W("c-vips.jpg"), "cjpeg": W("c-cjpeg.jpg")}
        run(velmora(src, percent, outs["velmora"]))
        run(velmora(src, percent, outs["default"], "--coding", "90:420:0:std"))
        run(vips(src, percent / 100, outs["vips"]))
        run(["cjpeg", "-quality", "90", "-optimize", "-outfile", outs["cjpeg"], W("c-ref.ppm")])
        # The copy decodes to the same pixels with the codec and with ImageMagick.
        run(["djpeg", "-outfile", W("c-djpeg.ppm"), outs["velmora"]])
        same = output([compare, "-metric", "AE", W("c-djpeg.ppm"), outs["velmora"], "null:"])
        decodes_agree = decodes_agree and same.split()[0] == "0"
        row = {k: (os.path.getsize(p), psnr(ref, p), butteraugli(ref, p)) for k, p in outs.items()}
        rows.append((name, percent, row))
        line("   %-9s %4d | %s" % (name, percent, " | ".join(
            "%7d %6.2f %6.3f" % row[k] for k in ("velmora", "default", "vips", "cjpeg"))))
median = lambda values: statistics.median(values)
ratio = median(r["velmora"][0] / r["vips"][0] for _, _, r in rows)
line("   median bytes velmora / vips %.3f, velmora / default %.3f, cjpeg / vips %.3f" % (
    ratio, median(r["velmora"][0] / r["default"][0] for _, _, r in rows),
    median(r["cjpeg"][0] / r["vips"][0] for _, _, r in rows)))
line("   of which the made pictures %.3f, the photographs %.3f" % tuple(
    median(r["velmora"][0] / r["vips"][0] for _, _, r in part) for part in (rows[:12], rows[12:])))
dp = [r["velmora"][1] - r["vips"][1] for _, _, r in rows]
db = [r["velmora"][2] - r["vips"][2] for _, _, r in rows]
line("   velmora - vips: PSNR median %+.2f (lowest %+.2f), butteraugli median %+.3f (highest %+.3f)"
     % (median(dp), min(dp), median(db), max(db)))
dp0 = [r["velmora"][1] - r["default"][1] for _, _, r in rows]
db0 = [r["velmora"][2] - r["default"][2] for _, _, r in rows]
line("   velmora - default (same pixels): PSNR lowest %+.2f, butteraugli highest %+.3f"
     % (min(dp0), max(db0)))
target("coding: bytes <= 0.90 x libvips' (median of 24)", "%.3f x" % ratio, ratio <= 0.90)
target("coding: PSNR >= libvips' - 0.05 dB (every photo)", "lowest %+.2f dB" % min(dp),
       min(dp) >= -0.05)
target("coding: butteraugli <= libvips' + 0.02 (every photo)", "highest %+.3f" % max(db),
       max(db) <= 0.02)
target("coding: never worse than the default coding of the same pixels",
       "PSNR %+.2f, butteraugli %+.3f" % (min(dp0), max(db0)), min(dp0) >= 0 and max(db0) <= 0)
target("coding: the codec and ImageMagick decode every copy alike", "yes" if decodes_agree
       else "no", decodes_agree)

print_targets(68, began)
PY
