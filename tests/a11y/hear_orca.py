#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a blind musician hears: runs the screen reader Orca against the program's windows, works them from the
keyboard as a user does, and checks the lines Orca speaks, which its debug log records ("SPEECH OUTPUT: ...").
Runs inside tests/a11y/run.sh, which gives it a display, a D-Bus session and namespaces that end everything.

Usage: hear_orca.py PROBE [--report]. With --report every spoken line is printed as well; with QUARN_ORCA_LOG=FILE
Orca's whole log is kept in FILE."""

import os
import pty
import re
import subprocess
import sys
import threading
import time
import tty

# The checkout stays as it is: no compiled copy of check_tree beside it.
sys.dont_write_bytecode = True
from check_tree import Probe  # noqa: E402

WAIT_SECONDS = 30
# How long a control that has the focus may go unnamed before it counts as never named.
NAMING_SECONDS = 5
SYNC_ATTEMPTS = 3
SPOKEN = re.compile(r"SPEECH OUTPUT: '(.*)'(?: voice=\w+)?\s*(?:\{.*\})?\s*$")
FOCUS = re.compile(r"EVENT MANAGER: locusOfFocus: (\[.*?\]) activeScript")


def spoken_for(locus):
    """A control's role and name from Orca's "[role | name]"."""
    role, _, name = locus.strip("[]").partition(" | ")
    return role, name


class Orca:
    """Orca, and what it has said so far."""

    def __init__(self):
        # Orca writes its log through a buffer, except to a terminal: a terminal of our own gets each line as it
        # is written, so that a line is there as soon as it is spoken.
        # The terminal stays open on our side too: without it, reading it would end before Orca opens it.
        self.master, self.slave = pty.openpty()
        tty.setraw(self.slave)
        self.lines = []
        self.spoken = []
        self.loci = []  # (where Orca's focus went, how many lines had been spoken by then)
        self.probe = None
        self.syncs = 0
        self.changed = threading.Condition()
        # Without a speech server: Orca logs each line it would say all the same, and a speech server with no sound
        # card to play into stops Orca for half a minute whenever it cuts one line short for the next.
        self.process = subprocess.Popen(
            ["orca", "--disable", "speech", "--debug-file=" + os.ttyname(self.slave)], stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        pending = b""
        while True:
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                chunk = b""
            if not chunk:
                return
            pending += chunk
            *complete, pending = pending.split(b"\n")
            with self.changed:
                for raw in complete:
                    line = raw.decode("utf-8", "replace").rstrip("\r")
                    self.lines.append(line)
                    said = SPOKEN.search(line)
                    if said:
                        self.spoken.append(said.group(1))
                    moved = FOCUS.search(line)
                    if moved and (not self.loci or self.loci[-1][0] != moved.group(1)):
                        self.loci.append((moved.group(1), len(self.spoken)))
                self.changed.notify_all()

    def mark(self):
        """Where the next line spoken will be."""
        with self.changed:
            return len(self.spoken)

    def hear(self, wanted, since, what=None, log=False, seconds=WAIT_SECONDS):
        """The index of the first line spoken since `since` that `wanted` (a regular expression) matches; with
        `log`, of the first line of the log."""
        pattern = re.compile(wanted)
        deadline = time.monotonic() + seconds
        with self.changed:
            while True:
                lines = self.lines if log else self.spoken
                for i in range(since, len(lines)):
                    if pattern.search(lines[i]):
                        return i
                if self.process.poll() is not None:
                    raise RuntimeError(f"Orca ended ({self.process.returncode}) before saying {what or wanted!r}")
                left = deadline - time.monotonic()
                if left <= 0:
                    said = self.spoken[since:]
                    raise RuntimeError(f"Orca did not say {what or wanted!r}; it said {said}")
                # Awake now and then to see whether Orca still runs.
                self.changed.wait(min(left, 1))

    def sync(self):
        """Waits until Orca has taken in every event the program sent so far: it takes them in order, and the
        program sends one more that only this waits for. Keys pressed while Orca is busy come late to the program,
        some twice."""
        # Orca drops an event now and then when many come at once: then it is sent again, as a new one.
        for attempt in range(SYNC_ATTEMPTS):
            self.syncs += 1
            mark = len(self.lines)
            self.probe.ask(f"sync {self.syncs}", "sync")
            try:
                self.hear(rf"Dequeued object:property-change:accessible-description \[\w+ \| sync {self.syncs}\]",
                          mark, f"the program's sync {self.syncs}", log=True,
                          seconds=WAIT_SECONDS / SYNC_ATTEMPTS)
                return
            except RuntimeError:
                if attempt + 1 == SYNC_ATTEMPTS:
                    raise

    def keys(self, *names):
        """Presses keys on the X display as a user does (xdotool's names: Tab, shift+Tab, ctrl+l, ...), each once
        Orca has taken in what the one before made the program say. The program waits only a tenth of a second
        for a screen reader to pass each key on; kept waiting longer, it takes the key itself, out of order with
        the others."""
        for name in names:
            self.sync()
            subprocess.run(["xdotool", "key", name], check=True, timeout=WAIT_SECONDS)

    def step(self, *names):
        """Presses keys and waits for Orca's focus to move on: where it went, and where the lines said about it
        begin (they go on until the next key)."""
        self.sync()
        with self.changed:
            before = len(self.loci)
            mark = len(self.spoken)
        self.keys(*names)
        locus = self.moved(before, " ".join(names))
        # Orca drops what it had to say about a control that the focus has already left: the next key waits until
        # it has named this one (or a while, if it never does; the caller finds that out).
        _, name = spoken_for(locus)
        try:
            self.hear(re.escape(name), mark, seconds=NAMING_SECONDS)
        except RuntimeError:
            pass
        return locus, mark

    def moved(self, before, why, where=None):
        """Waits for Orca's focus to move on after the `before`th move of the focus (to one that `where`
        matches, if given)."""
        deadline = time.monotonic() + WAIT_SECONDS
        with self.changed:
            while len(self.loci) == before or (where and not re.search(where, self.loci[-1][0])):
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise RuntimeError(f"Orca's focus stayed on {self.loci[-1][0] if self.loci else None} after "
                                       f"{why}")
                self.changed.wait(min(left, 1))
            return self.loci[-1][0]

    def focus_moves(self):
        with self.changed:
            return len(self.loci)

    def said(self, since, until=None):
        with self.changed:
            return self.spoken[since:until]

    def end(self):
        self.process.terminate()
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def focus(title):
    """Gives the keyboard to the window called `title`, as a window manager does to a window that opens (the
    display here has none); the window's X id."""
    deadline = time.monotonic() + WAIT_SECONDS
    while True:
        # A window that goes while xdotool looks through the windows fails its search: it looks again.
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--limit", "1", "--name",
                                f"^{re.escape(title)}$"], timeout=WAIT_SECONDS, capture_output=True, text=True)
        if found.returncode == 0 and found.stdout.split():
            break
        if time.monotonic() > deadline:
            raise RuntimeError(f"no window called {title!r}")
        time.sleep(0.05)
    window = found.stdout.split()[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", window], check=True, timeout=WAIT_SECONDS)
    return window


class Listening:
    """The checks, each on the lines spoken since it began."""

    def __init__(self, orca, probe, main_window):
        self.orca = orca
        self.probe = probe
        self.main = main_window  # its X id
        self.problems = []

    def in_order(self, what, since, wanted):
        """Each of `wanted` said since `since`, in order, or a problem of `what`."""
        at = since
        for w in wanted:
            try:
                at = self.orca.hear(w, at) + 1
            except RuntimeError as e:
                self.problems.append(f"{what}: {e}")
                return

    def expect(self, since, *wanted):
        """Each of `wanted` said since `since`, in order; the index after the last."""
        at = since
        for w in wanted:
            try:
                at = self.orca.hear(w, at) + 1
            except RuntimeError as e:
                self.problems.append(str(e))
                return self.orca.mark()
        return at

    def once(self, since, text, what):
        """`text` said exactly once since `since`, once Orca has taken in everything the program sent."""
        self.expect(since, re.escape(text))
        self.orca.sync()
        count = sum(text in line for line in self.orca.said(since))
        if count != 1:
            self.problems.append(f"{what}: {text!r} was said {count} times: {self.orca.said(since)}")

    def press(self, what, *names, wanted=()):
        """Presses keys, and checks that each of `wanted` is said, in order."""
        self.orca.sync()
        mark = self.orca.mark()
        self.orca.keys(*names)
        self.in_order(what, mark, wanted)
        return mark

    def open(self, what, title, *names, wanted=()):
        """Opens a window with keys, or as the menu command `names` = ("menu", window) of the program does: its
        title said, then each of `wanted`. (Keys for a menu reach the program late and out of order now and then
        on a display without a window manager, as its menus grab the keyboard themselves.)"""
        self.orca.sync()
        mark = self.orca.mark()
        if names[0] == "menu":
            self.probe.ask(f"open {names[1]}", "ready ")
        else:
            self.orca.keys(*names)
        # A window manager would give the new window the keyboard; here it is given by hand.
        focus(title)
        self.in_order(what, mark, (re.escape(title),) + tuple(wanted))
        return mark

    def close(self, *names):
        """Closes a window with its own keys (Escape), and gives the main window the keyboard again."""
        self.orca.sync()
        self.orca.keys(*names or ("Escape",))
        subprocess.run(["xdotool", "windowfocus", "--sync", self.main], check=True, timeout=WAIT_SECONDS)


def main():
    probe_path = sys.argv[1]
    report = "--report" in sys.argv[2:]
    orca = Orca()
    probe = None
    problems = []
    try:
        # Without a speech server it says nothing when it starts; it listens once its event manager runs.
        orca.hear(r"EVENT MANAGER: Activated", 0, "that it listens", log=True)
        start = orca.mark()
        probe = Probe(probe_path)
        orca.probe = probe
        title = probe.ask(None, "ready ")
        listening = Listening(orca, probe, focus(title))
        problems = listening.problems
        check_form(listening, start)
        check_status_and_dialogs(listening)
        check_library(listening)
        check_windows(listening)
    except RuntimeError as e:
        problems.append(str(e))
    finally:
        code = probe.end() if probe else 0
        orca.end()
        if os.environ.get("QUARN_ORCA_LOG"):
            with open(os.environ["QUARN_ORCA_LOG"], "w") as log:
                log.write("\n".join(orca.lines))
    if code != 0:
        problems.append(f"the program ended with {code}")
    if report:
        for line in orca.said(0):
            print("said:", line)
    for p in problems:
        print(p)
    return 1 if problems else 0


def check_form(listening, start):
    """The main window, tabbed through once round: each control by its name, sliders with their values, the texts
    whole."""
    orca = listening.orca
    orca.moved(0, "the window opened", where=r"^\[frame \| Untitled - QuarnEdit\]")
    listening.expect(start, re.escape("Untitled - QuarnEdit frame"))
    steps = []
    for _ in range(150):
        locus, mark = orca.step("Tab")
        if steps and locus == steps[0][0]:
            break
        steps.append((locus, mark))
    else:
        listening.problems.append("main window: Tab never came back to where it began")
    heard = {}
    lines = {}
    for (locus, mark), (_, after) in zip(steps, steps[1:] + [(None, orca.mark())]):
        role, name = spoken_for(locus)
        lines[name] = [line for line in orca.said(mark, after) if line.strip() != "tab"]
        words = " ".join(lines[name])
        heard[name] = words
        if not name:
            listening.problems.append(f"main window: a {role} without a name, heard as {words!r}")
        elif name not in words:
            listening.problems.append(f"main window: the {role} {name!r} is heard as {words!r}")
        if role == "slider" and not re.search(r"slider -?\d+", words):
            listening.problems.append(f"main window: the slider {name!r} is heard without its value: {words!r}")
    for name, text in (("Patch name", "Init Saw"), ("Author", "QuarnEdit")):
        if not re.search(rf"(^|\W){text}(\W|$)", heard.get(name, "")):
            listening.problems.append(f"main window: {name} is heard as {heard.get(name)!r}, without {text!r} whole")
        # Each way Orca reads the box (its line, its selection) says the whole text, never the start of it.
        for line in lines.get(name, []):
            said = re.sub(r"( selected)?\.?$", "", line.strip())
            if said and said != text and text.startswith(said):
                listening.problems.append(f"main window: {name} {text!r} is heard as {line!r}")
    if len(heard) < 50:
        listening.problems.append(f"main window: Tab reached only {len(heard)} controls: {sorted(heard)}")
    return heard


def check_status_and_dialogs(listening):
    """The Comment and Test Note dialogs, a name typed, and the messages of the status line said once."""
    orca = listening.orca
    # Tab went round once: the author's box has the focus, the Comment button follows it.
    listening.open("Comment dialog", "Comment", "Tab", "space",
                   wanted=[re.escape("A plain sawtooth on DCO1 through an open low-pass filter.")])
    listening.close()
    # The patch saved to the library, then again under a name typed into the name box: each message said once.
    mark = orca.mark()
    listening.probe.ask("status", "status ")
    listening.once(mark, "Init Saw.qnp", "saving to the library")
    listening.press("patch name", "shift+Tab", "shift+Tab", wanted=[r"Patch name"])
    listening.press("patch name", "ctrl+a", "W", "a", "r", "m", wanted=[r"\bm\b"])
    # The keys reach the program after Orca has seen them.
    listening.probe.ask("named Warm", "named")
    mark = orca.mark()
    listening.probe.ask("status", "status ")
    listening.once(mark, "Warm.qnp", "saving to the library")
    listening.open("Test Note", "Test Note", "menu", "testnote",
                   wanted=[r"Note.*60.*spin button"])
    listening.press("Test Note", "Tab", wanted=[r"Velocity.*100.*spin button"])
    listening.close()
    # A learn waits for a knob: Shift+F10 on a slider, then Learn Controller.
    for _ in range(10):
        locus, _ = orca.step("Tab")
        if locus.startswith("[slider"):
            break
    mark = listening.press("learn", "shift+F10", "Down", wanted=[r"Learn Controller"])
    listening.press("learn", "Return")
    listening.once(mark, "move a knob or slider on it", "the learn prompt")
    listening.press("learn", "Escape", wanted=[re.escape("Learn Controller cancelled.")])
    # The output device goes.
    mark = orca.mark()
    listening.probe.ask("unplug", "unplugged")
    listening.once(mark, "Port A is gone: changes are not sent until it is back.", "a device gone")


def check_library(listening):
    """The library: the search box, Audition, and the patches by name as Up and Down reach them."""
    listening.open("library", "Patch Library", "ctrl+l", wanted=[r"Search text", r"Search name, author"])
    listening.probe.ask("listed", "listed")
    listening.press("library", "Tab", wanted=[r"Audition check box", r"Send each patch you select"])
    # The filters beside the search box, each said by its name.
    listening.press("library", "Tab", wanted=[r"Kind combo box"])
    listening.press("library", "Tab", wanted=[r"Starred"])
    listening.press("library", "Tab", wanted=[r"Show hidden"])
    listening.press("library", "Tab", wanted=[r"Patch files"])
    listening.press("library", "Down", wanted=[r"^Warm\b"])
    listening.press("library", "Up", wanted=[r"^Init Saw\b"])
    listening.close()


def check_windows(listening):
    """Morph, Variations, the controllers and the MIDI monitor, each opened as its menu command does."""
    listening.open("morph", "Morph - QuarnEdit", "menu", "morph",
                   wanted=[r"Patch B from the library: combo box", re.escape("Choose patch B first")])
    listening.close()
    listening.open("variations", "Variations - QuarnEdit", "menu", "variations",
                   wanted=[r"Variation 1 check box", r"Breed and Keep wait for a pick"])
    listening.press("variations", "3")
    listening.press("variations", "Tab", "Tab", wanted=[r"Variation 3 check box checked", r"first pick, playing"])
    listening.close()
    listening.open("controllers", "Controllers", "menu", "controllers", wanted=[r"Learned controllers"])
    listening.press("controllers", "Down", wanted=[r"CC 7", r"Filter Type / routing"])
    listening.close()
    listening.open("MIDI monitor", "MIDI Monitor - QuarnEdit", "menu", "monitor", wanted=[r"Messages sent"])
    listening.press("MIDI monitor", "Tab", wanted=[r"Clear push button"])
    listening.close()


if __name__ == "__main__":
    sys.exit(main())
