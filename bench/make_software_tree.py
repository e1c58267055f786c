#!/usr/bin/env python3
"""Makes a real software tree of about 200 MB from this machine's own files, for the compact-form
benchmark: Wine's 64-bit Windows DLLs and programs stripped with the mingw strip, fonts,
translation catalogues (.mo), package documentation and icons.

   bench/make_software_tree.py FOLDER

Each source gives its regular files (links left out) in byte order of their paths, in their own
folders, as long as they fit its budget. The same files in the same places every run on one
machine; nothing is made again once FOLDER.complete exists.
"""
import os
import shutil
import subprocess
import sys

MIB = 1 << 20
SOURCES = [  # (from, to, budget, strip)
    ("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows", "programs", 130 * MIB, True),
    ("/usr/share/fonts", "fonts", 30 * MIB, False),
    ("/usr/share/locale", "locale", 22 * MIB, False),
    ("/usr/share/doc", "doc", 14 * MIB, False),
    ("/usr/share/icons", "icons", 8 * MIB, False),
]

root = sys.argv[1]
if os.path.exists(root + ".complete"):
    sys.exit(0)
shutil.rmtree(root, ignore_errors=True)
for source, to, budget, strip in SOURCES:
    files = []
    for folder, _, names in os.walk(source):
        for n in names:
            p = os.path.join(folder, n)
            if os.path.isfile(p) and not os.path.islink(p):
                files.append(p)
    total = 0
    for f in sorted(files, key=os.fsencode):
        size = os.path.getsize(f)
        if total + size > budget:
            continue
        out = os.path.join(root, to, os.path.relpath(f, source))
        os.makedirs(os.path.dirname(out), exist_ok=True)
        if not strip or subprocess.run(["x86_64-w64-mingw32-strip", "-o", out, f],
                                       stderr=subprocess.DEVNULL).returncode != 0:
            shutil.copyfile(f, out)
        total += os.path.getsize(out)
open(root + ".complete", "w").close()
