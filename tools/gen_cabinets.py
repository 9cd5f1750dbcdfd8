#!/usr/bin/python3
"""Writes the seven base cabinet responses to resource/data/afBaseIR<n>.f32.

Each response is built as a measured loudspeaker would look at 44.1 kHz: a
magnitude curve (low resonance and high-pass below it, presence peaks, cone
break-up ripple, steep roll-off above a few kHz) made minimum-phase through
the real cepstrum, a microphone comb (one reflection), a pre-delay with the
measurement's noise floor ahead of the arrival, and, where the energy is
spread wide, a decaying room tail. A last decay window, found by bisection,
puts exactly 99 % of the energy within the wanted number of entries. The
responses are peak-normalised with the peak entry written exactly. Fixed
seeds: the output is the same bytes on every run.

Usage: gen_cabinets.py [output directory]
"""
import os
import sys

import numpy as np

FS = 44100.0
NFFT = 1 << 16


class Cab:
    def __init__(self, name, entries, peak_at, peak, first, spread, seed, low_hz, low_q,
                 presence, cut_hz, cut_order, comb, room, leak=None):
        self.name, self.entries, self.peak_at, self.peak = name, entries, peak_at, peak
        self.first, self.spread, self.seed = first, spread, seed
        self.low_hz, self.low_q, self.presence = low_hz, low_q, presence
        self.cut_hz, self.cut_order, self.comb, self.room, self.leak = cut_hz, cut_order, comb, room, leak


# presence: (centre Hz, gain dB, width in octaves); comb: (gain, delay ms);
# room: (level re. peak, decay time to -60 dB in s, onset ms); leak: the close
# microphone bled into a distant one (level, its own cabinet parameters).
CABS = [
    Cab("afBaseIR1", 6530, 10, 0.9997, 0.00208, 284, 101, 95.0, 1.5,
        [(2400.0, 6.0, 0.7), (4200.0, 3.0, 0.4)], 5200.0, 4, (0.11, 0.8), (0.008, 0.30, 4.0)),
    Cab("afBaseIR2", 12431, 244, 0.9996, 0.0199, 1651, 102, 80.0, 1.2,
        [(1800.0, 3.0, 1.0)], 4000.0, 4, (0.175, 2.1), (0.045, 0.45, 6.0),
        leak=0.055),
    Cab("afBaseIR3", 1965, 12, -1.0002, 0.00422, 194, 103, 110.0, 1.0,
        [(3000.0, 5.0, 0.6), (1200.0, -2.0, 0.5)], 6000.0, 4, (0.09, 0.5), (0.014, 0.15, 3.0)),
    Cab("afBaseIR4", 774, 1, 0.9999, 0.518, 134, 104, 100.0, 1.3,
        [(3500.0, 7.0, 0.6), (6500.0, 3.0, 0.3)], 7000.0, 3, (0.06, 0.35), (0.015, 0.10, 2.0)),
    Cab("afBaseIR5", 700, 1, 0.9999, 0.435, 224, 105, 105.0, 2.2,
        [(1500.0, 3.0, 1.0)], 5000.0, 2, (0.075, 0.45), None),
    Cab("afBaseIR6", 951, 2, 0.9999, 0.197, 179, 106, 90.0, 1.6,
        [(1200.0, 4.0, 0.8), (2800.0, 2.0, 0.5)], 5000.0, 3, (0.1, 0.6), (0.006, 0.10, 2.0)),
    Cab("afBaseIR7", 5434, 7, 0.9998, 0.0023, 670, 107, 85.0, 1.4,
        [(2200.0, 5.0, 0.8), (3800.0, 2.5, 0.4)], 5000.0, 4, (0.19, 1.6), (0.012, 0.25, 3.0)),
]


def magnitude(cab, rng):
    f = np.fft.rfftfreq(NFFT, 1.0 / FS)
    r = np.maximum(f, 1e-3) / cab.low_hz
    high_pass = r * r / np.sqrt((1 - r * r) ** 2 + (r / cab.low_q) ** 2)
    low_pass = 1.0 / np.sqrt(1.0 + (f / cab.cut_hz) ** (2 * cab.cut_order))
    octaves = np.log2(np.maximum(f, 1.0) / 1000.0)
    db = np.zeros_like(f)
    for centre, gain, width in cab.presence:
        db += gain * np.exp(-0.5 * ((octaves - np.log2(centre / 1000.0)) / (width / 2.0)) ** 2)
    # Cone break-up: a slow ripple over log frequency, growing above 1 kHz.
    grid = rng.standard_normal(64)
    ripple = np.interp(octaves, np.linspace(-6.0, 4.5, 64), np.convolve(grid, np.hanning(5) / 2.0, "same"))
    db += 1.0 * ripple * np.clip(octaves + 1.0, 0.2, 1.0)
    mag = high_pass * low_pass * 10.0 ** (db / 20.0)
    return np.maximum(mag, 1e-5)


def minimum_phase(mag_half):
    full = np.concatenate([mag_half, mag_half[-2:0:-1]])
    cep = np.fft.ifft(np.log(full)).real
    fold = np.zeros(NFFT)
    fold[0] = cep[0]
    fold[1:NFFT // 2] = 2.0 * cep[1:NFFT // 2]
    fold[NFFT // 2] = cep[NFFT // 2]
    return np.exp(np.fft.rfft(fold))


def delayed(spectrum, samples):
    f = np.fft.rfftfreq(NFFT)
    return np.fft.irfft(spectrum * np.exp(-2j * np.pi * f * samples), NFFT)


def with_comb(h, gain, delay_ms):
    spectrum = np.fft.rfft(h)
    return h + gain * delayed(spectrum, delay_ms * 1e-3 * FS)


def raw_response(cab):
    rng = np.random.default_rng(cab.seed)
    spectrum = minimum_phase(magnitude(cab, rng))
    natural = np.fft.irfft(spectrum, NFFT)
    natural = with_comb(natural, *cab.comb)
    lead = int(np.argmax(np.abs(natural[:64])))
    shift = cab.peak_at - lead
    # Fractional part of the pre-delay: the one that brings the sample ahead
    # of the arrival closest to the wanted first entry.
    best = None
    for frac in np.arange(-0.45, 0.45, 0.01):
        h = np.fft.irfft(np.fft.rfft(natural) * np.exp(-2j * np.pi * np.fft.rfftfreq(NFFT) * (shift + frac)), NFFT)
        if int(np.argmax(np.abs(h[:cab.entries]))) != cab.peak_at:
            continue
        ratio = h[0] / abs(h[cab.peak_at])
        if cab.peak_at > 3:
            ratio = abs(ratio)
        err = abs(ratio - cab.first / abs(cab.peak))
        if best is None or err < best[0]:
            best = (err, h)
    h = best[1] * np.sign(cab.peak) * np.sign(best[1][cab.peak_at])
    if cab.leak is not None:
        # A distant microphone also picks up the close one, ahead of its own
        # arrival.
        close = Cab("", 0, 0, 0, 0, 0, cab.seed + 50, 100.0, 1.3, [(3000.0, 5.0, 0.6)], 6500.0, 4, (0.1, 0.4), None)
        near = np.fft.irfft(minimum_phase(magnitude(close, np.random.default_rng(close.seed))), NFFT)
        h = h + cab.leak * near / np.max(np.abs(near)) * abs(h[cab.peak_at])
    rng = np.random.default_rng(cab.seed + 1000)
    n = np.arange(NFFT)
    # Measurement noise floor: low-passed noise at -60 dB re. the peak.
    floor = np.convolve(rng.standard_normal(NFFT), np.hanning(9), "same")
    h = h + 1e-3 * abs(h[cab.peak_at]) * floor / np.std(floor)
    if cab.room is not None:
        level, t60, onset_ms = cab.room
        onset = cab.peak_at + onset_ms * 1e-3 * FS
        noise = np.convolve(rng.standard_normal(NFFT), np.hanning(7), "same")
        noise /= np.std(noise)
        envelope = np.where(n >= onset, np.exp(-6.91 * (n - onset) / (t60 * FS)), 0.0)
        ramp = np.clip((n - onset) / (0.002 * FS), 0.0, 1.0)
        h = h + level * abs(h[cab.peak_at]) * noise * envelope * ramp
    return h


def finish(cab, h, alpha):
    """Tail decay window, truncation with a short fade, exact peak and first entry."""
    n = np.arange(cab.entries)
    start = cab.peak_at + 2
    out = h[:cab.entries] * np.where(n > start, np.exp(-alpha * (n - start)), 1.0)
    fade = max(16, cab.entries // 20)
    out[-fade:] *= 0.5 + 0.5 * np.cos(np.pi * np.arange(1, fade + 1) / fade)
    out = out / abs(out[cab.peak_at]) * abs(cab.peak)
    out = out.astype(np.float32)
    out[cab.peak_at] = np.float32(cab.peak)
    out[0] = np.float32(cab.first) if cab.peak_at > 0 else out[0]
    return out


def spread99(h):
    energy = np.cumsum(np.asarray(h, float) ** 2)
    return int(np.argmax(energy >= 0.99 * energy[-1])) + 1


def make(cab):
    h = raw_response(cab)
    if spread99(finish(cab, h, 0.0)) < cab.spread:
        raise SystemExit(f"{cab.name}: natural spread {spread99(finish(cab, h, 0.0))} below {cab.spread}")

    def first_alpha(target):
        lo, hi = 0.0, 1.0
        for _ in range(80):
            mid = 0.5 * (lo + hi)
            if spread99(finish(cab, h, mid)) <= target:
                hi = mid
            else:
                lo = mid
        return hi

    # The middle of the window range that gives the wanted spread, away from
    # both edges so float rounding cannot tip it.
    alpha = 0.5 * (first_alpha(cab.spread) + first_alpha(cab.spread - 1))
    out = finish(cab, h, alpha)
    assert spread99(out) == cab.spread
    assert int(np.argmax(np.abs(out))) == cab.peak_at
    assert np.sum(np.abs(out) == abs(out[cab.peak_at])) == 1
    return out, alpha


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "resource", "data")
    os.makedirs(outdir, exist_ok=True)
    for cab in CABS:
        out, alpha = make(cab)
        out.astype("<f4").tofile(os.path.join(outdir, cab.name + ".f32"))
        tail_ms = 1e3 / (alpha * FS) if alpha > 0 else float("inf")
        print(f"{cab.name}: {len(out)} entries, peak {out[cab.peak_at]:+.4f} at {cab.peak_at}, "
              f"first {out[0]:.5f}, 99 % within {spread99(out)}, window time constant {tail_ms:.2f} ms")


if __name__ == "__main__":
    main()
