#!/usr/bin/env python3
"""The program without a mouse: keys sent to the real window, and the window
read and pressed by a screen reader's MSAA client in another process
(tests/win/msaa_reader.cpp)."""

import os
import subprocess
import unittest

import e2e

SETUP = "dl/setup.exe"
READER = os.path.join(e2e.setting("BUILD"), "msaa_reader.exe")
BODY = e2e.fixture("setup-exit0.exe")
# The focus ring's top edge, one pixel of fill inside each button's outline.
RING_ON_CANCEL, RING_ON_MAIN, CANCEL_CAPTION = (474, 434), (308, 434), "d2dceb"

# What the reader hears in each state: status, detail, progress value, main
# button label and its availability. The slow download below is read after
# its first 16 KiB piece.
STATES = {
    "Checking": ("Checking for updates...", "Contacting updates.vantrel.app", "", "Checking",
                 "unavailable, "),
    "Ready": ("Ready to download", "Latest build: 2.6.0", "0%", "Download", ""),
    "Downloading": ("Downloading", "16.0 KB / {total}",
                    "%d%%" % int(16384 * 100 / len(BODY) + 0.5), "Download", "unavailable, "),
    "Failed": ("Download failed", "Server returned HTTP status 404.", "0%", "Try Again", ""),
    "Installed": ("Installed", "2.6.0", "100%", "Installed", "unavailable, "),
}


def tree(state, focus=4):
    """The reader's dump in `state`: each part's id, role, name, value,
    description, default action, states, client place and the part found at
    its centre; then the part with the focus."""
    status, detail, value, label, availability = STATES[state]
    states = lambda child: "focused, focusable" if child == focus else "focusable"
    buttons = [("Cancel", "408,432,132,28"), ("Minimize", "659,28,32,32"),
               ("Close", "700,28,32,32")]
    return ([
        "0 | dialog | Vantrel Bootstrapper |  |  |  | focusable | 0,0,760,520 | 0",
        "1 | static text | %s |  |  |  | read only | 0,302,760,32 | 1" % status,
        "2 | static text | %s |  |  |  | read only | 0,378,760,32 | 2" % detail,
        "3 | progress bar | Progress | %s |  |  | read only | 152,350,420,10 | 3" % value,
        "4 | push button | %s |  | %s: %s | Press | %s%s | 220,432,176,28 | 4"
        % (label, status, detail, availability, states(4)),
    ] + ["%d | push button | %s |  |  | Press | %s | %s | %d" % (i, name, states(i), place, i)
         for i, (name, place) in enumerate(buttons, 5)] + ["focus %d" % focus])


def reader(*args):
    """The reader's output lines; None while it finds no window."""
    done = subprocess.run(["wine", READER] + list(args), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=30)
    return done.stdout.decode().splitlines() if done.returncode == 0 else None


class AccessibilityTest(unittest.TestCase):
    @classmethod
    def tearDownClass(cls):
        e2e.unpublish(e2e.MANIFEST)
        e2e.unpublish(SETUP)
        e2e.reset_hold("reader")

    def key(self, app, name):
        # No pause between press and release: a release that finds the window
        # gone never reaches Wine, which then holds the key down for the next one.
        e2e.run(["xdotool", "key", "--delay", "0", "--window", app.wid, name])

    def read(self, template, timeout=20):
        last = []

        def expected(lines):
            # The total's text as the reader heard it, when it names the
            # setup's size: its rounding is the native tests' business.
            heard = lines[2].split(" | ")[2].rpartition(" / ")[2] if lines[2:] else ""
            total = heard if e2e.size_close(heard, len(BODY)) else "(%d bytes)" % len(BODY)
            return [line.replace("{total}", total) for line in template]

        def matches():
            last[:] = [reader("tree") or []]
            return last[0] == expected(last[0])

        try:
            e2e.wait_until(matches, timeout, "the tree", interval=0.2)
        except AssertionError:
            self.assertEqual(last[0], expected(last[0]))

    def publish(self, version, path):
        e2e.publish(SETUP, BODY)
        e2e.publish_manifest(version, "https://updates.vantrel.app/" + path)

    def test_checking_then_tab_shows_the_ring_and_escape_ends(self):
        with e2e.SilentHost() as silent, e2e.App(silent.hosts) as app:
            self.read(tree("Checking"))
            shot = app.shot()
            self.assertEqual(shot.pixel(*RING_ON_CANCEL), e2e.CANCEL_FILL)
            self.assertEqual(shot.pixel(*RING_ON_MAIN), e2e.PROGRESS)  # focused, cue hidden
            self.key(app, "Tab")
            e2e.wait_until(lambda: app.shot().pixel(*RING_ON_CANCEL) == CANCEL_CAPTION, 5,
                           "the focus ring on Cancel")
            self.assertEqual(app.shot().pixel(*RING_ON_MAIN), e2e.PROGRESS)
            self.read(tree("Checking", focus=5))
            self.key(app, "Escape")
            self.assertEqual(app.wait_exit(), 0)

    def test_check_failed(self):
        e2e.unpublish(e2e.MANIFEST)
        with e2e.App():
            self.read(tree("Failed"))

    def test_reader_presses_download_and_follows_it(self):
        # Held after its first 16 KiB until that state has been read.
        path = e2e.hold_path("reader") + "16384/" + SETUP
        e2e.reset_hold("reader")
        self.publish("2.6.0", path)
        since = len(e2e.server_requests())
        with e2e.App() as app:
            self.read(tree("Ready"))
            events = subprocess.Popen(["wine", READER, "events"], stdin=subprocess.DEVNULL,
                                      stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            try:
                self.assertEqual(events.stdout.readline().strip(), b"listening")
                self.key(app, "Tab")  # the focus leaves the main button
                self.assertEqual(reader("press", "4"), [])
                e2e.wait_held("reader", 1)
                self.read(tree("Downloading", focus=5))
                self.assertEqual(e2e.count_requests("/" + path, since), 1)
                e2e.release_hold("reader", 1000)
                # The focus comes back to the main button for a reader to speak.
                self.read(tree("Installed"), timeout=40)
            finally:
                events.kill()
            heard = {tuple(line.split(" | ")[:2])
                     for line in events.communicate()[0].decode().splitlines()}
            for event in [("focus", "5"), ("name", "1"), ("name", "2"), ("value", "3"),
                          ("state", "4"), ("name", "4"), ("focus", "4")]:
                self.assertIn(event, heard)

    def test_enter_at_ready_downloads_and_installs(self):
        self.publish("2.6.1", SETUP)
        e2e.clear_marker()
        since = len(e2e.server_requests())
        with e2e.App() as app:
            app.wait_status("Ready to download")
            self.key(app, "Return")
            self.assertEqual(app.wait_status("Installed").detail(), "2.6.1")
            self.assertEqual(e2e.server_requests()[since:],
                             ["GET " + e2e.MANIFEST_PATH, "GET /" + SETUP])
            self.assertEqual(len(e2e.marker_runs()), 1)


if __name__ == "__main__":
    e2e.main("test_accessibility")
