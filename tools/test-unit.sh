#!/usr/bin/env bash
# Builds everything with warnings as errors in build-tests/ and runs every test (CTest).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-tests.sh"
cd "$root/build-tests"
ctest --output-on-failure -j"$(nproc)"
