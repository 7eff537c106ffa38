#!/usr/bin/env bash
# Runs the main job on the bundled example show.
set -euo pipefail
BUILD=${1:-build}
cd "$(dirname "$0")/.."
CLI=$BUILD/bin/kinevista-cli
if [ ! -x "$CLI" ]; then
  echo "demo: $CLI is not built" >&2
  exit 1
fi
exec "$CLI" demo examples
