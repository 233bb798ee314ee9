#!/usr/bin/env python3
"""Writes the benchmark workloads, each a folder with setup.txt and data.txt
(the same files every time: every generator is seeded with a fixed value).

W1, W2 and W3: uniform samples in [0, 1), Krok 0 and seed 1.

W5, made only when named (some 600 MB): 1000000 uniform samples of dimension
32 on a 10 x 10 map that trains one epoch, a run spent mostly reading data.txt.

W4 and D1 continue a map that a preparation run has trained, and time the
long small-radius end of a schedule. Their folder holds prepare/setup.txt
(the preparation from Krok 0) and setup.txt, the measured run, whose Krok
(entry 7) bench/run.sh fills in from the preparation's konecne_parametry.txt:
- W4, clustered: 1000 samples from 20 Gaussian clusters (sigma 0.04) whose
  centres are uniform in the unit cube of dimension 32; a 40 x 40 map.
- D1, handwritten digits: the 1797 8 x 8 digits of bench/data/digits.csv.gz
  (pixel counts divided by 16); a 20 x 20 map.

D2 and S1, sparse data from Krok 0: components that are exactly 0 in many
samples pull their weights towards 0, through the subnormal range, where some
processors slow down:
- D2, the digits as in D1 on a 15 x 15 map (1121 epochs).
- S1, synthetic sparse data made the way images are sparse: 1000 samples of
  48 components in 10 clusters, each cluster with its own 20 components that
  are always exactly 0 and the others around a centre in [0.2, 1] (noise
  0.05, kept above 0); a 20 x 20 map (995 epochs). (Zeros scattered at random
  would not do it: the weights must see only zeros for thousands of updates,
  as the neurons of one digit do for the pixels it never inks.)
D2s and S1s: the same data shifted to x * 0.9 + 0.05, which has no zeros.

usage: make_workloads.py OUTPUT_FOLDER [LARGE_WORKLOAD...]
"""
import gzip
import os
import random
import sys

# name: (map_rows, map_cols, dimension, samples, radius_decay, rate_decay, stop_radius)
WORKLOADS = {
    "W1": (10, 10, 3, 1000, 100, 1000, 1),
    "W2": (40, 40, 64, 1000, 10, 100, 800),
    "W3": (20, 20, 16, 100000, 1, 10, 100),
}

# Written only when named on the command line.
LARGE = {
    "W5": (10, 10, 32, 1000000, 1, 10, 100),
}

COMMENTS = [
    "map_rows", "map_cols", "dimension", "radius_decay", "rate_decay", "stop_radius",
    "Krok", "seed",
]


# name: (map_rows, map_cols, dimension, radius_decay, rate_decay, seed, preparation's
# stop_radius, measured stop_radius)
CONTINUED = {
    "W4": (40, 40, 32, 1, 10, 4, 8, 6),
    "D1": (20, 20, 64, 2, 20, 5, 4, 3),
}


# name: (map_rows, map_cols, radius_decay, rate_decay, stop_radius, seed, shifted)
SPARSE = {
    "D2": (15, 15, 5, 50, 2, 5, False),
    "D2s": (15, 15, 5, 50, 2, 5, True),
    "S1": (20, 20, 5, 50, 4, 6, False),
    "S1s": (20, 20, 5, 50, 4, 6, True),
}


def write_setup(path, values):
    with open(path, "w", newline="\n") as f:
        for value, comment in zip(values, COMMENTS):
            f.write(f"{value}\t{comment}\n")


def write_samples(path, rows):
    with open(path, "w", newline="\n") as f:
        for row in rows:
            f.write(" ".join(repr(v) for v in row))
            f.write("\n")


def clustered_samples(dim, clusters, samples, sigma):
    gen = random.Random(f"clusters {clusters}x{dim}x{samples}")
    centres = [[gen.random() for _ in range(dim)] for _ in range(clusters)]
    return [[gen.gauss(c, sigma) for c in gen.choice(centres)] for _ in range(samples)]


def digit_samples():
    here = os.path.dirname(os.path.abspath(__file__))
    with gzip.open(os.path.join(here, "data", "digits.csv.gz"), "rt") as f:
        # 64 pixel counts, then the digit itself, which is not a feature.
        return [[int(v) / 16 for v in line.split(",")[:64]] for line in f if line.strip()]


def write_continued(folder, name):
    rows, cols, dim, radius_decay, rate_decay, seed, prepare_stop, stop = CONTINUED[name]
    os.makedirs(os.path.join(folder, "prepare"), exist_ok=True)
    write_setup(os.path.join(folder, "prepare", "setup.txt"),
                [rows, cols, dim, radius_decay, rate_decay, prepare_stop, 0, seed])
    write_setup(os.path.join(folder, "setup.txt"),
                [rows, cols, dim, radius_decay, rate_decay, stop, "KROK", seed])
    samples = clustered_samples(dim, 20, 1000, 0.04) if name == "W4" else digit_samples()
    write_samples(os.path.join(folder, "data.txt"), samples)


def sparse_clusters(dim, clusters, zeros, samples, sigma):
    gen = random.Random(f"sparse {clusters}x{dim}x{zeros}x{samples}")
    shapes = []
    for _ in range(clusters):
        zero = set(gen.sample(range(dim), zeros))
        shapes.append([None if k in zero else gen.uniform(0.2, 1.0) for k in range(dim)])

    def around(centre):
        while True:
            v = gen.gauss(centre, sigma)
            if v > 0:
                return v

    return [[0.0 if c is None else around(c) for c in gen.choice(shapes)]
            for _ in range(samples)]


def write_sparse(folder, name):
    rows, cols, radius_decay, rate_decay, stop, seed, shifted = SPARSE[name]
    os.makedirs(folder, exist_ok=True)
    samples = digit_samples() if name.startswith("D") else sparse_clusters(48, 10, 20, 1000, 0.05)
    if shifted:
        samples = [[v * 0.9 + 0.05 for v in row] for row in samples]
    write_setup(os.path.join(folder, "setup.txt"),
                [rows, cols, len(samples[0]), radius_decay, rate_decay, stop, 0, seed])
    write_samples(os.path.join(folder, "data.txt"), samples)


def write_workload(folder, rows, cols, dim, samples, radius_decay, rate_decay, stop_radius):
    os.makedirs(folder, exist_ok=True)
    write_setup(os.path.join(folder, "setup.txt"),
                [rows, cols, dim, radius_decay, rate_decay, stop_radius, 0, 1])
    gen = random.Random(f"{rows}x{cols}x{dim}x{samples}")
    with open(os.path.join(folder, "data.txt"), "w", newline="\n") as f:
        for _ in range(samples):
            f.write(" ".join(repr(gen.random()) for _ in range(dim)))
            f.write("\n")


def main():
    if len(sys.argv) < 2 or any(name not in LARGE for name in sys.argv[2:]):
        sys.exit(__doc__)
    for name, shape in WORKLOADS.items():
        write_workload(os.path.join(sys.argv[1], name), *shape)
    for name in sys.argv[2:]:
        write_workload(os.path.join(sys.argv[1], name), *LARGE[name])
    for name in CONTINUED:
        write_continued(os.path.join(sys.argv[1], name), name)
    for name in SPARSE:
        write_sparse(os.path.join(sys.argv[1], name), name)


if __name__ == "__main__":
    main()
