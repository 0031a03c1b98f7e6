#!/usr/bin/env python3
"""DLLs planted beside the exe, as a drive-by download leaves them in the
Downloads folder: winhttp.dll, uxtheme.dll, dwmapi.dll and cryptbase.dll,
each recording its own loading in loaded.txt, and Wine told to prefer them as
Windows prefers a DLL beside the exe that is not a KnownDLL. The program must
load none of them and still reach "Ready to download". A control program that
imports WinHTTP the ordinary way, run from the same folder, loads the planted
winhttp.dll: proof that planted DLLs are found there and their loading seen.
(version.dll is left out: under Wine, gdi32 and user32 themselves import it.)"""

import os
import shutil
import subprocess
import tempfile
import unittest

import e2e

PLANTED = ("winhttp.dll", "uxtheme.dll", "dwmapi.dll", "cryptbase.dll")
BUILT = os.path.join(e2e.BUILD, "planted")
CONTROL = os.path.join(BUILT, "control.exe")


def preferring_planted():
    environment = dict(os.environ)
    environment["WINEDLLOVERRIDES"] = (environment.get("WINEDLLOVERRIDES", "")
                                       + ";winhttp,uxtheme,dwmapi,cryptbase=n,b")
    return environment


def run_control(program):
    # The control exits with 0 when the WinHTTP it loaded works.
    return subprocess.run(["wine", program], env=preferring_planted(), stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=60).returncode


def run_to_ready(program):
    with e2e.App(exe=program, environment=preferring_planted()) as app:
        return app.wait_status("Ready to download").detail()


class PlantedDllTest(unittest.TestCase):
    def test_planted_dlls(self):
        e2e.publish_manifest("1.4.2", "https://updates.vantrel.app/dl/setup.exe")
        cases = [
            ("control importing WinHTTP", CONTROL, run_control, 0, ["winhttp.dll control.exe"]),
            ("the bootstrapper", e2e.EXE, run_to_ready, "Latest build: 1.4.2", []),
        ]
        for name, program, run, outcome, loaded in cases:
            with self.subTest(name), tempfile.TemporaryDirectory(prefix="vantrel-dlls-") as folder:
                for dll in PLANTED + ("winhttp_orig.dll",):
                    shutil.copy(os.path.join(BUILT, dll), folder)
                shutil.copy(program, folder)
                self.assertEqual(run(os.path.join(folder, os.path.basename(program))), outcome)
                try:
                    with open(os.path.join(folder, "loaded.txt")) as f:
                        lines = f.read().splitlines()
                except FileNotFoundError:
                    lines = []
                self.assertEqual(lines, loaded)


if __name__ == "__main__":
    e2e.main("test_planted_dlls")
