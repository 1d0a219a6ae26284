#!/usr/bin/env bash
# Starts the real editor on a virtual X display and checks that its window appears
# titled "Vellorin" at 640 x 480, then closes it.
set -u
editor="$1"
export EDITOR_BIN="$editor"
export QT_QPA_PLATFORM=xcb # a real window, whatever the caller set
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
export EDITOR_LOG="$log"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
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
[ $status -eq 0 ] || echo "xvfb-run: status $status"
exit $status
