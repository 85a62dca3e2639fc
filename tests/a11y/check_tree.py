#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Reads the program's windows through AT-SPI, as a screen reader does, and checks that every control a user
can work has a name of its own: not empty, not the same as another control's in its window, and not merely its
value; that every text a control shows is read whole, at every offset and by every unit a screen reader asks
for. Then checks that a message on the status line is announced. Runs inside tests/a11y/run.sh.

Usage: check_tree.py PROBE [--report]. With --report the counts are printed and nothing fails."""

import select
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
import pyatspi  # noqa: E402
from gi.repository import Atspi, GLib  # noqa: E402

WAIT_SECONDS = 60
# A program that does not answer a question about its text within this long hangs (milliseconds).
ANSWER_MS = 5000

BOUNDARIES = {
    pyatspi.TEXT_BOUNDARY_CHAR: "character", pyatspi.TEXT_BOUNDARY_WORD_START: "word start",
    pyatspi.TEXT_BOUNDARY_WORD_END: "word end", pyatspi.TEXT_BOUNDARY_SENTENCE_START: "sentence start",
    pyatspi.TEXT_BOUNDARY_SENTENCE_END: "sentence end", pyatspi.TEXT_BOUNDARY_LINE_START: "line start",
    pyatspi.TEXT_BOUNDARY_LINE_END: "line end",
}
# Typed, through the screen reader's own editing, into text boxes that open empty.
TYPED = "Warm pad, slow attack"
TYPED_LINES = "Warm pad\nslow attack. Mod wheel opens"

# What a user works: pressed, toggled, chosen, moved, typed into, or a list of things to pick.
INTERACTIVE = {
    pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_TOGGLE_BUTTON, pyatspi.ROLE_CHECK_BOX, pyatspi.ROLE_RADIO_BUTTON,
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_SLIDER, pyatspi.ROLE_SPIN_BUTTON, pyatspi.ROLE_ENTRY, pyatspi.ROLE_TEXT,
    pyatspi.ROLE_PASSWORD_TEXT, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST,
    pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM,
}
# Controls whose insides are their own parts (a list's entries, a table's cells, a menu's items).
WHOLE = {
    pyatspi.ROLE_COMBO_BOX, pyatspi.ROLE_TABLE, pyatspi.ROLE_TREE_TABLE, pyatspi.ROLE_TREE, pyatspi.ROLE_LIST,
    pyatspi.ROLE_MENU, pyatspi.ROLE_MENU_ITEM, pyatspi.ROLE_SPIN_BUTTON,
}

# The windows to open and the title each has.
WINDOWS = [
    ("library", "Patch Library"),
    ("monitor", "MIDI Monitor - QuarnEdit"),
    ("device", "MIDI Options"),
    ("mutate", "Mutate"),
    ("testnote", "Test Note"),
    ("comment", "Comment"),
    ("morph", "Morph - QuarnEdit"),
    ("variations", "Variations - QuarnEdit"),
    ("controllers", "Controllers"),
]


class Probe:
    def __init__(self, path):
        self.process = subprocess.Popen([path], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, bufsize=1)

    def ask(self, line, answer_prefix):
        if line:
            self.process.stdin.write(line + "\n")
            self.process.stdin.flush()
        deadline = time.monotonic() + WAIT_SECONDS
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.process.stdout], [], [], deadline - time.monotonic())
            if not ready:
                break
            answer = self.process.stdout.readline()
            if not answer:
                raise RuntimeError("the program ended")
            answer = answer.rstrip("\n")
            if answer.startswith(answer_prefix):
                return answer[len(answer_prefix):]
            if answer.startswith("error"):
                raise RuntimeError(f"{line}: {answer}")
        raise RuntimeError(f"no answer to {line!r}")

    def end(self):
        """The program's exit code once it has quit (a sanitizer's finding makes it fail)."""
        try:
            self.process.stdin.write("quit\n")
            self.process.stdin.flush()
            return self.process.wait(timeout=WAIT_SECONDS)
        except (BrokenPipeError, subprocess.TimeoutExpired):
            self.process.kill()
            return self.process.wait()


def wait_for(what, condition):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        found = condition()
        if found is not None:
            return found
        # The bridge answers from the program's event loop: give it a moment rather than spin.
        GLib.usleep(50000)
    raise RuntimeError(f"timed out waiting for {what}")


def application(pid):
    def find():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except GLib.Error:
                pass
        return None
    return wait_for("the program on the accessibility bus", find)


def window(app, title):
    def find():
        for w in app:
            try:
                if w is not None and w.name == title and w.getState().contains(pyatspi.STATE_SHOWING):
                    return w
            except GLib.Error:
                pass
        return None
    try:
        return wait_for(f"window {title!r}", find)
    except RuntimeError as e:
        raise RuntimeError(f"{e}; the program shows {[w.name for w in app if w is not None]}") from None


def controls(node):
    """The showing interactive controls below node, in tree order."""
    found = []
    for child in node:
        if child is None:
            continue
        try:
            if not child.getState().contains(pyatspi.STATE_SHOWING):
                continue
            role = child.getRole()
        except GLib.Error:
            continue
        if role in INTERACTIVE:
            found.append(child)
        if role not in WHOLE:
            found.extend(controls(child))
    return found


def values(control):
    """What the control shows as its value, in the ways a screen reader reads it."""
    shown = []
    try:
        text = control.queryText()
        shown.append(text.getText(0, -1))
    except NotImplementedError:
        pass
    try:
        value = control.queryValue().currentValue
        shown += [str(value), str(int(value))]
    except NotImplementedError:
        pass
    if control.getRole() == pyatspi.ROLE_COMBO_BOX:
        # Its entries: a list called by one of them is called by what it shows.
        for part in control:
            if part is not None:
                shown += [entry.name for entry in part if entry is not None]
    return [v for v in shown if v]


def check_window(label, win):
    """(controls, well named, problems) of one window."""
    problems = []
    found = controls(win)
    names = {}
    for c in found:
        names.setdefault(c.name, []).append(c)
    good = 0
    for c in found:
        role = c.getRoleName()
        name = c.name
        if not name:
            problems.append(f"{label}: a {role} has no name (its value: {values(c)})")
        elif len(names[name]) > 1:
            problems.append(f"{label}: {len(names[name])} controls are called {name!r}")
        elif name in values(c):
            problems.append(f"{label}: the {role} {name!r} is called by its value")
        else:
            good += 1
        if c.getRole() == pyatspi.ROLE_SLIDER:
            # A slider tells its range, and what it sends.
            value = c.queryValue()
            if not value.minimumValue < value.maximumValue:
                problems.append(f"{label}: the slider {name!r} has no range")
            if label == "main window" and not c.description.startswith("Sends parameter "):
                problems.append(f"{label}: the slider {name!r} does not say what it sends")
        if c.getRole() == pyatspi.ROLE_COMBO_BOX and name.endswith(" source"):
            # A source list says "fixed value" or the source, never the bare number its first entry shows.
            text = c.queryText().getText(0, -1)
            if not text or text.isdigit():
                problems.append(f"{label}: the list {name!r} says {text!r}")
    return len(found), good, problems


def text_problems(label, control):
    """Where the control's text, read as a screen reader reads it, is not the text the control shows."""
    name = f"{label}: {control.name!r}"
    text = control.queryText()
    whole = text.getText(0, -1)
    count = text.characterCount
    if len(whole) != count:
        return [f"{name}: its text {whole!r} is not {count} characters long"]
    problems = []
    # Screen readers speak a line in runs of equal attributes, from the start of the line to its end: the runs
    # have to cover every character, or what lies outside them goes unsaid.
    offset = 0
    while offset < count:
        _, start, end = text.getAttributeRun(offset, False)
        if not start <= offset < end:
            problems.append(f"{name}: the attributes at {offset} run from {start} to {end}, so "
                            f"{whole[offset:]!r} is left out of {whole!r}")
            break
        offset = end
    lines = whole.split("\n")
    for offset in range(count + 1):
        # The line holding the offset; at the very end, the last line.
        index = whole.count("\n", 0, offset) if offset < count else len(lines) - 1
        for boundary, unit in BOUNDARIES.items():
            try:
                got, start, end = text.getTextAtOffset(offset, boundary)
            except GLib.Error as e:
                # The program hangs: nothing more can be asked.
                raise RuntimeError(f"{name}: no answer for the {unit} at {offset} of {whole!r} ({e.message})")
            if got and (start < 0 or got != whole[start:end]):
                problems.append(f"{name}: the {unit} at {offset} is {got!r} ({start}-{end}), not part of {whole!r}")
            elif offset < count and boundary == pyatspi.TEXT_BOUNDARY_CHAR and got != whole[offset]:
                problems.append(f"{name}: the character at {offset} of {whole!r} is {got!r}")
            elif boundary == pyatspi.TEXT_BOUNDARY_LINE_START and got.rstrip("\n") != lines[index]:
                problems.append(f"{name}: the line at {offset} is {got!r}, not {lines[index]!r}")
            elif offset < count and boundary == pyatspi.TEXT_BOUNDARY_WORD_START and not start <= offset <= end:
                # A word ending at the offset is the word there too, as the caret stands after it.
                problems.append(f"{name}: the word at {offset} of {whole!r} is {got!r} ({start}-{end})")
    return problems


def hostile_problems(label, control):
    """Where offsets no text has (negative, past the end, reversed) are not answered sanely: a screen reader
    asks for what it pleases, and the program must neither hang nor crash nor make up text."""
    name = f"{label}: {control.name!r}"
    text = control.queryText()
    whole = text.getText(0, -1)
    count = text.characterCount
    problems = []
    for start, end in ((-5, 3), (2, 1), (count + 10, count + 20), (-1, -1), (0, 10 ** 6)):
        got = text.getText(start, end)
        if got not in whole:
            problems.append(f"{name}: the text from {start} to {end} is {got!r}, not part of {whole!r}")
    for offset in (-7, count + 1, 10 ** 6):
        for boundary, unit in BOUNDARIES.items():
            for ask in (text.getTextAtOffset, text.getTextBeforeOffset, text.getTextAfterOffset):
                try:
                    got, start, end = ask(offset, boundary)
                except GLib.Error as e:
                    raise RuntimeError(f"{name}: no answer for the {unit} at {offset} ({e.message})")
                if got and got != whole[start:end]:
                    problems.append(f"{name}: the {unit} at {offset} is {got!r}, not part of {whole!r}")
        text.getCharacterExtents(offset, pyatspi.DESKTOP_COORDS)
        _, start, end = text.getAttributeRun(offset, False)
        if (start, end) != (-1, -1) and not 0 <= start <= end <= count:
            problems.append(f"{name}: the attributes at {offset} run from {start} to {end} of {count}")
    return problems


def editing_problems(label, control):
    """Where the caret and the selection a screen reader sets are not what the control then has."""
    name = f"{label}: {control.name!r}"
    text = control.queryText()
    count = text.characterCount
    if count < 2:
        return []
    problems = []
    text.setCaretOffset(1)
    if text.caretOffset != 1:
        problems.append(f"{name}: the caret set to 1 is at {text.caretOffset}")
    text.setSelection(0, 0, count) if text.getNSelections() else text.addSelection(0, count)
    if text.getNSelections() != 1 or text.getSelection(0) != (0, count):
        problems.append(f"{name}: the whole text selected reads as {text.getNSelections()} selections, "
                        f"the first {text.getSelection(0) if text.getNSelections() else None}")
    text.removeSelection(0)
    if text.getNSelections() != 0:
        problems.append(f"{name}: the selection is still there when taken away")
    # Out of range, the caret stays in the text.
    for offset in (-3, count + 5):
        text.setCaretOffset(offset)
        if not 0 <= text.caretOffset <= count:
            problems.append(f"{name}: the caret set to {offset} is at {text.caretOffset}, outside the text")
    return problems


def texts_problems(label, win):
    """Every text a control of the window shows read whole, after typing into those that open empty."""
    problems = []
    for c in controls(win):
        try:
            text = c.queryText()
        except NotImplementedError:
            continue
        editable = c.getState().contains(pyatspi.STATE_EDITABLE) and not c.getState().contains(
            pyatspi.STATE_READ_ONLY)
        if text.characterCount == 0 and editable and c.getRole() != pyatspi.ROLE_COMBO_BOX:
            typed = TYPED_LINES if c.getState().contains(pyatspi.STATE_MULTI_LINE) else TYPED
            c.queryEditableText().insertText(0, typed, len(typed))
            shown = wait_for(f"{label}: {c.name!r} to take the typing", lambda: text.getText(0, -1) or None)
            if shown != typed:
                problems.append(f"{label}: {c.name!r} took {typed!r} as {shown!r}")
        problems += text_problems(label, c) + hostile_problems(label, c)
        if editable:
            problems += editing_problems(label, c)
    return problems


def announced(probe):
    """The status line's text, and whether a screen reader heard the status bar say it."""
    heard = []
    loop = GLib.MainLoop()

    def listener(event):
        if event.source is not None:
            heard.append((event.source.getRole(), event.source.name))
            loop.quit()

    def hear(wanted, seconds):
        timed_out = []
        timer = GLib.timeout_add_seconds(seconds, lambda: timed_out.append(True) or loop.quit())
        while wanted not in heard and not timed_out:
            loop.run()
        if not timed_out:
            GLib.source_remove(timer)
        return wanted in heard

    event = "object:property-change:accessible-name"
    pyatspi.Registry.registerEventListener(listener, event)
    try:
        # The program learns that someone listens through the registry, in its own time: until it has, it
        # sends nothing. Its main window renamed is heard once it has.
        deadline = time.monotonic() + WAIT_SECONDS
        for ping in range(1000):
            name = probe.ask(f"ping {ping}", "ping ")
            if hear((pyatspi.ROLE_FRAME, name), 2) or time.monotonic() > deadline:
                break
        text = probe.ask("status", "status ")
        return text, hear((pyatspi.ROLE_STATUS_BAR, text), WAIT_SECONDS)
    finally:
        pyatspi.Registry.deregisterEventListener(listener, event)


def context_menus(probe):
    """Problems with the context-menu key and Shift+F10 pressed on the X display, as a user presses them."""
    if probe.ask("menus", "menus ") != "0":
        return ["a context menu opened before any key"]
    # Keycodes of the X server's own keyboard: Menu, Shift_L, F10.
    menu, shift, f10 = 135, 50, 76
    pyatspi.Registry.generateKeyboardEvent(menu, None, pyatspi.KEY_PRESSRELEASE)
    pyatspi.Registry.generateKeyboardEvent(shift, None, pyatspi.KEY_PRESS)
    pyatspi.Registry.generateKeyboardEvent(f10, None, pyatspi.KEY_PRESSRELEASE)
    pyatspi.Registry.generateKeyboardEvent(shift, None, pyatspi.KEY_RELEASE)
    # The keys arrive in order: once Shift+F10's menu is counted, whatever the menu key opened is too.
    count = wait_for("the context menus", lambda: (lambda n: n if n >= 2 else None)(int(probe.ask("menus", "menus "))))
    return [] if count == 2 else [f"the context-menu key and Shift+F10 opened {count} context menus, not 2"]


def main():
    probe_path = sys.argv[1]
    report_only = "--report" in sys.argv[2:]
    Atspi.set_timeout(ANSWER_MS, -1)
    probe = Probe(probe_path)
    problems = []
    counts = []
    try:
        main_title = probe.ask(None, "ready ")
        app = application(probe.process.pid)
        main_window = window(app, main_title)
        total, good, found = check_window("main window", main_window)
        counts.append(("main window", total, good))
        problems += found + texts_problems("main window", main_window)
        for key, title in WINDOWS:
            shown = probe.ask(f"open {key}", "ready ")
            if shown != title:
                problems.append(f"{key}: the window is called {shown!r}, not {title!r}")
            shown_window = window(app, shown)
            total, good, found = check_window(title, shown_window)
            counts.append((title, total, good))
            problems += found + texts_problems(title, shown_window)
            probe.ask("close", "closed")
        problems += context_menus(probe)
        text, heard = announced(probe)
        if not heard:
            problems.append(f"the status line said {text!r} and no screen reader heard it")
    finally:
        code = probe.end()
    if code != 0:
        problems.append(f"the program ended with {code}")
    for title, total, good in counts:
        print(f"{title}: {good} of {total} controls named")
    for p in problems:
        print(p)
    return 0 if report_only or not problems else 1


if __name__ == "__main__":
    sys.exit(main())
