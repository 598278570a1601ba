#!/usr/bin/env python3
"""24- or 32-bit Windows bitmaps (as the Windows screenshots are saved) as PNG
files beside them, the bitmaps removed.

    tools/bmp-to-png.py FILE.bmp...
"""
import os
import struct
import sys
import zlib


def convert(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        sys.exit(f"bmp-to-png: {path} is not a bitmap")
    offset = struct.unpack("<I", data[10:14])[0]
    width, height, _, bits, compression = struct.unpack("<iiHHI", data[18:34])
    if bits not in (24, 32) or compression not in (0, 3):
        sys.exit(f"bmp-to-png: {path}: only uncompressed 24- and 32-bit bitmaps are read")
    step = bits // 8
    stride = (width * step + 3) & ~3
    rows = []
    for y in range(abs(height)):
        source_row = abs(height) - 1 - y if height > 0 else y  # positive height: bottom row first
        at = offset + source_row * stride
        line = bytearray(b"\x00")  # no filter
        for x in range(width):
            b, g, r = data[at + x * step:at + x * step + 3]
            line += bytes((r, g, b))
        rows.append(bytes(line))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, abs(height), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(path[:-4] + ".png", "wb") as f:
        f.write(png)
    os.remove(path)


for name in sys.argv[1:]:
    convert(name)
