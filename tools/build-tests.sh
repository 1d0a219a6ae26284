#!/usr/bin/env bash
# Configures and builds everything with warnings as errors in build-tests/ (preset "tests",
# incremental).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests
cd "$root"
cmake --preset tests >/dev/null
nice -n 10 cmake --build --preset tests -j"$(nproc)"
