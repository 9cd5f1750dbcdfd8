#!/usr/bin/python3
"""Writes resource/live/stripfont.bmp: the printable ASCII characters (32 to
126) of DejaVu Sans Mono Bold at 11 pixels, in fixed cells on the colour of
Brontal Live's strip, one row per ink: the labels' blue (as the panel's
bottom band) and the values' near-white. The strip draws text by copying
cells, so the widget layer needs no font engine.

Deterministic for a given font file (Debian's fonts-dejavu-core) and PIL.
"""
import os

from PIL import Image, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUTPUT = os.path.join(ROOT, "resource", "live", "stripfont.bmp")
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf"
SIZE = 11
CELL_WIDTH, CELL_HEIGHT = 7, 14
BACKGROUND = (20, 21, 26)
INKS = ((110, 150, 205), (232, 236, 240))
FIRST, LAST = 32, 126


def main():
    font = ImageFont.truetype(FONT, SIZE)
    count = LAST - FIRST + 1
    atlas = Image.new("RGB", (count * CELL_WIDTH, len(INKS) * CELL_HEIGHT), BACKGROUND)
    draw = ImageDraw.Draw(atlas)
    ascent, _ = font.getmetrics()
    top = (CELL_HEIGHT - SIZE) // 2 + SIZE - ascent
    for row, ink in enumerate(INKS):
        for index in range(count):
            draw.text((index * CELL_WIDTH, row * CELL_HEIGHT + top), chr(FIRST + index), font=font, fill=ink)
    atlas.save(OUTPUT, "BMP")


if __name__ == "__main__":
    main()
