#!/usr/bin/env python3
"""The built help file: German labels only, and reproducible from its source
except for the build time that halibut stamps into four bytes.

usage: helpfile_test.py SOURCE.but BUILT.hlp HLPLABELS.py
"""
import os
import subprocess
import sys
import tempfile

source, built, labels = (os.path.abspath(a) for a in sys.argv[1:4])
failures = []
passed = 0


def check(cond, what):
    global passed
    print(("ok      " if cond else "FAILED  ") + what)
    if cond:
        passed += 1
    else:
        failures.append(what)


data = open(built, "rb").read()
contents = open(os.path.splitext(built)[0] + ".cnt", "rb").read()
for english in (b"Chapter", b"Section", b"Appendix", b"Title page", b"&Up", b"Index"):
    check(english not in data + contents, "no English label %r" % english.decode())
for german in (b"Kapitel 1: Die Delay-Tabelle", b'"Auf"', "Anschlagstärke".encode("cp1252")):
    check(german in data, "German text %r present" % german.decode("cp1252"))
check(b"Titelseite und Inhalt" in contents, "German contents page")
check(b"MIDIChannel" in data and b"MIDIDevice" in data, "registry value names documented")

with tempfile.TemporaryDirectory() as tmp:
    again = os.path.join(tmp, "again.hlp")
    subprocess.run(["halibut", "--input-charset=UTF-8", "--winhelp=" + again, source],
                   check=True, cwd=tmp)
    subprocess.run([sys.executable, labels, again], check=True)
    fresh = open(again, "rb").read()

check(len(fresh) == len(data), "a second build has the same size")
diff = [i for i, (a, b) in enumerate(zip(data, fresh)) if a != b]
check(not diff or diff[-1] - diff[0] < 4, "a second build differs in at most one 4-byte stamp (%d bytes)" % len(diff))

print("%d passed, %d failed" % (passed, len(failures)))
sys.exit(1 if failures else 0)
