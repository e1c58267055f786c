#!/usr/bin/env bash
# Installs what Quillet needs on a Debian machine: the i686 mingw-w64 cross compiler,
# static zlib for it, GoogleTest's sources, CMake, 32-bit Wine, Xvfb and fonts.
# Safe to run again: it only installs what is missing.
set -euo pipefail

need=(g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686 libz-mingw-w64-dev
      googletest cmake make wine wine32:i386 xvfb xauth x11-apps x11-utils imagemagick
      fonts-nanum locales python3 osslsigncode openssl)

missing=()
for p in "${need[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
