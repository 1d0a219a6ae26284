#!/usr/bin/env bash
# Starts the real editor on a virtual X display, with no file, with an example's path and with a
# missing path, and checks each start-up: the window titled "Vellorin" at 640 x 480 appears and
# stays; the example's lists are loaded; a missing file gets a "Warning" box and nothing else:
#   EditorSmokeTest.sh <editor> <with-xvfb.sh> <an example checklist>
set -u
editor="$1"
with_xvfb="$2"
export EDITOR_BIN="$editor" EXAMPLE="$3"
export QT_QPA_PLATFORM=xcb # a real window, whatever the caller set
export QT_LOGGING_RULES="default.debug=true"
# Folders of its own, so that nothing the editor or the toolkit keeps comes from the machine.
private="$(mktemp -d)"
trap 'rm -rf "$private"' EXIT
for folder in home config data cache state runtime tmp; do mkdir -m 700 "$private/$folder"; done
export HOME="$private/home" XDG_CONFIG_HOME="$private/config" XDG_DATA_HOME="$private/data" \
    XDG_CACHE_HOME="$private/cache" XDG_STATE_HOME="$private/state" \
    XDG_RUNTIME_DIR="$private/runtime" TMPDIR="$private/tmp"
export EDITOR_LOG="$private/editor.log"
"$with_xvfb" 1024x768x24 bash -c '
    failed=0
    # start <what> <expected window title> <text the log must hold, or -> [argument]
    start() {
        local what="$1" title="$2" logged="$3"
        shift 3
        "$EDITOR_BIN" "$@" >"$EDITOR_LOG" 2>&1 & pid=$!
        local info="" windows=""
        for i in $(seq 1 300); do
            windows=$(xwininfo -root -tree 2>/dev/null)
            info=$(echo "$windows" | grep "\"Vellorin\"")
            if [ -n "$info" ] && echo "$windows" | grep -q "\"$title\""; then
                [ "$logged" = - ] || grep -qF "$logged" "$EDITOR_LOG" && break
            fi
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        sleep 0.3 # a box that should not come has had its time
        windows=$(xwininfo -root -tree 2>/dev/null)
        local result=PASS
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "$what: the editor exited early; its output:"; cat "$EDITOR_LOG"; result=FAIL
        elif ! echo "$info" | grep -q "640x480"; then
            echo "$what: no 640x480 window titled Vellorin"; result=FAIL
        elif ! echo "$windows" | grep -q "\"$title\""; then
            echo "$what: no window titled $title"; result=FAIL
        elif [ "$title" = Vellorin ] && echo "$windows" | grep -q "\"Warning\""; then
            echo "$what: a Warning box came up"; result=FAIL
        elif [ "$logged" != - ] && ! grep -qF "$logged" "$EDITOR_LOG"; then
            echo "$what: the log lacks $logged:"; cat "$EDITOR_LOG"; result=FAIL
        fi
        kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
        echo "$result $what"
        [ $result = PASS ] || failed=$((failed + 1))
    }
    start "no file: the window alone" Vellorin -
    start "an example named: its lists are loaded" Vellorin "CHECKLIST:  \"Before engine start\"" \
        "$EXAMPLE"
    start "a missing file named: a box says so" Warning - "$HOME/missing.xml"
    echo "$((3 - failed)) passed, $failed failed"
    [ $failed -eq 0 ]
'
status=$?
[ $status -eq 0 ] || echo "on the virtual display: status $status"
exit $status
