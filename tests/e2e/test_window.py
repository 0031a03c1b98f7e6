#!/usr/bin/env python3
"""The window itself: where it opens, what it shows while the update check
runs, and what its close box, Cancel, minimise box and free area do.

Every run points the update host at a listener that never answers, so the
window stays in its first state ("Checking") for as long as a test needs."""

import unittest

import e2e


class WindowTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.silent = e2e.SilentHost().__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.silent.__exit__(None, None, None)

    def app(self):
        return e2e.App(self.silent.hosts)

    def test_opens_centred_and_shows_the_check(self):
        with self.app() as app:
            self.assertEqual(app.geometry(), (580, 280, 760, 520, "IsViewable"))
            shot = app.shot()
            shot.save("window-checking")
            root = shot.screen_pixel(0, 0)  # nothing else is on this screen

            # The region cuts the corners: the root window shows through.
            self.assertNotIn(root, (e2e.CARD_FILL, e2e.BACKGROUND))
            self.assertEqual(shot.pixel(0, 0), root)
            self.assertEqual(shot.pixel(759, 519), root)

            probes = [
                ("background left", (3, 260), e2e.BACKGROUND),
                ("background right", (756, 260), e2e.BACKGROUND),
                ("background bottom", (380, 515), e2e.BACKGROUND),
                ("card", (30, 260), e2e.CARD_FILL),
                ("card", (720, 420), e2e.CARD_FILL),
                ("card", (100, 490), e2e.CARD_FILL),
                ("card outline", (10, 260), "255071"),
                ("card outline", (380, 509), "255071"),
                ("ellipse", (380, 80), e2e.ELLIPSE_FILL),
                ("main button", (228, 446), e2e.PROGRESS),
                ("main button", (388, 446), e2e.PROGRESS),
                ("main outline", (220, 446), "b7f7ff"),
                ("cancel button", (414, 446), e2e.CANCEL_FILL),
                ("cancel button", (534, 446), e2e.CANCEL_FILL),
                ("cancel outline", (408, 446), "45607e"),
                # No progress yet: the whole track is empty.
                ("track", (154, 355), e2e.TRACK_FILL),
                ("track", (362, 355), e2e.TRACK_FILL),
                ("track", (570, 355), e2e.TRACK_FILL),
                ("track outline", (152, 355), "27405a"),
                ("minimise box", (675, 33), e2e.BOX_FILL),
                ("minimise box", (675, 55), e2e.BOX_FILL),
                ("minimise outline", (659, 44), "26425e"),
                ("close box", (716, 33), e2e.BOX_FILL),
                ("close box", (704, 44), e2e.BOX_FILL),
                ("close outline", (700, 44), "26425e"),
            ]
            for name, (x, y), colour in probes:
                with self.subTest(name, x=x, y=y):
                    self.assertEqual(shot.pixel(x, y), colour)

            texts = [
                ("title", (58, 28, 260, 58), {}, "Vantrel Bootstrapper"),
                ("name", (20, 235, 740, 290), {}, "Vantrel"),
                ("status", e2e.STATUS_TEXT, {}, "Checking for updates..."),
                ("detail", e2e.DETAIL_TEXT, {}, "Contacting updates.vantrel.app"),
                ("percentage", e2e.PERCENT_TEXT, {"spacing": 4}, "--"),
                ("main button", e2e.MAIN_CAPTION, {"dark_on_light": True}, "Checking"),
                ("cancel button", e2e.CANCEL_CAPTION, {}, "Cancel"),
            ]
            for name, rect, options, expected in texts:
                with self.subTest(name):
                    self.assertEqual(shot.text(rect, **options), expected)

    def test_close_box_and_cancel_end_the_program_with_0(self):
        # Centres and the far corners: the hit areas are the whole rectangles,
        # right and bottom edges included.
        cases = [
            ("close box centre", (716, 44)),
            ("close box corner", (732, 60)),
            ("cancel centre", (474, 446)),
            ("cancel corner", (408, 432)),
        ]
        for name, (x, y) in cases:
            with self.subTest(name):
                with self.app() as app:
                    app.click(x, y)
                    self.assertEqual(app.wait_exit(), 0)
                    e2e.wait_until(lambda: not e2e.window_ids(), 5, "the window to go")

    def test_a_press_just_outside_the_close_box_does_not_close(self):
        with self.app() as app:
            for x, y in [(699, 44), (733, 44), (716, 61), (716, 27)]:
                app.click(x, y)
            # Each press went to the drag loop and came back: the window is
            # where it was, the program alive and still answering clicks.
            self.assertEqual(app.geometry(), (580, 280, 760, 520, "IsViewable"))
            self.assertTrue(app.running())
            app.click(700, 28)
            self.assertEqual(app.wait_exit(), 0)

    def test_minimise_box_minimises(self):
        with self.app() as app:
            root = app.shot().screen_pixel(0, 0)
            app.click(675, 44)

            def iconic():
                g = app.geometry()
                return g if g[2] != 760 else None

            x, y, width, height, state = e2e.wait_until(iconic, 10, "the window to shrink")
            # Without a window manager Wine shows a minimised window as a
            # small strip at the bottom left of the screen.
            self.assertLess(width, 760)
            self.assertLess(height, 520)
            self.assertEqual((x, y + height), (0, 1080))
            shot = app.shot()
            shot.save("window-minimised")
            for px, py in [(580 + 30, 280 + 260), (580 + 228, 280 + 446), (580 + 716, 280 + 33)]:
                self.assertEqual(shot.screen_pixel(px, py), root, (px, py))
            self.assertTrue(app.running(), "minimising ended the program")

    def test_dragging_the_free_area_moves_the_window(self):
        moves = [
            ((300, 200), (120, -70), (700, 210)),
            ((40, 470), (-200, 90), (500, 300)),
            ((600, 400), (80, 0), (580, 300)),
        ]
        with self.app() as app:
            for (x, y), (dx, dy), expected in moves:
                with self.subTest(start=(x, y), by=(dx, dy)):
                    before = app.geometry()
                    app.drag(x, y, dx, dy)
                    e2e.wait_until(lambda: app.geometry()[:2] != before[:2], 5,
                                   "the window to move")
                    self.assertEqual(app.geometry(), expected + (760, 520, "IsViewable"))
                    app.origin = expected
                    shot = app.shot()
                    # The content went with it.
                    self.assertEqual(shot.pixel(30, 260), e2e.CARD_FILL)
                    self.assertEqual(shot.pixel(228, 446), e2e.PROGRESS)
                    self.assertEqual(shot.status(), "Checking for updates...")
            shot.save("window-dragged")
            self.assertTrue(app.running())


if __name__ == "__main__":
    e2e.main("test_window")
