#!/usr/bin/env python3
"""A PNG picture as a 32-bit Windows bitmap with premultiplied alpha, the form
Windows draws with its transparency (AlphaBlend). Reads 8-bit RGB or RGBA
pictures without interlacing, which is what the logos are.

    tools/png-to-bmp.py IN.png OUT.bmp
"""
import struct
import sys
import zlib


def fail(message):
    sys.exit(f"png-to-bmp: {message}")


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{path} is not a PNG file")
    at, idat, header = 8, b"", None
    while at + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        at += 12 + length
    if header is None:
        fail(f"{path} has no header")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        fail(f"{path}: only 8-bit RGB or RGBA pictures without interlacing are read")
    channels = 4 if colour == 6 else 3
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous, at = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                predictor = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                line[i] = (line[i] + predictor) & 0xFF
            elif kind != 0:
                fail(f"{path}: unknown row filter {kind}")
        rows.append(line)
        previous = line
    return width, height, channels, rows


def write_bmp(path, width, height, channels, rows):
    pixels = bytearray()
    for line in reversed(rows):  # a bitmap stores its bottom row first
        for x in range(width):
            r, g, b = line[x * channels:x * channels + 3]
            a = line[x * channels + 3] if channels == 4 else 255
            pixels += bytes((b * a // 255, g * a // 255, r * a // 255, a))
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(pixels), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + pixels)


if len(sys.argv) != 3:
    sys.exit("usage: tools/png-to-bmp.py IN.png OUT.bmp")
write_bmp(sys.argv[2], *read_png(sys.argv[1]))
