#!/usr/bin/env bash
# Builds everything with warnings as errors in build-tests/ and runs every test (CTest, preset
# "tests"): each test program whole with its cases shuffled, and each case on its own.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-tests.sh"
cd "$root"
ctest --preset tests -j"$(nproc)"
