#!/usr/bin/env python3
"""Gives the help file's "Up" button a German label.

Halibut writes the button with the fixed English label "&Up" into the
startup macros of the .hlp. The label is replaced in place by "Auf", which
has the same length, so no record of the file changes its size.

usage: hlplabels.py FILE.hlp
"""
import sys

OLD = b'CB("btn_up","&Up",'
NEW = b'CB("btn_up","Auf",'

path = sys.argv[1]
data = open(path, "rb").read()
if data.count(OLD) != 1:
    sys.exit("%s: expected one Up button, found %d" % (path, data.count(OLD)))
with open(path, "wb") as f:
    f.write(data.replace(OLD, NEW))
