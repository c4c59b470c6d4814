#!/usr/bin/env python3
"""Turns a file into the initialiser of an array of signed 32-bit integers
(little-endian, the last element filled with zero bytes).

usage: wav2inc.py IN OUT.inc
"""
import sys

data = open(sys.argv[1], "rb").read()
data += b"\0" * (-len(data) % 4)
words = [int.from_bytes(data[i:i + 4], "little", signed=True) for i in range(0, len(data), 4)]
lines = []
for i in range(0, len(words), 8):
    lines.append("    " + ", ".join("%d" % w for w in words[i:i + 8]) + ",")
with open(sys.argv[2], "w") as f:
    f.write("/* generated from %s: %d bytes */\n" % (sys.argv[1].split("/")[-1], len(data)))
    f.write("\n".join(lines) + "\n")
