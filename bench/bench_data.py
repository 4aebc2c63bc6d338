#!/usr/bin/env python3
"""The benchmarks' data, generated with fixed seeds: the same bytes on every
run and every machine. Usage: bench_data.py SET FOLDER, where SET is
  small    20,000 text files of 2 KB in 200 folders
  large    500 MB in 12 files of text, random and mixed data
  extract  about 200 MB in 7 files of 10 to 40 MB, text, random and mixed
"""
import os
import random
import sys

WORDS = ["Setup ", "archive ", "the ", "entry ", "Windows ", "\r\n",
         "folder ", "0x7F ", "data ", "file ", "program ", "= ", "\n"]
SEED = 2463534242


def text(rng, size):
    out, length = [], 0
    while length < size:
        piece = "".join(rng.choices(WORDS, k=min(65536, size))).encode()
        out.append(piece)
        length += len(piece)
    return b"".join(out)[:size]


def mixed(rng, size):
    # Text with runs of noise between its lines, as installers hold.
    pool = text(rng, 1 << 22)
    out, length = [], 0
    while length < size:
        n = min(size - length, 256 + rng.randrange(8192))
        if rng.randrange(10) < 3:
            out.append(rng.randbytes(n))
        else:
            at = rng.randrange(len(pool) - n)
            out.append(pool[at:at + n])
        length += n
    return b"".join(out)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# Files of the large sets: name, kind (None: random bytes), megabytes.
PLANS = {
    "large": [("docs/manual.txt", text, 60), ("docs/reference.txt", text, 40),
              ("logs/build.log", text, 50), ("logs/run.log", text, 30), ("readme.txt", text, 20),
              ("data/payload.bin", None, 60), ("data/media.bin", None, 40),
              ("data/archive.bin", None, 30), ("setup/tools.bin", None, 20),
              ("data/mixed1.dat", mixed, 60), ("data/mixed2.dat", mixed, 50),
              ("data/mixed3.dat", mixed, 40)],
    "extract": [("large/manual.txt", text, 40), ("large/payload.bin", None, 30),
                ("large/mixed1.dat", mixed, 35), ("large/log.txt", text, 25),
                ("large/media.bin", None, 10), ("large/mixed2.dat", mixed, 40),
                ("large/readme.txt", text, 20)],
}


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("small", *PLANS):
        sys.exit(__doc__)
    kind, folder = sys.argv[1], sys.argv[2]
    if kind == "small":
        rng = random.Random(SEED)
        for d in range(200):
            for f in range(100):
                write(os.path.join(folder, "folder%03d" % d, "file%03d.txt" % f), text(rng, 2048))
        return
    for seed, (name, make, megabytes) in enumerate(PLANS[kind]):
        rng = random.Random(SEED + seed)
        size = megabytes << 20
        write(os.path.join(folder, name), rng.randbytes(size) if make is None else make(rng, size))


main()
