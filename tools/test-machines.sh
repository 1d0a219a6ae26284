#!/usr/bin/env bash
# Runs the tests of build-tests/ as other machines would: GUI tests with large fonts and on a
# real X server without a window manager; every test with a temporary folder private to its
# user, and as root inside a user namespace (root there, but unable to switch users).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-tests.sh" >/dev/null
tests="$root/build-tests/tests"
cd "$root" # the presets
# The GUI test programs one after the other, on the platform QT_QPA_PLATFORM names.
gui_tests=(bash -c 'for t in DialogsTest MainWindowTest MainWindowFileTest; do
                        timeout 120 "$0/$t" --gtest_shuffle || exit 1; done' "$tests")
failed=0
run() { # run <what> <command...>
    local what="$1" log
    shift
    log="$(mktemp)"
    if timeout 600 "$@" >"$log" 2>&1; then
        echo "machines: $what: ok"
    else
        echo "machines: $what: FAILED"
        cat "$log"
        failed=1
    fi
    rm -f "$log"
}
for dpi in 144 192; do
    run "GUI tests, QT_FONT_DPI=$dpi" env QT_QPA_PLATFORM=offscreen QT_FONT_DPI="$dpi" \
        "${gui_tests[@]}"
done
run "GUI tests, xcb on Xvfb without a window manager" \
    "$root/tools/with-xvfb.sh" 1280x1024x24 env QT_QPA_PLATFORM=xcb "${gui_tests[@]}"

private="$(mktemp -d)"
trap 'rm -rf "$private"' EXIT
chmod 700 "$private"
ctest_all=(ctest --preset tests -j"$(nproc)")
run "all tests, TMPDIR private (0700)" env TMPDIR="$private" "${ctest_all[@]}"
if unshare -U -r true 2>/dev/null; then
    run "all tests, root in a user namespace" unshare -U -r "${ctest_all[@]}"
else
    echo "machines: user namespaces are not available here: root-in-namespace run left out"
fi
exit "$failed"
