#!/usr/bin/env python3
"""Tokvin as a person starts it on a Linux desktop: through the launcher
(make run), in a Wine prefix of the test's own, on the test's display.

- F1 shows a page of the help with its text: the viewer's window is
  photographed and read back by OCR (German words of the first page).
- A run killed hard, even one that left a persistent wineserver behind,
  does not stop the next one: its window shows.
- The Wine environment of the tests takes over a server left behind too,
  and says in one line what failed when Wine cannot start.

Runs inside tests/wine-env.sh (a display). The build's own program: the
64-bit one is started as on a kernel without 32-bit code.

usage: desktop_test.py BUILDDIR 4|8
"""
import os
import shutil
import signal
import subprocess
import sys
import time

build = os.path.abspath(sys.argv[1])
wide = sys.argv[2] == "8"
here = os.path.dirname(os.path.abspath(__file__))
work = os.path.join(build, "desktop-test")
exe = os.path.join(build, "tokvin.exe")
failures = []
passed = 0

# Wine's own environment for the programs started here, with nothing of the
# test prefix's: sound on goes nowhere (no server of the user's is asked).
env = {k: v for k, v in os.environ.items() if not k.startswith("WINE")}
env.update(PULSE_SERVER="unix:" + os.path.join(work, "no-sound-server"), XDG_RUNTIME_DIR=work)
if wide:
    env["TOKVIN_ARCH"] = "x64"


def check(cond, what):
    global passed
    print(("ok      " if cond else "FAILED  ") + what, flush=True)
    if cond:
        passed += 1
    else:
        failures.append(what)


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


def launch(prefix):
    """make run's launcher, in a process group of its own."""
    return subprocess.Popen([os.path.join(here, "launch.sh"), exe, exe, prefix], env=env,
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

# -- F1 under make run's setup -----------------------------------------------
run = launch(prefix)
main = wait_for(lambda: windows(" BPM - Tokvin"), 120)
check(main is not None, "the launcher shows Tokvin's window")
if main:
    # no window manager: the focus is given by hand, once the window takes it
    wait_for(lambda: subprocess.run(["xdotool", "windowfocus", "--sync", main[0]],
                                    stderr=subprocess.DEVNULL).returncode == 0, 20)
    subprocess.run(["xdotool", "key", "F1"])
    viewer = wait_for(lambda: windows("Wine Help"), 30)
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

# -- the tests' Wine environment -------------------------------------------------
test_prefix = os.path.join(work, "test-prefix")
env_cmd = [os.path.join(here, "wine-env.sh")] + (["-64"] if wide else []) + [test_prefix]
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
out = subprocess.run([os.path.join(here, "wine-env.sh"), test_prefix, "true"],
                     env=dict(env, PATH=broken + ":" + env["PATH"]), capture_output=True, text=True)
lines = out.stderr.strip().splitlines()
check(out.returncode != 0 and len(lines) == 1 and "Exec format error" in lines[0],
      "a Wine that cannot start is named in one line: " + " | ".join(lines))

print("%d passed, %d failed" % (passed, len(failures)))
sys.exit(1 if failures else 0)
