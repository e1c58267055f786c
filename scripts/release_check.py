#!/usr/bin/env python3
"""Checks the programs of a release before they are packed:
  - no COFF symbol table and no debug sections (the section names of a PE file that are
    longer than eight characters live in the symbol table's string table, so "/4" stands
    for ".debug_info" and counts as debug too);
  - the builder (the first program) carries the others byte for byte, so they are the
    stripped ones checked here;
  - none of the given folders (checkout, build tree, home) appears in any of them.
  release_check.py BUILDER PROGRAM... -- FOLDER...
"""
import struct
import sys


def sections(data):
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    nsec, _, symptr, nsym, optsize = struct.unpack_from("<HIIIH", data, pe + 6)
    first = pe + 24 + optsize
    names = [data[first + 40 * i:first + 40 * i + 8].rstrip(b"\0").decode("latin-1") for i in range(nsec)]
    return symptr, nsym, names


def main(argv):
    split = argv.index("--")
    programs, folders = argv[1:split], [f for f in argv[split + 1:] if f and f != "/"]
    blobs = {p: open(p, "rb").read() for p in programs}
    bad = []
    for path, data in blobs.items():
        symptr, nsym, names = sections(data)
        if symptr or nsym:
            bad.append(f"{path}: symbol table of {nsym} symbols")
        debug = [n for n in names if n.startswith(".debug") or n.startswith("/")]
        if debug:
            bad.append(f"{path}: debug sections {' '.join(debug)}")
        for f in folders:
            for form in {f, f.rstrip("/")}:
                if form.encode() in data:
                    bad.append(f"{path}: holds the folder {form}")
    builder = blobs[programs[0]]
    for path in programs[1:]:
        if blobs[path] not in builder:
            bad.append(f"{programs[0]}: does not carry {path} as built")
    for b in bad:
        print(f"release: {b}", file=sys.stderr)
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
