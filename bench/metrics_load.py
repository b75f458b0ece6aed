#!/usr/bin/env python3
"""Measures fslog-metrics under load and abuse on this machine's loopback.

    python3 bench/metrics_load.py [FSLOG_METRICS]

FSLOG_METRICS is the program to measure (build/fslog-metrics by default).
Each figure gets a server of its own, following a small log:

  * slow clients: 500, then 2,000 connections that each send one header
    byte a second (and connect again when they are cut off), all from the
    scraper's own address (127.0.0.1, as on the scraper's own host), all
    from another (127.0.0.2), or from 50 others (127.0.1.1 to 127.0.1.50,
    500 only); in the meantime 20 scrapes from 127.0.0.1, one every half
    second, each on a new connection. Counted: scrapes answered within
    1 s, and the server's peak resident memory.
  * a pipelining client: requests sent back to back on one connection, as
    many as the socket takes at once, whose answers are never read. Counted: the time until the server cuts it
    (nothing when it is still open after 30 s).
  * header floods: 8 requests of 2,000,000 header lines each, sent at once,
    then 900 connections (from 20 addresses) that each hold 15 KB of an
    unfinished header line. Counted:
    the server's peak resident memory (VmHWM).
  * scrape latency: wrk on one keep-alive connection for 10 s. Counted: the
    median latency.
  * stopping: SIGTERM with a FIFO that no one writes to as the log. Counted:
    the time until it has ended.

Needs wrk. Takes about four minutes. Exits 1 when a target is missed.
"""
import asyncio
import os
import re
import resource
import select
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

from loopback import free_port

SCRAPES = 20
SCRAPE_TARGET_S = 1.0
MEMORY_TARGET_MIB = 64
PIPELINE_TARGET_S = 15
PIPELINE_WAIT_S = 30
LATENCY_TARGET_MS = 10


def write_log(path):
    """A short log of a unit answering every query."""
    with open(path, "w") as log:
        log.write("# Logging started at Tue Dec  8 09:14:03 2026\n"
                  "# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, delta dds2, user tuning")
        for row in range(200):
            log.write(f"\n     {row * 0.05:9.3f}       812    2047    1530    2214  "
                      f"1932735283 {5000 * row} 5000 -1190 ")


class Server:
    """fslog-metrics on a free loopback port, following a log of its own."""

    def __init__(self, program):
        self.folder = tempfile.TemporaryDirectory(prefix="fslog-metrics-load-")
        log = os.path.join(self.folder.name, "unit.log")
        write_log(log)
        self.port = free_port()
        self.proc = subprocess.Popen([program, "--listen", f"127.0.0.1:{self.port}", log],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while scrape(self.port, timeout=1)[0] is None:
            if time.monotonic() > deadline:
                raise RuntimeError("fslog-metrics did not answer")
            time.sleep(0.1)

    def peak_rss_mib(self):
        with open(f"/proc/{self.proc.pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024
        return 0

    def stop(self):
        self.proc.kill()
        self.proc.wait()
        self.folder.cleanup()


def scrape(port, timeout):
    """One GET /metrics on a new connection from 127.0.0.1: its status and
    the seconds until the whole answer was in (nothing when none came)."""
    started = time.monotonic()
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=timeout) as conn:
            conn.settimeout(timeout)
            conn.sendall(b"GET /metrics HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n")
            answer = b""
            while chunk := conn.recv(65536):
                answer += chunk
        status = int(answer.split(b" ", 2)[1])
        return status, time.monotonic() - started
    except (OSError, ValueError, IndexError):
        return None, time.monotonic() - started


async def slow_client(port, source, stop):
    """Sends a request's headers a byte a second, and starts again whenever
    the server cuts it off or turns it away."""
    while not stop.is_set():
        try:
            reader, writer = await asyncio.open_connection("127.0.0.1", port, local_addr=(source, 0))
            writer.write(b"GET /metrics HTTP/1.1\r\nHost: slow\r\n")
            while not stop.is_set():
                writer.write(b"X")
                await writer.drain()
                await asyncio.sleep(1)
                if reader.at_eof():
                    break
            writer.close()
        except OSError:
            pass
        await asyncio.sleep(1)


def slow_clients(program, count, sources):
    """Scrapes answered within the target, the slowest scrape, and the
    server's peak memory, while `count` clients dribble their headers from
    `sources` in turn."""
    server = Server(program)
    results = []

    async def run():
        stop = asyncio.Event()
        clients = [asyncio.create_task(slow_client(server.port, sources[i % len(sources)], stop))
                   for i in range(count)]
        await asyncio.sleep(5)  # every client connected and dribbling
        for _ in range(SCRAPES):
            results.append(await asyncio.to_thread(scrape, server.port, 5))
            await asyncio.sleep(0.5)
        stop.set()
        await asyncio.gather(*clients)

    asyncio.run(run())
    peak = server.peak_rss_mib()
    server.stop()
    answered = sum(1 for status, took in results if status == 200 and took <= SCRAPE_TARGET_S)
    return answered, max(took for _, took in results), peak


def pipeline_cut_seconds(program):
    """Seconds until the server cuts a connection that sends requests back
    to back, as many as the socket takes at once, and never reads an answer
    (nothing when not within PIPELINE_WAIT_S)."""
    server = Server(program)
    requests = b"GET /metrics HTTP/1.1\r\nHost: pipeline\r\n\r\n" * 3000
    with socket.create_connection(("127.0.0.1", server.port)) as conn:
        conn.setblocking(False)
        try:
            conn.send(requests)
        except BlockingIOError:
            pass
        closed = select.poll()
        closed.register(conn, 0)  # only the end: POLLHUP or POLLERR
        started = time.monotonic()
        cut = None
        while cut is None and time.monotonic() - started < PIPELINE_WAIT_S:
            if closed.poll(100):
                cut = time.monotonic() - started
    server.stop()
    return cut


def send_flood(port, lines):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=30) as conn:
            conn.sendall(b"GET /metrics HTTP/1.1\r\nHost: flood\r\n")
            block = b"X-Flood: 0123456789\r\n" * 10000
            for _ in range(lines // 10000):
                conn.sendall(block)
            conn.sendall(b"\r\n")
            conn.recv(100)
    except OSError:
        pass


def header_floods(program):
    server = Server(program)
    floods = [threading.Thread(target=send_flood, args=(server.port, 2_000_000)) for _ in range(8)]
    for flood in floods:
        flood.start()
    for flood in floods:
        flood.join()
    held = []
    for i in range(900):
        try:
            conn = socket.create_connection(("127.0.0.1", server.port), timeout=5,
                                            source_address=(f"127.0.2.{i % 20 + 1}", 0))
            conn.sendall(b"GET /metrics HTTP/1.1\r\nX-Held: " + b"0123456789" * 1500)
            held.append(conn)
        except OSError:
            pass
    time.sleep(2)
    still_held = sum(1 for conn in held if still_open(conn))
    answered = scrape(server.port, 5)[0] == 200
    peak = server.peak_rss_mib()
    for conn in held:
        conn.close()
    server.stop()
    return peak, answered, still_held


def still_open(conn):
    conn.setblocking(False)
    try:
        return conn.recv(1) != b""
    except BlockingIOError:
        return True
    except OSError:
        return False


def keep_alive_latency_ms(program):
    server = Server(program)
    out = subprocess.run(["wrk", "-t1", "-c1", "-d10s", "--latency", f"http://127.0.0.1:{server.port}/metrics"],
                         capture_output=True, text=True, check=True).stdout
    server.stop()
    median = re.search(r"^\s*50%\s+([\d.]+)(us|ms|s)\s*$", out, re.MULTILINE)
    value, unit = float(median.group(1)), median.group(2)
    return value * {"us": 0.001, "ms": 1, "s": 1000}[unit]


def sigterm_seconds(program):
    """Seconds from SIGTERM to the end, with a log that is a FIFO no one
    writes to (nothing when it has not ended after 5 s)."""
    with tempfile.TemporaryDirectory(prefix="fslog-metrics-fifo-") as folder:
        fifo = os.path.join(folder, "fifo.log")
        os.mkfifo(fifo)
        proc = subprocess.Popen([program, "--listen", f"127.0.0.1:{free_port()}", fifo],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(1)
        sent = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=5)
            return time.monotonic() - sent
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            return None


def main():
    program = sys.argv[1] if len(sys.argv) > 1 else "build/fslog-metrics"
    # 2,000 clients and the server's descriptors: this shell's soft limit may be 1024.
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    resource.setrlimit(resource.RLIMIT_NOFILE, (min(hard, 8192), hard))

    table = []

    def add(row):
        """A figure, printed as soon as it is measured."""
        name, value, target, met = row
        print(f"{name:<60}  {value:<30} {target:<12} {'met' if met else 'MISSED'}", flush=True)
        table.append(row)

    for count, name, sources in ((500, "the scraper's address", ["127.0.0.1"]),
                                 (500, "another address", ["127.0.0.2"]),
                                 (500, "50 addresses", [f"127.0.1.{i}" for i in range(1, 51)]),
                                 (2000, "the scraper's address", ["127.0.0.1"]),
                                 (2000, "another address", ["127.0.0.2"])):
        answered, slowest, peak = slow_clients(program, count, sources)
        add((f"scrapes within 1 s, {count} slow clients from {name}",
             f"{answered} of {SCRAPES} (slowest {slowest:.2f} s)", f"{SCRAPES} of {SCRAPES}",
             answered == SCRAPES))
        add((f"peak memory, {count} slow clients from {name}", f"{peak:.1f} MiB",
             f"< {MEMORY_TARGET_MIB} MiB", peak < MEMORY_TARGET_MIB))
    cut = pipeline_cut_seconds(program)
    add(("a pipelining client that never reads, cut after",
         f"not within {PIPELINE_WAIT_S} s" if cut is None else f"{cut:.1f} s",
         f"< {PIPELINE_TARGET_S} s", cut is not None and cut < PIPELINE_TARGET_S))
    peak, answered, held = header_floods(program)
    add((f"peak memory under header floods ({held} held)", f"{peak:.1f} MiB", f"< {MEMORY_TARGET_MIB} MiB",
         peak < MEMORY_TARGET_MIB))
    add(("scrape answered after the floods", "yes" if answered else "no", "yes", answered))
    latency = keep_alive_latency_ms(program)
    add(("median keep-alive scrape latency", f"{latency:.3f} ms", f"< {LATENCY_TARGET_MS} ms",
         latency < LATENCY_TARGET_MS))

    ended = sigterm_seconds(program)
    add(("SIGTERM to exit, a FIFO without a writer as the log",
         "not within 5 s" if ended is None else f"{ended * 1000:.0f} ms", "< 1 s",
         ended is not None and ended < 1))

    return 0 if all(met for *_, met in table) else 1


if __name__ == "__main__":
    sys.exit(main())
