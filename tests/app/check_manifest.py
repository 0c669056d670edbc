#!/usr/bin/env python3
"""Checks the extractor's manifest: well-formed XML, awareness of the display's
resolution declared in both elements (the older one, which Windows 7 to 8.1 read, and
the newer one of Windows 10 1607 and later), and embedded verbatim in the program.

  check_manifest.py MANIFEST EXE     exit 0 when every check passes
"""
import sys
import xml.etree.ElementTree as ET

ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
# Element, its namespace and the value it must have.
EXPECTED = [
    ("dpiAware", "http://schemas.microsoft.com/SMI/2005/WindowsSettings", "true/pm"),
    ("dpiAwareness", "http://schemas.microsoft.com/SMI/2016/WindowsSettings", "PerMonitorV2, PerMonitor"),
]


def failures(manifest_bytes, exe_bytes):
    found = []
    try:
        root = ET.fromstring(manifest_bytes)
    except ET.ParseError as e:
        return ["not well-formed: %s" % e]
    settings = root.findall("{%s}application/{%s}windowsSettings" % (ASM_V3, ASM_V3))
    if len(settings) != 1:
        found.append("%d windowsSettings elements under an asm.v3 application, not 1" % len(settings))
    for name, ns, value in EXPECTED:
        elements = [e for s in settings for e in s.findall("{%s}%s" % (ns, name))]
        texts = [(e.text or "").strip() for e in elements]
        if texts != [value]:
            found.append("%s (%s): %s, not [%r]" % (name, ns, texts, value))
    if manifest_bytes not in exe_bytes:
        found.append("the program does not carry this manifest")
    return found


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[0], "rb") as f:
        manifest = f.read()
    with open(argv[1], "rb") as f:
        exe = f.read()
    problems = failures(manifest, exe)
    for p in problems:
        print("%s: %s" % (argv[0], p))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
