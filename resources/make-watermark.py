#!/usr/bin/env python3
"""Draws the wizard's background image: a calm blue-green gradient with soft
ripples rising from the lower left, written as a 180 x 300 RGBA PNG (8 bits per
sample, colour type 6, not interlaced). Standard library only, so the image can
be made again anywhere:

    python3 resources/make-watermark.py resources/TallowmereUninstallWizardWatermark.png
"""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 180, 300

TOP = (34, 74, 112)       # dusk blue
BOTTOM = (116, 178, 170)  # sea green
RING = (236, 244, 240)    # pale foam for the ripples
RIPPLE_CENTRE = (-30.0, 330.0)
RIPPLE_RADII = (70.0, 118.0, 166.0, 214.0, 262.0)


def mix(a, b, t):
    return tuple(x + (y - x) * t for x, y in zip(a, b))


def smoothstep(t):
    t = min(max(t, 0.0), 1.0)
    return t * t * (3.0 - 2.0 * t)


def pixel(x, y):
    colour = mix(TOP, BOTTOM, smoothstep(y / (HEIGHT - 1)))

    # Each ripple is a thin anti-aliased ring that fades as it spreads.
    cx, cy = RIPPLE_CENTRE
    distance = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    for index, radius in enumerate(RIPPLE_RADII):
        width = 1.2 + 0.5 * index
        coverage = max(0.0, 1.0 - abs(distance - radius) / width)
        strength = 0.42 * (1.0 - index / len(RIPPLE_RADII))
        colour = mix(colour, RING, coverage * strength)

    # A faint glow behind the ripples' origin.
    glow = max(0.0, 1.0 - distance / 240.0) ** 2 * 0.18
    colour = mix(colour, RING, glow)

    # The right edge fades out so the image melts into the page beside it.
    alpha = 255 * (1.0 - 0.45 * smoothstep((x - (WIDTH - 80)) / 80.0))
    return tuple(int(round(c)) for c in colour) + (int(round(alpha)),)


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def png_bytes():
    rows = bytearray()
    for y in range(HEIGHT):
        rows.append(0)  # filter type: none
        for x in range(WIDTH):
            rows.extend(pixel(x, y))
    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make-watermark.py OUTPUT.png")
    with open(sys.argv[1], "wb") as out:
        out.write(png_bytes())


if __name__ == "__main__":
    main()
