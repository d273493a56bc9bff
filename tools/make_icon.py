#!/usr/bin/env python3
"""Draws the application icon: packaging/icons/ru.zemtar.Tuner.png, 16 x 16 in 16 colours (4-bit palette
PNG, palette entry 0 transparent), packaging/icons/ru.zemtar.Tuner.svg, the same picture as shapes, and
packaging/icons/ru.zemtar.Tuner.ico, the Windows program's icon: the 16 x 16 picture and its whole-pixel
enlargements to 32, 48 and 256 pixels (32-bit images with an AND mask; the 256 one as a PNG, as Windows wants).

The picture is the tuner's own display in small: a scale with a centre mark and side marks, the navy
pointer a little right of centre, and the level bar turning red at its right end.
Run from the repository root: python3 tools/make_icon.py
"""
import struct
import sys
import zlib
from pathlib import Path

# The 16 colours (the classic 16-colour palette, with entry 0 given over to transparency).
PALETTE = {
    ".": (0, 0, 0),  # transparent
    "m": (128, 0, 0),
    "G": (0, 128, 0),
    "o": (128, 128, 0),
    "n": (0, 0, 128),
    "p": (128, 0, 128),
    "t": (0, 128, 128),
    "s": (192, 192, 192),
    "g": (128, 128, 128),
    "r": (255, 0, 0),
    "l": (0, 255, 0),
    "y": (255, 255, 0),
    "b": (0, 0, 255),
    "f": (255, 0, 255),
    "k": (0, 0, 0),
    "w": (255, 255, 255),
}
KEYS = list(PALETTE)

ICON = [  # row 0 is the top row
    ".gggggggggggggg.",
    "gwwwwwwwwwwwwwwg",
    "gwkwwkwkkwkwwkwg",
    "gwkwwkwkkwkwwkwg",
    "gwwwwwwkkwwwwwwg",
    "gwwwwwwwwwnwwwwg",
    "gwwwwwwwwnnnwwwg",
    "gwwwwwwwnnnnnwwg",
    "gwwwwwwwwwnwwwwg",
    "gwwwwwwwwwnwwwwg",
    "gwwwwwwwwwnwwwwg",
    "gwwwwwwwwwwwwwwg",
    "gwllllllllllrrwg",
    "gwllllllllllrrwg",
    "gwwwwwwwwwwwwwwg",
    ".gggggggggggggg.",
]

NOTE = "Drawn by tools/make_icon.py"


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_4bit(rows):
    height, width = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        indices = [KEYS.index(ch) for ch in row]
        for i in range(0, width, 2):
            raw.append(indices[i] << 4 | indices[i + 1])
    palette = b"".join(bytes(PALETTE[k]) for k in KEYS)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 4, 3, 0, 0, 0))
            + chunk(b"PLTE", palette)
            + chunk(b"tRNS", b"\x00")  # entry 0 transparent, the others opaque
            + chunk(b"tEXt", b"Comment\x00" + NOTE.encode())
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def rgba_pixels(rows, scale):
    """The picture enlarged by a whole factor, as rows of (r, g, b, a), top row first."""
    out = []
    for row in rows:
        pixels = [PALETTE[k] + ((0,) if k == "." else (255,)) for k in row for _ in range(scale)]
        out.extend([pixels] * scale)
    return out


def png_rgba(pixels):
    raw = b"".join(b"\x00" + b"".join(bytes(p) for p in row) for row in pixels)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", len(pixels[0]), len(pixels), 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib_bgra(pixels):
    """An icon image: BITMAPINFOHEADER (height doubled for the mask), BGRA rows bottom up, then the AND mask
    (1 where transparent), each mask row padded to 32 bits."""
    size = len(pixels)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
    mask = bytearray()
    for row in reversed(pixels):
        bits = 0
        for x, p in enumerate(row):
            bits |= (p[3] == 0) << (size - 1 - x)
        mask += bits.to_bytes(size // 8, "big") + bytes((-(size // 8)) % 4)
    return header + colour + bytes(mask)


def ico(rows):
    images = []
    for size in (16, 32, 48, 256):
        pixels = rgba_pixels(rows, size // 16)
        images.append((size, png_rgba(pixels) if size == 256 else dib_bgra(pixels)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + b"".join(data for _, data in images)


def hex_colour(key):
    return "#%02x%02x%02x" % PALETTE[key]


def svg():
    # 64 x 64 units: 4 units a pixel of the small icon, with the pointer and the frame drawn smooth.
    shapes = [
        f'<rect x="2" y="2" width="60" height="60" rx="6" fill="{hex_colour("w")}" '
        f'stroke="{hex_colour("g")}" stroke-width="4"/>',
    ]
    for x in (8, 20, 40, 52):  # side marks
        shapes.append(f'<rect x="{x}" y="8" width="4" height="8" fill="{hex_colour("k")}"/>')
    shapes.append(f'<rect x="28" y="8" width="8" height="12" fill="{hex_colour("k")}"/>')  # centre mark
    shapes.append(f'<path d="M42 20 L52 31 L44.5 31 L44.5 44 L39.5 44 L39.5 31 L32 31 Z" '
                  f'fill="{hex_colour("n")}"/>')  # pointer
    shapes.append(f'<rect x="8" y="48" width="40" height="8" fill="{hex_colour("l")}"/>')
    shapes.append(f'<rect x="48" y="48" width="8" height="8" fill="{hex_colour("r")}"/>')
    body = "\n  ".join(shapes)
    return (f'<?xml version="1.0" encoding="UTF-8"?>\n<!-- {NOTE} -->\n'
            f'<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">\n'
            f'  {body}\n</svg>\n')


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent
    icons = root / "packaging" / "icons"
    icons.mkdir(parents=True, exist_ok=True)
    assert len(KEYS) == 16 and all(len(r) == 16 for r in ICON) and len(ICON) == 16
    (icons / "ru.zemtar.Tuner.png").write_bytes(png_4bit(ICON))
    (icons / "ru.zemtar.Tuner.svg").write_text(svg())
    (icons / "ru.zemtar.Tuner.ico").write_bytes(ico(ICON))


if __name__ == "__main__":
    main()
