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
# 16 KiB pieces with this pause between them: the ~91 KB fixture takes about
# 3.5 s, so the bar can be photographed half way. (/slow/30/ would be over in
# 0.15 s, before a screenshot could tell.)
SLOW = "slow/700/"



class InstallTest(unittest.TestCase):
    @classmethod
    def tearDownClass(cls):
        e2e.unpublish(e2e.MANIFEST)
        e2e.unpublish(SETUP)
        e2e.clear_marker()
        e2e.clear_downloads()

    def prepare(self, setup, version, path):
        """A fresh scenario: no marker, no stored setups, this release."""
        e2e.clear_marker()
        e2e.clear_downloads()
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

    def check_part_way(self, shot, width, size, total):
        """One frame of the transfer: bar, percentage and byte counts agree."""
        self.assertEqual(shot.pixel(154, 355), e2e.PROGRESS)
        self.assertEqual(shot.pixel(570, 355), e2e.TRACK_FILL)
        self.assertEqual(shot.status(), "Downloading")
        percentage = shot.percentage()
        match = re.fullmatch(r"(\d+)%", percentage)
        self.assertTrue(match, percentage)
        percent = int(match.group(1))
        self.assertTrue(0 < percent < 100, percent)
        self.assertLessEqual(abs(width - 418 * percent / 100), 2.6, (width, percent))
        detail = shot.detail()
        match = re.fullmatch(r"(\d+\.\d) KB / " + re.escape(total), detail)
        self.assertTrue(match, "%r is not '<n> KB / %s'" % (detail, total))
        received = float(match.group(1)) * 1024
        self.assertLessEqual(abs(100 * received / size - percent), 1.0, (detail, percentage))

    def test_download_and_install(self):
        body = self.prepare("setup-exit0.exe", "2.5.0", SLOW + SETUP)
        since = len(e2e.server_requests())
        with e2e.App() as app:
            self.start_download(app, "2.5.0")

            # Photograph the transfer until the bar is full; keep one frame
            # for each part-way length of the bar, in the order seen.
            partial = {}
            last = []

            def full():
                shot = app.shot()
                width = shot.fill_width()
                last[:] = [shot]
                if 0 < width < e2e.FILL_MAX and width not in partial:
                    partial[width] = shot
                return width == e2e.FILL_MAX

            try:
                e2e.wait_until(full, 30, "a full progress bar")
            except AssertionError as e:
                last[0].save("failed-waiting")
                raise AssertionError("%s; bar lengths seen: %r, last %d (%s)"
                                     % (e, list(partial), last[0].fill_width(),
                                        last[0].pixel(154, 355)))
            widths = list(partial)
            # Five pauses of 0.7 s: a screenshot every ~0.1 s sees most steps.
            self.assertGreaterEqual(len(widths), 3, widths)
            self.assertEqual(widths, sorted(widths), "the bar went backwards")
            partial[widths[0]].save("install-downloading")
            total = e2e.format_size(len(body))
            for width, shot in partial.items():
                with self.subTest(width=width):
                    self.check_part_way(shot, width, len(body), total)

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
                             ["GET " + e2e.MANIFEST_PATH, "GET /" + SLOW + SETUP])

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
        path = "slow/300/" + SETUP  # about 1.5 s: "Downloading" is seen again
        for setup, version, detail in cases:
            with self.subTest(setup):
                body = self.prepare(setup, version, path)
                since = len(e2e.server_requests())
                with e2e.App() as app:
                    self.start_download(app, version)
                    for attempt in (1, 2):
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
                            app.click_rect(e2e.MAIN_BUTTON)
                            app.wait_status("Downloading")
                    # The manifest was read once; "Try Again" after a failed
                    # download fetches the setup again, not the manifest.
                    self.assertEqual(e2e.count_requests(e2e.MANIFEST_PATH, since), 1)

    def test_cut_download_runs_nothing(self):
        self.prepare("setup-exit0.exe", "2.5.3", "cut/1000/" + SETUP)
        since = len(e2e.server_requests())
        with e2e.App() as app:
            self.start_download(app, "2.5.3")
            # Cut every time: tried six times in all, then given up.
            shot = app.wait_status("Download failed", timeout=90)
            shot.save("install-interrupted")
            self.assertEqual(shot.detail(), "Download was interrupted.")
            self.assertEqual(shot.button(), "Try Again")
            self.assertEqual(shot.fill_width(), 0)
            self.assertEqual(e2e.server_requests()[since:],
                             ["GET " + e2e.MANIFEST_PATH] + ["GET /cut/1000/" + SETUP] * 6)
            # Nothing is stored from a body that never arrived whole, and
            # nothing is run.
            self.assertFalse(os.path.exists(self.stored("2.5.3")))
            self.assertEqual(e2e.marker_runs(), [])


if __name__ == "__main__":
    e2e.main("test_install")
