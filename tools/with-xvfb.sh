#!/usr/bin/env bash
# Runs a command on a virtual X display of its own: tools/with-xvfb.sh WIDTHxHEIGHTxDEPTH cmd...
# The X server picks a free display number itself and reports it (-displayfd), so that any
# number of these may start at once; choosing the number beforehand, as xvfb-run -a does, lets
# two of them pick the same one, and the loser's command then fails to connect. The server
# listens on its local socket only and ends with the command. Exits with the command's status,
# or 125 when no server could be started.
set -uo pipefail
screen="$1"
shift
fifo_dir="$(mktemp -d)"
trap 'rm -rf "$fifo_dir"' EXIT
mkfifo "$fifo_dir/display"
Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp -noreset 3>"$fifo_dir/display" \
    >"$fifo_dir/log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$fifo_dir"' EXIT
# The server writes its number once it accepts connections; give up after 60 s.
if ! read -r -t 60 number <"$fifo_dir/display" || [ -z "$number" ]; then
    echo "with-xvfb: the X server did not start; it said:" >&2
    cat "$fifo_dir/log" >&2
    exit 125
fi
export DISPLAY=":$number"
unset XAUTHORITY
"$@"
