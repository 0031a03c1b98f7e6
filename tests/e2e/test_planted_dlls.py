#!/usr/bin/env python3
"""DLLs planted beside the exe, as a drive-by download leaves them in the
Downloads folder (winhttp, uxtheme, dwmapi, cryptbase; each records its
loading in loaded.txt), with Wine told to prefer them as Windows prefers a DLL
beside the exe that is not a KnownDLL. The program loads none of them and
still reaches "Ready to download". A control program that imports WinHTTP
the ordinary way loads the planted one: proof that the test can see a load.
(Not version.dll: under Wine, gdi32 and user32 themselves import it.)"""

import os
import shutil
import subprocess
import tempfile
import unittest

import e2e

BUILT = os.path.join(e2e.setting("BUILD"), "planted")
DLLS = ("winhttp.dll", "uxtheme.dll", "dwmapi.dll", "cryptbase.dll", "winhttp_orig.dll")
ENVIRONMENT = dict(os.environ, WINEDLLOVERRIDES=os.environ.get("WINEDLLOVERRIDES", "")
                   + ";winhttp,uxtheme,dwmapi,cryptbase=n,b")


def run_control(program):  # its exit status: 0 when the WinHTTP it got works
    return subprocess.run(["wine", program], env=ENVIRONMENT, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60).returncode


def run_to_ready(program):
    with e2e.App(exe=program, environment=ENVIRONMENT) as app:
        return app.wait_status("Ready to download").detail()


class PlantedDllTest(unittest.TestCase):
    def test_planted_dlls(self):
        e2e.publish_manifest("1.4.2", "https://updates.vantrel.app/dl/setup.exe")
        cases = [
            ("control", os.path.join(BUILT, "control.exe"), run_control, 0,
             ["winhttp.dll control.exe"]),
            ("bootstrapper", e2e.setting("EXE"), run_to_ready, "Latest build: 1.4.2", []),
        ]
        for name, program, run, outcome, loaded in cases:
            with self.subTest(name), tempfile.TemporaryDirectory(prefix="vantrel-dlls-") as folder:
                for dll in DLLS:
                    shutil.copy(os.path.join(BUILT, dll), folder)
                shutil.copy(program, folder)
                self.assertEqual(run(os.path.join(folder, os.path.basename(program))), outcome)
                log = os.path.join(folder, "loaded.txt")
                lines = open(log).read().splitlines() if os.path.exists(log) else []
                self.assertEqual(lines, loaded)


if __name__ == "__main__":
    e2e.main("test_planted_dlls")
