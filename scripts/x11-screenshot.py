#!/usr/bin/env python3
"""Saves one X11 window (or the whole screen) of the display in $DISPLAY as a PNG file,
with nothing but the standard library and libX11 (no ImageMagick, no xwd).

    x11-screenshot.py WINDOW-ID|root OUT.png

WINDOW-ID is a decimal or 0x... id as xdotool prints it. The window must be mapped.
"""
import ctypes
import ctypes.util
import struct
import sys
import zlib

ZPIXMAP = 2
ALL_PLANES = 0xFFFFFFFF


class XWindowAttributes(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int),
                ("depth", ctypes.c_int), ("rest", ctypes.c_byte * 256)]


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.POINTER(ctypes.c_ubyte)),
                ("byte_order", ctypes.c_int), ("bitmap_unit", ctypes.c_int),
                ("bitmap_bit_order", ctypes.c_int), ("bitmap_pad", ctypes.c_int),
                ("depth", ctypes.c_int), ("bytes_per_line", ctypes.c_int),
                ("bits_per_pixel", ctypes.c_int), ("red_mask", ctypes.c_ulong),
                ("green_mask", ctypes.c_ulong), ("blue_mask", ctypes.c_ulong)]


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    x11 = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11") or "libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XDefaultRootWindow.restype = ctypes.c_ulong
    x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                         ctypes.POINTER(XWindowAttributes)]
    x11.XGetImage.restype = ctypes.POINTER(XImage)
    x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                              ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
    display = x11.XOpenDisplay(None)
    if not display:
        sys.exit("x11-screenshot: cannot open the display")
    # Xlib's default handler ends the process on any error; a window that is gone is
    # reported by the calls' results instead.
    handler_type = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)
    ignore = handler_type(lambda display, event: 0)
    x11.XSetErrorHandler(ignore)
    window = x11.XDefaultRootWindow(display) if sys.argv[1] == "root" else int(sys.argv[1], 0)
    attributes = XWindowAttributes()
    if not x11.XGetWindowAttributes(display, window, ctypes.byref(attributes)):
        sys.exit("x11-screenshot: no such window")
    width, height = attributes.width, attributes.height
    image = x11.XGetImage(display, window, 0, 0, width, height, ALL_PLANES, ZPIXMAP)
    if not image or image.contents.bits_per_pixel != 32:
        sys.exit("x11-screenshot: cannot read the window (mapped, 24/32-bit display?)")
    stride = image.contents.bytes_per_line
    data = ctypes.string_at(image.contents.data, stride * height)
    rows = []
    for y in range(height):
        line = data[y * stride:y * stride + width * 4]
        row = bytearray(width * 3)  # BGRX in memory on little-endian servers
        row[0::3], row[1::3], row[2::3] = line[2::4], line[1::4], line[0::4]
        rows.append(bytes(row))
    with open(sys.argv[2], "wb") as out:
        out.write(png(width, height, rows))


if __name__ == "__main__":
    main()
