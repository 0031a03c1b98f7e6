#!/usr/bin/env python3
"""The exe signed as a release is (scripts/release.sh sign, with the throwaway
test chain): its signature verifies against that chain, fails once one byte
of its code is changed or when the chain's root is not among the trusted
ones, and the signed exe still runs to "Ready to download"."""

import os
import re
import shutil
import struct
import subprocess
import unittest

import e2e

SOURCE = e2e.env("VANTREL_SOURCE")
RELEASE_SH = os.path.join(SOURCE, "scripts", "release.sh")
TEST_ROOT = os.path.join(SOURCE, "build", "test-signing", "test-root-ca.pem")
SYSTEM_ROOTS = "/etc/ssl/certs/ca-certificates.crt"
FOLDER = os.path.join(e2e.BUILD, "signed")
SIGNED = os.path.join(FOLDER, "VantrelBootstrapper.exe")
CHANGED = os.path.join(FOLDER, "changed", "VantrelBootstrapper.exe")


def release_sh(*args, **settings):
    # Whatever key this machine has set up, the tests sign with the test chain.
    environment = {k: v for k, v in os.environ.items() if not k.startswith("SIGN_")}
    environment.pop("TIMESTAMP_URL", None)
    environment.update(settings)
    return subprocess.run(["bash", RELEASE_SH] + list(args), env=environment,
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=120)


def code_offset(data):
    """Where the .text section's bytes start in a PE file."""
    header = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, header + 6)[0]
    optional = struct.unpack_from("<H", data, header + 20)[0]
    table = header + 24 + optional
    for i in range(sections):
        entry = table + 40 * i
        if data[entry:entry + 8].rstrip(b"\0") == b".text":
            return struct.unpack_from("<I", data, entry + 20)[0]
    raise AssertionError("no .text section")


class SignatureTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(FOLDER, ignore_errors=True)
        os.makedirs(os.path.dirname(CHANGED))
        signed = release_sh("sign", e2e.EXE, SIGNED)
        if signed.returncode:
            raise AssertionError("release.sh sign failed:\n" + signed.stderr)
        with open(SIGNED, "rb") as f:
            data = bytearray(f.read())
        data[code_offset(data) + 0x100] ^= 0xFF
        with open(CHANGED, "wb") as f:
            f.write(data)

    def test_verification(self):
        cases = [
            ("signed", SIGNED, TEST_ROOT, 0, ["Signature verification: ok", "Succeeded"]),
            ("one byte of code changed", CHANGED, TEST_ROOT, 1,
             ["Signature verification: failed", "Failed",
              r"Calculated message digest : [0-9A-F]{64} +MISMATCH!!!"]),
            ("the test root not trusted", SIGNED, SYSTEM_ROOTS, 1,
             ["Signature verification: failed", "Failed",
              "Failed signing certificate chain retrieved from the signature:"]),
        ]
        for name, path, roots, status, lines in cases:
            with self.subTest(name):
                result = release_sh("verify", path, SIGN_CA_FILE=roots)
                text = result.stdout + result.stderr
                output = [line.strip() for line in text.splitlines()]
                self.assertEqual(result.returncode, status, text)
                for pattern in lines:
                    self.assertTrue(any(re.fullmatch(pattern, line)
                                        for line in output), "%r not in:\n%s" % (pattern, text))

    def test_signed_exe_runs(self):
        e2e.publish_manifest("1.4.2", "https://updates.vantrel.app/dl/setup.exe")
        with e2e.App(exe=SIGNED) as app:
            shot = app.wait_status("Ready to download")
            self.assertEqual(shot.detail(), "Latest build: 1.4.2")


if __name__ == "__main__":
    e2e.main("test_signature")
