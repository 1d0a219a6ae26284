#!/usr/bin/env bash
# Runs the tests of a CTest preset, each program whole with its cases shuffled, as many at a time
# as the machine has cores; when some fail, runs each case of each failed program on its own,
# with the environment CTest gave it, and tells whether it fails alone or only beside the others
# of its program. A passing suite so costs one run of each case.
#   tools/run-ctest.sh <test preset> [more ctest options]
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
preset="$1"
shift
cd "$root"
if ctest --preset "$preset" -j"$(nproc)" "$@"; then
    exit 0
fi
# The preset's build folder and the environment it gives the tests.
mapfile -t setting < <(python3 -c '
import json, sys
all = json.load(open("CMakePresets.json"))
configures = {p["name"]: p for p in all["configurePresets"]}
tests = {p["name"]: p for p in all["testPresets"]}
def chain(presets, name):
    while name:
        yield presets[name]
        name = presets[name].get("inherits")
test = list(chain(tests, sys.argv[1]))
build = next(p["binaryDir"] for p in chain(configures, test[0]["configurePreset"]) if "binaryDir" in p)
print(build.replace("${sourceDir}", sys.argv[2]))
environment = {}
for p in reversed(test):
    environment.update(p.get("environment", {}))
for name, value in environment.items():
    print(name + "=" + value.replace("${sourceDir}", sys.argv[2]))' "$preset" "$root")
build="${setting[0]}"
preset_env=("${setting[@]:1}")
failed_log="$build/Testing/Temporary/LastTestsFailed.log"
[ -s "$failed_log" ] || exit 1
mapfile -t failed < <(cut -d: -f2- "$failed_log")
for test in "${failed[@]}"; do
    # How CTest ran it: the program and its environment, but for a shard's share: all its cases
    # are tried.
    mapfile -t properties < <(ctest --test-dir "$build" -R "^${test//./\\.}\$" --show-only=json-v1 |
        python3 -c '
import json, sys
test = json.load(sys.stdin)["tests"][0]
print(test["command"][0])
for p in test.get("properties", []):
    if p["name"] == "ENVIRONMENT":
        print("\n".join(v for v in p["value"] if not v.startswith("GTEST_")))')
    program="${properties[0]:-}"
    if [ ! -x "$program" ] || [ "$(basename "$program")" = bash ]; then
        echo "isolate: $test is not a test program; its output above tells what failed"
        continue
    fi
    case " ${done_programs:-} " in *" $program "*) continue ;; esac
    done_programs="${done_programs:-} $program"
    env_args=("${preset_env[@]}" "${properties[@]:1}")
    mapfile -t cases < <(env "${env_args[@]}" "$program" --gtest_list_tests |
        awk '/^[^ ]/ {suite = $1} /^  / {print suite $1}')
    echo "isolate: $test: ${#cases[@]} cases, each on its own"
    alone=0
    for c in "${cases[@]}"; do
        log="$(mktemp)"
        if ! env "${env_args[@]}" timeout 600 "$program" --gtest_filter="$c" >"$log" 2>&1; then
            echo "isolate: $test: $c FAILS on its own:"
            tail -n 40 "$log"
            alone=$((alone + 1))
        fi
        rm -f "$log"
    done
    if [ "$alone" -eq 0 ]; then
        echo "isolate: $test: every case passes on its own: one of them depends on what another" \
            "left; its shuffle seed above repeats the order"
    fi
done
exit 1
