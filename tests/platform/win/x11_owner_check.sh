#!/bin/sh
# Runs the owner check program on an Xvfb display of its own: bare ("nowm") or under the openbox
# window manager ("openbox"); or ("lost") ends the display under a running program and checks that
# its display-lost handler ran. Exits 77 (skipped, with the reason) when a needed tool is missing.
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
    [ $tries -gt 600 ] && { echo "Xvfb did not start"; cat "$dir/xvfb.log"; exit 1; }
    sleep 0.05
done
DISPLAY=":$(cat "$dir/display")"
export DISPLAY
if [ "$mode" = openbox ]; then
    # A home of its own: window managers starting at once must not meet in the same files.
    HOME="$dir" XDG_CONFIG_HOME="$dir/config" XDG_CACHE_HOME="$dir/cache" \
        openbox --sm-disable >"$dir/wm.log" 2>&1 &
    wm=$!
    # The manager has taken the display once it names its check window on the root.
    tries=0
    until xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; do
        tries=$((tries + 1))
        [ $tries -gt 600 ] && { echo "openbox did not start"; cat "$dir/wm.log"; exit 1; }
        sleep 0.05
    done
fi
if [ "$mode" = lost ]; then
    KINEVISTA_BACKEND=sdl "$program" --lost "$dir/ready" "$dir/mark" >"$dir/out" 2>&1 &
    pid=$!
    tries=0
    while [ ! -s "$dir/ready" ]; do
        tries=$((tries + 1))
        [ $tries -gt 200 ] && { echo "the program did not show its window"; cat "$dir/out"; exit 1; }
        sleep 0.05
    done
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null
    xvfb=""
    wait "$pid"
    cat "$dir/out"
    grep -q "display lost" "$dir/mark" 2>/dev/null || { echo "the handler did not run"; exit 1; }
    echo "display-lost handler ran"
    exit 0
fi
KINEVISTA_BACKEND=sdl "$program" 2>&1
