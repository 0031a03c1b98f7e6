#!/usr/bin/env python3
"""The user's proxy setting with a real squid. The program's hosts file leaves
the update host out, so only squid (with a hosts file of its own) reaches it."""

import hashlib
import os
import re
import socket
import struct
import subprocess
import tempfile
import unittest

import e2e

PROXY = "127.0.0.1:3128"
CDN = "cdn.vantrel.app"  # only squid knows this name
SETUP = "dl/proxied.exe"
LINE = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[\d+:\d+\] (.*)")


def set_user_proxy(flags, proxy="", pac_url=""):
    """Windows' record of it (no flags: none): 0x46, a counter, flags (2 static,
    4 PAC URL), the proxy, bypass list and PAC URL counted, 32 zero bytes."""
    record = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy, "<local>", pac_url):
        record += struct.pack("<I", len(text)) + text.encode()
    key = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
    data = ["/t", "REG_BINARY", "/d", (record + bytes(32)).hex()] if flags else []
    # Deleting a value that is not there fails, and is no failure here.
    subprocess.run(["wine", "reg", "add" if flags else "delete", key, "/v",
                    "DefaultConnectionSettings", "/f"] + data, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60,
                   check=bool(flags))


class ProxyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.no_host = e2e.HostsFile(None)
        cls.squid_dir = tempfile.TemporaryDirectory()
        folder = cls.squid_dir.name
        os.chmod(folder, 0o777)  # squid runs as the proxy user
        with open(folder + "/hosts", "w") as f:
            f.write("127.0.0.1 %s %s\n" % (e2e.HOST, CDN))
        with open(folder + "/squid.conf", "w") as f:
            f.write("http_port %s\nhosts_file %s/hosts\nacl localnet src 127.0.0.0/8\n"
                    "http_access allow localnet\ncache deny all\naccess_log %s/access.log\n"
                    "cache_log %s/cache.log\npid_filename %s/pid\n" % ((PROXY,) + (folder,) * 4))
        cls.squid = subprocess.Popen(["squid", "-f", folder + "/squid.conf", "-N"],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        e2e.wait_until(lambda: socket.socket().connect_ex(("127.0.0.1", 3128)) == 0, 30, "squid")

    def setUp(self):
        # Whatever an earlier test left, each starts from no user proxy.
        set_user_proxy(0)

    @classmethod
    def tearDownClass(cls):
        cls.squid.terminate()
        cls.squid.wait(60)
        cls.squid_dir.cleanup()
        set_user_proxy(0)
        cls.no_host.remove()
        for path in (e2e.MANIFEST, SETUP, "proxy.pac", "dl/target.txt"):
            e2e.unpublish(path)
        e2e.clear_marker()
        e2e.clear_downloads()

    def install_through(self, flags, proxy, pac_url):
        """One install with this proxy setting, from a clean folder, where
        only the proxy reaches the update host: the support log's events."""
        e2e.clear_marker()
        e2e.clear_downloads()
        set_user_proxy(flags, proxy, pac_url)
        with e2e.App(hosts=self.no_host.path) as app:
            app.wait_status("Ready to download")
            app.click_rect(e2e.MAIN_BUTTON)
            app.wait_status("Installed")
        self.assertEqual(len(e2e.marker_runs()), 1)
        return [LINE.fullmatch(line).group(1) for line in e2e.support_log()]

    def test_static_proxy_and_pac_file_install(self):
        e2e.publish("proxy.pac", 'function FindProxyForURL(u, h) { return "PROXY %s"; }' % PROXY)
        body = e2e.fixture("setup-exit0.exe")
        e2e.publish(SETUP, body)
        setup = "https://%s/%s" % (e2e.HOST, SETUP)
        e2e.publish_manifest("3.1.0", setup + "?token=secret")  # a query the log never shows
        for flags, proxy, pac_url, source in ((3, PROXY, "", "static"),
                                              (5, "", "http://127.0.0.1/proxy.pac", "PAC file")):
            with self.subTest(source):
                events = self.install_through(flags, proxy, pac_url)
                self.assertNotIn("secret", "".join(events))
                for url in ("https://" + e2e.HOST + e2e.MANIFEST_PATH, setup):
                    self.assertIn("GET %s via %s (%s)" % (url, PROXY, source), events)
                self.assertIn("manifest: version 3.1.0, setup %s, no SHA-256" % setup, events)
                self.assertIn("stored %s, %d bytes, SHA-256 %s" % (
                    e2e.windows_setup_path("3.1.0"), len(body),
                    hashlib.sha256(body).hexdigest().upper()), events)
                self.assertEqual(events[-3:], ["installer started", "installer exit code 0",
                                               "installed 3.1.0"])

    def test_no_secret_reaches_the_log_or_any_file(self):
        # Every place a secret comes from, in one run: a proxy list whose
        # second proxy has a user and password; a PAC URL with a query (the
        # file is missing, so its failure is logged); the manifest's setup URL
        # with a token; and the target it redirects to, with userinfo and a
        # query of its own.
        secrets = ["pxuser", "pxsecret", "pacsecret", "mansecret", "rduser", "rdsecret",
                   "rdqsecret"]
        body = e2e.fixture("setup-exit0.exe")
        e2e.publish(SETUP, body)
        e2e.publish("dl/target.txt",
                    "https://rduser:rdsecret@%s/%s?rdtoken=rdqsecret\n" % (e2e.HOST, SETUP))
        redirect = "https://%s/redirect-as/dl/target.txt" % e2e.HOST
        e2e.publish_manifest("3.3.0", redirect + "?token=mansecret")
        proxies = "%s;pxuser:pxsecret@127.0.0.1:3129" % PROXY
        events = self.install_through(7, proxies, "http://127.0.0.1/none.pac?key=pacsecret")
        # Each site was reached, and shows its URL or proxy without the secret.
        logged = "%s;127.0.0.1:3129" % PROXY
        setup = "https://%s/%s" % (e2e.HOST, SETUP)
        for event in ["GET https://%s%s via %s (static)" % (e2e.HOST, e2e.MANIFEST_PATH, logged),
                      "manifest: version 3.3.0, setup %s, no SHA-256" % redirect,
                      "GET %s via %s (static)" % (redirect, logged),
                      "HTTP 302, redirect to " + setup,
                      "GET %s via %s (static)" % (setup, logged), "installed 3.3.0"]:
            self.assertIn(event, events)
        self.assertTrue(any(e.startswith("no proxy from http://127.0.0.1/none.pac: ")
                            for e in events), events)
        # Nor does anything else the program wrote.
        folder = e2e.download_folder()
        for name in sorted(os.listdir(folder)):
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read().lower()
            for secret in secrets:
                for encoded in (secret.encode(), secret.encode("utf-16-le")):
                    self.assertNotIn(encoded, data, "%s in %s" % (secret, name))

    def test_each_hop_of_a_redirect_takes_its_own_proxy(self):
        # The update host goes direct; the CDN it redirects to is reached
        # only through squid, as the PAC file says.
        e2e.publish("proxy.pac", 'function FindProxyForURL(u, h) { return h == "%s" ? '
                    '"PROXY %s" : "DIRECT"; }' % (CDN, PROXY))
        e2e.publish(SETUP, e2e.fixture("setup-exit0.exe"))
        first = "https://%s/redirect-to/%s/%s" % (e2e.HOST, CDN, SETUP)
        e2e.publish_manifest("3.2.0", first)
        e2e.clear_marker()
        e2e.clear_downloads()
        set_user_proxy(5, "", "http://127.0.0.1/proxy.pac")
        with e2e.App() as app:
            app.wait_status("Ready to download")
            app.click_rect(e2e.MAIN_BUTTON)
            app.wait_status("Installed")
        self.assertEqual(len(e2e.marker_runs()), 1)
        events = [LINE.fullmatch(line).group(1) for line in e2e.support_log()]
        at = events.index("GET %s via direct (PAC file)" % first)
        cdn = "https://%s/%s" % (CDN, SETUP)
        self.assertEqual(events[at + 1:at + 3], ["HTTP 302, redirect to " + cdn,
                                                 "GET %s via %s (PAC file)" % (cdn, PROXY)])

    def test_proxy_down_fails_with_the_system_code(self):
        old = b"x" * (1024 * 1024) + b"\r\n"  # over 1 MiB: put aside whole at start
        os.makedirs(e2e.download_folder(), exist_ok=True)
        with open(os.path.join(e2e.download_folder(), "bootstrapper.log"), "wb") as f:
            f.write(old)
        set_user_proxy(3, "127.0.0.1:3129")  # nothing listens there
        with e2e.App(hosts=self.no_host.path) as app:
            # Refused six times in all, about 31 s of waits between.
            self.assertEqual(app.wait_status("Download failed", timeout=90).detail(),
                             "Download request failed.")
            app.click_rect(e2e.CLOSE_BOX)
            self.assertEqual(app.wait_exit(), 0)
        with open(os.path.join(e2e.download_folder(), "bootstrapper.old.log"), "rb") as f:
            self.assertEqual(f.read(), old)
        events = [LINE.fullmatch(line).group(1) for line in e2e.support_log()]
        self.assertRegex(events[0], r"^start Vantrel Bootstrapper [\d.]+ on Windows [\d.]+ build \d+$")
        get = "GET https://%s%s via 127.0.0.1:3129 (static)" % (e2e.HOST, e2e.MANIFEST_PATH)
        self.assertEqual(events[1], get)
        self.assertEqual(events.count(get), 6)
        # Wine has no text for WinHTTP's codes; the code itself is the point.
        self.assertRegex(events[2], r"^Download request failed\. .*\b12029\b")
        self.assertEqual([re.sub(r" in \d+ ms", "", e) for e in events if e.startswith("retry")],
                         ['retry %d of 5 after "Download request failed." (code 12029), from byte 0'
                          % n for n in range(1, 6)])
        self.assertRegex("|".join(events[-3:]),
                         r"^no response in \d+ ms\|failed: Download request failed\. "
                         r"\(code 12029, 0x2EFD\)\|end$")


if __name__ == "__main__":
    e2e.main("test_proxy")
