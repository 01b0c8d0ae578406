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
#        CORE_QT_MAJOR=6 scripts/bench.sh                (against Qt 6, in build-bench-qt6;
#                                                         default: Qt 5, in build-bench)
set -e
cd "$(dirname "$0")/.."

qt=${CORE_QT_MAJOR:-5}
case "$qt" in
    5) build=build-bench ;;
    6) build=build-bench-qt6 ;;
    *) echo "bench.sh: CORE_QT_MAJOR must be 5 or 6" >&2; exit 2 ;;
esac
CORE_QT_MAJOR=$qt sh scripts/install-deps.sh libbenchmark-dev libboost-dev

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORE_BUILD_BENCHMARKS=ON \
      -DCORE_BUILD_TESTS=OFF -DCORE_BUILD_EXAMPLES=OFF -DCORE_QT_MAJOR="$qt" >/dev/null
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
