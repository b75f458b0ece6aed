#!/usr/bin/env python3
"""Measures what fslog costs: runs the real build/fslog against the simulated
unit on a pty and prints a table of figures beside their targets.

    python3 bench/fslog_bench.py [BUILD_DIR]

Needs strace and valgrind. Takes about two minutes.
"""
import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import time

WIRE_LIMIT = 9600 / 10 / 47   # rows/s: 47 bytes a row, 10 bits a byte
TICK = os.sysconf("SC_CLK_TCK")


class Run:
    """fslog-sim serving COMMAND (fslog, maybe under a tracer); fslog's stdout
    is read here so rows can be counted as they come."""

    def __init__(self, build, sim_options, command):
        self.proc = subprocess.Popen(
            [f"{build}/fslog-sim", *sim_options, "--", *command],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, start_new_session=True)
        self.rows = 0
        self.started = time.monotonic()

    def pump(self, seconds):
        """Counts rows for `seconds`."""
        end = time.monotonic() + seconds
        fd = self.proc.stdout.fileno()
        while (left := end - time.monotonic()) > 0:
            if select.select([fd], [], [], left)[0]:
                chunk = os.read(fd, 65536)
                if not chunk:
                    break
                self.rows += chunk.count(b"\n")

    def child(self):
        """The process the simulator started (fslog, or the tracer)."""
        return child_of(self.proc.pid)

    def stop(self, sig=signal.SIGINT, target=None):
        os.kill(target or self.proc.pid, sig)
        self.pump(2)
        self.proc.wait(timeout=10)


def child_of(parent):
    deadline = time.monotonic() + 5
    while time.monotonic() < deadline:
        for pid in os.listdir("/proc"):
            if pid.isdigit() and ppid_of(int(pid)) == parent:
                return int(pid)
        time.sleep(0.01)
    raise RuntimeError(f"process {parent} started nothing")


def ppid_of(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return int(stat.read().rsplit(")", 1)[1].split()[1])
    except (OSError, IndexError):
        return None


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICK


def peak_rss_kib(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def fast_unit(build):
    """Rows/s, CPU per row and peak RSS with a unit that answers at once."""
    run = Run(build, ["--fast"], [f"{build}/fslog"])
    logger = run.child()
    run.pump(1)
    rows0, cpu0, t0 = run.rows, cpu_seconds(logger), time.monotonic()
    run.pump(5)
    rows, cpu, elapsed = run.rows - rows0, cpu_seconds(logger) - cpu0, time.monotonic() - t0
    rss = peak_rss_kib(logger)
    run.stop()
    return rows / elapsed, cpu / rows * 1e6, rss


def traced_run(build, tracer, seconds):
    """Runs fslog under `tracer` (whose output goes to a file) for `seconds`,
    then ends fslog, so the tracer writes its summary; returns the row count
    and the tracer's output."""
    with tempfile.NamedTemporaryFile("r", suffix=".txt") as out:
        run = Run(build, ["--fast"], [*tracer(out.name), f"{build}/fslog"])
        run.pump(seconds)
        run.stop(signal.SIGTERM, traced_logger(run.child()))
        return run.rows, out.read()


def per_steady_row(build, tracer, count, short=2, long=6):
    """The difference between a short and a long run, per row: start-up and
    shutdown cancel out."""
    rows_a, text_a = traced_run(build, tracer, short)
    rows_b, text_b = traced_run(build, tracer, long)
    return (count(text_b) - count(text_a)) / (rows_b - rows_a), rows_b - rows_a


def traced_logger(tracer):
    """fslog under the tracer: strace runs it as its child; valgrind runs it
    in its own process."""
    with open(f"/proc/{tracer}/comm") as comm:
        return child_of(tracer) if comm.read().strip() == "strace" else tracer


def strace_calls(text):
    """The calls column of strace -c's total line (% time, seconds, usecs/call, calls)."""
    for line in text.splitlines():
        fields = line.split()
        if fields and fields[-1] == "total":
            return int(fields[3])
    raise RuntimeError("no strace summary")


def valgrind_allocs(text):
    match = re.search(r"total heap usage: ([\d,]+) allocs", text)
    if not match:
        raise RuntimeError("no valgrind heap summary")
    return int(match.group(1).replace(",", ""))


def paced_unit(build, sim_options=()):
    run = Run(build, list(sim_options), [f"{build}/fslog"])
    run.pump(2)
    rows0, t0 = run.rows, time.monotonic()
    run.pump(10)
    rate = (run.rows - rows0) / (time.monotonic() - t0)
    run.stop()
    return rate


def silent_unit_cpu(build):
    run = Run(build, ["--faults", "silence=1"], [f"{build}/fslog"])
    logger = run.child()
    run.pump(1)
    cpu0 = cpu_seconds(logger)
    run.pump(10)
    cpu = cpu_seconds(logger) - cpu0
    run.stop()
    return cpu


def unplugged_unit_cpu(build):
    """The unit's adapter drops off the bus: the simulator ends, its pty and
    the link to it vanish, and fslog keeps trying the path every reset."""
    with tempfile.TemporaryDirectory() as folder:
        link = os.path.join(folder, "unit")
        sim = subprocess.Popen([f"{build}/fslog-sim", "--fast", "--link", link],
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        sim.stdout.readline()
        logger = subprocess.Popen([f"{build}/fslog", link], stdout=subprocess.DEVNULL,
                                  start_new_session=True)
        time.sleep(1)
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=10)
        time.sleep(1)
        cpu0 = cpu_seconds(logger.pid)
        time.sleep(10)
        cpu = cpu_seconds(logger.pid) - cpu0
        logger.kill()
        logger.wait()
        return cpu


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
    rate, cpu_per_row, rss = fast_unit(build)
    calls, strace_rows = per_steady_row(
        build, lambda out: ["strace", "-c", "-o", out], strace_calls)
    allocs, valgrind_rows = per_steady_row(
        build, lambda out: ["valgrind", "--tool=memcheck", f"--log-file={out}"], valgrind_allocs, 3, 8)
    paced = paced_unit(build)
    # Behind a USB adapter's latency timer: FTDI's default, and the 1 ms
    # that the low-latency request or the udev rule sets.
    slow_adapter = paced_unit(build, ["--adapter-latency", "16"])
    fast_adapter = paced_unit(build, ["--adapter-latency", "1"])
    silent = silent_unit_cpu(build)
    unplugged = unplugged_unit_cpu(build)

    table = [
        ("rows/s, unit answering at once", f"{rate:,.0f}", "", None),
        ("CPU per row, unit answering at once", f"{cpu_per_row:.1f} us", "", None),
        (f"system calls per steady row ({strace_rows} rows)", f"{calls:.2f}", "<= 9", round(calls, 2) <= 9),
        (f"heap allocations per steady row ({valgrind_rows} rows)", f"{allocs:.2f}", "0", round(allocs, 2) == 0),
        ("rows/s at 9600 baud", f"{paced:.2f} ({paced / WIRE_LIMIT:.1%} of {WIRE_LIMIT:.2f})",
         ">= 98%", paced >= 0.98 * WIRE_LIMIT),
        ("rows/s at 9600 baud, adapter timer 16 ms",
         f"{slow_adapter:.2f} ({slow_adapter / WIRE_LIMIT:.1%} of {WIRE_LIMIT:.2f})", "", None),
        ("rows/s at 9600 baud, adapter timer 1 ms",
         f"{fast_adapter:.2f} ({fast_adapter / WIRE_LIMIT:.1%} of {WIRE_LIMIT:.2f})", "", None),
        ("CPU in 10 s, silent unit", f"{silent:.3f} s", "<= 0.05 s", silent <= 0.05),
        ("CPU in 10 s, unit unplugged", f"{unplugged:.3f} s", "<= 0.05 s", unplugged <= 0.05),
        ("peak RSS", f"{rss / 1024:.2f} MiB", "<= 4 MiB", rss <= 4096),
    ]
    width = max(len(row[0]) for row in table)
    print(f"{'figure':<{width}}  {'measured':<28} {'target':<10} ")
    for name, value, target, met in table:
        verdict = "" if met is None else ("met" if met else "MISSED")
        print(f"{name:<{width}}  {value:<28} {target:<10} {verdict}")
    return 0 if all(met is not False for *_, met in table) else 1


if __name__ == "__main__":
    sys.exit(main())
