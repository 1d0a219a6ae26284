#!/usr/bin/env bash
# The same tree on Qt 6, built once: with warnings as errors and under AddressSanitizer,
# LeakSanitizer and UndefinedBehaviorSanitizer in build-asan-qt6/ (preset "sanitize-qt6"), and
# every test run there. One build serves both proofs: that the tree builds and passes on Qt 6,
# and that no memory or undefined-behaviour fault shows with Qt 6's toolkit under it. Qt 5 stays
# the default; its unsanitized build is the unit stage's.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests qt6
cd "$root"
export GTEST_RANDOM_SEED="${GTEST_RANDOM_SEED:-$((RANDOM % 99999 + 1))}"
echo "GoogleTest shuffle seed: $GTEST_RANDOM_SEED"
cmake --preset sanitize-qt6 >/dev/null
nice -n 10 cmake --build --preset sanitize-qt6 -j"$(nproc)"
"$root/tools/run-ctest.sh" sanitize-qt6
