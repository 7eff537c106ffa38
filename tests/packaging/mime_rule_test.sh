#!/usr/bin/env bash
# The show file type's content rule (packaging/linux/kinevista-show.xml), installed with
# update-mime-database into a scratch XDG_DATA_HOME and asked through mimetype and xdg-mime:
# real shows in both byte orders are shows without their extension; files with the show mark
# and a block size the loader refuses, and files with neither, are not. Block sizes at and just
# past both ends of the range are tried in both byte orders.
# Usage: mime_rule_test.sh SOURCE_DIR KINEVISTA_CLI
set -uo pipefail
src=$1
cli=$2
for tool in update-mime-database xdg-mime mimetype python3; do
    command -v "$tool" >/dev/null || { echo "FAIL $tool is missing (make setup)"; exit 1; }
done
work=$(mktemp -d /tmp/kv-mime-XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAIL $*"
    failures=$((failures + 1))
}

mkdir -p "$work/data/mime/packages" "$work/home" "$work/files"
cp "$src/packaging/linux/kinevista-show.xml" "$work/data/mime/packages/"
update-mime-database "$work/data/mime" >"$work/update.log" 2>&1 ||
    { echo "FAIL update-mime-database:"; cat "$work/update.log"; exit 1; }
ask() {  # ask TOOL FILE: the type TOOL gives FILE with only the scratch data in front
    local tool=$1 file=$2
    if [ "$tool" = mimetype ]; then
        env -i PATH="$PATH" HOME="$work/home" XDG_DATA_HOME="$work/data" \
            XDG_DATA_DIRS=/usr/share mimetype --brief "$file"
    else
        env -i PATH="$PATH" HOME="$work/home" XDG_DATA_HOME="$work/data" \
            XDG_DATA_DIRS=/usr/share XDG_CONFIG_HOME="$work/home/config" \
            xdg-mime query filetype "$file"
    fi
}
show_type=application/x-kinevista-show

# The example in its own byte order, and turned into the other one number by number (the
# loader's own reading of both must agree, or the turned copy is not a real show).
cp "$src/examples/example.kvx" "$work/files/little"
python3 - "$work/files/little" "$work/files/big" <<'PY'
import struct, sys
d = bytearray(open(sys.argv[1], "rb").read())
size = struct.unpack_from("<I", d, 4)[0]
def swap(at, n):
    d[at:at + n] = d[at:at + n][::-1]
pos = 8
while pos + 266 <= size - 20:
    count = struct.unpack_from("<I", d, pos + 262)[0]
    for k in range(count):
        key = pos + 266 + 56 * k
        for f in range(13):
            swap(key + 4 * f, 4)
        swap(key + 52, 2)
        swap(key + 54, 2)
    swap(pos + 262, 4)
    pos += 266 + 56 * count
t = size - 20
for at, n in ((t, 4), (t + 4, 4), (t + 8, 4), (t + 12, 2), (t + 14, 2), (t + 16, 4),
              (0, 2), (2, 2), (4, 4)):
    swap(at, n)
open(sys.argv[2], "wb").write(d)
PY
[ "$(head -c 2 "$work/files/big" | od -An -tx1 | tr -d ' ')" = 1234 ] ||
    fail "the turned example does not start 12 34"
for order in little big; do
    cp "$work/files/$order" "$work/$order.kvx"
    "$cli" info "$work/$order.kvx" 2>&1 | grep -v '"showId"' >"$work/$order.info" ||
        fail "kinevista-cli info does not read the $order-endian example"
done
cmp -s "$work/little.info" "$work/big.info" ||
    fail "the two byte orders of the example read differently: $(diff "$work/little.info" "$work/big.info")"

# header ORDER SIZE OUT: the example with its block size field set to SIZE in ORDER.
header() {
    python3 -c "
import struct, sys
d = bytearray(open('$work/files/$1', 'rb').read())
struct.pack_into('$([ "$1" = little ] && echo '<' || echo '>')I', d, 4, $2)
open('$3', 'wb').write(d)"
}
printf 'plain words, not a show\n' >"$work/files/notes"
printf '\x34\x12' >"$work/files/mark-only"
for order in little big; do
    for size in 8 574 4096 16384 24576 32764 32765; do header $order $size "$work/files/$order-$size"; done
    for size in 0 7 32766 32767 32768 65536 4294967295 2147483656; do
        header $order $size "$work/files/$order-bad-$size"
    done
done

for tool in mimetype xdg-mime; do
    for file in "$work"/files/*; do
        name=$(basename "$file")
        got=$(ask "$tool" "$file" 2>&1)
        case $name in
            little | big | little-[0-9]* | big-[0-9]*) want=show ;;
            *) want=other ;;
        esac
        if [ "$want" = show ] && [ "$got" != "$show_type" ]; then
            fail "$tool: $name is $got, not a show"
        elif [ "$want" = other ] && [ "$got" = "$show_type" ]; then
            fail "$tool: $name is taken for a show"
        fi
    done
    # The extension alone still makes a show.
    [ "$(ask "$tool" "$work/big.kvx")" = "$show_type" ] || fail "$tool: big.kvx is not a show"
done

checked=$(find "$work/files" -type f | wc -l)
echo "$failures failures; $checked files asked through mimetype and through xdg-mime"
[ "$failures" -eq 0 ]
