#!/usr/bin/env bash
# Draws the application icon (one 32x32 image): a route over a blue disc.
set -euo pipefail
out=${1:-"$(dirname "$0")/../res/wendrik.ico"}
convert -size 32x32 xc:none \
  -fill '#1565c0' -draw 'circle 16,16 16,1' \
  -fill none -stroke white -strokewidth 3 -draw 'polyline 7,25 13,15 19,19 24,9' \
  -stroke none -fill '#e53935' -draw 'circle 24,9 24,5' \
  -fill '#ffd600' -draw 'circle 7,25 7,22' \
  "ICO:$out"
