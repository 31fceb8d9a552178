#!/usr/bin/env python3
"""Writes ui/installer.ico, the installer's icon: a blue arrow pointing down into a grey box.

The file holds a 16x16 and a 32x32 image, both with 16 colours (4 bits per pixel, the standard
VGA palette) and a 1-bit AND mask for transparency. Run by hand from the checkout's root:
    python3 tools/icon/make_icon.py [output path]
The generated file is committed; the build does not run this script.
"""

import os
import struct
import sys

# The standard 16-colour palette as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, GREY, SILVER, BLUE, WHITE = 0, 8, 7, 12, 15

# Geometry per image size, in pixels (inclusive ranges).
#   box: left, top, right, bottom of the open box; slot: the dark opening's rows
#   shaft: left, top, right, bottom of the arrow's shaft
#   head: top and bottom row of the arrow head (its widest row is the top one)
GEOMETRY = {
    32: dict(box=(3, 19, 28, 30), slot=(20, 22), shaft=(12, 1, 19, 13), head=(11, 25)),
    16: dict(box=(1, 9, 14, 15), slot=(10, 10), shaft=(6, 0, 9, 6), head=(5, 12)),
}


def ShapeOutline(shape):
    """Pixels of a shape that touch something outside it (4-neighbourhood)."""
    edge = set()
    for (x, y) in shape:
        for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
            if (x + dx, y + dy) not in shape:
                edge.add((x, y))
                break
    return edge


def Paint(pixels, shape, fill, outline=BLACK):
    edge = ShapeOutline(shape)
    for point in shape:
        pixels[point] = outline if point in edge else fill


def DrawImage(size):
    g = GEOMETRY[size]
    pixels = {}  # (x, y) -> palette index; missing = transparent

    left, top, right, bottom = g["box"]
    box = {(x, y) for x in range(left, right + 1) for y in range(top, bottom + 1)}
    Paint(pixels, box, SILVER)
    slotTop, slotBottom = g["slot"]
    for y in range(slotTop, slotBottom + 1):
        for x in range(left + 1, right):
            pixels[(x, y)] = GREY

    sLeft, sTop, sRight, sBottom = g["shaft"]
    arrow = {(x, y) for x in range(sLeft, sRight + 1) for y in range(sTop, sBottom + 1)}
    hTop, hBottom = g["head"]
    centreLeft, centreRight = size // 2 - 1, size // 2
    for y in range(hTop, hBottom + 1):
        half = hBottom - y
        for x in range(centreLeft - half, centreRight + half + 1):
            if 0 <= x < size:
                arrow.add((x, y))
    Paint(pixels, arrow, BLUE)
    # A white highlight down the left of the shaft gives the arrow some depth.
    for y in range(sTop + 1, min(sBottom + 1, hTop)):
        pixels[(sLeft + 1, y)] = WHITE
    return pixels


def RowBytes(bits):
    """Bytes in one bitmap row of the given width in bits, padded to 32 bits."""
    return (bits + 31) // 32 * 4


def EncodeImage(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 0, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bitmaps are stored bottom-up
        row = bytearray(RowBytes(size * 4))
        maskRow = bytearray(RowBytes(size))
        for x in range(size):
            index = pixels.get((x, y))
            if index is None:
                maskRow[x // 8] |= 0x80 >> (x % 8)
                index = 0
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        colours += row
        mask += maskRow
    return header + palette + bytes(colours) + bytes(mask)


def EncodeIcon(sizes):
    images = [EncodeImage(size, DrawImage(size)) for size in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "ui", "installer.ico")
    with open(path, "wb") as f:
        f.write(EncodeIcon([16, 32]))


if __name__ == "__main__":
    main()
