#!/usr/bin/env bash
# Sets everything up on a Debian machine and runs the whole test suite under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake/testbed.sh build
trap 'cmake/testbed.sh build stop >/dev/null 2>&1 || true' EXIT
ctest --preset windows "$@"
