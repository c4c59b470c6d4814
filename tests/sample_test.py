#!/usr/bin/env python3
"""The click array compiled into the program holds exactly the synthesised
WAVE file, and sndfile-info reads that image as 3753 frames of 16-bit stereo
PCM at 44100 Hz.

usage: sample_test.py CLICKWAV.inc CLICK.wav
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

inc, wav = sys.argv[1:3]
words = [int(w) for w in re.findall(r"-?\d+", open(inc).read().split("*/", 1)[1])]
image = b"".join(struct.pack("<i", w) for w in words)
results = []


def check(cond, what):
    print(("ok      " if cond else "FAILED  ") + what)
    results.append(cond)


check(len(words) == 3782, "3782 array elements")
check(image[:15126] == open(wav, "rb").read(), "the array holds the WAVE file byte for byte")
check(image[15126:] == b"\0\0", "two zero fill bytes")

with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, "fromarray.wav")
    open(path, "wb").write(image[:15126])
    info = subprocess.run(["sndfile-info", path], capture_output=True, text=True).stdout
for line in ("Frames      : 3753", "Channels    : 2", "Sample Rate : 44100",
             "WAVE_FORMAT_PCM", "Bit Width     : 16", "fact : 4", "ISFT : "):
    check(line in info, "sndfile-info: %s" % line)

print("%d passed, %d failed" % (results.count(True), results.count(False)))
sys.exit(0 if all(results) else 1)
