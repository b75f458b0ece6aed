#!/usr/bin/env python3
"""Measures fslog-report's memory on a log of very many runs.

    python3 bench/report_runs_bench.py [BUILD_DIR] [RUNS]

A service that restarts fslog every few seconds for weeks (a unit that
keeps dropping off the bus, say) leaves a log of hundreds of thousands of
short runs. This writes one (300,000 runs of three rows each, appended as
fslog appends them, by default) into a scratch folder under $TMPDIR, then
runs fslog-report and fslog-report --json on it once each and prints their
peak memory and time beside the target. Exits 1 if the target is missed.
"""
import os
import sys
import tempfile
import time

from plot_bench import measure

MEMORY_TARGET_MIB = 64    # at any number of runs
HEADER = ("# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, "
          "delta dds2, user tuning")


def write_runs(path, runs):
    """Each run: its start line 10 s after the one before, the header and
    three complete rows, the last row ended before the next start line."""
    wall = time.mktime((2026, 12, 7, 0, 0, 0, 0, 0, -1))
    with open(path, "w") as out:
        for run in range(runs):
            out.write("# Logging started at " + time.ctime(wall + 10 * run) + "\n" + HEADER)
            dds2 = 0
            for row in range(3):
                delta = 5000 if row else 0
                dds2 += delta
                out.write(f"\n     {0.05 * row:9.3f}       2048    2047    1530    2214  "
                          f"1932735283 {dds2} {delta} -1189 ")
            out.write("\n")


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 300000
    missed = False
    with tempfile.TemporaryDirectory(prefix="fslog-report-runs-") as work:
        log = os.path.join(work, "runs.log")
        write_runs(log, runs)
        print(f"log: {runs:,} runs, {os.path.getsize(log) / 1e6:,.0f} MB")
        for options in ([], ["--json"]):
            name = " ".join(["fslog-report", *options, "LOG"])
            seconds, memory = measure([f"{build}/fslog-report", *options, log], work)
            missed |= memory >= MEMORY_TARGET_MIB
            print(f"{name:<28} peak RSS {memory:>8.1f} MiB (under {MEMORY_TARGET_MIB} MiB), "
                  f"{seconds:.2f} s")
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
