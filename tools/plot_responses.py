#!/usr/bin/python3
"""Draws the curves of docs/dsp-curves.md into docs/img/.

- cabinet-voicings.png: the two mixed cabinet voicings as the plug-in
  convolves them at 44.1 kHz (the first 20.8 % of the 50 ms response, mean
  over the non-zero taps, 0.208 and the voicing's output level applied);
- eq-voicings.png: the four equaliser voicings at 48 kHz (seven peak
  sections, Q 0.9, averaged, then the output gain);
- shaper-tables.png: the six distortion shaping tables against input level.

Reads the same resource/data/*.f32 files the plug-in embeds.
Usage: plot_responses.py [repository root]
"""
import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA = os.path.join(ROOT, "resource", "data")
IMG = os.path.join(ROOT, "docs", "img")

with open(os.path.join(ROOT, "source", "voicings.json"), encoding="utf-8") as f:
    VOICINGS = json.load(f)
CABINET = VOICINGS["cabinet"]
GAINS = CABINET["base_gains"]
EQ = VOICINGS["equaliser"]
EQ_BANDS = EQ["bands_hz"]
EQ_VOICINGS = [(v["name"], v["bands"], v["output_db"]) for v in EQ["voicings"]]


def load(name):
    return np.fromfile(os.path.join(DATA, name + ".f32"), dtype="<f4")


def cabinet_taps(weights, level_db, rate=44100.0):
    base = [load(f"afBaseIR{j}") for j in range(1, 8)]
    length = int(round(0.05 * rate))
    h = np.zeros(length)
    for i in range(length):
        m = int(np.floor(i * 44100.0 / rate + 0.5))
        h[i] = 25.0 * sum(b[m] * w * g for b, w, g in zip(base, weights, GAINS) if m < len(b))
    taps = h[:int(0.208 * length)]
    used = np.count_nonzero(taps)
    return taps * 0.208 * 10 ** (level_db / 20.0) / used


def response_db(h, freqs, rate):
    w = np.exp(-2j * np.pi * np.outer(freqs / rate, np.arange(len(h))))
    return 20 * np.log10(np.maximum(np.abs(w @ h), 1e-12))


def peak_section(freq, rate, q, gain_db, z):
    k = np.tan(np.pi * freq / rate)
    v = 10 ** (abs(gain_db) / 20.0)
    if gain_db >= 0:
        b = [1 + v * k / q + k * k, 2 * (k * k - 1), 1 - v * k / q + k * k]
        a = [1 + k / q + k * k, 2 * (k * k - 1), 1 - k / q + k * k]
    else:
        b = [1 + k / q + k * k, 2 * (k * k - 1), 1 - k / q + k * k]
        a = [1 + v * k / q + k * k, 2 * (k * k - 1), 1 - v * k / q + k * k]
    return (b[0] + b[1] / z + b[2] / z ** 2) / (a[0] + a[1] / z + a[2] / z ** 2)


def eq_db(values, out_db, freqs, rate=48000.0):
    z = np.exp(2j * np.pi * freqs / rate)
    total = sum(peak_section(f, rate, EQ["q"], 2 * v, z) for f, v in zip(EQ_BANDS, values))
    return 20 * np.log10(np.abs(total / 7.0) * 10 ** (out_db / 20.0))


def log_axis(ax, title):
    ax.set_xscale("log")
    ax.set_xlim(20, 20000)
    ax.set_xlabel("frequency (Hz)")
    ax.set_ylabel("gain (dB)")
    ax.set_title(title)
    ax.grid(True, which="both", alpha=0.3)
    ax.legend()


def main():
    os.makedirs(IMG, exist_ok=True)
    freqs = np.geomspace(20, 20000, 600)

    fig, ax = plt.subplots(figsize=(8, 4.5))
    for v in reversed(CABINET["voicings"]):
        label = f"{v['name']} ({v['level_db']:g} dB)"
        ax.plot(freqs, response_db(cabinet_taps(v["weights"], v["level_db"]), freqs, 44100.0), label=label)
    log_axis(ax, "Cabinet voicings at 44.1 kHz (458 convolved taps)")
    fig.tight_layout()
    fig.savefig(os.path.join(IMG, "cabinet-voicings.png"), dpi=90)
    plt.close(fig)

    fig, ax = plt.subplots(figsize=(8, 4.5))
    for name, values, out_db in EQ_VOICINGS:
        ax.plot(freqs, eq_db(values, out_db, freqs), label=name)
    log_axis(ax, "Equaliser voicings at 48 kHz")
    fig.tight_layout()
    fig.savefig(os.path.join(IMG, "eq-voicings.png"), dpi=90)
    plt.close(fig)
    # The stated spot figures, as a check on the drawing.
    spot = np.array([20.0, 100.0, 1000.0, 5000.0, 10000.0])
    for name, values, out_db in EQ_VOICINGS:
        print(f"{name:26s}", " ".join(f"{g:+6.2f}" for g in eq_db(values, out_db, spot)))

    fig, axes = plt.subplots(1, 2, figsize=(11, 4.5))
    for name in ("afShape1_Pos", "afShape1_Neg", "afShape2", "afShape3", "afShape4_Pos", "afShape4_Neg"):
        t = load(name)
        level = np.linspace(-120.0, 0.0, len(t))
        axes[0].plot(level, t, label=name, lw=1)
        sign = -1.0 if name.endswith("_Neg") else 1.0
        axes[1].plot(sign * 10 ** (level / 20.0), sign * t, label=name, lw=1)
    axes[0].set_xlabel("input level (dBFS)")
    axes[0].set_ylabel("output magnitude")
    axes[0].set_title("Shaping tables against level")
    axes[1].set_xscale("symlog", linthresh=1e-3)
    axes[1].set_xlabel("driven sample s")
    axes[1].set_ylabel("shaper output")
    axes[1].set_title("Transfer curves (both half-waves)")
    for ax in axes:
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(os.path.join(IMG, "shaper-tables.png"), dpi=90)
    plt.close(fig)


if __name__ == "__main__":
    main()
