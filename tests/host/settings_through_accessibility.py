#!/usr/bin/python3
"""`zorvan --settings` driven as a person with assistive technology would: through its
accessibility tree (AT-SPI), on the test's X display, with a private session bus and
accessibility bus, a private HOME and settings file. Options..., Hexagon, Tails, Close;
then the store must hold the new shape and tails, and the preview on the screen must
show hexagons with tails. Then a logo is chosen in the file chooser, by its tree and
the keyboard alone, and the preview takes its colours. Last, a stop signal ends the
pane at once while the chooser is open, leaving the store as it was. Every wait is
bounded; exit status 0 passes, 77 skips.

With --wayland the pane runs on the Wayland display of the environment, which has no
DISPLAY: the same steps, the logo chosen by selecting its row in the chooser and Open
(AT-SPI makes key presses through X alone), and the store checked after each; the
caller looks at the preview through the compositor's own pictures. With --no-daemon
the idle daemon's switch is left out: on GNOME the daemon asks mutter over the
session's own bus, which is not the private bus of this run.

Usage: settings_through_accessibility.py ZORVAN [--wayland [--no-daemon]] [--in-session]
"""
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

TIMEOUT = 20.0  # seconds for each wait
# How soon a stop signal must end the pane; the sanitizers' exit checks take longer.
STOP_LIMIT = float(os.environ.get("ZORVAN_STOP_LIMIT", "0.1"))


def fail(message):
    print("FAIL: " + message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, probe, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = probe()
        if value:
            return value
        time.sleep(0.1)
    fail("timed out waiting for " + what)


def preview_pixels(x, y, w, h, folder):
    """The preview's pixels read back from the screen, as (r, g, b) rows."""
    path = os.path.join(folder, "preview.rgb")
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y),
                    "-depth", "8", "rgb:" + path], check=True, timeout=TIMEOUT)
    data = open(path, "rb").read()
    if len(data) != w * h * 3:
        fail("read back %d bytes of the preview, expected %d" % (len(data), w * h * 3))
    return [[tuple(data[(r * w + c) * 3:(r * w + c) * 3 + 3]) for c in range(w)] for r in range(h)]


def shape_statistics(pixels):
    """The median fill of the bounding boxes of the lone mote bodies (full-red pixels:
    every default colour has red 1.0), and the share of lit pixels in tail colours
    (halfway to the black background: red about one half)."""
    h, w = len(pixels), len(pixels[0])
    body = [[p[0] >= 250 for p in row] for row in pixels]
    seen = [[False] * w for _ in range(h)]
    fills = []
    for y in range(h):
        for x in range(w):
            if not body[y][x] or seen[y][x]:
                continue
            stack, blob = [(x, y)], []
            seen[y][x] = True
            while stack:
                cx, cy = stack.pop()
                blob.append((cx, cy))
                for nx, ny in ((cx + 1, cy), (cx - 1, cy), (cx, cy + 1), (cx, cy - 1)):
                    if 0 <= nx < w and 0 <= ny < h and body[ny][nx] and not seen[ny][nx]:
                        seen[ny][nx] = True
                        stack.append((nx, ny))
            xs = [p[0] for p in blob]
            ys = [p[1] for p in blob]
            bw, bh = max(xs) - min(xs) + 1, max(ys) - min(ys) + 1
            # Lone motes only: touching ones make boxes of no particular shape.
            if 20 <= len(blob) <= 200 and 0.7 <= bw / bh <= 1.4 and min(xs) > 0 and min(ys) > 0 \
                    and max(xs) < w - 1 and max(ys) < h - 1:
                fills.append(len(blob) / (bw * bh))
    lit = sum(1 for row in pixels for p in row if p != (0, 0, 0))
    tails = sum(1 for row in pixels for p in row if 110 <= p[0] <= 145)
    return (statistics.median(fills) if fills else 0.0), len(fills), (tails / lit if lit else 0.0)


def settled_statistics(x, y, w, h, folder):
    """shape_statistics of the preview once enough lone motes show (a few tries: the
    first frames of a slow start may not be on the screen yet)."""
    stats = (0.0, 0, 0.0)
    for _ in range(10):
        stats = shape_statistics(preview_pixels(x, y, w, h, folder))
        if stats[1] >= 10:
            break
        time.sleep(0.5)
    return stats


def role_of(name):
    """The role that a role's name such as "push button" stands for. Roles are compared,
    not their names: AT-SPI 2.56 (Debian 13) names a push button "button"."""
    import pyatspi
    return getattr(pyatspi, "ROLE_" + name.upper().replace(" ", "_"))


def title_button(accessible):
    """Whether `accessible` is one of the window's own buttons (Close, ...) in a title bar
    that GTK draws itself (where the compositor draws none, as on GNOME): in a box of the
    header bar right under the window; the header bar's other buttons (a dialog's Open and
    Cancel) sit in the header bar itself."""
    import pyatspi
    box = accessible.parent
    bar = box.parent if box is not None else None
    window = bar.parent if bar is not None else None
    return (box.getRole() == pyatspi.ROLE_FILLER and bar is not None and bar.getRole() == pyatspi.ROLE_PANEL
            and window is not None
            and window.getRole() in (pyatspi.ROLE_FRAME, pyatspi.ROLE_DIALOG, pyatspi.ROLE_FILE_CHOOSER))


def find(root, role, name):
    import pyatspi
    wanted = role_of(role)
    return pyatspi.findDescendant(root, lambda a: a is not None and a.getRole() == wanted
                                  and a.name == name and not title_button(a), True)


def click(accessible, what):
    action = accessible.queryAction()
    for i in range(action.nActions):
        if action.getName(i) in ("click", "press", "activate", "toggle"):
            action.doAction(i)
            return
    fail("no click action on " + what)


def judge_shapes(before, after):
    """Squares without tails before, hexagons with tails after (shape_statistics)."""
    print("squares without tails: median fill %.2f of %d motes, tail share %.3f" % before)
    print("hexagons with tails:   median fill %.2f of %d motes, tail share %.3f" % after)
    if before[1] < 10 or after[1] < 10:
        fail("too few lone motes on the screen to judge their shape")
    if not before[0] >= 0.9:
        fail("the preview did not show squares to begin with")
    if not 0.6 <= after[0] <= 0.88:
        fail("the preview does not show hexagons (median fill %.2f)" % after[0])
    if not (before[2] < 0.01 and after[2] > 0.05):
        fail("the preview does not show tails (share %.3f before, %.3f after)" % (before[2], after[2]))


def green_share(pixels):
    """The share of lit pixels that are the test logo's green."""
    lit = [p for row in pixels for p in row if p != (0, 0, 0)]
    green = sum(1 for p in lit if p[1] >= 200 and p[0] <= 60 and p[2] <= 60)
    return green / len(lit) if lit else 0.0


def expect_green(x, y, w, h, folder):
    """The preview turns to the test logo's green within five seconds."""
    shares = []
    for _ in range(20):
        time.sleep(0.25)
        shares.append(green_share(preview_pixels(x, y, w, h, folder)))
        if shares[-1] > 0.5:
            break
    print("green share of the preview's lit pixels with the logo's colours: %.2f" % shares[-1])
    if shares[-1] <= 0.5:
        fail("the preview does not show the logo's colours (green share %.2f)" % shares[-1])


def type_keys(text):
    import pyatspi
    pyatspi.Registry.generateKeyboardEvent(0, text, pyatspi.KEY_STRING)


def press_return():
    import pyatspi
    pyatspi.Registry.generateKeyboardEvent(0xff0d, None, pyatspi.KEY_SYM)


def open_chooser(app):
    """Options..., Choose...: the file chooser, once its own controls answer through the
    accessibility tree (they cannot while a nested loop blocks the bridge)."""
    click(wait_for("the Options button", lambda: find(app, "push button", "Options…")), "Options…")
    click(wait_for("the Choose button", lambda: find(app, "push button", "Choose…")), "Choose…")
    chooser = wait_for("the file chooser", lambda: find(app, "file chooser", "Choose a logo picture"))
    for role, name in (("table", "Files"), ("push button", "Open"), ("push button", "Cancel")):
        wait_for("the chooser's %s %r" % (role, name), lambda: find(chooser, role, name), timeout=10)
    return chooser


def select_row(table, cell):
    """Selects the row of `cell` (or of the table cell that holds it) in `table`."""
    import pyatspi
    while cell.parent.getRole() != pyatspi.ROLE_TABLE:
        cell = cell.parent
    rows = table.queryTable()
    if not rows.addRowSelection(rows.getRowAtIndex(cell.getIndexInParent())):
        fail("the row of %r cannot be selected" % cell.name)


def showing_texts(root):
    import pyatspi
    found = []

    def walk(a):
        if a is None:
            return
        if a.getRole() == pyatspi.ROLE_TEXT and a.getState().contains(pyatspi.STATE_SHOWING):
            found.append(a.queryText().getText(0, -1))
        for i in range(a.childCount):
            walk(a.getChildAtIndex(i))
    walk(root)
    return found


def stop_with_chooser_open(zorvan, prefs, number, name):
    """A pane with the chooser open ends at once on the signal, with status 0, and the
    store byte for byte as it was."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    process = subprocess.Popen([zorvan, "--settings", "--prefs", prefs], start_new_session=True)
    try:
        app = wait_for("the pane in the accessibility tree", lambda: application_of(desktop, process))
        open_chooser(app)
        stored = open(prefs, "rb").read()
        started = time.monotonic()
        process.send_signal(number)
        try:
            status = process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            fail("zorvan --settings did not end on %s with the chooser open" % name)
        took = time.monotonic() - started
        print("%s with the chooser open: status %d after %.0f ms" % (name, status, took * 1000))
        if status != 0:
            fail("zorvan --settings ended with status %d on %s" % (status, name))
        if took > STOP_LIMIT:
            fail("%s took %.0f ms to end the pane" % (name, took * 1000))
        if open(prefs, "rb").read() != stored:
            fail("the store changed on %s" % name)
        process = None
    finally:
        if process is not None and process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def idle_daemon_switch(zorvan, folder):
    """The pane without --prefs shows the idle daemon's section: its switch writes the
    session's autostart entry and starts the daemon, a changed time reaches the daemon's
    settings file, and the switch turned off removes the entry and ends the daemon."""
    import pyatspi
    desktop = pyatspi.Registry.getDesktop(0)
    config = os.environ["XDG_CONFIG_HOME"]
    entry = os.path.join(config, "autostart", "zorvan-daemon.desktop")
    stored = os.path.join(config, "zorvan", "ZorvanDaemon.conf")

    def daemon_runs():
        return subprocess.run([zorvan, "--deactivate"], capture_output=True, timeout=TIMEOUT).returncode == 0

    process = subprocess.Popen([zorvan, "--settings"], start_new_session=True)
    try:
        app = wait_for("the pane in the accessibility tree", lambda: application_of(desktop, process))
        switch = wait_for("the idle switch",
                          lambda: find(app, "toggle button", "Start Zorvan when the computer is idle"))
        if switch.getState().contains(pyatspi.STATE_CHECKED) or os.path.exists(entry):
            fail("the idle switch starts on without an autostart entry")
        # Where the entry cannot be written (a file in the folder's place), the switch goes
        # back off and no daemon starts.
        blocker = os.path.dirname(entry)
        open(blocker, "w").close()
        click(switch, "the idle switch")
        time.sleep(1.0)
        if switch.getState().contains(pyatspi.STATE_CHECKED) or daemon_runs():
            fail("the idle switch stayed on though the autostart entry could not be written")
        os.remove(blocker)
        click(switch, "the idle switch")
        wait_for("the autostart entry", lambda: os.path.exists(entry)
                 and "\nExec=%s --daemon\n" % zorvan in open(entry).read())
        wait_for("the daemon to run", daemon_runs)
        after = wait_for("the saver's idle time", lambda: find(app, "spin button", "Start the saver after (minutes)"))
        after.queryValue().currentValue = 7
        wait_for("the daemon's settings file to hold 7 minutes",
                 lambda: os.path.exists(stored) and "saverAfter=420\n" in open(stored).read())
        click(switch, "the idle switch")
        wait_for("the autostart entry to go", lambda: not os.path.exists(entry))
        wait_for("the daemon to end", lambda: not daemon_runs())
        print("idle switch: autostart entry written and removed, daemon started and ended")
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        subprocess.run([zorvan, "--deactivate"], capture_output=True, timeout=TIMEOUT)


def application_of(desktop, process):
    for i in range(desktop.childCount):
        a = desktop.getChildAtIndex(i)
        if a is not None and a.get_process_id() == process.pid:
            return a
    if process.poll() is not None:
        fail("zorvan --settings ended with status %d" % process.returncode)
    return None


def in_session(zorvan, wayland, daemon):
    folder = tempfile.mkdtemp(prefix="zorvan-a11y-")
    os.environ.update({"HOME": folder, "XDG_CONFIG_HOME": os.path.join(folder, "config"),
                       "GNOME_ACCESSIBILITY": "1", "GSETTINGS_BACKEND": "memory", "GIO_USE_VFS": "local"})
    if wayland:
        # GTK's own choice, with the compositor's runtime folder, where its socket is.
        os.environ.pop("GDK_BACKEND", None)
    else:
        runtime = os.path.join(folder, "runtime")
        os.makedirs(runtime, mode=0o700)
        os.environ.update({"XDG_RUNTIME_DIR": runtime, "GDK_BACKEND": "x11"})
    os.environ.pop("NO_AT_BRIDGE", None)
    prefs = os.path.join(folder, "Zorvan.conf")
    # Few, plain, axis-aligned squares without tails to start from, big enough to tell
    # their shape on the screen.
    with open(prefs, "w") as f:
        f.write("[Zorvan]\nnumMotes=120\nmoteSize=6\nmoteShape=0\ndrawMode=0\ndirectional=false\n"
                "logoMode=1\n")

    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                                start_new_session=True)
    app_process = None
    try:
        import pyatspi
        desktop = pyatspi.Registry.getDesktop(0)
        app_process = subprocess.Popen([zorvan, "--settings", "--prefs", prefs, "--seed", "5"],
                                       start_new_session=True)

        app = wait_for("the pane in the accessibility tree", lambda: application_of(desktop, app_process))
        options = wait_for("the Options button", lambda: find(app, "push button", "Options…"))
        preview = wait_for("the preview", lambda: find(app, "drawing area", "Preview"))
        # The area shows in the tree before GTK has given it its size.
        def sized():
            e = preview.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
            return e if (e.width, e.height) == (480, 270) else None
        ext = wait_for("the preview to be 480x270", sized)
        x, y, w, h = ext.x, ext.y, ext.width, ext.height
        time.sleep(1.0)
        if not wayland:
            before = settled_statistics(x, y, w, h, folder)

        click(options, "Options…")
        hexagon = wait_for("the Hexagon button", lambda: find(app, "radio button", "Hexagon"))
        tails = wait_for("the Tails box", lambda: find(app, "check box", "Tails"))
        close = wait_for("the Close button", lambda: find(app, "push button", "Close"))
        for name, role in (("Number of motes", "slider"), ("Mote size", "slider"), ("Speed", "slider"),
                           ("Background", "push button"), ("Light", "push button"),
                           ("Heavy", "push button"), ("Choose…", "push button"),
                           ("Default logo", "push button"), ("No logo", "push button"),
                           ("Contrast check", "check box"), ("Main screen only", "check box"),
                           ("Directional", "check box"), ("Square", "radio button"),
                           ("Diamond", "radio button"), ("Default colours", "radio button"),
                           ("Custom colours", "radio button"), ("Colours from the logo", "radio button")):
            if not find(app, role, name):
                fail("the sheet has no %s named %r" % (role, name))
        click(hexagon, "Hexagon")
        click(tails, "Tails")
        wait_for("Hexagon and Tails on", lambda: hexagon.getState().contains(pyatspi.STATE_CHECKED)
                 and tails.getState().contains(pyatspi.STATE_CHECKED))
        click(close, "Close")

        wait_for("the store to hold the new settings",
                 lambda: os.path.exists(prefs) and "moteShape=2\n" in open(prefs).read()
                 and "drawMode=1\n" in open(prefs).read())
        wait_for("the sheet to go", lambda: not find(app, "push button", "Close"))
        time.sleep(1.0)
        if not wayland:
            judge_shapes(before, settled_statistics(x, y, w, h, folder))

        # A logo, chosen through the tree and the keyboard: Cancel first, then the
        # picture's path typed into the chooser (a "/" opens its location entry) and
        # taken with Return (on Wayland: its row selected, then Open); with the logo's
        # colours the preview turns green.
        logo = os.path.join(folder, "green-logo.png")
        subprocess.run(["convert", "-size", "160x90", "xc:black", "-fill", "#00ff00",
                        "-draw", "rectangle 10,10 150,80", "PNG24:" + logo], check=True, timeout=TIMEOUT)
        chooser = open_chooser(app)
        if not wait_for("the logo in the chooser's file list",
                        lambda: find(find(chooser, "table", "Files"), "table cell", "green-logo.png")):
            fail("the chooser does not list the picture")
        click(find(chooser, "push button", "Cancel"), "Cancel")
        wait_for("the chooser to go", lambda: not find(app, "file chooser", "Choose a logo picture"))
        if "logoMode=2" in open(prefs).read():
            fail("Cancel chose a logo")
        click(wait_for("the Choose button", lambda: find(app, "push button", "Choose…")), "Choose…")
        chooser = wait_for("the file chooser", lambda: find(app, "file chooser", "Choose a logo picture"))
        files = wait_for("the file list", lambda: find(chooser, "table", "Files"))
        if wayland:
            select_row(files, wait_for("the logo's row", lambda: find(files, "table cell", "green-logo.png")))
            click(find(chooser, "push button", "Open"), "Open")
        else:
            if not files.queryComponent().grabFocus():
                fail("the chooser's file list takes no keyboard focus")
            type_keys(logo)
            wait_for("the typed path in the location entry", lambda: logo in showing_texts(chooser))
            press_return()
        wait_for("the chooser to go", lambda: not find(app, "file chooser", "Choose a logo picture"))
        click(wait_for("the logo colours", lambda: find(app, "radio button", "Colours from the logo")),
              "Colours from the logo")
        click(find(app, "push button", "Close"), "Close")
        wait_for("the store to hold the logo",
                 lambda: "logoMode=2\n" in open(prefs).read() and "logoFile=%s\n" % logo in open(prefs).read()
                 and "colourMode=2\n" in open(prefs).read())
        wait_for("the sheet to go", lambda: not find(app, "push button", "Close"))
        if not wayland:
            expect_green(x, y, w, h, folder)

        app_process.send_signal(signal.SIGTERM)
        try:
            status = app_process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            fail("zorvan --settings did not end on SIGTERM")
        if status != 0:
            fail("zorvan --settings ended with status %d" % status)
        app_process = None

        for number, name in ((signal.SIGTERM, "SIGTERM"), (signal.SIGINT, "SIGINT"), (signal.SIGHUP, "SIGHUP")):
            stop_with_chooser_open(zorvan, prefs, number, name)
        if daemon:
            idle_daemon_switch(zorvan, folder)
        print("PASS")
    finally:
        for p in (app_process, launcher):
            if p is not None and p.poll() is None:
                try:
                    os.killpg(p.pid, signal.SIGKILL)
                except ProcessLookupError:
                    pass
                p.wait()
        shutil.rmtree(folder, ignore_errors=True)


def main():
    if len(sys.argv) < 2:
        fail(__doc__)
    zorvan = os.path.abspath(sys.argv[1])
    wayland = "--wayland" in sys.argv[2:]
    if wayland and (not os.environ.get("WAYLAND_DISPLAY") or os.environ.get("DISPLAY")):
        fail("--wayland wants WAYLAND_DISPLAY set and DISPLAY not")
    if not wayland and not os.environ.get("DISPLAY"):
        print("SKIP: no DISPLAY")
        sys.exit(77)
    if "--in-session" in sys.argv[2:]:
        in_session(zorvan, wayland, "--no-daemon" not in sys.argv[2:])
        return
    for tool in ("dbus-run-session", "/usr/libexec/at-spi-bus-launcher") + (() if wayland else ("import",)):
        if not shutil.which(tool):
            fail(tool + " is missing (scripts/install-deps.sh installs it)")
    # A private session bus for this run only; it ends with the script.
    result = subprocess.run(["dbus-run-session", "--", sys.executable, os.path.abspath(__file__),
                             zorvan, "--in-session"] + sys.argv[2:], timeout=240)
    sys.exit(result.returncode)


if __name__ == "__main__":
    main()
