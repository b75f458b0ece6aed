#!/usr/bin/env python3
"""Measures fslog-plot's time and memory on logs of very many runs.

    python3 bench/plot_runs_bench.py [BUILD_DIR] [RUNS...]

Writes a log of RUNS short runs (30,000 and 1,000,000 by default; three
rows each, a start line every 10 s, as report_runs_bench.py writes them)
and draws it once with fslog-plot, printing the time and the peak memory
(fslog-plot and gnuplot) beside the target: the marks between runs are
at most about two per column, so the memory must not grow with the runs,
and the time grows only with the log's size. Exits 1 if the target is
missed.
"""
import os
import sys
import tempfile

from plot_bench import measure
from report_runs_bench import write_runs

MEMORY_TARGET_MIB = 64


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    counts = [int(runs) for runs in sys.argv[2:]] or [30000, 1000000]
    missed = False
    for runs in counts:
        with tempfile.TemporaryDirectory(prefix="fslog-plot-runs-") as work:
            log = os.path.join(work, "runs.log")
            write_runs(log, runs)
            seconds, memory = measure([f"{build}/fslog-plot", log, os.path.join(work, "runs.png")], work)
            missed |= memory >= MEMORY_TARGET_MIB
            print(f"{runs:>9,} runs ({os.path.getsize(log) / 1e6:,.0f} MB): {seconds:6.2f} s, "
                  f"peak RSS {memory:6.1f} MiB (under {MEMORY_TARGET_MIB} MiB)")
    return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
