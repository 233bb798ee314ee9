#!/usr/bin/env python3
"""Writes the benchmark workloads W1, W2 and W3, each a folder with setup.txt
and data.txt: uniform samples in [0, 1) from a fixed generator (so the same
files every time), Krok 0 and seed 1.

usage: make_workloads.py OUTPUT_FOLDER
"""
import os
import random
import sys

# name: (map_rows, map_cols, dimension, samples, radius_decay, rate_decay, stop_radius)
WORKLOADS = {
    "W1": (10, 10, 3, 1000, 100, 1000, 1),
    "W2": (40, 40, 64, 1000, 10, 100, 800),
    "W3": (20, 20, 16, 100000, 1, 10, 100),
}

COMMENTS = [
    "map_rows", "map_cols", "dimension", "radius_decay", "rate_decay", "stop_radius",
    "Krok", "seed",
]


def write_workload(folder, rows, cols, dim, samples, radius_decay, rate_decay, stop_radius):
    os.makedirs(folder, exist_ok=True)
    values = [rows, cols, dim, radius_decay, rate_decay, stop_radius, 0, 1]
    with open(os.path.join(folder, "setup.txt"), "w", newline="\n") as f:
        for value, comment in zip(values, COMMENTS):
            f.write(f"{value}\t{comment}\n")
    gen = random.Random(f"{rows}x{cols}x{dim}x{samples}")
    with open(os.path.join(folder, "data.txt"), "w", newline="\n") as f:
        for _ in range(samples):
            f.write(" ".join(repr(gen.random()) for _ in range(dim)))
            f.write("\n")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    for name, shape in WORKLOADS.items():
        write_workload(os.path.join(sys.argv[1], name), *shape)


if __name__ == "__main__":
    main()
