#!/usr/bin/env python3
"""Synthesises Tokvin's click sample as a RIFF/WAVE file.

A one-sided burst of rectangular pulses at about 2.1 kHz that keeps its
strength for about 10 ms, then halves every 5 ms and is gone by 45 ms, over
a slow negative offset that returns to zero before the end. 3753 stereo
frames of 16-bit PCM at 44100 Hz, with an 18-byte "fmt " chunk, a "fact"
chunk before the data and a LIST/INFO chunk after it.

usage: mkclick.py OUT.wav
"""
import math
import struct
import sys

RATE = 44100
FRAMES = 3753
BURST_START = 40          # frames of silence before the first pulse
PULSE_PERIOD = 20.5       # frames: alternately 20 and 21, about 2151 Hz
PULSE_WIDTH = 5           # frames high per pulse
LEVEL = 20000             # pulse height at full strength
OVERSHOOT = 1.0893        # leading edge of each pulse
PEAK_FRAME = 81           # where the envelope is at its top
HOLD_END = 481            # full strength until about 10 ms
HALF_LIFE = 220.5         # frames: half the amplitude every 5 ms
BURST_END = 1985          # about 45 ms
OFFSET_DEPTH = 2500
OFFSET_START, OFFSET_END = 441, 3560
CREATED = b"1999-04-20\0"
SOFTWARE = b"Tokvin clickgen\0"   # 15 characters and the terminator


def envelope(n):
    if n < BURST_START or n >= BURST_END:
        return 0.0
    if n < PEAK_FRAME:
        return 0.95 + 0.05 * (n - BURST_START) / (PEAK_FRAME - BURST_START)
    if n < HOLD_END:
        return 1.0 - 0.03 * (n - PEAK_FRAME) / (HOLD_END - PEAK_FRAME)
    return 0.97 * 0.5 ** ((n - HOLD_END) / HALF_LIFE)


def pulse_starts():
    k = 0
    while True:
        start = BURST_START + int(k * PULSE_PERIOD + 0.5)
        if start >= BURST_END:
            return
        yield start
        k += 1


def samples():
    high = {}
    for start in pulse_starts():
        for i in range(PULSE_WIDTH):
            high[start + i] = OVERSHOOT if i == 0 else 1.0
    out = []
    for n in range(FRAMES):
        v = LEVEL * envelope(n) * high.get(n, 0.0)
        if OFFSET_START <= n < OFFSET_END:
            x = (n - OFFSET_START) / (OFFSET_END - OFFSET_START)
            v -= OFFSET_DEPTH * math.sin(math.pi * x) ** 2
        out.append(max(-32768, min(32767, int(round(v)))))
    return out


def chunk(ident, payload):
    pad = b"\0" if len(payload) % 2 else b""
    return ident + struct.pack("<I", len(payload)) + payload + pad


def wave():
    frames = b"".join(struct.pack("<hh", s, s) for s in samples())
    fmt = struct.pack("<HHIIHHH", 1, 2, RATE, RATE * 4, 4, 16, 0)
    info = b"INFO" + chunk(b"ICRD", CREATED) + chunk(b"ISFT", SOFTWARE)
    body = (b"WAVE" + chunk(b"fmt ", fmt) + chunk(b"fact", struct.pack("<I", FRAMES))
            + chunk(b"data", frames) + chunk(b"LIST", info))
    return b"RIFF" + struct.pack("<I", len(body)) + body


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(wave())
