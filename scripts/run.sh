#!/usr/bin/env bash
# Sets everything up on a Debian machine, builds, and runs the builder under Wine (on the
# test bed's virtual display).
# It uses the product's architecture, i686, where this machine runs 32-bit code and x86_64
# elsewhere (QUILLET_ARCH=i686|x86_64 chooses), and says which.
#   scripts/run.sh            demo: packs examples/hello into build/demo/hello.exe
#                             (build-x64/demo/hello.exe for x86_64)
#   scripts/run.sh ARGS...    quillet.exe with these arguments
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/arch.sh
quillet_arches
scripts/setup.sh
arch=${QUILLET_ARCHES%% *}
tree=$(quillet_tree "$arch")
echo "architecture: $arch (the programs of $tree/bin under $([ $arch = i686 ] && echo 32 || echo 64)-bit Wine)"
quillet_configure "$arch"
cmake --build --preset "$(quillet_preset "$arch")" >/dev/null
cmake/testbed.sh "$tree" >/dev/null
. "$tree/testbed/env"
export LC_ALL="${LC_ALL:-C.UTF-8}"

if [ $# -gt 0 ]; then
    echo "running: quillet.exe $*"
    set +e
    wine $tree/bin/quillet.exe "$@"
    code=$?
    echo "quillet.exe ended with exit code $code"
    exit $code
fi

mkdir -p $tree/demo
rm -rf $tree/demo/unpacked
src=$(winepath -w examples/hello)
target=$(winepath -w $tree/demo/hello.exe)
unpacked=$(winepath -w $tree/demo)\\unpacked
echo "1. Packing examples/hello with the windowless builder (extract into a custom folder):"
echo "   quillet.exe -h -c -o -fm $src $target $unpacked"
set +e
wine $tree/bin/quillet.exe -h -c -o -fm "$src" "$target" "$unpacked"
code=$?
set -e
echo "   quillet.exe ended with exit code $code"
[ $code -eq 0 ] || exit $code
head=$(stat -c %s $tree/bin/sfxhead.exe)
size=$(stat -c %s $tree/demo/hello.exe)
echo "   wrote $tree/demo/hello.exe: $size bytes = the extractor ($head bytes) + settings record"
echo "   and compressed entries ($((size - head)) bytes)"
echo "2. Running the SFX file:"
set +e
wine $tree/demo/hello.exe
code=$?
set -e
echo "   hello.exe ended with exit code $code"
echo "3. What it unpacked into $tree/demo/unpacked, against the source:"
(cd $tree/demo/unpacked && find . -type f -printf '   %P (%s bytes)\n' | sort)
if diff -r examples/hello $tree/demo/unpacked >/dev/null; then
    echo "   identical to examples/hello"
else
    echo "   DIFFERENT from examples/hello"
    exit 1
fi
