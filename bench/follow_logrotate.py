#!/usr/bin/env python3
"""Rows the follower counts over real logrotate rotations of a running fslog.

    python3 bench/follow_logrotate.py [BUILD_DIR] [ROTATIONS] [SIGNAL_DELAY_S]

fslog logs fslog-sim at the line's own pace (about 20 rows a second) into
unit.log, opened for appending as systemd opens it. ROTATIONS times (52 by
default), about once a second, real logrotate rotates it with the shipped
settings (rename, create, then SIGUSR1 to fslog from postrotate, after
SIGNAL_DELAY_S seconds: 0 by default), keeping every old file. fslog-metrics
follows unit.log meanwhile. At the end its fslog_rows_total must be every
row that all the files hold; exits 1 when it is not.
"""
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

from loopback import free_port, rows_total


def fslog_pid(sim_pid):
    """fslog, the one child of fslog-sim."""
    for _ in range(50):
        with open(f"/proc/{sim_pid}/task/{sim_pid}/children") as children:
            found = children.read().split()
        if found:
            return int(found[0])
        time.sleep(0.1)
    raise RuntimeError("fslog did not start")


def logrotate_conf(folder, pid, delay):
    with open("service/fslog.logrotate") as shipped:
        text = shipped.read()
    text = text.replace("/var/log/fslog/", f"{folder}/").replace("create 0644 fslog fslog", "create 0644")
    text = text.replace("weekly", "size 1").replace("rotate 12", "rotate 1000")
    text = re.sub(r"systemctl kill .*", f"sleep {delay}; kill -USR1 {pid}", text)
    path = os.path.join(folder, "logrotate.conf")
    with open(path, "w") as conf:
        conf.write(text)
    return path


def rows_in(folder):
    rows = 0
    for name in os.listdir(folder):
        if name.startswith("unit.log"):
            opener = ["gzip", "-dc"] if name.endswith(".gz") else ["cat"]
            text = subprocess.run([*opener, os.path.join(folder, name)], capture_output=True).stdout
            rows += sum(1 for line in text.split(b"\n") if line.startswith(b" "))
    return rows


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    rotations = int(sys.argv[2]) if len(sys.argv) > 2 else 52
    delay = float(sys.argv[3]) if len(sys.argv) > 3 else 0
    with tempfile.TemporaryDirectory(prefix="fslog-logrotate-") as folder:
        log = os.path.join(folder, "unit.log")
        port = free_port()
        with open(log, "ab") as out:
            sim = subprocess.Popen([f"{build}/fslog-sim", "--", f"{build}/fslog"], stdout=out,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        metrics = subprocess.Popen([f"{build}/fslog-metrics", "--listen", f"127.0.0.1:{port}", log],
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        conf = logrotate_conf(folder, fslog_pid(sim.pid), delay)
        state = os.path.join(folder, "state")
        for _ in range(rotations):
            time.sleep(1)
            subprocess.run(["logrotate", "--state", state, conf], check=True)
        time.sleep(1 + delay)
        os.killpg(sim.pid, signal.SIGTERM)
        sim.wait(timeout=10)
        time.sleep(1.5)  # the last row, without its line end, counts once the log is idle
        counted = rows_total(port)
        metrics.send_signal(signal.SIGTERM)
        metrics.wait(timeout=5)
        written = rows_in(folder)
    print(f"{rotations} rotations, signal {delay} s after the create: "
          f"{counted:.0f} of {written} rows counted")
    return 0 if counted == written else 1


if __name__ == "__main__":
    sys.exit(main())
