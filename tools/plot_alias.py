#!/usr/bin/python3
"""Draws docs/img/drive-spectrum.png: the spectrum of a 987.5 Hz sine at
-10 dBFS through the default drive at 48 kHz (gate/compressor, chorus, delay
and reverb off), as the plug-in made it before the distortion was
anti-aliased and as the built bundle makes it now, with the harmonics marked.

The input, window and harmonic bands are those of tests/alias/test_alias.cpp:
0.5 s to settle, then 65536 samples under a 7-term Blackman-Harris window,
bins within 10 of a harmonic counting as that harmonic.

The earlier spectrum is kept in docs/data/drive-spectrum-before.txt (the
highest bin in each 10 Hz, in dB, and the non-harmonic figure); it was made
with --record-before from the bundle built from ec51457.

Usage: plot_alias.py BUILD_DIR [--record-before BUNDLE]
"""
import os
import struct
import subprocess
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from render_demos import read_float_wav  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BEFORE = os.path.join(ROOT, "docs", "data", "drive-spectrum-before.txt")
IMG = os.path.join(ROOT, "docs", "img", "drive-spectrum.png")

RATE = 48000
FREQ = 987.5
AMPLITUDE = 10 ** (-10 / 20)
SETTLE = RATE // 2
WINDOW = 65536
BAND = 10
DISPLAY_HZ = 10
# Gate/compressor, delay, chorus and reverb off, by parameter id.
SETTINGS = ["--set", "2=0", "--set", "7=0", "--set", "8=0", "--set", "10=0"]
TERMS = [0.27105140069342, 0.43329793923448, 0.21812299954311, 0.06592544638803,
         0.01081174209837, 0.00077658482522, 0.00001388721735]


def write_float_wav(path, x):
    data = x.astype("<f4").tobytes()
    fmt = struct.pack("<HHIIHH", 3, 1, RATE, RATE * 4, 4, 32)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 4 + 8 + len(fmt) + 8 + len(data)) + b"WAVE")
        f.write(b"fmt " + struct.pack("<I", len(fmt)) + fmt)
        f.write(b"data" + struct.pack("<I", len(data)) + data)


def render(render_tool, bundle):
    n = np.arange(SETTLE + WINDOW)
    tone = (AMPLITUDE * np.sin(2 * np.pi * FREQ * n / RATE)).astype(np.float32)
    with tempfile.TemporaryDirectory() as tmp:
        source, rendered = os.path.join(tmp, "in.wav"), os.path.join(tmp, "out.wav")
        write_float_wav(source, tone)
        subprocess.run([render_tool, "--plugin", bundle, *SETTINGS, source, rendered], check=True,
                       stdout=subprocess.DEVNULL)
        x, rate = read_float_wav(rendered)
    assert rate == RATE
    return x[SETTLE:SETTLE + WINDOW, 0].astype(np.float64)


def spectrum(x):
    """Power per bin, scaled so that a sine of amplitude A sums to A^2 over
    its main lobe; the non-harmonic figure in dB."""
    phase = 2 * np.pi * np.arange(WINDOW) / WINDOW
    w = sum((-1) ** k * c * np.cos(k * phase) for k, c in enumerate(TERMS))
    power = 4.0 * np.abs(np.fft.rfft(w * x)) ** 2 / (WINDOW * np.sum(w * w))
    bins = np.arange(len(power))
    per_harmonic = FREQ * WINDOW / RATE
    near = np.abs(bins - np.round(bins / per_harmonic) * per_harmonic) <= BAND
    rest = 10 * np.log10(power[~near].sum() / power[near].sum())
    return power, rest


def display(power):
    """The highest bin in each DISPLAY_HZ, in dB."""
    hz = np.arange(len(power)) * RATE / WINDOW
    cells = (hz // DISPLAY_HZ).astype(int)
    top = np.full(cells.max() + 1, 1e-30)
    np.maximum.at(top, cells, power)
    return 10 * np.log10(top)


def main():
    build = sys.argv[1]
    render_tool = os.path.join(build, "tools", "brontal-render")
    if "--record-before" in sys.argv:
        bundle = sys.argv[sys.argv.index("--record-before") + 1]
        power, rest = spectrum(render(render_tool, bundle))
        with open(BEFORE, "w") as f:
            f.write("# %g Hz at -10 dBFS through the default drive, 48 kHz, bundle from ec51457:\n" % FREQ)
            f.write("# highest bin per %d Hz in dB; non-harmonic energy %.2f dB\n" % (DISPLAY_HZ, rest))
            f.write("\n".join("%.2f" % v for v in display(power)) + "\n")
    with open(BEFORE) as f:
        lines = f.read().splitlines()
    rest_before = float(lines[1].split()[-2])
    before = np.array([float(v) for v in lines[2:]])
    power, rest_after = spectrum(render(render_tool, os.path.join(build, "VST3", "brontal1.vst3")))
    after = display(power)

    hz = np.arange(len(after)) * DISPLAY_HZ
    fig, axes = plt.subplots(2, 1, figsize=(9, 6), sharex=True, sharey=True)
    for ax, db, title in ((axes[0], before, "before: sampled at the host rate, non-harmonic %.1f dB" % rest_before),
                          (axes[1], after, "after: twice the rate, antiderivatives, non-harmonic %.1f dB"
                           % rest_after)):
        for k in range(1, int(RATE / 2 / FREQ) + 1):
            ax.axvline(k * FREQ / 1000, color="#d8d8d8", linewidth=0.6, zorder=0)
        ax.plot(hz / 1000, db, color="#303080", linewidth=0.7)
        ax.set_title(title, fontsize=10)
        ax.set_ylim(-200, -10)
        ax.set_ylabel("dBFS")
        ax.grid(axis="y", color="#eeeeee")
    axes[1].set_xlabel("kHz (grey lines: harmonics of 987.5 Hz)")
    axes[1].set_xlim(0, RATE / 2000)
    fig.tight_layout()
    fig.savefig(IMG, dpi=90)
    print("non-harmonic energy: before %.2f dB, after %.2f dB" % (rest_before, rest_after))


if __name__ == "__main__":
    main()
