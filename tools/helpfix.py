#!/usr/bin/env python3
"""Finishes a help file written by Halibut.

WinHelp (.hlp): the buttons "Up" and "About" get German labels, and the
build time that Halibut stamps into the file becomes the given time, so
that the same source always gives the same bytes. Halibut writes both
buttons with fixed English labels as two neighbouring startup macros of
the |SYSTEM file; "Nach oben" is longer than "&Up", and the About button
gives up as many bytes (a shorter button name, "Info"), so that the two
records together, and every offset after them, keep their size.

HTML Help (.chm): the language of the file becomes German (Germany). Halibut
marks it British English, and the viewer reads the contents tree in the
code page of that language.

usage: helpfix.py FILE.hlp EPOCH
       helpfix.py FILE.chm
"""
import struct
import sys

GERMAN = 0x0407


def fail(path, what):
    sys.exit("%s: %s" % (path, what))


def macro(text):
    """A |SYSTEM record of type 4 (a startup macro): type, size, text."""
    return struct.pack("<HH", 4, len(text) + 1) + text + b"\0"


def fix_hlp(path, data, epoch):
    old = macro(b'CB("btn_about","&About","About()")') + macro(b'CB("btn_up","&Up","Contents()")')
    new = macro(b'CB("btn_a","Info","About()")') + macro(b'CB("btn_up","Nach oben","Contents()")')
    assert len(old) == len(new)
    if data.count(old) != 1:
        fail(path, "expected the About and Up buttons once, found them %d times" % data.count(old))
    data = data.replace(old, new)
    # |SYSTEM header: magic 0x036C, minor 33, major 1, then the build time
    header = struct.pack("<HHH", 0x036C, 33, 1)
    if data.count(header) != 1:
        fail(path, "no single |SYSTEM header")
    at = data.index(header) + len(header)
    return data[:at] + struct.pack("<I", epoch) + data[at + 4:]


def fix_chm(path, data):
    if data[:4] != b"ITSF":
        fail(path, "not a compiled HTML Help file")
    data = bytearray(data)
    struct.pack_into("<I", data, 20, GERMAN)           # file header
    # #SYSTEM, stored uncompressed: version, then records of code, length,
    # data; record 4 starts with the language
    start = data.find(b"Halibut, version")
    if start < 8 or data.find(b"Halibut, version", start + 1) != -1:
        fail(path, "no single #SYSTEM file")
    pos = start - 4                                     # record 9, the compiler
    while True:
        code, size = struct.unpack_from("<HH", data, pos)
        if code == 4:
            struct.pack_into("<I", data, pos + 4, GERMAN)
            return bytes(data)
        if pos > start + 512:
            fail(path, "#SYSTEM has no language record")
        pos += 4 + size


path = sys.argv[1]
data = open(path, "rb").read()
data = fix_chm(path, data) if path.lower().endswith(".chm") else fix_hlp(path, data, int(sys.argv[2]))
with open(path, "wb") as f:
    f.write(data)
