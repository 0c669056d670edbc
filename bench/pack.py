#!/usr/bin/env python3
"""Times k4pack against `gcab -c -z` on the same source folders, side by side.

Both write MSZIP cabinets of the same files with the same library; k4pack also checks
the names, writes the self-extractor (carried x86_64 program, texts, trailer) and syncs
it before renaming it into place. Every repetition runs both programs in rotating order,
after os.sync(), into one output folder; medians over the repetitions. Reports the
ratio k4pack / gcab and each program's peak memory (GNU time's %M).

    pack.py K4PACK DATA_ROOT OUT_DIR [REPS]

DATA_ROOT holds src-mixed200 and src-small20k (bench/make_data.py makes them).
"""
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
        "k4pack": [k4pack, "-q", "--arch", "x86_64", "-o", os.path.join(out, "k4pack.exe"), "."],
    }
    runs = {name: [] for name in commands}
    for rep in range(reps):
        order = list(commands) if rep % 2 == 0 else list(reversed(commands))
        for name in order:
            runs[name].append(timed(commands[name], source))
    return len(names), runs


def main():
    k4pack, data, out = (os.path.abspath(a) for a in sys.argv[1:4])
    reps = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    os.makedirs(out, exist_ok=True)
    print("| set | files | reps | gcab -c -z s | k4pack s | ratio | single runs gcab / k4pack s "
          "| peak MiB gcab / k4pack |")
    print("|---|---|---|---|---|---|---|---|")
    for name in SETS:
        count, runs = measure(k4pack, os.path.join(data, "src-" + name), out, reps)
        median = {p: statistics.median(t for t, _ in runs[p]) for p in runs}
        peak = {p: max(m for _, m in runs[p]) for p in runs}
        singles = " / ".join(", ".join(f"{t:.2f}" for t, _ in runs[p]) for p in ("gcab", "k4pack"))
        print(f"| {name} | {count} | {reps} | {median['gcab']:.2f} | {median['k4pack']:.2f} | "
              f"{median['k4pack'] / median['gcab']:.3f} | {singles} | "
              f"{peak['gcab']:.0f} / {peak['k4pack']:.0f} |", flush=True)
    shutil.rmtree(out)


if __name__ == "__main__":
    main()
