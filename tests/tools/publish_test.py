#!/usr/bin/env python3
"""make publish and make check-feed (tools/publish.py) against the local update
server in its network namespace, with setups signed by the throwaway test
chain: a good release passes both, and each fault fails with its own line.
Only the bootstrapper's signature is read, so a signed setup stands in for it.
Needs root."""

import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TOOL = os.path.join(ROOT, "tools", "publish.py")
CHAIN = os.path.join(ROOT, "build", "test-signing")
HOST = "https://updates.vantrel.app"
OWN = "Vantrel TEST code signing - throwaway"
WORK = os.environ.get("PUBLISH_TEST_WORK", "")
RELEASE = os.path.join(WORK, "release")
LIVE = os.path.join(RELEASE, "vantrel", "updates", "beta", "latest.json")


def path(name):
    return os.path.join(WORK, name)


def sign(unsigned, out, key="test-code-signing", description="Vantrel"):
    subprocess.run(["osslsigncode", "sign", "-pkcs12", os.path.join(CHAIN, key + ".p12"),
                    "-readpass", os.path.join(CHAIN, "test-code-signing.password"),
                    "-h", "sha256", "-n", description, "-in", unsigned, "-out", out],
                   check=True, capture_output=True)


def upload(source, relative):
    os.makedirs(os.path.dirname(os.path.join(RELEASE, relative)), exist_ok=True)
    shutil.copyfile(source, os.path.join(RELEASE, relative))


def tool(command, **settings):
    """Exit status, FAILED lines and warnings of one run."""
    env = dict(os.environ, BOOTSTRAPPER=path("bootstrapper.exe"), OUT=path("latest.json"),
               **settings)
    done = subprocess.run([sys.executable, TOOL, command], env=env, capture_output=True,
                          text=True, timeout=120)
    lines = done.stdout.splitlines()
    failed = [l.split("FAILED: ", 1)[1] for l in lines if "FAILED: " in l]
    warned = [l.split("warning: ", 1)[1] for l in lines if "warning: " in l]
    return done.returncode, failed, warned, done.stdout + done.stderr


def publish(setup, version="1.5.0", url=HOST + "/rel/1.5.0/setup.exe", **settings):
    return tool("publish", SETUP=path(setup), VERSION=version, URL=url, **settings)


class PublishTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        nsi = os.path.join(ROOT, "demo", "demo_setup.nsi")
        with open(nsi) as f:
            x86 = f.read().replace("Target amd64-unicode", "Target x86-unicode")
        with open(path("x86.nsi"), "w") as f:
            f.write(x86)
        for script, out in ((nsi, "unsigned.exe"), (path("x86.nsi"), "x86-unsigned.exe")):
            subprocess.run(["makensis", "-V1", "-DVERSION=1.5.0", "-DOUTFILE=" + path(out), script],
                           check=True, cwd=os.path.dirname(nsi))
        sign(path("unsigned.exe"), path("bootstrapper.exe"))
        sign(path("unsigned.exe"), path("good.exe"))
        sign(path("unsigned.exe"), path("other.exe"), key="other-code-signing")
        sign(path("good.exe"), path("resigned.exe"), description="Vantrel, signed again")
        sign(path("x86-unsigned.exe"), path("x86.exe"))

    def setUp(self):
        self.live("1.4.2")

    def live(self, version, ensure_ascii=False):
        entry = {"url": HOST + "/rel/old.exe"}
        os.makedirs(os.path.dirname(LIVE), exist_ok=True)
        with open(LIVE, "w", encoding="utf-8") as f:
            json.dump({"version": version, "platforms": {"windows-x86_64-nsis": entry}}, f,
                      ensure_ascii=ensure_ascii)

    def test_good_release_passes_both(self):
        upload(path("good.exe"), "rel/1.5.0/setup.exe")
        status, failed, warned, said = publish("good.exe", url=HOST + "/redirect/rel/1.5.0/setup.exe")
        self.assertEqual((status, failed, warned), (0, [], []), said)
        self.assertIn("check-feed: setup %s/rel/1.5.0/setup.exe: 200, %d bytes, SHA-256 matches"
                      % (HOST, os.path.getsize(path("good.exe"))), said.splitlines())
        shutil.copyfile(path("latest.json"), LIVE)
        self.assertEqual(tool("check-feed")[:3], (0, [], []))

    def test_each_fault_has_its_own_line(self):
        size = os.path.getsize(path("good.exe"))
        sha = lambda name: subprocess.run(["sha256sum", path(name)], capture_output=True,
                                          text=True).stdout.split()[0]
        upload(path("good.exe"), "rel/1.5.0/setup.exe")

        def feed_of(url, uploaded=None):
            publish("good.exe", url=HOST + url)
            if uploaded:
                upload(path(uploaded), url[1:])
            return tool("check-feed", MANIFEST=path("latest.json"))

        def escaped_live():
            self.live("1.5-\u00e9", ensure_ascii=True)
            return tool("check-feed")

        cases = [
            ("unsigned", lambda: publish("unsigned.exe"), 1, [
                'SETUP %s would be refused: "Setup program is not signed.": sign it with the '
                "bootstrapper's certificate (scripts/release.sh sign IN OUT) before taking its "
                "SHA-256" % path("unsigned.exe")], []),
            ("another subject", lambda: publish("other.exe"), 1, [
                'SETUP %s would be refused: "Setup program is signed by "Vantrel TEST other '
                'publisher - throwaway", not by "%s".": sign it with the certificate that signed '
                "the bootstrapper (scripts/release.sh sign IN OUT)" % (path("other.exe"), OWN)], []),
            ("32-bit", lambda: publish("x86.exe"), 1, [
                "SETUP %s is a 32-bit (i386) Windows program, and the bootstrapper runs 64-bit "
                "(amd64) setups: build it for amd64 (NSIS: Target amd64-unicode)" % path("x86.exe")],
             []),
            ("version with a colon", lambda: publish("good.exe", version="1.5:0"), 1, [
                'VERSION "1.5:0" cannot name the bootstrapper\'s file (Vantrel-1.5:0.exe): leave '
                'out < > : " / \\ | ? * and control characters'], []),
            ("dotted numbers compared as numbers", lambda: publish("good.exe", version="1.4.10"),
             0, [], []),
            ("older version", lambda: publish("good.exe", version="1.4.1"), 1, [
                "VERSION 1.4.1 is not newer than the live 1.4.2: raise it, or give ALLOW_OLDER=1 "
                "to publish it on purpose"], []),
            ("older on purpose", lambda: publish("good.exe", version="1.4.1", ALLOW_OLDER="1"), 0,
             [], ["version 1.4.1 is not newer than the live 1.4.2: published on purpose "
                  "(ALLOW_OLDER=1); bootstrappers install it as it is"]),
            ("bad port", lambda: publish("good.exe", url="https://updates.vantrel.app:65536/s.exe"),
             1, ['URL https://updates.vantrel.app:65536/s.exe is refused by the bootstrapper '
                 '("Download URL has an invalid port."): give a port from 1 to 65535, or none'], []),
            ("setup answers 404", lambda: feed_of("/rel/none.exe"), 1, [
                "setup %s/rel/none.exe answers HTTP 404: upload the setup there, or publish its "
                "real URL" % HOST], []),
            ("re-signed after the manifest", lambda: feed_of("/rel/re.exe", "resigned.exe"), 1, [
                "setup %s/rel/re.exe is not the file the manifest names (SHA-256 %s, manifest %s):"
                " it changed after make publish (signed again?): run make publish on the file as "
                "uploaded, and upload both" % (HOST, sha("resigned.exe"), sha("good.exe"))], []),
            ("server ignores Range", lambda: feed_of("/norange/rel/1.5.0/setup.exe"), 0, [], [
                'setup %s/norange/rel/1.5.0/setup.exe answers HTTP 200 (Content-Range "") to '
                '"Range: bytes=%d-": downloads start again from zero after a drop; serve it from a '
                "server that honours Range" % (HOST, size // 2)]),
            ("manifest with \\u escapes", escaped_live, 1, [
                'manifest %s/vantrel/updates/beta/latest.json: the bootstrapper reads version '
                '"1.5-\\u00e9" where JSON means "1.5-\u00e9": write it as UTF-8 without \\u '
                "escapes (make publish does)" % HOST], []),
        ]
        for name, run, status, failures, warnings in cases:
            with self.subTest(name):
                self.live("1.4.2")
                got_status, failed, warned, said = run()
                self.assertEqual((got_status, failed, warned), (status, failures, warnings), said)


def main():
    global WORK
    if WORK:
        unittest.main(argv=sys.argv[:1], verbosity=2)
    if os.geteuid() != 0:
        sys.exit("publish_test: must run as root (the update host is in a network namespace)")
    WORK = tempfile.mkdtemp(prefix="vantrel-publish.")
    try:
        os.makedirs(os.path.join(WORK, "release"))
        status = subprocess.run([os.path.join(ROOT, "scripts", "netns_run.sh"), "--release",
                                 os.path.join(WORK, "release"), "--log", os.path.join(WORK, "log"),
                                 "--", sys.executable, os.path.abspath(__file__)],
                                env=dict(os.environ, PUBLISH_TEST_WORK=WORK)).returncode
    finally:
        shutil.rmtree(WORK, ignore_errors=True)
    sys.exit(status)


if __name__ == "__main__":
    main()
