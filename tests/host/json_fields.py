#!/usr/bin/env python3
"""Parses inspect --json output from standard input with Python's own JSON parser and
prints its fields one per line, "path=value", for the host tests to compare: a
document that is not valid JSON or lacks a documented field fails here."""
import json
import sys


def flat(prefix, value, out):
    if isinstance(value, dict):
        for key in value:
            flat(f"{prefix}.{key}" if prefix else key, value[key], out)
    elif isinstance(value, list):
        out.append(f"{prefix}=[{len(value)}]")
        for i, item in enumerate(value):
            flat(f"{prefix}[{i}]", item, out)
    elif isinstance(value, str):
        # Names are bytes shown as Latin-1 code points: back to bytes, shown escaped.
        plain = all(32 <= ord(c) < 127 for c in value)
        out.append(f"{prefix}={value}" if plain else f"{prefix}={value.encode('latin-1')!r}")
    else:
        out.append(f"{prefix}={json.dumps(value)}")


def main():
    document = json.load(sys.stdin)
    lines = []
    flat("", document, lines)
    print("\n".join(lines))


if __name__ == "__main__":
    main()
