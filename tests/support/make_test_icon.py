#!/usr/bin/env python3
"""Writes the tests' icon file: one .ico with several sizes and colour depths, made from
a simple pattern so that each image is told apart by its pixels. Images: 16x16 at 4 bits
(16-colour palette), 32x32 at 8 bits (256-colour palette), 48x48 at 32 bits (with alpha),
and 256x256 as PNG, as icons of current systems store it.

    make_test_icon.py OUT.ico"""
import struct
import sys
import zlib


def pixel(x, y, size):
    """Colour of a pixel: a diagonal split and a border, so that sizes look different."""
    if x in (0, size - 1) or y in (0, size - 1):
        return (0x20, 0x20, 0x80)
    return (0xE0, 0x40, 0x30) if x > y else (0x30, 0xB0, 0x50)


def row_bytes(bits, width):
    return (bits * width + 31) // 32 * 4


def dib(size, bits):
    """BITMAPINFOHEADER (height doubled: colour rows, then the AND mask), palette, rows."""
    colours = 1 << bits if bits <= 8 else 0
    palette = [(0, 0, 0)] * colours
    wanted = [(0x20, 0x20, 0x80), (0xE0, 0x40, 0x30), (0x30, 0xB0, 0x50)]
    for i, colour in enumerate(wanted[:colours]):
        palette[i] = colour
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, colours, 0)
    table = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)
    rows = b""
    for y in reversed(range(size)):
        row = bytearray()
        if bits == 32:
            for x in range(size):
                r, g, b = pixel(x, y, size)
                row += bytes((b, g, r, 0xFF))
        else:
            indices = [wanted.index(pixel(x, y, size)) for x in range(size)]
            per_byte = 8 // bits
            for i in range(0, size, per_byte):
                value = 0
                for k in range(per_byte):
                    value = value << bits | indices[i + k]
                row.append(value)
        rows += bytes(row) + b"\0" * (row_bytes(bits, size) - len(row))
    mask = b"\0" * (row_bytes(1, size) * size)  # every pixel opaque
    return header + table + rows + mask


def png(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y, size)) + b"\xff" for x in range(size)) for y in range(size))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    images = [(16, 4, dib(16, 4)), (32, 8, dib(32, 8)), (48, 32, dib(48, 32)), (256, 32, png(256))]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    data = b""
    for size, bits, image in images:
        colours = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(image), offset + len(data))
        data += image
    with open(sys.argv[1], "wb") as out:
        out.write(directory + data)


if __name__ == "__main__":
    main()
