#!/usr/bin/env bash
# Fetches the sources of libdeflate with Debian's own tools (`apt-get source`) and unpacks
# them into .deps/libdeflate, where the CMake build finds them. When the machine's apt has no
# source entries, they are derived from its binary entries: the same repositories, type
# deb-src. Says in one line what failed, and exits non-zero, when the sources cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
dest=.deps/libdeflate
[ -f "$dest/libdeflate.h" ] && [ -f "$dest/lib/deflate_decompress.c" ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
fail() { echo "setup: the source package libdeflate cannot be had: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! apt-cache showsrc libdeflate 2>/dev/null | grep -q '^Package: libdeflate'; then
    # deb822 files: each stanza whose types include deb, again as deb-src; one-line files:
    # each "deb" line as "deb-src".
    python3 - "$work/quillet-src.sources" "$work/quillet-src.list" <<'PY'
import glob, re, sys
stanzas, lines = [], []
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for stanza in re.split(r"\n\s*\n", open(path, encoding="utf-8").read()):
        fields = stanza.strip("\n").splitlines()
        types = [f for f in fields if f.lower().startswith("types:")]
        enabled = [f for f in fields if f.lower().startswith("enabled:")]
        if not types or "deb" not in types[0].split()[1:] or (enabled and "no" in enabled[0].lower()):
            continue
        stanzas.append("\n".join("Types: deb-src" if f in types else f for f in fields))
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        for line in open(path, encoding="utf-8"):
            if re.match(r"\s*deb\s", line):
                lines.append(re.sub(r"^\s*deb\s", "deb-src ", line, count=1).rstrip("\n"))
    except FileNotFoundError:
        pass
open(sys.argv[1], "w").write("\n\n".join(stanzas) + "\n" if stanzas else "")
open(sys.argv[2], "w").write("\n".join(lines) + "\n" if lines else "")
PY
    [ -s "$work/quillet-src.sources" ] || [ -s "$work/quillet-src.list" ] ||
        fail "the machine's apt has no repository entries to derive source entries from"
    for f in quillet-src.sources quillet-src.list; do
        [ -s "$work/$f" ] && $SUDO cp "$work/$f" "/etc/apt/sources.list.d/$f"
    done
    $SUDO apt-get update -qq >"$work/log" 2>&1 || fail "apt-get update: $(grep -m 1 '^E:' "$work/log" || tail -n 1 "$work/log")"
fi

(cd "$work" && apt-get source --download-only -qq libdeflate >"$work/log" 2>&1) ||
    fail "apt-get source: $(grep -m 1 '^E:' "$work/log" || tail -n 1 "$work/log")"
orig=$(ls "$work"/libdeflate_*.orig.tar.* 2>/dev/null | head -n 1)
[ -n "$orig" ] || fail "no upstream tarball among $(ls "$work" | tr '\n' ' ')"
mkdir -p "$work/x"
tar -xf "$orig" -C "$work/x" || fail "cannot unpack $(basename "$orig")"
src=$(ls -d "$work"/x/libdeflate-* | head -n 1)
[ -f "$src/libdeflate.h" ] || fail "$(basename "$orig") holds no libdeflate.h"
mkdir -p .deps
rm -rf "$dest"
mv "$src" "$dest"
echo "setup: libdeflate $(basename "$orig" | sed 's/libdeflate_\(.*\)\.orig.*/\1/') sources in $dest"
