#!/usr/bin/env python3
"""The Windows program as a developer starts it on Linux: through the
launcher (make run-windows), in a Wine prefix of the test's own, on the
test's display.

- F1 shows a page of the help with its text: the viewer's window is
  photographed and read back by OCR (German words of the first page).
- Two starts at once on a fresh prefix: the second waits for the first's
  set-up, and both windows show.
- A run killed hard, even one that left a persistent wineserver behind,
  does not stop the next one: its window shows.
- The Wine environment of the tests takes over a server left behind too,
  and says in one line what failed when Wine cannot start.
- --midi-devices lists the loopback driver in Wine's place as device 0,
  and says in one line that there is none where it has none.

Runs inside wine/wine-env.sh (a display). The build's own program: the
64-bit one is started as on a kernel without 32-bit code.

usage: desktop_test.py BUILDDIR 4|8
"""
import os
import shutil
import signal
import subprocess
import sys
import time

from report import check, summary

build = os.path.abspath(sys.argv[1])
wide = sys.argv[2] == "8"
here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(here)
wine = os.path.join(source, "wine")
work = os.path.join(build, "desktop-test")
exe = os.path.join(build, "tokvin.exe")

# Wine's own environment for the programs started here, with nothing of the
# test prefix's: sound on goes nowhere (no server of the user's is asked).
env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
env.update(PULSE_SERVER="unix:" + os.path.join(work, "no-sound-server"), XDG_RUNTIME_DIR=work)
if wide:
    env["TOKVIN_ARCH"] = "x64"



def wait_for(cond, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = cond()
        if value:
            return value
        time.sleep(0.1)
    return None


def windows(name):
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name], capture_output=True, text=True)
    return out.stdout.split()


def two_windows():
    """Both of two Tokvin windows, once they show."""
    return wait_for(lambda: (lambda w: w if len(w) == 2 else None)(windows(" BPM - Tokvin")), 120)


def launch(prefix):
    """make run's launcher, in a process group of its own."""
    return subprocess.Popen([os.path.join(wine, "launch.sh"), exe, exe, prefix], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            start_new_session=True)


def kill_hard(proc, prefix):
    """Every process of the run, as kill -9 or a closed terminal leaves it,
    but the wineserver."""
    os.killpg(proc.pid, signal.SIGKILL)
    proc.wait()
    mark = ("WINEPREFIX=" + prefix).encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                mine = mark in f.read().split(b"\0")
            with open("/proc/%s/comm" % pid) as f:
                server = f.read().startswith("wineserver")
            if mine and not server:
                os.kill(int(pid), signal.SIGKILL)
        except OSError:
            pass


def wineserver(prefix, *args):
    return subprocess.run(["wineserver"] + list(args), env=dict(env, WINEPREFIX=prefix),
                          stderr=subprocess.DEVNULL).returncode


def ocr(window):
    shot = os.path.join(work, "help.png")
    # the viewer's small type reads better enlarged
    subprocess.run(["import", "-window", window, "-resize", "300%", shot], check=True)
    out = subprocess.run(["tesseract", shot, "-", "-l", "deu"], capture_output=True, text=True)
    return out.stdout


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work, mode=0o700)
prefix = os.path.join(work, "prefix")

def focus(window):
    """No window manager: the focus is given by hand, once the window takes it."""
    return wait_for(lambda: subprocess.run(["xdotool", "windowfocus", "--sync", window],
                                           stderr=subprocess.DEVNULL).returncode == 0, 20)


def alt_f4(window):
    focus(window)
    subprocess.run(["xdotool", "key", "alt+F4"])


def press(window, key, done, seconds=60):
    """The key to the window until done() says it arrived: in a prefix
    still starting (the first time, on a cold machine) one can go nowhere.
    Sent only while the window takes the focus, so never to another."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if focus(window):
            subprocess.run(["xdotool", "key", key])
        value = wait_for(done, 10)
        if value:
            return value
    return None


def close(proc, window, prefix):
    alt_f4(window)
    try:
        return proc.wait(60) == 0
    except subprocess.TimeoutExpired:
        kill_hard(proc, prefix)
        return False


# -- two starts at once, then F1 under make run's setup -------------------------
run, second = launch(prefix), launch(prefix)
both = two_windows()
check(both is not None, "two starts at once on a fresh prefix: both windows show")
if both:
    # whichever start it belongs to, that one ends; the other goes on
    ended = press(both[1], "alt+F4", lambda: [p for p in (run, second) if p.poll() is not None])
    check(ended is not None and len(ended) == 1 and ended[0].returncode == 0, "one of them closed again")
    if ended and ended[0] is run:
        run = second
main = wait_for(lambda: windows(" BPM - Tokvin"), 20)
check(main is not None, "the launcher shows Tokvin's window")
if main:
    viewer = press(main[0], "F1", lambda: windows("Wine Help"))
    check(viewer is not None, "F1 opens the help viewer")
    if viewer:
        words = ["Notenwert", "Millisekunden", "Viertelnote"]
        text = wait_for(lambda: (lambda t: t if sum(w in t for w in words) >= 2 else None)(ocr(viewer[0])), 20)
        check(text is not None, "the viewer shows the first page's text: " + ", ".join(words))
        if text is None:
            print(ocr(viewer[0]))

# -- a run killed hard ---------------------------------------------------------
kill_hard(run, prefix)
wineserver(prefix, "-w")
# what an interrupted earlier run left: a server that waits for ever
check(wineserver(prefix, "-p") == 0 and wineserver(prefix, "-k0") == 0, "a wineserver left behind")
run = launch(prefix)
main = wait_for(lambda: windows(" BPM - Tokvin"), 60)
check(main is not None, "the next run shows the window all the same")
kill_hard(run, prefix)
wineserver(prefix, "-k")

# -- the MIDI devices by Tokvin's numbers: the loopback driver as winmm's ------
# (as tests/exe.cpp's LoopbackMidi makes it, in the program's registry view)
drivers = os.path.join(prefix, "drive_c", "windows", "system32" if wide else "syswow64")
shutil.copy(os.path.join(build, "winetkloop.drv"), drivers)
subprocess.run([os.path.join(wine, "wine64", "wine") if wide else "wine", "reg", "add",
                r"HKLM\Software\Classes\CLSID\{BCDE0395-E52F-467C-8E3D-C4579291692E}\InprocServer32",
                "/ve", "/d", r"C:\windows\system32\winetkloop.drv", "/f", "/reg:" + ("64" if wide else "32")],
               env=dict(env, WINEPREFIX=prefix), capture_output=True)
for extra, want in (({}, "0 Tokvin Loopback   <- Tokvin's MIDIDevice"), ({"TKLOOP_NODEVICE": "1"}, "No MIDI output")):
    out = subprocess.run([os.path.join(wine, "launch.sh"), "--midi-devices", exe, exe, prefix],
                         env=dict(env, **extra), capture_output=True, text=True)
    lines = out.stdout.strip().splitlines()
    check(out.returncode == 0 and lines == [l for l in lines if l.startswith(want)] and len(lines) == 1,
          "--midi-devices %s: %s" % (" ".join(extra), " | ".join(lines)))

# -- the tests' Wine environment -------------------------------------------------
test_prefix = os.path.join(work, "test-prefix")
env_cmd = [os.path.join(wine, "wine-env.sh")] + (["-64"] if wide else []) + [test_prefix]
subprocess.run(env_cmd + ["true"], env=env, stdout=subprocess.DEVNULL)
wineserver(test_prefix, "-p")
out = subprocess.run(env_cmd + ["sh", "-c", "wine cmd /c echo ready"], env=env,
                     capture_output=True, text=True)
check(out.returncode == 0 and "ready" in out.stdout, "the tests' prefix takes over a server left behind")
broken = os.path.join(work, "broken")
os.makedirs(broken)
with open(os.path.join(broken, "wine"), "w") as f:
    f.write("#!/bin/sh\necho 'cannot execute binary file: Exec format error' >&2\nexit 126\n")
os.chmod(os.path.join(broken, "wine"), 0o755)
out = subprocess.run([os.path.join(wine, "wine-env.sh"), test_prefix, "true"],
                     env=dict(env, PATH=broken + ":" + env["PATH"]), capture_output=True, text=True)
lines = out.stderr.strip().splitlines()
check(out.returncode != 0 and len(lines) == 1 and "Exec format error" in lines[0],
      "a Wine that cannot start is named in one line: " + " | ".join(lines))

sys.exit(summary())
