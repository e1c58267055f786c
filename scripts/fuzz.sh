#!/usr/bin/env bash
# Native fuzzing of the pure units (fuzz/): builds every target with clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer into build-fuzz/, replays the inputs of
# fuzz/regressions/TARGET/, then runs each target for SECONDS (default 60) on a scratch copy of its
# seeds (fuzz/corpus/TARGET/). New inputs stay in the scratch folder; only build-fuzz/ is written.
# Exits non-zero on a finding, after printing the input that caused it (its path under
# build-fuzz/findings/, a hex dump and base64). Needs what scripts/setup.sh installs.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: scripts/fuzz.sh [SECONDS]   (seconds per target, default 60)" >&2
    exit 2
fi
build=build-fuzz
findings=$build/findings
targets=(fuzz_payload fuzz_cmdline)

# Per target: the longest input (a payload of a few entries; the longest command line Windows
# passes, in UTF-8), the largest single allocation and the memory in all.
options() {
    case "$1" in
    fuzz_payload) echo "-max_len=16384 -malloc_limit_mb=16 -rss_limit_mb=2048" ;;
    fuzz_cmdline) echo "-max_len=32768 -malloc_limit_mb=64 -rss_limit_mb=2048" ;;
    esac
}
common="-timeout=10 -print_final_stats=1"
# Reports with function names and lines: the sanitizers look for the symbolizer of llvm-14.
symbolizer=/usr/lib/llvm-14/bin/llvm-symbolizer
[ -x "$symbolizer" ] && export ASAN_SYMBOLIZER_PATH=$symbolizer UBSAN_SYMBOLIZER_PATH=$symbolizer

work=$(mktemp -d "${TMPDIR:-/tmp}/quillet-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "== building the fuzz targets into $build/ (clang, libFuzzer, ASan, UBSan)"
. scripts/arch.sh
quillet_ninja_tree "$build"
if ! { cmake -S fuzz -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ &&
       nice cmake --build "$build" -j 2; } >"$work/build.log" 2>&1; then
    grep -E 'error|Error' "$work/build.log" | head -n 20 >&2 || tail -n 20 "$work/build.log" >&2
    echo "fuzz: the build failed" >&2
    exit 1
fi
rm -rf "$findings"
mkdir -p "$findings"

# The input of a finding, so that it can be read from the log alone.
show() {
    local file=$1 size
    size=$(stat -c %s "$file")
    echo "input: $file ($size bytes)"
    od -A x -t x1z -v "$file" | head -n 64
    [ "$size" -le 1024 ] || echo "... (hex dump cut at 1024 bytes)"
    echo "base64:"
    base64 -w 76 "$file"
}

# The payload seeds are the seed generator's output; stale ones would test an old format.
mkdir "$work/seeds"
"$build/make_seeds" "$work/seeds"
if ! diff -rq "$work/seeds" fuzz/corpus/fuzz_payload >/dev/null; then
    echo "fuzz: fuzz/corpus/fuzz_payload is not what make_seeds writes now; refresh it with" >&2
    echo "      $build/make_seeds fuzz/corpus/fuzz_payload" >&2
    exit 1
fi

status=0
# Every regression input once, each on its own, so that a failure names its input.
for target in "${targets[@]}"; do
    exe=$build/$target
    replayed=0
    for input in fuzz/regressions/"$target"/*; do
        [ -f "$input" ] || continue
        if ! timeout -k 5 60 "$exe" $(options "$target") $common "$input" >"$work/replay.log" 2>&1; then
            grep -E -m 5 'property does not hold|ERROR|SUMMARY' "$work/replay.log" >&2 ||
                tail -n 20 "$work/replay.log" >&2
            echo "fuzz: $target fails on a regression input" >&2
            show "$input" >&2
            status=1
        fi
        replayed=$((replayed + 1))
    done
    echo "$replayed" >"$work/replayed-$target"
done

# The targets fuzz side by side (as many at once as there are processors), each for the whole time.
fuzz_one() {
    local target=$1 rc=0 corpus=$work/corpus-$1
    mkdir "$corpus"
    cp fuzz/corpus/"$target"/* "$corpus"/
    timeout -k 10 $((seconds + 120)) nice -n 10 "$build/$target" $(options "$target") $common \
        -max_total_time="$seconds" -artifact_prefix="$findings/$target-" "$corpus" >"$build/$target.log" 2>&1 || rc=$?
    echo "$rc" >"$work/rc-$target"
}
running=0
for target in "${targets[@]}"; do
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    fuzz_one "$target" &
    running=$((running + 1))
done
wait

for target in "${targets[@]}"; do
    log=$build/$target.log
    rc=$(cat "$work/rc-$target")
    replayed=$(cat "$work/replayed-$target")
    # "#1234 DONE cov: 462 ft: 1405 corp: 210/535Kb ... exec/s: 42133 rss: 421Mb"
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    cov=$(sed -n 's/.* cov: \([0-9]*\) ft: \([0-9]*\) .*/cov \1, ft \2/p' <<<"$done_line")
    if [ "$rc" -eq 0 ] && [ -n "$done_line" ]; then
        echo "$target: ${runs:-?} runs in $seconds s (${rate:-?} exec/s), ${cov:-no coverage line}," \
             "$replayed regression inputs"
        continue
    fi
    status=1
    echo "$target: FAILED (exit code $rc) after ${runs:-?} runs; log: $log" >&2
    grep -E -m 8 'property does not hold|ERROR|SUMMARY|runtime error' "$log" >&2 || tail -n 20 "$log" >&2
    found=0
    for artifact in "$findings/$target"-*; do
        [ -f "$artifact" ] || continue
        show "$artifact" >&2
        found=1
    done
    [ "$found" = 1 ] || echo "fuzz: $target left no input behind (see the log)" >&2
done
exit "$status"
