#!/usr/bin/env python3
"""Checks, from an i686 program's linker map, that its DWARF unwind table is whole.

  check_unwind_order.py MAP      exit 0 when crtbegin.o's part of .eh_frame comes
                                 first and crtend.o's last, 1 otherwise

The unwinder reads the table from crtbegin.o's start mark up to crtend.o's end
marker (a zero length word) and never beyond: a part linked behind crtend.o would
be invisible to it, and an exception thrown through one of its functions would end
the program. The extractor program names its start files itself
(cmake/K4StubStart.specs), so the order is checked here rather than trusted.
"""
import re
import sys

# An input section line of the map: " .eh_frame  0xADDR  0xSIZE  file", or the name
# alone on its line and the rest on the next.
INPUT = re.compile(r"^ \.eh_frame\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$")


def unwind_parts(lines):
    """The files that give .eh_frame bytes, in the order the map places them."""
    parts = []
    inside = False
    for line in lines:
        if line.startswith(".eh_frame"):
            inside = True
            continue
        if inside and line and not line.startswith(" "):
            break
        m = INPUT.match(line) if inside else None
        if m and int(m.group(1), 16):
            parts.append(m.group(2).strip())
    return parts


def order_fault(parts):
    """Why the order is wrong, or None."""
    if not parts:
        return "no .eh_frame in the map"
    names = [re.split(r"[/\\]", p)[-1] for p in parts]
    if names[0] != "crtbegin.o":
        return "the table starts with %s, not crtbegin.o" % parts[0]
    if names[-1] != "crtend.o":
        behind = names[names.index("crtend.o") + 1:] if "crtend.o" in names else []
        return "the table ends with %s, not crtend.o%s" % (
            parts[-1], "; behind its end marker: " + ", ".join(behind) if behind else "")
    return None


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        with open(argv[0], errors="replace") as f:
            parts = unwind_parts(f.read().splitlines())
    except OSError as e:
        print("%s: %s" % (argv[0], e), file=sys.stderr)
        return 2
    fault = order_fault(parts)
    print("%s: %d parts in .eh_frame, %s" % (argv[0], len(parts), fault or "crtbegin.o first, crtend.o last"))
    return 1 if fault else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
