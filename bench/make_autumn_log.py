#!/usr/bin/env python3
"""Writes a log of two runs around the night the clocks go back in
Central Europe (2026-10-25, 03:00 CEST becomes 02:00 CET), read with
TZ=Europe/Berlin:

    python3 bench/make_autumn_log.py OUT.log

The first run starts at 01:30 CEST and ends at 02:39 CEST; the second
starts at 02:10 in the repeated hour, which after the first run can only
be 02:10 CET (01:10 UTC), and runs for 25 minutes. A row a second, DDS 2
counting 100000 a second.
"""
import sys

HEADER = ("# Elapsed (s), rail?, trimpot, temperature, vcxo, dds 1, dds 2, "
          "delta dds2, user tuning")


def run(out, started, seconds):
    out.write("# Logging started at " + started + "\n" + HEADER)
    for second in range(seconds + 1):
        dds2 = second * 100000
        out.write("\n     %9.3f     " % second + "  %4d    %4d    %4d    %4d  " % (812, 2047, 1530, 2214)
                  + "1932735283 %d %d -1190 " % (dds2, dds2 if second == 0 else 100000))
    out.write("\n")


with open(sys.argv[1], "w") as log:
    run(log, "Sun Oct 25 01:30:00 2026", 69 * 60)
    run(log, "Sun Oct 25 02:10:00 2026", 25 * 60)
