#!/usr/bin/env python3
"""Draws the about window's product picture: a 64 x 64 bitmap with a 256-colour
palette (an open cardboard box with a downward arrow on a blue gradient), written
as an uncompressed BMP. Run it to regenerate about/K4Product.bmp.

The file's colour table holds only the colours the picture uses (biClrUsed), in
palette order, and the pixels index that table: the same picture in fewer bytes,
which every archive carries."""
import struct
import sys


def palette():
    colours = []
    for i in range(64):  # 0..63: background gradient, dark to light blue
        colours.append((20 + i, 40 + i * 2, 110 + i * 2))
    for i in range(64):  # 64..127: cardboard browns
        colours.append((110 + i, 70 + i, 30 + i // 2))
    for i in range(64):  # 128..191: arrow greens
        colours.append((20 + i, 110 + i * 2, 40 + i))
    for i in range(64):  # 192..255: greys, black to white
        v = i * 255 // 63
        colours.append((v, v, v))
    return colours


def draw():
    px = [[0] * 64 for _ in range(64)]
    for y in range(64):
        for x in range(64):
            px[y][x] = min(63, (x + y) // 2)  # diagonal gradient
    # Box body with darker outline, and its two open flaps.
    for y in range(34, 58):
        for x in range(12, 52):
            edge = y in (34, 57) or x in (12, 51)
            px[y][x] = 64 + (10 if edge else 40 - (y - 34))
    for y in range(26, 34):
        d = 33 - y
        for x in range(12 - d, 30 - d // 2):
            px[y][x] = 64 + 50
        for x in range(34 + d // 2, 52 + d):
            px[y][x] = 64 + 45
    # Arrow pointing into the box.
    for y in range(6, 24):
        for x in range(28, 36):
            px[y][x] = 128 + 40
    for i, y in enumerate(range(24, 34)):
        for x in range(22 + i, 42 - i):
            px[y][x] = 128 + 50
    # Shadow line under the box.
    for x in range(14, 54):
        px[58][x] = 192 + 8
    return px


def used_colours(pixels, pal):
    """The palette's colours the picture uses, in palette order, and each used
    palette index's place among them."""
    used = sorted({index for row in pixels for index in row})
    return [pal[i] for i in used], {index: place for place, index in enumerate(used)}


def write(path):
    pixels = draw()
    colours, place = used_colours(pixels, palette())
    header_size = 14 + 40 + len(colours) * 4
    image = bytearray()
    for row in reversed(pixels):  # bottom-up rows, 64 bytes each (already aligned)
        image.extend(place[index] for index in row)
    out = bytearray()
    out += struct.pack("<2sIHHI", b"BM", header_size + len(image), 0, 0, header_size)
    out += struct.pack("<IiiHHIIiiII", 40, 64, 64, 1, 8, 0, len(image), 3780, 3780, len(colours), 0)
    for r, g, b in colours:
        out += struct.pack("<BBBB", b, g, r, 0)
    out += image
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    write(sys.argv[1] if len(sys.argv) > 1 else "K4Product.bmp")
