#!/usr/bin/env bash
# Large-file benchmark: one file of 2.4 GB (sparse in the source: data at its start, across the
# 2 GiB mark and at its end, zeros between), packed into an SFX file of the extended form and
# extracted by sfxhead; in the same run, the same 2.4 GB written by a plain copy (dd, natively),
# the reference for what the disk allows. Prints both throughputs and their ratio.
#   bench/large_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
. bench/common.sh quillet
size=2400000123
L=$B/large
rm -rf "$L"
mkdir -p "$L/src"
python3 - "$L/src/disk.img" "$size" <<'PY'
import os, random, sys
path, size = sys.argv[1], int(sys.argv[2])
r = random.Random(7)
with open(path, "wb") as f:
    f.truncate(size)
    for at, n in ((0, 1 << 20), ((1 << 31) - 700000, 1500000), (size - 90000, 90000)):
        f.seek(at)
        f.write(r.randbytes(n))
PY
sfx="$L/large.exe"
wine $tree/bin/quillet.exe -h -c -o -s -oo -fm "$(winepath -w "$L/src")" "$(winepath -w "$sfx")" \
    "$(winepath -w "$L/out-sfx")" >/dev/null 2>&1
declare -A best=([sfx]=999999 [copy]=999999)
for i in $(seq "$runs"); do
    for side in sfx copy; do
        rm -rf "$L/out-$side"
        case $side in
        sfx) read -r t m < <(measure wine "$sfx") ;;
        copy) mkdir -p "$L/out-copy"
              read -r t m < <(measure dd if="$L/src/disk.img" of="$L/out-copy/disk.img" bs=16M) ;;
        esac
        awk "BEGIN{exit !($t < ${best[$side]})}" && best[$side]=$t
    done
done
cmp -s "$L/src/disk.img" "$L/out-sfx/disk.img" && same=yes || same=NO
awk -v b="$size" -v ts="${best[sfx]}" -v tc="${best[copy]}" -v same="$same" -v sfxsize="$(stat -c %s "$sfx")" 'BEGIN {
    mib = 1048576
    printf "file: %.1f MiB (SFX file %.1f MiB); extracted file identical: %s\n", b / mib, sfxsize / mib, same
    printf "sfxhead (SFX run):        %6.2f s  %6.1f MiB/s\n", ts, b / mib / ts
    printf "plain copy (dd):          %6.2f s  %6.1f MiB/s\n", tc, b / mib / tc
    printf "throughput ratio sfxhead / plain copy: %.3f\n", tc / ts
}'
rm -rf "$L"
