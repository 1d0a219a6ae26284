#!/usr/bin/env bash
# Builds everything with warnings as errors in build-tests/ and runs every test program (CTest,
# preset "tests") whole, its cases shuffled, in a temporary folder only its owner may enter
# (TMPDIR, mode 0700), as a machine with private temporary folders has. A failed program's cases
# are then run one by one to name the failing one. The shuffle's seed is printed;
# GTEST_RANDOM_SEED=<seed> tools/test-unit.sh repeats an order.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-tests.sh"
export GTEST_RANDOM_SEED="${GTEST_RANDOM_SEED:-$((RANDOM % 99999 + 1))}"
echo "GoogleTest shuffle seed: $GTEST_RANDOM_SEED"
private="$(mktemp -d)"
trap 'rm -rf "$private"' EXIT
chmod 700 "$private"
TMPDIR="$private" "$root/tools/run-ctest.sh" tests
