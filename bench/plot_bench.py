#!/usr/bin/env python3
"""Measures what fslog-plot costs on a week-long log, beside fslog-csv.

    python3 bench/plot_bench.py [BUILD_DIR] [ROWS]

Writes a week-long log (12 million rows, about 1 GB, by default) into a
scratch folder under $TMPDIR, reads it once so both tools find it in the
page cache, then times fslog-csv reading it (CSV to /dev/null) and
fslog-plot plotting it, taking turns, three times each. It prints the
median times, their ratio and each tool's peak memory (fslog-plot's with
gnuplot's, its child, counted in; measured with GNU time) beside their
targets, removes the log, and exits 1 if a target is missed. Takes a few
minutes.
"""
import contextlib
import os
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 3
RATIO_TARGET = 1.5
MEMORY_TARGET_MIB = 64


def measure(command, work):
    """Wall time, and peak RSS in MiB of COMMAND and the children it waited
    for, through GNU time (a child forked from Python would count Python's
    own memory in its peak)."""
    report = os.path.join(work, "time.out")
    started = time.monotonic()
    status = subprocess.run(["/usr/bin/time", "-o", report, "-f", "%M", *command],
                            stdout=subprocess.DEVNULL).returncode
    seconds = time.monotonic() - started
    if status != 0:
        sys.exit(f"{command[0]} failed with status {status}")
    with open(report) as lines:
        return seconds, int(lines.read().split()[-1]) / 1024


@contextlib.contextmanager
def week_log(rows, prefix):
    """A scratch folder holding a generated log of `rows` rows, read once so
    that every tool finds it in the page cache: (folder, log, size in MB).
    Removed afterwards."""
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory(prefix=prefix) as work:
        log = os.path.join(work, "week.log")
        print(f"writing {rows} rows to {log} ...", file=sys.stderr)
        subprocess.run([sys.executable, os.path.join(here, "make_week_log.py"), log, rows], check=True)
        with open(log, "rb") as warm:
            while warm.read(1 << 24):
                pass
        yield work, log, os.path.getsize(log) / 1e6


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rows = sys.argv[2] if len(sys.argv) > 2 else "12000000"
    with week_log(rows, "fslog-plot-bench-") as (work, log, size_mb):
        csv_runs, plot_runs = [], []
        for _ in range(RUNS):
            csv_runs.append(measure([f"{build}/fslog-csv", log], work))
            plot_runs.append(measure([f"{build}/fslog-plot", log, os.path.join(work, "week.png")], work))
        csv_time = statistics.median(t for t, _ in csv_runs)
        plot_time = statistics.median(t for t, _ in plot_runs)
        csv_memory = max(m for _, m in csv_runs)
        plot_memory = max(m for _, m in plot_runs)

    ratio = plot_time / csv_time
    print(f"log: {int(rows):,} rows, {size_mb:,.0f} MB; median of {RUNS} runs each")
    print(f"{'figure':<44} {'measured':>12}  target")
    print(f"{'fslog-csv LOG > /dev/null':<44} {csv_time:>10.2f} s")
    print(f"{'fslog-plot LOG OUT.png':<44} {plot_time:>10.2f} s")
    print(f"{'fslog-plot time / fslog-csv time':<44} {ratio:>12.2f}  at most {RATIO_TARGET}")
    print(f"{'fslog-csv peak RSS':<44} {csv_memory:>8.1f} MiB")
    print(f"{'fslog-plot peak RSS (gnuplot included)':<44} {plot_memory:>8.1f} MiB  under {MEMORY_TARGET_MIB} MiB")
    missed = ratio > RATIO_TARGET or plot_memory >= MEMORY_TARGET_MIB
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
