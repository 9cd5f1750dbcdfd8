#!/usr/bin/env python3
"""Checks the committed editor bitmaps and icon images (standard library only).

Usage: check_art.py [repository root]   (defaults to two levels above this file)
"""
import os
import struct
import sys
import zlib

ROOT = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else \
    os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BMP_DIR = os.path.join(ROOT, "resource", "bitmaps")
ICON_DIR = os.path.join(ROOT, "resource", "icon")

# id: (width, height, frames)
SIZES = {
    150: (1024, 768, 1), 112: (31, 62, 2), 107: (115, 376, 2), 115: (54, 864, 16),
    108: (128, 376, 2), 116: (62, 864, 16), 113: (34, 62, 2), 110: (144, 376, 2),
    109: (134, 376, 2), 117: (56, 864, 16), 111: (156, 376, 2), 118: (57, 864, 16),
    114: (57, 864, 16), 119: (279, 27, 1), 120: (279, 27, 1), 121: (279, 28, 1),
    122: (279, 28, 1), 106: (20, 40, 2), 104: (22, 36, 2), 105: (18, 32, 2),
    152: (54, 27, 1),
}
# Where each control sits on the 1024 x 768 background: id -> (x, y)
POSITIONS = {
    112: (482, 209), 107: (88, 310), 115: (148, 251), 108: (263, 310), 116: (308, 251),
    113: (543, 209), 110: (600, 310), 109: (431, 310), 117: (471, 251), 111: (765, 310),
    118: (631, 251), 114: (789, 251), 119: (610, 194), 120: (610, 194), 121: (610, 222),
    122: (610, 222), 106: (121, 279), 104: (872, 283), 105: (230, 284), 152: (968, 0),
}
KNOBS = (115, 116, 117, 118, 114)
# Each knob's legend is printed under its cap, from this row of the knob's
# frame down to ten rows below it; nothing that turns may reach these rows.
KNOB_LEGEND_ROW = 48
KNOB_LEGEND_ROWS = 10
FOOTSWITCHES = (107, 108, 109, 110, 111)
METER_PAIRS = ((119, 120), (121, 122))
SEGMENTS = 26
ICON_SIZES = (256, 128, 64, 48, 32, 16)

passed = 0
failed = 0


def check(cond, what):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print("FAIL: " + what)
    return cond


class Bmp:
    """24-bit bottom-up BMP read into top-down rows of (r, g, b) tuples."""

    def __init__(self, path):
        with open(path, "rb") as f:
            data = f.read()
        self.ok = False
        self.problem = ""
        if len(data) < 54 or data[:2] != b"BM":
            self.problem = "not a BMP file"
            return
        file_size, _, offset = struct.unpack_from("<III", data, 2)
        hsize, w, h, planes, bpp, comp = struct.unpack_from("<IiiHHI", data, 14)
        self.header = dict(file_size=file_size, offset=offset, hsize=hsize, w=w, h=h, planes=planes,
                           bpp=bpp, comp=comp)
        self.w, self.h = w, h
        if hsize != 40 or planes != 1 or bpp != 24 or comp != 0 or h <= 0 or w <= 0:
            self.problem = "header %r" % self.header
            return
        stride = (w * 3 + 3) & ~3
        if file_size != len(data) or offset + stride * h > len(data):
            self.problem = "size fields do not match the file (%d bytes)" % len(data)
            return
        rows = []
        for r in range(h):
            start = offset + (h - 1 - r) * stride  # bottom-up storage
            raw = data[start:start + w * 3]
            rows.append([(raw[i + 2], raw[i + 1], raw[i]) for i in range(0, w * 3, 3)])
        self.rows = rows
        self.ok = True

    def frame(self, index, fh):
        return self.rows[index * fh:(index + 1) * fh]


def count(rows, pred):
    return sum(1 for row in rows for p in row if pred(p))


def is_red(p):
    return p[0] > 200 and p[1] < 110 and p[2] < 110


def is_light_blue(p):
    return p[2] > 200 and p[1] > 150 and p[0] < 200 and p[2] - p[0] > 50


def is_arc_blue(p):
    return p[2] > 200 and p[0] < 110 and p[2] - p[0] > 120


def is_cyan(p):
    return p[1] > 170 and p[2] > 200 and p[0] < 150


def brightness(rows):
    return sum(sum(p) for row in rows for p in row)


def check_bitmaps():
    bmps = {}
    for bid, (w, h, frames) in sorted(SIZES.items()):
        path = os.path.join(BMP_DIR, "bmp%d.bmp" % bid)
        if not check(os.path.isfile(path), "bmp%d.bmp exists" % bid):
            continue
        b = Bmp(path)
        if not check(b.ok, "bmp%d.bmp is an uncompressed 24-bit BITMAPINFOHEADER bitmap: %s" % (bid, b.problem)):
            continue
        if check((b.w, b.h) == (w, h), "bmp%d.bmp is %dx%d, expected %dx%d" % (bid, b.w, b.h, w, h)):
            bmps[bid] = b  # the content checks below assume the exact size
    extra = sorted(f for f in os.listdir(BMP_DIR) if f.endswith(".bmp")
                   and f not in {"bmp%d.bmp" % i for i in SIZES})
    check(not extra, "no unexpected bitmaps: %s" % extra)

    # every frame of a strip differs from every other frame
    for bid, (w, h, frames) in sorted(SIZES.items()):
        if frames < 2 or bid not in bmps:
            continue
        fh = h // frames
        seen = [tuple(map(tuple, bmps[bid].frame(i, fh))) for i in range(frames)]
        check(len(set(seen)) == frames, "bmp%d.bmp: its %d frames are all distinct" % (bid, frames))

    bg = bmps.get(150)
    # each frame keeps the background's pixels at its corners, so it lines up where it sits
    if bg is not None:
        for bid, (x, y) in sorted(POSITIONS.items()):
            if bid not in bmps:
                continue
            w, h, frames = SIZES[bid]
            fh = h // frames
            ok = True
            for i in range(frames):
                fr = bmps[bid].frame(i, fh)
                for (cx, cy) in ((0, 0), (w - 1, 0), (0, fh - 1), (w - 1, fh - 1)):
                    if fr[cy][cx] != bg.rows[y + cy][x + cx]:
                        ok = False
            check(ok, "bmp%d.bmp: frame corners match the background at (%d, %d)" % (bid, x, y))

    # footswitches and lamps: frame 0 dark, frame 1 lit in the right colour
    for bid in FOOTSWITCHES + (106, 104):
        if bid in bmps:
            fh = SIZES[bid][1] // 2
            off, on = count(bmps[bid].frame(0, fh), is_red), count(bmps[bid].frame(1, fh), is_red)
            check(off == 0 and on >= 4, "bmp%d.bmp: red lamp dark in frame 0 (%d), lit in frame 1 (%d)" % (bid, off, on))
    if 105 in bmps:
        off, on = count(bmps[105].frame(0, 16), is_light_blue), count(bmps[105].frame(1, 16), is_light_blue)
        check(off == 0 and on >= 4, "bmp105.bmp: blue lamp dark in frame 0 (%d), lit in frame 1 (%d)" % (off, on))

    # toggles: frame 0 lever down (RIGHT / OFF), frame 1 lever up (LEFT / ON); the lever is
    # what differs from the background, so count changed pixels above and below the pivot
    for bid in (112, 113):
        if bid in bmps and bg is not None:
            x0, y0 = POSITIONS[bid]
            w = SIZES[bid][0]
            ref = [bg.rows[y0 + r][x0:x0 + w] for r in range(31)]

            def changed(fr, rows):
                return sum(1 for r in rows for a, b in zip(fr[r], ref[r]) if a != b)
            f0, f1 = bmps[bid].frame(0, 31), bmps[bid].frame(1, 31)
            top, bottom = range(0, 7), range(24, 31)
            check(changed(f1, top) > 10 and changed(f1, bottom) < changed(f1, top) // 3 and
                  changed(f0, bottom) > 10 and changed(f0, top) < changed(f0, bottom) // 3,
                  "bmp%d.bmp: lever down in frame 0, up in frame 1" % bid)

    # knobs: the blue arc grows with the frame and the pointer turns left to right
    for bid in KNOBS:
        if bid not in bmps:
            continue
        w = SIZES[bid][0]
        arcs, xs = [], []
        for i in range(16):
            fr = bmps[bid].frame(i, 54)
            arcs.append(count(fr, is_arc_blue))
            white = [(x, y) for y, row in enumerate(fr) for x, p in enumerate(row) if min(p) > 225]
            xs.append(sum(x for x, _ in white) / len(white) if white else None)
        check(arcs[0] == 0 and arcs[15] > 150 and all(a <= b for a, b in zip(arcs, arcs[1:])),
              "bmp%d.bmp: blue arc absent at frame 0 and growing to frame 15: %s" % (bid, arcs))
        check(None not in xs and xs[0] < w / 2 - 4 and xs[15] > w / 2 + 4 and abs(xs[8] - w / 2) < 6,
              "bmp%d.bmp: pointer at the left at frame 0, up at mid travel, right at frame 15" % bid)

    # knob legends: dark lettering under each cap on the background, and every
    # frame of the knob shows the legend rows exactly as the background does
    if bg is not None:
        for bid in KNOBS:
            x0, y0 = POSITIONS[bid]
            w = SIZES[bid][0]
            top = y0 + KNOB_LEGEND_ROW
            ink = sum(1 for r in range(top, top + KNOB_LEGEND_ROWS)
                      for p in bg.rows[r][x0:x0 + w] if max(p) < 70)
            check(ink >= 30, "bmp150.bmp: a legend under knob bmp%d (%d ink pixels)" % (bid, ink))
            if bid in bmps:
                same = all(bmps[bid].frame(i, 54)[r] == bg.rows[y0 + r][x0:x0 + w]
                           for i in range(16) for r in range(KNOB_LEGEND_ROW, 54))
                check(same, "bmp%d.bmp: every frame shows the legend rows of the background" % bid)

    # meters: 26 whole segments, each inside its 1/26 of the width
    for off_id, on_id in METER_PAIRS:
        if off_id not in bmps or on_id not in bmps:
            continue
        on, off = bmps[on_id], bmps[off_id]
        check(on.rows != off.rows, "bmp%d.bmp and bmp%d.bmp differ" % (on_id, off_id))
        best = None
        for y, row in enumerate(on.rows):
            runs, x = [], 0
            while x < len(row):
                if is_cyan(row[x]):
                    start = x
                    while x < len(row) and is_cyan(row[x]):
                        x += 1
                    runs.append((start, x - 1))
                else:
                    x += 1
            if best is None or len(runs) > len(best[1]):
                best = (y, runs)
        y, runs = best
        check(len(runs) == SEGMENTS, "bmp%d.bmp: %d lit segments on row %d, expected %d" % (on_id, len(runs), y, SEGMENTS))
        pitch = on.w / SEGMENTS
        inside = all(i * pitch <= a and b < (i + 1) * pitch and b - a + 1 >= pitch - 4
                     for i, (a, b) in enumerate(runs))
        check(inside, "bmp%d.bmp: each lit segment fills most of its own 1/26 of the width and stays inside it" % on_id)
        check(count(off.rows, is_cyan) == 0, "bmp%d.bmp: no lit segment in the off image" % off_id)
        if bg is not None:
            x0, y0 = POSITIONS[off_id]
            same = all(off.rows[r] == bg.rows[y0 + r][x0:x0 + off.w] for r in range(off.h))
            check(same, "bmp%d.bmp: the off image is the background's own dark meter" % off_id)


def check_icons():
    for n in ICON_SIZES:
        path = os.path.join(ICON_DIR, "icon%d.png" % n)
        if not check(os.path.isfile(path), "icon%d.png exists" % n):
            continue
        with open(path, "rb") as f:
            data = f.read()
        ok = data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
        if not check(ok, "icon%d.png is a PNG" % n):
            continue
        w, h, depth, ctype = struct.unpack_from(">IIBB", data, 16)
        check((w, h) == (n, n), "icon%d.png is %dx%d, expected %dx%d" % (n, w, h, n, n))
        check(depth == 8 and ctype == 6, "icon%d.png is 8-bit RGBA (depth %d, colour type %d)" % (n, depth, ctype))
        check(zlib.crc32(data[12:29]) == struct.unpack_from(">I", data, 29)[0], "icon%d.png header checksum" % n)


def png_rgba(data):
    """Pixels of an 8-bit RGBA, non-interlaced PNG as rows of (r, g, b, a)."""
    w, h = struct.unpack_from(">II", data, 16)
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        if kind == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, prev = 4 * w, [], bytearray(4 * w)
    for y in range(h):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            c = prev[i - 4] if i >= 4 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xff
            elif kind == 2:
                line[i] = (line[i] + b) & 0xff
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xff
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xff
        rows.append([tuple(line[x * 4:x * 4 + 4]) for x in range(w)])
        prev = line
    return rows


def check_ico():
    """The Windows icon group (tools/gen_icon.py) must hold the PNG images as they are."""
    path = os.path.join(ICON_DIR, "brontal.ico")
    if not check(os.path.isfile(path), "brontal.ico exists"):
        return
    with open(path, "rb") as f:
        data = f.read()
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    check(kind == 1 and count == len(ICON_SIZES), "brontal.ico is an icon file of %d images" % len(ICON_SIZES))
    for i, n in enumerate(ICON_SIZES[:count]):
        w, h, _, _, planes, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        check((w or 256, h or 256) == (n, n) and planes == 1 and bits == 32,
              "brontal.ico image %d is %dx%d at 32 bits" % (i, n, n))
        image = data[offset:offset + size]
        with open(os.path.join(ICON_DIR, "icon%d.png" % n), "rb") as f:
            png = f.read()
        if image[:8] == png[:8]:
            check(image == png, "brontal.ico's %d-pixel image is icon%d.png" % (n, n))
            continue
        header = struct.unpack_from("<IiiHHI", image, 0)
        if not check(header == (40, n, 2 * n, 1, 32, 0), "brontal.ico's %d-pixel image is a 32-bit DIB" % n):
            continue
        rows = png_rgba(png)
        same = True
        for y in range(n):
            row = image[40 + (n - 1 - y) * 4 * n:40 + (n - y) * 4 * n]
            same = same and all((row[4 * x + 2], row[4 * x + 1], row[4 * x], row[4 * x + 3]) == rows[y][x]
                                for x in range(n))
        check(same, "brontal.ico's %d-pixel image has the pixels of icon%d.png (run tools/gen_icon.py)" % (n, n))


def main():
    check_bitmaps()
    check_icons()
    check_ico()
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
