#!/bin/bash
# The same show and codec two ways: FFmpeg rendering it through the frei0r source into an FFV1
# movie, and `kinevista-cli movie` writing FFV1 itself. Prints wall, user and system seconds and
# frames per second of each, with the load average before and after (the machine's other load
# shows in both rows; run it on a quiet machine for figures to keep).
#
#   bench/frei0r_vs_movie.sh [SIZE] [FRAMES]   default 1280x720 and 360 frames (12 s at 29.97)
#
# Env: BUILD (build folder, default build). FFV1 is lossless and has no quality setting, so both
# rows encode the same pictures the same way; the difference is the way the frames get there.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
SIZE=${1:-1280x720}
FRAMES=${2:-360}
BUILD=${BUILD:-$root/build}
CLI=$BUILD/bin/kinevista-cli
[ -x "$CLI" ] && [ -f "$BUILD/lib/frei0r-1/kinevista.so" ] ||
  { echo "build kinevista-cli and kinevista_frei0r in $BUILD first" >&2; exit 1; }
WORK=$(mktemp -d /tmp/kv-frei0r-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export KINEVISTA_PUBLIC=$WORK/public
mkdir -p "$KINEVISTA_PUBLIC"
SHOW=$root/examples/example.kvx
SECONDS_LONG=$(python3 -c "print(f'{$FRAMES * 1001 / 30000:.3f}')")

# timed NAME COMMAND...: one run, its figures on one line.
timed() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$WORK/time" "$@" >/dev/null 2>"$WORK/err" ||
    { cat "$WORK/err" >&2; exit 1; }
  read -r wall user sys rss <"$WORK/time"
  printf '%-24s %8s %8s %8s %8.1f %8d\n' "$name" "$wall" "$user" "$sys" \
    "$(python3 -c "print($FRAMES / max($wall, 0.001))")" "$((rss / 1024))"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)   ($(nproc) cores)"
echo "example show, $SIZE, $FRAMES frames at 29.97, FFV1"
printf '%-24s %8s %8s %8s %8s %8s\n' "" "wall s" "user s" "sys s" "fps" "MiB"
timed "ffmpeg + frei0r source" env FREI0R_PATH="$BUILD/lib/frei0r-1" ffmpeg -v error -y \
  -f lavfi -i "frei0r_src=size=$SIZE:framerate=30000/1001:filter_name=kinevista:filter_params=$SHOW" \
  -frames:v "$FRAMES" -c:v ffv1 "$WORK/frei0r.mkv"
timed "kinevista-cli movie" "$CLI" movie "$SHOW" --out "$WORK/movie.mkv" --codec FFV1 \
  --size "$SIZE" --fps 29.97 --frames "0-$((FRAMES - 1))"
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
for f in frei0r movie; do
  printf '%-8s %s frames\n' "$f" "$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/$f.mkv")"
done
echo "(${SECONDS_LONG} s of show)"
