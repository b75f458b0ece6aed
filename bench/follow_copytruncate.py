#!/usr/bin/env python3
"""Counts fslog-metrics keeps through copytruncate every half second.

    python3 bench/follow_copytruncate.py [BUILD_DIR] [SECONDS] [FSLOG_METRICS]

fslog logs the simulated unit for SECONDS (120 by default), first at the
line's own pace (9600 baud, about 20 rows a second), then with a unit
that answers at once (fslog-sim --fast, thousands of rows a second). Its standard output goes through this script into the log,
opened for appending as systemd opens it, so every row fslog writes is
counted as it goes in. Every half second the log is copied to unit.log.1
and emptied in place, as logrotate's copytruncate does. fslog-metrics
(FSLOG_METRICS, by default the build's) follows the log and is scraped
ten times a second.

Its fslog_rows_total must never go back, and never exceed the rows written
before the scrape's answer came. Prints the figures, and how many rows
were lost in all (rotation loses the rows written between the copy and
the emptying, and those not yet read when the log is emptied: with a
rotation every half second and a look every quarter second, a share that
depends on how the two fall against each other); exits 1 when a target
is missed. Takes twice SECONDS and a little more.
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

from loopback import free_port, rows_total

ROTATE_EVERY = 0.5
SCRAPE_EVERY = 0.1


class Tee:
    """fslog's output into the log, counting the rows that begin in it: a
    row begins after a line end, with anything but '#'."""

    def __init__(self, source, log):
        self.source = source
        self.log = os.open(log, os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
        self.rows = 0
        self.lock = threading.Lock()
        self.after_line_end = False
        self.thread = threading.Thread(target=self.run)
        self.thread.start()

    def run(self):
        while chunk := os.read(self.source, 65536):
            begun = sum(1 for line in chunk.split(b"\n")[1:] if line and not line.startswith(b"#"))
            if self.after_line_end and chunk[:1] not in (b"#", b"\n"):
                begun += 1
            self.after_line_end = chunk.endswith(b"\n")
            os.write(self.log, chunk)
            with self.lock:
                self.rows += begun

    def written(self):
        with self.lock:
            return self.rows


def measure(build, metrics_bin, seconds, sim_options):
    """The counter's samples against the rows written, under one unit."""
    with tempfile.TemporaryDirectory(prefix="fslog-copytruncate-") as folder:
        log = os.path.join(folder, "unit.log")
        port = free_port()
        metrics = subprocess.Popen([metrics_bin, "--listen", f"127.0.0.1:{port}", log],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        fslog = subprocess.Popen([f"{build}/fslog-sim", *sim_options, "--", f"{build}/fslog"],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
        tee = Tee(fslog.stdout.fileno(), log)

        figures = {"samples": 0, "went_back": 0, "over": 0, "worst_over": 0, "rotations": 0}
        last = 0.0
        started = time.monotonic()
        next_rotation = started + ROTATE_EVERY
        while (now := time.monotonic()) < started + seconds:
            if now >= next_rotation:
                shutil.copyfile(log, log + ".1")
                os.truncate(log, 0)
                figures["rotations"] += 1
                next_rotation += ROTATE_EVERY
            counted = rows_total(port)
            written = tee.written()
            if counted is not None:
                figures["samples"] += 1
                figures["went_back"] += counted < last
                figures["over"] += counted > written
                figures["worst_over"] = max(figures["worst_over"], counted - written)
                last = max(last, counted)
            time.sleep(SCRAPE_EVERY)

        os.killpg(fslog.pid, signal.SIGTERM)
        fslog.wait(timeout=10)
        tee.thread.join()
        time.sleep(1)  # the last row, without its line end, counts once the log is idle
        figures["final"] = rows_total(port)
        figures["written"] = tee.written()
        metrics.send_signal(signal.SIGTERM)
        metrics.wait(timeout=5)
    return figures


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 120
    metrics_bin = sys.argv[3] if len(sys.argv) > 3 else f"{build}/fslog-metrics"
    met_all = True
    for name, sim_options in (("unit at 9600 baud", []), ("unit answering at once (--fast)", ["--fast"])):
        f = measure(build, metrics_bin, seconds, sim_options)
        print(f"{name}: {seconds:.0f} s, {f['rotations']} copytruncates, {f['samples']} scrapes, "
              f"{f['written']:,} rows written")
        lost = 1 - f["final"] / f["written"]
        table = [
            ("  scrapes where the counter went back", f"{f['went_back']}", "0", f["went_back"] == 0),
            ("  scrapes where it exceeded the rows written", f"{f['over']} (by up to {f['worst_over']:.0f})", "0",
             f["over"] == 0),
            ("  rows counted at the end", f"{f['final']:,.0f} ({lost:.2%} lost)", "", None),
        ]
        for figure, value, target, met in table:
            verdict = "" if met is None else ("met" if met else "MISSED")
            print(f"{figure:<46} {value:<30} {target:<4} {verdict}")
            met_all &= met is not False
    return 0 if met_all else 1


if __name__ == "__main__":
    sys.exit(main())
