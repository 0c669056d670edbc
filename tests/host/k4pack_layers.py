#!/usr/bin/env python3
"""The packer's folders are layers: a file includes only from its own folder and the folders
below it, never upwards or sideways, so no two folders include each other.

    k4pack_layers.py TOOLS_K4PACK_DIR   checks the tree; exit status 1 with the offending includes
    k4pack_layers.py --self-check       the check seen refusing: a small tree where pe/ includes pack/

An include is resolved as the compiler resolves it: the including file's folder first, then
the packer's top folder; names found in neither (format/, the standard library) are below
every folder."""
import os
import re
import sys
import tempfile

# Higher includes lower; equal ranks (cabinet, pe) stand side by side and include neither.
RANK = {"cli": 4, "inspect": 3, "pack": 2, "cabinet": 1, "pe": 1, "": 0}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def offences(root):
    found = []
    for folder, _, files in os.walk(root):
        here = os.path.relpath(folder, root).replace(os.sep, "/")
        here = "" if here == "." else here
        for name in sorted(files):
            if not name.endswith((".cpp", ".h")):
                continue
            source = os.path.join(folder, name)
            if here not in RANK:
                found.append("%s: a folder of no layer (add it to RANK)" % source)
                continue
            with open(source, encoding="utf-8", errors="replace") as text:
                for line in text:
                    match = INCLUDE.match(line)
                    if not match:
                        continue
                    for base in (folder, root):
                        target = os.path.normpath(os.path.join(base, match.group(1)))
                        if os.path.isfile(target):
                            break
                    else:
                        continue
                    there = os.path.relpath(os.path.dirname(target), root).replace(os.sep, "/")
                    there = "" if there == "." else there
                    if there != here and RANK.get(there, 99) >= RANK[here]:
                        found.append("%s includes %s: %s is not below %s" %
                                     (source, match.group(1), there or "the top", here or "the top"))
    return found


def self_check():
    with tempfile.TemporaryDirectory() as root:
        for path, text in {"pe/A.h": '#include "pack/B.h"\n', "pack/B.h": '#include "pe/A.h"\n',
                           "Bytes.h": ""}.items():
            os.makedirs(os.path.dirname(os.path.join(root, path)) or root, exist_ok=True)
            with open(os.path.join(root, path), "w") as out:
                out.write(text)
        found = [line.replace(root + os.sep, "") for line in offences(root)]
    if len(found) != 1 or not found[0].startswith("pe/A.h includes pack/B.h"):
        print("the check did not refuse pe/ including pack/: %s" % found)
        return 1
    print("refused as expected: %s" % found[0])
    return 0


def main(argv):
    if argv == ["--self-check"]:
        return self_check()
    if len(argv) != 1:
        print(__doc__)
        return 2
    found = offences(argv[0])
    for line in found:
        print(line)
    print("%s: %s" % (argv[0], "%d includes against the layers" % len(found) if found else "layers hold, no circles"))
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
