#!/usr/bin/env python3
"""Writes a Windows icon file holding the given PNG drawings as they are (Windows Vista and later
read PNG inside an icon). Usage: png_to_ico.py <out.ico> <drawing.png>..."""
import struct
import sys


def size_of(png):
    if png[:8] != b"\x89PNG\r\n\x1a\n" or png[12:16] != b"IHDR":
        raise SystemExit("not a PNG drawing")
    return struct.unpack(">II", png[16:24])


def main(out, drawings):
    pngs = []
    for path in drawings:
        with open(path, "rb") as f:
            pngs.append(f.read())
    pngs.sort(key=lambda png: size_of(png)[0])
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = len(header) + 16 * len(pngs)
    entries = b""
    for png in pngs:
        width, height = size_of(png)
        # 256 and more is written as 0.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32, len(png), offset)
        offset += len(png)
    with open(out, "wb") as f:
        f.write(header + entries + b"".join(pngs))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2:])
