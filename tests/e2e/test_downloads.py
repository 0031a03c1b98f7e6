#!/usr/bin/env python3
"""Downloads that survive the field, as the user sees them: a dropped
connection resumed with no press, a server that ignores Range, a file that
changed between attempts, a window closed mid-download and the next run
continuing, and a disk too small. The server's ranges log says which bytes
went out."""

import hashlib
import os
import re
import subprocess
import unittest

import e2e

BODY = e2e.fixture("setup-exit0.exe")

SETUP = "dl/field.exe"
VERSION = "5.0.1"
URL = "https://%s/%s" % (e2e.HOST, SETUP)
LINE = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[\d+:\d+\] (.*)")


def events():
    return [LINE.fullmatch(line).group(1) for line in e2e.support_log()]


def partial():
    return os.path.join(e2e.download_folder(), "Vantrel-%s.exe.partial" % VERSION)


def leave_partial(data, url, validator):
    """What an earlier run left: the first bytes, and the record beside them."""
    os.makedirs(e2e.download_folder(), exist_ok=True)
    with open(partial(), "wb") as f:
        f.write(data)
    with open(partial()[:-len(".partial")] + ".resume", "w", newline="\n") as f:
        f.write("url-sha256 %s\nvalidator %s\ntotal %d\n"
                % (hashlib.sha256(url.encode()).hexdigest().upper(), validator, len(BODY)))


class DownloadTest(unittest.TestCase):
    def setUp(self):
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.publish(SETUP, BODY)

    @classmethod
    def tearDownClass(cls):
        for path in (e2e.MANIFEST, SETUP):
            e2e.unpublish(path)
        e2e.clear_marker()
        e2e.clear_downloads()

    def install(self, url, expect_installed=True):
        e2e.publish_manifest(VERSION, url)
        since = len(e2e.server_responses())
        with e2e.App() as app:
            app.wait_status("Ready to download")
            app.click_rect(e2e.MAIN_BUTTON)
            if not expect_installed:
                return app.wait_status("Download failed", timeout=90), e2e.server_responses()[since:]
            app.wait_status("Installed", timeout=90)
        # The setup is deleted after the install: its digest in the log shows
        # that the bytes that ran were the whole body.
        self.assertIn("stored %s, %d bytes, SHA-256 %s" % (
            e2e.windows_setup_path(VERSION), len(BODY), hashlib.sha256(BODY).hexdigest().upper()),
            events())
        self.assertEqual(len(e2e.marker_runs()), 1)
        self.assertFalse(os.path.exists(partial()))
        return e2e.server_responses()[since:]

    def test_a_dropped_connection_is_resumed_with_no_press(self):
        # Every answer breaks off after 30,000 bytes: four attempts, each
        # continuing where the last one stopped; the count of retries starts
        # again once 64 KiB more are held.
        sent = self.install("https://%s/drop/30000/%s" % (e2e.HOST, SETUP))
        starts = [0, 30000, 60000, 90000]
        self.assertEqual([(r, s) for p, r, _, s, _ in sent if p.endswith(".exe")],
                         [(None, 200)] + [("bytes=%d-" % n, 206) for n in starts[1:]])
        self.assertEqual(sum(n for p, _, _, _, n in sent if p.endswith(".exe")), len(BODY))
        retries = [e for e in events() if e.startswith("retry ")]
        self.assertEqual([re.sub(r" in \d+ ms", "", e) for e in retries],
                         ['retry %d of 5 after "Download was interrupted." (cut short), from byte %d'
                          % (r, n) for r, n in zip([1, 2, 1], starts[1:])])

    def test_a_port_in_the_url_is_the_port_used(self):
        # Served only to a request that came to port 8443.
        url = "https://%s:8443/port/8443/%s" % (e2e.HOST, SETUP)
        sent = self.install(url)
        self.assertEqual([(r, s) for p, r, _, s, _ in sent if p.endswith(".exe")], [(None, 200)])
        self.assertIn("GET %s via direct (none set)" % url, events())

    def test_a_server_that_ignores_range_sends_the_whole_file(self):
        url = "https://%s/norange/%s" % (e2e.HOST, SETUP)
        leave_partial(BODY[:40000], url, '"old"')
        sent = self.install(url)
        self.assertEqual([(r, s, n) for p, r, _, s, n in sent if p.endswith(".exe")],
                         [("bytes=40000-", 200, len(BODY))])
        self.assertIn("the whole file came instead: starting from byte 0", events())

    def test_a_file_changed_between_attempts_is_installed_whole(self):
        # The part on disk is of an older file: If-Range fails, the new one
        # comes whole, and only it is run.
        leave_partial(b"\x00" * 40000, URL, '"an-older-file"')
        sent = self.install(URL)
        self.assertEqual([(r, i, s, n) for p, r, i, s, n in sent if p.endswith(".exe")],
                         [("bytes=40000-", '"an-older-file"', 200, len(BODY))])

    def test_a_closed_window_leaves_a_part_the_next_run_continues(self):
        # Held after its first piece: the window is closed with that on disk.
        url = "https://%s/%s16384/%s" % (e2e.HOST, e2e.hold_path("closed"), SETUP)
        e2e.reset_hold("closed")
        e2e.publish_manifest(VERSION, url)
        before = len(e2e.server_responses())
        with e2e.App() as app:
            app.wait_status("Ready to download")
            app.click_rect(e2e.MAIN_BUTTON)
            e2e.wait_held("closed", 1)
            e2e.wait_until(lambda: os.path.exists(partial())
                           and os.path.getsize(partial()) == 16384, 30, "the piece on disk")
            app.click_rect(e2e.CLOSE_BOX)
            self.assertEqual(app.wait_exit(), 0)
        held = os.path.getsize(partial())
        self.assertEqual(held, 16384)
        # Let go, the server finds the hang-up and logs the broken answer.
        e2e.release_hold("closed", 1000)
        e2e.wait_until(lambda: len(e2e.server_responses()[before:]) == 2, 15, "the first run's answers logged")
        self.assertEqual(e2e.marker_runs(), [])
        sent = self.install(url)
        exe = [(r, s, n) for p, r, _, s, n in sent if p.endswith(".exe")]
        self.assertEqual(exe, [("bytes=%d-" % held, 206, len(BODY) - held)])
        self.assertIn("resuming at byte %d of %d" % (held, len(BODY)), events())
        e2e.reset_hold("closed")

    def test_a_disk_too_small_fails_before_the_body(self):
        folder = e2e.download_folder()
        os.makedirs(folder, exist_ok=True)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder], check=True)
        try:
            shot, sent = self.install(URL, expect_installed=False)
            self.assertEqual((shot.detail(), shot.button()),
                             ("Not enough disk space for the download.", "Try Again"))
            # Asked once, answered 200, and nothing of the body taken.
            self.assertEqual([(r, s) for p, r, _, s, _ in sent if p.endswith(".exe")],
                             [(None, 200)])
            self.assertEqual(os.path.getsize(partial()), 0)
        finally:
            # Wine lets go of the folder some time after the program ends.
            e2e.wait_until(lambda: subprocess.run(["umount", folder],
                                                  stderr=subprocess.DEVNULL).returncode == 0,
                           30, "the tmpfs to be unmounted", interval=0.2)


if __name__ == "__main__":
    e2e.main("test_downloads")
