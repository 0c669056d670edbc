#!/usr/bin/env python3
"""Time to the window with the smallest payload, for one or more extractor stubs.

Packs each stub (the x86_64 program of some build) with the same 1 MiB stored
payload (bench/make_data.py's payload1 set), starts each packed program once
untimed, then REPS times in rotating order through the benchmark driver
(`k4bench_drive window`: CreateProcessA to the visible window, payload copied and
list filled), and prints the median, lowest and highest time of each and the
median peak working set the driver read. Comparing
stubs in one run, alternating, keeps the machine's state out of the comparison.

    startup.py BUILD_ROOT [--reps N] LABEL=STUB.exe [LABEL=STUB.exe ...]

Runs inside a Wine environment (bench/startup.sh sets one up). BUILD_ROOT holds the
driver (x86_64/bench/k4bench_drive.exe), the packer (host/tools/k4pack/k4pack) and
bench-data/, where the payload and the packed programs go.
"""
import os
import statistics
import subprocess
import sys


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def parse(text):
    values = {}
    for pair in text.split():
        if "=" in pair:
            key, value = pair.split("=", 1)
            values.setdefault(key, value)
    return values


def main(argv):
    reps = 15
    if "--reps" in argv:
        i = argv.index("--reps")
        reps = int(argv[i + 1])
        del argv[i:i + 2]
    if len(argv) < 2:
        sys.exit(__doc__)
    root = os.path.abspath(argv[0])
    stubs = [arg.split("=", 1) for arg in argv[1:]]
    data = os.path.join(root, "bench-data")
    drive = os.path.join(root, "x86_64", "bench", "k4bench_drive.exe")
    k4pack = os.path.join(root, "host", "tools", "k4pack", "k4pack")
    here = os.path.dirname(os.path.abspath(__file__))
    # Only the payload1 set of make_data.py (kept when it exists).
    sys.path.insert(0, here)
    import make_data
    os.makedirs(data, exist_ok=True)
    make_data.make_set(data, "payload1", lambda r: make_data.make_payload(r, 1), False)
    work = os.path.join(data, "startup-work")
    os.makedirs(work, exist_ok=True)
    packed = []
    for label, stub in stubs:
        exe = os.path.join(data, f"startup-{label}.exe")
        caption = "K4 startup " + label
        subprocess.run([k4pack, "-o", exe, "-s", stub, "-c", caption, "--cab", os.path.join(data, "payload1.cab")],
                       check=True, stdout=subprocess.DEVNULL)
        packed.append((label, exe, caption, os.path.getsize(stub)))

    def start(exe, caption):
        os.sync()
        done = subprocess.run(["wine64", drive, "window", win(exe), win(work), caption],
                              capture_output=True, text=True)
        values = parse(done.stdout)
        if done.returncode != 0 or "error" in values:
            raise RuntimeError(f"window failed: {done.stdout} {done.stderr}")
        os.remove(os.path.join(work, "DATAFILE.K4A"))
        return float(values["window_ms"]), int(values["peak_kb"])

    for _, exe, caption, _ in packed:
        start(exe, caption)  # untimed: reads the freshly packed file in
    times = {label: [] for label, *_ in packed}
    peaks = {label: [] for label, *_ in packed}
    for rep in range(reps):
        order = packed[rep % len(packed):] + packed[:rep % len(packed)]
        for label, exe, caption, _ in order:
            ms, kb = start(exe, caption)
            times[label].append(ms)
            peaks[label].append(kb)
    print("| stub | stub bytes | reps | median ms | lowest ms | highest ms | peak working set KiB |")
    print("|---|---|---|---|---|---|---|")
    for label, _, _, size in packed:
        t = times[label]
        print(f"| {label} | {size} | {len(t)} | {statistics.median(t):.0f} | {min(t):.0f} | {max(t):.0f} | "
              f"{statistics.median(peaks[label]):.0f} |")


if __name__ == "__main__":
    main(sys.argv[1:])
