#!/usr/bin/env bash
# Build benchmark: the windowless builder with one packing thread and with all threads against
# raw single-threaded zlib (level 9) and raw single-threaded libdeflate (the builder's level) on
# the same corpus and the same chunks, all under Wine in the same run. Prints throughputs,
# their ratios, the sizes and the peak memory of each.
#   bench/build_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
. bench/common.sh quillet zlib_reference
files=$(find "$B/corpus" -type f | wc -l)
src=$(winepath -w "$B/corpus")
out=$(winepath -w "$B/corpus.exe")
# Two one-file sources, 20 MiB and the whole large file, for the memory comparison.
mkdir -p "$B/one-small" "$B/one-large"
[ -f "$B/one-small/part.dat" ] || head -c 20971520 "$B/corpus/large.dat" >"$B/one-small/part.dat"
ln -f "$B/corpus/large.dat" "$B/one-large/large.dat"
cores=$(nproc)
# Like measure, plus the processor time (user + system seconds) of the run.
measure_cpu() {
    sync
    /usr/bin/time -f '%e %M %U %S' -o "$B/time.txt" "$@" >/dev/null 2>&1 || true
    tail -1 "$B/time.txt" | awk '{print $1, $2, $3 + $4}'
}
load_start=$(cut -d' ' -f1 /proc/loadavg)

declare -A best mem
declare -A cpu
for side in one all ref ld; do best[$side]=999999; mem[$side]=0; cpu[$side]=0; done
for i in $(seq "$runs"); do
    # Rotate the order, so no side always follows the same other side's writes.
    case $((i % 4)) in
        1) order="one all ref ld" ;;
        2) order="ld one all ref" ;;
        3) order="ref ld one all" ;;
        0) order="all ref ld one" ;;
    esac
    for side in $order; do
        case $side in
            one) read -r t m c < <(measure_cpu env QUILLET_THREADS=1 wine $tree/bin/quillet.exe -h -c -o "$src" "$out") ;;
            all) read -r t m c < <(measure_cpu wine $tree/bin/quillet.exe -h -c -o "$src" "$out") ;;
            ref) read -r t m c < <(measure_cpu wine $tree/bin/zlib_reference.exe "$src" "$(winepath -w "$B/reference.z")") ;;
            ld) read -r t m c < <(measure_cpu wine $tree/bin/zlib_reference.exe "$src" "$(winepath -w "$B/reference.ld")" libdeflate:8) ;;
        esac
        awk "BEGIN{exit !($t < ${best[$side]})}" && best[$side]=$t && cpu[$side]=$c
        [ "$m" -gt "${mem[$side]}" ] && mem[$side]=$m
    done
done
# Memory: one file of each size with all threads, and the corpus with 16 threads, the most a
# build ever uses (the 32-bit builder has 2 GiB of address space).
read -r _ mem_small < <(measure wine $tree/bin/quillet.exe -h -c -o "$(winepath -w "$B/one-small")" "$(winepath -w "$B/one-small.exe")")
read -r _ mem_large < <(measure wine $tree/bin/quillet.exe -h -c -o "$(winepath -w "$B/one-large")" "$(winepath -w "$B/one-large.exe")")
read -r _ mem_16 < <(measure env QUILLET_THREADS=16 wine $tree/bin/quillet.exe -h -c -o "$src" "$out")
sfx=$(stat -c %s "$B/corpus.exe")
ref=$(stat -c %s "$B/reference.z")
refld=$(stat -c %s "$B/reference.ld")
awk -v b="$bytes" -v t1="${best[one]}" -v ta="${best[all]}" -v tr="${best[ref]}" -v m1="${mem[one]}" \
    -v ma="${mem[all]}" -v mr="${mem[ref]}" -v ms="$mem_small" -v mlarge="$mem_large" -v m16="$mem_16" \
    -v n="$files" -v big="$largest" -v sfx="$sfx" -v ref="$ref" -v cores="$cores" -v c1="${cpu[one]}" -v ca="${cpu[all]}" -v cr="${cpu[ref]}" \
    -v tl="${best[ld]}" -v ml="${mem[ld]}" -v cl="${cpu[ld]}" -v refld="$refld" \
    -v load="$load_start at the start, $(cut -d' ' -f1 /proc/loadavg) at the end" 'BEGIN {
    mib = 1048576
    printf "corpus: %d files, %.1f MiB, largest file %.1f MiB; %d logical processors, load %s\n", n, b / mib, big / mib, cores, load
    printf "(cores used = processor time / wall time of the best run; other load on the machine lowers it)\n"
    printf "builder, 1 thread:         %6.2f s  %6.1f MiB/s  cores used %.2f  peak RSS %.1f MiB\n", t1, b / mib / t1, c1 / t1, m1 / 1024
    printf "builder, all threads:      %6.2f s  %6.1f MiB/s  cores used %.2f  peak RSS %.1f MiB  SFX file %.1f MiB\n", ta, b / mib / ta, ca / ta, ma / 1024, sfx / mib
    printf "raw zlib (same chunks):    %6.2f s  %6.1f MiB/s  cores used %.2f  peak RSS %.1f MiB  packed   %.1f MiB\n", tr, b / mib / tr, cr / tr, mr / 1024, ref / mib
    printf "raw libdeflate, level 8:   %6.2f s  %6.1f MiB/s  cores used %.2f  peak RSS %.1f MiB  packed   %.1f MiB\n", tl, b / mib / tl, cl / tl, ml / 1024, refld / mib
    printf "throughput ratio all threads / zlib: %.3f; / libdeflate: %.3f\n", tr / ta, tl / ta
    printf "throughput ratio 1 thread / zlib:    %.3f; / libdeflate: %.3f\n", tr / t1, tl / t1
    printf "SFX file / zlib-packed size: %.4f (the SFX file also holds the extractor and the entry headers)\n", sfx / ref
    printf "builder peak RSS, all threads, one file of 20 MiB: %.1f MiB; one file of %.0f MiB: %.1f MiB\n", ms / 1024, big / mib, mlarge / 1024
    printf "builder peak RSS, 16 threads, corpus: %.1f MiB\n", m16 / 1024
}'
