#!/usr/bin/env python3
"""Writes the three scale bitmaps of the tuner window into img/ as two-colour (1 bit per pixel) BMP files.

The window draws each bitmap from the top edge of a 20-pixel-high scale and treats the colour of the
lower-left pixel as transparent, so every image keeps that pixel (and its background) white.
Run from the repository root: python3 tools/make_bitmaps.py
"""
import struct
import sys
from pathlib import Path

WHITE = (255, 255, 255)

# '#' marks the foreground colour, '.' the white (transparent) background. Row 0 is the top row.
POINTER = [  # the sliding pointer: a needle with an arrow head, 11 x 20
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "...#####...",
    "..#######..",
    ".#########.",
    "###########",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "....###....",
    "...........",
]
DIVISION = [  # the large centre mark, 5 x 12
    "#####",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".###.",
    ".....",
]
SMALL_DIVISION = [  # a side mark, 3 x 7
    "###",
    ".#.",
    ".#.",
    ".#.",
    ".#.",
    ".#.",
    "...",
]


def bmp_1bit(rows, colour):
    height = len(rows)
    width = len(rows[0])
    stride = ((width + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):  # BMP rows run bottom-up
        bits = bytearray(stride)
        for x, ch in enumerate(row):
            if ch == "#":
                bits[x // 8] |= 0x80 >> (x % 8)
        pixels += bits
    palette = bytes([WHITE[2], WHITE[1], WHITE[0], 0, colour[2], colour[1], colour[0], 0])
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 3780, 3780, 2, 2)
    return header + info + palette + bytes(pixels)


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    img = root / "img"
    img.mkdir(exist_ok=True)
    (img / "pointer.bmp").write_bytes(bmp_1bit(POINTER, (0, 0, 160)))
    (img / "division.bmp").write_bytes(bmp_1bit(DIVISION, (0, 0, 0)))
    (img / "smallDivision.bmp").write_bytes(bmp_1bit(SMALL_DIVISION, (0, 0, 0)))


if __name__ == "__main__":
    main()
