#!/usr/bin/env bash
# The test command: installs what is missing, then runs each stage (a tools/test-<stage>.sh of
# its own, which also runs alone) and prints how long it took. Fails if any stage fails; the
# later stages still run. Arguments pick stages: tools/run-tests.sh unit tidy
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests || exit 1
stages=("$@")
[ ${#stages[@]} -gt 0 ] || stages=(unit machines sanitize qt6 fuzz tidy package)
failed=()
for stage in "${stages[@]}"; do
    script="$root/tools/test-$stage.sh"
    if [ ! -f "$script" ]; then
        echo "no stage '$stage' (no tools/test-$stage.sh)"
        exit 2
    fi
    echo "== stage $stage"
    start=$SECONDS
    "$script" || failed+=("$stage")
    echo "== stage $stage: $((SECONDS - start)) s"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "== FAILED stages: ${failed[*]}"
    exit 1
fi
echo "== all stages passed: ${stages[*]} ($SECONDS s)"
