#!/usr/bin/env python3
"""Turns 24-bit BMP files (as the Windows screenshot tour saves them) into PNG files beside
them, with the standard library alone.

    python3 scripts/bmp-to-png.py FILE.bmp...
"""
import struct
import sys
import zlib


def convert(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM":
        raise ValueError(f"{path}: not a BMP file")
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    if bits != 24 or width <= 0 or height == 0:
        raise ValueError(f"{path}: {bits}-bit {width}x{height} is not a picture this reads")
    stride = (width * 3 + 3) & ~3
    rows = abs(height)
    if offset + stride * rows > len(data):
        raise ValueError(f"{path}: shorter than its header says")
    raw = bytearray()
    for y in range(rows):
        source = rows - 1 - y if height > 0 else y  # bottom-up unless the height is negative
        line = data[offset + source * stride: offset + source * stride + width * 3]
        raw.append(0)
        # BGR to RGB
        rgb = bytearray(len(line))
        rgb[0::3], rgb[1::3], rgb[2::3] = line[2::3], line[1::3], line[0::3]
        raw += rgb

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    png = (b"\x89PNG\r\n\x1a\n" +
           chunk(b"IHDR", struct.pack(">IIBBBBB", width, rows, 8, 2, 0, 0, 0)) +
           chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    target = path[:-4] + ".png"
    with open(target, "wb") as f:
        f.write(png)
    return target


if __name__ == "__main__":
    for name in sys.argv[1:]:
        print(convert(name))
