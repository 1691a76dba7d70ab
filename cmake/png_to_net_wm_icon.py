"""Writes a C++ header holding PNG drawings (8-bit RGBA, not interlaced) in the form of X11's
_NET_WM_ICON: for each, its width, its height, then its pixels as ARGB, row by row.

Usage: png_to_net_wm_icon.py <header> <constant> <png>..."""
import os
import struct
import sys
import zlib


def pixels(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert (depth, colour, interlace) == (8, 6, 0), f"{path}: not 8-bit RGBA"
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw, stride, rows, previous = zlib.decompress(idat), width * 4, [], bytearray(width * 4)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - 4] if x >= 4 else 0
            up = previous[x]
            corner = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                line[x] = (line[x] + left) & 255
            elif kind == 2:
                line[x] = (line[x] + up) & 255
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 255
            elif kind == 4:
                guess = left + up - corner
                near = min((abs(guess - left), 0, left), (abs(guess - up), 1, up),
                           (abs(guess - corner), 2, corner))
                line[x] = (line[x] + near[2]) & 255
        rows.append(line)
        previous = line
    argb = [(r[x + 3] << 24) | (r[x] << 16) | (r[x + 1] << 8) | r[x + 2]
            for r in rows for x in range(0, stride, 4)]
    return [width, height] + argb


def main():
    header, constant, pngs = sys.argv[1], sys.argv[2], sys.argv[3:]
    words = [word for png in pngs for word in pixels(png)]
    lines = [", ".join(f"0x{w:08x}" for w in words[i:i + 8]) for i in range(0, len(words), 8)]
    os.makedirs(os.path.dirname(header), exist_ok=True)
    with open(header, "w") as out:
        out.write("// Generated from " + ", ".join(p.rsplit("/", 1)[-1] for p in pngs) + ".\n")
        out.write("#pragma once\n#include <cstdint>\n")
        out.write(f"inline constexpr uint32_t {constant}[] = {{\n" + ",\n".join(lines) + "};\n")


main()
