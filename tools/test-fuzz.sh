#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz/ (Qt 5) and build-fuzz-qt6/ (the
# harnesses that hold Open's checks to the DOM check, again against Qt 6's) and runs each from
# its committed corpus (fuzz/corpus/*) for FUZZ_SECONDS (default 60), as many at a time as the
# machine has cores. New inputs go to a temporary folder, never into the source tree. Any crash,
# leak, timeout or memory blow-up fails the stage; the input that caused it is kept in the build
# folder's findings/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests qt6
seconds="${FUZZ_SECONDS:-60}"
# preset harness corpus dictionary share-of-the-time
# The numbers and the binary headers are small grammars: both harnesses reach every edge they
# ever reach within their first thousand runs (313 and 157) and run over a million times in
# 30 s, so they take half the time each, one after the other on the core the seventh harness
# would otherwise leave idle.
harnesses=(
    "fuzz FuzzParseXml parse fuzz/xml.dict 1"
    "fuzz FuzzReadChecklist read fuzz/xml.dict 1"
    "fuzz FuzzGenerateChecklist generated - 1"
    "fuzz-qt6 FuzzReadChecklist read fuzz/xml.dict 1"
    "fuzz-qt6 FuzzGenerateChecklist generated - 1"
    "fuzz FuzzNumbers numbers - 2"
    "fuzz FuzzBinaryHeader binary - 2"
)
for preset in fuzz fuzz-qt6; do
    targets=()
    for h in "${harnesses[@]}"; do
        read -r p name _ <<<"$h"
        [ "$p" = "$preset" ] && targets+=("$name")
    done
    (cd "$root" && cmake --preset "$preset" >/dev/null &&
        nice -n 10 cmake --build --preset "$preset" -j"$(nproc)" --target "${targets[@]}")
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# fuzz <preset> <harness> <corpus> <dictionary> <divisor>: one harness for FUZZ_SECONDS divided
# by <divisor>; its verdict goes to $work/<preset>-<harness>.status.
fuzz() {
    local preset="$1" name="$2" corpus="$3" dict="$4" time=$((seconds / $5))
    [ "$time" -gt 0 ] || time=1 # libFuzzer reads 0 as no limit
    local build="$root/build-$preset"
    local findings="$build/findings"
    mkdir -p "$findings" "$work/$preset-$name"
    local args=(-max_total_time="$time" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                -artifact_prefix="$findings/$name-")
    [ "$dict" != - ] && args+=(-dict="$root/$dict")
    # New units go to the first folder (temporary); the committed corpus is only read.
    if nice -n 10 "$build/fuzz/$name" "${args[@]}" "$work/$preset-$name" \
        "$root/fuzz/corpus/$corpus" >"$work/$preset-$name.log" 2>&1; then
        echo ok >"$work/$preset-$name.status"
    else
        echo FAILED >"$work/$preset-$name.status"
    fi
}
# As many harnesses at a time as the machine has cores, each on one.
running=0
for h in "${harnesses[@]}"; do
    read -r preset name corpus dict divisor <<<"$h"
    if [ "$running" -ge "$(nproc)" ]; then
        wait -n || true
        running=$((running - 1))
    fi
    fuzz "$preset" "$name" "$corpus" "$dict" "$divisor" &
    running=$((running + 1))
done
wait
failed=0
for h in "${harnesses[@]}"; do
    read -r preset name _ _ divisor <<<"$h"
    status="$(cat "$work/$preset-$name.status" 2>/dev/null || echo FAILED)"
    log="$work/$preset-$name.log"
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    echo "$preset $name: ${runs:-?} executions in $((seconds / divisor)) s," \
        "$(find "$work/$preset-$name" -type f | wc -l) new inputs: $status"
    if [ "$status" != ok ]; then
        failed=1
        tail -n 80 "$log"
    fi
done
exit "$failed"
