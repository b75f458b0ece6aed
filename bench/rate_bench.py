#!/usr/bin/env python3
"""Measures the DDS 2 rate fslog-report gives on logs of a busy host.

    python3 bench/rate_bench.py [BUILD_DIR] [HOURS]

Writes logs with make_busy_log.py (an hour each by default, DDS 2 counting
exactly 100000 a second) into a scratch folder under $TMPDIR: the busy host
alone, then with fslog paused for 30 s within an ADC exchange, then with
the unit replugged and its counter started afresh; three seeds each. For
each it prints the report's dds2_rate.mean, its relative error and the
jumps it counted, and exits 1 if an error passes the target.
"""
import json
import os
import subprocess
import sys
import tempfile

TRUE_RATE = 100000
TARGET = 5e-4
SEEDS = (1, 2, 3)
CASES = {"busy host": [], "paused 30 s": ["--pause"], "counter restarted": ["--replug"]}


def report(build, log):
    out = subprocess.run([f"{build}/fslog-report", "--json", log], capture_output=True, text=True, check=True)
    return json.loads(out.stdout)["dds2_rate"]


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    hours = sys.argv[2] if len(sys.argv) > 2 else "1"
    here = os.path.dirname(os.path.abspath(__file__))
    missed = False
    print(f"{'log':<20} {'seed':>4} {'mean (counts/s)':>16} {'error':>10} {'jumps':>6}  target")
    with tempfile.TemporaryDirectory(prefix="fslog-rate-bench-") as work:
        for name, flags in CASES.items():
            for seed in SEEDS:
                log = os.path.join(work, "busy.log")
                subprocess.run([sys.executable, os.path.join(here, "make_busy_log.py"), "--hours", hours,
                                "--seed", str(seed), *flags, log], check=True)
                rate = report(build, log)
                error = rate["mean"] / TRUE_RATE - 1
                missed |= abs(error) > TARGET
                print(f"{name:<20} {seed:>4} {rate['mean']:>16.2f} {error:>10.1e} {rate.get('jumps', '-'):>6}"
                      f"  within {TARGET:g}")
    sys.exit(1 if missed else 0)


if __name__ == "__main__":
    main()
