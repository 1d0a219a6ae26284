#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang in build-fuzz/ and runs each from its committed
# corpus (fuzz/corpus/*) for FUZZ_SECONDS (default 60). New inputs go to a temporary folder,
# never into the source tree. Any crash, leak, timeout or memory blow-up fails the stage; the
# input that caused it is kept in build-fuzz/findings/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests
seconds="${FUZZ_SECONDS:-60}"
build="$root/build-fuzz"
(cd "$root" && cmake --preset fuzz >/dev/null)
harnesses=(
    "FuzzParseXml parse fuzz/xml.dict"
    "FuzzReadChecklist read fuzz/xml.dict"
    "FuzzGenerateChecklist generated -"
    "FuzzNumbers numbers -"
    "FuzzBinaryHeader binary -"
)
targets=()
for h in "${harnesses[@]}"; do targets+=("${h%% *}"); done
(cd "$root" && nice -n 10 cmake --build --preset fuzz -j"$(nproc)" --target "${targets[@]}")

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
findings="$build/findings"
mkdir -p "$findings"
failed=0
for h in "${harnesses[@]}"; do
    read -r name corpus dict <<<"$h"
    mkdir -p "$work/$name"
    args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
          -artifact_prefix="$findings/$name-")
    [ "$dict" != - ] && args+=(-dict="$root/$dict")
    log="$work/$name.log"
    # New units go to the first folder (temporary); the committed corpus is only read.
    if nice -n 10 "$build/fuzz/$name" "${args[@]}" "$work/$name" "$root/fuzz/corpus/$corpus" \
        >"$log" 2>&1; then
        status=ok
    else
        status=FAILED
        failed=1
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    echo "fuzz $name: ${runs:-?} executions in ${seconds} s, $(find "$work/$name" -type f | wc -l) new inputs: $status"
    if [ "$status" != ok ]; then
        tail -n 80 "$log"
    fi
done
exit "$failed"
