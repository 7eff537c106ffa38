#!/usr/bin/env bash
# The Windows build with names beyond ASCII, under Wine: shows whose pictures sit in a folder
# named "Straße é Ø 中文" (a BMP and a JPEG read through GDI+) made, described, rendered and
# made into movies by kinevista-cli.exe, each compared with the Linux build's result; shows and
# outputs with such names; a picture path kept in the ANSI code page by an older program;
# "Fête.kvx" and "Fète.kvx" kept apart; a missing "Schöner.kvx" told as missing; and the names
# layer's own tests (platform_os_win_tests).
#
#   tests/windows/run_wine_names_tests.sh LINUX_BUILD WIN_BUILD
#
# Skipped with a message when MinGW-w64, Wine or ffmpeg is missing. The last line is "N passed,
# N failed"; the exit status is non-zero when a check failed.
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
command -v ffmpeg >/dev/null 2>&1 || missing+=("ffmpeg")
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows name tests SKIPPED: not installed: ${missing[*]} (run 'make setup')"
  exit 0
fi
[ -x "$linux/bin/kinevista-cli" ] || { echo "missing $linux/bin/kinevista-cli: build Linux first"; exit 1; }

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
check() {  # check NAME COMMAND...: passes when the command succeeds
  local name="$1"
  shift
  if "$@"; then pass "$name"; else fail "$name"; fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# --- The cross build: only what these checks need ----------------------------------------------
start=$(date +%s)
cmake -S "$src" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$win/configure-names.log" 2>&1 || {
  cat "$win/configure-names.log"
  fail "configure the Windows build"
  finish
}
if ! nice cmake --build "$win" -j "$jobs" --target kinevista-cli platform_os_win_tests \
     >"$win/build-names.log" 2>&1; then
  grep -E "error|Error" "$win/build-names.log" | head -40
  fail "build the Windows programs"
  finish
fi
echo "windows build: $(($(date +%s) - start)) s"

# --- Wine: a fresh prefix of its own, no debug chatter, ended when the checks end ---------------
export WINEPREFIX="$win/wineprefix-names"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
rm -rf "$WINEPREFIX"
wineserver_program="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
trap '"$wineserver_program" -k >/dev/null 2>&1 || true' EXIT
wine() { "$wine_program" "$@"; }
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
"$wineserver_program" -w

work="$win/wine-names"
rm -rf "$work"
mkdir -p "$work/public" "$work/linux-public"
winpath() { echo "Z:$1" | tr / '\\'; }
export KINEVISTA_PUBLIC
KINEVISTA_PUBLIC="$(winpath "$work/public")"
linux_env=(env KINEVISTA_PUBLIC="$work/linux-public")
cli() { (cd "$work" && wine "$win/bin/kinevista-cli.exe" "$@"); }
linux_cli() { (cd "$work" && "${linux_env[@]}" "$linux/bin/kinevista-cli" "$@"); }

# --- The names layer's tests --------------------------------------------------------------------
if (cd "$work" && wine "$win/bin/platform_os_win_tests.exe" --gtest_brief=1 \
      --gtest_filter='Utf8Names*' >"$work/os_tests.log" 2>&1) &&
   grep -q "PASSED" "$work/os_tests.log"; then
  pass "the names layer's tests under Wine ($(grep -o 'PASSED.*' "$work/os_tests.log"))"
else
  grep -E "Failure|FAILED|Expected|Which is|Value of" "$work/os_tests.log" | head -30
  fail "the names layer's tests under Wine"
fi

# --- The programs ask for the UTF-8 code page -------------------------------------------------
for program in kinevista-cli kinevista-host kinevista; do
  [ -e "$win/bin/$program.exe" ] || continue
  check "$program.exe carries the manifest that asks for the UTF-8 code page" \
    bash -c "LC_ALL=C grep -aq '<activeCodePage[^>]*>UTF-8</activeCodePage>' '$win/bin/$program.exe'"
done

# --- Pictures in a folder named with Latin, Nordic and Chinese letters ---------------------------
letters="Straße é Ø 中文"
mkdir -p "$work/$letters" "$work/shows" "$work/linux"
cp "$src/examples/example.jpg" "$work/$letters/中文 é.jpg"
linux_cli picture "$src/examples/example.jpg" --out "$work/$letters/$letters.bmp" >/dev/null 2>&1
# The shows lie in a folder of their own: the picture is found by the path the show keeps, not
# beside the show.
for kind in bmp jpg; do
  [ $kind = bmp ] && picture="$letters/$letters.bmp" || picture="$letters/中文 é.jpg"
  show="shows/$letters $kind.kvx"
  cli new "$picture" --out "$show" >"$work/new-$kind.log" 2>&1
  status=$?
  check "new on a .$kind in \"$letters\": exit 0 ($status), the show made under its name" \
    test $status -eq 0 -a -s "$work/$show"
  cli info "$show" >"$work/info-$kind.json" 2>"$work/info-$kind.err"
  status=$?
  check "info on \"$show\": exit 0 ($status), the picture's path as made" \
    bash -c "test $status -eq 0 && tr -d '\r' <'$work/info-$kind.json' | grep -qF '$letters\\\\${picture#*/}'"
  # The Linux build's own show of the same picture: the same framing.
  linux_cli new "$picture" --out "linux/$kind.kvx" >/dev/null 2>&1
done

frame() {  # frame SHOW OUT (Windows) / the same on Linux
  cli render "$1" --frame 45 --size 320x240 --out "$2" >"$work/render.log" 2>&1
}
frame "shows/$letters bmp.kvx" "Bild $letters.bmp"
status=$?
linux_cli render linux/bmp.kvx --frame 45 --size 320x240 --out linux/bmp.bmp >/dev/null 2>&1
check "render over the BMP in \"$letters\" to \"Bild $letters.bmp\": exit 0 ($status), the Linux bytes" \
  bash -c "test $status -eq 0 && test -s '$work/linux/bmp.bmp' && cmp -s '$work/linux/bmp.bmp' '$work/Bild $letters.bmp'"
frame "shows/$letters jpg.kvx" "jpeg.bmp"
status=$?
linux_cli render linux/jpg.kvx --frame 45 --size 320x240 --out linux/jpg.bmp >/dev/null 2>&1
# GDI+ decodes the JPEG's colour a level or two apart from libjpeg-turbo (run_wine_tests.sh).
check "render over the JPEG in \"$letters\" (GDI+): exit 0 ($status), 99% of samples within two levels" \
  bash -c "test $status -eq 0 && python3 - '$work/linux/jpg.bmp' '$work/jpeg.bmp' <<'PY'
import sys
a, b = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()
if len(a) != len(b) or len(a) < 100 or a[:54] != b[:54]:
    sys.exit(1)
close = sum(abs(x - y) <= 2 for x, y in zip(a[54:], b[54:])) / (len(a) - 54)
print(f'{100 * close:.2f}% of samples within two levels')
sys.exit(0 if close >= 0.99 else 1)
PY"

movie=(--size 64x48 --end 00:00:04 --no-fields)
cli movie "shows/$letters bmp.kvx" "${movie[@]}" --out "Film $letters.avi" >"$work/movie.log" 2>&1
status=$?
linux_cli movie linux/bmp.kvx "${movie[@]}" --out linux/film.avi >/dev/null 2>&1
raw() { ffmpeg -v error -i "$1" -f rawvideo -pix_fmt bgra - 2>/dev/null | md5sum | cut -d' ' -f1; }
linux_frames="$(raw "$work/linux/film.avi")"
win_frames="$(raw "$work/Film $letters.avi")"
check "movie of the BMP show to \"Film $letters.avi\": exit 0 ($status), every frame the Linux one" \
  test $status -eq 0 -a -s "$work/Film $letters.avi" -a -s "$work/linux/film.avi" -a \
       "$linux_frames" = "$win_frames"

# --- A picture path an older program kept in the ANSI code page ------------------------------
# The same show as the BMP one, over a copy of its picture named "Schöner Garten.bmp", with the
# stored path's "ö" rewritten as the single byte of Windows-1252 (Wine's code page here): the
# picture is found by that path, as the older program meant it.
mkdir -p "$work/Altes Programm"
cp "$work/$letters/$letters.bmp" "$work/Altes Programm/Schöner Garten.bmp"
cli new "Altes Programm/Schöner Garten.bmp" --out shows/legacy.kvx >/dev/null 2>&1
python3 - "$work/shows/legacy.kvx" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()
name = 'Schöner Garten.bmp'
assert data.count(name.encode() + b'\0') == 1
data = data.replace(name.encode() + b'\0', name.encode('cp1252') + b'\0\0')
open(sys.argv[1], 'wb').write(data)
PY
patched=$?
frame shows/legacy.kvx legacy.bmp
status=$?
check "render over a picture path kept in Windows-1252: exit 0 ($status), the Linux bytes" \
  bash -c "test $patched -eq 0 -a $status -eq 0 && cmp -s '$work/linux/bmp.bmp' '$work/legacy.bmp'"

# --- Names that differ in one accent are two files ------------------------------------------------
mkdir -p "$work/resave"
cp "$src/examples/example.kvx" "$work/resave/plain.kvx"
cli resave resave/plain.kvx resave/Fête.kvx >/dev/null 2>&1
first=$?
cli resave resave/plain.kvx resave/Fète.kvx >/dev/null 2>&1
second=$?
check "resave to Fête.kvx and Fète.kvx: exit 0 both ($first, $second), two files of those names" \
  python3 -c "
import os, sys
names = sorted(os.listdir('$work/resave'))
print('   ', names)
sys.exit(0 if $first == 0 and $second == 0 and names == sorted(['plain.kvx', 'Fête.kvx', 'Fète.kvx'])
         and all(os.path.getsize(os.path.join('$work/resave', n)) > 0 for n in names) else 1)"
linux_cli info resave/Fête.kvx >/dev/null 2>&1
first=$?
linux_cli info resave/Fète.kvx >/dev/null 2>&1
second=$?
check "the Linux build reads both saved shows ($first, $second)" test $first -eq 0 -a $second -eq 0

# --- A missing show is told as missing --------------------------------------------------------
cli info Schöner.kvx >"$work/missing.out" 2>"$work/missing.err"
status=$?
told="$(tr -d '\r' <"$work/missing.err")"
check "info Schöner.kvx (missing): exit 1 ($status), \"$told\"" \
  bash -c "test $status -eq 1 && grep -qF 'Schöner.kvx is missing' '$work/missing.err'"

"$wineserver_program" -k >/dev/null 2>&1 || true
echo "windows name checks: $(($(date +%s) - start)) s in all"
finish
