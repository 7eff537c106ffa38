#!/bin/bash
# Runs the renderer benchmark beside ffmpeg's zoompan on the same picture and camera move
# (4000x3000, zoom 1 -> 2 with a pan, 300 frames at 29.97) and prints frames per second side
# by side with the ratios.
#
#   bench/compare_zoompan.sh [RUNS]     RUNS timed runs of each peer case (default 3)
#
# Env: BUILD (build folder holding bin/render_bench, default build), PIC_DIR (default
# /tmp/kbbench), PEER_DIR (where make_picture.sh and peer_zoompan.sh are, default
# ../shared/bench beside the repository).
#
# Our figures are renders only (the picture is loaded once, frames stay in memory); the
# peer's are whole ffmpeg runs of 300 frames (start-up and picture decode included), which is
# how the peer is used. Rotation has no zoompan counterpart: its row compares with the plain
# zoompan run. The machine's other load shows in both columns; run it on a quiet machine.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
RUNS=${1:-3}
BUILD=${BUILD:-$root/build}
PIC_DIR=${PIC_DIR:-/tmp/kbbench}
PEER_DIR=${PEER_DIR:-$root/../shared/bench}
BENCH=$BUILD/bin/render_bench
export PIC_DIR

[ -x "$BENCH" ] || { echo "no $BENCH: cmake --build $BUILD --target render_bench" >&2; exit 1; }

# The pictures. make_picture.sh stops when ImageMagick lacks the font of its caption; the raw
# picture is complete by then, so the JPEG and BMP are made from it the same way.
if [ ! -s "$PIC_DIR/pic4000.jpg" ] || [ ! -s "$PIC_DIR/pic4000.bmp" ]; then
  sh "$PEER_DIR/make_picture.sh" "$PIC_DIR" >/dev/null 2>&1 || true
  if [ -s "$PIC_DIR/pic4000.ppm" ]; then
    [ -s "$PIC_DIR/pic4000.jpg" ] ||
      convert "$PIC_DIR/pic4000.ppm" -quality 92 -sampling-factor 4:2:0 "$PIC_DIR/pic4000.jpg"
    [ -s "$PIC_DIR/pic4000.bmp" ] ||
      convert "$PIC_DIR/pic4000.ppm" -type TrueColor -alpha off BMP3:"$PIC_DIR/pic4000.bmp"
  fi
fi
[ -s "$PIC_DIR/pic4000.bmp" ] || { echo "no test picture in $PIC_DIR" >&2; exit 1; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)," \
     "load $(cut -d' ' -f1-3 /proc/loadavg)"

# Ours: one JSON run of every case.
json=$(mktemp)
trap 'rm -f "$json"' EXIT
KV_BENCH_PICTURE="$PIC_DIR/pic4000.bmp" "$BENCH" --benchmark_format=json \
  --benchmark_out="$json" --benchmark_out_format=json >/dev/null 2>&1
ours() { # $1 = benchmark name prefix (e.g. Full720/bands:2/simd:1)
  python3 - "$json" "$1" <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))
for b in data["benchmarks"]:
    if b["name"].startswith(sys.argv[2] + "/"):
        print("%.1f" % b["fps"]); break
else:
    print("nan")
EOF
}

# The peer: median wall time of RUNS runs of one case -> frames per second.
peer() { # $1 = case name
  local ts=() t0 t1
  bash "$PEER_DIR/peer_zoompan.sh" "$1" >/dev/null 2>&1   # warm-up (and file cache)
  for ((i = 0; i < RUNS; i++)); do
    t0=$(date +%s.%N)
    bash "$PEER_DIR/peer_zoompan.sh" "$1" >/dev/null 2>&1
    t1=$(date +%s.%N)
    ts+=("$(echo "$t1 - $t0" | bc -l)")
  done
  printf '%s\n' "${ts[@]}" | sort -g |
    awk '{a[NR]=$1} END{m = NR%2 ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2; printf "%.1f\n", 300/m}'
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN{ if (b > 0 && a == a) printf "%.1fx", a/b; else print "-" }'; }

zp480=$(peer zp480_null)
zp480bmp=$(peer zp480_null_bmp)
zp1080=$(peer zp1080_null)
zpfields=$(peer zp480_fields)
zpblur=$(peer zp480_blur)

printf '\n%-24s %9s %9s %11s %8s %11s %8s\n' case "1 band" "2 bands" "zoompan" ratio \
  "zp BMP" ratio
row() { # $1 label, $2 bench prefix without bands, $3 zoompan fps (JPEG), $4 zoompan BMP fps
  local one two
  one=$(ours "$2/bands:1/simd:1")
  two=$(ours "$2/bands:2/simd:1")
  local best
  best=$(awk -v a="$one" -v b="$two" 'BEGIN{ print (b > a ? b : a) }')
  printf '%-24s %9s %9s %11s %8s %11s %8s\n' "$1" "$one" "$two" "$3" "$(ratio "$best" "$3")" \
    "${4:--}" "$([ -n "${4:-}" ] && ratio "$best" "$4" || echo -)"
}
row "720x480 full" Full720 "$zp480" "$zp480bmp"
printf '%-24s %9s %9s\n' "720x480 full, no AVX2" "$(ours Full720/bands:1/simd:0)" \
  "$(ours Full720/bands:2/simd:0)"
row "1920x1080 full" Full1080 "$zp1080" ""
row "720x480 rotated" Rotated720 "$zp480" ""
row "720x480 interlaced" Interlaced720 "$zpfields" ""
row "720x480 motion blur" Blur720 "$zpblur" ""
printf '%-24s %9s %9s\n' "720x480 draft" "$(ours Draft720/bands:1)" "$(ours Draft720/bands:2)"
echo
echo "ratios: our better fps (one or two bands) / zoompan fps (JPEG input; 'zp BMP': the 24-bit"
echo "BMP input). The two-band figure only gains on a machine with a core to spare."
