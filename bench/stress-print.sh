#!/usr/bin/env bash
# Prints sample checklists of many items (lists of 100, as BenchOpen's) to a PDF, each in a
# process of its own under an address-space limit of 2 GiB (prlimit --as), and tells for each
# the time, the pages, the PDF's size and the peak memory; a run that aborts is reported so.
#
#   bench/stress-print.sh [--qt6] [ITEMS...]        (default: 100000 1000000)
#
# --qt6 measures the Qt 6 build (build-bench-qt6/) instead of the Qt 5 one (build-bench/). It
# builds the Release benchmark build when needed. 1,000,000 items take some minutes.
set -euo pipefail

cd "$(dirname "$0")/.."
preset=bench
if [ "${1:-}" = "--qt6" ]; then
    preset=bench-qt6
    shift
fi
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(100000 1000000)

build=build-$preset
if [ ! -x "$build/bench/BenchPrint" ]; then
    cmake --preset $preset >/dev/null
    nice -n 10 cmake --build --preset $preset -j2 --target BenchPrint >/dev/null
fi
export QT_QPA_PLATFORM=offscreen
# The PDF goes to memory where possible.
parent=/tmp
[ -d /dev/shm ] && parent=/dev/shm
dir=$(mktemp -d "$parent/vellorin-stress-print-XXXXXX")
trap 'rm -rf "$dir"' EXIT

for items in "${counts[@]}"; do
    status=0
    prlimit --as=$((2 * 1024 * 1024 * 1024)) timeout 3600 \
        "$build/bench/BenchPrint" --one "$items" "$dir/print.pdf" 2>"$dir/stderr" || status=$?
    if [ $status -ne 0 ]; then
        echo "$items items: ABORTED (exit status $status): $(grep -v '^QStandardPaths' "$dir/stderr" | tail -n 1)"
    fi
    rm -f "$dir/print.pdf"
done
