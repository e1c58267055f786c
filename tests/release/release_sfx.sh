#!/usr/bin/env bash
# The quillet.exe of the release zip (written by reproducible.sh) under Wine: it packs a
# folder into an SFX file without its window, and that SFX file unpacks the same tree, byte
# for byte. The zip's name, the builder's version information and both guides carry the
# one version of the project.
#   release_sfx.sh BUILD_DIR VERSION
set -euo pipefail
B=$(cd "$1" && pwd)
version=$2
W="$B/release-check"
R="$W/run"
# The zip of this tree's architecture, which this tree's Wine runs.
zip=$(ls "$W"/one/dist/quillet-*-"$([ "$(cat "$B/quillet-arch")" = i686 ] && echo win32 || echo win64)".zip 2>/dev/null | head -n 1)
[ -n "$zip" ] || { echo "FAIL: no release zip in $W/one/dist (release_reproducible writes it)"; exit 1; }
case "$(basename "$zip")" in
"quillet-$version-win32.zip" | "quillet-$version-win64.zip") ;;
*) echo "FAIL: $(basename "$zip") is not named after version $version"; exit 1 ;;
esac
rm -rf "$R"
mkdir -p "$R/release"
python3 -m zipfile -e "$zip" "$R/release"
python3 - "$R/release" "$version" <<'PY'
import re, sys
folder, version = sys.argv[1], sys.argv[2]
exe = open(f"{folder}/quillet.exe", "rb").read()
for key in ("FileVersion", "ProductVersion"):
    # A version string's key is padded to 32 bits before its value.
    u = lambda t: re.escape(t.encode("utf-16-le"))
    if not re.search(u(key + "\0") + b"(\0\0)?" + u(version + "\0"), exe):
        sys.exit(f"FAIL: quillet.exe has no {key} {version}")
for guide in ("guide-en.html", "guide-ko.html"):
    if f"Quillet {version}" not in open(f"{folder}/{guide}", encoding="utf-8").read():
        sys.exit(f"FAIL: {guide} does not name version {version}")
PY

# A tree with sub-folders, an empty file, a name with blanks and a file of two chunks.
src="$R/source"
mkdir -p "$src/sub/deeper" "$src/empty folder"
printf 'hello\r\n' >"$src/readme.txt"
: >"$src/sub/empty.bin"
head -c 100000 /dev/urandom >"$src/sub/deeper/random part.bin"
python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(256)) * 45000)' >"$src/sub/large.bin"

. "$B/testbed/env"
export LC_ALL=C.UTF-8
target="$(winepath -w "$R")\\packed.exe"
unpacked="$(winepath -w "$R")\\unpacked"
rc=0
timeout 120 wine "$R/release/quillet.exe" -h -c -o -fm "$(winepath -w "$src")" "$target" "$unpacked" || rc=$?
[ $rc -eq 0 ] || { echo "FAIL: quillet.exe ended with $rc"; exit 1; }
[ -f "$R/packed.exe" ] || { echo "FAIL: quillet.exe wrote no SFX file"; exit 1; }
rc=0
timeout 120 wine "$R/packed.exe" || rc=$?
[ $rc -eq 0 ] || { echo "FAIL: the SFX file ended with $rc"; exit 1; }
if ! diff -r "$src" "$R/unpacked"; then
    echo "FAIL: the SFX file unpacked a different tree"
    exit 1
fi
echo "$(basename "$zip"): its quillet.exe built $(stat -c %s "$R/packed.exe") bytes that unpacked the same tree"
