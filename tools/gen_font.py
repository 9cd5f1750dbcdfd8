#!/usr/bin/python3
"""Writes resource/font/mono11.bmp: the printable ASCII characters (32 to
126) of DejaVu Sans Mono Bold at 11 pixels, one fixed cell each, as ink
coverage (0 none, 255 full) in grey. The widget layer paints text by
blending an ink through these cells onto whatever lies beneath, so it needs
no font engine and the same cells serve any colour on any background.

Deterministic for a given font file (Debian's fonts-dejavu-core) and PIL.
"""
import os

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUTPUT = os.path.join(ROOT, "resource", "font", "mono11.bmp")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"
SIZE = 11
# Must match CFont's cells (source/widgets/ctext.h).
CELL_WIDTH, CELL_HEIGHT = 7, 14
FIRST, LAST = 32, 126


def main():
    font = ImageFont.truetype(FONT, SIZE)
    count = LAST - FIRST + 1
    atlas = Image.new("L", (count * CELL_WIDTH, CELL_HEIGHT), 0)
    draw = ImageDraw.Draw(atlas)
    ascent, _ = font.getmetrics()
    top = (CELL_HEIGHT - SIZE) // 2 + SIZE - ascent
    for index in range(count):
        draw.text((index * CELL_WIDTH, top), chr(FIRST + index), font=font, fill=255)
    atlas.convert("RGB").save(OUTPUT, "BMP")


if __name__ == "__main__":
    main()
