#!/usr/bin/env bash
# `make bench`: the renderer's and the movie pipeline's figures that docs/ARCHITECTURE.md quotes,
# with the load average before and after (figures taken on a busy machine mean little).
#   bench/run_benchmarks.sh BUILD_DIR
# KV_BENCH_ALL=1 runs every case of both benchmarks (several minutes) instead of the quoted ones.
# The zoompan columns need $KV_PEER_SCRIPT (ffmpeg's zoompan doing the same move); without it
# they are left out.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)
export KV_BENCH_DIR=${KV_BENCH_DIR:-/tmp/kbbench}
bash "$here/make_bench_picture.sh" "$KV_BENCH_DIR"

load() { echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) ($(nproc) cores)"; }
render_filter='Full720/bands:2|Full1080/bands:2|Rotated720/bands:2/simd:1|Interlaced720/bands:2'
movie_filter='InProcess/|Cli/MJPG|Zoompan/MJPG|EncoderAlone/MJPG'
if [ "${KV_BENCH_ALL:-0}" = 1 ]; then render_filter=.; movie_filter=.; fi

load
echo "== renderer: frames a second of a 4000 x 3000 picture (simd:0 = portable kernels)"
"$build/bin/render_bench" --benchmark_filter="$render_filter"
echo
echo "== movies: 300 frames of the benchmark move, medians of ${KV_BENCH_RUNS:-3} runs"
KV_BENCH_STAGES=${KV_BENCH_STAGES:-0} "$build/bin/movie_bench" --benchmark_filter="$movie_filter"
load
