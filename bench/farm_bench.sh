#!/usr/bin/env bash
# The cost of rendering through Slurm: a batch of SHOWS shows (default 20) made from the bundled
# example picture with `new` and `set`, rendered once with `batch` on this machine and once with
# `farm --wait` on the local single-node cluster (scripts/slurm_cluster.sh), the movies checked
# equal. Prints both times, the scheduler's overhead and the expected time on N nodes.
#
#   bench/farm_bench.sh [BUILD]      (BUILD default: build; needs root for the cluster)
#   SHOWS=20 FRAMES=150 SIZE=640x360 CODEC=MJPG bench/farm_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
CLI=$PWD/$BUILD/bin/kinevista-cli
SHOWS=${SHOWS:-20}
FRAMES=${FRAMES:-150}
SIZE=${SIZE:-640x360}
CODEC=${CODEC:-MJPG}
[ -x "$CLI" ] || { echo "farm_bench: build $CLI first" >&2; exit 1; }
WORK=$(mktemp -d /tmp/kv-farm-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/shows" "$WORK/batch" "$WORK/farm" "$WORK/shared"
cp examples/example.jpg "$WORK/shows/"

# SHOWS different moves over the picture, each FRAMES frames long.
"$CLI" new "$WORK/shows/example.jpg" --out "$WORK/shows/base.kvx" --length "$FRAMES" 2>/dev/null
"$CLI" info "$WORK/shows/base.kvx" --length "$FRAMES" >"$WORK/base.json"
for i in $(seq 1 "$SHOWS"); do
  python3 - "$WORK/base.json" "$i" "$FRAMES" >"$WORK/k$i.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1])); i = int(sys.argv[2]); frames = int(sys.argv[3])
k0 = doc["keys"][0]; k1 = dict(k0)
k1.update(time=frames - 1, x=k0["x"] + 4 * i, y=k0["y"] - 2 * i, width=k0["width"] * (0.5 + i / 100),
          rotation=i, stamp=0, showLength=0)
doc["keys"] = [k0, k1]; doc["keyCount"] = 2
json.dump(doc, sys.stdout)
PY
  "$CLI" set "$WORK/shows/base.kvx" --keys "$WORK/k$i.json" --out "$WORK/shows/show$i.kvx" \
         --length "$FRAMES"
done
shows=("$WORK"/shows/show*.kvx)
opts=(--size "$SIZE" --fps 25 --frame-rate 2500 --no-fields --codec "$CODEC" --length "$FRAMES")

now() { date +%s.%N; }
t0=$(now)
"$CLI" batch --out "$WORK/batch/x.avi" "${shows[@]}" "${opts[@]}" 2>/dev/null
t1=$(now)
batch=$(echo "$t1 - $t0" | bc)

started_here=0
if ! bash scripts/slurm_cluster.sh status "$BUILD/slurm" 2>/dev/null; then
  bash scripts/slurm_cluster.sh start "$BUILD/slurm" >/dev/null || { echo "farm_bench: no cluster" >&2; exit 1; }
  started_here=1
fi
export SLURM_CONF=$PWD/$BUILD/slurm/slurm.conf
t2=$(now)
"$CLI" farm "${shows[@]}" --out "$WORK/farm" --shared "$WORK/shared" "${opts[@]}" --wait >/dev/null
t3=$(now)
farm=$(echo "$t3 - $t2" | bc)
[ "$started_here" = 1 ] && bash scripts/slurm_cluster.sh stop "$BUILD/slurm"

for m in "$WORK"/batch/*B.avi; do
  cmp -s "$m" "$WORK/farm/$(basename "$m")" || { echo "farm_bench: $(basename "$m") differs" >&2; exit 1; }
done
cpus=$(nproc)
per_show=$(echo "scale=3; $batch / $SHOWS" | bc)
overhead=$(echo "scale=3; $farm - $batch" | bc)
printf 'farm_bench: %d shows of %d frames at %s (%s), %d CPUs here\n' "$SHOWS" "$FRAMES" "$SIZE" "$CODEC" "$cpus"
printf '  batch on this machine:       %8.2f s  (%.2f s a show)\n' "$batch" "$per_show"
printf '  farm --wait, local cluster:  %8.2f s  (overhead %.2f s)\n' "$farm" "$overhead"
# On N nodes like this one the shows spread over N machines; the overhead (staging, scheduling,
# the join job) stays about the same.
for n in 1 2 4 8 20; do
  per_node=$(( (SHOWS + n - 1) / n ))
  printf '  expected on %2d nodes:        %8.2f s\n' "$n" \
    "$(echo "scale=3; $per_node * $per_show + $overhead" | bc)"
done
