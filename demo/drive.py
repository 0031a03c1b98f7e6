#!/usr/bin/env python3
"""make demo's own hands, on a private Xvfb: starts the bootstrapper with the
update server held still, photographs each stage into $VANTREL_SHOTS, checks
what each one says, presses "Download", and once it reads "Installed" closes
the window with its close box.

usage: drive.py SERVER_PID VERSION SETUP

SERVER_PID is the update server's process, VERSION the release it serves and
SETUP the setup program it serves for it. Runs inside scripts/demo.sh (the
demo's network namespace, DISPLAY, a warm wineserver, VANTREL_EXE,
VANTREL_SHOTS and `started`, the demo's start in seconds since the epoch).
Driving and reading the window is the end-to-end tests' own code."""

import os
import re
import signal
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import e2e  # noqa: E402

INSTALLED_LIMIT = 90  # seconds from the start to "Installed"
# Client pixels of the bar's left and right ends.
BAR_START = (154, 355)
BAR_END = (569, 355)


class Failed(Exception):
    pass


def say(text):
    print("demo: %s" % text, flush=True)


def elapsed():
    return "%5.1f s" % (time.time() - float(os.environ["started"]))


def checking(shot):
    return shot.status() == "Checking for updates..."


def ready(shot):
    return shot.status() == "Ready to download"


def downloading(shot):
    # A bar begun but not full.
    return (shot.pixel(*BAR_START) == e2e.PROGRESS and shot.pixel(*BAR_END) != e2e.PROGRESS
            and shot.status() == "Downloading")


def installed(shot):
    return shot.pixel(*BAR_END) == e2e.PROGRESS and shot.status() == "Installed"


class Demo:
    def __init__(self, app, started):
        self.app = app
        self.deadline = started + INSTALLED_LIMIT

    def stage(self, name, what, accept, detail):
        """Waits for the stage, keeps its shot as <name>.png and checks its
        detail line: a text, or a pattern given as (pattern, description)."""
        left = self.deadline - time.monotonic()
        try:
            shot = self.app.wait_shot(accept, repr(what), max(left, 0))
        except AssertionError as e:
            if not self.app.running():
                raise Failed("the bootstrapper ended while waiting for: %s" % what)
            raise Failed("no %r within %d s of the start: %s (see %s)" % (
                what, INSTALLED_LIMIT, e, shown(os.path.join(e2e.shots_folder(),
                                                              "failed-waiting.png"))))
        path = shot.save(name)
        say("%s  %s  -> %s" % (elapsed(), what, shown(path)))
        got = shot.detail()
        if isinstance(detail, tuple):
            pattern, description = detail
            if not re.fullmatch(pattern, got):
                raise Failed("%s.png: the detail line reads %r, not %s" % (name, got, description))
        elif got != detail:
            raise Failed("%s.png: the detail line reads %r, not %r" % (name, got, detail))
        say("          detail: %s" % got)


def shown(path):
    return os.path.relpath(path, ROOT)


def drive(server, version):
    # Holding the server still keeps the manifest request waiting, so the
    # "checking" stage stays on screen until it has been photographed.
    os.kill(server, signal.SIGSTOP)
    try:
        started = time.monotonic()
        with e2e.App() as app:
            x, y, width, height, _ = app.geometry()
            say("%s  window %d x %d at %d,%d" % (elapsed(), width, height, x, y))
            if (width, height) != e2e.SIZE:
                raise Failed("the window is %d x %d, not %d x %d" % ((width, height) + e2e.SIZE))
            app.origin = (x, y)
            demo = Demo(app, started)

            demo.stage("1-checking", "Checking for updates...", checking, "Contacting " + e2e.HOST)
            os.kill(server, signal.SIGCONT)
            demo.stage("2-ready", "Ready to download", ready, "Latest build: " + version)

            app.click_rect(e2e.MAIN_BUTTON)
            say("%s  clicked Download" % elapsed())
            # Sizes as the program writes them: "<received> / <total>".
            demo.stage("3-downloading", "Downloading", downloading,
                       (r"\d+\.\d KB / \d+\.\d [KMG]?B", "'<part> KB / <total>'"))
            demo.stage("4-installed", "Installed", installed, version)

            app.click_rect(e2e.CLOSE_BOX)
            say("%s  clicked x" % elapsed())
            try:
                code = app.wait_exit(15)
            except AssertionError:
                raise Failed("the window did not close within 15 s of clicking x")
            if code != 0:
                raise Failed("the bootstrapper exited with %d" % code)
            say("%s  the bootstrapper exited with 0" % elapsed())
    finally:
        # A stopped server would ignore the namespace's SIGTERM at its end.
        try:
            os.kill(server, signal.SIGCONT)
        except ProcessLookupError:
            pass


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__.split("\n\n")[1])
    server, version = int(sys.argv[1]), sys.argv[2]
    e2e.require_test_network()
    try:
        drive(server, version)
    except Failed as e:
        print("demo: FAILED: %s" % e, file=sys.stderr, flush=True)
        sys.exit(1)


if __name__ == "__main__":
    main()
