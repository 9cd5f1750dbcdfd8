#!/usr/bin/python3
"""Renders examples/demo-riff.wav through the built bundle, clean (distortion
off) and driven (defaults), into examples/demo-clean.wav and
examples/demo-driven.wav as 16-bit PCM with TPDF dither (fixed seed).

Usage: render_demos.py BUILD_DIR
"""
import os
import struct
import subprocess
import sys
import tempfile
import wave

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_float_wav(path):
    raw = open(path, "rb").read()
    pos, fmt, data = 12, None, None
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        if cid == b"fmt ":
            fmt = struct.unpack("<HHIIHH", raw[pos + 8:pos + 24])
        elif cid == b"data":
            data = raw[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    channels, rate, bits = fmt[1], fmt[2], fmt[5]
    assert bits == 32, "the renderer writes 32-bit float WAV"
    return np.frombuffer(data, "<f4").reshape(-1, channels), rate


def main():
    build = sys.argv[1]
    render = os.path.join(build, "tools", "brontal-render")
    bundle = os.path.join(build, "VST3", "brontal1.vst3")
    riff = os.path.join(ROOT, "examples", "demo-riff.wav")
    rng = np.random.default_rng(7)
    for name, settings in (("driven", []), ("clean", ["--set", "4=0"])):
        with tempfile.TemporaryDirectory() as tmp:
            rendered = os.path.join(tmp, "out.wav")
            subprocess.run([render, "--plugin", bundle, *settings, riff, rendered], check=True)
            x, rate = read_float_wav(rendered)
        assert np.all(np.isfinite(x))
        dither = rng.random(x.shape) - rng.random(x.shape)
        pcm = np.clip(np.round(x * 32767.0 + dither), -32768, 32767).astype("<i2")
        with wave.open(os.path.join(ROOT, "examples", f"demo-{name}.wav"), "wb") as out:
            out.setnchannels(x.shape[1])
            out.setsampwidth(2)
            out.setframerate(rate)
            out.writeframes(pcm.tobytes())


if __name__ == "__main__":
    main()
