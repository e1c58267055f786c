#!/usr/bin/env bash
# Installs what Quillet needs on a Debian machine: the mingw-w64 cross compilers for i686 and
# x86_64, static zlib for both, GoogleTest's sources, CMake, Wine (64-bit always, 32-bit where
# the kernel runs 32-bit code), Xvfb and fonts, and clang with libFuzzer and llvm's symbolizer for
# the native fuzz targets. Safe to run again: it only installs what is missing. Ends with one line saying which architectures this machine tests.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/arch.sh
quillet_arches

need=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
      g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 libz-mingw-w64-dev
      googletest cmake make ninja-build wine wine64 xvfb xauth x11-apps x11-utils imagemagick
      fonts-nanum locales python3 python3-markdown dpkg-dev osslsigncode openssl
      clang libclang-rt-14-dev llvm-14)
# 32-bit Wine only where it can start: elsewhere its loader fails with "Exec format error".
[ "$QUILLET_RUNS_32BIT" = 1 ] && need+=(wine32:i386)

missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    fail() { echo "setup: $1: $(grep -m 1 '^E:' "$log" || tail -n 1 "$log")" >&2; exit 1; }
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386 >"$log" 2>&1 || fail "cannot add the i386 architecture"
    fi
    export DEBIAN_FRONTEND=noninteractive
    # A mirror in the middle of a sync fails one index now and then: try again, and if one
    # index still fails, go on with the lists that did come; the install says what is missing.
    updated=0
    for attempt in 1 2 3; do
        if $SUDO apt-get update -qq >"$log" 2>&1; then updated=1; break; fi
        sleep $((attempt * 5))
    done
    [ "$updated" = 1 ] ||
        echo "setup: apt-get update was incomplete, going on: $(grep -m 1 '^E:' "$log" || tail -n 1 "$log")" >&2
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >"$log" 2>&1 ||
        fail "installing ${missing[*]} failed"
fi

# libdeflate and zstd come as Debian's source packages: their sources, unpacked into .deps/, are
# compiled by the CMake build for each Windows architecture.
scripts/fetch-libdeflate.sh
scripts/fetch-libzstd.sh

if [ "$QUILLET_RUNS_32BIT" = 1 ]; then
    echo "setup: this machine runs 32-bit code; architectures to test: ${QUILLET_ARCHES// /, }"
else
    echo "setup: this machine cannot run 32-bit code; architectures to test: ${QUILLET_ARCHES// /, } (i686 is built, not run)"
fi
