#!/usr/bin/env python3
"""png_pixels.py FILE X,Y...: prints the colour of each pixel as RRGGBB, one per line.

Reads the 8-bit RGB and RGBA pictures that tools/xshot writes (no interlace), standard library
only."""

import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("%s is not a PNG file" % path)
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("unsupported PNG layout")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pred) & 0xFF
        rows.append(line)
        prev = line
    return width, height, bpp, rows


def main():
    width, height, bpp, rows = read_png(sys.argv[1])
    for point in sys.argv[2:]:
        x, y = (int(v) for v in point.split(","))
        if not (0 <= x < width and 0 <= y < height):
            print("outside")
            continue
        r, g, b = rows[y][x * bpp:x * bpp + 3]
        print("%02X%02X%02X" % (r, g, b))


if __name__ == "__main__":
    main()
