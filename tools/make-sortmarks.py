#!/usr/bin/env python3
"""Writes resources/sortup.bmp and resources/sortdown.bmp, the sort marks of
the list's column headers: 14x14 pixels, 4 bits per pixel with the standard
16-colour palette, three colours (light grey background, dark grey shadow
edge, white lit edge). Standard library only."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")

# The standard 16-colour palette (RGB).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
INDEX = {".": 7, "D": 8, "H": 15}  # light grey, dark grey, white

BLANK = "." * 14
# Rows 4 to 10; the others are background.
UP = [
    "......DH......",
    ".....DDHH.....",
    ".....D..H.....",
    "....DD..HH....",
    "....D....H....",
    "...DD....HH...",
    "...HHHHHHHH...",
]
DOWN = [
    "...DDDDDDDD...",
    "...DD....HH...",
    "....D....H....",
    "....DD..HH....",
    ".....D..H.....",
    ".....DDHH.....",
    "......DH......",
]


def bitmap(rows):
    rows = [BLANK] * 4 + rows + [BLANK] * 3
    assert len(rows) == 14 and all(len(r) == 14 for r in rows)
    stride = (14 * 4 + 31) // 32 * 4
    bits = b""
    for row in reversed(rows):  # bottom-up
        line = bytearray(stride)
        for x, ch in enumerate(row):
            line[x // 2] |= INDEX[ch] << (4 if x % 2 == 0 else 0)
        bits += bytes(line)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, 14, 14, 1, 4, 0, len(bits), 0, 0, 16, 0)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return header + info + palette + bits


for name, rows in (("sortup.bmp", UP), ("sortdown.bmp", DOWN)):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bitmap(rows))
