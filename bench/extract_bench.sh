#!/usr/bin/env bash
# Extraction benchmark: an SFX file of the build benchmark's corpus, extracted by sfxhead and,
# in the same run, by a plain inflate-and-write of the same chunks. Prints throughputs,
# their ratio, peak memory and the size of sfxhead.exe.
#   bench/extract_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
. bench/common.sh quillet inflate_reference
sfx="$B/extract.exe"
wine $tree/bin/quillet.exe -h -c -o -s -oo -fm "$(winepath -w "$B/corpus")" "$(winepath -w "$sfx")" \
    "$(winepath -w "$B/out-sfx")" >/dev/null 2>&1

best_sfx=999999 best_ref=999999 mem_sfx=0 mem_ref=0
for i in $(seq "$runs"); do
    rm -rf "$B/out-sfx" "$B/out-ref"
    # Alternate the order, so neither side always follows the other's writes.
    for side in $( [ $((i % 2)) = 1 ] && echo "sfx ref" || echo "ref sfx"); do
        if [ $side = sfx ]; then
            read -r t m < <(measure wine "$sfx")
            awk "BEGIN{exit !($t < $best_sfx)}" && best_sfx=$t
            [ "$m" -gt "$mem_sfx" ] && mem_sfx=$m
        else
            read -r t m < <(measure wine $tree/bin/inflate_reference.exe "$(winepath -w "$sfx")" "$(winepath -w "$B/out-ref")")
            awk "BEGIN{exit !($t < $best_ref)}" && best_ref=$t
            [ "$m" -gt "$mem_ref" ] && mem_ref=$m
        fi
    done
done
diff -rq "$B/corpus" "$B/out-sfx" >/dev/null && same=yes || same=NO

stub=$(stat -c %s $tree/bin/sfxhead.exe)
rsrc=$((16#$($([ "$arch" = i686 ] && echo i686 || echo x86_64)-w64-mingw32-objdump -h $tree/bin/sfxhead.exe | awk '$2 == ".rsrc" {print $3}')))
rsrc_file=$(( (rsrc + 511) / 512 * 512 ))
awk -v b="$bytes" -v ts="$best_sfx" -v tr="$best_ref" -v ms="$mem_sfx" -v mr="$mem_ref" -v big="$largest" \
    -v stub="$stub" -v rs="$rsrc_file" -v same="$same" -v budget="$([ "$arch" = i686 ] && echo "48 KiB for i686" || echo "aim 64 KiB for x86_64")" 'BEGIN {
    mib = 1048576
    printf "corpus: %.1f MiB, largest file %.1f MiB; extracted files identical to the corpus: %s\n", b / mib, big / mib, same
    printf "sfxhead (SFX run):          %6.2f s  %6.1f MiB/s  peak RSS %.1f MiB\n", ts, b / mib / ts, ms / 1024
    printf "inflate and write directly: %6.2f s  %6.1f MiB/s  peak RSS %.1f MiB\n", tr, b / mib / tr, mr / 1024
    printf "throughput ratio sfxhead / direct: %.3f\n", tr / ts
    printf "sfxhead.exe: %d bytes, %d without its resource section (%.1f KiB; budget %s)\n", stub, stub - rs, (stub - rs) / 1024, budget
}'
