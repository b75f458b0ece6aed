#!/usr/bin/env python3
"""Writes a week-long fslog log, as fslog would print it, for the plot benchmark.

    python3 bench/make_week_log.py OUT.log [ROWS]

About 20 rows a second (12 million rows, about 1 GB, by default), with the
simulated unit's readings: noise on every ADC channel, the temperature
drifting over 15 minutes and the vcxo with it, DDS 2 counting 100000 a
second, the tuning following the vcxo. Now and then a query fails (a row
with a group missing and a 6 s pause) or a reply has a bad payload check;
the logger is restarted twice, once appended the way fslog does it now (the
last row ended first) and once the old way (the start line on the last
row's line).
"""
import math
import random
import sys
import time

ROW_SECONDS = 0.0493
FAIL_CHANCE = 0.0002      # per query
CS_BAD_CHANCE = 0.0005    # per DDS or tuning reply
RESET_SECONDS = 6.0
HEADER = ("# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, "
          "delta dds2, user tuning")


def start_lines(wall):
    return "# Logging started at " + time.ctime(wall) + "\n" + HEADER


def write_log(out, rows):
    rng = random.Random(42)
    wall = time.mktime((2026, 12, 7, 0, 0, 0, 0, 0, -1))
    restarts = {rows // 3: "\n", 2 * rows // 3: ""}   # new style, then old style
    out.write(start_lines(wall))
    elapsed = 0.0
    dds2 = last_shown = 0
    chunk = []
    for index in range(rows):
        if index in restarts:
            wall += elapsed + 30.0            # down for half a minute
            chunk.append(restarts[index] + start_lines(wall))
            elapsed = 0.0
            last_shown = 0
        drift = math.sin(2 * math.pi * (wall + elapsed) / 900.0)
        temperature = 1530 + round(6 * drift)
        vcxo = 2214 + round(3 * drift)
        row = ["\n     %9.3f     " % elapsed]
        step = ROW_SECONDS + rng.random() * 0.002
        if rng.random() < FAIL_CHANCE:
            step += RESET_SECONDS
        else:
            row.append("  %4d    %4d    %4d    %4d  " % (
                812 + rng.randint(-2, 2), 2047 + rng.randint(-1, 1),
                temperature + rng.randint(-1, 1), vcxo + rng.randint(-1, 1)))
        dds2 = int((wall + elapsed) * 100000) % 2**32
        if rng.random() < FAIL_CHANCE:
            step += RESET_SECONDS
        else:
            delta = (dds2 - last_shown) % 2**32
            delta = delta - 2**32 if delta >= 2**31 else delta
            note = "(CS bad!) " if rng.random() < CS_BAD_CHANCE else ""
            row.append("%s1932735283 %d %d " % (note, dds2, delta))
            last_shown = dds2
        if rng.random() < FAIL_CHANCE:
            step += RESET_SECONDS
        else:
            note = "(CS bad!) " if rng.random() < CS_BAD_CHANCE else ""
            row.append("%s%d " % (note, 2384 + 7 * (vcxo - 2214)))
        chunk.append("".join(row))
        elapsed += step
        if len(chunk) >= 100000:
            out.write("".join(chunk))
            chunk.clear()
    out.write("".join(chunk))


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    rows = int(sys.argv[2]) if len(sys.argv) == 3 else 12_000_000
    with open(sys.argv[1], "w") as out:
        write_log(out, rows)


if __name__ == "__main__":
    main()
