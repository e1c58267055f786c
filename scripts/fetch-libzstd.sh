#!/usr/bin/env bash
# Fetches the sources of zstd (Debian's source package libzstd) into .deps/libzstd, where the
# CMake build finds them (scripts/fetch-source.sh says how, the fallback to an older version
# included).
set -euo pipefail
cd "$(dirname "$0")/.."
exec scripts/fetch-source.sh libzstd .deps/libzstd lib/zstd.h lib/decompress/zstd_decompress.c LICENSE
