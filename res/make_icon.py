#!/usr/bin/env python3
"""Draws the program's icon, K4EXTRACTOR.ico: a cardboard box with a green arrow
leaving it, at 16, 32 and 48 pixels, 32-bit colour with alpha."""
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


def image(n):
    """One icon image: BITMAPINFOHEADER (double height), BGRA rows bottom-up, AND mask."""
    px = draw(n)
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    stride = ((n + 31) // 32) * 4
    mask = b""
    for row in reversed(px):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + colour + mask


def main(path):
    sizes = (16, 32, 48)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "K4EXTRACTOR.ico")
