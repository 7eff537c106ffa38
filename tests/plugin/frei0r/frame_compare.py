#!/usr/bin/env python3
"""Helpers of frei0r_hosts.sh: writes the test's turned show and compares host frames with
`kinevista-cli render` pictures.

  frame_compare.py show OUT.kvx PICTURE   a rotated, tilted show with a border over PICTURE
  frame_compare.py compare RAW W H INDEX TGA   frame INDEX of a raw top-first BGRA stream
                                               against a 32-bit Targa; exit 1 when they differ
"""
import struct
import sys


def write_show(out, picture):
    # One picture record with four keys (x, y, width, rotation, tiltA, tiltB, time) and the
    # trailer: matte colour, a border of 12 %, no pre-blur, contrast and brightness 50.
    keys = [(320, 240, 640, 0, 0, 0, 0), (300, 260, 360, 25, 8, -6, 90),
            (340, 220, 300, -40, -10, 12, 180), (320, 240, 500, 10, 4, 4, 300)]
    path = picture.encode()[:255]
    rec = bytearray(6) + path + bytes(256 - len(path)) + struct.pack("<I", len(keys))
    for i, (x, y, w, rot, ta, tb, t) in enumerate(keys):
        stamp = 110.0 if i == 0 else 0.0
        show_length = 900.0 if i == 0 else 0.0
        rec += struct.pack("<12f", x, stamp, y, w, 0, ta, tb, rot, 1000.0, 0, 0, show_length)
        rec += struct.pack("<iHH", t, 0, 0)
    trailer = struct.pack("<IiiHH4x", 0x00204060, 12, 0, 1, 0x3232)
    size = 8 + len(rec) + len(trailer)
    block = struct.pack("<HHI", 0x1234, 4321, size) + rec + trailer
    with open(out, "wb") as f:
        f.write(block)


def targa_top_first(path):
    d = open(path, "rb").read()
    idl, w, h, desc = d[0], d[12] | d[13] << 8, d[14] | d[15] << 8, d[17]
    px = d[18 + idl:18 + idl + w * h * 4]
    rows = [px[i * w * 4:(i + 1) * w * 4] for i in range(h)]
    if not desc & 32:
        rows.reverse()
    return b"".join(rows)


def compare(raw, w, h, index, tga):
    n = w * h * 4
    with open(raw, "rb") as f:
        f.seek(index * n)
        got = f.read(n)
    want = targa_top_first(tga)
    if got == want:
        return 0
    diff = sum(1 for a, b in zip(got, want) if a != b) if len(got) == len(want) else -1
    print(f"{raw} frame {index} differs from {tga}: {diff} bytes (sizes {len(got)}, {len(want)})")
    return 1


if __name__ == "__main__":
    if sys.argv[1] == "show":
        write_show(sys.argv[2], sys.argv[3])
    else:
        sys.exit(compare(sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5]),
                         sys.argv[6]))
