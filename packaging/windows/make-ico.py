#!/usr/bin/env python3
"""Builds the Windows icon (.ico) from the program's PNG icons.

    make-ico.py OUT.ico 48x48.png 128x128.png

The 48 and 128 pixel images go in as the PNG files themselves (Windows
reads PNG entries in an icon since Vista). The 16 and 32 pixel images, which
the title bar, the taskbar and Explorer's small views use, are averaged down
from the 128 pixel one and stored as 32-bit bitmaps. Only the standard
library: the output is the same bytes from the same inputs on any machine.
"""
import struct
import sys
import zlib


def read_png_rgba(data):
    """Decodes an 8-bit RGBA, non-interlaced PNG: (width, height, rows of RGBA bytes)."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if header is None:
        raise ValueError("PNG without a header")
    width, height, depth, colour, _, _, interlace = header
    if (depth, colour, interlace) != (8, 6, 0):
        raise ValueError("only 8-bit RGBA non-interlaced PNG files are read")
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = prev[x]
            c = prev[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + b) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[x] = (line[x] + pred) & 0xFF
            elif kind != 0:
                raise ValueError("bad PNG filter type %d" % kind)
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def shrink(width, height, rows, size):
    """Averages square blocks down to size x size, weighting colour by alpha."""
    if width != height or width % size:
        raise ValueError("cannot shrink %dx%d to %d evenly" % (width, height, size))
    f = width // size
    out = []
    for y in range(size):
        line = bytearray()
        for x in range(size):
            r = g = b = a = 0
            for yy in range(y * f, y * f + f):
                row = rows[yy]
                for xx in range(x * f, x * f + f):
                    pr, pg, pb, pa = row[4 * xx:4 * xx + 4]
                    r, g, b, a = r + pr * pa, g + pg * pa, b + pb * pa, a + pa
            if a:
                line += bytes(((r + a // 2) // a, (g + a // 2) // a, (b + a // 2) // a))
            else:
                line += b"\0\0\0"
            n = f * f
            line.append((a + n // 2) // n)
        out.append(bytes(line))
    return out


def bitmap_entry(size, rows):
    """An icon image as a 32-bit BGRA bitmap, bottom row first, with its AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes(v for px in range(size) for v in (row[4 * px + 2], row[4 * px + 1], row[4 * px], row[4 * px + 3]))
                      for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for px in range(size):
            if row[4 * px + 3] == 0:  # fully transparent: masked out
                bits[px // 8] |= 0x80 >> (px % 8)
        mask += bytes(bits)
    return header + pixels + mask


def build_ico(png48, png128):
    w48, h48, _ = read_png_rgba(png48)
    w128, h128, rows128 = read_png_rgba(png128)
    if (w48, h48, w128, h128) != (48, 48, 128, 128):
        raise ValueError("expected a 48x48 and a 128x128 icon")
    images = [(16, bitmap_entry(16, shrink(128, 128, rows128, 16))),
              (32, bitmap_entry(32, shrink(128, 128, rows128, 32))),
              (48, png48),
              (128, png128)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    body = b""
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    return directory + body


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    with open(argv[2], "rb") as f48, open(argv[3], "rb") as f128:
        ico = build_ico(f48.read(), f128.read())
    with open(argv[1], "wb") as out:
        out.write(ico)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
