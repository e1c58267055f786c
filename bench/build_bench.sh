#!/usr/bin/env bash
# Build benchmark: the windowless builder against raw zlib on the same corpus, same chunks,
# both under Wine in the same run. Prints throughputs, their ratio and peak memory.
#   bench/build_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
. bench/common.sh quillet zlib_reference
files=$(find "$B/corpus" -type f | wc -l)
src=$(winepath -w "$B/corpus")
# Two one-file sources, 20 MiB and the whole large file, for the memory comparison.
mkdir -p "$B/one-small" "$B/one-large"
[ -f "$B/one-small/part.dat" ] || head -c 20971520 "$B/corpus/large.dat" >"$B/one-small/part.dat"
ln -f "$B/corpus/large.dat" "$B/one-large/large.dat"

best_builder=999999 best_ref=999999 mem_builder=0 mem_ref=0
for i in $(seq "$runs"); do
    # Alternate the order, so neither side always follows the other's writes.
    for side in $( [ $((i % 2)) = 1 ] && echo "builder ref" || echo "ref builder"); do
        if [ $side = builder ]; then
            read -r t m < <(measure wine $tree/bin/quillet.exe -h -c -o "$src" "$(winepath -w "$B/corpus.exe")")
            awk "BEGIN{exit !($t < $best_builder)}" && best_builder=$t
            [ "$m" -gt "$mem_builder" ] && mem_builder=$m
        else
            read -r t m < <(measure wine $tree/bin/zlib_reference.exe "$src" "$(winepath -w "$B/reference.z")")
            awk "BEGIN{exit !($t < $best_ref)}" && best_ref=$t
            [ "$m" -gt "$mem_ref" ] && mem_ref=$m
        fi
    done
done
read -r _ mem_small < <(measure wine $tree/bin/quillet.exe -h -c -o "$(winepath -w "$B/one-small")" "$(winepath -w "$B/one-small.exe")")
read -r _ mem_large < <(measure wine $tree/bin/quillet.exe -h -c -o "$(winepath -w "$B/one-large")" "$(winepath -w "$B/one-large.exe")")
sfx=$(stat -c %s "$B/corpus.exe")
ref=$(stat -c %s "$B/reference.z")
awk -v b="$bytes" -v tb="$best_builder" -v tr="$best_ref" -v mb="$mem_builder" -v mr="$mem_ref" \
    -v ms="$mem_small" -v ml="$mem_large" -v n="$files" -v big="$largest" -v sfx="$sfx" -v ref="$ref" 'BEGIN {
    mib = 1048576
    printf "corpus: %d files, %.1f MiB, largest file %.1f MiB\n", n, b / mib, big / mib
    printf "builder (quillet.exe -h):  %6.2f s  %6.1f MiB/s  SFX file %.1f MiB  peak RSS %.1f MiB\n", tb, b / mib / tb, sfx / mib, mb / 1024
    printf "raw zlib (same chunks):    %6.2f s  %6.1f MiB/s  packed   %.1f MiB  peak RSS %.1f MiB\n", tr, b / mib / tr, ref / mib, mr / 1024
    printf "throughput ratio builder / zlib: %.3f\n", tr / tb
    printf "peak memory builder - zlib reference: %+.1f MiB\n", (mb - mr) / 1024
    printf "builder peak RSS, one file of 20 MiB: %.1f MiB; one file of %.0f MiB: %.1f MiB\n", ms / 1024, big / mib, ml / 1024
}'
