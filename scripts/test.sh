#!/usr/bin/env bash
# Sets everything up on a Debian machine and runs the whole test suite under Wine, for every
# architecture this machine can run (both where 32-bit code runs, x86_64 alone elsewhere;
# QUILLET_ARCH=i686|x86_64 chooses one). Both architectures are always built, so a build
# fault of the product shows even where its tests cannot run (there the programs alone are built,
# beside the rest, and count as one more test). The tests of the label "once"
# (the file of more than 2 GiB, the release of every tested architecture) run once per suite, in the
# first tree tested, not in every tree; those of the label "heavy" (a build of 4 GiB refused)
# only by hand (ctest --preset windows-x64 -L heavy). Then, once, the native fuzz targets run for
# QUILLET_FUZZ_SECONDS each (default 30) with their regression inputs (scripts/fuzz.sh); they
# count as one more test. Each run's time is printed and repeated in the summary.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/arch.sh
quillet_arches
scripts/setup.sh

# An architecture that is built but not tested here builds its programs (the builder and the
# three it carries; its test programs could not run) beside the others' builds and tests, at a
# lower priority, so that they keep their pace; its result counts at the end.
# The test beds of a tested tree (Wine prefixes booted, mostly waiting on the disk) are prepared
# beside its build.
background=() background_logs=() summary=()
declare -A testbed=()
for arch in i686 x86_64; do
    preset=$(quillet_preset $arch)
    if [[ " $QUILLET_ARCHES " == *" $arch "* ]]; then
        quillet_configure "$arch"
        log=$(mktemp)
        cmake/testbed.sh "$(quillet_tree "$arch")" >"$log" 2>&1 &
        testbed[$arch]="$!:$log"
        echo "== building $arch (cmake --preset $preset)"
        start=$(date +%s)
        cmake --build --preset "$preset"
        echo "== $arch built: $(($(date +%s) - start)) s"
        summary+=("$arch: built in $(($(date +%s) - start)) s")
    else
        log=$(mktemp)
        echo "== building $arch's programs beside the rest, not tested here (cmake --preset $preset --target quillet; log $log)"
        { quillet_configure "$arch" && nice -n 10 cmake --build --preset "$preset" --target quillet; } >"$log" 2>&1 &
        background+=("$arch:$!") background_logs+=("$log")
    fi
done

passed=0 failed=0 ran=()
# ctest_run ARCH WHAT CTEST-ARGS...: one ctest run in ARCH's tree, counted and timed.
ctest_run() {
    local arch=$1 what=$2 tree log rc=0 p f start seconds
    shift 2
    tree=$(quillet_tree "$arch")
    echo "== testing $arch under Wine ($tree): $what"
    if [ -n "${testbed[$arch]:-}" ]; then
        wait "${testbed[$arch]%%:*}" || cat "${testbed[$arch]#*:}"
        rm -f "${testbed[$arch]#*:}"
        unset "testbed[$arch]"
    fi
    cmake/testbed.sh "$tree"
    log=$(mktemp)
    start=$(date +%s)
    ctest --preset "$(quillet_preset "$arch")" "$@" 2>&1 | tee "$log" || rc=$?
    seconds=$(($(date +%s) - start))
    cmake/testbed.sh "$tree" stop >/dev/null 2>&1 || true
    # ctest's own count: "100% tests passed, 0 tests failed out of 26"
    if grep -q "No tests were found" "$log"; then
        p=0 f=0 rc=0
    else
        read -r p f < <(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2 \1/p' "$log" |
                        awk '{print $1 - $2, $2}' | tail -n 1) || { p=0; f=1; }
    fi
    rm -f "$log"
    [ "$rc" -eq 0 ] || [ "${f:-0}" -gt 0 ] || f=1
    passed=$((passed + ${p:-0})) failed=$((failed + ${f:-0}))
    echo "== $arch, $what: $seconds s"
    summary+=("$arch, $what: ${p:-0} passed, ${f:-0} failed, $seconds s")
}

for arch in $QUILLET_ARCHES; do
    ctest_run "$arch" "the suite" -LE "once|heavy" "$@"
    ran+=("$arch")
done
first=${ran[0]}
QUILLET_RELEASE_ARCHES="${ran[*]}" ctest_run "$first" "once per suite (label once)" -L once "$@"

# Native, so once whatever the architectures: the pure units under libFuzzer and the sanitizers.
fuzz_seconds=${QUILLET_FUZZ_SECONDS:-30}
echo "== native fuzzing: scripts/fuzz.sh $fuzz_seconds"
if scripts/fuzz.sh "$fuzz_seconds"; then
    passed=$((passed + 1))
    summary+=("fuzz: 1 passed, 0 failed (fuzz_payload, fuzz_cmdline: $fuzz_seconds s each and the regression inputs)")
else
    failed=$((failed + 1))
    summary+=("fuzz: 0 passed, 1 failed (scripts/fuzz.sh $fuzz_seconds; the input is printed above)")
fi

for i in "${!background[@]}"; do
    arch=${background[$i]%%:*} pid=${background[$i]#*:} log=${background_logs[$i]}
    if wait "$pid"; then
        passed=$((passed + 1))
        summary+=("$arch: built (not tested here): 1 passed, 0 failed")
    else
        failed=$((failed + 1))
        grep -E 'error|Error' "$log" | head -n 20 || tail -n 20 "$log"
        summary+=("$arch: the build FAILED: 0 passed, 1 failed (its log above)")
    fi
    rm -f "$log"
done

echo "== architectures tested: ${ran[*]}$([ "$QUILLET_RUNS_32BIT" = 1 ] || echo " (this machine cannot run 32-bit code: i686 built, not run)")"
for line in "${summary[@]}"; do echo "   $line"; done
echo "tests: $passed passed, $failed failed ($SECONDS s in all, set-up and builds included)"
[ "$failed" -eq 0 ]
