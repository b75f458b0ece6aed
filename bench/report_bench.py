#!/usr/bin/env python3
"""Measures what fslog-report costs on a week-long log, beside fslog-csv.

    python3 bench/report_bench.py [BUILD_DIR] [ROWS]

Writes a week-long log (12 million rows, about 1 GB, by default) into a
scratch folder under $TMPDIR with make_week_log.py, reads it once so every
tool finds it in the page cache, then times fslog-csv reading it (CSV to
/dev/null), fslog-report and fslog-report --json, taking turns, three times
each. It prints the median times, the report's time beside fslog-csv's and
each tool's peak memory beside their targets, removes the log, and exits 1
if a target is missed. Takes a few minutes.
"""
import os
import statistics
import sys

from plot_bench import measure, week_log

RUNS = 3
RATIO_TARGET = 1.5        # "about fslog-csv's time"
MEMORY_TARGET_MIB = 16    # bounded, whatever the log's length


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rows = sys.argv[2] if len(sys.argv) > 2 else "12000000"
    tools = {
        "fslog-csv LOG > /dev/null": lambda log: [f"{build}/fslog-csv", log],
        "fslog-report LOG": lambda log: [f"{build}/fslog-report", log],
        "fslog-report --json LOG": lambda log: [f"{build}/fslog-report", "--json", log],
    }
    with week_log(rows, "fslog-report-bench-") as (work, log, size_mb):
        runs = {name: [] for name in tools}
        for _ in range(RUNS):
            for name, command in tools.items():
                runs[name].append(measure(command(log), work))

    times = {name: statistics.median(t for t, _ in measured) for name, measured in runs.items()}
    memory = {name: max(m for _, m in measured) for name, measured in runs.items()}
    csv_time = times["fslog-csv LOG > /dev/null"]
    print(f"log: {int(rows):,} rows, {size_mb:,.0f} MB; median of {RUNS} runs each")
    print(f"{'figure':<44} {'measured':>12}  target")
    missed = False
    for name in tools:
        print(f"{name:<44} {times[name]:>10.2f} s")
    for name in list(tools)[1:]:
        ratio = times[name] / csv_time
        missed |= ratio > RATIO_TARGET
        print(f"{name + ' / fslog-csv':<44} {ratio:>12.2f}  at most {RATIO_TARGET}")
    for name in tools:
        target = f"under {MEMORY_TARGET_MIB} MiB" if name.startswith("fslog-report") else ""
        missed |= bool(target) and memory[name] >= MEMORY_TARGET_MIB
        print(f"{name + ' peak RSS':<44} {memory[name]:>8.1f} MiB  {target}")
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
