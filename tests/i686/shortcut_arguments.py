#!/usr/bin/env python3
"""Prints the target path and the arguments of a shell link (.lnk) file, one line each:
what the shell starts at log-on for a Startup shortcut.

    shortcut_arguments.py LINK
"""
import struct
import sys

HAS_ID_LIST, HAS_LINK_INFO, HAS_NAME, HAS_RELATIVE_PATH = 0x1, 0x2, 0x4, 0x8
HAS_WORKING_DIR, HAS_ARGUMENTS, IS_UNICODE = 0x10, 0x20, 0x80
HEADER_SIZE = 0x4C


def read_link(data):
    flags = struct.unpack_from("<I", data, 0x14)[0]
    offset = HEADER_SIZE
    if flags & HAS_ID_LIST:
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    target = ""
    if flags & HAS_LINK_INFO:
        size, _, _, _, base = struct.unpack_from("<5I", data, offset)
        if base:
            start = offset + base
            target = data[start:data.index(b"\0", start)].decode("latin-1")
        offset += size
    strings = {}
    for flag in (HAS_NAME, HAS_RELATIVE_PATH, HAS_WORKING_DIR, HAS_ARGUMENTS):
        if flags & flag:
            count = struct.unpack_from("<H", data, offset)[0]
            width = 2 if flags & IS_UNICODE else 1
            raw = data[offset + 2:offset + 2 + count * width]
            strings[flag] = raw.decode("utf-16-le" if width == 2 else "latin-1")
            offset += 2 + count * width
    return target or strings.get(HAS_RELATIVE_PATH, ""), strings.get(HAS_ARGUMENTS, "")


if __name__ == "__main__":
    with open(sys.argv[1], "rb") as link:
        target, arguments = read_link(link.read())
    print(target.replace("\0", ""))
    print(arguments.replace("\0", "").strip())
