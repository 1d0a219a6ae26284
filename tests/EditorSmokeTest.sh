#!/usr/bin/env bash
# Starts the real editor on a virtual X display and checks that its window appears
# titled "Vellorin" at 640 x 480, then closes it.
set -u
editor="$1"
export EDITOR_BIN="$editor"
export QT_QPA_PLATFORM=xcb # a real window, whatever the caller set
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$EDITOR_BIN" & pid=$!
    for i in $(seq 1 600); do
        info=$(xwininfo -root -tree 2>/dev/null | grep "\"Vellorin\"")
        [ -n "$info" ] && break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null || { echo "the editor exited early"; exit 1; }
    kill "$pid"; wait "$pid" 2>/dev/null
    echo "window: $info"
    echo "$info" | grep -q "640x480" || { echo "no 640x480 window titled Vellorin"; exit 1; }
    echo "1 passed, 0 failed"
'
