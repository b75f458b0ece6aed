#!/usr/bin/python3
"""The series fslog-stability exports, analysed by another program.

    /usr/bin/python3 bench/export_check.py BUILD_DIR [SECONDS [SEED]]

emits a log of a simulated oscillator (white and random-walk FM, with
faults, so the series has gaps) with fslog-sim, has fslog-stability
analyse its tuning word and write the series it analysed in allantools'
form, then reads that file back here and works out the overlapping Allan
deviation on its own, with numpy: a term any of whose values is a gap is
left out. The values are written scaled, as fractional frequency. Each
tau's sigma and term count must be fslog-stability's.
"""
import json
import math
import subprocess
import sys
import tempfile

import numpy as np


def read_allantools(path):
    """The values (nan for a gap) and the header's fields."""
    header, values = {}, []
    with open(path) as file:
        for line in file:
            if line.startswith("#"):
                key, _, value = line[1:].partition(":")
                header[key.strip()] = value.strip()
            elif line.strip():
                values.append(float(line))
    return np.array(values), header


def oadev_of_frequency(y, m):
    """Overlapping ADEV of fractional frequency y at averaging factor m, and
    the number of terms: (mean of y[j+m:j+2m] - mean of y[j:j+m])^2 / 2 over
    every j whose 2m values are all known."""
    known = np.isfinite(y)
    sums = np.concatenate(([0.0], np.cumsum(np.where(known, y, 0.0))))
    gaps = np.concatenate(([0], np.cumsum(~known)))
    j = np.arange(len(y) - 2 * m + 1)
    whole = gaps[j + 2 * m] - gaps[j] == 0
    second = sums[j + 2 * m] - sums[j + m]
    first = sums[j + m] - sums[j]
    terms = ((second - first)[whole] / m) ** 2 / 2
    return math.sqrt(terms.mean()), int(whole.sum())


def main():
    build = sys.argv[1]
    seconds = sys.argv[2] if len(sys.argv) > 2 else "21600"
    seed = sys.argv[3] if len(sys.argv) > 3 else "3"
    with tempfile.TemporaryDirectory() as work:
        log, exported = f"{work}/unit.log", f"{work}/tuning.txt"
        with open(log, "w") as out:
            subprocess.run([f"{build}/fslog-sim", "--emit-log", seconds, "--seed", seed,
                            "--oscillator", "wfm=1e-11,rwfm=1e-13", "--faults", "silence=0.0002,header=0.0002"],
                           stdout=out, stderr=subprocess.DEVNULL, check=True)
        printed = json.loads(subprocess.run(
            [f"{build}/fslog-stability", "--series", "tuning", "--scale", "1e-12", "--kind", "oadev", "--json",
             "--export", f"allantools:{exported}", log], capture_output=True, text=True, check=True).stdout)
        values, header = read_allantools(exported)
        print(f"{len(values)} values, {int(np.isnan(values).sum())} gaps; header: {header}")
        worst = 0.0
        for row in printed["kinds"]["oadev"]:
            sigma, terms = oadev_of_frequency(values, int(row["af"]))
            ratio = sigma / row["sigma"]
            worst = max(worst, abs(ratio - 1))
            print(f"tau {row['tau']:8g}: fslog-stability {row['sigma']:.6e} ({row['n']} terms), "
                  f"numpy {sigma:.6e} ({terms} terms)")
            if terms != row["n"]:
                sys.exit(f"tau {row['tau']}: {terms} terms here, {row['n']} in fslog-stability")
        print(f"largest relative difference: {worst:.1e}")
        sys.exit(0 if worst < 1e-9 else 1)


if __name__ == "__main__":
    main()
