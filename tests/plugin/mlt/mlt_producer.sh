#!/usr/bin/env bash
# MLT's "kinevista" producer inside melt, frame for frame against `kinevista-cli render` and
# `kinevista-cli movie`: the show after 50 frames of colour starts at its own frame 0, an in
# point starts it there, the clip is the show's length, parallel rendering gives the same
# frames, a relative show path is found in the document's root from another folder, and the
# documents of `kinevista-cli mlt` play several shows in order, pillarboxed in a wider profile.
# The build's module is used through a module folder of MLT's own modules with it beside them.
# Usage: mlt_producer.sh BUILD_DIR SOURCE_DIR timeline|documents
#   timeline   the producer after colour, with an in point, on parallel workers, a missing show
#   documents  a document's relative path, kinevista-cli mlt at 1080p and dv_ntsc
set -euo pipefail
BUILD=$1
SRC=$2
PART=$3
CLI=$BUILD/bin/kinevista-cli
for tool in melt ffmpeg python3; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is missing (make setup installs it)"; exit 1; }
done
WORK=$(mktemp -d /tmp/kv-mlt-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
F="python3 $SRC/tests/plugin/mlt/mlt_frames.py"

source "$SRC/tests/plugin/mlt/module_folder.sh"
module_folder "$WORK" "$BUILD"
export MLT_REPOSITORY=$WORK/modules MLT_DATA=$WORK/data
export KINEVISTA_PUBLIC=$WORK/public
mkdir -p "$KINEVISTA_PUBLIC"
printf '[Kinevista]\r\nFrameRate=2997\r\n' >"$KINEVISTA_PUBLIC/Kinevista.ini"

mkdir -p "$WORK/shows" "$WORK/elsewhere"
cp "$SRC/examples/example.kvx" "$SRC/examples/example.jpg" "$WORK/shows/"
SHOW=$WORK/shows/example.kvx
cd "$WORK/elsewhere"  # every melt runs from a folder that holds no show
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# render_tga FRAME W H [render options...]: the show's frame as `render` draws it, in r<FRAME>.tga
render_tga() {
    local frame=$1 w=$2 h=$3
    shift 3
    "$CLI" render "$SHOW" --frame "$frame" --size "${w}x${h}" "$@" \
        --out "$WORK/r$frame.tga" >/dev/null 2>&1
}
# expect RAW W H INDEX SHOWFRAME WHAT: frame INDEX of the stream is render's SHOWFRAME
expect() {
    local raw=$1 w=$2 h=$3 index=$4 frame=$5
    [ -f "$WORK/r$frame.tga" ] || render_tga "$frame" "$w" "$h"
    $F compare "$raw" "$w" "$h" "$index" "$WORK/r$frame.tga" || fail "$6"
}
melt_raw() {  # melt_raw OUT.raw MELT-ARGS...: rgb24 frames on one thread
    local out=$1
    shift
    melt -quiet "$@" -consumer "avformat:$out" f=rawvideo pix_fmt=rgb24 real_time=-1 \
        >/dev/null 2>"$WORK/melt.err" || { cat "$WORK/melt.err"; fail "melt $*"; }
}

if [ "$PART" = timeline ]; then
# 720p at 29.97: 50 frames of colour, then the show without an out point.
length=$("$CLI" movie "$SHOW" --size 64x48 --out "$WORK/length.avi" >/dev/null 2>&1 &&
         ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of csv=p=0 "$WORK/length.avi")
[ "$length" -gt 100 ] || fail "the example show's movie has $length frames"
melt_raw "$WORK/a.raw" -profile atsc_720p_2997 colour:red out=49 "kinevista:$SHOW"
count=$($F count "$WORK/a.raw" 1280 720)
[ "$count" -eq $((50 + length)) ] || fail "colour and show made $count frames, not 50 + $length"
expect "$WORK/a.raw" 1280 720 50 0 "timeline frame 50 is not show frame 0"
expect "$WORK/a.raw" 1280 720 80 30 "timeline frame 80 is not show frame 30"
expect "$WORK/a.raw" 1280 720 $((49 + length)) $((length - 1)) "the clip's last frame is not the show's"

# MLT's parallel rendering (two workers, each image on either) makes the same frames of the
# show (its first 120, to keep the test short; the colour before it is MLT's own affair).
melt -quiet -profile atsc_720p_2997 colour:red out=49 "kinevista:$SHOW" out=119 \
    -consumer "avformat:$WORK/p.raw" f=rawvideo pix_fmt=rgb24 real_time=-2 >/dev/null 2>&1
frame_bytes=$((1280 * 720 * 3))
dd if="$WORK/a.raw" of="$WORK/a120.raw" bs=$frame_bytes skip=50 count=120 status=none
dd if="$WORK/p.raw" of="$WORK/p120.raw" bs=$frame_bytes skip=50 status=none
$F same "$WORK/a120.raw" "$WORK/p120.raw" 1280 720 ||
    fail "real_time=-2 made other frames of the show than one thread"
rm -f "$WORK"/a*.raw "$WORK"/p*.raw

# An in point of 30: the clip starts at show frame 30 (out=99: 70 frames of it).
melt_raw "$WORK/i.raw" -profile atsc_720p_2997 colour:red out=49 "kinevista:$SHOW" in=30 out=99
count=$($F count "$WORK/i.raw" 1280 720)
[ "$count" -eq 120 ] || fail "in=30 out=99 made $count frames, not 50 + 70"
expect "$WORK/i.raw" 1280 720 50 30 "with in=30 timeline frame 50 is not show frame 30"
expect "$WORK/i.raw" 1280 720 80 60 "with in=30 timeline frame 80 is not show frame 60"
rm -f "$WORK/i.raw"

# A show that cannot be shown: melt goes on with the placeholder and one line on stderr.
melt -quiet -profile atsc_720p_2997 "kinevista:$WORK/none.kvx" out=4 \
    -consumer "avformat:$WORK/none.raw" f=rawvideo pix_fmt=rgb24 real_time=-1 \
    >/dev/null 2>"$WORK/none.err" || true
if [ "$(grep -c "kinevista: cannot show $WORK/none.kvx: no such file" "$WORK/none.err")" -ne 1 ] ||
   [ "$($F count "$WORK/none.raw" 1280 720)" -ne 5 ]; then
    fail "a missing show under melt:"; cat "$WORK/none.err"
fi

# A settings file written by hand with Unix line ends is read as well: its 16:9 aspect and ease
# give render's frame with those settings, not the defaults'.
mkdir -p "$WORK/public-lf"
printf '[Kinevista]\nFrameRate=2997\nAspectMode=5625\nEaseType=2\n' >"$WORK/public-lf/Kinevista.ini"
KINEVISTA_PUBLIC=$WORK/public-lf melt_raw "$WORK/lf.raw" -profile atsc_720p_2997 "kinevista:$SHOW" out=30
"$CLI" render "$SHOW" --frame 30 --size 1280x720 --set AspectMode=5625 --set EaseType=2 \
    --out "$WORK/lf.tga" >/dev/null 2>&1
$F compare "$WORK/lf.raw" 1280 720 30 "$WORK/lf.tga" ||
    fail "the producer did not take AspectMode and EaseType from a settings file with \\n ends"
$F compare "$WORK/lf.raw" 1280 720 30 "$WORK/r30.tga" >/dev/null 2>&1 &&
    fail "a 16:9 aspect from a settings file with \\n ends gave the 4:3 frame"
rm -f "$WORK/lf.raw"

# MLT's description of the producer.
melt -query producer=kinevista >"$WORK/query" 2>/dev/null || true
for want in "title: Kinevista show" "identifier: resource" "title: Fields" "title: Quality" \
            "title: Fill"; do
    grep -q "$want" "$WORK/query" || fail "melt -query producer=kinevista lacks \"$want\""
done

fi

if [ "$PART" = documents ]; then
# A document naming its show relative to its root, rendered from another folder.
mkdir -p "$WORK/project/media"
cp "$SRC/examples/example.kvx" "$SRC/examples/example.jpg" "$WORK/project/media/"
cat >"$WORK/project/edit.kdenlive" <<XML
<?xml version="1.0" encoding="utf-8"?>
<mlt LC_NUMERIC="C" version="7.12.0" root="$WORK/project" producer="main_bin">
  <profile description="HD 720p 29.97 fps" width="1280" height="720" progressive="1"
           sample_aspect_num="1" sample_aspect_den="1" display_aspect_num="16"
           display_aspect_den="9" frame_rate_num="30000" frame_rate_den="1001" colorspace="709"/>
  <producer id="producer0" in="0" out="89">
    <property name="mlt_service">kinevista</property>
    <property name="resource">media/example.kvx</property>
    <property name="kdenlive:clipname">Kinevista Show</property>
  </producer>
  <playlist id="playlist0">
    <entry producer="producer0" in="10" out="69"/>
  </playlist>
  <tractor id="tractor0" in="0" out="59">
    <track producer="playlist0"/>
  </tractor>
</mlt>
XML
melt_raw "$WORK/k.raw" "$WORK/project/edit.kdenlive"
count=$($F count "$WORK/k.raw" 1280 720)
[ "$count" -eq 60 ] || fail "the document's clip made $count frames, not 60"
expect "$WORK/k.raw" 1280 720 0 10 "the relative show's first frame is not show frame 10"
expect "$WORK/k.raw" 1280 720 59 69 "the relative show's last frame is not show frame 69"
rm -f "$WORK/k.raw"

# kinevista-cli mlt: two shows, 1080p at 29.97, played by melt from another folder into an
# uncompressed AVI, frame for frame the two shows' own movies one after the other (progressive,
# as the profile is: movies are drawn as fields unless told otherwise).
(cd "$WORK/shows" &&
 "$CLI" new example.jpg --out in.kvx --move push-in --length 1 >/dev/null &&
 "$CLI" new example.jpg --out pan.kvx --move pan --length 1 >/dev/null) ||
    fail "kinevista-cli new made no short shows"
(cd "$WORK/shows" && "$CLI" mlt in.kvx pan.kvx --profile atsc_1080p_2997 --out "$WORK/two.mlt") ||
    fail "kinevista-cli mlt failed"
grep -q "<property name=\"resource\">$WORK/shows/in.kvx</property>" "$WORK/two.mlt" ||
    fail "kinevista-cli mlt wrote no absolute path: $(cat "$WORK/two.mlt")"
# movies RAW W H SCAN: the two shows' movies (SCAN --fields or --no-fields) one after the other
movies() {
    local raw=$1 w=$2 h=$3 scan=$4 show
    : >"$raw"
    for show in in pan; do
        "$CLI" movie "$WORK/shows/$show.kvx" --size "${w}x${h}" "$scan" --out "$WORK/$show.avi" \
            >/dev/null 2>&1 || fail "kinevista-cli movie $show.kvx"
        ffmpeg -v error -y -i "$WORK/$show.avi" -f rawvideo -pix_fmt rgb24 - >>"$raw"
    done
}
# melt_avi DOCUMENT RAW: melt's uncompressed AVI of the document, decoded
melt_avi() {
    melt -quiet "$1" -consumer "avformat:$WORK/melt.avi" vcodec=rawvideo pix_fmt=bgr24 \
        mlt_image_format=rgb an=1 real_time=-1 >/dev/null 2>&1 || fail "melt could not render $1"
    ffmpeg -v error -y -i "$WORK/melt.avi" -f rawvideo -pix_fmt rgb24 "$2"
}
melt_avi "$WORK/two.mlt" "$WORK/melt.raw"
movies "$WORK/movies.raw" 1920 1080 --no-fields
count=$($F count "$WORK/melt.raw" 1920 1080)
want=$($F count "$WORK/movies.raw" 1920 1080)
[ "$count" -eq "$want" ] && [ "$count" -eq 60 ] || fail "melt made $count frames, the movies $want"
$F same "$WORK/melt.raw" "$WORK/movies.raw" 1920 1080 ||
    fail "melt's frames of kinevista-cli mlt's document are not the movies'"
# The 4:3 shows stand between bars of 240 columns in the 16:9 frame.
$F bars "$WORK/melt.raw" 1920 1080 0 240 || fail "the 4:3 show is not pillarboxed at 1080p"
rm -f "$WORK"/*.raw "$WORK"/*.avi

# Interlaced NTSC: the profile's fields in the order the frame tells, as `movie --fields`.
(cd "$WORK/shows" && "$CLI" mlt in.kvx pan.kvx --profile dv_ntsc --out "$WORK/ntsc.mlt") ||
    fail "mlt --profile dv_ntsc"
melt_avi "$WORK/ntsc.mlt" "$WORK/ntsc.raw"
movies "$WORK/sd.raw" 720 480 --fields
$F same "$WORK/ntsc.raw" "$WORK/sd.raw" 720 480 || fail "dv_ntsc fields differ from movie --fields"
rm -f "$WORK"/*.raw "$WORK"/*.avi
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures checks failed"
    exit 1
fi
echo "MLT producer ($PART): melt's frames are the show's own"
