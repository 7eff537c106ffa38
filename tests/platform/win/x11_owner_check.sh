#!/bin/sh
# Runs the owner check program on an Xvfb display of its own: bare ("nowm") or under the openbox
# window manager ("openbox"). Exits 77 (skipped, with the reason) when a needed tool is missing.
mode=$1
program=$2
command -v Xvfb >/dev/null 2>&1 || { echo "skipped: Xvfb is not installed"; exit 77; }
if [ "$mode" = openbox ]; then
    for tool in openbox xprop; do
        command -v $tool >/dev/null 2>&1 || { echo "skipped: $tool is not installed"; exit 77; }
    done
fi
dir=$(mktemp -d)
xvfb=""
wm=""
cleanup() {
    [ -n "$wm" ] && kill "$wm" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
# Xvfb writes its display number once it serves.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
xvfb=$!
tries=0
while [ ! -s "$dir/display" ]; do
    tries=$((tries + 1))
    [ $tries -gt 200 ] && { echo "Xvfb did not start"; cat "$dir/xvfb.log"; exit 1; }
    sleep 0.05
done
DISPLAY=":$(cat "$dir/display")"
export DISPLAY
if [ "$mode" = openbox ]; then
    openbox --sm-disable >"$dir/wm.log" 2>&1 &
    wm=$!
    # The manager has taken the display once it names its check window on the root.
    tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        tries=$((tries + 1))
        [ $tries -gt 200 ] && { echo "openbox did not start"; cat "$dir/wm.log"; exit 1; }
        sleep 0.05
    done
fi
KINEVISTA_BACKEND=sdl "$program" 2>&1
