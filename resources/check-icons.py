#!/usr/bin/env python3
"""Checks that every icon in resources/icons/ keeps its drawing inside the
rounded tile (x, y 2..46, corner radius 8, on a 48-unit canvas): no pixel
outside it, allowing one pixel of anti-aliasing, may be anything but fully
transparent. Standard library only:

    python3 resources/check-icons.py
"""
import glob
import math
import os
import struct
import sys
import zlib


def rgba_rows(path):
    data = open(path, "rb").read()
    at, idat = 8, b""
    while at < len(data):
        (length,) = struct.unpack(">I", data[at:at + 4])
        kind, body = data[at + 4:at + 8], data[at + 8:at + 8 + length]
        at += 12 + length
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", body[:10])
            if (depth, colour) != (8, 6):
                sys.exit(f"{path}: not 8-bit RGBA")
        elif kind == b"IDAT":
            idat += body
    raw, stride, rows = zlib.decompress(idat), width * 4, []
    previous, at = bytearray(stride), 0
    for _ in range(height):
        kind, line = raw[at], bytearray(raw[at + 1:at + 1 + stride])
        at += 1 + stride
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = previous[x]
            c = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + a) & 255
            elif kind == 2:
                line[x] = (line[x] + b) & 255
            elif kind == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(line)
        previous = line
    return width, height, rows


def outside_tile(u, v, slack):
    if u < 2 - slack or u > 46 + slack or v < 2 - slack or v > 46 + slack:
        return True
    dx, dy = max(10 - u, 0, u - 38), max(10 - v, 0, v - 38)
    return dx > 0 and dy > 0 and math.hypot(dx, dy) > 8 + slack


def main():
    folder = os.path.join(os.path.dirname(os.path.abspath(__file__)), "icons")
    failed = False
    for path in sorted(glob.glob(os.path.join(folder, "*.png"))):
        width, height, rows = rgba_rows(path)
        scale = width / 48
        spilled = sum(
            1
            for y in range(height)
            for x in range(width)
            if rows[y][x * 4 + 3] and outside_tile((x + 0.5) / scale, (y + 0.5) / scale, 1 / scale)
        )
        print(f"{os.path.basename(path)}: {width}x{height}, {spilled} pixels outside the tile")
        failed |= spilled > 0
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
