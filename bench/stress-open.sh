#!/usr/bin/env bash
# Opens adversarial and very large checklist files the way the window does, one process each,
# and prints per file: its size, the loader's memory estimate, the real peak memory of each step
# (read with the DOM check / ParseXML / RebuildTree / first paint) above the memory before the
# Open, the times, and whether it loaded or why it was refused.
#
#   bench/stress-open.sh [--qt6] [--as-limit] [SHAPE|/PATH...]
#   bench/stress-open.sh [--qt6] --costs
#
# --qt6 measures the Qt 6 build (build-bench-qt6/) instead of the Qt 5 one (build-bench/).
# --as-limit runs every case under an address-space limit of 2 GiB (prlimit --as); a case that
# aborts is reported as such. --costs prints the table of costs instead: every construct in
# every context where the DOM check can meet it, with what the estimate charges per unit and
# what the peak of the read (the DOM check included) grows by per unit. Without arguments every shape runs (StressOpen shapes lists them),
# then /dev/zero, /dev/urandom and /proc/self/pagemap; an argument starting with / is a file or
# device opened as it is. Several cases need close to 2 GB of memory and minutes of time: this is not
# for CI. It builds the Release benchmark build in build-bench/ when needed (an ASan build
# cannot run under an address-space limit).
set -euo pipefail

cd "$(dirname "$0")/.."
limit=()
preset=bench
costs=false
while [ $# -gt 0 ]; do
    case "$1" in
    --qt6) preset=bench-qt6 ;;
    --as-limit) limit=(prlimit --as=$((2 * 1024 * 1024 * 1024))) ;;
    --costs) costs=true ;;
    *) break ;;
    esac
    shift
done

build=build-$preset
if [ ! -x "$build/bench/StressOpen" ]; then
    cmake --preset $preset >/dev/null
    nice -n 10 cmake --build --preset $preset -j2 --target StressOpen >/dev/null
fi
helper="$PWD/$build/bench/StressOpen"
export QT_QPA_PLATFORM=offscreen
# The generated files live in memory where possible.
parent=/tmp
[ -d /dev/shm ] && parent=/dev/shm
dir=$(mktemp -d "$parent/vellorin-stress-XXXXXX")
trap 'rm -rf "$dir"' EXIT

if $costs; then
    echo "| Construct, context | Units | Charged per unit | Peak per unit | Ratio | Estimate MiB | Peak MiB | Ratio | Verdict |"
    echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
    for shape in $("$helper" shapes calibration); do
        timeout 600 "$helper" calibrate "$shape" "$dir" || echo "| \`$shape\` | ABORTED (exit status $?) |"
    done
    exit 0
fi

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
