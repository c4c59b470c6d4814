#!/usr/bin/env python3
"""Tokvin as a person starts it on a Linux desktop: through the launcher
(make run), in a Wine prefix of the test's own, on the test's display.

- F1 shows a page of the help with its text: the viewer's window is
  photographed and read back by OCR (German words of the first page).
- Two starts at once on a fresh prefix: the second waits for the first's
  set-up, and both windows show.
- A run killed hard, even one that left a persistent wineserver behind,
  does not stop the next one: its window shows.
- The Wine environment of the tests takes over a server left behind too,
  and says in one line what failed when Wine cannot start.
- The Wine-based install for one user and its removal (wine/install.sh),
  by a user whose home has a space,
  an apostrophe and an ampersand in its path: the desktop entry valid and
  tied to the window it starts (StartupWMClass), the icons, the Wine prefix
  made ready, the launcher starts Tokvin; a tempo changed there is kept
  across a close and a reinstall; make uninstall leaves nothing of the
  install but the settings, and PURGE=1 removes those as well: the home
  then holds nothing that Tokvin or its Wine made.
- The Debian package, unpacked into a folder of the test's own: what it
  depends on, its desktop entry, and its launcher started by a new user:
  without a template a notice at once, then the window, in a prefix under
  that user's home. With the template made once (as the package's
  postinst does), another person's first start: the window, a prefix
  under 30 MB with no link into Wine's folders, the tempo kept across a
  close and across Wine's update of the prefix, Wine's own files unchanged
  (dpkg -V); the template gone, the prefix made anew with the tempo; a
  failing Wine shown as a notification.
- --midi-devices lists the loopback driver in Wine's place as device 0,
  and says in one line that there is none where it has none.

Runs inside wine/wine-env.sh (a display). The build's own program: the
64-bit one is started as on a kernel without 32-bit code.

usage: desktop_test.py BUILDDIR 4|8 BUILD32DIR BUILD64DIR
"""
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from report import check, summary

build = os.path.abspath(sys.argv[1])
wide = sys.argv[2] == "8"
build32, build64 = (os.path.abspath(a) for a in sys.argv[3:5])
here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(here)
linux = os.path.join(source, "wine")
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
    return subprocess.Popen([os.path.join(linux, "launch.sh"), exe, exe, prefix], env=env,
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
    alt_f4(both[1])
    ended = wait_for(lambda: [p for p in (run, second) if p.poll() is not None], 60)
    check(ended is not None and len(ended) == 1 and ended[0].returncode == 0, "one of them closed again")
    if ended and ended[0] is run:
        run = second
main = wait_for(lambda: windows(" BPM - Tokvin"), 20)
check(main is not None, "the launcher shows Tokvin's window")
if main:
    focus(main[0])
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

# -- the MIDI devices by Tokvin's numbers: the loopback driver in Wine's place ----
drivers = os.path.join(prefix, "drive_c", "windows", "system32" if wide else "syswow64")
shutil.copy(os.path.join(build, "winetkloop.drv"), os.path.join(drivers, "winealsa.drv"))
for extra, want in (({}, "0 Tokvin Loopback   <- Tokvin's MIDIDevice"), ({"TKLOOP_NODEVICE": "1"}, "No MIDI output")):
    out = subprocess.run([os.path.join(linux, "launch.sh"), "--midi-devices", exe, exe, prefix],
                         env=dict(env, WINEDLLOVERRIDES="winealsa.drv=n", **extra), capture_output=True, text=True)
    lines = out.stdout.strip().splitlines()
    check(out.returncode == 0 and lines == [l for l in lines if l.startswith(want)] and len(lines) == 1,
          "--midi-devices %s: %s" % (" ".join(extra), " | ".join(lines)))

# -- the tests' Wine environment -------------------------------------------------
test_prefix = os.path.join(work, "test-prefix")
env_cmd = [os.path.join(linux, "wine-env.sh")] + (["-64"] if wide else []) + [test_prefix]
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
out = subprocess.run([os.path.join(linux, "wine-env.sh"), test_prefix, "true"],
                     env=dict(env, PATH=broken + ":" + env["PATH"]), capture_output=True, text=True)
lines = out.stderr.strip().splitlines()
check(out.returncode != 0 and len(lines) == 1 and "Exec format error" in lines[0],
      "a Wine that cannot start is named in one line: " + " | ".join(lines))

# -- installed for one user ---------------------------------------------------
# a home as people have them: spaces, an apostrophe, an ampersand
home = os.path.join(work, "Jo's home & studio")
local = os.path.join(home, ".local")
user = {k: v for k, v in env.items() if not k.startswith("MAKE") and k not in ("MFLAGS", "XDG_DATA_HOME")}
user["HOME"] = home
settings = os.path.join(local, "share", "tokvin")
user_prefix = os.path.join(settings, "wine")


def make(target, **extra):
    """The Wine-based install for one user or its removal, as make install
    and make uninstall did before the native edition."""
    args = [os.path.join(linux, "install.sh"), target] + ([build32, build64] if target == "install" else [])
    return subprocess.run(args, cwd=source, env=dict(user, **extra), capture_output=True, text=True)


def start_installed():
    log = open(os.path.join(work, "launcher.log"), "a")
    return subprocess.Popen([os.path.join(local, "bin", "tokvin")], env=user, stdout=log, stderr=log,
                            start_new_session=True)


def installed_files():
    found = set()
    for root, _, names in os.walk(local):
        found.update(os.path.relpath(os.path.join(root, n), local) for n in names)
    return {f for f in found if not f.startswith("share/tokvin/")}


def listing():
    found = set()
    for root, dirs, names in os.walk(home):
        found.update(os.path.relpath(os.path.join(root, n), home) for n in dirs + names)
    return found


def made_by_us(path):
    """Left in the home and not the desktop's: anything but the sound
    server's client folder and empty standard folders of ~/.local."""
    full = os.path.join(home, path)
    if path == ".config" or path.startswith(".config/pulse"):
        return False
    return not (path.startswith(".local") and os.path.isdir(full)
                and not any(names for _, _, names in os.walk(full)))


os.makedirs(home)
before = listing()
out = make("install")
check(out.returncode == 0, "make install as a user: " + out.stdout.strip()[-300:] + out.stderr.strip()[-300:])
check(os.path.exists(os.path.join(user_prefix, ".tokvin-ready")),
      "make install made the Wine prefix ready, so the first start is quick")
entry = os.path.join(local, "share", "applications", "tokvin.desktop")
valid = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
check(valid.returncode == 0 and not valid.stdout.strip(), "desktop-file-validate accepts the entry " + valid.stdout)
text = open(entry, encoding="utf-8").read() if os.path.exists(entry) else ""
launcher = os.path.join(local, "bin", "tokvin")
check('Exec="%s"' % launcher.replace("\\", "\\\\") in text and os.access(launcher, os.X_OK),
      "the entry starts the launcher")
check("Categories=AudioVideo;Audio;Music;" in text and "Icon=tokvin" in text
      and "Name[de]=" in text and "Comment[de]=" in text, "categories, icon, German and English texts")
for size in (16, 32, 48, 128):
    png = os.path.join(local, "share", "icons", "hicolor", "%dx%d" % (size, size), "apps", "tokvin.png")
    head = open(png, "rb").read(24) if os.path.exists(png) else b""
    check(head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == (size, size),
          "icon %dx%d" % (size, size))

app = start_installed()
main = wait_for(lambda: windows("120 BPM - Tokvin"), 120)
check(main is not None, "the launcher starts Tokvin, in its own prefix under ~/.local/share/tokvin")
if main:
    wm_class = ([l.split("=", 1)[1] for l in text.splitlines() if l.startswith("StartupWMClass=")] or ["?"])[0]
    tied = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "^%s$" % re.escape(wm_class)],
                          capture_output=True, text=True).stdout.split()
    check(main[0] in tied, "the entry's StartupWMClass %s is the window's class" % wm_class)
    # the tempo field has the focus: one arrow up
    focus(main[0])
    subprocess.run(["xdotool", "key", "Up"])
    changed = wait_for(lambda: windows("121 BPM - Tokvin"), 20)
    check(changed is not None, "the tempo changed to 121")
    # started again while open: a second window, as on Windows, in the
    # same prefix and server
    second = start_installed()
    both = two_windows()
    check(both is not None, "a second start while Tokvin is open opens a second window")
    if both:
        check(close(second, [w for w in both if w != main[0]][0], user_prefix), "the second one closed")
    check(close(app, main[0], user_prefix), "closed with Alt+F4")
check(make("install").returncode == 0, "installed again over it")
app = start_installed()
again = wait_for(lambda: windows(" BPM - Tokvin"), 60)
check(again is not None and windows("121 BPM - Tokvin") == again, "started again: the tempo is kept")
if again:
    close(app, again[0], user_prefix)

out = make("uninstall")
check(out.returncode == 0 and "removed from" in out.stdout and settings in out.stdout,
      "make uninstall names where the settings stay: " + out.stdout.strip())
check(not installed_files(), "nothing of the install is left: " + " ".join(sorted(installed_files())))
check(os.path.exists(os.path.join(user_prefix, "user.reg")), "the settings stay")
out = make("uninstall", PURGE="1")
check(out.returncode == 0 and "nothing removed" in out.stdout and "removed as well" in out.stdout
      and not os.path.exists(settings), "PURGE=1 removes the settings as well: " + out.stdout.strip())
left = sorted(p for p in listing() - before if made_by_us(p))
check(not left, "the home holds nothing new: " + " ".join(left))

# -- the Debian package, unpacked, started by a new user -------------------------
pkg = os.path.join(work, "package")
version = re.search(r"VERSION ([0-9.]+)", open(os.path.join(source, "CMakeLists.txt")).read()).group(1)
deb = os.path.join(pkg, "tokvin_%s-1_all.deb" % version)
made = subprocess.run([os.path.join(source, "tools", "mkdeb.sh"), build32, build64, pkg, version],
                      capture_output=True, text=True)
check(made.returncode == 0 and os.path.exists(deb), "the Debian package is made " + made.stderr.strip())
root = os.path.join(pkg, "root")
subprocess.run(["dpkg-deb", "-x", deb, root], check=True)
field = lambda name: subprocess.run(["dpkg-deb", "-f", deb, name], capture_output=True, text=True).stdout.strip()
relations = " ".join(field(f) for f in ("Depends", "Recommends", "Suggests"))
tools = [t for t in ("cmake", "mingw", "halibut", "icoutils", "python", "doctest", "tesseract", "lintian",
                     "sndfile", "p7zip", "desktop-file-utils", "pulseaudio") if t in relations]
check(field("Depends") == "wine" and not tools, "depends on Wine, names no build or test tool: " + relations)
entry = os.path.join(root, "usr", "share", "applications", "tokvin.desktop")
valid = subprocess.run(["desktop-file-validate", entry], capture_output=True, text=True)
starts = re.findall(r'^Exec="?([^"\n]*)"?$', open(entry).read() if os.path.exists(entry) else "", re.M)
check(valid.returncode == 0 and not valid.stdout.strip() and starts == ["/usr/bin/tokvin"]
      and os.access(root + starts[0], os.X_OK), "the package's entry is valid and starts its launcher " + valid.stdout)
newcomer = os.path.join(work, "new user's home")
notify = os.path.join(work, "notify")
os.makedirs(newcomer)
os.makedirs(notify)
with open(os.path.join(notify, "notify-send"), "w") as f:    # what the desktop would show
    f.write('#!/bin/sh\nprintf "%s\\n" "$*" >> "$(dirname "$0")/shown"\n')
os.chmod(os.path.join(notify, "notify-send"), 0o755)
desktop = {k: v for k, v in user.items() if k != "TOKVIN_XVFB"}
desktop.update(HOME=newcomer, LANG="de_DE.UTF-8", PATH=notify + ":" + user["PATH"],
               TOKVIN_TEMPLATE=os.path.join(work, "no template made"))
started = time.monotonic()
app = subprocess.Popen([os.path.join(root, "usr", "bin", "tokvin")], env=desktop, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, start_new_session=True)
shown = wait_for(lambda: os.path.exists(os.path.join(notify, "shown")), 20)
noticed = time.monotonic() - started
main = wait_for(lambda: windows("120 BPM - Tokvin"), 120)
print("first start of the package: notice after %.1f s, window after %.1f s" % (noticed, time.monotonic() - started))
check(shown and "Tokvin wird eingerichtet" in open(os.path.join(notify, "shown")).read(),
      "a new user's first start says at once that Tokvin is being set up")
check(main is not None and os.path.exists(os.path.join(newcomer, ".local", "share", "tokvin", "wine", ".tokvin-ready")),
      "then the window shows, in a Wine prefix under the new user's home")
if main:
    close(app, main[0], os.path.join(newcomer, ".local", "share", "tokvin", "wine"))

# -- the package's template: Wine set up once, each person's prefix made from it ----
# Another person than the one who made the template, with nothing of the
# test's folders they could not reach: as root, the user nobody.
other = tempfile.mkdtemp(prefix="tokvin-person-")
os.chmod(other, 0o755)
person = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if os.getuid() == 0 else []
made = subprocess.run([os.path.join(linux, "template.sh"), os.path.join(other, "lib")], capture_output=True, text=True)
check(made.returncode == 0, "the template is made: " + made.stdout.strip() + made.stderr.strip())
if not person:      # its maker must not write into it either
    subprocess.run(["chmod", "-R", "a-w", os.path.join(other, "lib")])
pkg_root = os.path.join(other, "package")
subprocess.run(["dpkg-deb", "-x", deb, pkg_root], check=True)
for d in ("home", "run", "notify"):
    os.makedirs(os.path.join(other, d), mode=0o700 if d != "notify" else 0o755)
shutil.copy(os.path.join(notify, "notify-send"), os.path.join(other, "notify"))
auth = os.path.join(other, "run", "Xauthority")
shutil.copy(os.environ["XAUTHORITY"], auth)
if person:
    subprocess.run(["chown", "-R", "nobody:nogroup"] + [os.path.join(other, d) for d in ("home", "run", "notify")])
mine = dict(desktop, HOME=os.path.join(other, "home"), XDG_RUNTIME_DIR=os.path.join(other, "run"), XAUTHORITY=auth,
            TOKVIN_TEMPLATE=os.path.join(other, "lib", "template"),
            PATH=os.path.join(other, "notify") + ":" + desktop["PATH"])
wine_prefix = os.path.join(other, "home", ".local", "share", "tokvin", "wine")
shown = os.path.join(other, "notify", "shown")
wine_dirs = ("/usr/lib/wine", "/usr/lib/x86_64-linux-gnu/wine", "/usr/lib/i386-linux-gnu/wine", "/usr/share/wine")


def start_person():
    log = open(os.path.join(other, "launcher.log"), "a")
    return subprocess.Popen(person + [os.path.join(pkg_root, "usr", "bin", "tokvin")], env=mine,
                            stdout=log, stderr=log, start_new_session=True)


def prefix_state():
    """(bytes on disk, links into Wine's folders) of the person's prefix"""
    size, wrong = 0, []
    for top, dirs, names in os.walk(wine_prefix):
        for n in dirs + names:
            path = os.path.join(top, n)
            size += os.lstat(path).st_blocks * 512
            if os.path.islink(path) and os.path.realpath(path).startswith(wine_dirs):
                wrong.append(path)
    return size, wrong


def wine_changed():
    return subprocess.run(["dpkg", "-V", "libwine:amd64", "libwine:i386", "wine64", "wine32:i386"],
                          capture_output=True, text=True).stdout


def person_run(title, what, tempo_up=False, small=True):
    started = time.monotonic()
    app = start_person()
    main = wait_for(lambda: windows(title), 120)
    print("%s: window after %.1f s" % (what, time.monotonic() - started))
    check(main is not None, what + ": the window, " + title)
    if main and tempo_up:
        focus(main[0])
        subprocess.run(["xdotool", "key", "Up"])
        check(wait_for(lambda: windows("121 BPM - Tokvin"), 20) is not None, what + ": the tempo changed to 121")
    if main:
        close(app, main[0], wine_prefix)
    size, wrong = prefix_state()
    check((size < 30e6 or not small) and not wrong, "%s: the prefix %.1f MB, links into Wine's folders: %s"
          % (what, size / 1e6, " ".join(wrong[:3]) or "none"))


def person_server_ended():
    subprocess.run(person + ["wineserver", "-w"], env=dict(mine, WINEPREFIX=wine_prefix))


stamp = os.path.join(wine_prefix, ".update-timestamp")
before = wine_changed()
person_run("120 BPM - Tokvin", "a new person's first start from the template", tempo_up=True)
person_server_ended()
with open(stamp, "w") as f:
    f.write("1\n")                     # as after an upgrade of Wine: its next start updates the prefix
person_run("121 BPM - Tokvin", "Wine's update of that prefix")
check(open(stamp).read().strip() != "1", "Wine did update the prefix")
check(wine_changed() == before, "Wine's own files are as before: " + wine_changed()[:300])
# its template gone (the package removed, then installed again where none
# could be made): the prefix is made anew, the tempo kept
person_server_ended()
os.rename(os.path.join(other, "lib", "template"), os.path.join(other, "lib", "gone"))
person_run("121 BPM - Tokvin", "the template gone", small=False)
check(os.path.exists(shown) and "Tokvin wird eingerichtet" in open(shown).read(), "then, as without one, the notice")
# a failure, started from the menu: said where the person looks
shutil.copy(os.path.join(broken, "wine"), os.path.join(pkg_root, "usr", "lib", "tokvin", "wine64", "wine"))
os.remove(shown)
out = subprocess.run(person + [os.path.join(pkg_root, "usr", "bin", "tokvin")], env=mine,
                     capture_output=True, text=True, timeout=120)
said = open(shown).read() if os.path.exists(shown) else ""
check(out.returncode != 0 and "Tokvin kann nicht starten" in said and "Exec format error" in said,
      "a Wine that cannot start, from the menu: a notification says why: " + said.strip())
subprocess.run(["chmod", "-R", "u+w", other])
shutil.rmtree(other, ignore_errors=True)

sys.exit(summary())
