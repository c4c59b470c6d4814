#!/usr/bin/env python3
"""The native Tokvin installed for one user (linux/install.sh, as make
install does it) in a home whose path has a space, an apostrophe and an
ampersand, and started as the menu starts it, from its desktop entry:
the window, no other process, the tempo set with the Up key kept across a
close and a SIGTERM; uninstalled, nothing but the settings left, and with
PURGE=1 not those either. Prints the seconds to the window.

Then the Debian package, built by tools/mkdeb.sh and unpacked into a
folder of the test's own: no Wine among what it depends on, its files,
and its /usr/bin/tokvin started by another person (as root: the user
nobody): the window, no other process, the settings file written at close.

usage: desktop_test.py SOURCE BUILDDIR XCLOSE
"""
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(sys.argv[1], "tests"))
from report import check, summary

source, build, xclose = (os.path.abspath(a) for a in sys.argv[1:4])
work = os.path.join(build, "desktop-test")
home = os.path.join(work, "Jo's home & studio")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(home)
env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
env.update(HOME=home, PULSE_SERVER="unix:" + os.path.join(work, "no-server"))
install = os.path.join(source, "linux", "install.sh")
conf = os.path.join(home, ".config", "tokvin", "tokvin.conf")


def window(title, count=1, seconds=30):
    """The first of 'count' windows once they show (asked every 20 ms:
    xdotool's own --sync asks every half second)"""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                               capture_output=True, text=True).stdout.split()
        if len(found) >= count:
            return found[0]
        time.sleep(0.02)
    return None


def alone(app):
    """No Wine or any other process started beside Tokvin"""
    return subprocess.run(["ps", "--ppid", str(app.pid), "-o", "comm="], capture_output=True, text=True).stdout.strip()


def start():
    """The entry's Exec line, as the menu runs it; the seconds to its window."""
    line = re.search(r"^Exec=(.*)$", open(entry).read(), re.M).group(1)
    began = time.monotonic()
    app = subprocess.Popen(shlex.split(line.replace("\\\\", "\\")), env=env,
                           stderr=open(os.path.join(work, "stderr"), "w"))
    win = window(" BPM - Tokvin")
    return app, win, time.monotonic() - began


out = subprocess.run([install, "install", build], env=env, capture_output=True, text=True)
check(out.returncode == 0, "installed for the user: " + out.stdout.strip() + out.stderr.strip())
entry = os.path.join(home, ".local", "share", "applications", "org.tokvin.Tokvin.desktop")
valid = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
check(valid.returncode == 0 and not valid.stdout.strip(), "desktop-file-validate accepts the entry " + valid.stdout)
meta = os.path.join(home, ".local", "share", "metainfo", "org.tokvin.Tokvin.metainfo.xml")
# Tokvin has no web page yet: AppStream 1.0 (Debian 13) warns of that, and
# earlier ones know no such check to be told of
valid = subprocess.run(["appstreamcli", "validate", "--no-net", "--override=url-homepage-missing=info", meta],
                       capture_output=True, text=True)
if "not recognized" in valid.stderr:
    valid = subprocess.run(["appstreamcli", "validate", "--no-net", meta], capture_output=True, text=True)
check(valid.returncode == 0, "appstreamcli validate passes the software centres' entry " + valid.stdout[-300:])

app, win, seconds = start()
print("a new user's first start from the menu entry: the window after %.2f s" % seconds)
check(win is not None, "the entry starts Tokvin: 120 BPM - Tokvin 0.99" +
      ("" if win else " (exit %s, it said: %s)" % (app.poll(), open(os.path.join(work, "stderr")).read()[-500:])))
if win is None:
    sys.exit(summary())
check(not alone(app), "Tokvin alone, no Wine or other process beside it: " + alone(app))
subprocess.run(["xdotool", "windowfocus", "--sync", win, "key", "Up"], timeout=30)
check(window("^121 BPM - Tokvin") is not None, "Up in the tempo field: 121")
second, _, _ = start()
check(window(" BPM - Tokvin", 2) is not None, "a second start gives a second window, as on Windows")
second.send_signal(signal.SIGTERM)
second.wait(20)
subprocess.run([xclose, win])
check(app.wait(20) == 0, "closed with its close button, exit 0")

app, win, _ = start()
check(window("^121 BPM - Tokvin") == win, "started again: the tempo kept")
subprocess.run(["xdotool", "windowfocus", "--sync", win, "key", "Up"], timeout=30)
window("^122 BPM - Tokvin")
app.send_signal(signal.SIGTERM)
check(app.wait(20) == 0 and "Tempo=122\n" in open(conf).read(), "SIGTERM: exit 0 and the tempo stored")

# the command line: an option stores its value and starts Tokvin; anything
# else is refused with the usage
program = os.path.join(home, ".local", "bin", "tokvin")
wrong = subprocess.run([program, "--midi-note", "x"], env=env, capture_output=True, text=True)
check(wrong.returncode == 2 and "usage: tokvin" in wrong.stderr, "tokvin --midi-note x: the usage, exit 2")
app = subprocess.Popen([program, "--midi-note", "37", "--midi-device=2"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
check(window("^122 BPM - Tokvin") is not None, "tokvin --midi-note 37 --midi-device=2 starts Tokvin")
app.send_signal(signal.SIGTERM)
app.wait(20)
check("MIDINote=37\n" in open(conf).read() and "MIDIDevice=2\n" in open(conf).read(), "both values stored")

out = subprocess.run([install, "uninstall"], env=env, capture_output=True, text=True)
left = [os.path.relpath(os.path.join(r, n), home) for r, _, names in os.walk(home) for n in names]
# what libraries keep for every program (shader and settings caches, the
# accessibility bus, dbus-launch's session) is theirs, not Tokvin's
theirs = [f for f in left if re.match(r"(\.cache/|\.dbus/session-bus/)", f) and "tokvin" not in f.lower()]
check(out.returncode == 0 and sorted(set(left) - set(theirs)) == [".config/tokvin/tokvin.conf"],
      "uninstalled: the settings alone are left of Tokvin's: %s, beside the libraries' %s" % (
          sorted(set(left) - set(theirs)), theirs))
check("GSK_RENDERER" in env or not [f for f in theirs if "mesa" in f],
      "no OpenGL set up with the cairo renderer: no Mesa shader cache")
subprocess.run([install, "uninstall"], env=dict(env, PURGE="1"), capture_output=True)
check(not os.path.exists(conf), "PURGE=1: the settings gone too")

# -- the Debian package, unpacked, started by another person ---------------------
made = subprocess.run([os.path.join(source, "tools", "mkdeb.sh"), work, work], capture_output=True, text=True)
deb = made.stdout.strip()
check(made.returncode == 0 and deb.endswith(".deb"), "the Debian package is made " + made.stderr.strip()[-500:])
field = lambda name: subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True).stdout.strip()
depends = field("Depends")
check("libgtk-4-1" in depends and "libpulse0" in depends and "libasound2" in depends and "wine" not in depends,
      "it depends on GTK 4, libpulse and libasound, not on Wine: " + depends)
listing = subprocess.run(["dpkg-deb", "-c", deb], capture_output=True, text=True).stdout
files = sorted(l.split()[-1] for l in listing.splitlines() if not l.startswith("d"))
want = ["./usr/bin/tokvin", "./usr/share/applications/org.tokvin.Tokvin.desktop",
        "./usr/share/icons/hicolor/48x48/apps/tokvin.png", "./usr/share/man/man1/tokvin.1.gz",
        "./usr/share/tokvin/tokvin_d.html", "./usr/share/doc/tokvin/copyright",
        "./usr/share/metainfo/org.tokvin.Tokvin.metainfo.xml"]
check(all(f in files for f in want) and not [f for f in files if "wine" in f or f.endswith(".exe")],
      "its files: the program, entry, icons, manual page, help; nothing of Wine: " + " ".join(files))
other = tempfile.mkdtemp(prefix="tokvin-person-")
os.chmod(other, 0o755)
subprocess.run(["dpkg-deb", "-x", deb, os.path.join(other, "root")], check=True)
person = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if os.getuid() == 0 else []
their = os.path.join(other, "home")
os.makedirs(their, mode=0o700)
auth = os.path.join(other, "Xauthority")
shutil.copy(os.environ["XAUTHORITY"], auth)
if person:
    subprocess.run(["chown", "-R", "nobody:nogroup", their, auth])
said = os.path.join(other, "stderr")
app = subprocess.Popen(person + [os.path.join(other, "root", "usr", "bin", "tokvin")],
                       env=dict(env, HOME=their, XAUTHORITY=auth), stderr=open(said, "w"))
win = window("^120 BPM - Tokvin")
check(win is not None, "the package's tokvin shows its window to another person" +
      ("" if win else " (exit %s, it said: %s)" % (app.poll(), open(said).read()[-500:])))
check(not alone(app), "no Wine or other process beside it: " + alone(app))
if win:
    subprocess.run([xclose, win])
check(app.wait(20) == 0 and os.path.exists(os.path.join(their, ".config", "tokvin", "tokvin.conf")),
      "closed: their settings file is written")
shutil.rmtree(other, ignore_errors=True)
sys.exit(summary())
