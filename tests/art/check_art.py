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

# Which bitmap is which control, where it sits and how many frames it has
# come from the parameter table; the art's own sizes are checked as figures.
sys.path.insert(0, os.path.join(ROOT, "tools"))
import paramtable  # noqa: E402

PARAMS = paramtable.load(ROOT)
BACKGROUND = 150
# id: (width, height)
SIZES = {
    150: (1024, 768), 112: (31, 62), 107: (115, 376), 115: (54, 864),
    108: (128, 376), 116: (62, 864), 113: (34, 62), 110: (144, 376),
    109: (134, 376), 117: (56, 864), 111: (156, 376), 118: (57, 864),
    114: (57, 864), 119: (279, 27), 120: (279, 27), 121: (279, 28),
    122: (279, 28), 106: (20, 40), 104: (22, 36), 105: (18, 32),
    152: (54, 27), 123: (34, 62), 160: (312, 77 * 21), 161: (84, 60 * 13), 153: (320, 30),
}
# id -> frames and id -> (x, y) on the background; a meter's unlit image
# sits where its lit one does
FRAMES = {BACKGROUND: 1}
POSITIONS = {}
for _row in PARAMS:
    _slot = _row["slot"]
    if _slot:
        for _bid in (_slot["bitmap"], _slot.get("off")):
            if _bid:
                FRAMES[_bid] = _slot["frames"]
                POSITIONS[_bid] = (_slot["x"], _slot["y"])
# the tuner's glyphs: twelve note names and the one for no note
(_, _TUNER), = paramtable.slots(PARAMS, "tuner")
FRAMES[_TUNER["off"]] = 13
# the face covers the output display whole instead of blending into the panel,
# and the glyphs sit inside the face: neither lines up with the background
del POSITIONS[_TUNER["bitmap"]], POSITIONS[_TUNER["off"]]
KNOBS = tuple(s["bitmap"] for _, s in paramtable.slots(PARAMS, "knob"))
# Each knob's legend is printed under its cap, from this row of the knob's
# frame down to ten rows below it; nothing that turns may reach these rows.
KNOB_LEGEND_ROW = 48
KNOB_LEGEND_ROWS = 10
FOOTSWITCHES = tuple(s["bitmap"] for _, s in paramtable.slots(PARAMS, "footswitch"))
TOGGLES = tuple(s["bitmap"] for _, s in paramtable.slots(PARAMS, "toggle"))
METER_PAIRS = tuple((s["off"], s["bitmap"]) for _, s in paramtable.slots(PARAMS, "meter"))
_LED_BITMAPS = {p["name"]: s["bitmap"] for p, s in paramtable.slots(PARAMS, "led")}
RED_LAMPS = (_LED_BITMAPS["kInputClippingLed"], _LED_BITMAPS["kOutputClippingLed"])
BLUE_LAMP = _LED_BITMAPS["kCompressionLed"]
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
    check(set(FRAMES) == set(SIZES), "the parameter table names exactly the bitmaps there are: %s" %
          sorted(set(FRAMES) ^ set(SIZES)))
    for bid, (w, h) in sorted(SIZES.items()):
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

    # a strip holds whole frames, and every frame differs from every other
    for bid, frames in sorted(FRAMES.items()):
        if bid not in bmps:
            continue
        h = SIZES[bid][1]
        if not check(h % frames == 0, "bmp%d.bmp: %d rows hold %d whole frames" % (bid, h, frames)) or frames < 2:
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
            w, h = SIZES[bid]
            frames = FRAMES[bid]
            fh = h // frames
            ok = True
            for i in range(frames):
                fr = bmps[bid].frame(i, fh)
                for (cx, cy) in ((0, 0), (w - 1, 0), (0, fh - 1), (w - 1, fh - 1)):
                    if fr[cy][cx] != bg.rows[y + cy][x + cx]:
                        ok = False
            check(ok, "bmp%d.bmp: frame corners match the background at (%d, %d)" % (bid, x, y))

    # footswitches and lamps: frame 0 dark, frame 1 lit in the right colour
    for bid in FOOTSWITCHES + RED_LAMPS:
        if bid in bmps:
            fh = SIZES[bid][1] // FRAMES[bid]
            off, on = count(bmps[bid].frame(0, fh), is_red), count(bmps[bid].frame(1, fh), is_red)
            check(off == 0 and on >= 4, "bmp%d.bmp: red lamp dark in frame 0 (%d), lit in frame 1 (%d)" % (bid, off, on))
    if BLUE_LAMP in bmps:
        fh = SIZES[BLUE_LAMP][1] // FRAMES[BLUE_LAMP]
        off = count(bmps[BLUE_LAMP].frame(0, fh), is_light_blue)
        on = count(bmps[BLUE_LAMP].frame(1, fh), is_light_blue)
        check(off == 0 and on >= 4,
              "bmp%d.bmp: blue lamp dark in frame 0 (%d), lit in frame 1 (%d)" % (BLUE_LAMP, off, on))

    # toggles: frame 0 lever down (RIGHT / OFF), frame 1 lever up (LEFT / ON); the lever is
    # what differs from the background, so count changed pixels above and below the pivot
    for bid in TOGGLES:
        if bid in bmps and bg is not None:
            x0, y0 = POSITIONS[bid]
            w = SIZES[bid][0]
            fh = SIZES[bid][1] // FRAMES[bid]
            ref = [bg.rows[y0 + r][x0:x0 + w] for r in range(fh)]

            def changed(fr, rows):
                return sum(1 for r in rows for a, b in zip(fr[r], ref[r]) if a != b)
            f0, f1 = bmps[bid].frame(0, fh), bmps[bid].frame(1, fh)
            top, bottom = range(0, 7), range(fh - 7, fh)
            check(changed(f1, top) > 10 and changed(f1, bottom) < changed(f1, top) // 3 and
                  changed(f0, bottom) > 10 and changed(f0, top) < changed(f0, bottom) // 3,
                  "bmp%d.bmp: lever down in frame 0, up in frame 1" % bid)

    # knobs: the blue arc grows with the frame and the pointer turns left to right
    for bid in KNOBS:
        if bid not in bmps:
            continue
        w = SIZES[bid][0]
        frames = FRAMES[bid]
        fh = SIZES[bid][1] // frames
        last, mid = frames - 1, frames // 2
        arcs, xs = [], []
        for i in range(frames):
            fr = bmps[bid].frame(i, fh)
            arcs.append(count(fr, is_arc_blue))
            white = [(x, y) for y, row in enumerate(fr) for x, p in enumerate(row) if min(p) > 225]
            xs.append(sum(x for x, _ in white) / len(white) if white else None)
        check(arcs[0] == 0 and arcs[last] > 150 and all(a <= b for a, b in zip(arcs, arcs[1:])),
              "bmp%d.bmp: blue arc absent at frame 0 and growing to the last frame: %s" % (bid, arcs))
        check(None not in xs and xs[0] < w / 2 - 4 and xs[last] > w / 2 + 4 and abs(xs[mid] - w / 2) < 6,
              "bmp%d.bmp: pointer at the left at frame 0, up at mid travel, right at the last frame" % bid)

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
                fh = SIZES[bid][1] // FRAMES[bid]
                same = all(bmps[bid].frame(i, fh)[r] == bg.rows[y0 + r][x0:x0 + w]
                           for i in range(FRAMES[bid]) for r in range(KNOB_LEGEND_ROW, fh))
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
