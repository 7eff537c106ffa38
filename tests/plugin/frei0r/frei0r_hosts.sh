#!/usr/bin/env bash
# The frei0r source inside FFmpeg, GStreamer and melt, frame for frame against `kinevista-cli render` with
# the same settings: the example show and a turned, tilted show with a border and video-safe
# colours, at 720x480 (the video size, non-square pixels as ever) and 1280x720 (square pixels,
# the 4:3 shows fitted between bars, and filled with the "fill" parameter as `render --fill`
# fills), a 25 fps host on the 29.97 show, GStreamer's frei0r-src-kinevista at 1280x720 fitted
# and filled, and melt into a lossless FFV1 movie; and MLT's description file. Usage: frei0r_hosts.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
BUILD=$1
SRC=$2
CLI=$BUILD/bin/kinevista-cli
export FREI0R_PATH=$BUILD/lib/frei0r-1
for tool in ffmpeg melt gst-launch-1.0 gst-inspect-1.0 python3; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (make setup installs it)"; exit 1; }
done
filters=$(ffmpeg -hide_banner -filters 2>/dev/null)
[[ $filters == *frei0r_src* ]] || { echo "FAIL: this ffmpeg has no frei0r_src"; exit 1; }
CMP="python3 $SRC/tests/plugin/frei0r/frame_compare.py"
WORK=$(mktemp -d /tmp/kv-frei0r-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export KINEVISTA_PUBLIC=$WORK/public
mkdir -p "$KINEVISTA_PUBLIC"
printf '[Kinevista]\r\nVideoColors=1\r\nFrameRate=2997\r\n' > "$KINEVISTA_PUBLIC/Kinevista.ini"
cd "$WORK"  # from another folder: the shows find their pictures by the look-up

cp "$SRC/examples/example.kvx" "$SRC/examples/example.jpg" "$WORK/"
$CMP show "$WORK/turned.kvx" 'C:\Users\x\pics\example.jpg'
failures=0

# check SHOW W H RATE STEP COUNT [fill]: COUNT host frames at RATE through FFmpeg, every STEP-th
# one compared with render at the show frame round(n / RATE x 29.97...); with "fill" the source's
# fifth parameter is set and render is given --fill.
check_ffmpeg() {
    local show=$1 w=$2 h=$3 rate=$4 step=$5 count=$6 fill=${7:-} raw=$WORK/ff.raw
    local params=$show renderFill=()
    if [ "$fill" = fill ]; then
        params="$show|n|1|0|y"  # show, fields, quality, time_unit (detected), fill
        renderFill=(--fill)
    fi
    ffmpeg -v error -y -f lavfi \
        -i "frei0r_src=size=${w}x${h}:framerate=$rate:filter_name=kinevista:filter_params=$params" \
        -frames:v "$count" -f rawvideo -pix_fmt bgra "$raw"
    for ((n = 0; n < count; n += step)); do
        local frame
        frame=$(python3 -c "from fractions import Fraction as F
print(round(F($n) / F('$rate') * F(30000, 1001)))")
        "$CLI" render "$show" --frame "$frame" --size "${w}x${h}" "${renderFill[@]}" \
            --out "$WORK/r.tga" >/dev/null 2>&1
        if ! $CMP compare "$raw" "$w" "$h" "$n" "$WORK/r.tga"; then
            echo "FAIL: ffmpeg $show ${w}x${h} $fill at $rate, host frame $n (show frame $frame)"
            failures=$((failures + 1))
        fi
    done
}

for show in "$WORK/example.kvx" "$WORK/turned.kvx"; do
    check_ffmpeg "$show" 720 480 30000/1001 37 300
    # HD: the 4:3 shows stand whole between bars, as `render` draws them by default, or fill.
    check_ffmpeg "$show" 1280 720 30000/1001 30 91
    check_ffmpeg "$show" 1280 720 30000/1001 45 91 fill
    check_ffmpeg "$show" 720 480 25 29 250
done
# The bars are there: the first and last 160 columns of a fitted 1280x720 frame are matte.
ffmpeg -v error -y -f lavfi \
    -i "frei0r_src=size=1280x720:framerate=30000/1001:filter_name=kinevista:filter_params=$WORK/example.kvx" \
    -frames:v 1 -f rawvideo -pix_fmt bgra "$WORK/bars.raw"
if ! python3 -c "
import sys
d = open('$WORK/bars.raw', 'rb').read()
row = 1280 * 4
bars = all(d[y * row + x * 4:y * row + x * 4 + 3] == bytes([17, 17, 17])
           for y in range(0, 720, 9) for x in list(range(0, 160, 7)) + list(range(1120, 1280, 7)))
sys.exit(0 if bars and len(d) == row * 720 else 1)"; then
    echo "FAIL: ffmpeg 1280x720 frames of the 4:3 example lack their side bars"
    failures=$((failures + 1))
fi

# A settings file written by hand with Unix line ends is read as well: its 16:9 aspect and ease
# give render's frame with those settings (and no side bars), not the defaults'.
mkdir -p "$WORK/public-lf"
printf '[Kinevista]\nVideoColors=1\nFrameRate=2997\nAspectMode=5625\nEaseType=2\n' \
    >"$WORK/public-lf/Kinevista.ini"
KINEVISTA_PUBLIC=$WORK/public-lf ffmpeg -v error -y -f lavfi \
    -i "frei0r_src=size=1280x720:framerate=30000/1001:filter_name=kinevista:filter_params=$WORK/example.kvx" \
    -frames:v 46 -f rawvideo -pix_fmt bgra "$WORK/lf.raw"
"$CLI" render "$WORK/example.kvx" --frame 45 --size 1280x720 --set AspectMode=5625 --set EaseType=2 \
    --out "$WORK/lf.tga" >/dev/null 2>&1
"$CLI" render "$WORK/example.kvx" --frame 45 --size 1280x720 --out "$WORK/default.tga" >/dev/null 2>&1
if ! $CMP compare "$WORK/lf.raw" 1280 720 45 "$WORK/lf.tga" ||
   $CMP compare "$WORK/lf.raw" 1280 720 45 "$WORK/default.tga" >/dev/null 2>&1; then
    echo "FAIL: the frei0r source did not take AspectMode and EaseType from a settings file with \\n ends"
    failures=$((failures + 1))
fi

# GStreamer: raw BGRA frames of frei0r-src-kinevista at 1280x720, with its own registry so that
# it scans this build's plug-in folder, the time unit detected (GStreamer passes seconds).
export GST_REGISTRY=$WORK/gst-registry.bin
if ! gst-inspect-1.0 frei0r-src-kinevista >"$WORK/gst-inspect.txt" 2>&1 ||
   ! grep -q "fill" "$WORK/gst-inspect.txt"; then
    echo "FAIL: GStreamer has no frei0r-src-kinevista with a fill property (gstreamer1.0-plugins-bad):"
    head -n 20 "$WORK/gst-inspect.txt"
    failures=$((failures + 1))
else
    for show in "$WORK/example.kvx" "$WORK/turned.kvx"; do
        for fill in false true; do
            gst-launch-1.0 -q frei0r-src-kinevista show="$show" fill=$fill num-buffers=121 \
                ! video/x-raw,format=BGRA,width=1280,height=720,framerate=30000/1001 \
                ! filesink location="$WORK/gst.raw" >/dev/null 2>"$WORK/gst.err"
            renderFill=()
            [ $fill = true ] && renderFill=(--fill)
            for n in 0 1 60 120; do
                "$CLI" render "$show" --frame "$n" --size 1280x720 "${renderFill[@]}" \
                    --out "$WORK/r.tga" >/dev/null 2>&1
                if ! $CMP compare "$WORK/gst.raw" 1280 720 "$n" "$WORK/r.tga"; then
                    echo "FAIL: gstreamer $show 1280x720 fill=$fill frame $n"; cat "$WORK/gst.err"
                    failures=$((failures + 1))
                fi
            done
        done
    done
fi

# melt: a profile of the show's size and rate, a lossless BGRA movie, its frames decoded.
cat > "$WORK/profile" <<PROFILE
description=720x480 29.97
frame_rate_num=30000
frame_rate_den=1001
width=720
height=480
progressive=1
sample_aspect_num=1
sample_aspect_den=1
display_aspect_num=3
display_aspect_den=2
colorspace=601
PROFILE
for show in "$WORK/example.kvx" "$WORK/turned.kvx"; do
    melt -quiet -profile "$WORK/profile" frei0r.kinevista show="$show" in=0 out=240 \
        -consumer "avformat:$WORK/m.mkv" vcodec=ffv1 pix_fmt=bgra >/dev/null 2>&1
    ffmpeg -v error -y -i "$WORK/m.mkv" -f rawvideo -pix_fmt bgra "$WORK/m.raw"
    frames=$(($(stat -c %s "$WORK/m.raw") / (720 * 480 * 4)))
    if [ "$frames" -ne 241 ]; then
        echo "FAIL: melt made $frames frames of $show, not 241"
        failures=$((failures + 1))
    fi
    for n in 0 1 59 120 240; do
        "$CLI" render "$show" --frame "$n" --size 720x480 --out "$WORK/r.tga" >/dev/null
        if ! $CMP compare "$WORK/m.raw" 720 480 "$n" "$WORK/r.tga"; then
            echo "FAIL: melt $show frame $n"
            failures=$((failures + 1))
        fi
    done
done

# MLT rendering on three threads (one plug-in instance each) makes the same movie.
melt -quiet -profile "$WORK/profile" frei0r.kinevista show="$WORK/turned.kvx" in=0 out=240 \
    -consumer "avformat:$WORK/m3.mkv" vcodec=ffv1 pix_fmt=bgra real_time=-3 >/dev/null 2>&1
ffmpeg -v error -y -i "$WORK/m3.mkv" -f rawvideo -pix_fmt bgra "$WORK/m3.raw"
if ! cmp -s "$WORK/m.raw" "$WORK/m3.raw"; then
    echo "FAIL: melt on three threads made other frames than on one"
    failures=$((failures + 1))
fi

# MLT's description, read from a data folder like the installed one with the file added.
mkdir -p "$WORK/mlt/frei0r"
for entry in /usr/share/mlt-7/*; do
    [ "$(basename "$entry")" = frei0r ] || ln -s "$entry" "$WORK/mlt/"
done
ln -s /usr/share/mlt-7/frei0r/* "$WORK/mlt/frei0r/"
cp "$SRC/plugin/frei0r/producer_frei0r.kinevista.yml" "$WORK/mlt/frei0r/"
MLT_DATA=$WORK/mlt melt -query producer=frei0r.kinevista >"$WORK/query" 2>/dev/null || true
for want in "title: Kinevista show" "title: Show" "title: Fields" "title: Quality" \
            "title: Time unit" "title: Fill"; do
    if ! grep -q "$want" "$WORK/query"; then
        echo "FAIL: melt -query producer=frei0r.kinevista lacks \"$want\":"; cat "$WORK/query"
        failures=$((failures + 1))
    fi
done

# A show that cannot be shown: FFmpeg goes on with the placeholder and one line on stderr.
ffmpeg -v error -y -f lavfi \
    -i "frei0r_src=size=320x240:framerate=25:filter_name=kinevista:filter_params=$WORK/none.kvx" \
    -frames:v 5 -f rawvideo -pix_fmt bgra "$WORK/none.raw" 2>"$WORK/none.err"
if [ "$(grep -c "kinevista: cannot show $WORK/none.kvx: no such file" "$WORK/none.err")" -ne 1 ] ||
   [ "$(stat -c %s "$WORK/none.raw")" -ne $((320 * 240 * 4 * 5)) ]; then
    echo "FAIL: a missing show under FFmpeg:"; cat "$WORK/none.err"
    failures=$((failures + 1))
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures comparisons failed"
    exit 1
fi
echo "frei0r source: FFmpeg, GStreamer and melt frames equal render's"
