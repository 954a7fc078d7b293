#!/usr/bin/env python3
"""Generate resources/imagelist.bmp, the program's image list.

The image list is a strip of 16x16 images side by side (image i starts at
x = 16*i), stored as a 24-bit bottom-up BMP.  Magenta RGB(255,0,255) is the
mask colour: those pixels are transparent, so no picture may use magenta for
anything else.

Each picture is an ASCII grid of 16 rows of 16 characters; every character is
one pixel and is looked up in PALETTE.  '.' is the transparent background.
To change a picture, edit its grid and rerun:

    python3 tools/make-imagelist.py [output.bmp]
"""

import os
import struct
import sys

SIZE = 16
MASK = (255, 0, 255)

PALETTE = {
    ".": MASK,              # transparent
    "k": (0, 0, 0),         # outline
    "d": (64, 64, 64),      # dark grey
    "g": (128, 128, 128),   # grey
    "l": (192, 192, 192),   # light grey
    "w": (255, 255, 255),   # white
    "y": (255, 216, 0),     # yellow
    "o": (184, 136, 0),     # dark yellow / shadow of yellow
    "Y": (255, 244, 168),   # pale yellow
    "u": (216, 160, 96),    # tan (wood, cardboard)
    "p": (255, 152, 152),   # pink (eraser)
    "r": (224, 0, 0),       # red
    "n": (0, 0, 128),       # dark blue
    "B": (0, 72, 216),      # blue
    "c": (176, 224, 255),   # light cyan (glass)
    "G": (0, 144, 0),       # green
}

# ---------------------------------------------------------------------------
# The pictures, in image-list index order.
# ---------------------------------------------------------------------------

BLANK_PAGE = """
................
...kkkkkkkk.....
...kwwwwwwkk....
...kwwwwwwkwk...
...kwwwwwwkwwk..
...kwwwwwwkkkkk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kwwwwwwwwwwk.
...kkkkkkkkkkkk.
................
"""

OPEN_FOLDER = """
................
................
..kkkk..........
.kooook.........
.koooookkkkkkk..
.koooooooooook..
.koookkkkkkkkkkk
.kookYYYYYYYYYYk
.kookyyyyyyyyyk.
.kokyyyyyyyyyyk.
.kokyyyyyyyyyk..
.kkyyyyyyyyyyk..
.kkyyyyyyyyyk...
.kkkkkkkkkkkk...
................
................
"""

FLOPPY_DISK = """
................
.kkkkkkkkkkkkkk.
.kBkwwwwwwwwkBk.
.kBkwwwwwwwwkBk.
.kBkwggggggwkBk.
.kBkwwwwwwwwkBk.
.kBkwggggggwkBk.
.kBkwwwwwwwwkBk.
.kBBkkkkkkkkBBk.
.kBBBBBBBBBBBBk.
.kBBBllllllBBBk.
.kBBBlkklllBBBk.
.kBBBlkklllBBBk.
.kBBBlkklllBBBk.
.kkkkkkkkkkkkkk.
................
"""

PRINTER = """
................
....kkkkkkkk....
....kwwwwwwk....
....kwggggwk....
....kwwwwwwk....
....kwggggwk....
..kkkkkkkkkkkk..
.kllllllllllllk.
.klllllllllGGlk.
.kllllllllllllk.
.kggggggggggggk.
.kgkkkkkkkkkkgk.
.kgkwwwwwwwwkgk.
.kkkwggggggwkkk.
...kwwwwwwwwk...
...kkkkkkkkkk...
"""

PRINT_PREVIEW = """
kkkkkkk.........
kwwwwwkk........
kwggggkwk.......
kwwwwwkwwk......
kwggggkkkkk.....
kwwwwwwkkkk.....
kwggggkcccck....
kwwwwkcwcccck...
kwgggkcwcccck...
kwwwwkcggggck...
kwgggkcccccck...
kwwwwwkcccckk...
kwggggwkkkkkkk..
kwwwwwwwwwk.kkk.
kkkkkkkkkkk..kkk
..............kk
"""

BINOCULARS = """
................
.kkkkk....kkkkk.
.klgdk....klgdk.
.klgdk....klgdk.
kkkkkkk..kkkkkkk
kllgddkkkkllgddk
kllgddklgkllgddk
kllgddkkkkllgddk
kllgddk..kllgddk
kllgddk..kllgddk
kllgddk..kllgddk
kllgddk..kllgddk
kkkkkkk..kkkkkkk
knBBBnk..knBBBnk
.kkkkk....kkkkk.
................
"""

SCISSORS = """
..k..........k..
..kk........kk..
..klk......klk..
...klk....klk...
...kllk..kllk...
....kllkkllk....
.....kllllk.....
......kddk......
.....kllllk.....
....kk....kk....
.rrrr......rrrr.
rr..rr....rr..rr
r....r....r....r
r....r....r....r
rr..rr....rr..rr
.rrrr......rrrr.
"""

COPY = """
.kkkkkk.........
.kwwwwkk........
.kwnnnkwk.......
.kwwwwkwwk......
.kwwwwkkkk......
.kwwwwkkkkkk....
.kwnnnkwwwwkk...
.kwwwwkwnnnkwk..
.kwnnnkwwwwkwwk.
.kwwwwkwwwwkkkk.
.kkkkkkwwwwwwwk.
......kwnnnnnwk.
......kwwwwwwwk.
......kwnnnnnwk.
......kwwwwwwwk.
......kkkkkkkkk.
"""

CLIPBOARD = """
......kkkk......
.kkkkkkllkkkkkk.
.kuuukllllkuuuk.
.kuukllllllkuuk.
.kuukkkkkkkkuuk.
.kuwwwwwwwwwwuk.
.kuwggggggggwuk.
.kuwwwwwwwwwwuk.
.kuwggggggwwwuk.
.kuwwwwwwwwwwuk.
.kuwggggggggwuk.
.kuwwwwwwwwwwuk.
.kuwgggggwwwwuk.
.kuwwwwwwwwwwuk.
.kuuuuuuuuuuuuk.
.kkkkkkkkkkkkkk.
"""

UNDO = """
................
.....k..........
....kBk.........
...kBBk.........
..kBBBkkkkkk....
.kBBBBBBBBBBk...
kBBBBBBBBBBBBk..
.kBBBBBBBBBBBBk.
..kBBBkkkkkBBBk.
...kBBk....kBBBk
....kBk....kBBBk
.....k.....kBBBk
...........kBBBk
............kkk.
................
................
"""

CALENDAR = """
....k..k..k.....
.kkkkkkkkkkkkk..
.krrkrrkrrkrrk..
.krrrrrrrrrrrk..
.kkkkkkkkkkkkk..
.kwwwwwwwwwwwk..
.kwgwgwgwgwgwk..
.kwwwwwwwwwwwk..
.kwgwgwgwgwgwk..
.kwwwwwwwwwwwk..
.kwgwgwrwgwgwk..
.kwwwwwwwwwwwk..
.kwgwgwgwwwwwk..
.kwwwwwwwwwwwk..
.kkkkkkkkkkkkk..
................
"""

PENCIL = """
................
............kk..
...........kppk.
..........kpppk.
.........klppk..
........klllk...
.......kyylk....
......kyyok.....
.....kyyok......
....kyyok.......
...kyyok........
..kuuok.........
.kuuuk..........
.kuuk...........
.kkk............
................
"""

UNDERLINE_U = """
................
................
..kkkk...kkkk...
...kk.....kk....
...kk.....kk....
...kk.....kk....
...kk.....kk....
...kk.....kk....
...kk.....kk....
...kk.....kk....
....kk...kk.....
.....kkkkk......
................
..kkkkkkkkkkk...
................
................
"""

UNDERLINE_AB = """
................
................
.........kk.....
.........kk.....
.........kk.....
...kkkk..kkkkk..
......kk.kk..kk.
...kkkkk.kk..kk.
..kk..kk.kk..kk.
..kk..kk.kk..kk.
...kkkkk.kkkkk..
................
.kkkkkkkkkkkkkk.
................
................
................
"""

ABORT = """
................
................
................
....kkkkkkkkkkkk
...kYYYYYYYYYYYk
..kYYYrrYYYYrrYk
.kYYYYYrrYYrrYYk
kYYkYYYYrrrrYYYk
.kYYYYYYYrrYYYYk
..kYYYYYrrrrYYYk
...kYYYrrYYrrYYk
....kkkkkkkkkkkk
................
................
................
................
"""

RECURSIVE = """
kkkkkkk.........
kwwwwwkk........
kwwwwwkwk.......
kwwwwwkwwk......
kwwwwwkkkk......
kwwwwwwwwk......
kwwwwwGGGGGGG...
kwwwwwGGGGGGGG..
kwwwwGwwwk...GG.
kwwwGGwwwk...GG.
kwwGGGwwwk...GG.
kwGGGGGGGGGGGG..
kwGGGGGGGGGGG...
kwwGGGwwwk......
kkkkGGkkkk......
.....G..........
"""

LETTER_A = """
................
................
......nnnn......
......nnnn......
.....nnnnnn.....
.....nnnnnn.....
....nnn..nnn....
....nnn..nnn....
...nnn....nnn...
...nnnnnnnnnn...
..nnnnnnnnnnnn..
..nnn......nnn..
.nnn........nnn.
.nnn........nnn.
................
................
"""

PAGES_SIDE_BY_SIDE = """
kkkkk...........
kwwwkk..........
kwwwkwk.........
kwwwkwwk........
kwwwkkkkkkkkk...
kwwwwwwkkYYYkk..
kwnnnnwkkYYYkYk.
kwwwwwwkkYYYkYYk
kwnnnnwkkYYYkkkk
kwwwwwwkkYYYYYYk
kwnnnwwkkYnnnnYk
kkkkkkkkkYYYYYYk
........kYnnnnYk
........kYYYYYYk
........kYnnnYYk
........kkkkkkkk
"""

IMAGES = [
    ("blank page", BLANK_PAGE),                   # 0
    ("open folder", OPEN_FOLDER),                 # 1
    ("floppy disk", FLOPPY_DISK),                 # 2
    ("printer", PRINTER),                         # 3
    ("print preview", PRINT_PREVIEW),             # 4
    ("binoculars", BINOCULARS),                   # 5
    ("scissors", SCISSORS),                       # 6
    ("copy", COPY),                               # 7
    ("clipboard", CLIPBOARD),                     # 8
    ("undo", UNDO),                               # 9
    ("calendar", CALENDAR),                       # 10
    ("pencil", PENCIL),                           # 11
    ("underline U", UNDERLINE_U),                 # 12
    ("underline ab", UNDERLINE_AB),               # 13
    ("abort", ABORT),                             # 14
    ("recursive", RECURSIVE),                     # 15
    ("letter A", LETTER_A),                       # 16
    ("pages side by side", PAGES_SIDE_BY_SIDE),   # 17
]


def parse(name, grid):
    """Turn an ASCII grid into 16 rows of RGB tuples, checking its shape."""
    rows = [line for line in grid.strip("\n").split("\n")]
    if len(rows) != SIZE:
        sys.exit("%s: %d rows, expected %d" % (name, len(rows), SIZE))
    pixels = []
    for y, row in enumerate(rows):
        if len(row) != SIZE:
            sys.exit("%s: row %d has %d pixels, expected %d"
                     % (name, y, len(row), SIZE))
        for ch in row:
            if ch not in PALETTE:
                sys.exit("%s: row %d uses %r, which is not in PALETTE"
                         % (name, y, ch))
        pixels.append([PALETTE[ch] for ch in row])
    return pixels


def write_bmp(path, width, height, rgb_rows):
    """Write a 24-bit BMP; rgb_rows[0] is the top row of the picture."""
    stride = (width * 3 + 3) & ~3
    padding = b"\0" * (stride - width * 3)
    data = bytearray()
    for row in reversed(rgb_rows):          # BMP stores the bottom row first
        for r, g, b in row:
            data += bytes((b, g, r))
        data += padding
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(data),
                              0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0,
                              len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(file_header + info_header + data)


def main():
    # Magenta is reserved for the mask; nothing else may map to it.
    for ch, colour in PALETTE.items():
        if colour == MASK and ch != ".":
            sys.exit("palette entry %r is the mask colour" % ch)

    strip = [[] for _ in range(SIZE)]
    for name, grid in IMAGES:
        for y, row in enumerate(parse(name, grid)):
            strip[y].extend(row)

    here = os.path.dirname(os.path.abspath(__file__))
    default = os.path.join(here, "..", "resources", "imagelist.bmp")
    path = sys.argv[1] if len(sys.argv) > 1 else default
    write_bmp(path, SIZE * len(IMAGES), SIZE, strip)
    print("wrote %s (%d images)" % (os.path.normpath(path), len(IMAGES)))


if __name__ == "__main__":
    main()
