#!/usr/bin/env bash
# Sets everything up on a Debian machine, builds, and runs the builder under Wine (on the
# test bed's virtual display).
#   scripts/run.sh            demo: packs examples/hello into build/demo/hello.exe
#   scripts/run.sh ARGS...    quillet.exe with these arguments
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows >/dev/null
cmake/testbed.sh build >/dev/null
. build/testbed/env
export LC_ALL="${LC_ALL:-C.UTF-8}"

if [ $# -gt 0 ]; then
    echo "running: quillet.exe $*"
    set +e
    wine build/bin/quillet.exe "$@"
    code=$?
    echo "quillet.exe ended with exit code $code"
    exit $code
fi

mkdir -p build/demo
src=$(winepath -w examples/hello)
target=$(winepath -w build/demo/hello.exe)
echo "Packing examples/hello with the windowless builder:"
echo "  quillet.exe -h -c -o $src $target"
set +e
wine build/bin/quillet.exe -h -c -o "$src" "$target"
code=$?
set -e
echo "quillet.exe ended with exit code $code"
[ $code -eq 0 ] || exit $code
echo "Source folder:"
(cd examples/hello && find . -type f -printf '  %P (%s bytes)\n' | sort)
head=$(stat -c %s build/bin/sfxhead.exe)
size=$(stat -c %s build/demo/hello.exe)
echo "Wrote build/demo/hello.exe: $size bytes = the extractor ($head bytes) + settings record and"
echo "compressed entries ($((size - head)) bytes)."
