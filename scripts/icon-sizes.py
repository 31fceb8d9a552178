#!/usr/bin/env python3
"""Adds the sizes that scaled displays ask for to the installer's icon, drawn from its
32-pixel image, in the same 16 colours with a transparency mask.

    icon-sizes.py ui/installer.ico

The 16- and 32-pixel images are kept as they are; 20, 24 (small icons at 125% and 150%)
and 48 (large icons at 150%, and small ones at 300%) are made anew each time, with nothing but
the standard library; the result is committed.
"""
import struct
import sys

KEPT = (16, 32)
MADE = (20, 24, 48)
# The source is resampled at this many times the target size, and each target pixel then
# takes the palette colour most of its block has: lines stay whole and colours stay pure,
# which a smooth filter followed by a nearest-colour match would not give.
OVERSAMPLE = 8


def read_icon(path):
    data = open(path, "rb").read()
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    assert kind == 1, "not an icon"
    entries = {}
    for index in range(count):
        width, height, colours, _, planes, bits, size, offset = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * index)
        entries[width or 256] = data[offset:offset + size]
    return entries


def palette_of(dib):
    return [tuple(dib[40 + 4 * i:43 + 4 * i][::-1]) for i in range(16)]


def decode(dib, size):
    """The 4-bit image with its mask as palette indices, None where transparent."""
    palette = palette_of(dib)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    pixels = 40 + 64
    mask = pixels + colour_row * size
    rows = []
    for y in range(size):
        source = size - 1 - y  # bottom-up
        row = []
        for x in range(size):
            byte = dib[pixels + source * colour_row + x // 2]
            index = byte >> 4 if x % 2 == 0 else byte & 15
            transparent = dib[mask + source * mask_row + x // 8] & (0x80 >> (x % 8))
            row.append(None if transparent else index)
        rows.append(row)
    return rows, palette


def scale(rows, size, target):
    """Each target pixel takes the index (or transparency) covering most of its area."""
    fine = target * OVERSAMPLE
    result = []
    for ty in range(target):
        row = []
        for tx in range(target):
            votes = {}
            for fy in range(ty * OVERSAMPLE, (ty + 1) * OVERSAMPLE):
                for fx in range(tx * OVERSAMPLE, (tx + 1) * OVERSAMPLE):
                    value = rows[fy * size // fine][fx * size // fine]
                    votes[value] = votes.get(value, 0) + 1
            # Ties go to the darker outline (index 0) and then to the lower index.
            row.append(max(votes, key=lambda v: (votes[v], v == 0, -(v if v is not None else 99))))
        result.append(row)
    return result


def encode(rows, palette, size):
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         (colour_row + mask_row) * size, 0, 0, 16, 0)
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    pixels = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        line = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, value in enumerate(rows[y]):
            index = 0 if value is None else value
            line[x // 2] |= index << 4 if x % 2 == 0 else index
            if value is None:
                bits[x // 8] |= 0x80 >> (x % 8)
        pixels += line
        mask += bits
    return header + colours + bytes(pixels) + bytes(mask)


def write_icon(path, images):
    sizes = sorted(images)
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size in sizes:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4,
                           len(images[size]), offset)
        offset += len(images[size])
    open(path, "wb").write(out + b"".join(images[size] for size in sizes))


def main():
    path = sys.argv[1]
    entries = read_icon(path)
    images = {size: entries[size] for size in KEPT}
    rows, palette = decode(entries[32], 32)
    for target in MADE:
        images[target] = encode(scale(rows, 32, target), palette, target)
    write_icon(path, images)


if __name__ == "__main__":
    main()
