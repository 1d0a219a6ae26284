#!/usr/bin/env bash
# Screenshot of the real editor with a checklist loaded, on a virtual X display:
#   tools/screenshot.sh [--print] [out.png [checklist.xml]]
# Defaults: docs/screenshot.png and examples/kitchen-closing.xml. With --print it presses Ctrl+P
# once the checklist is loaded and shoots the print preview instead (default
# docs/print-preview.png, examples/preflight.xml). The editor opens the checklist named on its
# command line, as the file manager has it do; Ctrl+P is a real X key event. Uses the editor in
# build/app/ (built by tools/run-editor.sh) or the one VELLORIN_BIN names.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

fail() {
    echo "screenshot: $*" >&2
    exit 1
}

# Waits up to 20 s for a visible window whose title is exactly $1 and prints its id.
window_named() {
    local id
    for _ in $(seq 100); do
        id="$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.2
    done
    return 1
}

# Runs on the virtual display.
shoot() {
    local out="$1" checklist="$2" window
    log="$(mktemp)"
    QT_QPA_PLATFORM=xcb QT_LOGGING_RULES="default.debug=true" "$VELLORIN_BIN" "$checklist" \
        2>"$log" &
    editor=$!
    trap 'kill "$editor" 2>/dev/null || true; rm -f "$log"' EXIT

    window="$(window_named Vellorin)" || fail "the editor's window did not appear"
    sleep 1

    local X Y WIDTH HEIGHT SCREEN
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # The pointer goes off the window, so that no button shows its hover state.
    xdotool mousemove 0 "$((Y + HEIGHT + 20))"
    sleep 1

    grep -q '^CHECKLIST:' "$log" || fail "the checklist did not load: $(cat "$log")"
    if [ "$PRINT" = 1 ]; then
        xdotool windowfocus --sync "$window"
        xdotool key ctrl+p
        window="$(window_named 'Print Preview.*')" || fail "Ctrl+P did not show the print preview"
        xdotool windowsize --sync "$window" 820 700
        xdotool mousemove 0 767
        sleep 2
    fi
    eval "$(xdotool getwindowgeometry --shell "$window")"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
    grep -c '^CHECKLIST:' "$log" | xargs echo "lists loaded:"
}

if [ "${1:-}" = "--on-display" ]; then
    shift
    shoot "$@"
    exit 0
fi

export PRINT=0
shot=screenshot.png
example=kitchen-closing.xml
if [ "${1:-}" = "--print" ]; then
    shift
    PRINT=1
    shot=print-preview.png
    example=preflight.xml
fi
out="$(realpath -m "${1:-$root/docs/$shot}")"
checklist="$(realpath "${2:-$root/examples/$example}")"
[ -f "$checklist" ] || fail "no checklist $checklist"
"$root/tools/deps.sh" display
export VELLORIN_BIN="${VELLORIN_BIN:-$root/build/app/vellorin}"
[ -x "$VELLORIN_BIN" ] || fail "no editor at $VELLORIN_BIN: run tools/run-editor.sh once"
"$root/tools/with-xvfb.sh" 1024x768x24 "$0" --on-display "$out" "$checklist"
echo "wrote $out"
