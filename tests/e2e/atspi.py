#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the real program's windows through AT-SPI, as a screen reader reads them.

    atspi.py PROGRAM

Runs on a session bus with an X display and a window manager (accessibility.sh sets
them up). Starts PROGRAM on a fresh drive root, answers its first-run boxes with
real keys, and checks: each box's icon is named; the main window is a frame named by
its title; the type list is named "Type"; the Options dialog's parked panels are not
showing; the page tab is focused only while its strip has the focus.
"""
import re
import subprocess
import sys
import time

import pyatspi

MAIN_TITLE = "Cardomine(tm) 1.0 (Archivane)"
failures = []


def check(condition, message):
    print(("ok   " if condition else "FAIL ") + message)
    if not condition:
        failures.append(message)


def states(obj):
    obj.clearCache()
    return obj.getState()


def showing(obj):
    return states(obj).contains(pyatspi.STATE_SHOWING)


def focused(obj):
    return states(obj).contains(pyatspi.STATE_FOCUSED)


def descendants(obj, depth=0):
    yield obj
    if depth > 12:
        return
    for i in range(obj.childCount):
        child = obj.getChildAtIndex(i)
        if child is not None:
            yield from descendants(child, depth + 1)


def wait_for(find, what, seconds=30):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            found = find()
        except Exception:  # an object that went away while we walked the tree
            found = None
        if found is not None:
            return found
        time.sleep(0.1)
    raise SystemExit(f"FAIL: {what} did not appear")


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Cardomine":
            return app
    return None


def top_level(app, name):
    for i in range(app.childCount):
        window = app.getChildAtIndex(i)
        if window is not None and window.name == name and showing(window):
            return window
    return None


def first(window, predicate):
    return next((o for o in descendants(window) if predicate(o)), None)


def key(title, *keys):
    """Real key presses into the X window titled title."""
    window = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{re.escape(title)}$"],
                            capture_output=True, text=True).stdout.split()
    if window:
        subprocess.run(["xdotool", "windowfocus", "--sync", window[0]], capture_output=True)
        time.sleep(0.2)
    subprocess.run(["xdotool", "key", "--clearmodifiers", *keys], check=True)


def box_icon_name(app, title):
    box = wait_for(lambda: top_level(app, title), f"box '{title}'")
    image = first(box, lambda o: o.getRoleName() == "image")
    return box, image.name if image is not None else None


def main():
    program = sys.argv[1]
    proc = subprocess.Popen([program], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        app = wait_for(application, "the program on the accessibility bus")

        box, icon = box_icon_name(app, "About Cardomine")
        check(box.getRoleName() == "alert", f"the About box is an alert ({box.getRoleName()})")
        check(icon == "Information", f"the About box's icon is named 'Information' ({icon!r})")
        for title in ("About Cardomine", "Please Help If You Can!", "File Creation Notice!",
                      "File Update Completed!"):
            wait_for(lambda: top_level(app, title), f"box '{title}'")
            key(title, "Return")

        main_window = wait_for(lambda: top_level(app, MAIN_TITLE), "the main window")
        check(main_window.getRoleName() == "frame",
              f"the main window is a frame ({main_window.getRoleName()})")
        types = first(main_window, lambda o: o.getRoleName() == "combo box")
        check(types is not None and types.name == "Type",
              f"the type list is named 'Type' ({types.name if types else None!r})")

        key(MAIN_TITLE, "alt+o")
        options = wait_for(lambda: top_level(app, "Cardomine(tm) Options"), "the Options dialog")
        for sample in ("Sample 2", "Sample 3", "Sample 4"):
            frame = first(options, lambda o, s=sample: o.name == s)
            check(frame is None or not showing(frame), f"the parked frame '{sample}' is not showing")
        shown_panel = first(options, lambda o: o.name == "Database File Saving Options")
        check(shown_panel is not None and showing(shown_panel),
              "the frame 'Database File Saving Options' is showing")

        tab = first(options, lambda o: o.getRoleName() == "page tab")
        option1 = first(options, lambda o: o.name == "Save Database As Random File (Default)")
        check(tab is not None and focused(tab), "the page tab is focused while its strip is")
        key("Cardomine(tm) Options", "Tab")
        wait_for(lambda: option1 if focused(option1) else None, "the focus on the first option")
        check(not focused(tab), "the page tab is not focused once the focus has left")
        key("Cardomine(tm) Options", "Escape")
        wait_for(lambda: None if top_level(app, "Cardomine(tm) Options") else True,
                 "the Options dialog closing")

        key(MAIN_TITLE, "Escape")
        box, icon = box_icon_name(app, "Exit?")
        check(icon == "Question", f"the exit question's icon is named 'Question' ({icon!r})")
        key("Exit?", "Return")
        proc.wait(timeout=30)
    finally:
        if proc.poll() is None:
            proc.kill()
    print("FAILED: " + "; ".join(failures) if failures else "PASS")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
