#!/usr/bin/env bash
# Starts the real editor on a virtual X display and checks that its window appears
# titled "Vellorin" at 640 x 480, then closes it: EditorSmokeTest.sh <editor> <with-xvfb.sh>
set -u
editor="$1"
with_xvfb="$2"
export EDITOR_BIN="$editor"
export QT_QPA_PLATFORM=xcb # a real window, whatever the caller set
# Folders of its own, so that nothing the editor or the toolkit keeps comes from the machine.
private="$(mktemp -d)"
trap 'rm -rf "$private"' EXIT
for folder in home config data cache state runtime tmp; do mkdir -m 700 "$private/$folder"; done
export HOME="$private/home" XDG_CONFIG_HOME="$private/config" XDG_DATA_HOME="$private/data" \
    XDG_CACHE_HOME="$private/cache" XDG_STATE_HOME="$private/state" \
    XDG_RUNTIME_DIR="$private/runtime" TMPDIR="$private/tmp"
export EDITOR_LOG="$private/editor.log"
"$with_xvfb" 1024x768x24 bash -c '
    "$EDITOR_BIN" >"$EDITOR_LOG" 2>&1 & pid=$!
    for i in $(seq 1 600); do
        info=$(xwininfo -root -tree 2>/dev/null | grep "\"Vellorin\"")
        [ -n "$info" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid"
        echo "the editor exited early with status $?; its output:"
        cat "$EDITOR_LOG"
        exit 1
    fi
    kill "$pid"; wait "$pid" 2>/dev/null
    echo "window: $info"
    echo "$info" | grep -q "640x480" || { echo "no 640x480 window titled Vellorin"; exit 1; }
    echo "1 passed, 0 failed"
'
status=$?
[ $status -eq 0 ] || echo "on the virtual display: status $status"
exit $status
