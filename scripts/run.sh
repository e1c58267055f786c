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
rm -rf build/demo/unpacked
src=$(winepath -w examples/hello)
target=$(winepath -w build/demo/hello.exe)
unpacked=$(winepath -w build/demo)\\unpacked
echo "1. Packing examples/hello with the windowless builder (extract into a custom folder):"
echo "   quillet.exe -h -c -o -fm $src $target $unpacked"
set +e
wine build/bin/quillet.exe -h -c -o -fm "$src" "$target" "$unpacked"
code=$?
set -e
echo "   quillet.exe ended with exit code $code"
[ $code -eq 0 ] || exit $code
head=$(stat -c %s build/bin/sfxhead.exe)
size=$(stat -c %s build/demo/hello.exe)
echo "   wrote build/demo/hello.exe: $size bytes = the extractor ($head bytes) + settings record"
echo "   and compressed entries ($((size - head)) bytes)"
echo "2. Running the SFX file:"
set +e
wine build/demo/hello.exe
code=$?
set -e
echo "   hello.exe ended with exit code $code"
echo "3. What it unpacked into build/demo/unpacked, against the source:"
(cd build/demo/unpacked && find . -type f -printf '   %P (%s bytes)\n' | sort)
if diff -r examples/hello build/demo/unpacked >/dev/null; then
    echo "   identical to examples/hello"
else
    echo "   DIFFERENT from examples/hello"
    exit 1
fi
