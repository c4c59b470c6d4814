#!/usr/bin/env python3
"""The native window as a screen reader reads it: its accessible tree over
AT-SPI, read from another process while Tokvin runs (what GTK's AT-SPI
layer makes of the widgets is not seen from inside). Every object has a
name a person would say and the role of what it is; the tempo field and
the trackbar tell the tempo, after typing, the wheel, a page click and
Home; a screen reader setting the trackbar or clicking a source takes the
gesture's own way. Runs itself on a display and in a D-Bus session of its
own, where the accessibility bus is started as a desktop starts it, so that
no other test's display points to a bus that is gone; no sequencer here,
so MIDI is told as not enabled.

usage: a11y_test.py SOURCE TOKVIN
"""
import os
import re
import subprocess
import sys
import tempfile
import time

if "TOKVIN_A11Y_BUS" not in os.environ:
    os.environ["TOKVIN_A11Y_BUS"] = "1"
    os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1024x768x24 -noreset", "dbus-run-session", "--",
                           sys.executable] + sys.argv)

sys.path.insert(0, os.path.join(sys.argv[1], "tests"))
import gi  # noqa: E402
gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402
from report import check, summary  # noqa: E402

S = Atspi.StateType
work = tempfile.mkdtemp(prefix="tokvin-a11y-")
# the bus's address, once it is up: asking for it starts it
Gio.bus_get_sync(Gio.BusType.SESSION).call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                                None, None, Gio.DBusCallFlags.NONE, 20000)
env = {k: v for k, v in os.environ.items() if not k.startswith("XDG_")}
env.update(HOME=work, PULSE_SERVER="unix:" + os.path.join(work, "no-server"))
app = subprocess.Popen([sys.argv[2]], env=env, stderr=subprocess.DEVNULL)


def until(what, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        # the library learns of new applications from events on the bus
        while GLib.MainContext.default().iteration(False):
            pass
        try:
            found = what()
            if found:
                return found
        except Exception:   # the tree is being rebuilt
            pass
        time.sleep(0.02)
    return None


def tokvin():
    desktop = Atspi.get_desktop(0)
    return [a for a in (desktop.get_child_at_index(i) for i in range(desktop.get_child_count()))
            if a and a.get_process_id() == app.pid][0].get_child_at_index(0)


def tree(o):
    """(role, name, object) of every object under o, in the order read"""
    rows = [(o.get_role_name(), o.get_name(), o)]
    for i in range(o.get_child_count()):
        rows += tree(o.get_child_at_index(i))
    return rows


def one(role, name):
    return [o for r, n, o in tree(window) if r in role.split("|") and n == name][0]


def has(o, *states):
    return all(o.get_state_set().contains(s) for s in states)


subprocess.run(["xdotool", "search", "--sync", "--name", " BPM - Tokvin"], capture_output=True, timeout=60)
window = until(lambda: tokvin().get_name() == "120 BPM - Tokvin 0.99" and tokvin())
check(window is not None, "Tokvin's window on the accessibility bus")
# role (or roles, by GTK's version), name, states it has, states it has not
EXPECTED = [
    ("text|entry", "Tempo (BPM)", [S.FOCUSABLE, S.SENSITIVE], []),
    ("push button|button", "Tempo erhöhen", [S.SENSITIVE], [S.FOCUSABLE]),
    ("push button|button", "Tempo verringern", [S.SENSITIVE], [S.FOCUSABLE]),
    ("slider", "Tempo (BPM)", [S.FOCUSABLE, S.SENSITIVE], []),
    ("push button|toggle button", "Klick (1/4)", [S.FOCUSABLE], [S.CHECKED, S.PRESSED]),
    ("radio button", "Audio", [S.CHECKED, S.SENSITIVE], [S.FOCUSABLE]),
    ("radio button", "Beep", [S.SENSITIVE], [S.CHECKED, S.FOCUSABLE]),
    ("radio button", "MIDI", [], [S.CHECKED, S.SENSITIVE, S.FOCUSABLE]),
] + [("label", "%s %s: %s ms" % (row, kind, ms), [], []) for kind, rows in (
    ("Note", [("1/1", "2000,0000"), ("1/2", "1000,0000"), ("1/4", "500,0000"), ("1/8", "250,0000"),
              ("1/16", "125,0000"), ("1/32", "62,5000")]),
    ("Triole", [("1/2", "666,6667"), ("1/4", "333,3333"), ("1/8", "166,6667"), ("1/16", "83,3333")]))
    for row, ms in rows]
if window:
    rows = tree(window)
    classed = ["%s %r" % (r, n) for r, n, _ in rows if re.match(r"Gtk[A-Z]", n)]
    check(not classed, "no object named after a toolkit class: %s" % classed)
    for role, name, on, off in EXPECTED:
        found = [o for r, n, o in rows if r in role.split("|") and n == name]
        check(len(found) == 1 and has(found[0], *on) and not [s for s in off if has(found[0], s)],
              "%s %r, %s, not %s" % (role, name, [s.value_nick for s in on], [s.value_nick for s in off]))
    for caption in ("Delay (ms)", "Klick", "Tempo (BPM)"):
        check(len([n for r, n, _ in rows if n == caption and r not in ("slider", "text", "entry")]) == 1,
              "the group %r told once, by its frame" % caption)

    win = subprocess.run(["xdotool", "search", "--name", " BPM - Tokvin"], capture_output=True,
                         text=True).stdout.split()[0]
    slider = one("slider", "Tempo (BPM)")

    def told(tempo, thumb=None, title=None):
        """the field's text, the trackbar's value and the title, once they tell it"""
        def now():
            field = one("text|entry", "Tempo (BPM)")
            return (Atspi.Text.get_text(field, 0, Atspi.Text.get_character_count(field)),
                    int(Atspi.Value.get_current_value(slider)), tokvin().get_name())
        want = (str(tempo), thumb or tempo, "%d BPM - Tokvin 0.99" % (title or tempo))
        return until(lambda: now() == want, 5) is not None or now()

    check((Atspi.Value.get_minimum_value(slider), Atspi.Value.get_maximum_value(slider)) == (12, 300),
          "the trackbar runs 12 to 300")
    check(told(120) is True, "at 120 BPM the trackbar says 120")
    subprocess.run(["xdotool", "windowfocus", "--sync", win, "key", "ctrl+a", "type", "300"], timeout=30)
    check(told(300) is True, "300 typed: the field and the trackbar say 300")
    subprocess.run(["xdotool", "key", "ctrl+a", "type", "12"], timeout=30)
    check(told(12) is True, "12 typed: both say 12")
    subprocess.run(["xdotool", "key", "ctrl+a", "type", "120"], timeout=30)
    check(told(120) is True and one("label", "1/4 Note: 500,0000 ms"), "120 again, the cells with it")
    subprocess.run(["xdotool", "mousemove", "--window", win, "60", "60", "click", "4"], timeout=30)
    check(told(121) is True, "the wheel turned up a notch: 121")
    box = Atspi.Component.get_extents(slider, Atspi.CoordType.WINDOW)
    subprocess.run(["xdotool", "mousemove", "--window", win, str(box.x + box.width // 2),
                    str(box.y + box.height - 2), "click", "1", "key", "Home"], timeout=30)
    check(told(109, 300) is True, "a click below the thumb pages to 109; Home moves the thumb to 300 alone")
    check(Atspi.Value.set_current_value(slider, 200.0) and told(200) is True, "the trackbar set to 200 by a screen reader: 200 BPM")

    # a screen reader's click on a source, where GTK offers one; else the mouse's
    beep = one("radio button", "Beep")
    names = ([Atspi.Action.get_action_name(beep, i) for i in range(Atspi.Action.get_n_actions(beep))]
             if "Action" in beep.get_interfaces() else [])
    if names:
        Atspi.Action.do_action(beep, 0)
    else:
        box = Atspi.Component.get_extents(beep, Atspi.CoordType.WINDOW)
        subprocess.run(["xdotool", "mousemove", "--window", win, str(box.x + 8), str(box.y + box.height // 2),
                        "click", "1"], timeout=30)
    check(until(lambda: has(one("radio button", "Beep"), S.CHECKED)
                and not has(one("radio button", "Audio"), S.CHECKED), 5) is not None,
          "Beep clicked (%s): Beep checked, Audio not" % (names[0] if names else "the mouse"))
    if names:
        Atspi.Action.do_action(one("radio button", "Beep"), 0)
        check(has(one("radio button", "Beep"), S.CHECKED), "Beep clicked again: still checked")

app.terminate()
app.wait(20)
subprocess.run(["rm", "-rf", work])
sys.exit(summary())
