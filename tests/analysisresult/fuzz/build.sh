#!/bin/sh
# Builds the libFuzzer target for ClotCurve::fromBuffer with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) in a build directory of its own.
#
#   tests/analysisresult/fuzz/build.sh [build-dir]
#   mkdir -p /tmp/curve-corpus
#   <build-dir>/tests/analysisresult/fuzz_frombuffer -max_len=512 -max_total_time=300 \
#       /tmp/curve-corpus tests/analysisresult/fuzz/corpus
#
# Worthwhile new inputs go into fuzz/corpus (small files; tst_clotcurve replays every one).
# Needs clang and libclang-rt-14-dev (apt-get install clang libclang-rt-14-dev).
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
build=${1:-$root/build-analysisresult-fuzz}

if ! command -v clang++ >/dev/null 2>&1; then
    echo "clang++ not found: apt-get install clang libclang-rt-14-dev" >&2
    exit 1
fi

cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug -DCORE_SANITIZE=ON -DCORE_BUILD_EXAMPLES=OFF
cmake --build "$build" --target fuzz_frombuffer -j2
echo "$build/tests/analysisresult/fuzz_frombuffer"
