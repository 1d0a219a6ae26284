#!/usr/bin/env bash
# The same tree on Qt 6: builds everything with warnings as errors in build-tests-qt6/ and runs
# every test (workflow preset "tests-qt6"), then the same under the sanitizers in
# build-asan-qt6/ ("sanitize-qt6"). Qt 5 stays the default; this stage shows both build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests qt6
cd "$root"
export GTEST_RANDOM_SEED="${GTEST_RANDOM_SEED:-$((RANDOM % 99999 + 1))}"
echo "GoogleTest shuffle seed: $GTEST_RANDOM_SEED"
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
export CTEST_PARALLEL_LEVEL="${CTEST_PARALLEL_LEVEL:-$(nproc)}"
status=0
nice -n 10 cmake --workflow --preset tests-qt6 || status=1
nice -n 10 cmake --workflow --preset sanitize-qt6 || status=1
exit $status
