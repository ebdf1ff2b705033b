#!/usr/bin/env python3
"""Draws the program's images and writes them into res/: the toolbar bitmap (eight 16 x 15 button
images side by side, 16 colours) and the two icons (application and document, 32 x 32 and
16 x 16, 16 colours). Run from anywhere; the files it writes are kept in the repository.

    python3 tools/draw_images.py
"""
import os
import struct

# The standard 16-colour palette, as RGB.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# One letter per colour in the drawings below; '.' is the background: light grey on the toolbar
# (the button face when loaded), transparent on the icons.
COLOURS = {
    'k': 0, 'r': 1, 'G': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7,
    'g': 8, 'R': 9, 'L': 10, 'Y': 11, 'B': 12, 'm': 13, 'c': 14, 'w': 15, '.': 7,
}

# Toolbar buttons, 16 x 15 each: new, open, save, cut, copy, paste, print, about.
BUTTONS = [
    [  # new: a blank page with a folded corner
        "................",
        "...kkkkkkk......",
        "...kwwwwwkk.....",
        "...kwwwwwkwk....",
        "...kwwwwwkkkk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kwwwwwwwwk...",
        "...kkkkkkkkkk...",
        "................",
    ],
    [  # open: an opening folder
        "................",
        "..........kkk...",
        ".........k...k.k",
        "..............kk",
        ".kkk.........kkk",
        "kYwYk...........",
        "kwYwYkkkkkkk....",
        "kYwYwYwYwYwk....",
        "kwYwYkkkkkkkkkkk",
        "kYwYkoooooooook.",
        "kwYkoooooooook..",
        "kYkoooooooook...",
        "kkoooooooook....",
        "kkkkkkkkkkk.....",
        "................",
    ],
    [  # save: a diskette
        "................",
        ".kkkkkkkkkkkkkk.",
        ".knkwwwwwwwwknk.",
        ".knkwwwwwwwwknk.",
        ".knkwggggggwknk.",
        ".knkwwwwwwwwknk.",
        ".knnkkkkkkkknnk.",
        ".knnnnnnnnnnnnk.",
        ".knnkkkkkkkknnk.",
        ".knnkkkkwwkknnk.",
        ".knnkkkkwwkknnk.",
        ".knnkkkkwwkknnk.",
        "..kkkkkkkkkkkkk.",
        "................",
        "................",
    ],
    [  # cut: scissors
        "................",
        "....k.....k.....",
        "....k.....k.....",
        "....k.....k.....",
        "....kk...kk.....",
        ".....k...k......",
        ".....kk.kk......",
        "......kkk.......",
        ".......k........",
        "......nkn.......",
        "....nnn.nnn.....",
        "...n..n.n..n....",
        "...n..n.n..n....",
        "...n..n.n..n....",
        "....nn...nn.....",
    ],
    [  # copy: two pages
        "kkkkkk..........",
        "kwwwwkk.........",
        "kwkkwkwk........",
        "kwwwwkkkk.......",
        "kwkkkkkkkkkk....",
        "kwwwwkwwwwkkk...",
        "kwkkkkwkkwkwkk..",
        "kwwwwkwwwwkkkkk.",
        "kwkkkkwkkkkkkwk.",
        "kwwwwkwwwwwwwwk.",
        "kkkkkkwkkkkkkwk.",
        "......wwwwwwwwk.",
        "......wkkkkkkwk.",
        "......wwwwwwwwk.",
        "......kkkkkkkkk.",
    ],
    [  # paste: a clipboard with a page
        "....kkkk........",
        ".kkkkYYkkkk.....",
        "kooksskksook....",
        "kokkkkkkkkok....",
        "koooooooooook...",
        "kooooookkkkkkkk.",
        "kooooookwwwwwkwk",
        "kooooookwkkkwkkk",
        "kooooookwwwwwwwk",
        "kooooookwkkkkkwk",
        "kooooookwwwwwwwk",
        "kooooookwkkkkkwk",
        ".kkkkkkkwwwwwwwk",
        ".......kkkkkkkkk",
        "................",
    ],
    [  # print: a printer with a page
        "................",
        "....kkkkkkkkk...",
        "....kwwwwwwwk...",
        "....kwkkkkkwk...",
        "....kwwwwwwwk...",
        "..kkkkkkkkkkkkk.",
        ".kssssssssssskk.",
        "kkkkkkkkkkkkkksk",
        "ksssssssssLLssk.",
        "kssssssssssssskk",
        "kkkkkkkkkkkkkksk",
        ".ksssssssssssksk",
        "..kwwwwwwwwwkkk.",
        "...kkkkkkkkkk...",
        "................",
    ],
    [  # about: a question mark in a speech bubble
        "................",
        "....kkkkkkk.....",
        "..kkwwwwwwwkk...",
        ".kwwwwnnnwwwwk..",
        ".kwwwnnwnnwwwk..",
        "kwwwwwwwnnwwwwk.",
        "kwwwwwwnnwwwwwk.",
        "kwwwwwnnwwwwwwk.",
        ".kwwwwnnwwwwwk..",
        ".kwwwwwwwwwwwk..",
        "..kkwwnnwwwkk...",
        "....kkkkkkk.....",
        "....kwk.........",
        "....kk..........",
        "....k...........",
    ],
]


def row_bytes(width, bits):
    """Bytes in one row of a bitmap, padded to four bytes."""
    return ((width * bits + 31) // 32) * 4


def pack_4bit(pixels, width, height):
    """Rows bottom up, two pixels a byte, each row padded."""
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(0, width, 2):
            high = pixels[y][x]
            low = pixels[y][x + 1] if x + 1 < width else 0
            row.append((high << 4) | low)
        row.extend(b"\0" * (row_bytes(width, 4) - len(row)))
        data.extend(row)
    return bytes(data)


def pack_mask(mask, width, height):
    """The icon's transparency mask: rows bottom up, one bit a pixel, 1 where transparent."""
    data = bytearray()
    for y in reversed(range(height)):
        row = bytearray(row_bytes(width, 1))
        for x in range(width):
            if mask[y][x]:
                row[x // 8] |= 0x80 >> (x % 8)
        data.extend(row)
    return bytes(data)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def info_header(width, height, image_bytes):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_bytes, 0, 0, 16, 0)


def write_toolbar(path):
    width, height = 16 * len(BUTTONS), 15
    pixels = [[COLOURS[BUTTONS[x // 16][y][x % 16]] for x in range(width)] for y in range(height)]
    bits = pack_4bit(pixels, width, height)
    header = info_header(width, height, len(bits)) + palette_bytes()
    offset = 14 + len(header)
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset))
        out.write(header)
        out.write(bits)


class Canvas:
    """A square image in palette indices, None where transparent."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]

    def rect(self, left, top, right, bottom, colour):
        for y in range(max(top, 0), min(bottom, self.size)):
            for x in range(max(left, 0), min(right, self.size)):
                self.pixels[y][x] = COLOURS[colour]

    def frame(self, left, top, right, bottom, colour):
        self.rect(left, top, right, top + 1, colour)
        self.rect(left, bottom - 1, right, bottom, colour)
        self.rect(left, top, left + 1, bottom, colour)
        self.rect(right - 1, top, right, bottom, colour)

    def line(self, x0, y0, x1, y1, colour, thickness=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for step in range(steps + 1):
            x = x0 + (x1 - x0) * step // steps
            y = y0 + (y1 - y0) * step // steps
            self.rect(x, y, x + thickness, y + thickness, colour)


def scale(value, size):
    return value * size // 32


def draw_application(size):
    """A flatbed scanner with a red cross: the device's driver taken off."""
    c = Canvas(size)
    s = lambda v: scale(v, size)
    c.rect(s(2), s(12), s(30), s(26), 's')      # body
    c.frame(s(2), s(12), s(30), s(26), 'k')
    c.rect(s(3), s(8), s(29), s(12), 'g')       # lid
    c.frame(s(2), s(7), s(30), s(13), 'k')
    c.rect(s(5), s(15), s(25), s(17), 'c')      # glass with its light
    c.rect(s(5), s(20), s(9), s(22), 'L')       # power light
    thick = max(1, s(3))
    c.line(s(18), s(16), s(29), s(27), 'R', thick)
    c.line(s(29), s(16), s(18), s(27), 'R', thick)
    return c


def draw_document(size):
    """A page with a folded corner and a small scanner on it."""
    c = Canvas(size)
    s = lambda v: scale(v, size)
    c.rect(s(6), s(2), s(26), s(30), 'w')
    c.frame(s(6), s(2), s(26), s(30), 'k')
    c.rect(s(20), s(2), s(26), s(8), '.')
    c.pixels = [[None if v == COLOURS['.'] and 20 * size // 32 <= x and y < 8 * size // 32
                 else v for x, v in enumerate(row)] for y, row in enumerate(c.pixels)]
    c.line(s(20), s(2), s(25), s(7), 'k')
    c.frame(s(20), s(2), s(21), s(8), 'k')
    c.rect(s(20), s(7), s(26), s(8), 'k')
    c.rect(s(9), s(14), s(23), s(22), 's')
    c.frame(s(9), s(14), s(23), s(22), 'k')
    c.rect(s(10), s(16), s(22), s(17), 'c')
    c.rect(s(9), s(24), s(23), s(25), 'g')
    c.rect(s(9), s(26), s(19), s(27), 'g')
    return c


def write_icon(path, draw):
    images = []
    for size in (32, 16):
        canvas = draw(size)
        pixels = [[0 if v is None else v for v in row] for row in canvas.pixels]
        mask = [[v is None for v in row] for row in canvas.pixels]
        bits = pack_4bit(pixels, size, size)
        and_mask = pack_mask(mask, size, size)
        # An icon image's height counts the colour bits and the mask.
        header = info_header(size, size * 2, len(bits) + len(and_mask))
        images.append((size, header + palette_bytes() + bits + and_mask))
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)))
        offset = 6 + 16 * len(images)
        for size, data in images:
            out.write(struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset))
            offset += len(data)
        for _, data in images:
            out.write(data)


def main():
    res = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "res")
    write_toolbar(os.path.join(res, "toolbar.bmp"))
    write_icon(os.path.join(res, "vorsk.ico"), draw_application)
    write_icon(os.path.join(res, "document.ico"), draw_document)


if __name__ == "__main__":
    main()
