"""Loopback helpers the benchmarks share."""
import re
import socket


def free_port():
    """A TCP port on 127.0.0.1 that nothing listens on right now."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def rows_total(port):
    """fslog-metrics' fslog_rows_total of the log named unit, or None."""
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=2) as conn:
            conn.sendall(b"GET /metrics HTTP/1.1\r\nHost: bench\r\nConnection: close\r\n\r\n")
            answer = b""
            while chunk := conn.recv(65536):
                answer += chunk
    except OSError:
        return None
    found = re.search(rb'^fslog_rows_total\{log="unit"\} (\S+)$', answer, re.MULTILINE)
    return float(found.group(1)) if found else None
