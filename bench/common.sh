# Shared set-up of the benchmarks: tools, build, test bed, the corpus, and a measurement.
# Sourced by build_bench.sh and extract_bench.sh with the targets they need as arguments.
set -euo pipefail
command -v /usr/bin/time >/dev/null || apt-get install -y -qq time >/dev/null
. scripts/arch.sh
quillet_arches
scripts/setup.sh
# The architecture the tests would use first: i686 where 32-bit code runs, else x86_64.
arch=${QUILLET_ARCHES%% *}
tree=$(quillet_tree "$arch")
echo "architecture measured: $arch"
quillet_configure "$arch"
cmake --build --preset "$(quillet_preset "$arch")" --target "$@" >/dev/null
cmake/testbed.sh "$tree" >/dev/null
. "$tree/testbed/env"
export LC_ALL=C.UTF-8
B=$tree/bench
mkdir -p "$B"
# The corpus, unless the caller brings its own tree (BENCH_CORPUS=0).
if [ "${BENCH_CORPUS:-1}" = 1 ]; then
    python3 bench/make_corpus.py "$B/corpus"
    bytes=$(find "$B/corpus" -type f -printf '%s\n' | awk '{s+=$1} END {print s}')
    largest=$(find "$B/corpus" -type f -printf '%s\n' | sort -n | tail -1)
fi

# Seconds and peak RSS (kB) of one command, started with no dirty pages left from the last one.
measure() {
    sync
    /usr/bin/time -f '%e %M' -o "$B/time.txt" "$@" >/dev/null 2>&1 || true
    tail -1 "$B/time.txt"
}
