#!/usr/bin/python3
"""Writes the six distortion shaping tables to resource/data/<name>.f32.

Each table maps an input level in dBFS (entry 0 = -120 dB, last entry = 0 dB,
equal steps) to an output magnitude. The curve runs through a set of anchor
points with a monotone cubic in the log of the value, so it never overshoots
between anchors, and then carries a low-amplitude, band-limited wobble, the
kind of slow irregularity a measured transfer curve has. The wobble fades out
at the anchors, so every anchor is met exactly. Fixed seeds: the output is the
same bytes on every run.

Usage: gen_shapes.py [output directory]
"""
import os
import sys

import numpy as np

# (name, entries, anchors (dB, value), seed). The rows at -120, -100, -80,
# -60, -40, -20, -10 and 0 dB are the telling entries and are stored exactly;
# the others place the maxima and the half-maximum levels.
TABLES = [
    ("afShape1_Pos", 2401, [
        (-98.75, 3.1e-7), (-90.0, 6.0e-5), (-80.0, 0.000718009), (-75.0, 0.011),
        (-70.0, 0.075), (-65.0, 0.225), (-60.0, 0.429989), (-55.0, 0.625),
        (-50.0, 0.728), (-45.0, 0.768), (-40.0, 0.784974), (-38.0, 0.789),
        (-30.0, 0.748), (-20.0, 0.721918), (-10.0, 0.715563), (0.0, 0.720168)], 11),
    ("afShape1_Neg", 2401, [
        (-98.75, 2.7e-7), (-90.0, 5.6e-5), (-80.0, 0.000714911), (-75.0, 0.0105),
        (-70.0, 0.072), (-65.0, 0.222), (-60.0, 0.428908), (-55.0, 0.632),
        (-50.0, 0.735), (-45.0, 0.776), (-40.0, 0.802991), (-32.0, 0.872),
        (-25.0, 0.924), (-20.0, 0.900351), (-10.0, 0.902469), (0.0, 0.898243)], 12),
    ("afShape2", 6001, [
        (-120.0, 5.77401e-09), (-110.0, 0.00072), (-100.0, 0.0028735),
        (-80.0, 0.00527515), (-70.0, 0.0074), (-60.0, 0.0121364), (-50.0, 0.034),
        (-40.0, 0.109325), (-33.0, 0.255), (-27.0, 0.456), (-20.0, 0.694283),
        (-10.0, 0.814089), (-3.0, 0.912), (0.0, 0.906327)], 21),
    ("afShape3", 6001, [
        (-120.0, 0.000566221), (-100.0, 0.00527611), (-80.0, 0.00830467),
        (-70.0, 0.0205), (-60.0, 0.0642205), (-47.0, 0.239), (-40.0, 0.314585),
        (-30.0, 0.398), (-20.0, 0.440236), (-10.0, 0.465994), (-4.0, 0.478),
        (0.0, 0.474279)], 31),
    ("afShape4_Pos", 24001, [
        (-120.0, 1.53949e-06), (-110.0, 0.00041), (-100.0, 0.00238836),
        (-80.0, 0.0135117), (-70.0, 0.046), (-60.0, 0.138849), (-51.0, 0.3365),
        (-40.0, 0.471104), (-30.0, 0.533), (-20.0, 0.569856), (-10.0, 0.658489),
        (-5.0, 0.673), (0.0, 0.657017)], 41),
    ("afShape4_Neg", 24001, [
        (-120.0, 3.9894e-07), (-110.0, 0.00035), (-100.0, 0.00241959),
        (-80.0, 0.0135556), (-70.0, 0.044), (-60.0, 0.126166), (-49.0, 0.3835),
        (-40.0, 0.518242), (-30.0, 0.668), (-20.0, 0.760215), (-16.0, 0.767),
        (-10.0, 0.724572), (0.0, 0.7325)], 42),
]

# Entries of afShape1_* that are exactly zero (levels below -98.75 dB).
SHAPE1_ZEROS = 425


def pchip(x, y, xq):
    """Monotone piecewise cubic (Fritsch-Carlson): no overshoot between knots,
    flat at every local extremum, so each maximum is a knot value."""
    x = np.asarray(x, float)
    y = np.asarray(y, float)
    h = np.diff(x)
    delta = np.diff(y) / h
    d = np.zeros_like(y)
    for k in range(1, len(x) - 1):
        if delta[k - 1] * delta[k] > 0:
            w1 = 2 * h[k] + h[k - 1]
            w2 = h[k] + 2 * h[k - 1]
            d[k] = (w1 + w2) / (w1 / delta[k - 1] + w2 / delta[k])
    d[0] = delta[0] if len(x) > 2 and delta[0] * delta[1] > 0 else 0.0
    d[-1] = delta[-1] if len(x) > 2 and delta[-1] * delta[-2] > 0 else 0.0
    k = np.clip(np.searchsorted(x, xq, side="right") - 1, 0, len(x) - 2)
    t = (xq - x[k]) / h[k]
    h00 = (1 + 2 * t) * (1 - t) ** 2
    h10 = t * (1 - t) ** 2
    h01 = t * t * (3 - 2 * t)
    h11 = t * t * (t - 1)
    return h00 * y[k] + h10 * h[k] * d[k] + h01 * y[k + 1] + h11 * h[k] * d[k + 1]


def smooth_noise(rng, n, sigma):
    """Unit-RMS white noise low-passed by a Gaussian of `sigma` entries."""
    pad = int(6 * sigma) + 1
    white = rng.standard_normal(n + 2 * pad)
    t = np.arange(-pad, pad + 1)
    kernel = np.exp(-0.5 * (t / sigma) ** 2)
    out = np.convolve(white, kernel, mode="same")[pad:pad + n]
    return out / np.sqrt(np.mean(out ** 2))


def make_table(entries, anchors, seed):
    n = entries - 1
    per_db = n / 120.0
    db = -120.0 + np.arange(entries) / per_db
    xa = np.array([a[0] for a in anchors])
    ya = np.array([a[1] for a in anchors])
    start = db >= xa[0] - 1e-9
    curve = np.zeros(entries)
    curve[start] = np.exp(pchip(xa, np.log(ya), db[start]))

    # Two scales of wobble, in the log of the value: slow (about 3 dB) and
    # finer (about 0.8 dB). Relative size 0.6 % and 0.2 %.
    rng = np.random.default_rng(seed)
    wobble = 0.006 * smooth_noise(rng, entries, 3.0 * per_db) + 0.002 * smooth_noise(rng, entries, 0.8 * per_db)
    # Fade to nothing within 1.5 dB of each anchor (raised cosine), so anchors,
    # maxima and half-maximum points stay where they are put.
    dist = np.min(np.abs(db[:, None] - xa[None, :]), axis=1)
    fade = np.where(dist < 1.5, 0.5 - 0.5 * np.cos(np.pi * dist / 1.5), 1.0)
    # Close to the maximum the wobble shrinks with the headroom left, so no
    # wobble climbs above the highest anchor.
    top = ya.max()
    headroom = np.clip((top - curve) / (0.05 * top), 0.0, 1.0)
    fade *= headroom * headroom * (3.0 - 2.0 * headroom)
    table = curve * np.exp(wobble * fade)
    table[~start] = 0.0

    out = table.astype(np.float32)
    for level, value in anchors:
        i = int(round((level + 120.0) * per_db))
        out[i] = np.float32(value)
    return out


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resource", "data")
    os.makedirs(outdir, exist_ok=True)
    for name, entries, anchors, seed in TABLES:
        table = make_table(entries, anchors, seed)
        if name.startswith("afShape1"):
            assert np.all(table[:SHAPE1_ZEROS] == 0.0) and table[SHAPE1_ZEROS] > 0.0
        assert np.all(np.isfinite(table)) and np.all(table >= 0.0)
        table.astype("<f4").tofile(os.path.join(outdir, name + ".f32"))
        i_max = int(np.argmax(table))
        half = np.argmax(table >= table.max() / 2)
        step = 120.0 / (entries - 1)
        print(f"{name}: {entries} entries, max {table.max():.5f} at {-120 + i_max * step:.2f} dB, "
              f"half max at {-120 + half * step:.2f} dB")


if __name__ == "__main__":
    main()
