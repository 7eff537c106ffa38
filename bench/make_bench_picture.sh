#!/bin/sh
# The benchmarks' picture: a detailed 4000 x 3000 still made from fixed seeds (fractal plasma,
# Gaussian noise and a fine 8-pixel checker, whose sharp edges show any sub-pixel jitter), written
# as pic4000.ppm, pic4000.jpg (quality 92, 4:2:0) and pic4000.bmp in the folder given (default
# /tmp/kbbench). Needs ImageMagick. Does nothing when the pictures are there unless FORCE=1.
set -eu
OUT=${1:-/tmp/kbbench}
mkdir -p "$OUT"
if [ "${FORCE:-0}" != 1 ] && [ -s "$OUT/pic4000.jpg" ] && [ -s "$OUT/pic4000.bmp" ]; then
  exit 0
fi
convert -seed 4242 -size 4000x3000 plasma:fractal \
        -seed 4242 -attenuate 0.6 +noise Gaussian \
        \( -size 16x16 pattern:checkerboard -scale 100% \
           -write mpr:tile +delete -size 4000x3000 tile:mpr:tile \) \
        -compose softlight -composite \
        -fill white -stroke black -pointsize 120 \
        -draw "text 200,400 'KB bench 4000x3000'" \
        -depth 8 -type TrueColor "$OUT/pic4000.ppm"
convert "$OUT/pic4000.ppm" -quality 92 -sampling-factor 4:2:0 "$OUT/pic4000.jpg"
convert "$OUT/pic4000.ppm" -type TrueColor -alpha off BMP3:"$OUT/pic4000.bmp"
