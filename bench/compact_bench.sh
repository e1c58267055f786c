#!/usr/bin/env bash
# Compact-form benchmark: a real software tree of about 200 MB made from this machine's own files
# (bench/make_software_tree.py), packed natively as the compact payload by the project's writer
# and frame packer on two threads (bench/compact_payload.cpp, linked against zstd's sources in
# .deps), for each candidate frame size, level and window, against 7-Zip's archive of the same
# tree (Debian's 7zip: 7zz a -t7z -mx5 -mmt2) in the same run. Prints each candidate's size and
# build time as ratios to 7-Zip's, the goals (size <= 1.10 x, build >= 1.5 x faster) and whether
# the payload reads back as the tree through the project's reader.
#   bench/compact_bench.sh [runs] [candidates file]
# runs: each side that many times, the best time counts (default 1); candidates: lines of
# "label compact_payload-options" (default: the list below). The machine's other load shows in
# the times: the processor seconds are printed beside them.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-1}
B=build-bench
mkdir -p "$B/native"

# The bench's own set-up: 7-Zip, GNU time, the compilers and zstd's sources.
missing=()
for p in 7zip time g++ gcc binutils-mingw-w64-x86-64; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null ||
        { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null; }
fi
scripts/fetch-libzstd.sh

python3 bench/make_software_tree.py "$B/tree"
files=$(find "$B/tree" -type f | wc -l)
bytes=$(find "$B/tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')

# The measuring tool, natively: zstd's decoder and compressor as the builder compiles them.
Z=.deps/libzstd/lib
tool=$B/native/compact_payload
if [ ! -x "$tool" ] || [ -n "$(find bench/compact_payload.cpp shared -newer "$tool" | head -n 1)" ]; then
    sources=($Z/common/{entropy_common,error_private,fse_decompress,xxhash,zstd_common}.c
             $Z/decompress/{huf_decompress,zstd_ddict,zstd_decompress,zstd_decompress_block}.c)
    for f in $Z/compress/*.c; do [[ $f == *zstdmt_compress.c ]] || sources+=("$f"); done
    here=$PWD
    (cd "$B/native" && printf "$here/%s\n" "${sources[@]}" |
        xargs -P 2 -n 4 gcc -O2 -DZSTD_DISABLE_ASM -DZSTD_LEGACY_SUPPORT=0 -c)
    g++ -std=c++17 -O2 -Wall -Ishared -I$Z bench/compact_payload.cpp shared/u_payload.cpp shared/u_payloadwrite.cpp \
        shared/u_framepack.cpp shared/u_frameunpack.cpp "$B"/native/*.o -lpthread -o "$tool"
fi

candidates=${2:-}
if [ -z "$candidates" ]; then
    candidates=$B/candidates.txt
    cat >"$candidates" <<'EOF'
L19-w25-32M --frame 33554432 --level 19 --window 25
L19-w25-32M-long --frame 33554432 --level 19 --window 25 --long
L18-w25-32M-long --frame 33554432 --level 18 --window 25 --long
L18-w24-16M-long --frame 16777216 --level 18 --window 24 --long
L17-w25-32M-long --frame 33554432 --level 17 --window 25 --long
L16-w25-32M-long --frame 33554432 --level 16 --window 25 --long
L13-w25-32M-long --frame 33554432 --level 13 --window 25 --long
EOF
fi

# Seconds (wall), processor seconds and peak RSS (kB) of one command.
measure() {
    /usr/bin/time -f '%e %U %S %M' -o "$B/time.txt" "$@" >"$B/out.txt" 2>&1 || { cat "$B/out.txt" >&2; return 1; }
    awk '{print $1, $2 + $3, $4}' "$B/time.txt"
}
load_start=$(cut -d' ' -f1 /proc/loadavg)
best7=999999
for i in $(seq "$runs"); do
    rm -f "$B/tree.7z"
    read -r t c m < <(measure 7zz a -t7z -mx5 -mmt2 "$B/tree.7z" "./$B/tree/"*)
    awk "BEGIN{exit !($t < $best7)}" && best7=$t cpu7=$c mem7=$m
done
size7=$(stat -c %s "$B/tree.7z")

printf 'tree: %d files, %.1f MiB; 7zz a -t7z -mx5 -mmt2: %.1f MiB (%.1f %%), %.1f s, %.1f processor s, peak RSS %.0f MiB\n' \
    "$files" "$(echo "$bytes / 1048576" | bc -l)" "$(echo "$size7 / 1048576" | bc -l)" \
    "$(echo "100 * $size7 / $bytes" | bc -l)" "$best7" "$cpu7" "$(echo "$mem7 / 1024" | bc -l)"
printf '%-20s %7s %7s %7s %8s %7s %7s %7s %8s %s\n' candidate MiB "% tree" "x 7z" "build s" "7z/us" "proc s" "7z/us" "RSS MiB" goals
while read -r label args; do
    [ -n "$label" ] || continue
    best=999999
    for i in $(seq "$runs"); do
        # shellcheck disable=SC2086
        read -r t c m < <(measure "$tool" "$B/tree" "$B/compact.bin" --threads 2 --verify $args)
        grep -q verified "$B/out.txt" || { echo "$label: the payload does not read back as the tree" >&2; exit 1; }
        awk "BEGIN{exit !($t < $best)}" && best=$t cpu=$c mem=$m
    done
    size=$(stat -c %s "$B/compact.bin")
    awk -v l="$label" -v s="$size" -v s7="$size7" -v b="$bytes" -v t="$best" -v t7="$best7" -v c="$cpu" \
        -v c7="$cpu7" -v m="$mem" 'BEGIN {
        sr = s / s7; tr = t7 / t
        goals = (sr <= 1.10 ? "size ok" : "size NO") (tr >= 1.5 ? ", speed ok" : ", speed NO")
        printf("%-20s %7.1f %7.1f %7.3f %8.1f %7.2f %7.1f %7.2f %8.0f %s\n", l, s / 1048576, 100 * s / b, sr, t, tr, c,
               c7 / c, m / 1024, goals)
    }'
done <"$candidates"
echo "load average at the start ${load_start}, at the end $(cut -d' ' -f1 /proc/loadavg) (2 cores); 7z/us: 7-Zip's time over ours (wall, then processor)"
