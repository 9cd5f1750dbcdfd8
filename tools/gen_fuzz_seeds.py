#!/usr/bin/python3
"""Writes the seed inputs of the fuzz harnesses to tests/fuzz/seeds/<harness>/.

Each seed is a small, readable case in the harness's input layout (the
readers in tests/fuzz/*.cpp): the common host set-ups, every rate and
arrangement, the edges of block size, parameter ids and values, tempo,
samples, silence flags, bypass, reactivation and state loads; state records
whole, short, in pieces and from failing streams; typical command lines;
WAV files of every supported variant and a few broken ones.
The fuzzer starts from these and mutates. Deterministic, no input.

Usage: tools/gen_fuzz_seeds.py [OUTPUT_DIR]
"""

import shutil
import struct
import sys
from pathlib import Path

import paramtable

ROOT = Path(__file__).resolve().parent.parent
OUT = Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "tests" / "fuzz" / "seeds"

# Indexes into the harness's tables.
RATES = [8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000]
STEREO, MONO, STEREO_TO_MONO, MONO_TO_STEREO, SURROUND, EMPTY_IN = range(6)
REALTIME, PREFETCH, OFFLINE = range(3)
EDGE_SIZES = [0, 1, 2, 3, 7, 31, 32, 33, 63, 64, 127, 128, 255, 256,
              511, 512, 1000, 1023, 1024, 1025, 2047, 2048, 4095, 4096, 4097, 8191, 8192]
SPECIAL = {"nan": 0, "-nan": 1, "inf": 2, "-inf": 3, "-1": 4, "-0": 5, "0": 6, "denormal": 7,
           "0.5": 8, "1": 9, "above1": 10, "2": 11, "1e300": 12, "-1e300": 13, "3.5e38": 14}
SINE, NOISE, SPECIALS, HUGE, DENORMALS, IMPULSE, SILENT, RAW = 1, 2, 3, 4, 5, 6, 0, 7
CONTEXT, OUT_CHANGES, CARELESS, IN_PLACE, ODD_CHANNELS = 1, 2, 4, 8, 16
OFFSETS = {"0": 0, "last": 1, "end": 2, "-1": 3, "max": 4, "min": 5}
OP_BLOCK, OP_SETTLE, OP_TOGGLE, OP_STATE, OP_SETUP = 0x00, 0xDE, 0xE0, 0xF0, 0xF8

# Parameter ids, from the parameter table.
PARAMS = paramtable.load(ROOT)
_ID = paramtable.ids(PARAMS)
(INPUT_SELECTION, GATE, COMPRESSOR_LEVEL, DISTORTION, DISTORTION_LEVEL, ENHANCER, DELAY, MODULATION, CHORUS_SPEED,
 REVERB, DELAY_LEVEL, REVERB_LEVEL, LEFT_METER, BUTTON, BYPASS) = (_ID[name] for name in (
    "kInputSelection", "kGateCompOnOff", "kCompressorLevel", "kDistortionOnOff", "kDistortionLevel",
    "kStereoEnhancerOnOff", "kDelayOnOff", "kModulationOnOff", "kChorusSpeed", "kReverbOnOff", "kDelayLevel",
    "kReverbLevel", "kOutputLeftVumeter", "kButton1", "kBypass"))
# The first list, which the state record holds; its end only delimits it
# (later ids follow it).
RECORD = [row for row in PARAMS if row["id"] < 20]
LIST_END = len(RECORD) + 1
# The panel's controls.
CONTROLS = [row["id"] for row in PARAMS if paramtable.is_panel_control(row)]
# A state record's values: the marker, then every parameter at its default.
DEFAULTS = [1.0] + [row["default"] for row in RECORD]
RECORD_VALUES = len(DEFAULTS)


def u8(v):
    return struct.pack("<B", v)


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def f32(v):
    return struct.pack("<f", v)


def f64(v):
    return struct.pack("<d", v)


def setup(rate=48000, arrangement=STEREO, max_block=512, mode=REALTIME):
    rate_bytes = u8(RATES.index(rate)) if rate in RATES else u8(0xF0) + u32(round((rate - 8000) / 376000 * 4294967295))
    return rate_bytes + u8(arrangement) + u16(max_block - 1) + u8(mode)


def size_code(n):
    if n <= 32:
        return u8(n)
    if n in EDGE_SIZES:
        return u8(0xFC) + u16(0x8000 | EDGE_SIZES.index(n))
    return u8(0xFC) + u16(n)


def value(v):
    if isinstance(v, str):
        return u8(0) + u8(SPECIAL[v])
    return u8(1) + f64(v)


def tempo(t):
    if t is None:
        return u8(0)
    if isinstance(t, str):  # a special value times 120
        return u8(1) + u8(SPECIAL[t])
    return u8(2) + f64(t)


def param_id(i):
    return u8(i) if i < 22 else u8(0xF0) + u32(i)


def offset(o):
    return u8(OFFSETS[o]) if isinstance(o, str) else u8(0xF0) + u32(o)


def block(n=32, bits=CONTEXT | OUT_CHANGES, bpm=120.0, silence=0, counts=None, signal=NOISE, seed=1, level=32,
          raw=(0.5, -0.5, 2.0, -2.0), changes=()):
    """changes: (id, [(offset, value), ...]) per queue."""
    data = u8(OP_BLOCK) + size_code(n) + u8(bits) + tempo(bpm) + u8(silence)
    if bits & ODD_CHANNELS:
        data += u8(counts[0] | counts[1] << 4)
    data += u8(signal) + u32(seed) + u8(level)
    if signal == RAW:
        data += b"".join(f32(x) for x in raw)
    data += u8(len(changes))
    for pid, points in changes:
        data += param_id(pid) + u8(len(points))
        for o, v in points:
            data += offset(o) + value(v)
    return data


def toggle():
    return u8(OP_TOGGLE)


def load_state(values):
    return u8(OP_STATE) + b"".join(f32(v) for v in values)


def resetup(**kwargs):
    return u8(OP_SETUP) + setup(**kwargs)


def settle(switches, levels=(200, 140, 0, 0), n=256, seed=7, level=120):
    """switches: the ids switched on; levels: compressor, drive, chorus, delay."""
    bits = sum(1 << i for i in switches)
    return u8(OP_SETTLE) + u32(bits) + b"".join(u8(v) for v in levels) + size_code(n) + u32(seed) + u8(level)


def process_seeds():
    s = {}
    s["default"] = setup() + block() * 4
    for rate in RATES + [44100.5, 100000.0]:
        s["rate-%g" % rate] = setup(rate=rate) + block(signal=SINE, level=64) + block(n=500)
    for name, arrangement in (("mono", MONO), ("stereo-to-mono", STEREO_TO_MONO),
                              ("mono-to-stereo", MONO_TO_STEREO), ("surround", SURROUND), ("empty-in", EMPTY_IN)):
        s["arrangement-" + name] = setup(arrangement=arrangement) + block() + block(changes=[(BYPASS, [("0", 1.0)])])
    s["block-edges"] = setup(rate=384000, max_block=8192) + b"".join(block(n=n) for n in (0, 1, 1023, 1024, 1025, 8192))
    s["block-beyond-max"] = setup(max_block=64) + block(n=4097)
    s["params-specials"] = setup() + block(changes=[(i, [("0", v)]) for i, v in
                                                     ((DELAY_LEVEL, "nan"), (REVERB_LEVEL, "inf"), (CHORUS_SPEED, "-inf"),
                                                      (DISTORTION_LEVEL, "2"), (COMPRESSOR_LEVEL, "-1"),
                                                      (INPUT_SELECTION, "denormal"), (ENHANCER, "above1"),
                                                      (GATE, "-nan"))]) + block()
    s["params-ids"] = setup() + block(changes=[(0, [("0", 1.0)]), (LIST_END, [("0", 1.0)]), (LIST_END + 1, [("0", 0.3)]),
                                               (4096, [("0", 1.0)]), (0xFFFFFFFF, [("0", 1.0)]),
                                               (LEFT_METER, [("0", 1.0)]), (BUTTON, [("0", 1.0)])]) + block()
    s["params-points"] = setup() + block(changes=[(DELAY_LEVEL, [("max", 0.1), ("0", 0.9), ("-1", 0.4), ("min", 0.7)]),
                                                  (REVERB_LEVEL, [("end", "nan"), ("last", 0.2)])]) + block()
    s["params-all-off"] = setup() + block(changes=[(i, [("0", 0.0)]) for i in (GATE, DISTORTION, DELAY, MODULATION, REVERB)]) + block()
    s["params-all-max"] = setup() + block(changes=[(i, [("0", 1.0)]) for i in CONTROLS], signal=NOISE, level=255) + block(n=512)
    for name, t in (("nan", "nan"), ("zero", "0"), ("negative", "-1"), ("huge", "1e300"), ("inf", "inf"),
                    ("float-max", "3.5e38"), ("slow", 1.0), ("fast", 999.0)):
        s["tempo-" + name] = setup() + block(bpm=t, signal=IMPULSE, level=255) + block(n=1024, bpm=t)
    s["tempo-invalid"] = setup() + block(bits=OUT_CHANGES, bpm=60.0) + block(bpm=None)
    for name, signal in (("specials", SPECIALS), ("huge", HUGE), ("denormals", DENORMALS), ("impulse", IMPULSE)):
        s["samples-" + name] = setup() + block(signal=signal, level=255) * 3 + block(n=256, signal=SINE)
    s["samples-raw"] = setup() + block(signal=RAW, raw=(float("nan"), float("inf"), 1e30, -1e-40)) + block()
    for flags in (1, 2, 3, 0x80):
        s["silence-%d" % flags] = setup() + block(signal=SINE, level=64) + block(silence=flags, signal=SINE, level=64) * 3
        s["silence-%d-bypass" % flags] = setup() + block(silence=flags, signal=SINE, level=64,
                                                        changes=[(BYPASS, [("0", 1.0)])])
    s["silence-careless"] = setup() + block(bits=CONTEXT | CARELESS, silence=1, signal=HUGE)
    s["silence-mono"] = setup(arrangement=MONO) + block(signal=SINE) + block(silence=1, signal=SINE)
    s["in-place"] = setup() + block(bits=CONTEXT | IN_PLACE, signal=SINE, level=64) * 2
    s["in-place-bypass"] = setup() + block(bits=CONTEXT | IN_PLACE, signal=HUGE, changes=[(BYPASS, [("0", 1.0)])])
    s["bypass-half"] = setup() + block(changes=[(BYPASS, [("0", 0.5)])]) + block(changes=[(BYPASS, [("0", 0.0)])])
    s["odd-channels"] = (setup() + block(bits=CONTEXT | ODD_CHANNELS, counts=(1, 2)) +
                         block(bits=CONTEXT | ODD_CHANNELS, counts=(2, 1)) +
                         block(bits=CONTEXT | ODD_CHANNELS, counts=(0, 2)) +
                         block(bits=CONTEXT | ODD_CHANNELS, counts=(4, 4)))
    s["no-context-no-output-changes"] = setup() + block(bits=0) * 2
    s["toggle"] = setup() + block(n=256, signal=NOISE, level=128) + toggle() + block(n=256) * 3
    s["toggle-params"] = (setup(rate=96000) + block(changes=[(ENHANCER, [("0", 1.0)]), (DELAY_LEVEL, [("0", 1.0)])]) +
                          block(n=512, signal=SINE, level=128) + toggle() + block(bpm=90.0) * 2 +
                          block(changes=[(BYPASS, [("0", 1.0)])]) + block(changes=[(BYPASS, [("0", 0.0)])]) +
                          toggle() + block(signal=IMPULSE, level=255) * 2)
    s["toggle-mono"] = setup(arrangement=MONO) + block(n=256) + toggle() + block(n=256)
    s["toggle-silence"] = setup() + block(n=256) + toggle() + block(silence=3, signal=SILENT) + block()
    s["state"] = setup() + block() + load_state([1.0] + [0.25] * (RECORD_VALUES - 1)) + block() + load_state(DEFAULTS) + block()
    s["state-specials"] = setup() + load_state([0.0, float("nan"), float("inf"), -1.0, 2.0] + [1e-40] * (RECORD_VALUES - 5)) + block()
    s["state-after-toggle"] = setup() + block() + toggle() + load_state([1.0] * RECORD_VALUES) + block()
    s["resetup"] = (setup() + block() + resetup(rate=192000, arrangement=MONO) + block() +
                    resetup(rate=8000, arrangement=SURROUND, mode=OFFLINE) + block() + resetup(rate=384000) + block())
    # Switches cycled off and on, or left mid-fade, then settings that forget the past.
    cycle = b"".join(block(n=1024, signal=SINE, level=64, changes=[(i, [("0", v)])])
                     for i in (GATE, MODULATION, ENHANCER, BYPASS, DISTORTION) for v in (0.0, 1.0))
    s["settle-after-cycles"] = setup(max_block=1024) + cycle + settle([GATE, DISTORTION, ENHANCER, INPUT_SELECTION])
    s["settle-mid-fade"] = (setup(rate=96000, max_block=8192) + block(n=4096, signal=NOISE, level=64) +
                            block(n=100, changes=[(BYPASS, [("0", 1.0)]), (GATE, [("0", 0.0)])]) +
                            settle([GATE, REVERB], n=4096))
    s["settle-mono"] = (setup(arrangement=MONO) + block(changes=[(DISTORTION, [("0", 0.0)])]) +
                        settle([DISTORTION, ENHANCER], n=37))
    return s


def state_record(values):
    return b"".join(f32(v) for v in values)


def state_seeds():
    set_state, component_state, controller_state, get_state = range(4)
    whole = state_record(DEFAULTS)
    odd = state_record([0.0, float("nan"), float("inf"), -1.0, 2.0, 0.3, 1e-40, -0.0] + [0.7] * (RECORD_VALUES - 8))
    s = {}
    for target, name in ((set_state, "processor"), (component_state, "controller-component"),
                         (controller_state, "controller-own")):
        s[name + "-whole"] = u8(target) + u8(0) + u8(255) + whole
        s[name + "-odd-values"] = u8(target) + u8(0) + u8(255) + odd
        s[name + "-longer"] = u8(target) + u8(0) + u8(255) + odd + b"\x01\x02\x03\x04" * 8
        s[name + "-short"] = u8(target) + u8(0) + u8(255) + whole[:79]
        s[name + "-empty"] = u8(target) + u8(0) + u8(255)
        s[name + "-pieces"] = u8(target) + u8(0) + u8(6) + odd
        s[name + "-fails-midway"] = u8(target) + u8(1) + u8(255) + u8(40) + odd
        s[name + "-fails-after-part"] = u8(target) + u8(3) + u8(16) + u8(41) + odd
        s[name + "-overstates"] = u8(target) + u8(4) + u8(255) + odd
        s[name + "-overstates-in-pieces"] = u8(target) + u8(4) + u8(9) + odd
    # A cabinet response: flags, name, path, rate, channels, frames, samples.
    cabi = (u32(3) + u32(7) + b"cab.wav" + u32(0) + u32(48000) + u32(2) + u32(4)
            + b"".join(f32(x) for x in (0.5, -0.25, 0.125, 0.0, 0.3, 0.2, -0.1, 0.05)))
    with_cabinet = whole + b"cabi" + u32(1) + u32(len(cabi)) + cabi
    s["processor-cabinet"] = u8(set_state) + u8(0) + u8(255) + with_cabinet
    s["processor-cabinet-cut"] = u8(set_state) + u8(0) + u8(255) + with_cabinet[:-3]
    s["processor-cabinet-pieces"] = u8(set_state) + u8(0) + u8(7) + with_cabinet
    s["processor-cabinet-version-2"] = u8(set_state) + u8(0) + u8(255) + whole + b"cabi" + u32(2) + u32(len(cabi)) + cabi
    s["save-full-disk"] = u8(get_state) + u8(1) + u8(255) + u8(40)
    s["save"] = u8(get_state) + u8(0) + u8(255)
    return s


def options_seeds():
    lines = {
        "plain": ["in.wav", "out.wav"],
        "all": ["--plugin", "b.vst3", "--block", "256", "--tempo", "133.5", "--set", "Delay Level=0.3",
                "--set", "11=1", "--state-in", "s.bin", "--state-out", "t.bin", "--bypass", "in.wav", "out.flac"],
        "inline": ["--block=1", "--tempo=1000", "--set=Reverb Level=0", "--plugin=x.so", "in.aif", "out.aiff"],
        "dashes": ["--block", "8192", "--", "-in.wav", "--out.wav"],
        "list": ["--list-params"],
        "list-plugin": ["--plugin", "p.vst3", "--list-params"],
        "help": ["--help", "--block", "0"],
        "bad-block": ["--block", "8193", "a", "b"],
        "bad-tempo": ["--tempo", "nan", "a", "b"],
        "bad-set": ["--set", "=1", "--set", "x=1e999", "a", "b"],
        "twice": ["--block", "1", "--block=2", "a", "b"],
        "unknown": ["-x", "--frob", "a", "b"],
        "control": ["--set", "a\nb=0.5", "a\x1b", "b"],
        "many": ["-j", "4", "-o", "out", "a.wav", "b.flac", "c.aif"],
        "many-short-forms": ["-j2", "-oout", "--preset", "p.vstpreset", "--", "-a.wav"],
        "many-long-forms": ["--jobs=64", "--output-dir=o", "a.wav"],
        "many-bad": ["-j", "65", "-o", "", "--state-out", "s", "a"],
        "preset": ["--preset", "clean.vstpreset", "--set", "Bypass=0", "in.wav", "out.wav"],
        "preset-and-state": ["--preset", "p", "--state-in", "s", "a", "b"],
    }
    return {name: b"\0".join(arg.encode() for arg in args) for name, args in lines.items()}


def chunk(tag, payload, claimed=None):
    size = len(payload) if claimed is None else claimed
    return tag + u32(size) + payload + (b"\0" if len(payload) % 2 else b"")


WAV_GUID_TAIL = bytes([0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71])


def wav_format(tag, channels, rate, bits, extensible=False):
    align = channels * bits // 8
    head = u16(0xFFFE if extensible else tag) + u16(channels) + u32(rate) + u32(rate * align) + u16(align) + u16(bits)
    if extensible:
        head += u16(22) + u16(bits) + u32(3) + u16(tag) + WAV_GUID_TAIL
    return head


def wav(fmt, data, before=b"", after=b"", riff_size=None):
    body = b"WAVE" + before + chunk(b"fmt ", fmt) + chunk(b"data", data) + after
    return b"RIFF" + u32(len(body) if riff_size is None else riff_size) + body


def wav_seeds():
    ramp16 = b"".join(u16((i * 2000) & 0xFFFF) for i in range(16))
    ramp24 = b"".join(struct.pack("<i", i * 300000)[:3] for i in range(-8, 8))
    floats = b"".join(f32(0.1 * i) for i in range(-4, 4))
    doubles = b"".join(f64(0.05 * i) for i in range(-4, 4))
    return {
        "pcm16-mono": wav(wav_format(1, 1, 44100, 16), ramp16),
        "pcm24-stereo": wav(wav_format(1, 2, 48000, 24), ramp24),
        "pcm32": wav(wav_format(1, 1, 96000, 32), b"".join(u32(i << 24) for i in range(8))),
        "pcm8": wav(wav_format(1, 1, 8000, 8), bytes(range(0, 256, 16))),
        "float32": wav(wav_format(3, 1, 48000, 32), floats),
        "float64-stereo": wav(wav_format(3, 2, 384000, 64), doubles),
        "extensible-24": wav(wav_format(1, 2, 88200, 24, True), ramp24),
        "extensible-float": wav(wav_format(3, 1, 192000, 32, True), floats),
        "four-channels": wav(wav_format(1, 4, 48000, 16), ramp16),
        "chunks-around": wav(wav_format(1, 1, 48000, 16), ramp16, chunk(b"LIST", b"abc"), chunk(b"cue ", b"12345")),
        "data-claims-2gb": b"RIFF" + u32(0xFFFFFFFF) + b"WAVE" + chunk(b"fmt ", wav_format(1, 1, 48000, 16))
                           + chunk(b"data", ramp16, claimed=0x7FFFFFFF),
        "zero-channels": wav(wav_format(1, 0, 48000, 16), ramp16),
        "absurd-rate": wav(wav_format(1, 1, 4000000000, 16), ramp16),
        "truncated": wav(wav_format(1, 2, 48000, 24), ramp24)[:40],
    }


def lv2_run_seeds():
    """fuzz_lv2_run: the plug-in, then operations (see the harness)."""
    stereo, mono = 0, 1
    ports = ["input_selection", "gate_compressor_on_off", "compressor_level", "distortion_on_off",
             "distortion_level", "stereo_enhancer_on_off", "delay_on_off", "modulation_on_off", "chorus_speed",
             "reverb_on_off", "delay_level", "reverb_level", "button1", "enabled"]
    # Indexes of kSpecialValues in the harness.
    nan, inf, zero, half, one, two = 0, 1, 7, 8, 9, 10

    def port(name, v):
        value = u8(v) if isinstance(v, int) else u8(200) + f32(v)
        return u8(0) + u8(ports.index(name)) + value

    def run(n, signal=40):
        return u8(1) + u16(n) + u8(signal)

    def tempo_atom(type_index, bits, size):
        return u8(2) + u8(type_index) + u32(bits & 0xFFFFFFFF) + u32(bits >> 32) + u8(size)

    def event(type_index, body):
        return u8(3) + u8(0) + u8(type_index) + u8(len(body)) + body

    def restore(body):
        return u8(4) + u8(200) + u8(len(body)) + body

    round_trip = u8(5)

    def midi(*message):
        padded = bytes(message) + bytes(3 - len(message))
        return u8(6) + padded + u8(len(message) - 1)

    # Indexes of the harness's paths: none, the impulse, a missing file, no response.
    def cabinet(which):
        return u8(7) + u8(which)

    get_cabinet = u8(7) + u8(200)
    s = {}
    s["defaults"] = u8(stereo) + run(256) * 4
    s["mono"] = u8(mono) + run(37) + port("distortion_level", 1.0) + run(1000)
    s["ports"] = (u8(stereo) + port("distortion_level", 0.9) + port("reverb_level", half) + run(512) +
                  port("delay_level", nan) + port("chorus_speed", inf) + port("modulation_on_off", two) + run(64))
    s["bypass"] = u8(stereo) + run(128) + port("enabled", zero) + run(2048) + port("enabled", one) + run(2048)
    s["poison"] = u8(stereo) + run(300, signal=0) + run(300, signal=5) + run(300)
    s["blocks"] = u8(stereo) + run(0) + run(1) + run(1023) + run(1025) + run(8192)
    s["tempo"] = (u8(stereo) + tempo_atom(0, struct.unpack("<I", f32(90.0))[0], 4) + run(256) +
                  tempo_atom(1, struct.unpack("<Q", f64(1e300))[0], 8) + run(256) +
                  tempo_atom(2, 0xFFFFFFFF, 4) + run(256) + tempo_atom(4, 0, 0) + run(256))
    s["events"] = u8(stereo) + event(5, b"\x01" * 24) + event(4, b"abc\0") + run(128)
    s["state"] = (u8(stereo) + port("distortion_level", 0.2) + run(64) + round_trip + run(64) +
                  restore(state_record(DEFAULTS)) + run(64) + restore(b"\xff" * 79) + run(64))
    # The mapped controllers (a toggle, a hold, a level), others, program changes.
    s["midi"] = (u8(stereo) + midi(0xB0, 80, 127) + midi(0xB0, 80, 0) + run(256) + midi(0xB0, 64, 100) +
                 midi(0xB5, 7, 64) + midi(0xB3, 99, 1) + run(256) + midi(0xC0, 3) + midi(0xC0, 120) + run(256) +
                 midi(0xE0, 1, 2) + midi(0x90) + run(256))
    # The event buffer (8192 bytes) filled to its last byte, an empty object
    # there: its type would lie past the end.
    s["full-buffer"] = u8(stereo) + event(0, b"\0" * 8) * 338 + event(5, b"") + run(64)
    s["cabinet"] = (u8(stereo) + cabinet(1) + run(256) + get_cabinet + run(256) + round_trip + cabinet(2) +
                    run(256) + cabinet(3) + run(256) + cabinet(0) + run(256))
    return s


def write(harness, seeds):
    directory = OUT / harness
    shutil.rmtree(directory, ignore_errors=True)
    directory.mkdir(parents=True)
    for name, data in sorted(seeds.items()):
        (directory / name).write_bytes(data)


def main():
    write("fuzz_process", process_seeds())
    write("fuzz_state", state_seeds())
    write("fuzz_render_options", options_seeds())
    write("fuzz_wav", wav_seeds())


    write("fuzz_lv2_run", lv2_run_seeds())


if __name__ == "__main__":
    main()
