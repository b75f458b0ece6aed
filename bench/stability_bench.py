#!/usr/bin/env python3
"""Measures what fslog-stability costs on a week-long log, beside fslog-csv.

    python3 bench/stability_bench.py [BUILD_DIR] [ROWS]

Writes the plot benchmark's week-long log (12 million rows, about 1 GB, by
default), then times fslog-csv reading it (CSV to /dev/null) and
fslog-stability analysing its tuning word with the default kinds (oadev,
mdev, ohdev, tdev) at octave taus, taking turns, three times each. Prints
the median times, their ratio and each tool's peak memory (GNU time)
beside their targets, and exits 1 if a target is missed. Takes a few
minutes.
"""
import statistics
import sys

from plot_bench import measure, week_log

RUNS = 3
RATIO_TARGET = 1.5
MEMORY_TARGET_MIB = 64


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rows = sys.argv[2] if len(sys.argv) > 2 else "12000000"
    with week_log(rows, "fslog-stability-bench-") as (work, log, size_mb):
        csv_runs, stability_runs = [], []
        for _ in range(RUNS):
            csv_runs.append(measure([f"{build}/fslog-csv", log], work))
            stability_runs.append(measure([f"{build}/fslog-stability", log], work))
        csv_time = statistics.median(t for t, _ in csv_runs)
        stability_time = statistics.median(t for t, _ in stability_runs)
        csv_memory = max(m for _, m in csv_runs)
        stability_memory = max(m for _, m in stability_runs)

    ratio = stability_time / csv_time
    print(f"log: {int(rows):,} rows, {size_mb:,.0f} MB; median of {RUNS} runs each")
    print(f"{'figure':<44} {'measured':>12}  target")
    print(f"{'fslog-csv LOG > /dev/null':<44} {csv_time:>10.2f} s")
    print(f"{'fslog-stability LOG':<44} {stability_time:>10.2f} s")
    print(f"{'fslog-stability time / fslog-csv time':<44} {ratio:>12.2f}  at most {RATIO_TARGET}")
    print(f"{'fslog-csv peak RSS':<44} {csv_memory:>8.1f} MiB")
    print(f"{'fslog-stability peak RSS':<44} {stability_memory:>8.1f} MiB  at most {MEMORY_TARGET_MIB} MiB")
    sys.exit(1 if ratio > RATIO_TARGET or stability_memory > MEMORY_TARGET_MIB else 0)


if __name__ == "__main__":
    main()
