#!/usr/bin/env bash
# Draws the window icon app/Images/CheckList.png (256 x 256) with ImageMagick.
set -euo pipefail
out="$(dirname "$0")/../app/Images/CheckList.png"
convert -size 256x256 xc:none \
    -fill '#2f5d8a' -stroke '#1d3d5c' -strokewidth 6 -draw 'roundrectangle 36,26 220,240 18,18' \
    -fill '#fdfdf8' -stroke none -draw 'roundrectangle 52,50 204,226 8,8' \
    -fill '#9aa7b4' -stroke none -draw 'roundrectangle 96,14 160,44 8,8' \
    -fill none -stroke '#2e9b4f' -strokewidth 12 -draw "stroke-linecap round" -draw "stroke-linejoin round" \
    -draw 'polyline 66,88 80,102 104,74' \
    -draw 'polyline 66,144 80,158 104,130' \
    -draw 'polyline 66,200 80,214 104,186' \
    -stroke '#4a5a6a' -strokewidth 10 \
    -draw 'line 122,90 188,90' -draw 'line 122,146 188,146' -draw 'line 122,202 176,202' \
    -define png:exclude-chunks=date,time -strip "PNG32:$out"
echo "wrote $out"
