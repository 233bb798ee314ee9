#!/usr/bin/env python3
"""Writes the table of the som_data benchmark: 1,000,000 rows of 32 columns
(about 600 MB) as a spreadsheet's CSV export would hold them: a title row,
commas, LF line ends, each value the shortest repr of a double (17 digits or
so), the columns on scales from 1e-3 to 1e6 and some far from 0.

usage: bench/make_table.py OUT.csv [ROWS [COLUMNS]]
"""
import random
import sys

out = sys.argv[1]
rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
columns = int(sys.argv[3]) if len(sys.argv) > 3 else 32
rng = random.Random(2026)
centres = [rng.choice([0.0, 1.0, -50.0, 1e4, 3.5e6]) for _ in range(columns)]
scales = [10.0 ** rng.randint(-3, 6) for _ in range(columns)]
with open(out, "w", newline="\n") as f:
    f.write(",".join("x%d" % (j + 1) for j in range(columns)) + "\n")
    block = []
    for i in range(rows):
        block.append(",".join(repr(centres[j] + scales[j] * rng.gauss(0.0, 1.0))
                              for j in range(columns)))
        if len(block) == 10000:
            f.write("\n".join(block) + "\n")
            block = []
    if block:
        f.write("\n".join(block) + "\n")
