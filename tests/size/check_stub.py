#!/usr/bin/env python3
"""Checks a built extractor stub: at most LIMIT bytes, and every protection and
resource a shipped stub must keep.

  check_stub.py EXE LIMIT                      exit 0 when every check passes
  check_stub.py --expect-refused CHECK EXE LIMIT
                                               exit 0 when EXE fails and CHECK is
                                               among the failed checks (the check
                                               itself under test)

Checks (names as --expect-refused takes them):
  size        the file is at most LIMIT bytes
  timestamp   the PE header's link time stamp is 0 (reproducible builds)
  aslr        DYNAMIC_BASE set, relocations present and not stripped
  nx          NX_COMPAT set
  entropy     HIGH_ENTROPY_VA set (64-bit images only)
  resources   an icon, the manifest and the version information are present
  stack       (32-bit images only) the entry point aligns the stack to 16 bytes
              (and esp, -16) before anything else: the compiler assumes that
              alignment, the system starts a 32-bit program with 4 bytes only
"""
import struct
import sys

DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
HIGH_ENTROPY_VA = 0x0020
RELOCS_STRIPPED = 0x0001
RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24
BASERELOC, RESOURCE = 5, 2
ALIGN_ESP_16 = b"\x83\xe4\xf0"  # and esp, -16
ENTRY_PROLOGUE = 16  # bytes of the entry searched for it


def read_pe(data):
    """The header fields the checks need, or raises ValueError for a file that is no PE."""
    if data[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine, sections, stamp = struct.unpack_from("<HHI", data, pe + 4)
    optional_size, characteristics = struct.unpack_from("<HH", data, pe + 20)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic not in (0x10B, 0x20B):
        raise ValueError("unknown optional header magic %#x" % magic)
    entry = struct.unpack_from("<I", data, opt + 16)[0]
    dll_characteristics = struct.unpack_from("<H", data, opt + 70)[0]
    count_at = opt + (92 if magic == 0x10B else 108)
    count = struct.unpack_from("<I", data, count_at)[0]
    directories = [struct.unpack_from("<II", data, count_at + 4 + 8 * i) for i in range(count)]
    table = opt + optional_size
    section_list = []
    for i in range(sections):
        name, vsize, va, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
        section_list.append((name.rstrip(b"\0"), va, vsize, raw_ptr, raw_size))
    return {
        "pe64": magic == 0x20B,
        "stamp": stamp,
        "entry": entry,
        "characteristics": characteristics,
        "dll": dll_characteristics,
        "directories": directories,
        "sections": section_list,
    }


def file_offset(pe, rva):
    for _, va, vsize, raw_ptr, raw_size in pe["sections"]:
        if va <= rva < va + max(vsize, raw_size):
            return raw_ptr + rva - va
    raise ValueError("address %#x is in no section" % rva)


def resource_types(data, pe):
    """The type ids at the root of the resource directory."""
    if len(pe["directories"]) <= RESOURCE or pe["directories"][RESOURCE][1] == 0:
        return set()
    root = file_offset(pe, pe["directories"][RESOURCE][0])
    named, ids = struct.unpack_from("<HH", data, root + 12)
    types = set()
    for i in range(named + ids):
        entry_id = struct.unpack_from("<I", data, root + 16 + 8 * i)[0]
        if not entry_id & 0x80000000:
            types.add(entry_id)
    return types


def failed_checks(data, limit):
    """(check, message) for every check the file fails."""
    failures = []
    if len(data) > limit:
        failures.append(("size", "%d bytes, %d over the limit of %d" % (len(data), len(data) - limit, limit)))
    pe = read_pe(data)
    if pe["stamp"] != 0:
        failures.append(("timestamp", "link time stamp %#x is not 0" % pe["stamp"]))
    relocs = pe["directories"][BASERELOC][1] if len(pe["directories"]) > BASERELOC else 0
    if not pe["dll"] & DYNAMIC_BASE or relocs == 0 or pe["characteristics"] & RELOCS_STRIPPED:
        failures.append(("aslr", "DYNAMIC_BASE %s, relocation table %d bytes, relocations %s" % (
            "set" if pe["dll"] & DYNAMIC_BASE else "missing", relocs,
            "stripped" if pe["characteristics"] & RELOCS_STRIPPED else "kept")))
    if not pe["dll"] & NX_COMPAT:
        failures.append(("nx", "NX_COMPAT missing"))
    if pe["pe64"] and not pe["dll"] & HIGH_ENTROPY_VA:
        failures.append(("entropy", "HIGH_ENTROPY_VA missing on a 64-bit image"))
    missing = {RT_ICON: "icon", RT_GROUP_ICON: "icon group", RT_VERSION: "version", RT_MANIFEST: "manifest"}
    absent = [name for rt, name in missing.items() if rt not in resource_types(data, pe)]
    if absent:
        failures.append(("resources", "missing: " + ", ".join(absent)))
    if not pe["pe64"]:
        at = file_offset(pe, pe["entry"])
        if ALIGN_ESP_16 not in data[at:at + ENTRY_PROLOGUE]:
            failures.append(("stack", "the entry point (%#x) does not align the stack in its first %d bytes: %s" % (
                pe["entry"], ENTRY_PROLOGUE, data[at:at + ENTRY_PROLOGUE].hex(" "))))
    return failures


def main(argv):
    expect = None
    if argv[:1] == ["--expect-refused"]:
        if len(argv) < 2:
            print(__doc__, file=sys.stderr)
            return 2
        expect, argv = argv[1], argv[2:]
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    path, limit = argv[0], int(argv[1])
    try:
        with open(path, "rb") as f:
            data = f.read()
        failures = failed_checks(data, limit)
    except (OSError, ValueError, struct.error) as e:
        print("%s: %s" % (path, e), file=sys.stderr)
        return 2
    print("%s: %d bytes (limit %d, %d to spare)" % (path, len(data), limit, limit - len(data)))
    for check, message in failures:
        print("  %s: %s" % (check, message))
    if expect is None:
        return 1 if failures else 0
    if expect in [check for check, _ in failures]:
        return 0
    print("expected the %s check to refuse %s" % (expect, path), file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
