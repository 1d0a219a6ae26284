#!/usr/bin/env bash
# Opens adversarial and very large checklist files the way the window does, one process each,
# and prints per file: its size, the loader's memory estimate, the real peak memory of each step
# (read with the DOM check / ParseXML / RebuildTree / first paint) above the memory before the
# Open, the times, and whether it loaded or why it was refused.
#
#   bench/stress-open.sh [--as-limit] [SHAPE|/PATH...]
#
# --as-limit runs every case under an address-space limit of 2 GiB (prlimit --as); a case that
# aborts is reported as such. Without arguments every shape runs (StressOpen shapes lists them),
# then /dev/zero, /dev/urandom and /proc/self/pagemap; an argument starting with / is a file or
# device opened as it is. Several cases need close to 2 GB of memory and minutes of time: this is not
# for CI. It builds the Release benchmark build in build-bench/ when needed (an ASan build
# cannot run under an address-space limit).
set -euo pipefail

cd "$(dirname "$0")/.."
limit=()
if [ "${1:-}" = "--as-limit" ]; then
    limit=(prlimit --as=$((2 * 1024 * 1024 * 1024)))
    shift
fi

build=build-bench
if [ ! -x "$build/bench/StressOpen" ]; then
    cmake --preset bench >/dev/null
    nice -n 10 cmake --build --preset bench -j2 --target StressOpen >/dev/null
fi
helper="$PWD/$build/bench/StressOpen"
export QT_QPA_PLATFORM=offscreen
# The generated files live in memory where possible.
parent=/tmp
[ -d /dev/shm ] && parent=/dev/shm
dir=$(mktemp -d "$parent/vellorin-stress-XXXXXX")
trap 'rm -rf "$dir"' EXIT

if [ $# -gt 0 ]; then
    cases=("$@")
else
    mapfile -t cases < <("$helper" shapes)
    cases+=(/dev/zero /dev/urandom /proc/self/pagemap)
fi

open() { # file label
    local status=0
    # The subshell takes the shell's own note of a process killed by a signal.
    ("${limit[@]}" timeout 300 "$helper" open "$1" "$2" 2>"$dir/stderr" || exit $?) 2>/dev/null ||
        status=$?
    if [ $status -ne 0 ]; then
        printf '%-27s ABORTED (exit status %d): %s\n' "$2" "$status" \
            "$(grep -v '^QStandardPaths' "$dir/stderr" | tail -n 1)"
    fi
}

"$helper" header
for case in "${cases[@]}"; do
    if [[ $case == /* ]]; then # an existing file or device, opened as it is
        open "$case" "$case"
        continue
    fi
    file="$dir/$case.xml"
    "$helper" make "$case" "$file"
    open "$file" "$case"
    rm -f "$file"
done
