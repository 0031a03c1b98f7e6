#!/usr/bin/env python3
"""The exe signed as a release is (scripts/release.sh sign, with the throwaway
test chain): the signature verifies against that chain, fails once a byte of
code is changed or when the chain's root is not trusted, and the signed exe
still runs to "Ready to download". With that root trusted in the test network,
the signed exe runs only setups signed by the same subject, also when its own
signature does not verify here."""

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
STUB_CHANGED = os.path.join(FOLDER, "stub-changed", "VantrelBootstrapper.exe")
OTHER_SIGNER = os.path.join(SOURCE, "build", "test-signing", "other-code-signing")
READER = os.path.join(e2e.setting("BUILD"), "msaa_reader.exe")
SETUP = "dl/signed-setup.exe"


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
        # One letter of the DOS stub's text: the exe still runs, but its own
        # signature no longer verifies (0x80096010), as a missing root would
        # make it on Windows.
        data[int(offset, 16) + int(size, 16) // 2] ^= 0xFF
        data[0x4E] ^= 0x20
        os.makedirs(os.path.dirname(STUB_CHANGED))
        with open(STUB_CHANGED, "wb") as f:
            f.write(data)

    def test_verification(self):
        cases = [
            ("signed", SIGNED, TEST_ROOT, 0, ["Signature verification: ok", "Succeeded"]),
            ("a byte of code changed", CHANGED, TEST_ROOT, 1,
             ["Signature verification: failed", "Failed",
              r"Calculated message digest : [0-9A-F]{64} +MISMATCH!!!"]),
            ("root not trusted", SIGNED, os.path.join(SOURCE, "build", "pki", "ca.crt"), 1,
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

    def test_signed_exe_runs_only_setups_of_its_signer(self):
        unsigned = os.path.join(e2e.setting("FIXTURES"), "setup-exit0.exe")
        same, other = os.path.join(FOLDER, "same.exe"), os.path.join(FOLDER, "other.exe")
        self.assertEqual(release_sh("sign", unsigned, same).returncode, 0)
        e2e.run(["osslsigncode", "sign", "-pkcs12", OTHER_SIGNER + ".p12", "-readpass",
                 os.path.join(os.path.dirname(OTHER_SIGNER), "test-code-signing.password"),
                 "-h", "sha256", "-in", unsigned, "-out", other])
        read = lambda path: open(path, "rb").read()
        changed = bytearray(read(same))
        changed[len(changed) // 2] ^= 1  # in the installer's data, under the signature
        # In this order, on one window: each refusal is followed by "Try Again".
        cases = [
            ("unsigned", read(unsigned), "Setup program is not signed."),
            ("other subject, same root", read(other), 'Setup program is signed by "Vantrel TEST '
             'other publisher - throwaway", not by "Vantrel TEST code signing - throwaway".'),
            ("a byte changed", bytes(changed), "Setup program's signature is not valid."),
            ("same subject", read(same), "2.7.0"),
        ]
        e2e.clear_marker()
        e2e.clear_downloads()
        # Held before its headers: "Downloading" stays until it has been seen.
        e2e.publish_manifest("2.7.0", "https://updates.vantrel.app/%s0/%s"
                             % (e2e.hold_path("signature"), SETUP))
        with e2e.App(exe=SIGNED) as app:
            app.wait_status("Ready to download")
            for name, body, detail in cases:
                with self.subTest(name):
                    e2e.publish(SETUP, body)
                    e2e.reset_hold("signature")
                    app.click_rect(e2e.MAIN_BUTTON)
                    app.wait_status("Downloading")
                    e2e.wait_held("signature", 1)
                    e2e.release_hold("signature", 1)
                    status = "Installed" if name == "same subject" else "Download failed"
                    shot = app.wait_status(status)
                    shot.save("signature-" + name.replace(" ", "-").replace(",", ""))
                    heard = e2e.run(["wine", READER, "tree"]).decode().splitlines()[2]
                    self.assertEqual(heard.split(" | ")[2], detail)
                    print("%s: window reads %r" % (name, shot.detail()))
                    runs = [('"%s" /S /R' % e2e.windows_setup_path("2.7.0"), "/S /R")]
                    self.assertEqual(e2e.marker_runs(), runs if status == "Installed" else [])

    def test_signed_exe_whose_own_signature_fails_here_still_refuses(self):
        e2e.clear_marker()
        e2e.clear_downloads()
        e2e.publish(SETUP, e2e.fixture("setup-exit0.exe"))
        e2e.publish_manifest("2.7.0", "https://updates.vantrel.app/" + SETUP)
        with e2e.App(exe=STUB_CHANGED) as app:
            app.wait_status("Ready to download")
            app.click_rect(e2e.MAIN_BUTTON)
            app.wait_status("Download failed")
            heard = e2e.run(["wine", READER, "tree"]).decode().splitlines()[2]
            self.assertEqual(heard.split(" | ")[2], "Setup program is not signed.")
        self.assertEqual(e2e.marker_runs(), [])
        events = [line.split("] ", 1)[1] for line in e2e.support_log()]
        self.assertIn('bootstrapper signed by "Vantrel TEST code signing - throwaway", not '
                      'verified here (0x80096010): setups must be signed by the same', events)


if __name__ == "__main__":
    e2e.main("test_signature")
