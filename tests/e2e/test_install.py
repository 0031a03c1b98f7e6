#!/usr/bin/env python3
"""Download and install as the user sees it: "Download" pressed on the real
window, the setup program fetched from the local update server with the
progress bar moving, stored under the Wine user's temporary folder and run
(a real NSIS setup that records its command line); then the failures."""

import os
import re
import time
import unittest

import e2e

SETUP = "dl/setup.exe"
BASE = "https://updates.vantrel.app/"
PIECE = 16384  # the held download stops after each piece of this many bytes
HOLD = "install"



class InstallTest(unittest.TestCase):
    @classmethod
    def tearDownClass(cls):
        e2e.unpublish(e2e.MANIFEST)
        e2e.unpublish(SETUP)
        e2e.reset_hold(HOLD)
        e2e.clear_marker()
        e2e.clear_downloads()

    def prepare(self, setup, version, path):
        """A fresh scenario: no marker, no stored setups, this release."""
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.reset_hold(HOLD)
        body = e2e.fixture(setup)
        e2e.publish(SETUP, body)
        e2e.publish_manifest(version, BASE + path)
        return body

    def stored(self, version):
        return os.path.join(e2e.download_folder(), "Vantrel-%s.exe" % version)

    def expected_run(self, version):
        return ('"%s" /S /R' % e2e.windows_setup_path(version), "/S /R")

    def start_download(self, app, version):
        shot = app.wait_status("Ready to download")
        self.assertEqual(shot.detail(), "Latest build: " + version)
        app.click_rect(e2e.MAIN_BUTTON)

    def check_part_way(self, shot, received, size):
        """One frame of the transfer held after `received` bytes: bar,
        percentage and byte counts agree."""
        self.assertEqual(shot.pixel(154, 355), e2e.PROGRESS)
        self.assertEqual(shot.pixel(570, 355), e2e.TRACK_FILL)
        self.assertEqual(shot.status(), "Downloading")
        percentage = shot.percentage()
        match = re.fullmatch(r"(\d+)%", percentage)
        self.assertTrue(match, percentage)
        percent = int(match.group(1))
        self.assertLessEqual(abs(100 * received / size - percent), 0.51, (received, percentage))
        width = shot.fill_width()
        self.assertLessEqual(abs(width - 418 * received / size), 0.51, (received, width))
        detail = shot.detail()
        match = re.fullmatch(r"(\d+\.\d KB) / (\S+ \S+)", detail)
        self.assertTrue(match, "%r is not '<n> KB / <total>'" % detail)
        self.assertEqual(match.group(1), "%d.0 KB" % (received // 1024))
        self.assertTrue(e2e.size_close(match.group(2), size), (detail, size))

    def test_download_and_install(self):
        path = e2e.hold_path(HOLD) + "%d/%s" % (PIECE, SETUP)
        body = self.prepare("setup-exit0.exe", "2.5.0", path)
        since = len(e2e.server_requests())
        with e2e.App() as app:
            self.start_download(app, "2.5.0")
            # The server stops after each piece until the frame is checked.
            stops = (len(body) - 1) // PIECE
            self.assertGreaterEqual(stops, 3, len(body))
            for stop in range(1, stops + 1):
                with self.subTest(stop=stop):
                    e2e.wait_held(HOLD, stop)
                    received = stop * PIECE
                    shot = app.wait_shot(
                        lambda shot: shot.detail().startswith("%d.0 KB /" % (received // 1024)),
                        "the frame of %d bytes" % received)
                    if stop == 1:
                        shot.save("install-downloading")
                    self.check_part_way(shot, received, len(body))
                    e2e.release_hold(HOLD, stop)

            shot = app.wait_status("Installed")
            shot.save("install-installed")
            self.assertEqual(shot.detail(), "2.5.0")
            self.assertEqual(shot.button(), "Installed")
            self.assertEqual(shot.percentage(), "100%")
            self.assertEqual(shot.fill_width(), e2e.FILL_MAX)
            self.assertEqual(shot.pixel(569, 355), e2e.PROGRESS)

            # Installed: the setup is deleted, the log stays.
            e2e.wait_until(lambda: os.listdir(e2e.download_folder()) == ["bootstrapper.log"], 5,
                           "the setup deleted")
            self.assertEqual(e2e.marker_runs(), [self.expected_run("2.5.0")])
            self.assertEqual(e2e.server_requests()[since:],
                             ["GET " + e2e.MANIFEST_PATH, "GET /" + path])

            # Once installed the button does nothing: no second download.
            app.click_rect(e2e.MAIN_BUTTON)
            time.sleep(1.0)
            self.assertEqual(len(e2e.server_requests()), since + 2)
            self.assertEqual(e2e.marker_runs(), [self.expected_run("2.5.0")])
            self.assertEqual(app.shot().status(), "Installed")

    def test_failing_installer_and_try_again(self):
        cases = [
            ("setup-exit1.exe", "2.5.1", "Installer exited with code 1."),
            # 0xC0000005, as the signed number Windows shows for it.
            ("setup-exit3221225477.exe", "2.5.2", "Installer exited with code -1073741819."),
        ]
        # Held before its headers: "Downloading" stays until it has been seen.
        path = e2e.hold_path(HOLD) + "0/" + SETUP
        for setup, version, detail in cases:
            with self.subTest(setup):
                body = self.prepare(setup, version, path)
                since = len(e2e.server_requests())
                with e2e.App() as app:
                    self.start_download(app, version)
                    for attempt in (1, 2):
                        app.wait_status("Downloading")
                        e2e.wait_held(HOLD, 1)
                        e2e.release_hold(HOLD, 1)
                        shot = app.wait_status("Download failed")
                        shot.save("install-%s-attempt-%d" % (setup[:-4], attempt))
                        self.assertEqual(shot.detail(), detail)
                        self.assertEqual(shot.button(),
                                         "Try Again")
                        self.assertEqual(shot.percentage(), "0%")
                        self.assertEqual(shot.fill_width(), 0)
                        self.assertEqual(e2e.count_requests("/" + path, since), attempt)
                        self.assertEqual(e2e.marker_runs(), [self.expected_run(version)] * attempt)
                        with open(self.stored(version), "rb") as f:
                            self.assertEqual(f.read(), body)
                        if attempt == 1:
                            e2e.reset_hold(HOLD)
                            app.click_rect(e2e.MAIN_BUTTON)
                    # The manifest was read once; "Try Again" after a failed
                    # download fetches the setup again, not the manifest.
                    self.assertEqual(e2e.count_requests(e2e.MANIFEST_PATH, since), 1)


if __name__ == "__main__":
    e2e.main("test_install")
