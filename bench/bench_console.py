#!/usr/bin/env python3
"""Times console runs of the real web2arc executable over a generated site.

usage: bench_console.py [--build DIR] [--pages N ...] [--runs engine,1,2] [--work DIR] [--keep] [--shm]
                        [--site DIR] [--scripts]

For each page count (default 2000) it generates the site with gen_site.py, then measures, each in a
fresh output folder:
  - engine:   the archive engine alone on 2 threads (bench_console_engine, built here against the
              build's static libraries), the reference rate;
  - console:  web2arc in console mode with ThreadsCount 1 and 2 (a project file through the command
              line, LogFile set), wall time and the child's peak resident memory;
  - floor:    writing the same output bytes (the produced archives) with a plain file copy, in batches
              that are removed as it goes, so it never holds a second copy of the whole output.
The site is read once before the runs, so none of them pays for reading it from disk. It prints pages/s,
output MB/s, the ratio of each run's time to the floor, the console rate as a share of the engine rate,
user and system CPU seconds, and peak RSS. With --shm a run's output lives in memory (20,000 pages make
about 11 GB): the system time is mostly the kernel filling those pages and grows when memory runs short,
so compare user times first. It is a benchmark: it never fails a build, it only reports.

--site takes an existing tree of pages (a documentation tree, say) instead of a generated one; --scripts
sets RunScripts=True in the console runs, and then also reports the peak memory of the page renderer:
the largest sum of resident sizes of the run's descendant processes (the helper and the browser
engine's processes), sampled every 100 ms.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def descendants_rss_kb(root):
    """Sum of the resident kilobytes of every process below `root` (not `root` itself)."""
    parents, rss = {}, {}
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open("/proc/%s/status" % name) as f:
                for line in f:
                    if line.startswith("PPid:"):
                        parents[int(name)] = int(line.split()[1])
                    elif line.startswith("VmRSS:"):
                        rss[int(name)] = int(line.split()[1])
        except OSError:
            continue
    total = 0
    for pid in parents:
        up = parents.get(pid)
        while up and up > 1:
            if up == root:
                total += rss.get(pid, 0)
                break
            up = parents.get(up)
    return total


class DescendantsPeak:
    """Samples descendants_rss_kb(pid) every 100 ms on a thread of its own until stopped."""

    def __init__(self, pid):
        self.pid, self.peak_kb, self.done = pid, 0, threading.Event()
        self.thread = threading.Thread(target=self._sample, daemon=True)
        self.thread.start()

    def _sample(self):
        while not self.done.wait(0.1):
            self.peak_kb = max(self.peak_kb, descendants_rss_kb(self.pid))

    def stop_mb(self):
        self.done.set()
        self.thread.join()
        return self.peak_kb / 1024.0


def run_measured(args, env=None, stdin=None, sample_descendants=False):
    """Runs a child; returns (wall seconds, peak RSS in MB, exit code, stdout, (user, system) CPU seconds)
    and, with sample_descendants, the peak of its descendants' summed resident size in MB."""
    start = time.monotonic()
    proc = subprocess.Popen(args, env=env, stdin=subprocess.PIPE if stdin is not None else None,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    sampler = DescendantsPeak(proc.pid) if sample_descendants else None
    if stdin is not None:
        proc.stdin.write(stdin)
        proc.stdin.close()
    out = proc.stdout.read()
    err = proc.stderr.read()
    # The pipes close when the child ends; sample until then, before it is reaped.
    descendants_mb = sampler.stop_mb() if sampler else None
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.monotonic() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.stderr.write(err.decode(errors="replace")[-2000:])
    result = (wall, usage.ru_maxrss / 1024.0, proc.returncode, out, (usage.ru_utime, usage.ru_stime))
    return result + (descendants_mb,) if sample_descendants else result


def archives(folder):
    found = []
    for base, _, names in os.walk(folder):
        found.extend(os.path.join(base, n) for n in names if n.endswith(".mht"))
    return found


def tree_bytes(files):
    return sum(os.path.getsize(f) for f in files)


FLOOR_BATCH_BYTES = 512 * 1024 * 1024


def floor_copy(files, dest):
    """Wall time to write the same bytes as the given files with a plain copy (fsync excluded).

    The copies are written in batches of about FLOOR_BATCH_BYTES and each batch is removed, untimed,
    before the next: a full second copy of a large run on /dev/shm would take as much memory again."""
    os.makedirs(dest)
    seconds = 0.0
    batch, batch_bytes = [], 0
    for i, f in enumerate(files):
        batch.append((f, os.path.join(dest, "%d.mht" % i)))
        batch_bytes += os.path.getsize(f)
        if batch_bytes >= FLOOR_BATCH_BYTES or i == len(files) - 1:
            start = time.monotonic()
            for source, copy in batch:
                shutil.copyfile(source, copy)
            seconds += time.monotonic() - start
            for _, copy in batch:
                os.remove(copy)
            batch, batch_bytes = [], 0
    return seconds


def warm_page_cache(site):
    """Reads every file of the site once, so the first run measured does not pay the disk reads that
    the later runs are spared."""
    for base, _, names in os.walk(site):
        for n in names:
            with open(os.path.join(base, n), "rb") as f:
                while f.read(1 << 20):
                    pass


def build_engine(build):
    exe = os.path.join(build, "bench_console_engine")
    src = os.path.join(HERE, "bench_console_engine.cpp")
    libs = [os.path.join(build, "src/mhtml/libweb2arc_mhtml.a"), os.path.join(build, "src/platform/libweb2arc_platform.a")]
    if os.path.exists(exe) and os.path.getmtime(exe) >= max(os.path.getmtime(p) for p in libs + [src]):
        return exe
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "Qt6Core", "libcurl"], check=True,
                           capture_output=True, text=True).stdout.split()
    cmd = ["g++", "-std=c++20", "-O2", "-fPIC", src, "-o", exe, "-I", os.path.join(ROOT, "src/mhtml"),
           "-I", os.path.join(ROOT, "src/platform")] + libs + flags + ["-lpthread"]
    subprocess.run(cmd, check=True)
    return exe


def bench(pages, build, work, outroot, runs, site=None, scripts=False):
    exe = os.path.join(build, "web2arc")
    if site is None:
        site = os.path.join(work, "site-%d" % pages)
        if not os.path.isdir(site):
            subprocess.run([sys.executable, os.path.join(HERE, "gen_site.py"), site, "--pages", str(pages)], check=True)
    page_list = []
    for base, _, names in os.walk(site):
        page_list.extend(os.path.join(base, n) for n in names if n.endswith(".html") or n.endswith(".htm"))
    page_list.sort()
    warm_page_cache(site)
    print("\n== %d pages (%d files matched), site %s" % (pages, len(page_list), site))

    rows = []

    def finish(name, wall, rss, code, cpu, out, renderer_mb=None):
        """Records a run, measures the write floor on its own output, then frees the disk again."""
        files = archives(out)
        floor_dest = out + "-floor"
        shutil.rmtree(floor_dest, ignore_errors=True)
        os.sync()
        floor = floor_copy(files, floor_dest)
        rows.append((name, wall, rss, code, cpu, len(files), tree_bytes(files), floor, renderer_mb))
        shutil.rmtree(floor_dest, ignore_errors=True)
        shutil.rmtree(out, ignore_errors=True)
        os.sync()

    engine_rate = engine_seconds = 0.0
    measure_engine = "engine" in runs
    if measure_engine:
        engine = build_engine(build)
        out = os.path.join(outroot, "engine-%d" % pages)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        os.sync()
        wall, rss, code, stdout, cpu = run_measured([engine, out, "2"], stdin=("\n".join(page_list) + "\n").encode())
        fields = stdout.decode().split()
        engine_seconds = float(fields[2]) if len(fields) >= 3 else wall
        engine_rate = len(page_list) / engine_seconds if engine_seconds > 0 else 0.0
        finish("engine, 2 threads", wall, rss, code, cpu, out)

    for threads in [int(r) for r in runs if r != "engine"]:
        home = tempfile.mkdtemp(prefix="bench-home-", dir=work)
        out = os.path.join(outroot, "console-%d-t%d" % (pages, threads))
        shutil.rmtree(out, ignore_errors=True)
        project = os.path.join(work, "bench-%d-t%d.batch-web2arc" % (pages, threads))
        with open(project, "w", newline="") as f:
            for line in ("Source=%s/*.htm?" % site, "Subdir=1", "Target=%s" % out, "ThreadsCount=%d" % threads,
                         "IsOverwrite=1", "PureConsole=1", "LogFile=%s.log" % out,
                         "RunScripts=%s" % scripts):
                f.write(line + "\r\n")
        env = dict(os.environ, WEB2ARC_HOME=home, WEB2ARC_OPENER="/bin/true")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        os.sync()
        measured = run_measured([exe, project], env=env, sample_descendants=scripts)
        wall, rss, code, _, cpu = measured[:5]
        name = "%s, ThreadsCount %d" % ("scripts" if scripts else "console", threads)
        finish(name, wall, rss, code, cpu, out, measured[5] if scripts else None)
        shutil.rmtree(home, ignore_errors=True)

    print("%-24s %7s %8s %7s %7s %8s %8s %7s %7s %8s" % ("run", "wall s", "pages/s", "MB/s", "floor s", "x floor",
                                                          "% engine", "user s", "sys s", "peak MB"))
    for name, wall, rss, code, cpu, n, size, floor, renderer_mb in rows:
        rate = n / wall if wall > 0 else 0.0
        share = 100.0 * rate / engine_rate if engine_rate > 0 else 0.0
        status = "" if code == 0 and n == len(page_list) else "  (exit %d, %d archives)" % (code, n)
        print("%-24s %7.2f %8.1f %7.1f %7.2f %8.2f %8.0f %7.2f %7.2f %8.1f%s" % (
            name, wall, rate, size / 1e6 / wall if wall > 0 else 0.0, floor, wall / floor if floor > 0 else 0.0,
            share, cpu[0], cpu[1], rss, status))
        if renderer_mb is not None:
            print("%-24s page renderer peak %.1f MB (helper and engine processes together)" % ("", renderer_mb))
    if measure_engine:
        print("engine reference: %.1f pages/s over %.2f s (its own timer)" % (engine_rate, engine_seconds))
    if rows:
        print("output %.1f MB per run" % (rows[0][6] / 1e6))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="CMake build folder holding web2arc")
    ap.add_argument("--pages", type=int, nargs="+", default=[2000])
    ap.add_argument("--work", help="working folder (default: a temporary one)")
    ap.add_argument("--keep", action="store_true", help="keep the working folder")
    ap.add_argument("--runs", default="engine,1,2",
                    help="comma-separated runs: engine and/or ThreadsCount values (default engine,1,2)")
    ap.add_argument("--site", help="an existing tree of pages to convert instead of a generated site")
    ap.add_argument("--scripts", action="store_true", help="console runs with RunScripts=True")
    ap.add_argument("--shm", action="store_true",
                    help="write the archives (and the floor copies) to /dev/shm, taking the disk out of the figures")
    args = ap.parse_args()
    work = args.work or tempfile.mkdtemp(prefix="web2arc-bench-")
    os.makedirs(work, exist_ok=True)
    outroot = tempfile.mkdtemp(prefix="web2arc-bench-out-", dir="/dev/shm") if args.shm else work
    try:
        for pages in args.pages:
            bench(pages, os.path.abspath(args.build), work, outroot, args.runs.split(","),
                  os.path.abspath(args.site) if args.site else None, args.scripts)
    finally:
        if args.shm:
            shutil.rmtree(outroot, ignore_errors=True)
        if not args.keep and not args.work:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
