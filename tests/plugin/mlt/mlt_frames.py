#!/usr/bin/env python3
"""Helpers of mlt_producer.sh: frames of raw RGB streams against `kinevista-cli render`
pictures and against each other.

  mlt_frames.py compare RAW W H INDEX TGA     frame INDEX of a raw top-first RGB stream against
                                              a 32-bit Targa (compared as RGB)
  mlt_frames.py same RAW_A RAW_B W H          two streams hold the same frames
  mlt_frames.py count RAW W H                 prints how many frames a stream holds
  mlt_frames.py bars RAW W H INDEX LEFT       the first and last LEFT columns of the frame are
                                              the matte (17, 17, 17) and the middle is not
Exit 1 (with a line saying where) when the check fails.
"""
import sys


def targa_rgb_top_first(path):
    d = open(path, "rb").read()
    idl, w, h, bpp, desc = d[0], d[12] | d[13] << 8, d[14] | d[15] << 8, d[16], d[17]
    step = bpp // 8
    px = d[18 + idl:18 + idl + w * h * step]
    rows = []
    for y in range(h):
        row = px[y * w * step:(y + 1) * w * step]
        rgb = bytearray(w * 3)
        rgb[0::3] = row[2::step]
        rgb[1::3] = row[1::step]
        rgb[2::3] = row[0::step]
        rows.append(bytes(rgb))
    if not desc & 32:
        rows.reverse()
    return b"".join(rows)


def frame(raw, w, h, index):
    n = w * h * 3
    with open(raw, "rb") as f:
        f.seek(index * n)
        return f.read(n)


def compare(raw, w, h, index, tga):
    got, want = frame(raw, w, h, index), targa_rgb_top_first(tga)
    if got == want:
        return 0
    diff = sum(1 for a, b in zip(got, want) if a != b) if len(got) == len(want) else -1
    print(f"{raw} frame {index} differs from {tga}: {diff} bytes (sizes {len(got)}, {len(want)})")
    return 1


def same(a, b, w, h):
    n = w * h * 3
    with open(a, "rb") as fa, open(b, "rb") as fb:
        index = 0
        while True:
            x, y = fa.read(n), fb.read(n)
            if x != y:
                diff = sum(1 for p, q in zip(x, y) if p != q)
                print(f"{a} and {b} differ at frame {index} (frame sizes {len(x)}, {len(y)}; "
                      f"{diff} bytes; first pixels {x[:6].hex()} and {y[:6].hex()})")
                return 1
            if not x:
                return 0
            index += 1


def bars(raw, w, h, index, left):
    d = frame(raw, w, h, index)
    matte = bytes([17, 17, 17])
    at = lambda x, y: d[(y * w + x) * 3:(y * w + x) * 3 + 3]
    sides = all(at(x, y) == matte for y in range(0, h, 7)
                for x in list(range(0, left)) + list(range(w - left, w)))
    middle = sum(at(x, h // 2) != matte for x in range(left, w - left))
    if len(d) == w * h * 3 and sides and middle > (w - 2 * left) // 2:
        return 0
    print(f"{raw} frame {index}: no matte bars of {left} columns at each side")
    return 1


if __name__ == "__main__":
    a = sys.argv
    if a[1] == "compare":
        sys.exit(compare(a[2], int(a[3]), int(a[4]), int(a[5]), a[6]))
    if a[1] == "same":
        sys.exit(same(a[2], a[3], int(a[4]), int(a[5])))
    if a[1] == "count":
        import os
        print(os.path.getsize(a[2]) // (int(a[3]) * int(a[4]) * 3))
        sys.exit(0)
    if a[1] == "bars":
        sys.exit(bars(a[2], int(a[3]), int(a[4]), int(a[5]), int(a[6])))
    sys.exit(2)
