#!/usr/bin/env python3
"""Times the conversion of a web site served on 127.0.0.1 against a recursive download of it.

usage: bench_site.py ROOT START [--build DIR] [--threads N] [--max-pages N] [--work DIR] [--keep]

Serves the folder ROOT with `python3 -m http.server` on 127.0.0.1 and a free port, then, side by side
in one run against the same server:
  - web2arc:  Source=http://127.0.0.1:PORT/START*.html with Subdir=1, ThreadsCount N (default 2),
              PureConsole=1: searches the site and writes one archive per page;
  - wget:     wget --recursive --no-parent --page-requisites of http://127.0.0.1:PORT/START, which
              only downloads, into files.
START is a folder below ROOT, ending with '/'. It prints each one's wall time, the files it wrote and
the requests the server answered. It is a benchmark: it never fails a build, it only reports.
"""

import argparse
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(port, seconds=10):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1):
                return True
        except OSError:
            time.sleep(0.05)
    return False


def files_below(folder, suffix=""):
    return [os.path.join(b, n) for b, _, names in os.walk(folder) for n in names if n.endswith(suffix)]


def timed(args, env, log):
    start = time.monotonic()
    with open(log, "wb") as err:
        code = subprocess.call(args, env=env, stdout=subprocess.DEVNULL, stderr=err)
    return time.monotonic() - start, code


def count_requests(log, since):
    with open(log, "rb") as f:
        f.seek(since)
        return sum(1 for line in f if b'"GET ' in line)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("root")
    parser.add_argument("start")
    parser.add_argument("--build", default=os.path.join(ROOT, "build"))
    parser.add_argument("--threads", type=int, default=2)
    parser.add_argument("--max-pages", type=int, default=10000)
    parser.add_argument("--work")
    parser.add_argument("--keep", action="store_true")
    args = parser.parse_args()

    work = args.work or tempfile.mkdtemp(prefix="bench_site_")
    os.makedirs(work, exist_ok=True)
    port = free_port()
    server_log = os.path.join(work, "server.log")
    env = dict(os.environ, WEB2ARC_HOME=os.path.join(work, "home"), no_proxy="127.0.0.1,localhost")
    env.pop("DISPLAY", None)
    with open(server_log, "wb") as log:
        server = subprocess.Popen([sys.executable, "-m", "http.server", "--bind", "127.0.0.1", str(port)],
                                  cwd=args.root, stdout=log, stderr=subprocess.STDOUT)
    try:
        if not wait_for(port):
            sys.exit("the server did not start")
        base = "http://127.0.0.1:%d/%s" % (port, args.start)
        rows = []

        out = os.path.join(work, "web2arc")
        mark = os.path.getsize(server_log)
        options = "-P:Source=%s*.html,Target=%s,Subdir=1,ThreadsCount=%d,PureConsole=1,MaxPages=%d" % (
            base, out, args.threads, args.max_pages)
        wall, code = timed([os.path.join(args.build, "web2arc"), options], env, os.path.join(work, "web2arc.err"))
        time.sleep(0.2)  # the server's log catches up
        rows.append(("web2arc", wall, code, len(files_below(out, ".mht")), count_requests(server_log, mark)))

        out = os.path.join(work, "wget")
        mark = os.path.getsize(server_log)
        wall, code = timed(["wget", "--recursive", "--no-parent", "--page-requisites", "--level=inf",
                            "--no-verbose", "--directory-prefix", out, base], env, os.path.join(work, "wget.err"))
        time.sleep(0.2)
        rows.append(("wget", wall, code, len(files_below(out)), count_requests(server_log, mark)))
    finally:
        server.terminate()
        server.wait()

    print("%-8s %9s %5s %7s %9s" % ("run", "wall s", "exit", "files", "requests"))
    for name, wall, code, files, requests in rows:
        print("%-8s %9.2f %5d %7d %9d" % (name, wall, code, files, requests))
    print("web2arc / wget wall time: %.2f" % (rows[0][1] / rows[1][1] if rows[1][1] else float("nan")))
    if args.keep or args.work:
        print("kept in", work)
    else:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
