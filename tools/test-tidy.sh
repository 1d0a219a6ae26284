#!/usr/bin/env bash
# Runs clang-tidy (checks in .clang-tidy) on every .cpp under app/ and Common/, two at a time,
# with the compile commands of a clang configuration in build-tidy/. Any warning fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/deps.sh" tests
build="$root/build-tidy"
(cd "$root" && cmake --preset tidy >/dev/null)
mapfile -t autogen < <(cmake --build "$build" --target help | sed -n 's/^\.\.\. \(.*_autogen\)$/\1/p')
nice -n 10 cmake --build "$build" -j"$(nproc)" --target "${autogen[@]}" >/dev/null

cd "$root"
mapfile -t sources < <(find app Common -name '*.cpp' | sort)
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
status=0
printf '%s\n' "${sources[@]}" |
    xargs -P 2 -n 1 nice -n 10 clang-tidy-14 -p "$build" --quiet >"$out" 2>&1 || status=$?
# Warnings from a header come once per file that includes it: report each once.
warnings="$(grep -E '^[^ ].*:[0-9]+:[0-9]+: (warning|error):' "$out" | sort -u || true)"
count="$(printf '%s' "$warnings" | grep -c . || true)"
echo "clang-tidy: ${#sources[@]} files, $count distinct warnings"
if [ "$status" -ne 0 ] || [ "$count" -ne 0 ]; then
    grep -v 'warnings\{0,1\} generated\.$' "$out" || true
    echo "clang-tidy found problems; by file and check:"
    printf '%s\n' "$warnings" | sed -E 's/^([^:]+):.*\[([^],]+)(,-warnings-as-errors)?\]$/\1 \2/' | sort | uniq -c
    exit 1
fi
# Every sentence the user may see reaches lupdate.
log="$(mktemp)"
if "$root/tools/check-translations.sh" >"$log" 2>&1; then
    echo "lupdate: $(grep -c ': ' "$log") translatable texts extracted"
    rm -f "$log"
else
    cat "$log"
    rm -f "$log"
    exit 1
fi
