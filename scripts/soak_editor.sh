#!/usr/bin/env bash
# Long random sessions with the real editor: `scripts/soak_editor.sh MINUTES [BUILD]` runs the
# seeded random-session test for half the minutes under openbox and half without a window
# manager, and prints how many sessions and actions ran clean in each. A failure prints the
# seed to replay it with (KV_SEED=... KV_SESSIONS=1).
set -uo pipefail
minutes=${1:?usage: soak_editor.sh MINUTES [BUILD]}
build=${2:-build}
bin="$build/bin/editor_x11_tests"
if [ ! -x "$bin" ]; then
  echo "soak: $bin is missing; build the target editor_x11_tests first" >&2
  exit 1
fi
half=$(( minutes * 30 ))
status=0
for wm in UnderOpenbox WithoutWindowManager; do
  echo "soak: $wm for $half seconds"
  out=$(KV_SOAK_SECONDS=$half KV_SESSIONS=1000000 "$bin" --gtest_brief=1 \
        --gtest_filter="X11/RandomSession.*/$wm" 2>&1)
  rc=$?
  echo "$out" | grep -E "random sessions|failed|KV_SEED" || true
  [ $rc -eq 0 ] || status=1
done
exit $status
