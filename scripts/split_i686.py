#!/usr/bin/env python3
"""Splits the i686 build's tests (ctest --show-only=json-v1 on stdin) into two CTest name
patterns, one line each: the tests that only read files on this host (the 32-bit Wine runner is
not in their command) and the tests that run a Windows program (for the emulated guest)."""
import json
import re
import sys


def pattern(names):
    return "^(" + "|".join(re.escape(n) for n in names) + ")$" if names else "^$"


def main():
    tests = json.load(sys.stdin)["tests"]
    here, guest = [], []
    for test in tests:
        command = test.get("command") or [""]
        runs_windows = any(part.endswith("wine32-run.sh") for part in command)
        (guest if runs_windows else here).append(test["name"])
    print(pattern(here))
    print(pattern(guest))


if __name__ == "__main__":
    main()
