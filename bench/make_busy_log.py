#!/usr/bin/env python3
"""Writes an fslog log timed like a busy host's, whose DDS 2 counts at
exactly 100000 a second, for measuring the DDS 2 rate the tools give.

    python3 bench/make_busy_log.py [--hours H] [--seed N] [--pause] [--replug] [--rise [F]] [--step] OUT.log

fslog stamps a row's elapsed time before its ADC exchange, and reads DDS 2
only after it. On a busy host that exchange takes a varying time: the
line's own 18 ms, plus the wait for the CPU (a few milliseconds, now and
then a few hundred), and now and then the host stalls for a second or
three, anywhere in the row. A query fails now and then, and the line is
reset (6 s): a failed ADC query leaves the DDS reading's time unknown.
With --pause, fslog is paused (SIGSTOP) for 30 s halfway through, in the
middle of an ADC exchange; with --replug, ten minutes later the unit is
replugged and its DDS 2 counter starts afresh from 0. With --rise, halfway
through a query fails and across its reset the rate rises by half (by the
fraction given with --rise F: 0.001 for 1000 ppm); with
--step, halfway through the counter steps by 150,000 counts (1.5 s worth).
One hour by default (about 46000 rows).
"""
import argparse
import random
import time

RATE = 100000                 # DDS 2 counts a second
ADC_LINE = 0.0177             # command and 13-byte reply at 9600 baud
DDS_LINE = 0.0177
TUNING_LINE = 0.0135          # 9-byte reply
WRITE = 0.0005                # the row written out
SLOW_CHANCE = 0.01            # an exchange waits long for the CPU
STALL_CHANCE = 0.0005         # per row: the host stalls
FAIL_CHANCE = 0.0003          # per query
RESET = 6.0                   # a failed query's timeout and reset
HEADER = ("# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, "
          "delta dds2, user tuning")


def signed(delta):
    delta %= 2**32
    return delta - 2**32 if delta >= 2**31 else delta


class busy_host:
    def __init__(self, rng):
        self.rng = rng

    def wait(self):
        """The CPU's delay to an exchange, in seconds."""
        delay = self.rng.expovariate(1 / 0.004)
        if self.rng.random() < SLOW_CHANCE:
            delay += self.rng.uniform(0.05, 0.6)
        return delay

    def stall(self):
        return self.rng.uniform(0.5, 3.0) if self.rng.random() < STALL_CHANCE else 0.0


def exchange(rng, line_seconds):
    """How long a query takes, and whether it was answered: its reply's
    time on the line, or a failed query's timeout and reset."""
    if rng.random() < FAIL_CHANCE:
        return RESET, False
    return line_seconds, True


def write_log(out, hours, seed, pause, replug, rise=None, step=False):
    rng = random.Random(seed)
    host = busy_host(rng)
    wall = time.mktime((2026, 12, 7, 22, 0, 0, 0, 0, -1))
    out.write("# Logging started at " + time.ctime(wall) + "\n" + HEADER)
    now = 0.0               # seconds since the start, on the host's clock
    counter_zero = -1234.5  # when DDS 2 read 0
    shown = None            # the DDS 2 value shown last
    paused, replugged, risen, stepped = not pause, not replug, rise is None, not step
    rate = RATE
    first_reading = last_reading = None  # (time, counts) of the DDS readings
    while now < hours * 3600:
        row = ["\n     %9.3f     " % now]
        # The ADC exchange; a stall anywhere before the DDS reply delays it.
        now += host.stall() + host.wait()
        if not paused and now > hours * 1800:
            now += 30.0
            paused = True
        took, answered = exchange(rng, ADC_LINE)
        if not risen and now > hours * 1800:
            took, answered = RESET, False
            counter_zero = now + RESET / 2 - (now + RESET / 2 - counter_zero) / (1 + rise)
            rate, risen = (1 + rise) * RATE, True
        if not stepped and now > hours * 1800:
            counter_zero -= 150000 / RATE
            stepped = True
        now += took
        if answered:
            row.append("  %4d    %4d    %4d    %4d  " % (812 + rng.randint(-2, 2), 2047, 1530, 2214))
        if not replugged and now > hours * 1800 + 600:
            counter_zero = now
            replugged = True
        now += host.wait()
        took, answered = exchange(rng, DDS_LINE)
        now += took
        if answered:
            dds2 = int((now - counter_zero) * rate) % 2**32
            delta = dds2 if shown is None else signed(dds2 - shown)
            counts = int((now - counter_zero) * rate)  # not wrapped at 2**32
            first_reading = first_reading or (now, counts)
            last_reading = (now, counts)
            row.append("1932735283 %d %d " % (dds2, delta))
            shown = dds2
        now += host.wait()
        took, answered = exchange(rng, TUNING_LINE)
        now += took
        if answered:
            row.append("%d " % -1190)
        now += host.stall() + WRITE
        out.write("".join(row))
    if rise is not None:
        # The true mean rate between the first and last reading, the step's counts aside.
        (begun, first), (ended, last) = first_reading, last_reading
        print("true mean rate %.3f" % ((last - first) / (ended - begun)))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    parser.add_argument("--hours", type=float, default=1.0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--pause", action="store_true")
    parser.add_argument("--replug", action="store_true")
    parser.add_argument("--rise", nargs="?", const=0.5, type=float)
    parser.add_argument("--step", action="store_true")
    given = parser.parse_args()
    with open(given.out, "w") as out:
        write_log(out, given.hours, given.seed, given.pause, given.replug, given.rise, given.step)


if __name__ == "__main__":
    main()
