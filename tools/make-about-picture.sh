#!/usr/bin/env bash
# Draws the About box picture with ImageMagick: a blue hatchback on a road, 99 x 36 pixels,
# stored as resources/about.jpg. The JPEG is committed; run this only to change the picture.
set -euo pipefail
cd "$(dirname "$0")/../resources"
convert -size 99x36 gradient:'#9cc8f0'-'#e8f2fa' \
    -fill '#7aa860' -draw "rectangle 0,20 98,23" \
    -fill '#505458' -draw "rectangle 0,24 98,35" \
    -fill '#f0f0f0' -draw "rectangle 2,30 14,31" -draw "rectangle 30,30 42,31" \
    -draw "rectangle 58,30 70,31" -draw "rectangle 86,30 98,31" \
    -fill '#1f4fb8' -stroke '#102a66' \
    -draw "polygon 22,27 22,19 30,17 38,10 58,9 66,11 72,17 76,19 76,27" \
    -fill '#bcdcf4' -stroke '#102a66' \
    -draw "polygon 40,12 50,11 50,17 34,17" -draw "polygon 53,11 60,11 66,17 53,17" \
    -stroke none -fill '#f8e060' -draw "rectangle 23,20 25,22" \
    -fill '#c02020' -draw "rectangle 73,19 75,21" \
    -fill '#181818' -draw "circle 32,27 32,22.5" -draw "circle 66,27 66,22.5" \
    -fill '#a8a8a8' -draw "circle 32,27 32,25" -draw "circle 66,27 66,25" \
    -strip -quality 92 -sampling-factor 1x1 about.jpg
