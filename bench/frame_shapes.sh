#!/bin/bash
# A vertical movie against a wide one of the same show: 300 frames of H.264 at 1080 x 1920 and
# at 1920 x 1080, three runs each, the median wall time of each size and their ratio. The
# vertical movie should take no longer than the wide one (within 5 %). Prints the load average
# before and after; run it on a quiet machine for figures to keep.
#
#   bench/frame_shapes.sh [FRAMES] [extra movie options, e.g. --fill or --aspect 9:16]
#
# Env: BUILD (build folder, default build), SHOW (default examples/example.kvx).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
FRAMES=${1:-300}
shift || true
BUILD=${BUILD:-$root/build}
SHOW=${SHOW:-$root/examples/example.kvx}
CLI=$BUILD/bin/kinevista-cli
[ -x "$CLI" ] || { echo "build kinevista-cli in $BUILD first" >&2; exit 1; }
WORK=$(mktemp -d /tmp/kv-shape-bench-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export KINEVISTA_PUBLIC=$WORK/public
mkdir -p "$KINEVISTA_PUBLIC"

# run SIZE: one movie, its wall seconds.
run() {
  /usr/bin/time -f "%e" -o "$WORK/time" "$CLI" movie "$SHOW" --out "$WORK/m.mp4" --size "$1" \
    --no-audio --frames "0-$((FRAMES - 1))" "${EXTRA[@]}" >/dev/null 2>"$WORK/err" ||
    { cat "$WORK/err" >&2; exit 1; }
  cat "$WORK/time"
}
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

EXTRA=("$@")
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)   ($(nproc) cores)"
echo "$(basename "$SHOW"), $FRAMES frames, H.264 ${EXTRA[*]}"
declare -A med
for size in 1920x1080 1080x1920; do
  times=()
  for _ in 1 2 3; do times+=("$(run "$size")"); done
  med[$size]=$(median "${times[@]}")
  printf '%-10s runs %s  median %s s\n' "$size" "${times[*]}" "${med[$size]}"
done
echo "load average after:  $(cut -d' ' -f1-3 /proc/loadavg)"
python3 -c "print(f'1080x1920 / 1920x1080: {${med[1080x1920]} / ${med[1920x1080]}:.3f}')"
