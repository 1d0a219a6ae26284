#!/usr/bin/env bash
# Builds with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer in build-asan/
# (preset "sanitize") and runs every test there; any sanitizer report ends its test with a
# failure. The test preset sets the sanitizers' options, with the toolkit's exit-time
# allocations suppressed (tests/lsan.supp).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests
cd "$root"
cmake --preset sanitize >/dev/null
nice -n 10 cmake --build --preset sanitize -j"$(nproc)"
"$root/tools/run-ctest.sh" sanitize
