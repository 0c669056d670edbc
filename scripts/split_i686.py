#!/usr/bin/env python3
"""Splits the i686 build's tests (ctest --show-only=json-v1 on stdin) for a run whose Windows
programs go to the emulated guest. Prints three CTest name patterns, one line each: the tests
that only read files on this host (the 32-bit Wine runner is not in their command), the tests
that run a Windows program in the guest, and those that run only natively.

  split_i686.py [--emulated LIST --filters OUT]

Without --emulated every test that runs a Windows program goes to the guest. With it, only the
tests LIST names do (lines "test_name cases", cases a GoogleTest filter or * for all, # starts a
comment); for each that names cases, OUT gets the line "program filter" for the runner, which
gives the program that filter. A name LIST holds that the build lacks is an error: the list
must not rot."""
import argparse
import json
import os
import re
import sys


def pattern(names):
    return "^(" + "|".join(re.escape(n) for n in names) + ")$" if names else "^$"


def read_list(path):
    chosen = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            if len(words) != 2:
                sys.exit(f"{path}:{number}: want 'test_name cases', got {line.strip()!r}")
            chosen[words[0]] = words[1]
    return chosen


def program_of(command):
    """The Windows program a command starts: the word after the 32-bit runner."""
    for i, part in enumerate(command):
        if part.endswith("wine32-run.sh") and i + 1 < len(command):
            return os.path.basename(command[i + 1]).removesuffix(".exe")
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--emulated")
    parser.add_argument("--filters")
    options = parser.parse_args()
    chosen = read_list(options.emulated) if options.emulated else None
    tests = json.load(sys.stdin)["tests"]
    here, guest, native, filters = [], [], [], []
    for test in tests:
        command = test.get("command") or [""]
        name = test["name"]
        if not any(part.endswith("wine32-run.sh") for part in command):
            here.append(name)
        elif chosen is None or name in chosen:
            guest.append(name)
            cases = chosen.get(name, "*") if chosen else "*"
            if cases != "*":
                filters.append(f"{program_of(command)} {cases}")
        else:
            native.append(name)
    if chosen is not None:
        missing = sorted(set(chosen) - set(guest))
        if missing:
            sys.exit(f"{options.emulated}: no such test that runs a Windows program: {', '.join(missing)}")
    if options.filters:
        with open(options.filters, "w", encoding="utf-8") as f:
            f.writelines(line + "\n" for line in filters)
    print(pattern(here))
    print(pattern(guest))
    print(pattern(native))


if __name__ == "__main__":
    main()
