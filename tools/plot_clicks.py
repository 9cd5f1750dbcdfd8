#!/usr/bin/python3
"""Draws docs/img/clicks.png: the left output around a change on a steady
sine, as the chain made it before changes were smoothed and as the built
bundle makes it now. Above, the distortion switched off (a footswitch: a
hard cut before, a 10 ms crossfade now); below, the drive automated from 0
to 1 in one block, with the compressor, chorus, delay and reverb off (a
jump before, a 20 ms glide now).

Both come from brontal-clickprobe (tools/clicks/), which runs the bundle as
a host does and writes the waveforms; the earlier ones are kept in
docs/data/clicks-waves-before.csv (the probe run on the bundle built from
a63a8fe), the figures of both in docs/data/clicks-before.txt and
docs/data/clicks-after.txt.

Usage: plot_clicks.py BUILD_DIR
"""
import csv
import os
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BEFORE = os.path.join(ROOT, "docs", "data", "clicks-waves-before.csv")
AFTER_FIGURES = os.path.join(ROOT, "docs", "data", "clicks-after.txt")
IMG = os.path.join(ROOT, "docs", "img", "clicks.png")
RATE = 48000.0
CHANGES = [("drive off", "distortion switched off"), ("drive only 0->1", "drive automated from 0 to 1")]


def read_waves(path):
    waves = {}
    with open(path, newline="") as f:
        for row in csv.DictReader(f):
            waves.setdefault(row["name"], ([], []))
            waves[row["name"]][0].append(int(row["sample"]) / RATE * 1000.0)
            waves[row["name"]][1].append(float(row["left"]))
    return waves


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    build = sys.argv[1]
    probe = os.path.join(build, "tools", "brontal-clickprobe")
    bundle = os.path.join(build, "VST3", "brontal1.vst3")
    with tempfile.TemporaryDirectory() as tmp:
        after_csv = os.path.join(tmp, "after.csv")
        figures = subprocess.run([probe, bundle, after_csv], check=True, capture_output=True, text=True).stdout
        after = read_waves(after_csv)
    with open(AFTER_FIGURES, "w") as f:
        f.write(figures)
    before = read_waves(BEFORE)

    fig, axes = plt.subplots(len(CHANGES), 2, figsize=(11, 6), sharex=True)
    for row, (name, title) in enumerate(CHANGES):
        for col, (label, waves) in enumerate([("before", before), ("after", after)]):
            ax = axes[row][col]
            t, x = waves[name]
            ax.plot(t, x, lw=0.7, color="#1f4e79" if col else "#a33")
            ax.axvline(0.0, color="#888", lw=0.6, ls="--")
            ax.set_title(f"{title}: {label}", fontsize=10)
            ax.set_ylim(-0.2, 0.2)
            ax.grid(alpha=0.3)
            if row == len(CHANGES) - 1:
                ax.set_xlabel("ms from the change (220 Hz sine, 48 kHz, left output)")
    fig.tight_layout()
    fig.savefig(IMG, dpi=100)


if __name__ == "__main__":
    main()
