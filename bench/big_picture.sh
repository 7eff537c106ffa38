#!/bin/bash
# Big pictures against ffmpeg's zoompan, whole runs side by side in one go:
#   - a 12000 x 8000 JPEG to 300 frames of 1920 x 1080 Motion JPEG at 29.97, the camera from
#     the whole picture to centre (9000, 4000), width 6000, on zoompan's path; ours with the
#     default settings (video-safe colours on) and with no treatment that changes pixels;
#   - a 30000 x 6000 panorama panned left to right at 1080p;
#   - the time from start to the first frame (a single 1920 x 1080 frame of the 12000 x 8000
#     show, loading and preparation included).
# Wall time and peak resident memory of each whole process come from GNU time.
#
#   bench/big_picture.sh [RUNS]      RUNS runs of each case, the median reported (default 1)
#
# Env: BUILD (default build; needs bin/kinevista-cli and bin/big_picture_show), PIC_DIR (where
# the pictures and movies go, default /tmp/kvbig). The pictures are made here with ffmpeg and
# cjpeg (ImageMagick refuses pictures this big by policy) and never committed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
RUNS=${1:-1}
BUILD=${BUILD:-$root/build}
PIC_DIR=${PIC_DIR:-/tmp/kvbig}
CLI=$BUILD/bin/kinevista-cli
MAKESHOW=$BUILD/bin/big_picture_show
TIME=/usr/bin/time
for t in "$CLI" "$MAKESHOW"; do
  [ -x "$t" ] || { echo "no $t: cmake --build $BUILD --target kinevista-cli big_picture_show" >&2; exit 1; }
done
mkdir -p "$PIC_DIR"
FF="ffmpeg -hide_banner -nostdin -loglevel error -y"

# A photo-like picture: the test pattern with grain, as a baseline 4:2:0 JPEG at quality 92.
make_picture() { # $1 = WxH, $2 = output
  [ -s "$2" ] && return 0
  $FF -f lavfi -i "testsrc2=size=$1:rate=1,noise=alls=14:allf=t" -frames:v 1 -c:v ppm \
    -f image2 "$PIC_DIR/tmp.ppm"
  cjpeg -quality 92 -sample 2x2 "$PIC_DIR/tmp.ppm" >"$2"
  rm -f "$PIC_DIR/tmp.ppm"
}
make_picture 12000x8000 "$PIC_DIR/big12000.jpg"
make_picture 30000x6000 "$PIC_DIR/pano30000.jpg"

# The show files, on zoompan's paths (see big_picture_show.cpp).
"$MAKESHOW" "$PIC_DIR/big12000.jpg" "$PIC_DIR/big12000.kvx" 1 2 0 1 0 0.5
"$MAKESHOW" "$PIC_DIR/pano30000.jpg" "$PIC_DIR/pano30000.kvx" 2.8125 2.8125 0 1 0.5 0

# One whole process under GNU time: prints "seconds peak_kB cpu_seconds" (user + system), the
# median of RUNS by wall seconds. On a shared machine the processor seconds are the steadier
# figure; the ratios below use them.
# GNU time writes its line to standard error after the program's own; keep only its line.
TIME_RUN() {
  $TIME -f '%e %M %U %S' -o "$PIC_DIR/time.txt" "$@" >/dev/null 2>&1 || true
  awk '{ printf "%s %s %.2f\n", $1, $2, $3 + $4 }' "$PIC_DIR/time.txt"
}
measure() {
  local out=() i
  for ((i = 0; i < RUNS; i++)); do out+=("$(TIME_RUN "$@")"); done
  printf '%s\n' "${out[@]}" | sort -g | awk '{a[NR]=$0} END{print a[int((NR+1)/2)]}'
}

movie() { # $1 = show, $2 = output, further: settings
  local show=$1 out=$2
  shift 2
  local sets=()
  for s in "$@"; do sets+=(--set "$s"); done
  measure "$CLI" movie "$show" --out "$out" --size 1920x1080 --fps 29.97 --end 00:10:00 --codec MJPG \
    --answer yes --set AspectMode=5625 "${sets[@]}"
}
zoompan() { # $1 = picture, $2 = zoompan filter, $3 = output
  measure $FF -i "$1" -vf "$2" -c:v mjpeg -q:v 3 "$3"
}
ZP12000="zoompan=z='1+on/299':x='(iw-iw/zoom)*on/299':y='(ih-ih/zoom)*0.5*on/299':d=300:s=1920x1080:fps=30000/1001"
ZPPANO="zoompan=z='2.8125':x='(iw-iw/zoom)*on/299':y='(ih-ih/zoom)/2':d=300:s=1920x1080:fps=30000/1001"

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"
read -r ours_s ours_kb ours_cpu < <(movie "$PIC_DIR/big12000.kvx" "$PIC_DIR/ours12000.avi")
read -r bare_s bare_kb bare_cpu < <(movie "$PIC_DIR/big12000.kvx" "$PIC_DIR/bare12000.avi" VideoColors=0)
read -r bands_s bands_kb bands_cpu < <(movie "$PIC_DIR/big12000.kvx" "$PIC_DIR/bands12000.avi" MultiProcess=1)
read -r zp_s zp_kb zp_cpu < <(zoompan "$PIC_DIR/big12000.jpg" "$ZP12000" "$PIC_DIR/zp12000.avi")
read -r pano_s pano_kb pano_cpu < <(movie "$PIC_DIR/pano30000.kvx" "$PIC_DIR/ourspano.avi")
read -r zpp_s zpp_kb zpp_cpu < <(zoompan "$PIC_DIR/pano30000.jpg" "$ZPPANO" "$PIC_DIR/zppano.avi")
read -r first_s first_kb first_cpu < <(measure "$CLI" render "$PIC_DIR/big12000.kvx" --frame 0 \
  --size 1920x1080 --set AspectMode=5625 --out "$PIC_DIR/first.bmp")

frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries \
  stream=nb_read_frames -of csv=p=0 "$1" 2>/dev/null || echo "?"; }
picture32=$((12000 * 8000 * 4 / 1024))
printf '\n%-48s %8s %8s %8s %7s\n' case "wall s" "cpu s" "peak MB" frames
row() { printf '%-48s %8s %8s %8s %7s\n' "$1" "$2" "$5" "$(($3 / 1024))" "$4"; }
row "12000x8000 -> 1080p MJPEG, ours (video-safe)" "$ours_s" "$ours_kb" "$(frames "$PIC_DIR/ours12000.avi")" "$ours_cpu"
row "12000x8000 -> 1080p MJPEG, ours (no treatment)" "$bare_s" "$bare_kb" "$(frames "$PIC_DIR/bare12000.avi")" "$bare_cpu"
row "12000x8000 -> 1080p MJPEG, ours (two bands)" "$bands_s" "$bands_kb" "$(frames "$PIC_DIR/bands12000.avi")" "$bands_cpu"
row "12000x8000 -> 1080p MJPEG, zoompan" "$zp_s" "$zp_kb" "$(frames "$PIC_DIR/zp12000.avi")" "$zp_cpu"
row "30000x6000 pan -> 1080p MJPEG, ours" "$pano_s" "$pano_kb" "$(frames "$PIC_DIR/ourspano.avi")" "$pano_cpu"
row "30000x6000 pan -> 1080p MJPEG, zoompan" "$zpp_s" "$zpp_kb" "$(frames "$PIC_DIR/zppano.avi")" "$zpp_cpu"
row "12000x8000 first frame (whole process), ours" "$first_s" "$first_kb" 1 "$first_cpu"
echo
awk -v o="$ours_cpu" -v b="$bare_cpu" -v z="$zp_cpu" -v ow="$ours_s" -v zw="$zp_s" \
  -v ok="$ours_kb" -v bk="$bare_kb" -v p="$picture32" \
  'BEGIN{ printf "speed vs zoompan, processor seconds: %.2fx (video-safe), %.2fx (no treatment); target 2x\n", z/o, z/b;
          printf "speed vs zoompan, wall seconds: %.2fx (video-safe)\n", zw/ow;
          printf "peak / picture at 32 bits: %.2f (video-safe, target 2), %.2f (no treatment, target 1.3)\n", ok/p, bk/p }'
awk -v o="$pano_cpu" -v z="$zpp_cpu" 'BEGIN{ printf "panorama speed vs zoompan, processor seconds: %.2fx\n", z/o }'
