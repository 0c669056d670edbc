#!/usr/bin/env python3
"""Runs the benchmark (called by bench/run.sh inside its Wine environment).

Extraction: the bare FDI extractor, the extractor end to end and native cabextract on
the same cabinet. Time to the window: the extractor against a plain CopyFileA of the
packed file. Every program runs once in each repetition, the bare extractor (the copy)
next to ours, in one order and then the reverse (bare, ours ... ours, bare), so that a
drift of the machine hits both alike. A set whose yardstick (bare extractor, copy)
spreads more than 10 % runs its repetitions again, at most twice more. Prints a Markdown
report (bench/bench_report.py: median, minimum, spread, ratios, the two checks) and
writes it, with the raw runs, into the scratch folder.

Every extraction writes into a folder of its own and none is deleted until the
extractions are over: on this machine's file system (ext4 without a journal) a new
file's inode is found by skipping every inode freed in the last minute or more, so a
run right after another run's 60,000 files were deleted pays for that deletion.

    run.py BUILD_ROOT [--quick] [--reps N] [--sets SET,SET...]

--reps: repetitions of every set (5; --quick: 1). --sets (or K4_BENCH_SETS, comma-
separated set names) restricts the run to those sets.

K4_BENCH_OUT names another folder for the extraction outputs, such as one in memory
(/dev/shm/k4bench-out), which takes the file system's state out of the comparison.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import time

import bench_report


def arguments():
    parser = argparse.ArgumentParser(description="Runs the benchmark (bench/run.sh).")
    parser.add_argument("root")
    parser.add_argument("--quick", action="store_true", help="one repetition of each set")
    parser.add_argument("--reps", type=int, default=5, help="repetitions of every set (5)")
    parser.add_argument("--sets", default=os.environ.get("K4_BENCH_SETS", ""),
                        help="comma-separated set names (all)")
    # run.sh passes its own options on as well (--no-build).
    args, _ = parser.parse_known_args()
    if args.reps < 1:
        parser.error("--reps must be at least 1")
    return args


ARGS = arguments()
ROOT = os.path.abspath(ARGS.root)
REPS = 1 if ARGS.quick else ARGS.reps
DATA = os.path.join(ROOT, "bench-data")
OUT = os.path.abspath(os.environ.get("K4_BENCH_OUT") or os.path.join(DATA, "out"))
# K4_BENCH_WORK: where the extractor runs and so writes (and at the end deletes) its
# temporary cabinet; with K4_BENCH_OUT in memory it takes the file system out entirely.
WORK = os.path.abspath(os.environ.get("K4_BENCH_WORK") or os.path.join(DATA, "work"))
X64 = os.path.join(ROOT, "x86_64")
DRIVE = os.path.join(X64, "bench", "k4bench_drive.exe")
FDI = os.path.join(X64, "bench", "k4bench_fdi.exe")
COPY = os.path.join(X64, "bench", "k4bench_copy.exe")
STUB = os.path.join(X64, "app", "K4EXTRACTOR.exe")
K4PACK = os.path.join(ROOT, "host", "tools", "k4pack", "k4pack")

EXTRACT_SETS = list(bench_report.EXTRACT_SETS)
WINDOW_SETS = ["payload1", "payload100", "payload1024"]
# --sets mixed200,payload1,payload1024 measures those sets alone.
if ARGS.sets:
    CHOSEN = ARGS.sets.split(",")
    unknown = [s for s in CHOSEN if s not in EXTRACT_SETS + WINDOW_SETS]
    if unknown:
        sys.exit(f"run.py: no set {', '.join(unknown)}")
    EXTRACT_SETS = [s for s in EXTRACT_SETS if s in CHOSEN]
    WINDOW_SETS = [s for s in WINDOW_SETS if s in CHOSEN]
# One repetition's order; the next runs it backwards. The bare extractor and ours after
# the idle decoding (the pair the first check compares) are always neighbours.
PROGRAMS = ["fdi", "idle", "ours", "native"]
# "idle": ours with Start pressed this long after the window showed, when its idle
# decoding of the compressed blocks has finished ("ours" presses it at once).
IDLE_MS = int(os.environ.get("K4_BENCH_IDLE_MS", "8000"))
# ext4 skips an inode freed less than 60 s ago (once its table is written back) when it
# looks for a free one; the wait after deleting the outputs lets that pass.
FORGET_DELETED_S = 65


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def parse(line_text):
    values = {}
    for line in line_text.splitlines():
        for pair in line.split():
            if "=" in pair:
                key, value = pair.split("=", 1)
                values.setdefault(key, value)
    return values


def wine(*args):
    # A driver that ends without a word (Wine lost the process, seen once in a long run)
    # is started once more; a failure the driver reports is final.
    for attempt in (1, 2):
        settle()
        done = subprocess.run(["wine64", DRIVE, *args], capture_output=True, text=True)
        values = parse(done.stdout)
        if done.returncode == 0 and "error" not in values:
            return values
        if attempt == 2 or done.stdout.strip() or done.stderr.strip():
            raise RuntimeError(f"{args[0]} failed (exit {done.returncode}): {done.stdout} {done.stderr}")
        print(f"{args[0]}: the driver ended with exit code {done.returncode} and no output; run again", flush=True)


def settle():
    """Writes back what earlier runs left in the page cache, so no run pays for another."""
    os.sync()


def count_files(folder):
    return sum(len(files) for _, _, files in os.walk(folder))


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)


def retire(folder):
    """Moves an earlier run's output aside, to be deleted after the measurements."""
    if os.path.exists(folder):
        os.rename(folder, f"{folder}.old{time.time_ns()}")


def delete_retired(folder):
    """Deletes the outputs, then waits until the file system no longer skips their inodes."""
    parent, name = os.path.split(folder)
    doomed = [e for e in os.listdir(parent) if e == name or e.startswith(name + ".old")]
    for entry in doomed:
        fresh(os.path.join(parent, entry))
    if doomed:
        os.sync()
        time.sleep(FORGET_DELETED_S)


def pack(name, caption):
    exe = os.path.join(DATA, name + ".exe")
    cab = os.path.join(DATA, name + ".cab")
    if not os.path.exists(exe) or os.path.getmtime(exe) < max(os.path.getmtime(STUB), os.path.getmtime(cab)):
        subprocess.run([K4PACK, "-o", exe, "-s", STUB, "-c", caption, "--cab", cab], check=True,
                       stdout=subprocess.DEVNULL)
    return exe, cab


def run_fdi(cab, out):
    os.makedirs(out)
    values = wine("exec", win(DATA), f'"{win(FDI)}" "{win(cab)}" "{win(out)}"')
    return {"total_ms": float(values["total_ms"]), "peak_kb": int(values.get("peak_kb", 0))}


def run_ours(exe, caption, out, work, idle_ms=0):
    os.makedirs(work, exist_ok=True)
    values = wine("ours", win(exe), win(work), win(out) + "\\", caption, *([str(idle_ms)] if idle_ms else []))
    return {k: float(values[k]) for k in ("total_ms", "window_ms", "extract_ms", "peak_kb", "listed")}


def run_native(cab, out):
    report = os.path.join(DATA, "time.txt")
    settle()
    start = time.perf_counter()
    subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report, "cabextract", "-q", "-d", out, cab], check=True,
                   stdout=subprocess.DEVNULL)
    total = (time.perf_counter() - start) * 1000.0
    with open(report) as f:
        peak = int(f.read().split()[-1])
    return {"total_ms": total, "peak_kb": peak}


def order(items, rep):
    """Each repetition runs the programs in the order of the one before, reversed
    (A B, B A, A B ...): a steady drift of the machine then costs each alike."""
    return list(items) if rep % 2 == 0 else list(reversed(items))


def in_rounds(name, measure, yardstick):
    """Runs a set's repetitions (measure(round) gives one round's records) and again while
    the yardstick's times spread too much, at most bench_report.MAX_REPEATS times more."""
    rounds = []
    while True:
        rounds.append(measure(len(rounds) + 1))
        spread = bench_report.summary(yardstick(rounds[-1]))["spread"]
        if not bench_report.needs_repeat(yardstick(rounds[-1]), len(rounds)):
            return {"rounds": rounds}
        print(f"{name}: yardstick spread {spread:.1f} %, repetitions run again", flush=True)


def extraction(raw):
    for name in EXTRACT_SETS:
        caption = "K4 bench " + name
        exe, cab = pack(name, caption)
        os.makedirs(os.path.join(OUT, name), exist_ok=True)
        expected = int(subprocess.run(["gcab", "-l", cab], capture_output=True, text=True).stdout.count("\n"))
        measure = lambda number: extraction_round(name, number, exe, cab, caption, expected)
        raw[name] = in_rounds(name, measure, lambda runs: [r["total_ms"] for r in runs["fdi"]])


def extraction_round(name, number, exe, cab, caption, expected):
    runs = {}
    for rep in range(REPS):
        for program in order(PROGRAMS, rep):
            out = os.path.join(OUT, name, f"{program}{number}-{rep + 1}")   # never used before
            if program == "fdi":
                result = run_fdi(cab, out)
            elif program == "ours":
                result = run_ours(exe, caption, out, WORK)
            elif program == "idle":
                result = run_ours(exe, caption, out, WORK, IDLE_MS)
            else:
                result = run_native(cab, out)
            files = count_files(out)
            if files != expected:
                raise RuntimeError(f"{program} on {name}: {files} files, expected {expected}")
            result["files"] = files
            runs.setdefault(program, []).append(result)
            print(f"{name} round {number} rep {rep + 1} {program}: {result}", flush=True)
    return runs


def window(raw):
    # A start and a copy each write one large file, deleted before the next run: one
    # file frees no crowd of inodes, and writing where the disk has just written keeps
    # the virtual disk's first-write cost (four to five times the copy here) out of
    # both programs' times.
    work = os.path.join(DATA, "work")
    os.makedirs(work, exist_ok=True)
    for name in WINDOW_SETS:
        caption = "K4 bench " + name
        exe, _ = pack(name, caption)
        # One untimed start first: the first start after packing pays for reading the
        # new file in, which neither program should be charged for.
        wine("window", win(exe), win(work), caption)
        os.remove(os.path.join(work, "DATAFILE.K4A"))
        measure = lambda number: window_round(name, number, exe, caption, work)
        raw[name] = in_rounds(name, measure, lambda runs: [r["copy_ms"] for r in runs])


def window_round(name, number, exe, caption, work):
    copy = os.path.join(work, "copy.bin")
    runs = []
    for rep in range(REPS):
        timed = {}
        for program in order(["copy", "window"], rep):
            if program == "window":
                timed[program] = wine("window", win(exe), win(work), caption)
                os.remove(os.path.join(work, "DATAFILE.K4A"))
            else:
                timed[program] = wine("exec", win(work), f'"{win(COPY)}" "{win(exe)}" "{win(copy)}"')
                os.remove(copy)
        ours, plain = timed["window"], timed["copy"]
        result = {"window_ms": float(ours["window_ms"]), "peak_kb": int(ours["peak_kb"]),
                  "copy_ms": float(plain["total_ms"]), "copy_peak_kb": int(plain.get("peak_kb", 0)),
                  "bytes": os.path.getsize(exe)}
        runs.append(result)
        print(f"{name} round {number} rep {rep + 1}: {result}", flush=True)
    return runs


def main():
    raw = {"extract": {}, "window": {}}
    start = time.time()
    retire(OUT)
    extraction(raw["extract"])
    # Deleted before the time to the window is measured: 6 GB of outputs left in the
    # page cache and on the disk doubled the extractor's start with the 1 GiB payload
    # in two runs (2.0 to 3.1 s against 1.1 to 1.2 s on a quiet machine).
    delete_retired(OUT)
    window(raw["window"])
    text = bench_report.report(raw, EXTRACT_SETS, WINDOW_SETS) + f"\nWhole run: {(time.time() - start) / 60:.1f} min\n"
    with open(os.path.join(DATA, "results.json"), "w") as f:
        json.dump(raw, f, indent=1)
    with open(os.path.join(DATA, "results.md"), "w") as f:
        f.write(text)
    print(text)


if __name__ == "__main__":
    main()
