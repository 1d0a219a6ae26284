#!/usr/bin/env bash
# Renders the icon drawing app/desktop/local.vellorin.Vellorin.svg into the window icon
# app/Images/CheckList.png (256 x 256) and the hicolor theme icons under app/desktop/icons/.
# The PNGs are committed, so a build needs no converter; run this after changing the drawing.
# Renders with rsvg-convert (librsvg2-bin, installed through tools/deps.sh). The output holds
# no time stamps: the same drawing gives the same bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
id=local.vellorin.Vellorin
svg="$root/app/desktop/$id.svg"
"$root/tools/deps.sh" icon

render() { # size output
    mkdir -p "$(dirname "$2")"
    rsvg-convert --width "$1" --height "$1" --format png --output "$2" "$svg"
    echo "wrote ${2#"$root"/}"
}

render 256 "$root/app/Images/CheckList.png"
for size in 16 22 24 32 48 64 128 256; do
    render "$size" "$root/app/desktop/icons/hicolor/${size}x${size}/apps/$id.png"
done
