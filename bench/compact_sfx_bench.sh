#!/usr/bin/env bash
# The compact form end to end: a real software tree of about 200 MB made from this machine's own
# files (bench/make_software_tree.py) built into an SFX file by quillet.exe -z under Wine, against
# 7-Zip's archive of the same tree (Debian's 7zip: 7zz a -t7z -mx5 -mmt2) in the same run; the
# same tree built in the classic form; both SFX files extracted under Wine. Prints the compact
# file's size and build time as ratios to 7-Zip's, its extraction time as a ratio to the classic
# file's, the goals (size <= 1.10 x, build >= 1.5 x faster, extraction no slower), the peak
# memory of builder and extractor, and both extractors' sizes.
#   bench/compact_sfx_bench.sh [runs]      (default 2 runs each, the best time counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-2}
command -v 7zz >/dev/null || apt-get install -y -qq --no-install-recommends 7zip >/dev/null
BENCH_CORPUS=0 . bench/common.sh quillet
B=$(cd "$B" && pwd) tree=$(cd "$tree" && pwd)
python3 bench/make_software_tree.py "$B/tree"
files=$(find "$B/tree" -type f | wc -l)
bytes=$(find "$B/tree" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
src=$(winepath -w "$B/tree")
threads=$(nproc)

# Each side's best time and largest peak RSS over the runs, the sides taking turns in every run
# so that a change in the machine's other load falls on all of them.
declare -A bt bm
record() {
    local t m
    "$2" >/dev/null
    read -r t m < <(tail -1 "$B/time.txt")
    awk "BEGIN{exit !($t < ${bt[$1]:-999999})}" && bt[$1]=$t
    [ "$m" -gt "${bm[$1]:-0}" ] && bm[$1]=$m
    return 0
}
sevenzip() { rm -f "$B/tree.7z"; (cd "$B/tree" && measure 7zz a -t7z -mx5 "-mmt$threads" "$B/tree.7z" ./*); }
# Extract silently into the folder the SFX file is started in.
build() { measure wine $tree/bin/quillet.exe -h -c -o -s -oo -fc $1 "$src" "$(winepath -w "$B/$2.exe")"; }
compact() { build -z compact; }
classic() { build "" classic; }
extract() { rm -rf "$B/out-$1"; mkdir -p "$B/out-$1"; (cd "$B/out-$1" && measure wine "../$1.exe"); }
extract_compact() { extract compact; }
extract_classic() { extract classic; }

load_start=$(cut -d' ' -f1 /proc/loadavg)
for i in $(seq "$runs"); do
    for side in sevenzip compact classic extract_compact extract_classic; do record $side $side; done
done
t7=${bt[sevenzip]} m7=${bm[sevenzip]} tz=${bt[compact]} mz=${bm[compact]} tc=${bt[classic]} mc=${bm[classic]}
xz=${bt[extract_compact]} xmz=${bm[extract_compact]} xc=${bt[extract_classic]} xmc=${bm[extract_classic]}
same=yes
for side in compact classic; do diff -rq "$B/tree" "$B/out-$side" >/dev/null || same=NO; done
s7=$(stat -c %s "$B/tree.7z") sz=$(stat -c %s "$B/compact.exe") sc=$(stat -c %s "$B/classic.exe")

# An extractor's bytes outside its resource section.
objdump=$([ "$arch" = i686 ] && echo i686 || echo x86_64)-w64-mingw32-objdump
code_bytes() {
    local rsrc
    rsrc=$((16#$($objdump -h "$1" | awk '$2 == ".rsrc" {print $3}')))
    echo $(( $(stat -c %s "$1") - (rsrc + 511) / 512 * 512 ))
}
awk -v files="$files" -v b="$bytes" -v s7="$s7" -v sz="$sz" -v sc="$sc" -v t7="$t7" -v tz="$tz" -v tc="$tc" \
    -v xz="$xz" -v xc="$xc" -v m7="$m7" -v mz="$mz" -v mc="$mc" -v xmz="$xmz" -v xmc="$xmc" -v same="$same" \
    -v th="$threads" -v hc="$(code_bytes $tree/bin/sfxhead.exe)" -v hz="$(code_bytes $tree/bin/sfxhead_compact.exe)" 'BEGIN {
    mib = 1048576
    printf "tree: %d files, %.1f MiB; both SFX files extract to it exactly: %s\n", files, b / mib, same
    printf "%-34s %8s %7s %8s %8s\n", "", "MiB", "% tree", "s", "RSS MiB"
    printf "%-34s %8.1f %7.1f %8.1f %8.0f\n", "7zz a -t7z -mx5 -mmt" th, s7 / mib, 100 * s7 / b, t7, m7 / 1024
    printf "%-34s %8.1f %7.1f %8.1f %8.0f\n", "quillet.exe -z (compact)", sz / mib, 100 * sz / b, tz, mz / 1024
    printf "%-34s %8.1f %7.1f %8.1f %8.0f\n", "quillet.exe (classic)", sc / mib, 100 * sc / b, tc, mc / 1024
    printf "%-34s %8s %7s %8.1f %8.0f\n", "extraction, compact SFX file", "", "", xz, xmz / 1024
    printf "%-34s %8s %7s %8.1f %8.0f\n", "extraction, classic SFX file", "", "", xc, xmc / 1024
    printf "size: compact / 7-Zip %.3f (goal <= 1.10: %s); classic / 7-Zip %.3f\n", sz / s7, (sz / s7 <= 1.10 ? "met" : "NOT met"), sc / s7
    printf "build speed: 7-Zip time / compact time %.2f (goal >= 1.5: %s)\n", t7 / tz, (t7 / tz >= 1.5 ? "met" : "NOT met")
    printf "extraction: classic time / compact time %.2f (goal >= 1: %s)\n", xc / xz, (xc / xz >= 1 ? "met" : "NOT met")
    printf "extractors without their resource section: classic %d bytes (%.1f KiB), compact %d bytes (%.1f KiB)\n", hc, hc / 1024, hz, hz / 1024
}'
echo "load average at the start ${load_start}, at the end $(cut -d' ' -f1 /proc/loadavg) ($threads cores); architecture $arch"
