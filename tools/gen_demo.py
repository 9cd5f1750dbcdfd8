#!/usr/bin/python3
"""Writes examples/demo-riff.wav: a 16 s mono 48 kHz 24-bit guitar DI-like riff.

Plucked strings (Karplus-Strong with a fractional-delay damping loop), a
triangular pick shape with pick noise and a click, a pickup-position comb,
a resonant pickup/cable low-pass, palm-muted chugs, open chords strummed string by string and a
single-note lick. Deterministic: fixed seed, no external input.

Usage: tools/gen_demo.py [OUTPUT]   (needs numpy; Debian: python3-numpy)
"""

import sys
import wave
from pathlib import Path

import numpy as np

RATE = 48000
BPM = 120.0
BEAT = 60.0 / BPM
SIXTEENTH = BEAT / 4
PEAK_DBFS = -6.0
SEED = 20240611

# Open-string frequencies, low E to high E (standard tuning, A = 440 Hz).
OPEN = [82.4069, 110.0, 146.832, 195.998, 246.942, 329.628]

rng = np.random.default_rng(SEED)
# Each string is a little off: a few cents, fixed for the whole take.
DETUNE_CENTS = rng.uniform(-4.0, 4.0, size=6)


def fret_freq(string, fret):
    return OPEN[string] * 2.0 ** ((fret + DETUNE_CENTS[string] / 100.0) / 12.0)


def pluck(freq, length, velocity, muted):
    """One plucked note, `length` seconds long before its release fade."""
    delay = RATE / freq
    # Loop: 3-tap damping low-pass [d, 1-2d, d] (delay 1) times a linear
    # interpolator (delay frac), so the loop delay is L + 1 + frac.
    whole = int(np.floor(delay)) - 1
    frac = delay - 1 - whole
    damping = 0.30 if muted else 0.10 + 0.06 * (freq / 330.0)
    t60 = 0.25 if muted else 7.0 * (110.0 / freq) ** 0.5
    gain = 10.0 ** (-3.0 / (t60 * freq))
    taps = gain * np.convolve([damping, 1 - 2 * damping, damping], [1 - frac, frac])

    total = int((length + 0.06) * RATE)
    out = np.zeros(total + whole + 4)
    # Excitation, one period: the string's triangular shape under the pick
    # (harmonics falling as 1/k^2, none with a node at the pick) plus some
    # low-passed noise for the pick's scrape; palm mutes are duller.
    pick_at = int(whole * rng.uniform(0.16, 0.24))
    shape = np.concatenate([np.linspace(0.0, 1.0, pick_at, endpoint=False),
                            np.linspace(1.0, 0.0, whole - pick_at)])
    noise = rng.uniform(-1.0, 1.0, whole)
    smooth = 0.85 if muted else 0.5
    for i in range(1, whole):
        noise[i] = (1 - smooth) * noise[i] + smooth * noise[i - 1]
    burst = shape - shape.mean() + (0.10 if muted else 0.25) * noise / np.max(np.abs(noise))
    burst /= np.max(np.abs(burst))
    out[4:4 + whole] = burst

    # Every sample depends on samples at least `whole` back: compute the
    # recursion `whole` samples at a time.
    start = 4 + whole
    end = len(out)
    while start < end:
        stop = min(start + whole, end)
        n = np.arange(start, stop)
        out[start:stop] += sum(taps[k] * out[n - whole - k] for k in range(len(taps)))
        start = stop
    note = out[4:4 + total]

    # The pickup senses the string at one place: modes with a node there
    # are weaker (partly, since two pickups are blended).
    pickup_at = max(1, int(delay * 0.2))
    note = note - 0.8 * np.concatenate([np.zeros(pickup_at), note[:-pickup_at]])

    # Pick click: a few samples of bright noise at the onset.
    click = rng.uniform(-1.0, 1.0, 24) * np.exp(-np.arange(24) / 5.0)
    note[:24] += (0.08 if muted else 0.15) * click

    # Release: the fretting hand lifts, the string dies in 40 ms.
    release = int(length * RATE)
    fade = np.exp(-np.arange(total - release) / (0.008 * RATE))
    note[release:] *= fade
    return velocity * note


class Take:
    def __init__(self, seconds):
        self.signal = np.zeros(int(seconds * RATE))

    def add(self, when, note):
        at = int(round(when * RATE))
        stop = min(len(self.signal), at + len(note))
        self.signal[at:stop] += note[:stop - at]

    def note(self, when, string, fret, length, velocity=1.0, muted=False):
        jitter = rng.normal(0.0, 0.003)  # human timing
        vel = velocity * rng.uniform(0.88, 1.0)
        self.add(when + jitter, pluck(fret_freq(string, fret), length, vel, muted))

    def chord(self, when, frets, length, velocity=1.0, muted=False, down=True, spread=0.010):
        """frets: six entries, low E first; None for a string not played."""
        strings = [s for s in range(6) if frets[s] is not None]
        order = strings if down else list(reversed(strings))
        for k, s in enumerate(order):
            self.note(when + k * spread, s, frets[s], length - k * spread,
                      velocity * (1.0 - 0.04 * k), muted)


def power(root_string, root_fret):
    """Root and fifth (and octave on the low strings)."""
    frets = [None] * 6
    frets[root_string] = root_fret
    frets[root_string + 1] = root_fret + 2
    if root_string == 0:
        frets[2] = root_fret + 2
    return frets


E5 = power(0, 0)
G5 = power(0, 3)
A5 = power(0, 5)
C5 = power(1, 3)
D5 = power(1, 5)
E_MINOR = [0, 2, 2, 0, 0, 0]
C_MAJOR = [None, 3, 2, 0, 1, 0]
G_MAJOR = [3, 2, 0, 0, 0, 3]
D_MAJOR = [None, None, 0, 2, 3, 2]


def chug_bar(take, bar_start, accents):
    """Eight palm-muted low-E sixteenths, then accented open power chords."""
    t = bar_start
    for i in range(8):
        take.chord(t, power(0, 0)[:2] + [None] * 4, SIXTEENTH * 0.9,
                   velocity=0.85 if i % 2 else 1.0, muted=True, spread=0.004)
        t += SIXTEENTH
    for chord, beats in accents:
        take.chord(t, chord, beats * BEAT * 0.95, velocity=1.0, spread=0.006)
        t += beats * BEAT


def build():
    bar = 4 * BEAT
    take = Take(16.0)
    # Bars 1-2: chugs answered by power chords.
    chug_bar(take, 0 * bar, [(G5, 1), (A5, 1)])
    chug_bar(take, 1 * bar, [(G5, 0.5), (E5, 1.5)])
    # Bar 3: a strummed open E minor, let ring, then an up-strum.
    take.chord(2 * bar, E_MINOR, 3 * BEAT, velocity=0.9, spread=0.012)
    take.chord(2 * bar + 3 * BEAT, E_MINOR, BEAT, velocity=0.6, down=False, spread=0.008)
    # Bar 4: single notes up the E minor pentatonic and back.
    lick = [(1, 2), (1, 5), (2, 2), (2, 5), (3, 2), (3, 4), (4, 3), (3, 4),
            (3, 2), (2, 5), (2, 2), (1, 5)]
    for i, (string, fret) in enumerate(lick):
        length = SIXTEENTH * (3 if i == len(lick) - 1 else 1.2)
        take.note(3 * bar + i * SIXTEENTH * 4 / 3, string, fret, length, velocity=0.9)
    # Bars 5-6: chugs again, into C5 and D5.
    chug_bar(take, 4 * bar, [(C5, 1), (D5, 1)])
    chug_bar(take, 5 * bar, [(C5, 0.5), (D5, 1.5)])
    # Bar 7: open chords, half a bar each for C and G, then D.
    take.chord(6 * bar, C_MAJOR, 2 * BEAT, spread=0.011)
    take.chord(6 * bar + 2 * BEAT, G_MAJOR, BEAT, spread=0.011)
    take.chord(6 * bar + 3 * BEAT, D_MAJOR, BEAT, spread=0.011)
    # Bar 8: final E5 and E minor, left to ring out.
    take.chord(7 * bar, E5, 0.5 * BEAT, muted=False, spread=0.005)
    take.chord(7 * bar + 0.5 * BEAT, E_MINOR, 3.4 * BEAT, velocity=0.95, spread=0.014)
    return take.signal


def biquad(x, b, a):
    y = np.zeros_like(x)
    x1 = x2 = y1 = y2 = 0.0
    b0, b1, b2 = b
    a1, a2 = a
    for n, xn in enumerate(x.tolist()):
        yn = b0 * xn + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2
        x2, x1, y2, y1 = x1, xn, y1, yn
        y[n] = yn
    return y


def lowpass(freq, q):
    w = 2 * np.pi * freq / RATE
    alpha = np.sin(w) / (2 * q)
    cosw = np.cos(w)
    a0 = 1 + alpha
    b = np.array([(1 - cosw) / 2, 1 - cosw, (1 - cosw) / 2]) / a0
    return b, np.array([-2 * cosw, 1 - alpha]) / a0


def highpass(freq, q):
    w = 2 * np.pi * freq / RATE
    alpha = np.sin(w) / (2 * q)
    cosw = np.cos(w)
    a0 = 1 + alpha
    b = np.array([(1 + cosw) / 2, -(1 + cosw), (1 + cosw) / 2]) / a0
    return b, np.array([-2 * cosw, 1 - alpha]) / a0


def pickup(x):
    # Coil inductance against cable capacitance: a resonant peak and roll-off.
    x = biquad(x, *lowpass(3400.0, 1.4))
    return biquad(x, *highpass(70.0, 0.707))


def write_wav24(path, x):
    peak = np.max(np.abs(x))
    x = x * (10 ** (PEAK_DBFS / 20) / peak)
    dither = (rng.uniform(-0.5, 0.5, len(x)) + rng.uniform(-0.5, 0.5, len(x)))
    ints = np.clip(np.round(x * 8388607 + dither), -8388608, 8388607).astype("<i4")
    raw = ints.view(np.uint8).reshape(-1, 4)[:, :3].tobytes()
    with wave.open(str(path), "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(3)
        out.setframerate(RATE)
        out.writeframes(raw)


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else \
        Path(__file__).resolve().parent.parent / "examples" / "demo-riff.wav"
    write_wav24(target, pickup(build()))
    print(f"wrote {target}")


if __name__ == "__main__":
    main()
