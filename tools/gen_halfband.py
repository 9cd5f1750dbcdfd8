#!/usr/bin/python3
"""Prints the all-pass coefficients of the distortion's half-band pairs
(source/HalfBand.h) and checks each pair's response.

A half-band pair H(z) = (A0(z^2) + z^-1 A1(z^2)) / 2 built from first-order
all-pass sections (b + z^-2) / (1 + b z^-2): the coefficients of the
elliptic half-band filter with the given number of sections and pass-band
edge, from the closed-form elliptic-function design (Valenzuela and
Constantinides). Sorted, the even-numbered ones form A0, the odd-numbered A1.

Usage: gen_halfband.py
"""
import numpy as np

# (name, sections, pass-band edge as a fraction of the doubled rate,
#  least stop-band rejection in dB the pair must reach)
PAIRS = [
    ("kUpHalfBand", 4, 0.20, 70.0),
    ("kDownHalfBand", 4, 0.22, 57.0),
    ("kSteepDownHalfBand", 8, 0.24, 81.0),
]


def design(sections, edge):
    order = 2 * sections + 1
    k = np.tan(np.pi * edge) ** 2
    root = np.sqrt(np.sqrt(1.0 - k * k))
    e = 0.5 * (1.0 - root) / (1.0 + root)
    q = e + 2 * e ** 5 + 15 * e ** 9 + 150 * e ** 13
    coefficients = []
    for i in range(1, sections + 1):
        num = sum((-1) ** m * q ** (m * (m + 1)) * np.sin((2 * m + 1) * np.pi * i / order) for m in range(10))
        den = 1.0 + 2.0 * sum((-1) ** m * q ** (m * m) * np.cos(2 * m * np.pi * i / order) for m in range(1, 10))
        w = 2.0 * q ** 0.25 * num / den
        a = np.sqrt((1.0 - w * w * k) * (1.0 - w * w / k)) / (1.0 + w * w)
        coefficients.append((1.0 - a) / (1.0 + a))
    return sorted(coefficients)


def response(coefficients, f):
    z2 = np.exp(-4j * np.pi * f)
    branches = [np.ones_like(z2), np.ones_like(z2)]
    for i, b in enumerate(coefficients):
        branches[i % 2] = branches[i % 2] * (b + z2) / (1.0 + b * z2)
    return 0.5 * (branches[0] + np.exp(-2j * np.pi * f) * branches[1])


def main():
    f = np.linspace(0.0, 0.5, 100001)
    for name, sections, edge, rejection in PAIRS:
        coefficients = design(sections, edge)
        # Rounded as the code holds them, and checked that way.
        coefficients = [float(np.float32(c)) for c in coefficients]
        h = np.abs(response(coefficients, f))
        stop = 20 * np.log10(h[f >= 0.5 - edge].max())
        ripple = 20 * np.log10(h[f <= edge].min())
        assert stop <= -rejection, (name, stop)
        assert ripple > -1e-3, (name, ripple)
        print("// %d sections, pass band to %.2f, %.1f dB from %.2f (%.1e dB ripple)" %
              (sections, 2 * edge, -stop, 1 - 2 * edge, ripple))
        print("const float %s[] = {%s};" % (name, ", ".join("%.9gf" % c for c in coefficients)))


if __name__ == "__main__":
    main()
