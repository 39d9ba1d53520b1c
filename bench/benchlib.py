"""What the benchmark scripts share: whole processes timed with their peak memory, tools run
interleaved, the header that says what was measured, and the list of targets."""
import datetime
import os
import statistics
import subprocess
import sys
import time

MB = 2**20
_targets = []  # (what, measured, met); a "what" that starts with spaces is for information


def output(cmd):
    result = subprocess.run(cmd, capture_output=True, text=True)
    return result.stdout + result.stderr


def run(cmd):
    """Wall seconds, peak resident MB (ru_maxrss) and output of one whole process."""
    start = time.perf_counter()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    text = proc.stdout.read()
    _, status, usage = os.wait4(proc.pid, 0)
    elapsed = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit("%s failed:\n%s" % (" ".join(cmd[:4]), text.decode(errors="replace")))
    return elapsed, usage.ru_maxrss / 1024, text.decode(errors="replace")


def interleaved(tools, n):
    """Median wall ms and highest peak MB of each tool: one warm-up round, then n rounds,
    interleaved so that load changes hit every tool alike. A tool is a command, or a function
    giving seconds and peak MB."""
    def go(tool):
        if callable(tool):
            return tool()
        t, m, _ = run(tool)
        return t, m

    for tool in tools.values():
        go(tool)
    times = {name: [] for name in tools}
    peaks = {name: [] for name in tools}
    for _ in range(n):
        for name, tool in tools.items():
            t, m = go(tool)
            times[name].append(t * 1000)
            peaks[name].append(m)
    return ({name: statistics.median(v) for name, v in times.items()},
            {name: max(v) for name, v in peaks.items()})


def line(text=""):
    print(text, flush=True)


def first(text):
    return text.strip().splitlines()[0] if text.strip() else "?"


def header(title, repeats, load_start, root, exe, versions):
    """Date, machine, load, the tools' versions (commands whose first output line names them)
    and which build of velmora-shrink was measured."""
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo")
                if l.startswith("model name")), "?")
    git = output(["git", "-C", root, "log", "-1", "--format=%h %cd",
                  "--date=format:%Y-%m-%d %H:%M"]).strip()
    dirty = output(["git", "-C", root, "status", "--porcelain", "--untracked-files=no"]).strip()
    line("%s, %s, REPEATS=%d"
         % (title, datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            repeats))
    line("machine: %d cores (%s), load average at start %.2f %.2f %.2f"
         % (os.cpu_count(), cpu, *load_start))
    line("; ".join(first(output(cmd)).replace("Version: ", "").split(" https")[0]
                   for cmd in versions))
    line("%s built %s, tree at %s%s" % (os.path.basename(exe),
        datetime.datetime.fromtimestamp(os.path.getmtime(exe), datetime.timezone.utc)
        .strftime("%Y-%m-%d %H:%M UTC"), git, " (with uncommitted changes)" if dirty else ""))


def target(what, measured, met):
    _targets.append((what, measured, met))


def print_targets(width, began):
    """The targets with their figures, and how many of the judged ones were met."""
    line()
    load_end = os.getloadavg()
    line("Targets (all figures from this run)")
    for what, measured, met in _targets:
        line("   %-*s %-27s %s" % (width, what, measured, "met" if met else "not met"))
    judged = [t for t in _targets if not t[0].startswith("  ")]
    line("%d of %d targets met; load average at end %.2f %.2f %.2f; the whole run took %.0f s"
         % (sum(1 for t in judged if t[2]), len(judged), *load_end, time.time() - int(began)))
