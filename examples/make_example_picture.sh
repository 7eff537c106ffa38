#!/usr/bin/env bash
# Draws the example picture (640 x 480 JPEG): a dusk sky, a sun, clouds, hills and a small
# house, so that pans and zooms over it have something to find. Needs ImageMagick.
set -euo pipefail
cd "$(dirname "$0")"
convert -size 640x480 gradient:'#23396b'-'#f2a65a' \
  -fill '#ffe9a0' -draw "circle 470,150 470,190" \
  -fill '#fff4e0' -draw "ellipse 150,90 80,20 0,360" -draw "ellipse 200,105 60,16 0,360" \
  -fill '#fff4e0' -draw "ellipse 560,70 50,12 0,360" \
  -fill '#3f5f2a' -draw "polygon 0,480 0,330 110,290 240,345 380,270 520,320 640,280 640,480" \
  -fill '#2b4420' -draw "polygon 0,480 0,400 160,360 330,410 470,370 640,420 640,480" \
  -fill '#c9b48a' -draw "rectangle 250,330 320,380" \
  -fill '#8a3b2e' -draw "polygon 240,332 285,300 330,332" \
  -fill '#f6d36b' -draw "rectangle 262,345 278,360" -draw "rectangle 292,345 308,360" \
  -fill '#4a2e1e' -draw "rectangle 280,362 292,380" \
  -strip -quality 85 example.jpg
