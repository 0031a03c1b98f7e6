#!/usr/bin/env python3
"""Every fault ends right, as the user sees it: one row per fault of the
update server, the setup or the machine; the window's three texts; whether
the setup was run; and whether "Try Again" succeeds once the fault is gone."""

import hashlib
import json
import os
import re
import unittest

import e2e

SETUP = "dl/setup.exe"
SETUP_URL = "https://updates.vantrel.app/" + SETUP
VERSION = "3.0.1"
FAILED = ("Download failed", "Try Again")
REFUSED = "127.0.0.4"  # nothing listens there: connections are refused



def manifest(sha256=None, padding=0):
    platform = {"url": SETUP_URL}
    if sha256:
        platform["sha256"] = sha256
    body = json.dumps({"version": VERSION, "platforms": {"windows-x86_64-nsis": platform}})
    return body + " " * padding


def once(path, answer):
    """The next request for `path` is answered as `answer` says (see the
    update server's help)."""
    e2e.publish(path + ".once", answer)


def block_download_folder():
    folder = e2e.download_folder()
    os.makedirs(os.path.dirname(folder), exist_ok=True)
    with open(folder, "w") as f:
        f.write("in the way")


def unblock_download_folder():
    os.remove(e2e.download_folder())



GOOD_SETUP = e2e.fixture("setup-exit0.exe")
GOOD_SHA256 = hashlib.sha256(GOOD_SETUP).hexdigest().upper()

# name, what breaks (before the run), what mends it, the fault's phase
# ("check": the update check fails; "setup": "Download" is pressed first),
# expected detail, whether the setup may have run, and the byte "Try Again"
# continues the setup from.
ROWS = [
    ("server down", "hosts", None, "check", "Download request failed.", False, 0),
    ("manifest not UTF-8", lambda: e2e.publish(e2e.MANIFEST, b'{"version":"\xff"}'),
     lambda: e2e.publish(e2e.MANIFEST, manifest()), "check",
     "invalid utf-8 sequence of 1 bytes from index 12", False, 0),
    ("manifest over the cap", lambda: e2e.publish(e2e.MANIFEST, manifest(padding=1 << 20)),
     lambda: e2e.publish(e2e.MANIFEST, manifest()), "check",
     "Release manifest is larger than 1.0 MB.", False, 0),
    # Cut every time: the retries are used up, and "Try Again" continues
    # from the part kept.
    ("setup cut short", lambda: once(SETUP, "0 cut/1000 6"), None, "setup",
     "Download was interrupted.", False, 1000),
    ("length far above the body", lambda: once(SETUP, "0 length/1000000000000000"), None,
     "setup", "Not enough disk space for the download.", False, 0),
    # A redirect from https to http is never followed.
    ("redirect to http", lambda: once(SETUP, "0 redirect-http"), None, "setup",
     "Download request failed.", False, 0),
    ("checksum mismatch", lambda: (e2e.publish(e2e.MANIFEST, manifest(GOOD_SHA256)),
                                   e2e.publish(SETUP, e2e.fixture("setup-exit1.exe"))),
     lambda: e2e.publish(SETUP, GOOD_SETUP), "setup",
     "Downloaded setup does not match its checksum.", False, 0),
    ("download folder blocked", block_download_folder, unblock_download_folder, "setup",
     "Path not found. (os error 3)", False, 0),
    ("setup not a program", lambda: e2e.publish(SETUP, b"<html>not a program</html>"),
     lambda: e2e.publish(SETUP, GOOD_SETUP), "setup", "Bad EXE format for %1. (os error 193)",
     False, 0),
    ("setup exits 1", lambda: e2e.publish(SETUP, e2e.fixture("setup-exit1.exe")),
     lambda: e2e.publish(SETUP, GOOD_SETUP), "setup", "Installer exited with code 1.", True, 0),
]


class FaultTest(unittest.TestCase):
    def setUp(self):
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.publish(e2e.MANIFEST, manifest())
        e2e.publish(SETUP, GOOD_SETUP)

    @classmethod
    def tearDownClass(cls):
        for path in (e2e.MANIFEST, SETUP):
            e2e.unpublish(path)
            e2e.unpublish(path + ".once")
        e2e.clear_marker()
        e2e.clear_downloads()

    def test_each_fault_ends_in_one_clear_line(self):
        for name, breaks, mends, phase, detail, may_run, resumed_from in ROWS:
            with self.subTest(name):
                self.setUp()
                hosts = None
                if breaks == "hosts":
                    hosts = e2e.HostsFile(REFUSED)
                else:
                    breaks()
                try:
                    self.run_row(name, phase, detail, may_run, mends, hosts)
                    self.check_what_ran(resumed_from)
                finally:
                    if hosts:
                        hosts.remove()

    def check_what_ran(self, resumed_from):
        """After "Try Again": the setup run last is the stored file, with the
        silent switches, its bytes were the served ones, and its last request
        continued from the part kept."""
        self.assertEqual(e2e.marker_runs()[-1],
                         ('"%s" /S /R' % e2e.windows_setup_path(VERSION), "/S /R"))
        # The setup is deleted once installed: its bytes are known by the
        # digest of what was stored and run, where the run had its log (a
        # blocked folder at start leaves it without one).
        if os.path.exists(os.path.join(e2e.download_folder(), "bootstrapper.log")):
            self.assertIn("stored %s, %d bytes, SHA-256 %s" % (
                e2e.windows_setup_path(VERSION), len(GOOD_SETUP),
                hashlib.sha256(GOOD_SETUP).hexdigest().upper()), "\n".join(e2e.support_log()))
        _, asked, _, status, sent = e2e.server_responses("/" + SETUP)[-1]
        if resumed_from:
            self.assertEqual((asked, status, sent),
                             ("bytes=%d-" % resumed_from, 206, len(GOOD_SETUP) - resumed_from))
        else:
            self.assertEqual((asked, status, sent), (None, 200, len(GOOD_SETUP)))

    def test_transient_faults_recover_within_the_retries(self):
        # Two 500s, then the good answer: no failure is ever shown.
        for name, path in [("manifest", e2e.MANIFEST), ("setup", SETUP)]:
            with self.subTest(name):
                self.setUp()
                once(path, "0 500 2")
                since = len(e2e.server_responses())
                with e2e.App() as app:
                    app.wait_status("Ready to download", timeout=30)
                    app.click_rect(e2e.MAIN_BUTTON)
                    app.wait_status("Installed", timeout=30)
                statuses = [s for p, _, _, s, _ in e2e.server_responses()[since:]
                            if p == "/" + path]
                self.assertEqual(statuses, [500, 500, 200])
                self.assertEqual(len(e2e.marker_runs()), 1)
                retries = [re.sub(r" in \d+ ms", "", line.split("] ", 1)[1])
                           for line in e2e.support_log() if "] retry " in line]
                self.assertEqual(retries, ['retry %d of 5 after "Server returned HTTP status '
                                           '500." (HTTP 500), from byte 0' % n for n in (1, 2)])
                self.check_what_ran(0)

    def run_row(self, name, phase, detail, may_run, mends, hosts):
        with e2e.App(hosts=hosts.path if hosts else None) as app:
            if phase == "setup":
                app.wait_status("Ready to download")
                app.click_rect(e2e.MAIN_BUTTON)
            # Transient faults are tried six times, about 31 s of waits.
            shot = app.wait_status(FAILED[0], timeout=90)
            shot.save("fault-" + name.replace(" ", "-"))
            self.assertEqual((shot.detail(), shot.button()), (detail, FAILED[1]))
            self.assertEqual(shot.fill_width(), 0)
            self.assertEqual(len(e2e.marker_runs()), 1 if may_run else 0)
            # The fault goes away; "Try Again" then goes all the way.
            if hosts:
                hosts.point_to("127.0.0.1")
            if mends:
                mends()
            app.click_rect(e2e.MAIN_BUTTON)
            if phase == "check":
                app.wait_status("Ready to download")
                app.click_rect(e2e.MAIN_BUTTON)
            shot = app.wait_status("Installed", timeout=60)
            self.assertEqual(len(e2e.marker_runs()), 2 if may_run else 1)

    def test_a_late_failure_does_not_undo_a_newer_check(self):
        # 404s: final at once, where a 500 would be tried again.
        once(e2e.MANIFEST, "0 404")
        e2e.reset_hold("late")
        since = len(e2e.server_requests())
        try:
            with e2e.App() as app:
                app.wait_status("Download failed")
                # The second check is held, then fails; the third, started
                # meanwhile, succeeds at once.
                once(e2e.MANIFEST, "0 hold/late/0/status/404")
                app.click_rect(e2e.MAIN_BUTTON)
                e2e.wait_held("late", 1)
                app.click_rect(e2e.MAIN_BUTTON)
                shot = app.wait_status("Ready to download")
                self.assertEqual(e2e.count_requests(e2e.MANIFEST_PATH, since), 3)
                e2e.release_hold("late", 1)
                failed = "failed: Server returned HTTP status 404."
                e2e.wait_until(lambda: [line.split("] ", 1)[1] for line in e2e.support_log()]
                               .count(failed) == 2, 30, "the held check's failure")
                shot = app.shot()
                shot.save("fault-late-failure")
                self.assertEqual((shot.status(), shot.detail(), shot.button()),
                                 ("Ready to download", "Latest build: " + VERSION, "Download"))
                self.assertEqual(e2e.marker_runs(), [])
        finally:
            e2e.reset_hold("late")


if __name__ == "__main__":
    e2e.main("test_faults")
