#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 5) on its committed
# seed corpus (fuzz/corpus/<name>/), in a scratch copy so the committed corpus stays as it is.
set -euo pipefail
SECONDS_EACH=${1:-5}
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Debug -DKV_FUZZ=ON \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
shopt -s nullglob
# Leaks inside outside libraries, not the project's: see the file.
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan_suppressions.txt${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# Only the fuzz targets: the rest of the tree is not meant to link with the fuzzing runtime.
names=()
for src in fuzz/*_fuzzer.cpp; do names+=("$(basename "$src" .cpp)"); done
[ ${#names[@]} -gt 0 ] || { echo "fuzz: no targets"; exit 0; }
cmake --build "$BUILD" -j "$(nproc)" --target "${names[@]}" >/dev/null
for name in "${names[@]}"; do
  bin=$BUILD/bin/$name
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "fuzz: $name for ${SECONDS_EACH}s"
  status=0
  "$bin" -max_total_time="$SECONDS_EACH" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
         -print_final_stats=1 "$work" >"$work.log" 2>&1 || status=$?
  grep -E 'stat::number_of_executed_units|ERROR|SUMMARY' "$work.log" || true
  rm -rf "$work"
  if [ "$status" -ne 0 ]; then tail -40 "$work.log" >&2; echo "fuzz: $name failed" >&2; exit 1; fi
  rm -f "$work.log"
done
