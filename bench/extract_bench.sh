#!/usr/bin/env bash
# Extraction benchmark: an SFX file of the build benchmark's corpus, extracted by sfxhead and,
# in the same run, by a plain inflate-and-write of the same chunks with zlib and with
# libdeflate. Prints throughputs, the ratios, peak memory and the size of sfxhead.exe.
#   bench/extract_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
. bench/common.sh quillet inflate_reference
sfx="$B/extract.exe"
wine $tree/bin/quillet.exe -h -c -o -s -oo -fm "$(winepath -w "$B/corpus")" "$(winepath -w "$sfx")" \
    "$(winepath -w "$B/out-sfx")" >/dev/null 2>&1

declare -A best=([sfx]=999999 [zlib]=999999 [ld]=999999) mem=([sfx]=0 [zlib]=0 [ld]=0)
for i in $(seq "$runs"); do
    # Rotate the order, so no side always follows the same other's writes.
    order=(sfx zlib ld sfx zlib)
    for side in "${order[@]:$(( (i - 1) % 3 )):3}"; do
        rm -rf "$B/out-$side"
        case $side in
        sfx) read -r t m < <(measure wine "$sfx") ;;
        zlib) read -r t m < <(measure wine $tree/bin/inflate_reference.exe "$(winepath -w "$sfx")" "$(winepath -w "$B/out-zlib")") ;;
        ld) read -r t m < <(measure wine $tree/bin/inflate_reference.exe "$(winepath -w "$sfx")" "$(winepath -w "$B/out-ld")" libdeflate) ;;
        esac
        awk "BEGIN{exit !($t < ${best[$side]})}" && best[$side]=$t
        [ "$m" -gt "${mem[$side]}" ] && mem[$side]=$m
    done
done
diff -rq "$B/corpus" "$B/out-sfx" >/dev/null && same=yes || same=NO

stub=$(stat -c %s $tree/bin/sfxhead.exe)
rsrc=$((16#$($([ "$arch" = i686 ] && echo i686 || echo x86_64)-w64-mingw32-objdump -h $tree/bin/sfxhead.exe | awk '$2 == ".rsrc" {print $3}')))
rsrc_file=$(( (rsrc + 511) / 512 * 512 ))
awk -v b="$bytes" -v ts="${best[sfx]}" -v tr="${best[zlib]}" -v tl="${best[ld]}" -v ms="${mem[sfx]}" \
    -v mr="${mem[zlib]}" -v ml="${mem[ld]}" -v big="$largest" \
    -v stub="$stub" -v rs="$rsrc_file" -v same="$same" -v budget="$([ "$arch" = i686 ] && echo "32 KiB for i686" || echo "aim 64 KiB for x86_64")" 'BEGIN {
    mib = 1048576
    printf "corpus: %.1f MiB, largest file %.1f MiB; extracted files identical to the corpus: %s\n", b / mib, big / mib, same
    printf "sfxhead (SFX run):                     %6.2f s  %6.1f MiB/s  peak RSS %.1f MiB\n", ts, b / mib / ts, ms / 1024
    printf "zlib inflate and write directly:       %6.2f s  %6.1f MiB/s  peak RSS %.1f MiB\n", tr, b / mib / tr, mr / 1024
    printf "libdeflate inflate and write directly: %6.2f s  %6.1f MiB/s  peak RSS %.1f MiB\n", tl, b / mib / tl, ml / 1024
    printf "throughput ratio sfxhead / direct zlib: %.3f; sfxhead / direct libdeflate: %.3f\n", tr / ts, tl / ts
    printf "sfxhead.exe: %d bytes, %d without its resource section (%.1f KiB; budget %s)\n", stub, stub - rs, (stub - rs) / 1024, budget
}'
