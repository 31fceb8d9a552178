#!/usr/bin/env python3
"""Converts an uncompressed 24- or 32-bit BMP file (such as the test driver's
screenshots) into an 8-bit RGB PNG file, with nothing but the standard library.

    bmp2png.py input.bmp [output.png]

Without an output name the PNG is written beside the input with the suffix .png.
The alpha byte of 32-bit pixels is dropped: screen captures leave it undefined.
"""
import struct
import sys
import zlib

FILE_HEADER = struct.Struct("<2sIHHI")
INFO_HEADER = struct.Struct("<IiiHHIIiiII")
BI_RGB, BI_BITFIELDS = 0, 3
# Refuse pictures whose pixel data could not be held sensibly in memory.
MAX_PIXELS = 64 * 1024 * 1024


class BmpError(Exception):
    pass


def read_bmp(data):
    """Returns (width, height, rows) with rows top-down as bytes of R, G, B triples."""
    if len(data) < FILE_HEADER.size + INFO_HEADER.size:
        raise BmpError("file too short for a BMP header")
    signature, _, _, _, pixel_offset = FILE_HEADER.unpack_from(data, 0)
    if signature != b"BM":
        raise BmpError("not a BMP file")
    (header_size, width, height, planes, bits, compression,
     _, _, _, _, _) = INFO_HEADER.unpack_from(data, FILE_HEADER.size)
    if header_size < INFO_HEADER.size:
        raise BmpError("unsupported BMP header of %d bytes" % header_size)
    if planes != 1 or bits not in (24, 32):
        raise BmpError("only 24- and 32-bit pictures are supported (found %d bits)" % bits)
    if compression not in (BI_RGB, BI_BITFIELDS) or (compression == BI_BITFIELDS and bits != 32):
        raise BmpError("compressed BMP files are not supported")
    if compression == BI_BITFIELDS:
        # The masks follow a 40-byte header and sit at the same place inside longer ones.
        if len(data) < FILE_HEADER.size + INFO_HEADER.size + 12:
            raise BmpError("file too short for its channel masks")
        masks = struct.unpack_from("<III", data, FILE_HEADER.size + INFO_HEADER.size)
        if masks != (0xFF0000, 0x00FF00, 0x0000FF):
            raise BmpError("only the usual 8-bit channel masks are supported")
    top_down = height < 0
    height = abs(height)
    if width <= 0 or height == 0 or width * height > MAX_PIXELS:
        raise BmpError("implausible picture size %d x %d" % (width, height))
    step = bits // 8
    stride = (width * step + 3) & ~3
    if pixel_offset + stride * height > len(data):
        raise BmpError("pixel data shorter than %d rows of %d bytes" % (height, stride))
    rows = []
    for y in range(height):
        start = pixel_offset + y * stride
        row = data[start:start + width * step]
        rgb = bytearray(width * 3)
        # BMP stores blue, green, red (and a fourth byte for 32 bits).
        rgb[0::3] = row[2::step]
        rgb[1::3] = row[1::step]
        rgb[2::3] = row[0::step]
        rows.append(bytes(rgb))
    if not top_down:
        rows.reverse()
    return width, height, rows


def png_chunk(kind, payload):
    body = kind + payload
    return struct.pack(">I", len(payload)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(width, height, rows):
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB, no interlace
    raw = b"".join(b"\x00" + row for row in rows)  # filter type 0 on every row
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def main(argv):
    if len(argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    source = argv[1]
    target = argv[2] if len(argv) == 3 else source.rsplit(".", 1)[0] + ".png"
    try:
        with open(source, "rb") as f:
            width, height, rows = read_bmp(f.read())
    except (OSError, BmpError) as error:
        sys.stderr.write("bmp2png: %s: %s\n" % (source, error))
        return 1
    with open(target, "wb") as f:
        f.write(write_png(width, height, rows))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
