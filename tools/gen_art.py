#!/usr/bin/python3
"""Draws Brontal's editor bitmaps, product icon images and a panel preview.

Deterministic: fixed random seeds, no clock or environment input.  Run from
anywhere; writes into the repository this file belongs to:

  resource/bitmaps/bmp<ID>.bmp   24-bit uncompressed BMP, frames stacked
  resource/icon/icon<N>.png      32-bit RGBA, N in 256 128 64 48 32 16
  docs/img/panel-preview.png     whole window at the default values

The panel is drawn first with every control's fixed parts (housings, bezels,
unlit lamps, dark meter segments); each control frame is then cut from the
panel at its layout position and only the moving part is drawn over it, so
the controls blend into the background pixel for pixel.
"""
import math
import os
import re
import sys

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

import paramtable

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FONT_DIR = "/usr/share/fonts/truetype/dejavu"
W, H = 1024, 768
SS = 4  # supersampling factor for anti-aliased shapes

# Where each control sits, its bitmap ids and frame count come from the
# parameter table; the art adds widths, frame heights, colours and labels.
PARAMS = paramtable.load(ROOT)
FOOTSWITCH_ART = {  # width, label
    "kGateCompOnOff": (115, "COMPRESSOR"),
    "kDistortionOnOff": (128, "DISTORTION"),
    "kModulationOnOff": (134, "MODULATION"),
    "kDelayOnOff": (144, "DELAY"),
    "kReverbOnOff": (156, "REVERB"),
}
FOOTSWITCHES = [(s["bitmap"], s["x"], s["y"]) + FOOTSWITCH_ART[p["name"]]
                for p, s in paramtable.slots(PARAMS, "footswitch")]
FS_H = 188
KNOB_ART = {  # width, legend
    "kCompressorLevel": (54, "SUSTAIN"),
    "kDistortionLevel": (62, "DRIVE"),
    "kChorusSpeed": (56, "MIX"),
    "kDelayLevel": (57, "LEVEL"),
    "kReverbLevel": (57, "DECAY"),
}
KNOBS = [(s["bitmap"], s["x"], s["y"]) + KNOB_ART[p["name"]] for p, s in paramtable.slots(PARAMS, "knob")]
KNOB_H = 54
# Knob legends sit in the open bottom of the arc; nothing that turns reaches
# below this row of the knob's frame, so every frame shows the same legend.
KNOB_LEGEND_Y = 48
TOGGLE_ART = {  # width, upper label, lower label, heading
    "kInputSelection": (31, "LEFT", "RIGHT", "INPUT"),
    "kStereoEnhancerOnOff": (34, "ON", "OFF", "STEREO"),
    "kTunerOnOff": (34, "ON", "OFF", "TUNER"),
}
TOGGLES = [(s["bitmap"], s["x"], s["y"]) + TOGGLE_ART[p["name"]] for p, s in paramtable.slots(PARAMS, "toggle")]
TOGGLE_H = 31
# The tuner's face over the output display; its geometry is CTunerDisplay's
# (source/widgets/controls.h).
(_TUNER_ROW, _TUNER_SLOT), = paramtable.slots(PARAMS, "tuner")
TUNER = (_TUNER_SLOT["bitmap"], _TUNER_SLOT["off"], _TUNER_SLOT["x"], _TUNER_SLOT["y"], 312, 77)
TUNER_GLYPH = (6, 8, 84, 60)
TUNER_SCALE_CENTRE, TUNER_CENTS_PX = 206, 2
NOTE_NAMES = ("C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B", "–")
METER_ART = {  # width, height, channel letter
    "kOutputLeftVumeter": (279, 27, "L"),
    "kOutputRightVumeter": (279, 28, "R"),
}
METERS = [(s["off"], s["bitmap"], s["x"], s["y"]) + METER_ART[p["name"]] for p, s in paramtable.slots(PARAMS, "meter")]
METER_SEGMENTS = 26
LED_ART = {  # width, frame height, colour, label
    "kInputClippingLed": (20, 20, "red", "IN CLIP"),
    "kOutputClippingLed": (22, 18, "red", "OUT CLIP"),
    "kCompressionLed": (18, 16, "blue", "COMP"),
}
LEDS = [(s["bitmap"], s["x"], s["y"]) + LED_ART[p["name"]] for p, s in paramtable.slots(PARAMS, "led")]
# The preset bar above the unit; its geometry is CProgramBar's
# (source/widgets/controls.h): an arrow button at each end, the name between.
(_, _PROGRAMS_SLOT), = paramtable.slots(PARAMS, "programs")
PROGRAMS = (_PROGRAMS_SLOT["bitmap"], _PROGRAMS_SLOT["x"], _PROGRAMS_SLOT["y"], 320, 30)
PROGRAMS_ARROW_W = 32
(_, _ABOUT_SLOT), = paramtable.slots(PARAMS, "button")
ABOUT = (_ABOUT_SLOT["bitmap"], _ABOUT_SLOT["x"], _ABOUT_SLOT["y"], 54, 27)
# bitmap id -> frame count, and the frame that shows the default
FRAMES = {p["slot"]["bitmap"]: p["slot"]["frames"] for p in PARAMS if p["slot"]}
DEFAULT_FRAMES = {p["slot"]["bitmap"]: paramtable.default_frame(p) for p in PARAMS if p["slot"]}
ICON_SIZES = (256, 128, 64, 48, 32, 16)

# Chassis and fixed panel areas
UNIT = (40, 146, 984, 626)          # floor unit outline (x0, y0, x1, y1)
PLATE_INSET = 6
NAMEPLATE = (72, 166, 462, 246)
DISPLAY = (588, 166, 908, 251)      # dark window around both meters



def cabinet_layout():
    """The cabinet section's rectangles, as source/cabinetpanel.h gives them."""
    text = open(os.path.join(ROOT, "source", "cabinetpanel.h")).read()
    found = re.findall(r"constexpr int k(\w+)\[4\] = \{(\d+), (\d+), (\d+), (\d+)\};", text)
    return {name: tuple(int(v) for v in box) for name, *box in found}


CABINET = cabinet_layout()

_fonts = {}


def font(name, size):
    key = (name, size)
    if key not in _fonts:
        _fonts[key] = ImageFont.truetype(os.path.join(FONT_DIR, name), size)
    return _fonts[key]


BOLD = "DejaVuSans-Bold.ttf"
COND = "DejaVuSansCondensed-Bold.ttf"
SANS = "DejaVuSans.ttf"


# ---------------------------------------------------------------------------
# Supersampled drawing of one rectangular region
# ---------------------------------------------------------------------------
class Layer:
    """RGBA accumulator at SS times the region size, box-filtered down."""

    def __init__(self, w, h, s=SS):
        self.w, self.h, self.s = w, h, s
        self.acc = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))

    def sc(self, *v):
        return [x * self.s for x in v]

    def blank(self, mode="RGBA"):
        return Image.new(mode, self.acc.size, 0)

    def push(self, img):
        self.acc.alpha_composite(img)

    def draw(self, fn, blur=0):
        """fn(ImageDraw) draws with opaque or flat-alpha colours."""
        img = self.blank()
        fn(ImageDraw.Draw(img))
        if blur:
            img = img.filter(ImageFilter.GaussianBlur(blur * self.s))
        self.push(img)

    def mask(self, fn):
        m = self.blank("L")
        fn(ImageDraw.Draw(m))
        return m

    def fill(self, mask, colours, alpha=255):
        """Fill mask with an RGB array (h, w, 3) at SS size or a colour."""
        if isinstance(colours, tuple):
            img = Image.new("RGBA", self.acc.size, colours + (255,))
        else:
            img = Image.fromarray(np.clip(colours, 0, 255).astype(np.uint8), "RGB").convert("RGBA")
        if alpha != 255:
            mask = mask.point(lambda v: v * alpha // 255)
        img.putalpha(mask)
        self.push(img)

    def vgrad(self, y0, y1, c0, c1):
        """Vertical gradient from c0 at y0 to c1 at y1 (region pixels)."""
        ys = (np.arange(self.h * self.s) + 0.5) / self.s
        t = np.clip((ys - y0) / max(y1 - y0, 1e-6), 0, 1)[:, None, None]
        c = np.array(c0, float) * (1 - t) + np.array(c1, float) * t
        return np.broadcast_to(c, (self.h * self.s, self.w * self.s, 3))

    def radial(self, cx, cy, r, c0, c1, power=1.0):
        ys = (np.arange(self.h * self.s) + 0.5) / self.s
        xs = (np.arange(self.w * self.s) + 0.5) / self.s
        d = np.hypot(xs[None, :] - cx, ys[:, None] - cy) / r
        t = np.clip(d, 0, 1) ** power
        t = t[:, :, None]
        return np.array(c0, float) * (1 - t) + np.array(c1, float) * t

    def result(self):
        return self.acc.resize((self.w, self.h), Image.BOX)


def composite(base, layer, x, y):
    """Alpha-composite a Layer's result onto RGB image base at (x, y)."""
    over = layer.result()
    region = base.crop((x, y, x + layer.w, y + layer.h)).convert("RGBA")
    region.alpha_composite(over)
    base.paste(region.convert("RGB"), (x, y))


def ell(cx, cy, r, s):
    return [(cx - r) * s, (cy - r) * s, (cx + r) * s, (cy + r) * s]


def draw_text(img, cx, y, txt, f, ink, shadow=None, shadow_off=(0, 1), spacing=0):
    """Centred text at top y; optional 1-pixel shadow/highlight under it."""
    d = ImageDraw.Draw(img)
    widths = [f.getlength(ch) for ch in txt]
    total = sum(widths) + spacing * (len(txt) - 1)
    top = f.getbbox(txt)[1]
    x = cx - total / 2
    for layer_ink, off in ((shadow, shadow_off), (ink, (0, 0))):
        if layer_ink is None:
            continue
        xx = x
        for ch, wch in zip(txt, widths):
            d.text((round(xx) + off[0], y - top + off[1]), ch, font=f, fill=layer_ink)
            xx += wch + spacing


# ---------------------------------------------------------------------------
# Textures
# ---------------------------------------------------------------------------
def hblur(a, n):
    c = np.cumsum(a, axis=1)
    return (c[:, n:] - c[:, :-n]) / n


def brushed_metal(w, h, seed):
    rng = np.random.default_rng(seed)
    coarse = hblur(rng.standard_normal((h, w + 240)), 240)[:, :w]
    fine = hblur(rng.standard_normal((h, w + 24)), 24)[:, :w]
    rows = rng.standard_normal(h)[:, None]
    coarse /= coarse.std()
    fine /= fine.std()
    ys = np.linspace(0, 1, h)[:, None]
    xs = np.linspace(0, 1, w)[None, :]
    sheen = 16 * np.exp(-((xs - 0.32 - 0.25 * ys) / 0.22) ** 2) + 9 * np.exp(-((xs - 0.8 + 0.1 * ys) / 0.12) ** 2)
    v = 168 + 6 * coarse + 5 * fine + 2.0 * rows + sheen - 14 * ys
    rgb = np.stack([v * 0.985, v * 0.995, v * 1.03], axis=2)
    return rgb


def ground(w, h, seed):
    rng = np.random.default_rng(seed)
    ys = np.linspace(-1, 1, h)[:, None]
    xs = np.linspace(-1, 1, w)[None, :]
    d = np.sqrt((xs * 0.9) ** 2 + ((ys + 0.15) * 1.1) ** 2)
    t = np.clip(d / 1.35, 0, 1) ** 1.4
    inner = np.array([22, 48, 96], float)
    outer = np.array([4, 10, 28], float)
    rgb = inner * (1 - t[:, :, None]) + outer * t[:, :, None]
    rgb += rng.standard_normal((h, w, 1)) * 1.2
    return rgb


# ---------------------------------------------------------------------------
# Parts shared by panel and controls
# ---------------------------------------------------------------------------
RED_ON = ((255, 236, 210), (255, 36, 20), (170, 10, 6))
RED_OFF = ((120, 40, 36), (58, 10, 10), (26, 4, 4))
BLUE_ON = ((245, 253, 255), (120, 205, 255), (50, 130, 210))
BLUE_OFF = ((50, 70, 90), (18, 34, 52), (8, 14, 24))


def lamp_bezel(L, cx, cy, r):
    """Chrome ring with a dark seat for a lens of radius about 0.64 r."""
    s = L.s
    L.draw(lambda d: d.ellipse(ell(cx + 0.4, cy + 0.8, r + 0.6, s), fill=(0, 0, 0, 110)), blur=0.8)
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, r, s), fill=255))
    L.fill(m, L.vgrad(cy - r, cy + r, (238, 240, 244), (70, 72, 78)))
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, r * 0.8, s), fill=255))
    L.fill(m, L.vgrad(cy - r, cy + r, (60, 62, 68), (215, 218, 224)))
    L.draw(lambda d: d.ellipse(ell(cx, cy, r * 0.7, s), fill=(14, 14, 16, 255)))


def lamp_lens(L, cx, cy, r, colours, lit, glow=1.15):
    """Lens of a lamp; a lit lens also throws a red or blue glow on its bezel."""
    s = L.s
    hot, mid, edge = colours
    rl = r * 0.64
    if lit:
        L.draw(lambda d: d.ellipse(ell(cx, cy, r * glow, s), fill=mid + (150,)), blur=r * (glow - 0.9) * 0.6)
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, rl, s), fill=255))
    if lit:
        L.fill(m, L.radial(cx - rl * 0.1, cy - rl * 0.15, rl * 1.05, hot, mid, 0.55))
        L.draw(lambda d: d.ellipse(ell(cx, cy, rl, s), outline=edge + (255,), width=max(1, int(0.12 * rl * s))))
    else:
        L.fill(m, L.radial(cx - rl * 0.15, cy - rl * 0.2, rl * 1.15, mid, edge, 0.9))
    # bright spot: glass catches the light from the top left
    L.draw(lambda d: d.ellipse(ell(cx - rl * 0.35, cy - rl * 0.38, rl * 0.26, s),
                               fill=(255, 255, 255, 210 if lit else 110)), blur=0.25)


def knob_static(L, cx, cy):
    s = L.s
    L.draw(lambda d: d.ellipse(ell(cx + 1.5, cy + 3.0, 19.5, s), fill=(0, 0, 0, 150)), blur=2.2)
    # dark groove that the value arc lights up
    L.draw(lambda d: d.arc(ell(cx, cy, 25.5, s), 135, 405, fill=(52, 60, 78, 255), width=int(4 * s)))
    L.draw(lambda d: d.arc(ell(cx, cy, 25.5, s), 135, 405, fill=(24, 30, 44, 255), width=int(2.6 * s)))
    # cap: knurled skirt and a softly lit top
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, 18.5, s), fill=255))
    L.fill(m, L.vgrad(cy - 18, cy + 18, (70, 72, 78), (8, 8, 10)))
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, 17.0, s), fill=255))
    L.fill(m, L.vgrad(cy - 17, cy + 17, (34, 35, 39), (12, 12, 14)))
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, 13.5, s), fill=255))
    L.fill(m, L.radial(cx - 4, cy - 6, 19, (66, 67, 72), (16, 16, 18), 1.1))
    L.draw(lambda d: d.arc(ell(cx, cy, 13.5, s), 200, 340, fill=(120, 122, 128, 150), width=int(0.8 * s)))


def knob_moving(L, cx, cy, value):
    s = L.s
    ang = -135 + 270 * value  # degrees clockwise from 12 o'clock
    if value > 0:
        L.draw(lambda d: d.arc(ell(cx, cy, 25.5, s), 135, 135 + 270 * value,
                               fill=(40, 150, 255, 255), width=int(2.6 * s)))
        L.draw(lambda d: d.arc(ell(cx, cy, 25.5, s), 135, 135 + 270 * value,
                               fill=(150, 215, 255, 255), width=int(0.8 * s)))
    # knurls turn with the cap
    def knurls(d):
        for k in range(30):
            a = math.radians(ang + k * 12)
            x0, y0 = cx + 15.0 * math.sin(a), cy - 15.0 * math.cos(a)
            x1, y1 = cx + 17.6 * math.sin(a), cy - 17.6 * math.cos(a)
            d.line([x0 * s, y0 * s, x1 * s, y1 * s], fill=(0, 0, 0, 170), width=int(0.9 * s))
    L.draw(knurls)
    a = math.radians(ang)
    sx, sy = math.sin(a), -math.cos(a)

    def pointer(d):
        p0 = (cx + 4.0 * sx, cy + 4.0 * sy)
        p1 = (cx + 16.5 * sx, cy + 16.5 * sy)
        d.line([p0[0] * s, p0[1] * s, p1[0] * s, p1[1] * s], fill=(250, 250, 250, 255), width=int(2.8 * s))
        for p in (p0, p1):
            d.ellipse(ell(p[0], p[1], 1.4, s), fill=(250, 250, 250, 255))
    L.draw(lambda d: d.line([(cx + 4 * sx + 0.6) * s, (cy + 4 * sy + 0.9) * s,
                             (cx + 16.5 * sx + 0.6) * s, (cy + 16.5 * sy + 0.9) * s],
                            fill=(0, 0, 0, 140), width=int(3.2 * s)), blur=0.5)
    L.draw(pointer)


def toggle_static(L, cx, cy):
    s = L.s
    L.draw(lambda d: d.ellipse(ell(cx + 0.8, cy + 1.5, 9.0, s), fill=(0, 0, 0, 120)), blur=1.2)
    hexagon = [((cx + 8.4 * math.cos(math.radians(30 + 60 * k))) * s,
                (cy + 8.4 * math.sin(math.radians(30 + 60 * k))) * s) for k in range(6)]
    m = L.mask(lambda d: d.polygon(hexagon, fill=255))
    L.fill(m, L.vgrad(cy - 8.4, cy + 8.4, (236, 238, 242), (92, 94, 100)))
    L.draw(lambda d: d.polygon(hexagon, outline=(60, 62, 68, 255)))
    m = L.mask(lambda d: d.ellipse(ell(cx, cy, 5.4, s), fill=255))
    L.fill(m, L.vgrad(cy - 6, cy + 6, (90, 92, 98), (225, 228, 232)))
    L.draw(lambda d: d.ellipse(ell(cx, cy, 3.4, s), fill=(18, 18, 20, 255)))


def toggle_lever(L, cx, cy, up):
    s = L.s
    sign = -1 if up else 1
    tip = cy + sign * 12.0

    def bat(d, dx=0.0, dy=0.0, col=None):
        # a bat lever: slim at the bushing, widening to a rounded tip
        poly = [(cx - 1.5 + dx, cy + dy), (cx + 1.5 + dx, cy + dy),
                (cx + 3.0 + dx, tip + dy), (cx - 3.0 + dx, tip + dy)]
        d.polygon([(x * s, y * s) for x, y in poly], fill=col)
        d.ellipse(ell(cx + dx, tip + dy, 3.0, s), fill=col)
    L.draw(lambda d: bat(d, 1.4, 1.8, (0, 0, 0, 130)), blur=0.8)
    m = L.mask(lambda d: bat(d, col=255))
    xs = (np.arange(L.w * s) + 0.5) / s
    t = np.clip((xs - (cx - 3.4)) / 6.8, 0, 1)
    shade = 120 + 130 * np.exp(-((t - 0.35) / 0.22) ** 2)  # cylinder highlight
    arr = np.broadcast_to(np.stack([shade * 0.98, shade * 0.99, shade * 1.0], axis=1)[None, :, :],
                          (L.h * s, L.w * s, 3))
    L.fill(m, arr)
    L.draw(lambda d: d.ellipse(ell(cx - 1.0, tip - 1.1, 1.0, s), fill=(255, 255, 255, 230)), blur=0.2)


def footswitch_geometry(w):
    cx = w / 2
    pw = min(w - 16, 100)
    return cx, pw


def footswitch_static(L, w):
    """Housing, rubber pad and lamp bezel in the footswitch's own box."""
    s = L.s
    cx, pw = footswitch_geometry(w)
    hx0, hx1, hy0, hy1 = cx - pw / 2 - 5, cx + pw / 2 + 5, 58, 183
    L.draw(lambda d: d.rounded_rectangle([(hx0 + 1) * s, (hy0 + 4) * s, (hx1 + 2) * s, (hy1 + 3) * s],
                                         radius=12 * s, fill=(0, 0, 0, 150)), blur=2.0)
    m = L.mask(lambda d: d.rounded_rectangle([hx0 * s, hy0 * s, hx1 * s, hy1 * s], radius=12 * s, fill=255))
    L.fill(m, L.vgrad(hy0, hy1, (214, 216, 222), (72, 74, 80)))
    m = L.mask(lambda d: d.rounded_rectangle([(hx0 + 2) * s, (hy0 + 2) * s, (hx1 - 2) * s, (hy1 - 2) * s],
                                             radius=10 * s, fill=255))
    L.fill(m, L.vgrad(hy0, hy1, (40, 42, 46), (96, 98, 104)))
    px0, px1, py0, py1 = cx - pw / 2, cx + pw / 2, hy0 + 5, hy1 - 5
    m = L.mask(lambda d: d.rounded_rectangle([px0 * s, py0 * s, px1 * s, py1 * s], radius=8 * s, fill=255))
    L.fill(m, L.vgrad(py0, py1, (58, 58, 62), (14, 14, 16)))

    def ribs(d):
        y = py0 + 12
        while y < py1 - 10:
            d.rounded_rectangle([(px0 + 9) * s, y * s, (px1 - 9) * s, (y + 2.2) * s], radius=1 * s,
                                fill=(6, 6, 8, 255))
            d.line([(px0 + 10) * s, (y + 2.8) * s, (px1 - 10) * s, (y + 2.8) * s],
                   fill=(88, 88, 94, 200), width=int(0.8 * s))
            y += 7.5
    L.draw(ribs)
    L.draw(lambda d: d.rounded_rectangle([(px0 + 1) * s, (py0 + 1) * s, (px1 - 1) * s, (py0 + 6) * s],
                                         radius=6 * s, fill=(255, 255, 255, 28)))
    lamp_bezel(L, cx, 38, 9.0)


def meter_segments(w):
    pitch = w / METER_SEGMENTS
    out = []
    for i in range(METER_SEGMENTS):
        x0 = math.ceil(i * pitch) + 1
        x1 = math.floor((i + 1) * pitch) - 2   # inclusive; gap stays inside the cell
        out.append((x0, x1))
    return out


def meter_rows(h):
    return (6, 19) if h == 27 else (5, 18)


def draw_segments(img, ox, oy, w, h, lit):
    """Pixel-exact segments so each stays inside its 1/26 of the width."""
    a = np.array(img, dtype=np.float64)
    r0, r1 = meter_rows(h)
    for i, (x0, x1) in enumerate(meter_segments(w)):
        for row in range(r0, r1 + 1):
            t = (row - r0) / (r1 - r0)
            if lit:
                c = np.array([40, 225, 255]) * (1 - 0.25 * t) + np.array([170, 250, 255]) * 0.25 * (1 - t)
                if row == r0:
                    c = np.array([190, 252, 255])
            else:
                c = np.array([14, 36, 44]) * (1 - 0.3 * t) + np.array([24, 58, 68]) * (0.3 * (1 - t))
                if row == r0:
                    c = np.array([30, 66, 76])
            a[oy + row, ox + x0:ox + x1 + 1] = c
        if lit:
            # soft halo just above and below, kept inside the segment's cell
            for row in (r0 - 1, r1 + 1):
                a[oy + row, ox + x0:ox + x1 + 1] = a[oy + row, ox + x0:ox + x1 + 1] * 0.55 + np.array([30, 160, 190]) * 0.45
    return Image.fromarray(np.clip(a, 0, 255).astype(np.uint8), "RGB")


# ---------------------------------------------------------------------------
# Panel
# ---------------------------------------------------------------------------
def rounded_mask(w, h, box, radius):
    L = Layer(w, h, 2)
    m = L.mask(lambda d: d.rounded_rectangle([v * 2 for v in box], radius=radius * 2, fill=255))
    return m.resize((w, h), Image.BOX)


def blend(base_arr, over_arr, mask):
    m = np.asarray(mask, dtype=np.float64)[:, :, None] / 255.0
    return base_arr * (1 - m) + over_arr * m


def draw_panel():
    arr = ground(W, H, 11)
    ux0, uy0, ux1, uy1 = UNIT
    # soft shadow of the unit on the ground
    sh = Image.new("L", (W, H), 0)
    ImageDraw.Draw(sh).rounded_rectangle([ux0 + 4, uy0 + 14, ux1 - 4, uy1 + 16], radius=30, fill=200)
    sh = sh.filter(ImageFilter.GaussianBlur(14))
    arr = blend(arr, np.zeros_like(arr), sh)
    # chassis rim: lit from above
    rim = rounded_mask(W, H, (ux0, uy0, ux1, uy1), 26)
    ys = np.arange(H)[:, None, None]
    t = np.clip((ys - uy0) / (uy1 - uy0), 0, 1)
    rim_col = np.array([205, 208, 214]) * (1 - t) + np.array([46, 48, 54]) * t
    arr = blend(arr, np.broadcast_to(rim_col, arr.shape), rim)
    p = PLATE_INSET
    plate = rounded_mask(W, H, (ux0 + p, uy0 + p, ux1 - p, uy1 - p), 21)
    arr = blend(arr, brushed_metal(W, H, 7), plate)
    img = Image.fromarray(np.clip(arr, 0, 255).astype(np.uint8), "RGB")
    d = ImageDraw.Draw(img)
    # plate edge: bright top line, dark bottom line
    d.rounded_rectangle([ux0 + p, uy0 + p, ux1 - p, uy1 - p], radius=21, outline=(96, 98, 104))
    d.line([ux0 + p + 20, uy0 + p + 1, ux1 - p - 20, uy0 + p + 1], fill=(246, 247, 250))

    # corner screws
    for sx, sy in ((ux0 + 22, uy0 + 22), (ux1 - 22, uy0 + 22), (ux0 + 22, uy1 - 22), (ux1 - 22, uy1 - 22)):
        screw(img, sx, sy)

    # engraved section dividers between the five effects
    for x in (255, 411, 582, 754):
        d.line([x, 262, x, 508], fill=(110, 112, 118))
        d.line([x + 1, 262, x + 1, 508], fill=(232, 234, 238))

    # front strip under the footswitches
    fx0, fy0, fx1, fy1 = 70, 522, 954, 600
    L = Layer(fx1 - fx0, fy1 - fy0)
    s = L.s
    m = L.mask(lambda dd: dd.rounded_rectangle([0, 0, (fx1 - fx0) * s, (fy1 - fy0) * s], radius=10 * s, fill=255))
    L.fill(m, L.vgrad(0, fy1 - fy0, (26, 28, 34), (14, 15, 19)))
    L.draw(lambda dd: dd.rounded_rectangle([0, 0, (fx1 - fx0) * s - 1, (fy1 - fy0) * s - 1], radius=10 * s,
                                           outline=(120, 122, 130, 255), width=s))
    composite(img, L, fx0, fy0)
    d.line([fx0 + 10, fy1 + 1, fx1 - 10, fy1 + 1], fill=(236, 238, 242))
    draw_text(img, 590, 529, "GUITAR AMPLIFIER  ·  CABINET  ·  MULTI-EFFECTS", font(COND, 9), (150, 156, 170),
              spacing=1)
    # bottom edge of the front strip: a thin blue accent line
    d.line([fx0 + 40, 591, fx1 - 40, 591], fill=(40, 110, 210))
    cabinet_section(img)

    nameplate(img)
    display_window(img)

    # labels of the two mini toggles and their headings
    for tid, x, y, w, up, down, head in TOGGLES:
        cx = x + w / 2
        if y < 300:
            draw_text(img, cx, 172, head, font(COND, 9), (34, 36, 42), shadow=(240, 242, 245))
            draw_text(img, cx, 196, up, font(COND, 10), (20, 22, 28), shadow=(240, 242, 245))
            draw_text(img, cx, 241, down, font(COND, 10), (20, 22, 28), shadow=(240, 242, 245))
        else:  # on the dark front strip: heading beside it, light inks
            draw_text(img, x - 16, y + 3, up, font(COND, 10), (214, 218, 226))
            draw_text(img, x - 16, y + 18, down, font(COND, 10), (214, 218, 226))
            draw_text(img, x + w + 28, y + 10, head, font(BOLD, 12), (110, 160, 230), spacing=1)
        L = Layer(w, TOGGLE_H)
        toggle_static(L, w / 2, TOGGLE_H / 2)
        composite(img, L, x, y)

    # LEDs with their labels above
    for lid, x, y, w, h, col, label in LEDS:
        draw_text(img, x + w / 2, y - 12, label, font(COND, 9), (26, 28, 34), shadow=(238, 240, 244))
        L = Layer(w, h)
        r = min(w, h) / 2 - 0.6
        lamp_bezel(L, w / 2, h / 2, r)
        lamp_lens(L, w / 2, h / 2, r, RED_OFF if col == "red" else BLUE_OFF, False, 1.0)
        composite(img, L, x, y)

    # knobs: shadow, groove and cap (pointer and lit arc belong to the frames)
    for kid, x, y, w, legend in KNOBS:
        L = Layer(w, KNOB_H)
        knob_static(L, w / 2, KNOB_H / 2)
        composite(img, L, x, y)
        draw_text(img, x + w / 2, y + KNOB_LEGEND_Y, legend, font(COND, 10), (20, 22, 28), shadow=(240, 242, 245),
                  spacing=1)

    # footswitches with their names, on the panel so every frame shows them
    for fid, x, y, w, label in FOOTSWITCHES:
        draw_text(img, x + w / 2, y + 6, label, font(BOLD, 12), (22, 24, 30), shadow=(244, 245, 248), spacing=1)
        L = Layer(w, FS_H)
        footswitch_static(L, w)
        lamp_lens(L, w / 2, 38, 9.0, RED_OFF, False)
        composite(img, L, x, y)

    about_button(img)
    return img


def cabinet_section(img):
    """The player's cabinet: a divider from the tuner, its heading, the
    window the editor writes the response's name in, and four buttons whose
    labels the editor writes too."""
    d = ImageDraw.Draw(img)
    d.line([232, 530, 232, 584], fill=(60, 62, 70))
    d.line([233, 530, 233, 584], fill=(8, 9, 12))
    x0, y0, x1, y1 = CABINET["Display"]
    draw_text(img, x0 + 28, 529, "CABINET", font(BOLD, 12), (110, 160, 230), spacing=1)
    w, h = x1 - x0, y1 - y0
    L = Layer(w, h)
    s = L.s
    m = L.mask(lambda dd: dd.rounded_rectangle([0, 0, w * s, h * s], radius=4 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (0, 0, 0), (70, 74, 84)))   # recessed: dark top edge, light bottom edge
    m = L.mask(lambda dd: dd.rounded_rectangle([1 * s, 1 * s, (w - 1) * s, (h - 1) * s], radius=3 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (4, 8, 14), (10, 16, 26)))
    composite(img, L, x0, y0)
    for name in ("Load", "Previous", "Next", "BuiltIn"):
        bx0, by0, bx1, by1 = CABINET[name]
        w, h = bx1 - bx0, by1 - by0
        L = Layer(w, h)
        s = L.s
        L.draw(lambda dd: dd.rounded_rectangle([1 * s, 1.5 * s, (w - 0.5) * s, h * s], radius=5 * s,
                                               fill=(0, 0, 0, 170)), blur=0.8)
        m = L.mask(lambda dd: dd.rounded_rectangle([1 * s, 1 * s, (w - 1) * s, (h - 2) * s], radius=5 * s, fill=255))
        L.fill(m, L.vgrad(1, h - 2, (120, 130, 150), (30, 34, 44)))
        m = L.mask(lambda dd: dd.rounded_rectangle([2 * s, 2 * s, (w - 2) * s, (h - 3) * s], radius=4 * s, fill=255))
        L.fill(m, L.vgrad(2, h - 3, (52, 56, 68), (18, 20, 26)))
        composite(img, L, bx0, by0)


def screw(img, cx, cy):
    L = Layer(16, 16)
    s = L.s
    L.draw(lambda d: d.ellipse(ell(8.6, 9.0, 6.2, s), fill=(0, 0, 0, 110)), blur=0.8)
    m = L.mask(lambda d: d.ellipse(ell(8, 8, 6, s), fill=255))
    L.fill(m, L.radial(6, 5.5, 9, (240, 242, 246), (96, 98, 104)))
    L.draw(lambda d: d.line([4.2 * s, 10.6 * s, 11.8 * s, 5.4 * s], fill=(50, 52, 58, 255), width=int(1.3 * s)))
    composite(img, L, cx - 8, cy - 8)


def nameplate(img):
    x0, y0, x1, y1 = NAMEPLATE
    w, h = x1 - x0, y1 - y0
    L = Layer(w, h)
    s = L.s
    L.draw(lambda d: d.rounded_rectangle([1 * s, 3 * s, (w - 1) * s, (h - 0.5) * s], radius=9 * s,
                                         fill=(0, 0, 0, 120)), blur=1.5)
    m = L.mask(lambda d: d.rounded_rectangle([0, 0, w * s, (h - 3) * s], radius=9 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (236, 238, 242), (90, 92, 98)))
    m = L.mask(lambda d: d.rounded_rectangle([3 * s, 3 * s, (w - 3) * s, (h - 6) * s], radius=7 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (30, 32, 40), (8, 9, 14)))
    # lettering: chrome fill with a dark outline
    f = font(BOLD, 42 * s)
    txt = "BRONTAL"
    spacing = 5 * s
    widths = [f.getlength(ch) for ch in txt]
    total = sum(widths) + spacing * (len(txt) - 1)
    top = f.getbbox(txt)[1]
    tx, ty = 22 * s, 10 * s
    m = L.blank("L")
    md = ImageDraw.Draw(m)
    xx = tx
    for ch, wc in zip(txt, widths):
        md.text((xx, ty - top), ch, font=f, fill=255)
        xx += wc + spacing
    L.fill(m.filter(ImageFilter.MaxFilter(5)), (0, 0, 0))
    g = L.vgrad(10, 10 + 32, (255, 255, 255), (150, 156, 170)).copy()
    mid = (np.arange(L.h * s) / s)[:, None]
    g[:, :, :] -= (np.abs(mid - 26) < 1.2)[:, :, None] * 70  # chrome horizon line
    L.fill(m, g)
    # red accent bar and subtitle
    bar_x1 = (22 + total / s) * s
    L.draw(lambda d: d.rectangle([22 * s, 57 * s, bar_x1, 59 * s], fill=(220, 30, 24, 255)))
    composite(img, L, x0, y0)
    draw_text(img, x0 + 22 + (total / s) / 2, y0 + 63, "GUITAR AMP + PEDALBOARD", font(COND, 9), (170, 176, 190),
              spacing=2)
    # model badge to the right of the lettering
    bx = x0 + 22 + total / s + 18
    draw_text(img, (bx + x1 - 10) / 2, y0 + 18, "2", font(BOLD, 30), (40, 150, 255))


def display_window(img):
    x0, y0, x1, y1 = DISPLAY
    w, h = x1 - x0, y1 - y0
    L = Layer(w, h)
    s = L.s
    m = L.mask(lambda d: d.rounded_rectangle([0, 0, w * s, h * s], radius=6 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (40, 42, 48), (232, 234, 238)))   # recessed bevel: dark top, light bottom
    m = L.mask(lambda d: d.rounded_rectangle([2 * s, 2 * s, (w - 2) * s, (h - 2) * s], radius=5 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (4, 8, 14), (10, 16, 26)))
    # faint glass reflection across the upper part
    L.draw(lambda d: d.polygon([(3 * s, 3 * s), ((w - 3) * s, 3 * s), ((w - 3) * s, 10 * s), (3 * s, 22 * s)],
                               fill=(120, 160, 220, 12)))
    composite(img, L, x0, y0)
    d = ImageDraw.Draw(img)
    mx = METERS[0][2]
    mw = METERS[0][4]
    draw_text(img, mx + 40, 176, "OUTPUT", font(COND, 9), (60, 150, 170), spacing=2)
    # scale marks every fifth segment above the left meter
    segs = meter_segments(mw)
    for i in (0, 5, 10, 15, 20, 25):
        sx = mx + (segs[i][0] + segs[i][1]) / 2
        d.line([round(sx), 188, round(sx), 191], fill=(50, 110, 126))
    draw_text(img, mx + mw - 14, 176, "0 dB", font(COND, 9), (60, 150, 170))
    for off, on, x, y, mw_, mh, ch in METERS:
        r0, r1 = meter_rows(mh)
        draw_text(img, x - 9, y + r0 + 2, ch, font(BOLD, 10), (60, 150, 170))
    # unlit segments are part of the window
    for off, on, x, y, mw_, mh, ch in METERS:
        crop = img.crop((x, y, x + mw_, y + mh))
        img.paste(draw_segments(crop, 0, 0, mw_, mh, False), (x, y))


def tuner_faces(panel):
    """The tuner's faces, one per reference (430 to 450 Hz), and its note glyphs."""
    fid, gid, x, y, w, h = TUNER
    gx, gy, gw, gh = TUNER_GLYPH
    base = Image.new("RGB", (w, h), (6, 10, 18))
    d = ImageDraw.Draw(base)
    d.rectangle([gx - 2, gy - 2, gx + gw + 1, gy + gh + 1], outline=(40, 70, 90))
    for cents in range(-50, 51, 10):
        cx = TUNER_SCALE_CENTRE + cents * TUNER_CENTS_PX
        top = 8 if cents == 0 else 12
        d.line([cx, top, cx, 16], fill=(80, 240, 120) if cents == 0 else (60, 150, 170))
    d.line([TUNER_SCALE_CENTRE - 100, 54, TUNER_SCALE_CENTRE + 100, 54], fill=(50, 110, 126))
    # the end labels stand inside the scale's ends, so the face's edge keeps them whole
    for dx, label in ((-92, "-50"), (0, "0"), (92, "+50")):
        draw_text(base, TUNER_SCALE_CENTRE + dx, 57, label, font(COND, 9), (60, 150, 170))
    faces = []
    for k in range(_TUNER_SLOT["frames"]):
        f = base.copy()
        draw_text(f, gx + gw / 2, 71, "TUNER", font(COND, 8), (60, 150, 170), spacing=2)
        draw_text(f, TUNER_SCALE_CENTRE, 67, "A = %d Hz" % (430 + k), font(BOLD, 9), (214, 218, 226))
        faces.append(f)
    glyphs = []
    for name in NOTE_NAMES:
        g = Image.new("RGB", (gw, gh), (6, 10, 18))
        draw_text(g, gw / 2, 8, name, font(BOLD, 44), (232, 236, 240) if name != "–" else (60, 150, 170))
        glyphs.append(g)
    return {fid: strip(faces), gid: strip(glyphs)}


def about_button(img):
    bid, x, y, w, h = ABOUT
    L = Layer(w, h)
    s = L.s
    L.draw(lambda d: d.rounded_rectangle([2 * s, 2.5 * s, (w - 1.5) * s, (h - 1) * s], radius=5 * s,
                                         fill=(0, 0, 0, 160)), blur=0.8)
    m = L.mask(lambda d: d.rounded_rectangle([2 * s, 2 * s, (w - 2) * s, (h - 3) * s], radius=5 * s, fill=255))
    L.fill(m, L.vgrad(2, h - 3, (120, 130, 150), (30, 34, 44)))
    m = L.mask(lambda d: d.rounded_rectangle([3 * s, 3 * s, (w - 3) * s, (h - 4) * s], radius=4 * s, fill=255))
    L.fill(m, L.vgrad(3, h - 4, (44, 48, 60), (14, 16, 22)))
    composite(img, L, x, y)
    draw_text(img, x + w / 2, y + 9, "ABOUT", font(BOLD, 9), (226, 232, 244), shadow=(0, 0, 0), spacing=1)


def program_bar(panel):
    """Previous and next in the ABOUT button's style, the name's dark screen between."""
    bid, x, y, w, h = PROGRAMS
    aw = PROGRAMS_ARROW_W
    img = panel.crop((x, y, x + w, y + h))
    for x0, pointing in ((0, -1), (w - aw, 1)):
        L = Layer(aw, h)
        s = L.s
        L.draw(lambda d: d.rounded_rectangle([2 * s, 2.5 * s, (aw - 1.5) * s, (h - 1) * s], radius=5 * s,
                                             fill=(0, 0, 0, 160)), blur=0.8)
        m = L.mask(lambda d: d.rounded_rectangle([2 * s, 2 * s, (aw - 2) * s, (h - 3) * s], radius=5 * s, fill=255))
        L.fill(m, L.vgrad(2, h - 3, (120, 130, 150), (30, 34, 44)))
        m = L.mask(lambda d: d.rounded_rectangle([3 * s, 3 * s, (aw - 3) * s, (h - 4) * s], radius=4 * s, fill=255))
        L.fill(m, L.vgrad(3, h - 4, (44, 48, 60), (14, 16, 22)))
        cx, cy = aw / 2, (h - 1) / 2
        tip = [((cx + 5 * pointing) * s, cy * s), ((cx - 4 * pointing) * s, (cy - 6) * s),
               ((cx - 4 * pointing) * s, (cy + 6) * s)]
        L.draw(lambda d: d.polygon(tip, fill=(226, 232, 244, 255)))
        composite(img, L, x0, 0)
    sw = w - 2 * aw - 8
    L = Layer(sw, h)
    s = L.s
    m = L.mask(lambda d: d.rounded_rectangle([0, 0, sw * s, h * s], radius=5 * s, fill=255))
    L.fill(m, L.vgrad(0, h, (8, 12, 22), (120, 140, 170)))   # recessed: dark top, light bottom
    m = L.mask(lambda d: d.rounded_rectangle([1.5 * s, 1.5 * s, (sw - 1.5) * s, (h - 1.5) * s], radius=4 * s,
                                             fill=255))
    L.fill(m, L.vgrad(0, h, (20, 21, 26), (12, 14, 20)))
    L.draw(lambda d: d.line([6 * s, (h - 5) * s, (sw - 6) * s, (h - 5) * s], fill=(40, 110, 210, 255), width=s))
    composite(img, L, aw + 4, 0)
    return {bid: img}


# ---------------------------------------------------------------------------
# Controls
# ---------------------------------------------------------------------------
def strip(frames):
    w, h = frames[0].size
    out = Image.new("RGB", (w, h * len(frames)))
    for i, f in enumerate(frames):
        out.paste(f, (0, i * h))
    return out


def make_controls(panel):
    bitmaps = {}
    for fid, x, y, w, label in FOOTSWITCHES:
        frames = []
        for lit in (False, True):
            base = panel.crop((x, y, x + w, y + FS_H))
            L = Layer(w, FS_H)
            lamp_lens(L, w / 2, 38, 9.0, RED_ON if lit else RED_OFF, lit, 1.9)
            composite(base, L, 0, 0)
            frames.append(base)
        bitmaps[fid] = strip(frames)
    for kid, x, y, w, *_ in KNOBS:
        frames = []
        for k in range(FRAMES[kid]):
            base = panel.crop((x, y, x + w, y + KNOB_H))
            L = Layer(w, KNOB_H)
            knob_moving(L, w / 2, KNOB_H / 2, k / (FRAMES[kid] - 1))
            composite(base, L, 0, 0)
            frames.append(base)
        bitmaps[kid] = strip(frames)
    for tid, x, y, w, *_ in TOGGLES:
        frames = []
        for up in (False, True):  # frame 0 lever down (RIGHT / OFF), frame 1 up (LEFT / ON)
            base = panel.crop((x, y, x + w, y + TOGGLE_H))
            L = Layer(w, TOGGLE_H)
            toggle_lever(L, w / 2, TOGGLE_H / 2, up)
            composite(base, L, 0, 0)
            frames.append(base)
        bitmaps[tid] = strip(frames)
    for off, on, x, y, w, h, _ in METERS:
        base = panel.crop((x, y, x + w, y + h))
        bitmaps[off] = draw_segments(base, 0, 0, w, h, False)
        bitmaps[on] = draw_segments(base, 0, 0, w, h, True)
    for lid, x, y, w, h, col, _ in LEDS:
        frames = []
        for lit in (False, True):
            base = panel.crop((x, y, x + w, y + h))
            L = Layer(w, h)
            r = min(w, h) / 2 - 0.6
            if col == "red":
                colours = RED_ON if lit else RED_OFF
            else:
                colours = BLUE_ON if lit else BLUE_OFF
            lamp_lens(L, w / 2, h / 2, r, colours, lit, 1.0)
            composite(base, L, 0, 0)
            frames.append(base)
        bitmaps[lid] = strip(frames)
    bid, x, y, w, h = ABOUT
    bitmaps[bid] = panel.crop((x, y, x + w, y + h))
    bitmaps.update(tuner_faces(panel))
    bitmaps.update(program_bar(panel))
    return bitmaps


def preview(panel, bitmaps):
    img = panel.copy()

    def frame(bid, index, fh):
        b = bitmaps[bid]
        return b.crop((0, index * fh, b.width, (index + 1) * fh))
    for fid, x, y, *_ in FOOTSWITCHES:
        img.paste(frame(fid, DEFAULT_FRAMES[fid], FS_H), (x, y))
    for kid, x, y, *_ in KNOBS:
        img.paste(frame(kid, DEFAULT_FRAMES[kid], KNOB_H), (x, y))
    for tid, x, y, *_ in TOGGLES:
        img.paste(frame(tid, DEFAULT_FRAMES[tid], TOGGLE_H), (x, y))
    for off, on, x, y, w, h, _ in METERS:
        img.paste(bitmaps[off], (x, y))
    for lid, x, y, w, h, *_ in LEDS:
        img.paste(frame(lid, DEFAULT_FRAMES[lid], h), (x, y))
    bid, x, y, w, h = ABOUT
    img.paste(bitmaps[bid], (x, y))
    bid, x, y, w, h = PROGRAMS
    img.paste(bitmaps[bid], (x, y))
    return img


# ---------------------------------------------------------------------------
# Icon: a lit footswitch on a metal pedal, on the dark blue ground
# ---------------------------------------------------------------------------
def icon(n):
    """Laid out on a 16-unit grid so the 16-px image keeps whole-pixel edges."""
    s = 8 if n <= 64 else 4
    L = Layer(n, n, s)
    u = n / 16.0
    small = n <= 32

    def box(x0, y0, x1, y1):
        return [x0 * u * s, y0 * u * s, x1 * u * s, y1 * u * s]
    m = L.mask(lambda d: d.rounded_rectangle(box(0, 0, 16, 16), radius=3 * u * s, fill=255))
    L.fill(m, L.radial(n * 0.45, n * 0.3, n * 0.9, (34, 72, 136), (6, 14, 38)))
    # metal pedal body
    if not small:
        L.draw(lambda d: d.rounded_rectangle(box(2.2, 1.6, 14.2, 15.3), radius=2 * u * s, fill=(0, 0, 0, 150)),
               blur=0.4 * u)
    m = L.mask(lambda d: d.rounded_rectangle(box(2, 1, 14, 15), radius=1.5 * u * s, fill=255))
    L.fill(m, L.vgrad(u, 15 * u, (240, 242, 246), (112, 116, 124)))
    if not small:
        inner = L.mask(lambda d: d.rounded_rectangle(box(2.5, 1.5, 13.5, 14.5), radius=1.2 * u * s, fill=255))
        metal = Image.fromarray(np.clip(brushed_metal(n, n, 3) + 16, 0, 255).astype(np.uint8), "RGB")
        L.fill(inner, np.asarray(metal.resize((n * s, n * s), Image.BILINEAR), dtype=np.float64))
    # red lamp
    if n == 16:
        L.draw(lambda d: d.rectangle(box(7, 3, 9, 5), fill=(255, 40, 24, 255)))
    else:
        lx, ly, lr = 8 * u, 4 * u, 1.6 * u
        if not small:
            L.draw(lambda d: d.ellipse(ell(lx, ly, lr * 2.0, s), fill=(255, 40, 24, 150)), blur=0.6 * u)
            L.draw(lambda d: d.ellipse(ell(lx, ly, lr * 1.3, s), fill=(60, 62, 68, 255)))
        m = L.mask(lambda d: d.ellipse(ell(lx, ly, lr, s), fill=255))
        L.fill(m, L.radial(lx - 0.3 * lr, ly - 0.3 * lr, lr * 1.3, (255, 220, 200), (235, 24, 14), 0.6))
    # black footswitch pad with ribs
    m = L.mask(lambda d: d.rounded_rectangle(box(4, 7, 12, 13), radius=(0.5 if small else 1) * u * s, fill=255))
    L.fill(m, L.vgrad(7 * u, 13 * u, (64, 64, 70), (8, 8, 10)))
    if small:
        for y in (8, 10):  # light ribs read better than dark ones at this size
            L.draw(lambda d, y=y: d.rectangle(box(5, y, 11, y + 1), fill=(110, 112, 120, 255)))
    else:
        y = 8.0
        while y < 12.0:
            L.draw(lambda d, y=y: d.rectangle(box(5, y, 11, y + 0.5), fill=(0, 0, 0, 255)))
            L.draw(lambda d, y=y: d.rectangle(box(5, y + 0.5, 11, y + 0.7), fill=(100, 100, 108, 200)))
            y += 1.1
    # blue accent, the product's second colour
    accent = box(4, 14, 12, 15) if n == 16 else box(4, 13.7, 12, 14.3)
    L.draw(lambda d: d.rectangle(accent, fill=(40, 150, 255, 255)))
    return L.result()


# ---------------------------------------------------------------------------
def save_bmp(img, path):
    assert img.mode == "RGB"
    img.save(path, format="BMP")


def main():
    panel = draw_panel()
    bitmaps = make_controls(panel)
    bitmaps[150] = panel
    bdir = os.path.join(ROOT, "resource", "bitmaps")
    idir = os.path.join(ROOT, "resource", "icon")
    ddir = os.path.join(ROOT, "docs", "img")
    for dname in (bdir, idir, ddir):
        os.makedirs(dname, exist_ok=True)
    for bid, img in sorted(bitmaps.items()):
        save_bmp(img, os.path.join(bdir, "bmp%d.bmp" % bid))
    for n in ICON_SIZES:
        icon(n).save(os.path.join(idir, "icon%d.png" % n), format="PNG", optimize=False)
    preview(panel, bitmaps).save(os.path.join(ddir, "panel-preview.png"), format="PNG", optimize=False)
    print("wrote %d bitmaps, %d icons and the preview" % (len(bitmaps), len(ICON_SIZES)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
