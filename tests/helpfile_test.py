#!/usr/bin/env python3
"""The built help files. WinHelp: German labels only, the same bytes from
the same source. HTML Help: unpacked with 7z, every chapter and section in
the contents tree, every link leads to a page and anchor that exist, the
pages and the contents German, the file marked German.

usage: helpfile_test.py SOURCE.but BUILT.hlp BUILT.chm HELPFIX.py EPOCH
"""
import glob
import html
import os
import re
import struct
import subprocess
import sys
import tempfile

from report import check, summary

source, built, chm, helpfix = (os.path.abspath(a) for a in sys.argv[1:5])
epoch = int(sys.argv[5])



ENGLISH = ("Chapter", "Section", "Appendix", "Title page", "Contents", "Preamble",
           "Previous", "Next", "&Up", "&About", "Index")

# --- WinHelp ---------------------------------------------------------------
data = open(built, "rb").read()
contents = open(os.path.splitext(built)[0] + ".cnt", "rb").read()
# "Contents()" is the name of a WinHelp macro there, not a label
for english in ENGLISH:
    if english != "Contents":
        check(english.encode() not in data + contents, "hlp: no English label %r" % english)
for german in (b"Kapitel 1: Die Delay-Tabelle", b'"Nach oben"', b'"Info"', "Anschlagstärke".encode("cp1252"), b"Kein Ton?"):
    check(german in data, "hlp: German text %r present" % german.decode("cp1252"))
check(b"Titelseite und Inhalt" in contents, "hlp: German contents page")
check(b"MIDIChannel" in data and b"MIDIDevice" in data, "hlp: registry value names documented")
# a cross reference is a German noun: "Abschnitt 4.1", never "abschnitt 4.1"
check(not re.search(rb"\b(abschnitt|kapitel) \d", data), "hlp: cross references capitalised")
stamp = struct.pack("<HHHI", 0x036C, 33, 1, epoch)
check(data.count(stamp) == 1, "hlp: stamped with the source's time, not the build time")

with tempfile.TemporaryDirectory() as tmp:
    again = os.path.join(tmp, "again.hlp")
    subprocess.run(["halibut", "--input-charset=UTF-8", "--winhelp=" + again, source],
                   check=True, cwd=tmp)
    subprocess.run([sys.executable, helpfix, again, str(epoch)], check=True)
    check(open(again, "rb").read() == data, "hlp: a second build gives the same bytes")

# --- HTML Help -------------------------------------------------------------
raw = open(chm, "rb").read()
check(raw[:4] == b"ITSF" and struct.unpack_from("<I", raw, 20)[0] == 0x0407,
      "chm: marked German (Germany)")

# the chapters and sections of the source, as the reader sees their titles
titles = [t.strip() for t in re.findall(r"^\\[CH]\{[^}]*\}\s*(.+)$", open(source, encoding="utf-8").read(), re.M)]
check(len(titles) >= 6, "source: %d chapters and sections found" % len(titles))

with tempfile.TemporaryDirectory() as tmp:
    subprocess.run(["7z", "x", "-y", "-o" + tmp, chm], check=True, stdout=subprocess.DEVNULL)
    pages = {os.path.basename(p): open(p, "rb").read().decode("cp1252") for p in glob.glob(os.path.join(tmp, "*.html"))}
    hhc = open(os.path.join(tmp, "contents.hhc"), "rb").read().decode("cp1252")
    system = open(os.path.join(tmp, "#SYSTEM"), "rb").read()

names = [html.unescape(n) for n in re.findall(r'<PARAM NAME="Name" VALUE="([^"]*)"', hhc)]
for t in titles:
    check(t in names, "chm contents tree: %r" % t)
check("Tokvin – Delay-Zeiten und Metronom".encode("cp1252") in system, "chm: window title from the help's title")

anchors = {name: set(re.findall(r'<a name="([^"]+)"', text)) for name, text in pages.items()}
links = re.findall(r'<PARAM NAME="Local" VALUE="([^"]*)"', hhc)
for name, text in pages.items():
    links += re.findall(r'href="([^"]+)"', text)
bad = []
for link in links:
    page, _, anchor = link.partition("#")
    if page not in pages or (anchor and anchor not in anchors[page]):
        bad.append(link)
check(links and not bad, "chm: all %d links lead to a page and anchor that exist %s" % (len(links), bad or ""))

visible = html.unescape(" ".join(re.sub(r"<[^>]*>", " ", t) for t in pages.values()) + " " + " ".join(names))
for english in ENGLISH:
    check(re.search(r"\b%s\b" % re.escape(english.lstrip("&")), visible) is None, "chm: no English label %r" % english)
check(not re.search(r"\b(abschnitt|kapitel) \d", visible), "chm: cross references capitalised")
for german in ("Kapitel 1: Die Delay-Tabelle", "Anschlagstärke", "MIDIChannel", "„Klick (1/4)“", "Kein Ton?"):
    check(german in visible, "chm: German text %r present" % german)
# the switch is on, not held down; a changed MIDIDevice counts from the next
# start, not from switching the click off and on
prose = re.sub(r"\s+", " ", visible)
check("gedrückt bleiben" not in prose, "chm: the click switch is not said to be held down")
check(not re.search(r"andere[ns]? Gerät.{0,120}?(aus- und wieder ein|aus und wieder ein)", prose),
      "chm: another MIDI device is not taken by switching the click off and on")
# the old Wine prefix is ~/.local/share/tokvin/wine: the help installed beside it stays
check("rm -r ~/.local/share/tokvin/wine" in prose and not re.search(r"rm -r ~/\.local/share/tokvin(?![/\w])", prose),
      "chm: the removal of the old Wine prefix leaves the rest of ~/.local/share/tokvin")

sys.exit(summary())
