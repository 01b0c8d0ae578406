#!/bin/sh
# Builds every benchmark program (optimised, with debug information for profilers) in build-bench
# and runs them one after the other. Each figure is the median of three repetitions; each program
# prints its table, then the ratios of the library's figures to their alternatives measured in the
# same run, with the goals they are held to.
#
# Usage: scripts/bench.sh [Google Benchmark options...]
#   e.g. scripts/bench.sh --benchmark_filter=crc16      (options go to every program)
#        scripts/bench.sh --benchmark_repetitions=1     (faster, noisier)
#        JOBS=1 scripts/bench.sh                         (build parallelism; default: all cores)
set -e
cd "$(dirname "$0")/.."

sh scripts/install-deps.sh libbenchmark-dev libboost-dev

build=build-bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_BUILD_BENCHMARKS=ON \
      -DCORE_BUILD_TESTS=OFF -DCORE_BUILD_EXAMPLES=OFF >/dev/null
cmake --build "$build" --target benchmarks -j "${JOBS:-$(nproc)}"

# Profile::instance() may show message boxes; they need no screen.
export QT_QPA_PLATFORM=offscreen
status=0
while read -r program; do
    [ -n "$program" ] || continue
    echo
    echo "=== $(basename "$program")"
    "$program" --benchmark_repetitions=3 --benchmark_display_aggregates_only=true "$@" \
        || status=1
done < "$build/bench/benchmarks.txt"
exit $status
