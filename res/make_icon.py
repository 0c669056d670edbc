#!/usr/bin/env python3
"""Draws the program's icon, K4EXTRACTOR.ico: a cardboard box with a green arrow
leaving it, at 16, 32 and 48 pixels. The drawing has eight colours and pixels that
are either opaque or transparent, so each image is 16 palette colours and the
transparency mask: the same picture as 32-bit colour with alpha, in a sixth of the
bytes that every packed archive carries."""
import struct
import sys


def draw(n):
    """Pixels (r, g, b, a), rows top to bottom, for an n x n icon."""
    s = n / 32.0
    px = [[(0, 0, 0, 0)] * n for _ in range(n)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < n and 0 <= y < n:
                    px[y][x] = colour

    dark, box, lid, tape = (92, 58, 20, 255), (196, 140, 72, 255), (222, 172, 104, 255), (238, 226, 190, 255)
    rect(3, 13, 29, 30, dark)      # box outline
    rect(4, 14, 28, 29, box)       # box front
    rect(4, 14, 28, 17, lid)       # lid edge
    rect(14, 14, 18, 29, tape)     # tape down the middle
    green, edge = (40, 170, 60, 255), (16, 92, 28, 255)
    rect(13, 2, 19, 12, edge)      # arrow shaft outline
    rect(14, 3, 18, 12, green)
    for i in range(6):             # arrow head pointing up, above the shaft
        rect(16 - i - 1, 2 + i, 16 + i + 1, 3 + i, edge)
        rect(16 - i, 2 + i, 16 + i, 3 + i, green)
    return px


def palette_of(images):
    """The opaque colours of all images, black first (the colour under transparent pixels)."""
    colours = [(0, 0, 0)]
    for px in images:
        for row in px:
            for (r, g, b, a) in row:
                if a and (r, g, b) not in colours:
                    colours.append((r, g, b))
    if len(colours) > 16:
        sys.exit("make_icon: more than 16 colours do not fit a 4-bit icon")
    return colours + [(0, 0, 0)] * (16 - len(colours))


def image(px, colours):
    """One icon image: BITMAPINFOHEADER (double height), 16-colour palette, 4-bit rows
    bottom-up, AND mask (a set bit is transparent)."""
    n = len(px)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    table = b"".join(bytes((b, g, r, 0)) for (r, g, b) in colours)
    stride = ((n * 4 + 31) // 32) * 4
    pixels = b""
    for row in reversed(px):
        line = bytearray(stride)
        for x, (r, g, b, a) in enumerate(row):
            index = colours.index((r, g, b)) if a else 0
            line[x // 2] |= index << (0 if x % 2 else 4)
        pixels += bytes(line)
    stride = ((n + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + table + pixels + mask


def main(path):
    sizes = (16, 32, 48)
    drawings = [draw(n) for n in sizes]
    colours = palette_of(drawings)
    images = [image(px, colours) for px in drawings]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "K4EXTRACTOR.ico")
