#!/usr/bin/env python3
"""Writes the benchmark's data sets and their cabinets (gcab) into a scratch folder.

Each set is made once: a set whose cabinet exists is left alone, so a second run
measures without rebuilding them. Many-file sets are spread over folders of 200
files, as real trees are: Wine's cost per new file grows with the files in one folder.

    make_data.py SCRATCH
"""
import os
import random
import subprocess
import sys

WORDS = ("cabinet folder stream window listing extract target payload header block "
         "the of and to in is that for it as with was on be by at this from or an "
         "record offset length trailer table slot handle progress percent status").split()
PER_FOLDER = 200


def text_bytes(rng, size):
    out = bytearray()
    while len(out) < size:
        line = " ".join(rng.choices(WORDS, k=12)) + "\r\n"
        out += line.encode()
    return bytes(out[:size])


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_mixed(root, rng):
    """20 files of 10 MiB, half word text (compressible), half random."""
    names = []
    for i in range(20):
        name = f"mixed{i:02d}.{'txt' if i % 2 == 0 else 'bin'}"
        if i % 2 == 0:
            block = text_bytes(rng, 1 << 20)
            data = b"".join(block[j:] + block[:j] for j in range(0, 10 * 4096, 4096))
        else:
            data = os.urandom(10 << 20)
        write(os.path.join(root, name), data)
        names.append(name)
    return names


def make_many(root, rng, count, low, high):
    """count files of low..high bytes, text and random mixed, PER_FOLDER per folder."""
    names = []
    for i in range(count):
        name = f"d{i // PER_FOLDER:03d}/f{i:05d}.{'txt' if i % 3 else 'bin'}"
        size = rng.randint(low, high)
        data = text_bytes(rng, size) if i % 3 else os.urandom(size)
        write(os.path.join(root, name), data)
        names.append(name)
    return names


def make_payload(root, megabytes):
    """Random (incompressible) files of up to 100 MiB, stored uncompressed."""
    names = []
    left = megabytes
    i = 0
    while left > 0:
        part = min(left, 100)
        name = f"payload{i:02d}.bin"
        with open(os.path.join(root, name), "wb") as f:
            for _ in range(part):
                f.write(os.urandom(1 << 20))
        names.append(name)
        left -= part
        i += 1
    return names


def make_set(scratch, name, builder, compress):
    cab = os.path.join(scratch, name + ".cab")
    if os.path.exists(cab):
        return
    root = os.path.join(scratch, "src-" + name)
    os.makedirs(root, exist_ok=True)
    names = builder(root)
    # gcab stores a/b as a\b; a list file would be nicer but gcab takes arguments only.
    args = ["gcab", "-c"] + (["-z"] if compress else []) + [cab + ".part"] + names
    subprocess.run(args, cwd=root, check=True)
    os.replace(cab + ".part", cab)
    if name.startswith("payload"):
        subprocess.run(["rm", "-rf", root], check=True)   # only the cabinet is needed


def main():
    scratch = os.path.abspath(sys.argv[1])
    os.makedirs(scratch, exist_ok=True)
    rng = random.Random(4)
    make_set(scratch, "mixed200", lambda r: make_mixed(r, rng), True)
    make_set(scratch, "small20k", lambda r: make_many(r, rng, 20000, 200, 8000), True)
    make_set(scratch, "tiny60k", lambda r: make_many(r, rng, 60000, 1, 100), True)
    for mb in (1, 100, 1024):
        make_set(scratch, f"payload{mb}", lambda r, mb=mb: make_payload(r, mb), False)


if __name__ == "__main__":
    main()
