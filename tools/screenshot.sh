#!/usr/bin/env bash
# Takes a screenshot of the editor's window on a virtual X display: tools/screenshot.sh out.png
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="$(realpath -m "${1:-vellorin.png}")"
command -v import >/dev/null || { echo "needs ImageMagick's import (apt-get install imagemagick)"; exit 1; }
export VELLORIN_BIN="$root/build/app/vellorin" VELLORIN_SHOT="$out"
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    "$VELLORIN_BIN" & pid=$!
    sleep 2
    import -window root -crop 640x480+0+0 "$VELLORIN_SHOT"
    kill "$pid"'
echo "wrote $out"
