#!/usr/bin/env python3
"""A second start while the bootstrapper is open: the open window comes
forward, restored from minimised, and the second run asks the network
nothing, writes one line to the log and ends with 0. One window, one install."""

import re
import subprocess
import unittest

import e2e

SETUP = "dl/setup.exe"


class SecondStartTest(unittest.TestCase):
    def test_second_start_brings_the_open_window_forward(self):
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.publish(SETUP, e2e.fixture("setup-exit0.exe"))
        e2e.publish_manifest("2.5.0", "https://updates.vantrel.app/" + SETUP)
        with e2e.App() as app:
            app.wait_status("Ready to download")
            app.click_rect(e2e.MINIMISE_BOX)
            e2e.wait_until(lambda: app.geometry()[2] != 760, 10, "the window to shrink")
            since = len(e2e.server_requests())
            second = subprocess.run(["wine", e2e.setting("EXE")], stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    timeout=30)
            self.assertEqual(second.returncode, 0)
            e2e.wait_until(lambda: app.geometry() == (580, 280, 760, 520, "IsViewable"), 10,
                           "the window to be restored")
            self.assertEqual(e2e.window_ids(), [app.wid])
            self.assertEqual(e2e.server_requests()[since:], [])
            app.click_rect(e2e.MAIN_BUTTON)
            app.wait_status("Installed")
        self.assertEqual(len(e2e.marker_runs()), 1)
        lines = [re.fullmatch(r"\S+ \[(\d+):\d+\] (.*)", line).groups()
                 for line in e2e.support_log()]
        second_run = [event for pid, event in lines if pid != lines[0][0]]
        self.assertEqual(len(second_run), 1, lines)
        self.assertRegex(second_run[0], r"^start Vantrel Bootstrapper [\d.]+ on Windows [\d.]+ "
                                        r"build \d+, already running: its window brought forward$")

    def test_second_start_during_a_download_changes_nothing(self):
        # Held after its first piece: the second start comes mid-download.
        path = e2e.hold_path("second") + "16384/" + SETUP
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.reset_hold("second")
        e2e.publish(SETUP, e2e.fixture("setup-exit0.exe"))
        e2e.publish_manifest("2.5.1", "https://updates.vantrel.app/" + path)
        try:
            with e2e.App() as app:
                app.wait_status("Ready to download")
                app.click_rect(e2e.MAIN_BUTTON)
                e2e.wait_held("second", 1)
                since = len(e2e.server_requests())
                second = subprocess.run(["wine", e2e.setting("EXE")], stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                        timeout=30)
                self.assertEqual(second.returncode, 0)
                self.assertEqual(e2e.window_ids(), [app.wid])
                self.assertEqual(e2e.server_requests()[since:], [])
                shot = app.wait_status("Downloading")
                self.assertTrue(shot.detail().startswith("16.0 KB / "), shot.detail())
                e2e.release_hold("second", 1000)
                app.wait_status("Installed")
            self.assertEqual(e2e.marker_runs(), [('"%s" /S /R' % e2e.windows_setup_path("2.5.1"),
                                                  "/S /R")])
            self.assertEqual(e2e.count_requests("/" + path), 1)
        finally:
            e2e.reset_hold("second")


if __name__ == "__main__":
    e2e.main("test_second_start")
