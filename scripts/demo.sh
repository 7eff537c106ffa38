#!/usr/bin/env bash
# Runs the main job on the bundled example show: prints the show and a stretch of its camera
# path, then renders it to a movie (MJPEG AVI and an uncompressed-frame check), a QuickTime-style
# movie and a Targa still, and says where they are; then opens the editor on the show when a
# display is available (closing it ends the demo), or prints the command that opens it. Settings
# come from a private public folder under out/demo so the demo never touches the user's own.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
CLI=$BUILD/bin/kinevista-cli
OUT=out/demo
[ -x "$CLI" ] || { echo "demo: $CLI is not built" >&2; exit 1; }
mkdir -p "$OUT"
export KINEVISTA_PUBLIC=${KINEVISTA_PUBLIC:-$PWD/$OUT/public}
SHOW=examples/example.kvx
LEN=(--length 361)   # the example's last key is at frame 360 (12 s at 29.97)

echo "== The example show ($SHOW)"
"$CLI" info "$SHOW" "${LEN[@]}" | grep -E '"(picture|keyCount|AspectMode|EaseType)"'
echo
echo "== Camera path, every 30th frame: frame x y width rotation tiltA tiltB easeCode"
"$CLI" camera "$SHOW" 0 360 "${LEN[@]}" | awk 'NR % 30 == 1'
echo
echo "== Rendering"
"$CLI" still "$SHOW" --frame 135 --out "$OUT/example-still.tga" "${LEN[@]}"
"$CLI" render "$SHOW" --frame 200 --size 1280x720 --out "$OUT/example-frame200.bmp" \
       --set AspectMode=5625 "${LEN[@]}"
"$CLI" movie "$SHOW" --out "$OUT/example.avi" --codec MJPG --size 720x480 --fps 29.97 \
       --end 00:00:12:00 "${LEN[@]}"
"$CLI" movie "$SHOW" --out "$OUT/example.mov" --codec avc1 --size 720x480 --fps 29.97 \
       --end 00:00:12:00 "${LEN[@]}" || "$CLI" movie "$SHOW" --out "$OUT/example.mov" \
       --codec jpeg --size 720x480 --fps 29.97 --end 00:00:12:00 "${LEN[@]}"
echo
echo "== Made (play them with ffplay, mpv or any viewer):"
for f in "$OUT"/example.avi "$OUT"/example.mov "$OUT"/example-still.tga "$OUT"/example-frame200.bmp; do
  [ -f "$f" ] && printf '  %-32s %10d bytes\n' "$f" "$(stat -c %s "$f")"
done
if command -v ffprobe >/dev/null 2>&1; then
  echo
  echo "== ffprobe of the movies: codec, size, rate, frames"
  for f in "$OUT"/example.avi "$OUT"/example.mov; do
    printf '  %s: ' "$f"
    ffprobe -v error -select_streams v:0 -count_packets \
            -show_entries stream=codec_name,width,height,r_frame_rate,nb_read_packets -of csv=p=0 "$f"
  done
fi
echo
echo "== The editor"
EDITOR_BIN=$BUILD/bin/kinevista
if [ ! -x "$EDITOR_BIN" ]; then
  echo "  $EDITOR_BIN is not built"
elif [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "  opening the editor on $SHOW; close its window to end the demo"
  "$EDITOR_BIN" "$PWD/$SHOW"
else
  echo "  no display here; on a desktop this opens the editor on the example show:"
  echo "    KINEVISTA_PUBLIC=$KINEVISTA_PUBLIC $PWD/$EDITOR_BIN $PWD/$SHOW"
fi
