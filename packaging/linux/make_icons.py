#!/usr/bin/env python3
"""Draws the program's PNG icons (the sign of kinevista.svg) at the sizes desktops ask for.

The shapes are the SVG's, on its 32-unit grid, rasterised with 4x4 samples a pixel so that the
small sizes stay smooth; the standard library writes the PNG files, so the build needs no image
tool. Usage: make_icons.py OUT_FOLDER SIZE... (writes OUT_FOLDER/SIZExSIZE/kinevista.png).
"""
import os
import struct
import sys
import zlib

BLUE = (0x1E, 0x3C, 0x78)
GREEN = (0x28, 0x8C, 0x3C)
HILL = (0x5A, 0xAA, 0x5A)
LIGHT = (0xE6, 0xE6, 0xE6)


def colour_at(x, y):
    """The colour at (x, y) on the 32-unit grid, or None outside the rounded square."""
    r = 3.0
    cx = min(max(x, r), 32 - r)
    cy = min(max(y, r), 32 - r)
    if (x - cx) ** 2 + (y - cy) ** 2 > r * r:
        return None
    if 6.5 <= x <= 25.5 and 6.5 <= y <= 25.5 and not (8.5 < x < 23.5 and 8.5 < y < 23.5):
        return LIGHT
    if y <= 22 and 4 <= x <= 24:
        # Inside the hill: below both of its sides.
        if y >= 22 - (x - 4) * 1.2 and y >= 22 - (24 - x) * 1.2:
            return HILL
    if 4 <= x <= 28 and 20 <= y <= 28:
        return GREEN
    return BLUE


def draw(size):
    n = 4 if size <= 64 else 2  # large sizes need fewer samples to look smooth
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter: none
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(n):
                for sx in range(n):
                    c = colour_at((px + (sx + 0.5) / n) * 32 / size, (py + (sy + 0.5) / n) * 32 / size)
                    if c:
                        acc[0] += c[0]
                        acc[1] += c[1]
                        acc[2] += c[2]
                        acc[3] += 1
            a = acc[3]
            row += bytes([acc[0] // a, acc[1] // a, acc[2] // a] if a else [0, 0, 0])
            row.append(a * 255 // (n * n))
        rows.append(bytes(row))
    return b"".join(rows)


def png(size, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b""))


def main():
    out = sys.argv[1]
    for size in (int(s) for s in sys.argv[2:]):
        folder = os.path.join(out, f"{size}x{size}")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "kinevista.png"), "wb") as f:
            f.write(png(size, draw(size)))


if __name__ == "__main__":
    main()
