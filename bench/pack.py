#!/usr/bin/env python3
"""Times k4pack on one thread and on every core against `gcab -c -z` on the same source
folders, side by side, and compares the cabinets' sizes.

All three write MSZIP cabinets of the same files: gcab with libgcab, k4pack with its own
writer on zlib (each block's deflate given the previous 32 KB as its dictionary); k4pack
also checks the names, writes the self-extractor (carried x86_64 program, texts, trailer)
and syncs it before renaming it into place. Every repetition runs the programs in
rotating order, after os.sync(), into one output folder; medians over the repetitions.
Reports each k4pack's ratio to gcab, the peak memory (GNU time's %M) and the cabinet
sizes (k4pack's from `k4pack inspect`).

    pack.py K4PACK DATA_ROOT OUT_DIR [REPS]

DATA_ROOT holds src-mixed200 and src-small20k (bench/make_data.py makes them).
"""
import json
import os
import shutil
import statistics
import subprocess
import sys
import time

SETS = ["mixed200", "small20k"]


def files_of(folder):
    names = []
    for parent, _, files in os.walk(folder):
        for name in files:
            names.append(os.path.relpath(os.path.join(parent, name), folder))
    return sorted(names)


def timed(command, cwd):
    """Wall time in seconds and peak resident memory in MiB of one run."""
    os.sync()
    start = time.monotonic()
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd,
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    elapsed = time.monotonic() - start
    if run.returncode != 0:
        sys.exit(f"failed ({run.returncode}): {' '.join(command[:4])} ...\n{run.stderr}")
    return elapsed, int(run.stderr.strip().splitlines()[-1]) / 1024


def measure(k4pack, source, out, reps):
    names = files_of(source)
    commands = {
        "gcab": ["gcab", "-c", "-z", os.path.join(out, "gcab.cab")] + names,
        "k4pack -j1": [k4pack, "-q", "-j", "1", "--arch", "x86_64", "-o", os.path.join(out, "k4pack1.exe"), "."],
        "k4pack": [k4pack, "-q", "--arch", "x86_64", "-o", os.path.join(out, "k4pack.exe"), "."],
    }
    runs = {name: [] for name in commands}
    for rep in range(reps):
        order = list(commands)[rep % 3:] + list(commands)[:rep % 3]
        for name in order:
            runs[name].append(timed(commands[name], source))
    return len(names), runs


def cabinet_size(k4pack, exe):
    """The cabinet's bytes inside a self-extractor, as `k4pack inspect` reports them."""
    report = subprocess.run([k4pack, "inspect", "--json", exe], check=True, capture_output=True, text=True).stdout
    return json.loads(report)["cabinet"]["size"]


def main():
    k4pack, data, out = (os.path.abspath(a) for a in sys.argv[1:4])
    reps = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    os.makedirs(out, exist_ok=True)
    print(f"cores: {os.cpu_count()}, load average before: {os.getloadavg()[0]:.1f}")
    print("| set | files | reps | gcab -c -z s | k4pack -j1 s | k4pack (all cores) s | ratio -j1 / all "
          "| peak MiB gcab / -j1 / all | cabinet bytes gcab / k4pack | size ratio |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    for name in SETS:
        count, runs = measure(k4pack, os.path.join(data, "src-" + name), out, reps)
        median = {p: statistics.median(t for t, _ in runs[p]) for p in runs}
        peak = {p: max(m for _, m in runs[p]) for p in runs}
        gcab_size = os.path.getsize(os.path.join(out, "gcab.cab"))
        ours = cabinet_size(k4pack, os.path.join(out, "k4pack.exe"))
        if ours != cabinet_size(k4pack, os.path.join(out, "k4pack1.exe")):
            sys.exit("the cabinets of 1 and of all threads differ in size")
        print(f"| {name} | {count} | {reps} | {median['gcab']:.2f} | {median['k4pack -j1']:.2f} | "
              f"{median['k4pack']:.2f} | {median['k4pack -j1'] / median['gcab']:.3f} / "
              f"{median['k4pack'] / median['gcab']:.3f} | "
              f"{peak['gcab']:.0f} / {peak['k4pack -j1']:.0f} / {peak['k4pack']:.0f} | "
              f"{gcab_size} / {ours} | {ours / gcab_size:.4f} |", flush=True)
        for p in runs:
            print(f"  single runs {p}: " + ", ".join(f"{t:.2f}" for t, _ in runs[p]))
    print(f"load average after: {os.getloadavg()[0]:.1f}")
    shutil.rmtree(out)


if __name__ == "__main__":
    main()
