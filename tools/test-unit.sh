#!/usr/bin/env bash
# Builds everything with warnings as errors in build-tests/ and runs every test (CTest, preset
# "tests"): each test program whole with its cases shuffled, and each case on its own. The
# shuffle's seed is printed; GTEST_RANDOM_SEED=<seed> tools/test-unit.sh repeats an order.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-tests.sh"
cd "$root"
export GTEST_RANDOM_SEED="${GTEST_RANDOM_SEED:-$((RANDOM % 99999 + 1))}"
echo "GoogleTest shuffle seed: $GTEST_RANDOM_SEED"
ctest --preset tests -j"$(nproc)"
