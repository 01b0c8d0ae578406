#!/bin/sh
# The library's ABI against the committed baseline: added functions and variables pass, anything
# else that changes the ABI fails.   check-abi.sh ABIDIFF LIBRARY BASELINE SUPPRESSIONS
abidiff=$1; lib=$2; baseline=$3; suppressions=$4
unpacked=$(mktemp) || exit 1
trap 'rm -f "$unpacked"' EXIT
gzip -dc "$baseline" > "$unpacked" || exit 1
"$abidiff" --no-added-syms --no-show-locs --suppressions "$suppressions" "$unpacked" "$lib"
status=$?
if [ "$status" -ne 0 ]; then
    echo "the ABI of $(basename "$lib") differs from $(basename "$baseline") (abidiff status $status);"
    echo "if the change is meant, renew the baseline in the same commit: cmake --build <build> --target abi_baseline"
    exit 1
fi
echo "ABI: $(basename "$lib") matches its baseline (additions allowed)"
