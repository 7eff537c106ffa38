#!/usr/bin/env bash
# The Windows build's checks: cross-builds the Windows programs and test programs, runs them
# under Wine in a fresh Wine prefix inside the build folder, and compares what they write with
# the Linux build's programs.
#
#   tests/windows/run_wine_tests.sh LINUX_BUILD WIN_BUILD
#
# When MinGW-w64 or Wine is missing the checks are skipped with a message that says so. The last
# line is "N passed, N failed"; the exit status is non-zero when a check failed.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
src="$(cd "$here/../.." && pwd)"
linux="$(cd "${1:?linux build folder}" && pwd)"
win="${2:?windows build folder}"
mkdir -p "$win" && win="$(cd "$win" && pwd)"
jobs="${JOBS:-2}"

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || missing+=("MinGW-w64 (g++-mingw-w64-x86-64-posix)")
wine_program="$(command -v wine64 || command -v wine || ls /usr/lib/wine/wine64 2>/dev/null || true)"
[ -n "$wine_program" ] || missing+=("Wine (wine, wine64)")
command -v ffprobe >/dev/null 2>&1 || missing+=("ffprobe (ffmpeg)")
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows tests SKIPPED: not installed: ${missing[*]} (run 'make setup')"
  exit 0
fi

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name="$1"
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}

# --- The cross build: only what these checks need ----------------------------------------------
start=$(date +%s)
cmake -S "$src" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$win/configure.log" 2>&1 || {
  cat "$win/configure.log"
  echo "0 passed, 1 failed"
  exit 1
}
win_tests=(core_base_tests core_show_tests core_document_tests core_picture_tests core_render_tests
           platform_os_win_tests platform_video_win_tests)
if ! nice cmake --build "$win" -j "$jobs" --target kinevista-cli kinevista-host kinevista_plugin \
     "${win_tests[@]}" >"$win/build.log" 2>&1; then
  grep -E "error|Error" "$win/build.log" | head -40
  echo "0 passed, 1 failed"
  exit 1
fi
echo "windows build: $(($(date +%s) - start)) s"
for tool in kinevista-cli kinevista-host Kinevista.avx; do
  [ -e "$linux/bin/$tool" ] || { echo "missing $linux/bin/$tool: build Linux first"; exit 1; }
done

# --- Wine: a fresh prefix of its own, no debug chatter, ended when the checks end ---------------
export WINEPREFIX="$win/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
rm -rf "$WINEPREFIX"
wineserver_program="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
trap '"$wineserver_program" -k >/dev/null 2>&1 || true' EXIT
wine() { "$wine_program" "$@"; }
wine wineboot -i >/dev/null 2>&1
# These checks open no window anyone looks at: Wine's null display driver needs no X server.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$wineserver_program" -w

work="$win/wine-checks"
rm -rf "$work"
mkdir -p "$work/public" "$work/linux-public"
# Windows paths of the build machine's files: drive Z: is its root.
winpath() { echo "Z:$1" | tr / '\\'; }
export KINEVISTA_PUBLIC
KINEVISTA_PUBLIC="$(winpath "$work/public")"
linux_env=(env KINEVISTA_PUBLIC="$work/linux-public")

# --- The core's test programs -----------------------------------------------------------------
for t in "${win_tests[@]}"; do
  if (cd "$work" && wine "$win/bin/$t.exe" --gtest_brief=1 >"$work/$t.log" 2>&1) &&
     grep -q "PASSED" "$work/$t.log"; then
    pass "$t.exe under Wine ($(grep -o '[0-9]* tests\? ran' "$work/$t.log" | head -1 ||
                                grep -o 'PASSED.*' "$work/$t.log"))"
  else
    grep -E "Failure|FAILED|Expected|Which is" "$work/$t.log" | head -30
    fail "$t.exe under Wine"
  fi
done

# --- The plug-in DLL's exports and imports ----------------------------------------------------
exports="$(x86_64-w64-mingw32-objdump -p "$win/bin/Kinevista.avx" |
  sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\]/ && !/Table/ {print $NF}' | sort | tr '\n' ' ')"
check "Kinevista.avx exports exactly the four entries ($exports)" \
  test "$exports" = "ACFCanUnloadNow ACFGetClassFactory ACFRegisterComponent ACFRegisterPlugin "
imports="$(x86_64-w64-mingw32-objdump -p "$win/bin/Kinevista.avx" | awk '/DLL Name:/ {print $3}' | tr '\n' ' ')"
check "Kinevista.avx needs only system DLLs ($imports)" \
  bash -c "! echo '$imports' | grep -qiE 'libstdc|libgcc|libwinpthread'"

# --- Shows over a BMP and over the JPEG example, rendered by both builds ------------------------
mkdir -p "$work/examples"
cp "$src/examples/example.jpg" "$work/examples/"
(cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" picture examples/example.jpg \
   --out examples/example.bmp >/dev/null 2>&1)
cp "$src/examples/example.kvx" "$work/jpeg.kvx"
# The same show over the BMP: the stored picture path differs only in its extension.
python3 - "$work/jpeg.kvx" "$work/bmp.kvx" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
assert data.count(b'examples/example.jpg') == 1
open(sys.argv[2], 'wb').write(data.replace(b'examples/example.jpg', b'examples/example.bmp'))
PY

# Compares two BMP pictures of the same size after their headers: passes when the headers are
# equal and at least the given share of samples are within the limit; prints the figures.
within() {  # within LIMIT SHARE A B
  python3 - "$@" <<'PY'
import sys
limit, share = int(sys.argv[1]), float(sys.argv[2])
a, b = open(sys.argv[3], 'rb').read(), open(sys.argv[4], 'rb').read()
if len(a) != len(b) or len(a) < 100:
    print(f"sizes differ: {len(a)} and {len(b)} bytes"); sys.exit(1)
diffs = [abs(x - y) for x, y in zip(a[54:], b[54:])]
close = sum(d <= limit for d in diffs) / len(diffs)
print(f"{100 * close:.2f}% of samples within {limit} level(s); mean difference "
      f"{sum(diffs) / len(diffs):.3f}, largest {max(diffs)}")
sys.exit(0 if a[:54] == b[:54] and close >= share else 1)
PY
}

for frame in 0 45 150; do
  (cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" render bmp.kvx --frame $frame \
     --size 320x240 --out "linux-bmp-$frame.bmp" >/dev/null 2>&1)
  (cd "$work" && wine "$win/bin/kinevista-cli.exe" render bmp.kvx --frame $frame \
     --size 320x240 --out "win-bmp-$frame.bmp" >/dev/null 2>&1)
  check "render over a BMP, frame $frame: same bytes" \
    cmp -s "$work/linux-bmp-$frame.bmp" "$work/win-bmp-$frame.bmp"
done
# The same picture as Targa, TIFF and Photoshop files (written by ImageMagick when it is there):
# decoded by the same readers on both systems, rendered to the same bytes.
if command -v convert >/dev/null 2>&1; then
  for ext in tga tif psd; do
    convert "$work/examples/example.bmp" -compress none "$work/examples/example.$ext"
    python3 -c "
data = open('$work/jpeg.kvx', 'rb').read()
open('$work/$ext.kvx', 'wb').write(data.replace(b'examples/example.jpg', b'examples/example.$ext'))"
    (cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" render $ext.kvx --frame 45 \
       --size 320x240 --out "linux-$ext.bmp" >/dev/null 2>&1)
    (cd "$work" && wine "$win/bin/kinevista-cli.exe" render $ext.kvx --frame 45 --size 320x240 \
       --out "win-$ext.bmp" >/dev/null 2>&1)
    check "render over the example as .$ext: same bytes" \
      bash -c "test -s '$work/linux-$ext.bmp' && cmp -s '$work/linux-$ext.bmp' '$work/win-$ext.bmp'"
  done
else
  echo "SKIPPED: Targa, TIFF and Photoshop renders (ImageMagick's convert is not installed)"
fi
(cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" render jpeg.kvx --frame 45 \
   --size 320x240 --out linux-jpeg.bmp >/dev/null 2>&1)
(cd "$work" && wine "$win/bin/kinevista-cli.exe" render jpeg.kvx --frame 45 --size 320x240 \
   --out win-jpeg.bmp >/dev/null 2>&1)
# GDI+ is not libjpeg-turbo: it upsamples the example's 4:2:0 colour differently, so samples
# differ by a level or two, and by more only along sharp colour edges (about 0.3% of them under
# Wine's GDI+). The check says so: 99% of samples within two levels.
check "render over the JPEG example (GDI+): 99% of samples within two levels" \
  within 2 0.99 "$work/linux-jpeg.bmp" "$work/win-jpeg.bmp"

# --- Show files: the same bytes from both systems ------------------------------------------------
(cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" resave jpeg.kvx linux-resaved.kvx \
   >/dev/null 2>&1)
(cd "$work" && wine "$win/bin/kinevista-cli.exe" resave jpeg.kvx win-resaved.kvx >/dev/null 2>&1)
# A saved show draws a new show id, so the two differ there alone: both are read back by the
# other system's tool and must describe the same show.
(cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" info win-resaved.kvx \
   >linux-reads-win.json 2>/dev/null)
(cd "$work" && wine "$win/bin/kinevista-cli.exe" info linux-resaved.kvx 2>/dev/null |
   tr -d '\r' >win-reads-linux.json)
check "show files: each system reads the other's saved show the same" \
  bash -c "test -s '$work/linux-reads-win.json' &&
           diff <(grep -v showId '$work/linux-reads-win.json') \
                <(grep -v showId '$work/win-reads-linux.json') >/dev/null"
check "show files: the saved bytes differ at most in the show id" \
  python3 -c "
import sys
a, b = open('$work/linux-resaved.kvx', 'rb').read(), open('$work/win-resaved.kvx', 'rb').read()
diff = [i for i in range(min(len(a), len(b))) if a[i] != b[i]]
print(f'{len(a)} and {len(b)} bytes, differing at {diff}')
sys.exit(0 if len(a) == len(b) and len(diff) <= 2 and (not diff or diff[-1] - diff[0] <= 1) else 1)"

# --- An uncompressed AVI through AVIFile ------------------------------------------------------
movie=(movie bmp.kvx --size 64x48 --end 00:00:12 --no-fields)
(cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" "${movie[@]}" --out linux.avi \
   >/dev/null 2>&1)
(cd "$work" && wine "$win/bin/kinevista-cli.exe" "${movie[@]}" --out win.avi >/dev/null 2>&1)
frames() {
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
    -of csv=p=0 "$1" 2>/dev/null
}
linux_frames="$(frames "$work/linux.avi")"
win_frames="$(frames "$work/win.avi")"
check "movie: the AVI from Windows has the Linux movie's $linux_frames frames ($win_frames)" \
  test -n "$linux_frames" -a "$linux_frames" = "$win_frames" -a "${linux_frames:-0}" -gt 1
raw() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt bgra - 2>/dev/null | md5sum | cut -d' ' -f1; }
check "movie: every frame of the AVI equals the Linux render" \
  test "$(raw "$work/linux.avi")" = "$(raw "$work/win.avi")"

# --- The host tool with the plug-in DLL -------------------------------------------------------
(cd "$work" && "$linux/bin/kinevista-host" catalogue "$linux/bin/Kinevista.avx" \
   >linux-catalogue.txt 2>/dev/null)
(cd "$work" && wine "$win/bin/kinevista-host.exe" catalogue "$(winpath "$win/bin/Kinevista.avx")" \
   >win-catalogue.txt 2>/dev/null)
# Windows ends the printed lines with CR LF; the lines are the same.
check "kinevista-host.exe catalogues Kinevista.avx as the Linux host tool does" \
  bash -c "test -s '$work/linux-catalogue.txt' &&
           tr -d '\r' <'$work/win-catalogue.txt' | cmp -s '$work/linux-catalogue.txt' -"
(cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-host" render "$linux/bin/Kinevista.avx" \
   --data bmp.kvx --frame 45 --size 160x120 --out linux-host.tga >/dev/null 2>&1)
(cd "$work" && wine "$win/bin/kinevista-host.exe" render "$(winpath "$win/bin/Kinevista.avx")" \
   --data bmp.kvx --frame 45 --size 160x120 --out win-host.tga >/dev/null 2>&1)
check "kinevista-host.exe renders the same frame as the Linux host tool" \
  bash -c "test -s '$work/linux-host.tga' && cmp -s '$work/linux-host.tga' '$work/win-host.tga'"

"$wineserver_program" -k >/dev/null 2>&1 || true
echo "windows checks: $(($(date +%s) - start)) s in all"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
