"""Writes uncompressed TIFF files of the kinds the picture reader converts to RGB itself.

Usage: tiff_kinds.py DIR WIDTH HEIGHT. Each file holds pseudo-random samples (the same on every
run) in one strip: cmyk, grey1/2/4 (black is zero), white1/2/4 (white is zero), palette1/2/4
(16-bit colour maps), palette8bitmap4 (a 4-bit palette whose map holds 8-bit values), lab,
ycbcr (no subsampling), and ycbcr22 and ycbcr22zip (2 x 2 subsampling, the second deflated; even
sizes only).
"""
import random
import struct
import sys
import zlib


def write_tiff(path, width, height, bits, samples, photometric, data, extra=(), compression=1):
    if compression == 8:
        data = zlib.compress(data)
    entries = [
        (256, 4, [width]),
        (257, 4, [height]),
        (258, 3, [bits] * samples),
        (259, 3, [compression]),
        (262, 3, [photometric]),
        (273, 4, [0]),  # patched below
        (277, 3, [samples]),
        (278, 4, [height]),
        (279, 4, [len(data)]),
        (284, 3, [1]),
    ] + list(extra)
    entries.sort(key=lambda e: e[0])
    ifd_at = 8
    ifd_size = 2 + 12 * len(entries) + 4
    blobs = b""
    blob_at = ifd_at + ifd_size
    packed = []
    for tag, kind, values in entries:
        fmt = "<" + ("H" if kind == 3 else "I") * len(values)
        raw = struct.pack(fmt, *values)
        packed.append([tag, kind, len(values), raw])
    data_at = blob_at + sum(len(p[3]) for p in packed if len(p[3]) > 4)
    ifd = struct.pack("<H", len(packed))
    for p in packed:
        tag, kind, count, raw = p
        if tag == 273:
            raw = struct.pack("<I", data_at)
        if len(raw) > 4:
            ifd += struct.pack("<HHII", tag, kind, count, blob_at + len(blobs))
            blobs += raw
        else:
            ifd += struct.pack("<HHI", tag, kind, count) + raw.ljust(4, b"\0")
    ifd += struct.pack("<I", 0)
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", ifd_at) + ifd + blobs + data)


def main():
    out, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    rng = random.Random(23)

    def noise(n):
        return rng.randbytes(n)

    write_tiff(f"{out}/cmyk.tif", width, height, 8, 4, 5, noise(width * height * 4))
    write_tiff(f"{out}/lab.tif", width, height, 8, 3, 8, noise(width * height * 3))
    write_tiff(f"{out}/ycbcr.tif", width, height, 8, 3, 6, noise(width * height * 3),
               [(530, 3, [1, 1])])
    for bits in (1, 2, 4):
        row = (width * bits + 7) // 8
        for name, photometric in (("grey", 1), ("white", 0)):
            write_tiff(f"{out}/{name}{bits}.tif", width, height, bits, 1, photometric,
                       noise(row * height))
        n = 1 << bits
        cmap = [rng.randrange(65536) for _ in range(3 * n)]
        write_tiff(f"{out}/palette{bits}.tif", width, height, bits, 1, 3, noise(row * height),
                   [(320, 3, cmap)])
    row = (width * 4 + 7) // 8
    write_tiff(f"{out}/palette8bitmap4.tif", width, height, 4, 1, 3, noise(row * height),
               [(320, 3, [rng.randrange(256) for _ in range(48)])])
    if width % 2 == 0 and height % 2 == 0:
        blocks = (width // 2) * (height // 2)
        samples = noise(blocks * 6)
        write_tiff(f"{out}/ycbcr22.tif", width, height, 8, 3, 6, samples, [(530, 3, [2, 2])])
        write_tiff(f"{out}/ycbcr22zip.tif", width, height, 8, 3, 6, samples, [(530, 3, [2, 2])],
                   compression=8)


main()
