#!/usr/bin/env python3
"""The exe signed as a release is (scripts/release.sh sign, with the throwaway
test chain): the signature verifies against that chain, fails once a byte of
code is changed or when the chain's root is not trusted, and the signed exe
still runs to "Ready to download"."""

import os
import re
import shutil
import subprocess
import unittest

import e2e

SOURCE = e2e.env("VANTREL_SOURCE")
TEST_ROOT = os.path.join(SOURCE, "build", "test-signing", "test-root-ca.pem")
FOLDER = os.path.join(e2e.setting("BUILD"), "signed")
SIGNED = os.path.join(FOLDER, "VantrelBootstrapper.exe")
CHANGED = os.path.join(FOLDER, "changed", "VantrelBootstrapper.exe")


def release_sh(*args, **settings):
    # Whatever key this machine has set up, the tests sign with the test chain.
    environment = {k: v for k, v in os.environ.items()
                   if not k.startswith("SIGN_") and k != "TIMESTAMP_URL"}
    return subprocess.run(["bash", os.path.join(SOURCE, "scripts", "release.sh")] + list(args),
                          env=dict(environment, **settings), stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120)


class SignatureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(FOLDER, ignore_errors=True)
        os.makedirs(os.path.dirname(CHANGED))
        signed = release_sh("sign", e2e.setting("EXE"), SIGNED)
        assert signed.returncode == 0, signed.stderr
        # One byte in the middle of .text flipped.
        sections = e2e.run(["x86_64-w64-mingw32-objdump", "-h", SIGNED]).decode()
        size, _, _, offset = re.search(r"\.text\s+(\S+)\s+(\S+)\s+(\S+)\s+(\S+)", sections).groups()
        with open(SIGNED, "rb") as f:
            data = bytearray(f.read())
        data[int(offset, 16) + int(size, 16) // 2] ^= 0xFF
        with open(CHANGED, "wb") as f:
            f.write(data)

    def test_verification(self):
        cases = [
            ("signed", SIGNED, TEST_ROOT, 0, ["Signature verification: ok", "Succeeded"]),
            ("a byte of code changed", CHANGED, TEST_ROOT, 1,
             ["Signature verification: failed", "Failed",
              r"Calculated message digest : [0-9A-F]{64} +MISMATCH!!!"]),
            ("root not trusted", SIGNED, "/etc/ssl/certs/ca-certificates.crt", 1,
             ["Signature verification: failed", "Failed",
              "Failed signing certificate chain retrieved from the signature:"]),
        ]
        for name, path, roots, status, patterns in cases:
            with self.subTest(name):
                result = release_sh("verify", path, SIGN_CA_FILE=roots)
                text = result.stdout + result.stderr
                self.assertEqual(result.returncode, status, text)
                lines = [line.strip() for line in text.splitlines()]
                for pattern in patterns:
                    self.assertTrue(any(re.fullmatch(pattern, line) for line in lines),
                                    "%r not in:\n%s" % (pattern, text))

    def test_signed_exe_runs(self):
        e2e.publish_manifest("1.4.2", "https://updates.vantrel.app/dl/setup.exe")
        with e2e.App(exe=SIGNED) as app:
            self.assertEqual(app.wait_status("Ready to download").detail(), "Latest build: 1.4.2")


if __name__ == "__main__":
    e2e.main("test_signature")
