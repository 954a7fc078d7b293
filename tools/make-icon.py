#!/usr/bin/env python3
"""Writes resources/kalvex.ico, the program's icon: a module block (a grey
chip with pins) under a magnifying glass, at 32x32 and 16x16, 32-bit colour
with alpha. Standard library only."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources", "kalvex.ico")


def draw(size):
    """Returns size*size RGBA tuples, row 0 at the top."""
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def put(x, y, c):
        if 0 <= x < size and 0 <= y < size:
            px[y][x] = c

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(math.ceil(y1 * s))):
            for x in range(int(x0 * s), int(math.ceil(x1 * s))):
                put(x, y, c)

    # The chip: dark outline, grey body, pins on both sides.
    for i in range(4):
        y = 6 + i * 5
        rect(2, y, 6, y + 2, (90, 90, 90, 255))
        rect(22, y, 26, y + 2, (90, 90, 90, 255))
    rect(5, 3, 23, 27, (40, 40, 40, 255))
    rect(6, 4, 22, 26, (170, 178, 190, 255))
    rect(8, 7, 20, 9, (60, 90, 160, 255))
    rect(8, 11, 17, 13, (60, 90, 160, 255))
    rect(8, 15, 19, 17, (60, 90, 160, 255))

    # The magnifier: a ring with a pale lens, and a brown handle.
    cx, cy, r = 19 * s, 18 * s, 8 * s
    for y in range(size):
        for x in range(size):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= r - 2.2 * s:
                put(x, y, (200, 230, 255, 235))
            elif d <= r:
                put(x, y, (20, 40, 90, 255))
    for t in range(int(8 * s) + 1):
        for w in range(-int(1.6 * s), int(1.6 * s) + 1):
            x = int(cx + (r - 1 * s) * 0.7071 + t * 0.7071 + w * 0.7071)
            y = int(cy + (r - 1 * s) * 0.7071 + t * 0.7071 - w * 0.7071)
            put(x, y, (120, 70, 30, 255))
            put(x + 1, y, (120, 70, 30, 255))
    return px


def image(size):
    px = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(struct.pack("BBBB", b, g, r, a)
                      for row in reversed(px) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + colour + mask


def main():
    images = [(32, image(32)), (16, image(16))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, data in images)
    with open(OUT, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
