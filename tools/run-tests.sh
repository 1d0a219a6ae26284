#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors, and runs every test.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
cmake -S "$root" -B "$root/build-tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLORIN_WERROR=ON -DVELLORIN_BUILD_TESTS=ON -DVELLORIN_BUILD_BENCH=ON >/dev/null
cmake --build "$root/build-tests" -j"$(nproc)"
cd "$root/build-tests"
ctest --output-on-failure -j"$(nproc)"
