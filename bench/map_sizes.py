#!/usr/bin/env python3
"""Where a linked program's bytes come from, read from a GNU ld map file (-Wl,-Map).

Usage: map_sizes.py MAP [--members N] [--symbols N] [--program EXE] [--absent REGEX]

Prints the bytes of kept input sections per group (our own libraries, the C++
runtime, the unwinder, the threads layer, the C runtime, ...), then the largest
archive members and, with --symbols, the largest single sections. Only sections
that end up in the file count: sections dropped by --gc-sections (listed before
the memory map), debug sections and zero-initialised data are skipped. Sizes are section sizes before file
alignment, so the totals come close to, but not exactly to, the file size.
With --program, fails when the total and the program's file size differ by more
than the headers and the padding of its sections can explain (a map this reader
no longer understands). With --absent, fails when a kept section's name or its
file, or an archive member the link took in, matches the pattern (code that must not
ship, such as the test seams).
"""
import argparse
import collections
import os
import re
import sys

# A kept input section: " .name  0xADDR  0xSIZE  file", the name alone on its line
# when it is long (address, size and file then follow on the next line).
SECTION = re.compile(r"^ (\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
NAME_ONLY = re.compile(r"^ (\.\S+)$")
CONTINUED = re.compile(r"^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
# Output sections that take no bytes in the file: debug information (stripped) and
# zero-initialised data, which the loader makes.
SKIPPED_OUTPUT = ("/DISCARD/", ".debug", ".stab", ".zdebug", ".bss")

GROUPS = [
    # The stub's own code is optimised at link time as one object (a temporary "*.lto.o"
    # or "*.ltrans.o"), with the libraries' code the optimiser took into it.
    ("ours", re.compile(r"(^|/)(lib)?k4\w+\.a\(|\.cpp\.obj$|\.rc\.res$|\.res$|\.lto\.o$|\.ltrans\.o$")),
    ("libstdc++: floating-point to_chars", re.compile(r"libstdc\+\+\.a\((floating_to_chars|ryu|to_chars)")),
    ("libstdc++: demangler", re.compile(r"libstdc\+\+\.a\(cp-demangle")),
    ("libstdc++: strings", re.compile(r"libstdc\+\+\.a\(.*string")),
    ("libstdc++: exceptions", re.compile(r"libstdc\+\+\.a\(.*(except|stdexcept|functexcept|system_error|eh_)")),
    ("libstdc++: other", re.compile(r"libstdc\+\+\.a\(")),
    ("libsupc++", re.compile(r"libsupc\+\+\.a\(")),
    ("zlib (inflate)", re.compile(r"libz\.a\(")),
    ("unwinder (libgcc_eh)", re.compile(r"libgcc_eh\.a\(")),
    ("libgcc", re.compile(r"libgcc\.a\(")),
    ("POSIX threads (winpthread)", re.compile(r"libpthread\.a\(|libwinpthread\.a\(")),
    ("printf-style formatting (mingwex)", re.compile(r"libmingwex\.a\(.*(printf|pformat|dtoa|gdtoa|gmisc|misc|strnlen|wcrtomb|mbrtowc)")),
    ("C runtime extras (mingwex)", re.compile(r"libmingwex\.a\(")),
    ("C runtime start-up (crt)", re.compile(r"crt\w*\.o|libmingw32\.a\(|libmsvcrt\.a\(\S*\.o|libmoldname")),
    ("imports (system DLLs)", re.compile(r"lib(kernel32|user32|gdi32|msvcrt|advapi32|shell32|comctl32|ole32)\.a\(")),
]


def parse(path):
    kept = []
    in_map = False
    pending = None
    output = ""
    with open(path, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if not in_map:
                in_map = line.startswith("Linker script and memory map")
                continue
            if line and not line.startswith(" "):
                output = line.split()[0]
                pending = None
                continue
            if pending:
                m = CONTINUED.match(line)
                if m:
                    kept.append((output, pending, int(m.group(2), 16), m.group(3)))
                pending = None
                continue
            m = SECTION.match(line)
            if m:
                kept.append((output, m.group(1), int(m.group(3), 16), m.group(4)))
                continue
            m = NAME_ONLY.match(line)
            if m:
                pending = m.group(1)
    return [k for k in kept if k[2] and not k[0].startswith(SKIPPED_OUTPUT) and not k[3].startswith("*")]


def included_members(path):
    # "dir/libk4ui.a(K4Form.cpp.obj)  K4Control.cpp.obj (ui::Form::ClassName())"
    members = set()
    with open(path, errors="replace") as f:
        for line in f:
            if line.startswith(("Discarded input sections", "Memory Configuration")):
                break
            m = re.match(r"^(\S+\.a\([^)]+\))", line)
            if m:
                members.add(member_of(m.group(1)))
    return members


def group_of(source):
    for name, pattern in GROUPS:
        if pattern.search(source):
            return name
    return "other"


def member_of(source):
    # "/long/path/libstdc++.a(string-inst.o)" -> "libstdc++.a(string-inst.o)"
    if re.search(r"\.(lto|ltrans)\.o$", source):
        return "(the program, optimised at link time)"
    return source.rsplit("/", 1)[-1] if "(" not in source else source[source.rfind("/", 0, source.find("(")) + 1:]


def check_against(program, total):
    # Headers take one file-alignment unit; each of at most 16 sections is padded
    # to the next 512 bytes.
    size = os.path.getsize(program)
    slack = 512 + 16 * 512
    if not total <= size <= total + slack:
        sys.exit(f"{program}: {size} bytes, but the map accounts for {total}")
    print(f"{program}: {size} bytes, {size - total} of them headers and padding")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("map")
    parser.add_argument("--members", type=int, default=25)
    parser.add_argument("--symbols", type=int, default=0)
    parser.add_argument("--program")
    parser.add_argument("--absent", type=re.compile)
    args = parser.parse_args()
    sections = parse(args.map)
    if not sections:
        sys.exit("no kept sections found in " + args.map)
    groups = collections.Counter()
    members = collections.Counter()
    for _, _, size, source in sections:
        groups[group_of(source)] += size
        members[member_of(source)] += size
    total = sum(groups.values())
    print(f"{'group':40} {'bytes':>9} {'KiB':>7}")
    for name, size in groups.most_common():
        print(f"{name:40} {size:9d} {size / 1024:7.1f}")
    print(f"{'total':40} {total:9d} {total / 1024:7.1f}")
    print()
    for name, size in members.most_common(args.members):
        print(f"{size:9d}  {name}")
    if args.program:
        check_against(args.program, total)
    if args.absent:
        shipped = sorted({f"{name} {member_of(source)}" for _, name, _, source in sections
                          if args.absent.search(name) or args.absent.search(source)})
        # A stub optimised at link time keeps its code in one object without the
        # sections' names: what it took in shows in the archive members the link
        # included, listed at the map's head.
        shipped += sorted(m for m in included_members(args.map) if args.absent.search(m))
        if shipped:
            sys.exit(f"{args.map}: linked, though it must not be: " + "; ".join(shipped[:10]))
    if args.symbols:
        print()
        for out, name, size, source in sorted(sections, key=lambda s: -s[2])[: args.symbols]:
            print(f"{size:9d}  {out:8} {name[:70]:70} {member_of(source)}")


if __name__ == "__main__":
    main()
