#!/usr/bin/env bash
# Sets everything up on a Debian machine, builds, and runs the builder under Wine
# (on the test bed's virtual display) with the arguments given.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
cmake/testbed.sh build >/dev/null
. build/testbed/env
export LC_ALL="${LC_ALL:-C.UTF-8}"
if [ $# -eq 0 ]; then
    echo "usage: scripts/run.sh [quillet.exe switches] <source> <target> ..."
    tr -d '\r' <resources/cmdline.txt
    exit 0
fi
echo "running: quillet.exe $*"
set +e
wine build/bin/quillet.exe "$@"
code=$?
echo "quillet.exe ended with exit code $code"
exit $code
