#!/usr/bin/env bash
# The editor's Windows build under Wine on a display of its own (Xvfb): the window layer's tests on
# the system's windows, a screenshot of the editor's main window with the example show, and the
# edit round trip (kinevista-host.exe starts kinevista.exe through the plug-in; the editor is
# worked through window messages sent by post_input.exe, as the system delivers input; the show
# that comes back is read by the Linux build's kinevista-cli).
#
#   tests/windows/run_wine_editor_tests.sh LINUX_BUILD WIN_BUILD
#
# Skipped with a message naming what is missing when MinGW-w64, Wine, Xvfb, xdotool or
# ImageMagick is not installed. The last line is "N passed, N failed"; the exit status is non-zero
# when a check failed. The screenshot is WIN_BUILD/editor_under_wine.png; the editor at 192 dots
# per inch (Wine's LogPixels), whose menu bar must be twice as tall as at 96, is
# WIN_BUILD/editor_under_wine_192dpi.png.
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
command -v Xvfb >/dev/null 2>&1 || missing+=("Xvfb (xvfb)")
command -v xdotool >/dev/null 2>&1 || missing+=("xdotool")
command -v import >/dev/null 2>&1 || missing+=("ImageMagick (imagemagick)")
if [ ${#missing[@]} -gt 0 ]; then
  echo "windows editor tests SKIPPED: not installed: ${missing[*]} (run 'make setup')"
  exit 0
fi
[ -x "$linux/bin/kinevista-cli" ] || { echo "missing $linux/bin/kinevista-cli: build Linux first"; exit 1; }

passed=0
failed=0
pass() { passed=$((passed + 1)); echo "PASS: $1"; }
fail() { failed=$((failed + 1)); echo "FAIL: $1"; }
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
  exit $?
}

# --- The cross build: the editor, the host tool, the plug-in and the layer's tests ---------------
start=$(date +%s)
cmake -S "$src" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$win/configure-editor.log" 2>&1 || {
  cat "$win/configure-editor.log"
  fail "configure the Windows build"
  finish
}
if ! nice cmake --build "$win" -j "$jobs" --target kinevista kinevista-host kinevista_plugin \
     platform_win_tests platform_win_win_tests post_input >"$win/build-editor.log" 2>&1; then
  grep -E "error|Error" "$win/build-editor.log" | head -40
  fail "build the Windows editor"
  finish
fi
echo "windows editor build: $(($(date +%s) - start)) s"

# --- A display and a fresh Wine prefix of their own, both ended when the checks end --------------
work="$win/wine-editor"
rm -rf "$work"
mkdir -p "$work/public"
exec 5>"$work/display"
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 2>/dev/null &
xvfb=$!
exec 5>&-
export WINEPREFIX="$win/wineprefix-editor"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installer prompts
wineserver_program="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
cleanup() {
  "$wineserver_program" -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { fail "Xvfb did not start"; finish; }
export DISPLAY=":$(head -n1 "$work/display")"
rm -rf "$WINEPREFIX"
"$wine_program" wineboot -i >/dev/null 2>&1
"$wineserver_program" -w
winpath() { echo "Z:$1" | tr / '\\'; }
# The Windows programs' public folder. It is given to them alone: the Linux kinevista-cli run
# below would take the Windows path for a relative one and make that folder where it runs.
public_win="$(winpath "$work/public")"
wine() { KINEVISTA_PUBLIC="$public_win" "$wine_program" "$@"; }

# Waits (at most a minute) for a visible window whose title matches; prints its X id. A search
# walks the window tree, and a window that goes while it walks ends it with an X error: it is
# asked again until it finds one.
find_window() {
  timeout 60 sh -c "until xdotool search --sync --onlyvisible --name '$1' 2>/dev/null; do :; done" |
    head -n1
}
# Waits (at most a minute) for a file the editor writes, or for a process to end.
wait_file() { timeout 60 sh -c "until [ -e '$1' ]; do sleep 0.05; done"; }
# Sends window messages to the window with this title (see post_input.cpp).
post() { wine "$win/bin/post_input.exe" "$@" >/dev/null 2>&1 || echo "post_input: $* not delivered"; }
wait_gone() { timeout "$2" sh -c "while kill -0 $1 2>/dev/null; do sleep 0.05; done"; }
# The stage shows the picture once the show has loaded and rendered: the screen is taken into
# the file given until it has the picture's colours (at most a minute). Prints the colour count.
wait_for_picture() {
  local colours=0
  for _ in $(seq 120); do
    import -window root "$1" 2>/dev/null
    colours="$(identify -format '%k' "$1" 2>/dev/null || echo 0)"
    [ "${colours:-0}" -gt 200 ] && break
    sleep 0.5
  done
  echo "${colours:-0}"
}
# The height of the menu bar's face below the caption in a screenshot, measured down a column three
# quarters across the window with this X id (clear of the menu titles and the caption's boxes).
menu_bar_height() {
  python3 - "$1" "$(xdotool getwindowgeometry --shell "$2" 2>/dev/null)" <<'PY'
import subprocess, sys
CAPTION, BAR_FACE = 0x1C3A6A, 0xF0F0F0
shot = sys.argv[1]
geometry = dict(line.split("=", 1) for line in sys.argv[2].split() if "=" in line)
try:
    x, y, w, h = (int(geometry[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))
    size = subprocess.run(["identify", "-format", "%w %h", shot], capture_output=True, text=True)
    sw, sh = (int(v) for v in size.stdout.split())
except (KeyError, ValueError):
    print(0)
    sys.exit(0)
raw = subprocess.run(["convert", shot, "-depth", "8", "rgb:-"], capture_output=True).stdout
if len(raw) < sw * sh * 3:
    print(0)
    sys.exit(0)
def at(px, py):
    i = (py * sw + px) * 3
    return raw[i] << 16 | raw[i + 1] << 8 | raw[i + 2]
cx, row, bottom = min(sw - 1, max(0, x + w * 3 // 4)), max(0, y), min(y + h, sh)
while row < bottom and at(cx, row) != CAPTION: row += 1
while row < bottom and at(cx, row) == CAPTION: row += 1
top = row
while row < bottom and at(cx, row) == BAR_FACE: row += 1
print(row - top)
PY
}

# --- The window layer's own tests: headless, and on the system's windows ------------------------
if (cd "$win/bin" && wine platform_win_tests.exe >"$work/layer-headless.log" 2>&1); then
  pass "window layer tests (headless backend)"
else
  tail -30 "$work/layer-headless.log"
  fail "window layer tests (headless backend)"
fi
if (cd "$win/bin" && wine platform_win_win_tests.exe >"$work/layer.log" 2>&1); then
  pass "window layer on the system's windows"
else
  tail -30 "$work/layer.log"
  fail "window layer on the system's windows"
fi

# --- The main window with the example show -------------------------------------------------------
shot="$win/editor_under_wine.png"
rm -f "$shot"
(cd "$src" && exec env KINEVISTA_PUBLIC="$public_win" "$wine_program" "$win/bin/kinevista.exe" "$(winpath "$src/examples/example.kvx")" \
  >"$work/editor.log" 2>&1) &
editor=$!
main_window="$(find_window '^Fernquill Kinevista - example$')"
viewer="$(find_window '^Viewer$')"
if [ -n "$main_window" ] && [ -n "$viewer" ]; then
  colours="$(wait_for_picture "$shot")"
  if [ "${colours:-0}" -gt 200 ]; then
    pass "screenshot of the editor under Wine ($shot, $colours colours)"
    bar96="$(menu_bar_height "$shot" "$main_window")"
  else
    fail "screenshot of the editor under Wine ($colours colours)"
  fi
  post "Fernquill Kinevista - example" down:17 key:81 up:17
  wait_gone "$editor" 30 || fail "the editor did not end on Ctrl+Q"
else
  cat "$work/editor.log"
  fail "the editor's windows did not appear under Wine"
fi
kill "$editor" 2>/dev/null
"$wineserver_program" -k >/dev/null 2>&1
"$wineserver_program" -w

# --- The edit round trip through the host tool and the plug-in -----------------------------------
cp "$src/examples/example.kvx" "$work/effect.kvx"
cp "$src/examples/example.jpg" "$work/example.jpg"
recovery="$work/public/kvdata-recovery.kvx"
(cd "$src" && wine "$win/bin/kinevista-host.exe" install "$(winpath "$win/bin")" >/dev/null 2>&1)
(cd "$src" && exec env KINEVISTA_PUBLIC="$public_win" "$wine_program" "$win/bin/kinevista-host.exe" edit "$(winpath "$win/bin/Kinevista.avx")" \
  --data "$(winpath "$work/effect.kvx")" --rate 29.97 --length 300 \
  --out "$(winpath "$work/back.kvx")" >"$work/host.log" 2>&1) &
host=$!
main_window="$(find_window '^Fernquill Kinevista$')"
if [ -n "$main_window" ] && [ -n "$(find_window '^Viewer$')" ]; then
  # Keys sent before the show has loaded would find no key to move: wait for its picture.
  [ "$(wait_for_picture "$win/editor_under_wine_edit_before.png")" -gt 200 ] ||
    fail "the host's show did not appear in the editor"
  # The pointer over the stage gives it the keyboard: five steps right, two down, a key.
  post "Fernquill Kinevista" move:700,500 key:39 key:39 key:39 key:39 key:39 key:40 key:40 key:13
  if wait_file "$recovery"; then
    import -window root "$win/editor_under_wine_edit.png" 2>/dev/null
    post "Fernquill Kinevista" down:17 key:81 up:17  # Ctrl+Q applies and closes
  else
    fail "no recovery copy after the key edit"
  fi
  status=0
  if wait_gone "$host" 60; then
    wait "$host"
    status=$?
  else
    fail "the host's edit did not end"
    "$wineserver_program" -k >/dev/null 2>&1
  fi
  [ "$status" -eq 0 ] || { cat "$work/host.log"; fail "kinevista-host.exe edit ended with $status"; }
  if "$linux/bin/kinevista-cli" info "$work/back.kvx" >"$work/back.json" 2>&1 &&
     "$linux/bin/kinevista-cli" info "$work/effect.kvx" >"$work/effect.json" 2>&1 &&
     python3 - "$work/effect.json" "$work/back.json" <<'PY'
import json, sys
before, after = (json.load(open(p)) for p in sys.argv[1:3])
k0, b0 = before["keys"][0], after["keys"][0]
# The keys between stay as they were; the last one (frame 360) is cut to the host's 300 frames.
ok = (b0["x"] == k0["x"] + 5 and b0["y"] == k0["y"] + 2 and
      len(after["keys"]) == len(before["keys"]) and
      after["keys"][1:-1] == before["keys"][1:-1] and after["keys"][-1]["time"] == 300)
print("key 0 moved from (%s, %s) to (%s, %s)" % (k0["x"], k0["y"], b0["x"], b0["y"]))
sys.exit(0 if ok else 1)
PY
  then
    pass "edit round trip: the host got the edited show back"
  else
    cat "$work/back.json" 2>/dev/null | head -20
    fail "edit round trip: the show that came back"
  fi
else
  cat "$work/host.log"
  fail "the editor's windows did not appear for the host's edit"
fi
kill "$host" 2>/dev/null
"$wineserver_program" -k >/dev/null 2>&1
"$wineserver_program" -w

# --- The main window at 192 dots per inch: twice the device pixels for each logical one ---------
# The density is read when Wine starts: set while no Wine program runs.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
"$wineserver_program" -w
# From the settings the first start had: no window placed where the runs at 96, on a logical
# screen twice as large, left it.
rm -f "$work/public/Kinevista.ini"
shot2x="$win/editor_under_wine_192dpi.png"
rm -f "$shot2x"
(cd "$src" && exec env KINEVISTA_PUBLIC="$public_win" "$wine_program" "$win/bin/kinevista.exe" "$(winpath "$src/examples/example.kvx")" \
  >"$work/editor-192dpi.log" 2>&1) &
editor=$!
main_window="$(find_window '^Fernquill Kinevista - example$')"
if [ -n "$main_window" ] && [ -n "$(find_window '^Viewer$')" ]; then
  colours="$(wait_for_picture "$shot2x")"
  bar192="$(menu_bar_height "$shot2x" "$main_window")"
  if [ "${bar96:-0}" -gt 0 ] && [ "${bar192:-0}" -eq $((2 * bar96)) ]; then
    pass "the editor at 192 dpi: menu bar $bar192 px, $bar96 at 96 ($shot2x)"
  else
    fail "the editor at 192 dpi: menu bar ${bar192:-?} px, expected twice ${bar96:-?} ($shot2x)"
  fi
  post "Fernquill Kinevista - example" down:17 key:81 up:17
  wait_gone "$editor" 30 || fail "the editor did not end on Ctrl+Q at 192 dpi"
else
  cat "$work/editor-192dpi.log"
  fail "the editor's windows did not appear under Wine at 192 dpi"
fi
kill "$editor" 2>/dev/null
finish
