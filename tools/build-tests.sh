#!/usr/bin/env bash
# Configures and builds everything with warnings as errors in build-tests/ (incremental).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
cmake -S "$root" -B "$root/build-tests" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLORIN_WERROR=ON -DVELLORIN_BUILD_TESTS=ON -DVELLORIN_BUILD_BENCH=ON >/dev/null
nice -n 10 cmake --build "$root/build-tests" -j"$(nproc)"
