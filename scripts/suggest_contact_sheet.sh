#!/usr/bin/env bash
# Suggested moves end to end: makes a folder of 19 mixed pictures (portraits, squares, 3:1 and
# 6:1 panoramas, photos, a picture smaller than the frame) plus python3-skimage's astronaut
# photo, runs `kinevista-cli new --move auto` over it (20 shows), renders each show with `batch`
# over its own length, and puts each show's first and last frame side by side in a contact sheet
# (ImageMagick montage). Fails when a show or movie is missing or a first or last frame shows the
# matte along an edge (the camera reached beyond what the renderer draws cleanly).
#
# Usage: suggest_contact_sheet.sh KINEVISTA_CLI OUT_DIR     (the sheet is OUT_DIR/contact_sheet.png)
set -euo pipefail
cli=$1
out=$2
astronaut=/usr/lib/python3/dist-packages/skimage/data/astronaut.png
[ -f "$astronaut" ] || { echo "suggest: $astronaut is missing (python3-skimage)" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/pictures" "$out/shows" "$out/movies" "$out/frames"
pics=$out/pictures

# Plasma backgrounds with a bright subject somewhere; fixed seeds keep the pictures the same.
# 8 bits a channel (plasma makes 16, which take twice as long to write and read) but for one.
make() {  # name size seed subject-geometry [format-prefix] [depth]
  convert -size "$2" -seed "$3" plasma:fractal -blur 0x2 \
    -fill white -stroke black -strokewidth 3 -draw "$4" -depth "${6:-8}" "${5:-}$pics/$1"
}
make portrait.jpg 600x900 1 "circle 300,250 360,250"
make tall.png 400x1600 2 "rectangle 150,1200 250,1350" "" 16
make square.png 800x800 3 "circle 560,240 620,240"
make square_small.bmp 300x300 4 "circle 100,200 130,200" BMP3:  # a plain Windows BMP
make photo43.jpg 800x600 5 "circle 600,200 650,200"
make photo32.png 900x600 6 "rectangle 100,350 220,470"
make photo169.jpg 1280x720 7 "circle 900,360 980,360"
make pano3.png 1500x500 8 "circle 1200,250 1260,250"
make pano6.jpg 2400x400 9 "circle 300,200 350,200"
make pano6b.png 3000x500 10 "rectangle 1400,150 1600,350"
make tiny.png 160x120 11 "circle 40,40 55,40"
make tiny_tall.png 90x160 12 "circle 45,110 60,110"
make photo54.tif 1000x800 13 "circle 500,400 560,400"
make portrait23.png 800x1200 14 "circle 600,900 660,900"
make strip.png 2000x300 15 "circle 1900,150 1940,150"
make wide2.jpg 1200x600 16 "circle 200,300 260,300"
make nearsquare.png 900x800 17 "circle 450,100 500,100"
convert -size 1000x750 gradient:navy-orange -fill yellow -draw "circle 500,375 600,375" \
  "$pics/gradient.png"
convert -size 700x1000 xc:gray50 "$pics/flat.png"  # nothing salient: the middle
cp "$astronaut" "$pics/astronaut.png"
count=$(ls "$pics" | wc -l)
[ "$count" -eq 20 ] || { echo "suggest: made $count pictures, not 20" >&2; exit 1; }

"$cli" new "$pics"/* --out-dir "$out/shows" --move auto | tee "$out/moves.txt"
shows=$(ls "$out/shows"/*.kvx | wc -l)
[ "$shows" -eq 20 ] || { echo "suggest: $shows shows, not 20" >&2; exit 1; }

tiles=()
# The mean brightness of the lines along a frame's edges and of those just inside them: left,
# next to it, right, next to it, top, below it, bottom, above it (one line each).
edge_means() {
  convert "$1" -colorspace gray \
    \( -clone 0 -crop 1x240+0+0 +repage \) \( -clone 0 -crop 1x240+1+0 +repage \) \
    \( -clone 0 -crop 1x240+319+0 +repage \) \( -clone 0 -crop 1x240+318+0 +repage \) \
    \( -clone 0 -crop 320x1+0+0 +repage \) \( -clone 0 -crop 320x1+0+1 +repage \) \
    \( -clone 0 -crop 320x1+0+239 +repage \) \( -clone 0 -crop 320x1+0+238 +repage \) \
    -delete 0 -format '%[fx:mean]\n' info:
}
edges=(1x240+0+0 1x240+319+0 320x1+0+0 320x1+0+239)
while IFS= read -r line; do
  show=${line%%: *}
  name=$(basename "$show" .kvx)
  move=$(echo "$line" | sed -E 's/^[^:]*: ([a-z-]+), .*/\1/')
  frames=$(echo "$line" | sed -E 's/.*, ([0-9]+) frames,.*/\1/')
  faces=$(echo "$line" | sed -E 's/.*frames, ([0-9]+) faces?$/\1/')
  "$cli" batch --out "$out/movies/m.mp4" --size 320x240 --length "$frames" "$show" >/dev/null
  [ -s "$out/movies/${name}B.mp4" ] || { echo "suggest: no movie for $name" >&2; exit 1; }
  for f in 0 "$frames"; do
    "$cli" render "$show" --frame "$f" --size 320x240 --length "$frames" \
      --out "$out/frames/${name}_$f.bmp"
    # An edge line much darker than the line inside it has the matte (17, 17, 17) blended in.
    mapfile -t means < <(edge_means "$out/frames/${name}_$f.bmp")
    [ ${#means[@]} -eq 8 ] || { echo "suggest: no edge means for $name frame $f" >&2; exit 1; }
    for i in 0 1 2 3; do
      edge=${means[2 * i]} inner=${means[2 * i + 1]}
      if awk "BEGIN { exit !($edge < 0.85 * $inner) }"; then
        echo "suggest: $name frame $f shows the matte along ${edges[i]} ($edge against $inner)" >&2
        exit 1
      fi
    done
  done
  convert "$out/frames/${name}_0.bmp" "$out/frames/${name}_$frames.bmp" +append \
    "$out/frames/${name}_pair.png"
  tiles+=(-label "$name: $move ${frames}f ${faces} face(s)" "$out/frames/${name}_pair.png")
done < "$out/moves.txt"

montage "${tiles[@]}" -tile 4x -geometry +6+6 -pointsize 14 -background white \
  "$out/contact_sheet.png"
echo "suggest: 20 shows, 20 movies, contact sheet $out/contact_sheet.png"
