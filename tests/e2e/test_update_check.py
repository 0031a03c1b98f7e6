#!/usr/bin/env python3
"""The update check as the user sees it: the real manifest URL fetched from the
local update server, and the window's answer; "Try Again" checks once more."""

import unittest

import e2e

SETUP_URL = "https://updates.vantrel.app/dl/setup.exe"
GOOD = ("1.4.2", SETUP_URL)
NO_SETUP_URL = '{"version":"1.4.2","platforms":{"linux":{"url":"https://updates.vantrel.app/x"}}}'


def publish(manifest):
    """A (version, url) pair, a raw text, or None for no manifest at all."""
    if manifest is None:
        e2e.unpublish(e2e.MANIFEST)
    elif isinstance(manifest, tuple):
        e2e.publish_manifest(*manifest)
    else:
        e2e.publish(e2e.MANIFEST, manifest)


class UpdateCheckTest(unittest.TestCase):
    @classmethod
    def tearDownClass(cls):
        e2e.unpublish(e2e.MANIFEST)

    def assert_screen(self, shot, detail, button, percentage="0%"):
        self.assertEqual(shot.detail(), detail)
        self.assertEqual(shot.button(), button)
        self.assertEqual(shot.percentage(), percentage)
        # "0%" is shown, yet nothing of the bar is filled.
        self.assertEqual(shot.fill_width(), 0)
        self.assertEqual(shot.pixel(154, 355), e2e.TRACK_FILL)

    def test_outcomes_of_one_check(self):
        cases = [
            ("ready", GOOD, "Ready to download", "Latest build: 1.4.2", "Download"),
            ("no setup url", NO_SETUP_URL, "Download failed",
             "No Windows setup URL was found.", "Try Again"),
            ("no manifest", None, "Download failed",
             "Server returned HTTP status 404.", "Try Again"),
        ]
        for name, manifest, status, detail, button in cases:
            with self.subTest(name):
                publish(manifest)
                since = len(e2e.server_requests())
                with e2e.App() as app:
                    shot = app.wait_status(status)
                    shot.save("check-" + name.replace(" ", "-"))
                    self.assert_screen(shot, detail, button)
                    # One request, for the manifest only: nothing is fetched
                    # before the user asks for it.
                    self.assertEqual(e2e.server_requests()[since:],
                                     ["GET " + e2e.MANIFEST_PATH])

    def test_try_again_checks_again(self):
        publish(NO_SETUP_URL)
        since = len(e2e.server_requests())
        with e2e.App() as app:
            shot = app.wait_status("Download failed")
            self.assert_screen(shot, "No Windows setup URL was found.", "Try Again")
            self.assertEqual(e2e.count_requests(e2e.MANIFEST_PATH, since), 1)

            # Still failing, now for another reason: the window says so.
            publish(None)
            app.click_rect(e2e.MAIN_BUTTON)
            e2e.wait_until(lambda: e2e.count_requests(e2e.MANIFEST_PATH, since) == 2, 10,
                           "the second manifest request")
            e2e.wait_until(
                lambda: app.shot().detail() == "Server returned HTTP status 404.",
                15, "the second failure's reason")
            shot = app.shot()
            self.assertEqual(shot.status(), "Download failed")
            self.assert_screen(shot, "Server returned HTTP status 404.", "Try Again")

            publish(GOOD)
            app.click(220, 432)  # the button's corner is part of it
            shot = app.wait_status("Ready to download")
            shot.save("check-ready-after-try-again")
            self.assert_screen(shot, "Latest build: 1.4.2", "Download")
            self.assertEqual(e2e.server_requests()[since:], ["GET " + e2e.MANIFEST_PATH] * 3)


if __name__ == "__main__":
    e2e.main("test_update_check")
