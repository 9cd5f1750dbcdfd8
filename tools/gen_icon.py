#!/usr/bin/python3
"""Packs the product icon images into the Windows icon file the module's
resources carry as icon group 107.

Deterministic; reads resource/icon/icon<N>.png (N in 256 128 64 48 32 16)
and writes resource/icon/brontal.ico: the 256-pixel image as its PNG bytes,
the others as 32-bit DIBs (bottom-up BGRA, then an AND mask marking the
fully transparent pixels), which every Windows version draws.
"""
import os
import struct

from PIL import Image

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ICON_DIR = os.path.join(ROOT, "resource", "icon")
SIZES = (256, 128, 64, 48, 32, 16)


def dib(path, n):
    image = Image.open(path).convert("RGBA")
    assert image.size == (n, n), path
    pixels = image.load()
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    for y in range(n - 1, -1, -1):
        for x in range(n):
            r, g, b, a = pixels[x, y]
            xor += bytes((b, g, r, a))
    stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray(stride)
        for x in range(n):
            if pixels[x, y][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + bytes(xor) + bytes(mask)


def main():
    images = []
    for n in SIZES:
        path = os.path.join(ICON_DIR, "icon%d.png" % n)
        if n == 256:
            with open(path, "rb") as f:
                images.append((n, f.read()))
        else:
            images.append((n, dib(path, n)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in images:
        # A width or height of 256 is stored as 0.
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(os.path.join(ICON_DIR, "brontal.ico"), "wb") as f:
        f.write(out)
    print("wrote brontal.ico with %d images" % len(images))


if __name__ == "__main__":
    main()
