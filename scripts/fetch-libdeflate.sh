#!/usr/bin/env bash
# Fetches the sources of libdeflate (Debian's source package) into .deps/libdeflate, where the
# CMake build finds them (scripts/fetch-source.sh says how).
set -euo pipefail
cd "$(dirname "$0")/.."
exec scripts/fetch-source.sh libdeflate .deps/libdeflate libdeflate.h lib/deflate_decompress.c
