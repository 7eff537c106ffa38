#!/usr/bin/env bash
# Kdenlive itself with the shipped generator: Project > Generators lists "Kinevista Show", and its
# dialog previews a show once the show file is typed in (the preview turns from the placeholder's
# black and white to the show's colours). Run on a display of its own, without a window manager
# and under openbox; a screenshot of each preview is left in OUT_DIR (kdenlive_generator_*.png).
# Skipped (exit 77) without Kdenlive, Xvfb, xdotool or ImageMagick: make check does not install
# Kdenlive.
# Usage: kdenlive_generator.sh BUILD_DIR SOURCE_DIR OUT_DIR
set -euo pipefail
BUILD=$(cd "$1" && pwd)
SRC=$(cd "$2" && pwd)
OUT=$(cd "$3" && pwd)
for tool in kdenlive Xvfb xdotool import dbus-run-session openbox; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
WORK=$(mktemp -d /tmp/kv-kdenlive-XXXXXX)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    rm -rf "$WORK"
}
trap cleanup EXIT

# The build's module among MLT's own, and the generator where Kdenlive looks for its own.
source "$SRC/tests/plugin/mlt/module_folder.sh"
module_folder "$WORK" "$BUILD"
mkdir -p "$WORK/xdg/kdenlive/generators"
cp "$SRC/plugin/mlt/kdenlive/kinevista.xml" "$WORK/xdg/kdenlive/generators/"
mkdir -p "$WORK/shows"
cp "$SRC/examples/example.kvx" "$SRC/examples/example.jpg" "$WORK/shows/"

# wait_for SECONDS COMMAND...: polls COMMAND until it succeeds (10 times a second).
wait_for() {
    local tries=$(($1 * 10))
    shift
    until "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ "$tries" -gt 0 ] || return 1
        sleep 0.1
    done
}
# focus WINDOW: gives WINDOW the keyboard (through the window manager when there is one).
focus() {
    if [ "$wm" = openbox ]; then
        xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    else
        xdotool windowfocus --sync "$1" >/dev/null 2>&1 || true
    fi
}
not_visible() {
    ! xdotool search --onlyvisible --name . 2>/dev/null | grep -qx "$1"
}
# client_area WINDOW: "X Y WIDTH HEIGHT" of the window's own area on the screen (inside any frame)
client_area() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
                             /Width:/ {w = $NF} /Height:/ {h = $NF} END {print x, y, w, h}'
}
many_colours() {
    [ "$(colours "$@")" -gt 1000 ]
}
# screen_sum X Y W H: a checksum of that part of the screen; changed SUM X Y W H: it differs
screen_sum() {
    import -window root -crop "$3x$4+$1+$2" rgb:- 2>/dev/null | md5sum
}
changed() {
    [ "$(screen_sum "$2" "$3" "$4" "$5")" != "$1" ]
}
# colours X Y W H: the number of distinct colours in that part of the screen
colours() {
    import -window root -crop "$3x$4+$1+$2" +repage png:- 2>/dev/null | identify -format '%k' -
}

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

session() {  # session bare|openbox
    local wm=$1 home=$WORK/$1
    mkdir -p "$home/home" "$home/config" "$home/run"
    chmod 700 "$home/run"
    Xvfb -displayfd 3 -screen 0 1600x1000x24 -nolisten tcp 3>"$home/display" >/dev/null 2>&1 &
    pids+=($!)
    wait_for 30 grep -q . "$home/display" || { fail "$wm: Xvfb did not start"; return; }
    export DISPLAY=:$(cat "$home/display")
    if [ "$wm" = openbox ]; then
        openbox >/dev/null 2>&1 &
        pids+=($!)
    fi
    HOME=$home/home XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
        XDG_DATA_HOME=$WORK/xdg MLT_REPOSITORY=$WORK/modules MLT_DATA=$WORK/data \
        KINEVISTA_PUBLIC=$home LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb \
        dbus-run-session -- kdenlive >"$home/kdenlive.log" 2>&1 &
    local kdenlive=$!
    pids+=($kdenlive)
    # Kdenlive's first start may ask about its configuration and lists missing packages: answer
    # Continue and OK until its main window is there.
    local tries=1800 id
    until xdotool search --onlyvisible --name '^Untitled / ' >/dev/null 2>&1; do
        for answer in '^Question:alt+o' '^Welcome to Kdenlive:Return'; do
            id=$(xdotool search --onlyvisible --name "${answer%:*}" 2>/dev/null | head -1) || true
            [ -n "$id" ] || continue
            focus "$id"
            xdotool key "${answer##*:}"
            wait_for 20 not_visible "$id" || true
        done
        tries=$((tries - 1))
        if [ "$tries" -le 0 ] || ! kill -0 "$kdenlive" 2>/dev/null; then
            fail "$wm: Kdenlive's main window did not appear:"; tail -20 "$home/kdenlive.log"
            return
        fi
        sleep 0.1
    done
    local main
    main=$(xdotool search --onlyvisible --name '^Untitled / ' | head -1)
    # Project > Generators > Kinevista Show, by the menus' own keys, each key once the menu it
    # goes to has appeared (the top left quarter of the main window changed).
    focus "$main"
    local x y w h
    read -r x y w h < <(client_area "$main")
    for key in alt+p g; do
        local before
        before=$(screen_sum "$x" "$y" $((w / 2)) $((h / 2)))
        xdotool key "$key"
        wait_for 30 changed "$before" "$x" "$y" $((w / 2)) $((h / 2)) ||
            { fail "$wm: $key opened no menu"; return; }
    done
    xdotool key k
    if ! wait_for 60 xdotool search --onlyvisible --name '^Kinevista Show'; then
        import -window root "$OUT/kdenlive_generator_${wm}_menu.png" 2>/dev/null || true
        fail "$wm: Project > Generators has no Kinevista Show (screen in kdenlive_generator_${wm}_menu.png)"
        return
    fi
    local dialog
    dialog=$(xdotool search --onlyvisible --name '^Kinevista Show' | head -1)
    focus "$dialog"
    read -r x y w h < <(client_area "$dialog")
    # The preview is the dialog's upper half; before a show is chosen it is the placeholder.
    local px=$((x + w / 4)) py=$((y + h / 8)) pw=$((w / 2)) ph=$((h / 3))
    local before after
    before=$(colours $px $py $pw $ph)
    # Into the show file field (left of its folder button, three quarters down the dialog): the
    # show's path, then leave the field.
    xdotool mousemove $((x + w * 718 / 1000)) $((y + h * 763 / 1000)) click 1
    xdotool type --delay 10 "$WORK/shows/example.kvx"
    xdotool key Tab
    if ! wait_for 60 many_colours $px $py $pw $ph; then
        fail "$wm: the preview did not show the show ($before colours before, $(colours $px $py $pw $ph) after)"
    fi
    after=$(colours $px $py $pw $ph)
    import -window root "$OUT/kdenlive_generator_${wm}.png" 2>/dev/null || true
    echo "$wm: the generator's preview went from $before to $after colours"
    [ "$before" -lt 100 ] || fail "$wm: the placeholder had $before colours"
    kill "$kdenlive" 2>/dev/null || true
    pkill -P "$kdenlive" 2>/dev/null || true
}

session bare
session openbox
if [ "$failures" -ne 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "Kdenlive lists the Kinevista Show generator and previews a show"
