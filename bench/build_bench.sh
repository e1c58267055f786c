#!/usr/bin/env bash
# Build benchmark: the windowless builder against raw zlib on the same corpus, same chunks,
# both under Wine in the same run. Prints throughputs, their ratio and peak memory.
#   bench/build_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target quillet zlib_reference >/dev/null
cmake/testbed.sh build >/dev/null
. build/testbed/env
export LC_ALL=C.UTF-8

B=build/bench
mkdir -p "$B"
python3 bench/make_corpus.py "$B/corpus"
bytes=$(find "$B/corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
largest=$(find "$B/corpus" -type f -printf '%s\n' | sort -n | tail -1)
files=$(find "$B/corpus" -type f | wc -l)
src=$(winepath -w "$B/corpus")
# Two one-file sources, 20 MiB and the whole large file, for the memory comparison.
mkdir -p "$B/one-small" "$B/one-large"
[ -f "$B/one-small/part.dat" ] || head -c 20971520 "$B/corpus/large.dat" >"$B/one-small/part.dat"
ln -f "$B/corpus/large.dat" "$B/one-large/large.dat"

# seconds and peak RSS (kB) of one command
measure() {
    /usr/bin/time -f '%e %M' -o "$B/time.txt" "$@" >/dev/null 2>&1
    cat "$B/time.txt"
}

best_builder=999999 best_ref=999999 mem_builder=0 mem_ref=0
for i in $(seq "$runs"); do
    read -r t m < <(measure wine build/bin/quillet.exe -h -c -o "$src" "$(winepath -w "$B/corpus.exe")")
    awk "BEGIN{exit !($t < $best_builder)}" && best_builder=$t
    [ "$m" -gt "$mem_builder" ] && mem_builder=$m
    read -r t m < <(measure wine build/bin/zlib_reference.exe "$src" "$(winepath -w "$B/reference.z")")
    awk "BEGIN{exit !($t < $best_ref)}" && best_ref=$t
    [ "$m" -gt "$mem_ref" ] && mem_ref=$m
done
read -r _ mem_small < <(measure wine build/bin/quillet.exe -h -c -o "$(winepath -w "$B/one-small")" "$(winepath -w "$B/one-small.exe")")
read -r _ mem_large < <(measure wine build/bin/quillet.exe -h -c -o "$(winepath -w "$B/one-large")" "$(winepath -w "$B/one-large.exe")")
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
