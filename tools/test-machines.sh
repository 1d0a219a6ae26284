#!/usr/bin/env bash
# Runs the tests of build-tests/ as other machines would: GUI tests with large fonts and on a
# real X server without a window manager; every test as root inside a user namespace (root
# there, but unable to switch users). The unit stage already ran every test with a temporary
# folder private to its user.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/build-tests.sh" >/dev/null
cd "$root" # the presets
# The GUI test programs (label "gui"), on the platform QT_QPA_PLATFORM names.
gui_tests=("$root/tools/run-ctest.sh" tests -L gui --output-on-failure)
failed=0
run() { # run <what> <command...>
    local what="$1" log
    shift
    log="$(mktemp)"
    if timeout 900 "$@" >"$log" 2>&1; then
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

if unshare -U -r true 2>/dev/null; then
    run "all tests, root in a user namespace" unshare -U -r "$root/tools/run-ctest.sh" tests
else
    echo "machines: user namespaces are not available here: root-in-namespace run left out"
fi
exit "$failed"
