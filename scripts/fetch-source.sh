#!/usr/bin/env bash
# Fetches the upstream sources of a Debian source package with Debian's own tools
# (`apt-get source`) and unpacks them into a folder of .deps/, where the CMake build finds them:
#   scripts/fetch-source.sh PACKAGE DEST FILE...
# Nothing happens when every FILE (relative to DEST) is there already. apt runs with a private
# configuration in a temporary folder: source entries derived from the machine's own entries (the
# same repositories, type deb-src), its own package lists and cache. The machine's apt
# configuration and state stay as they were, so no root is needed.
# A mirror may list a version it does not serve (a security update whose .dsc answers 404): then
# every other version that `apt-cache showsrc` lists is tried, newest first. Says in one line what
# failed, and exits non-zero, when the sources cannot be had.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -ge 3 ] || { echo "usage: scripts/fetch-source.sh PACKAGE DEST FILE..." >&2; exit 2; }
package=$1 dest=$2
shift 2
have=1
for f in "$@"; do [ -f "$dest/$f" ] || have=0; done
[ "$have" = 1 ] && exit 0

fail() { echo "setup: the source package $package cannot be had: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt downloads as its sandbox user (_apt) when run as root: it must reach these folders.
chmod 755 "$work"
mkdir -p "$work/etc/sources.list.d" "$work/etc/preferences.d" "$work/lists/partial" \
         "$work/cache/archives/partial" "$work/src"
if [ "$(id -u)" -eq 0 ] && id _apt >/dev/null 2>&1; then
    chown _apt "$work/lists/partial" "$work/cache/archives/partial" "$work/src"
fi

# deb822 files: each enabled stanza whose types include deb or deb-src, as deb-src;
# one-line files: each "deb" or "deb-src" line as "deb-src". Duplicates dropped.
python3 - "$work/etc/sources.list.d/quillet-src.sources" "$work/etc/sources.list" <<'PY'
import glob, re, sys
stanzas, lines = [], []
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    for stanza in re.split(r"\n\s*\n", open(path, encoding="utf-8").read()):
        fields = [f for f in stanza.strip("\n").splitlines() if not f.lstrip().startswith("#")]
        types = [f for f in fields if f.lower().startswith("types:")]
        enabled = [f for f in fields if f.lower().startswith("enabled:")]
        if not types or not {"deb", "deb-src"} & set(types[0].split()[1:]):
            continue
        if enabled and "no" in enabled[0].lower():
            continue
        s = "\n".join("Types: deb-src" if f in types else f for f in fields)
        if s not in stanzas:
            stanzas.append(s)
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        for line in open(path, encoding="utf-8"):
            if re.match(r"\s*deb(-src)?\s", line):
                l = re.sub(r"^\s*deb(-src)?\s", "deb-src ", line, count=1).rstrip("\n")
                if l not in lines:
                    lines.append(l)
    except FileNotFoundError:
        pass
open(sys.argv[1], "w").write("\n\n".join(stanzas) + "\n" if stanzas else "")
open(sys.argv[2], "w").write("\n".join(lines) + "\n" if lines else "")
PY
[ -s "$work/etc/sources.list.d/quillet-src.sources" ] || [ -s "$work/etc/sources.list" ] ||
    fail "the machine's apt has no repository entries to derive source entries from"

apt_private=(-o "Dir::Etc::SourceList=$work/etc/sources.list"
             -o "Dir::Etc::SourceParts=$work/etc/sources.list.d"
             -o "Dir::Etc::PreferencesParts=$work/etc/preferences.d"
             -o "Dir::State::Lists=$work/lists"
             -o "Dir::Cache=$work/cache")
apt-get "${apt_private[@]}" update -qq >"$work/log" 2>&1 ||
    fail "apt-get update: $(grep -m 1 '^E:' "$work/log" || tail -n 1 "$work/log")"

# The newest version first, as apt chooses it; then the others the lists name, newest first.
get() { (cd "$work/src" && apt-get "${apt_private[@]}" source --download-only -qq "$1" >"$work/log" 2>&1); }
if ! get "$package"; then
    first=$(grep -m 1 '^E:' "$work/log" || tail -n 1 "$work/log")
    versions=$(apt-cache "${apt_private[@]}" showsrc "$package" 2>/dev/null |
               sed -n "/^Package: $package\$/,/^\$/s/^Version: //p" | sort -u -r -V)
    got=0
    for v in $versions; do
        rm -rf "${work:?}/src/"*
        if get "$package=$v"; then
            echo "setup: $package: the newest version cannot be had ($first); took $v"
            got=1
            break
        fi
    done
    [ "$got" = 1 ] || fail "apt-get source: $first (tried: ${versions//$'\n'/ })"
fi
orig=$(ls "$work/src/${package}_"*.orig.tar.* 2>/dev/null | head -n 1)
[ -n "$orig" ] || fail "no upstream tarball among $(ls "$work/src" | tr '\n' ' ')"
mkdir -p "$work/x"
tar -xf "$orig" -C "$work/x" || fail "cannot unpack $(basename "$orig")"
# The tarball's one top folder (its name differs between packages: zstd-1.5.4, libdeflate-1.14).
src=$(find "$work/x" -mindepth 1 -maxdepth 1 -type d | head -n 1)
for f in "$@"; do [ -f "$src/$f" ] || fail "$(basename "$orig") holds no $f"; done
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$src" "$dest"
echo "setup: $package $(basename "$orig" | sed "s/${package}_\(.*\)\.orig.*/\1/") sources in $dest"
