#!/usr/bin/env bash
# Builds the Windows setup program WIN_BUILD/Kinevista-Setup-VERSION.exe with makensis from the
# programs of a finished Windows build (make windows). Prints the setup program's path.
# Usage: make_windows_installer.sh WIN_BUILD
set -euo pipefail
win=$(realpath "${1:?windows build folder}")
src=$(cd "$(dirname "$0")/.." && pwd)
command -v makensis >/dev/null || { echo "makensis is missing (apt-get install nsis)" >&2; exit 1; }
version=$(sed -n 's/^#define KV_VERSION_TEXT "\(.*\)"$/\1/p' "$win/generated/kv_version.h")
[ -n "$version" ] || { echo "no release number in $win/generated/kv_version.h" >&2; exit 1; }
for f in kinevista.exe kinevista-cli.exe kinevista-host.exe Kinevista.avx; do
    [ -s "$win/bin/$f" ] || { echo "missing $win/bin/$f: run make windows" >&2; exit 1; }
done
out="$win/Kinevista-Setup-$version.exe"
makensis -V2 -DVERSION="$version" -DBIN="$win/bin" -DOUT="$out" \
    "$src/packaging/windows/kinevista.nsi" >&2
echo "$out"
