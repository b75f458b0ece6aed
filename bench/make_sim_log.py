#!/usr/bin/env python3
"""Write a log of the real fslog polling fslog-sim, for the rate figures.

    make_sim_log.py BUILD SECONDS LOG [--stop-twice] [SIM OPTION...]

runs BUILD/fslog under BUILD/fslog-sim with the simulator options given
(--fast, --adapter-latency 16, --seed N) for SECONDS, its output into LOG.
With --stop-twice fslog is stopped (SIGSTOP) for 10 s at a third and at
two thirds of the time, as a suspended host or a stalled output would.
"""
import os
import signal
import subprocess
import sys
import time


def fslog_pid(sim_pid):
    with open(f"/proc/{sim_pid}/task/{sim_pid}/children") as children:
        return int(children.read().split()[0])


def main():
    build, seconds, log = sys.argv[1], float(sys.argv[2]), sys.argv[3]
    stop_twice = "--stop-twice" in sys.argv[4:]
    options = [arg for arg in sys.argv[4:] if arg != "--stop-twice"]
    with open(log, "w") as out:
        sim = subprocess.Popen([os.path.join(build, "fslog-sim"), *options, "--",
                                os.path.join(build, "fslog")], stdout=out)
        begun = time.monotonic()
        if stop_twice:
            time.sleep(0.5)
            logger = fslog_pid(sim.pid)
            for at in (seconds / 3, 2 * seconds / 3):
                time.sleep(max(0.0, begun + at - time.monotonic()))
                os.kill(logger, signal.SIGSTOP)
                time.sleep(10)
                os.kill(logger, signal.SIGCONT)
        time.sleep(max(0.0, begun + seconds - time.monotonic()))
        sim.send_signal(signal.SIGTERM)
        sim.wait()


if __name__ == "__main__":
    main()
