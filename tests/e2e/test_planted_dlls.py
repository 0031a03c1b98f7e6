#!/usr/bin/env python3
"""DLLs planted beside the exe, as a drive-by download leaves them in the
Downloads folder (winhttp, uxtheme, dwmapi, cryptbase; and for the program's
whole road to "Installed", a screen reader asking on the way, wintrust,
shell32 and oleacc; each records its loading in
loaded.txt), with Wine told to prefer them as Windows prefers a DLL beside the
exe that is not a KnownDLL. The program loads none of them and still installs.
A control program that imports WinHTTP the ordinary way loads the planted one:
proof that the test can see a load. (Not version.dll: under Wine, gdi32 and
user32 themselves import it.)"""

import os
import shutil
import subprocess
import tempfile
import unittest

import e2e

BUILT = os.path.join(e2e.setting("BUILD"), "planted")
READER = os.path.join(e2e.setting("BUILD"), "msaa_reader.exe")
SETUP = "dl/setup.exe"
FIRST = ("winhttp", "uxtheme", "dwmapi", "cryptbase")
# Loaded later by the program, only from System32: signatures, the elevated
# start and screen readers. They forward nothing, so the control runs without
# them preferred. Not crypt32 and bcrypt: Wine 8's own winhttp.dll, loaded
# from System32, delay-loads crypt32 (which imports bcrypt) by a search path
# that includes the exe's folder (LdrResolveDelayLoadedAPI, "looking for
# crypt32.dll in (null)"), whatever the program set, so planted ones are taken
# under Wine alone.
LATER = ("wintrust", "shell32", "oleacc")
DLLS = [name + ".dll" for name in FIRST + LATER] + ["winhttp_orig.dll"]


def preferring(names):
    overrides = os.environ.get("WINEDLLOVERRIDES", "")
    return dict(os.environ, WINEDLLOVERRIDES=overrides + ";%s=n,b" % ",".join(names))


def run_control(program):  # its exit status: 0 when the WinHTTP it got works
    return subprocess.run(["wine", program], env=preferring(FIRST), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60).returncode


def run_to_installed(program):
    with e2e.App(exe=program, environment=preferring(FIRST + LATER)) as app:
        app.wait_status("Ready to download")
        # A screen reader's question loads oleacc.
        tree = e2e.run(["wine", READER, "tree"]).decode().splitlines()
        if "Ready to download" not in tree[1]:
            raise AssertionError("the reader heard %r" % tree)
        app.click_rect(e2e.MAIN_BUTTON)
        return app.wait_status("Installed").detail()


class PlantedDllTest(unittest.TestCase):
    def test_planted_dlls(self):
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.publish(SETUP, e2e.fixture("setup-exit0.exe"))
        e2e.publish_manifest("1.4.2", "https://updates.vantrel.app/" + SETUP)
        cases = [
            ("control", os.path.join(BUILT, "control.exe"), run_control, 0,
             ["winhttp.dll control.exe"]),
            ("bootstrapper", e2e.setting("EXE"), run_to_installed, "1.4.2", []),
        ]
        for name, program, run, outcome, loaded in cases:
            with self.subTest(name), tempfile.TemporaryDirectory(prefix="vantrel-dlls-") as folder:
                for dll in DLLS:
                    shutil.copy(os.path.join(BUILT, dll), folder)
                shutil.copy(program, folder)
                log = os.path.join(folder, "loaded.txt")
                try:
                    got = run(os.path.join(folder, os.path.basename(program)))
                finally:
                    # What was loaded says most, also when the run failed.
                    lines = open(log).read().splitlines() if os.path.exists(log) else []
                    self.assertEqual(lines, loaded)
                self.assertEqual(got, outcome)
        self.assertEqual(len(e2e.marker_runs()), 1)


if __name__ == "__main__":
    e2e.main("test_planted_dlls")
