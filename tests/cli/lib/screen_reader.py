#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
# The flash window as a screen reader meets it, through AT-SPI (pyatspi): starts a built copy
# on its virtual drive, presses the button and answers every box through AT-SPI's actions, and
# checks the accessible tree and its events: the window a frame named by its caption, the
# drive list named by its prompt and its entry marked virtual (also once the run replaced it),
# the status caption the text of a status bar and announced at each step, the progress bar
# described by the step, and the restart question saying that nothing will be restarted.
# Runs on a session bus whose accessibility bus is up (screen_reader.sh starts both).
# Usage: screen_reader.py PROGRAM [ARGUMENT...]; prints each failure, exits 1 when there is any.
import os
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

CAPTION = "Acme Flash Utility V1.048 forRW-5200"
PROMPT = "Select the Acme drive you want to update:"
VIRTUAL_MARK = "Virtual drive: nothing is sent to a real drive."
FIRST_STEP, COMPLETED = "Write BIN to drive's DRAM... ", "Flash Completed."
PATIENCE = 60  # seconds a hung program is waited for; no bound on a working one
BOXES = (pyatspi.ROLE_ALERT, pyatspi.ROLE_DIALOG)

failures = []
announced = []  # every text the status bar announced, in order


def fail(what):
    print("FAIL: " + what)
    failures.append(what)


def on_text_inserted(event):
    try:
        if event.source.getRole() == pyatspi.ROLE_STATUS_BAR:
            announced.append(str(event.any_data))
    except Exception:  # the object may be gone by the time the event is read
        pass


def pump(seconds):
    context, end = GLib.MainContext.default(), time.monotonic() + seconds
    while time.monotonic() < end:
        while context.pending():
            context.iteration(False)
        time.sleep(0.02)


def find(node, role, name=None):
    if node is None:
        return None
    if node.getRole() == role and name in (None, node.name):
        return node
    return next((found for found in (find(child, role, name) for child in node) if found), None)


def top_level(program, boxes):
    # The program's message box (boxes) or its window (not boxes), None while there is none.
    for application in pyatspi.Registry.getDesktop(0):
        if application is not None and application.get_process_id() == program.pid:
            return next((c for c in application if c is not None and (c.getRole() in BOXES) == boxes), None)
    return None


def wait_for(what, probe, program):
    end = time.monotonic() + PATIENCE
    while time.monotonic() < end and program.poll() is None:
        pump(0.1)
        found = probe()
        if found:
            return found
    raise SystemExit("FAIL: %s never came (the program %s)" % (what, "ended" if program.poll() is not None else "hangs"))


def press(button):
    actions = button.queryAction()
    names = [actions.getName(index) for index in range(actions.nActions)]
    if "Press" not in names:
        raise SystemExit("FAIL: the button %r has no Press action, only %s" % (button.name, names))
    actions.doAction(names.index("Press"))


def answer_yes(program, expected):
    box = wait_for("the box " + expected, lambda: top_level(program, True), program)
    label = find(box, pyatspi.ROLE_LABEL)
    text = label.name if label is not None else ""
    yes = find(box, pyatspi.ROLE_PUSH_BUTTON, "Yes")
    if expected not in text or yes is None:
        raise SystemExit("FAIL: a box other than %r: %r" % (expected, text))
    press(yes)
    wait_for("the box's closing", lambda: top_level(program, True) is None, program)
    return text


def check_drive_list(window, when):
    drives = find(window, pyatspi.ROLE_COMBO_BOX)
    if drives is None:
        return fail("the window has no drive list")
    if drives.name != PROMPT:
        fail("the drive list is named %r, not by its prompt %r" % (drives.name, PROMPT))
    entry = find(drives, pyatspi.ROLE_LIST_ITEM)
    for what, node in (("entry", entry), ("list showing it", drives)):
        description = node.description if node is not None else None
        if description != VIRTUAL_MARK:
            fail("%s: the virtual drive's %s is described %r" % (when, what, description))


def main():
    pyatspi.Registry.registerEventListener(on_text_inserted, "object:text-changed:insert")
    environment = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1",
                       QT_QPA_PLATFORM="xcb", LANGUAGE="", LC_ALL="C.UTF-8")
    program = subprocess.Popen(sys.argv[1:], env=environment)
    try:
        answer_yes(program, "Do you wish to continue?")
        window = wait_for("the window", lambda: top_level(program, False), program)
        if window.getRole() != pyatspi.ROLE_FRAME:
            fail("the window is no frame but a %s" % window.getRoleName())
        if window.name != CAPTION:
            fail("the window is named %r, not by its caption %r" % (window.name, CAPTION))
        check_drive_list(window, "before the run")

        press(wait_for("the FLASH button", lambda: find(window, pyatspi.ROLE_PUSH_BUTTON, "Flash the drive"), program))
        answer_yes(program, "Update FW:1.00 to FW:")
        restart = answer_yes(program, "The system needs to be restarted")
        if "nothing will be restarted" not in restart:
            fail("the restart question on the virtual drive does not say that nothing will be restarted: %r" % restart)
        pump(1)  # Yes restarted nothing: the program runs on, with no other box
        if program.poll() is not None or top_level(program, True) is not None:
            fail("after Yes to the restart question on the virtual drive the program ended or showed a box")

        if COMPLETED not in announced or FIRST_STEP not in announced:
            fail("the status bar did not announce %r and %r (announced: %r)" % (FIRST_STEP, COMPLETED, announced))
        status = find(window, pyatspi.ROLE_STATUS_BAR)
        shown = status.queryText().getText(0, -1) if status is not None else None
        if shown != COMPLETED:
            fail("the window's status text is %r, not %r" % (shown, COMPLETED))
        progress = find(window, pyatspi.ROLE_PROGRESS_BAR)
        if progress is None or progress.description != COMPLETED:
            fail("the progress bar is not described by the step %r" % COMPLETED)
        check_drive_list(window, "after the run")
    finally:
        program.terminate()
        program.wait()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
