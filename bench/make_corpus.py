#!/usr/bin/env python3
"""Writes the benchmark corpus: about 250 MB of mixed files in the folder given.

text (compressible prose), binaries (Wine's own DLLs), already-compressed data,
one file above 100 MB, and many small files. Deterministic: the same bytes every run.
"""
import glob
import os
import random
import sys
import zlib

root = sys.argv[1]
marker = root.rstrip("/") + ".complete"
if os.path.exists(marker):
    sys.exit(0)
rng = random.Random(20261208)
os.makedirs(root, exist_ok=True)

words = ("quillet folder archive extract chunk window registry manifest icon version "
         "setup install program temporary desktop document silent instance delete").split()

def text(n):
    out, size = [], 0
    while size < n:
        line = " ".join(rng.choice(words) for _ in range(rng.randint(5, 14))) + "\r\n"
        out.append(line)
        size += len(line)
    return "".join(out).encode()[:n]

def write(rel, data):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)

# Text: 8 files of 5 MB.
for i in range(8):
    write(f"text/book{i}.txt", text(5 << 20))
# Binaries: Wine's DLLs, up to 60 MB.
total = 0
for path in sorted(glob.glob("/usr/lib/i386-linux-gnu/wine/i386-windows/*.dll")):
    data = open(path, "rb").read()
    write("bin/" + os.path.basename(path), data)
    total += len(data)
    if total > 60 << 20:
        break
# Already compressed: 30 MB of deflated text and random bytes.
write("packed/data.z", zlib.compress(text(60 << 20), 9)[: 15 << 20])
write("packed/noise.bin", rng.randbytes(15 << 20))
# One large file of 110 MB: text, binary-like and random stretches.
with open(os.path.join(root, "large.dat"), "wb") as f:
    for i in range(22):
        kind = i % 3
        f.write(text(5 << 20) if kind == 0 else rng.randbytes(5 << 20) if kind == 1 else bytes(range(256)) * (5 << 12))
# Many small files: 3000 of 1 to 8 KB.
for i in range(3000):
    write(f"small/{i // 100:02d}/f{i:04d}.txt", text(rng.randint(1024, 8192)))
open(marker, "w").close()
