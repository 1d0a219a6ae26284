#!/usr/bin/env bash
# Builds with AddressSanitizer, LeakSanitizer and UndefinedBehaviorSanitizer in build-asan/ and
# runs every test there; any sanitizer report ends its test with a failure.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh"
build="$root/build-asan"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLORIN_SANITIZE=ON \
    -DVELLORIN_WERROR=ON -DVELLORIN_BUILD_TESTS=ON >/dev/null
nice -n 10 cmake --build "$build" -j"$(nproc)"
# The tests add LSAN_OPTIONS with the toolkit's suppressions (tests/lsan.supp).
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
ctest --output-on-failure -j"$(nproc)"
