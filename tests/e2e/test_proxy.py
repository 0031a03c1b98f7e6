#!/usr/bin/env python3
"""The user's proxy setting, with a real squid: the program's hosts file
leaves the update host out, so only the proxy (which has a hosts file of its
own) reaches it. A static proxy and a PAC file both install; a proxy that is
down fails with the system's code in the support log."""

import hashlib
import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import unittest

import e2e

KEY = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections"
PROXY = "127.0.0.1:3128"
SETUP = "dl/proxied.exe"
PAC = "proxy.pac"
LINE = re.compile(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z \[\d+:\d+\] (.*)")


def set_user_proxy(flags, proxy="", bypass="", pac_url=""):
    """Windows' record of the user's setting: flags 2 a static proxy, 4 a PAC
    URL (1: direct otherwise); three counted strings; 32 zero bytes."""
    record = struct.pack("<III", 0x46, 1, flags)
    for text in (proxy, bypass, pac_url):
        record += struct.pack("<I", len(text)) + text.encode()
    wine_reg("add", "/v", "DefaultConnectionSettings", "/t", "REG_BINARY", "/d",
             (record + bytes(32)).hex(), "/f")


def wine_reg(*args):
    subprocess.run(["wine", "reg", args[0], KEY] + list(args[1:]), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60, check=True)


class Squid:
    """squid on PROXY, resolving the update host through a hosts file of its own."""

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="vantrel-squid-")
        os.chmod(self.dir, 0o777)  # squid runs as the proxy user
        with open(os.path.join(self.dir, "hosts"), "w") as f:
            f.write("127.0.0.1 %s\n" % e2e.HOST)
        conf = os.path.join(self.dir, "squid.conf")
        with open(conf, "w") as f:
            f.write("http_port %s\nhosts_file %s/hosts\nacl localnet src 127.0.0.0/8\n"
                    "http_access allow localnet\nhttp_access deny all\ncache deny all\n"
                    "access_log %s/access.log\ncache_log %s/cache.log\npid_filename %s/pid\n"
                    % ((PROXY,) + (self.dir,) * 4))
        self.proc = subprocess.Popen(["squid", "-f", conf, "-N"], stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        e2e.wait_until(self.listening, 30, "squid on " + PROXY)
        return self

    def listening(self):
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", 3128)) == 0

    def __exit__(self, *exc):
        self.proc.terminate()
        self.proc.wait(60)
        shutil.rmtree(self.dir, ignore_errors=True)

    def tunnels(self):
        with open(os.path.join(self.dir, "access.log")) as f:
            return [line.split()[6] for line in f if " CONNECT " in line]


class ProxyTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.no_host = e2e.HostsFile(None)

    @classmethod
    def tearDownClass(cls):
        wine_reg("delete", "/v", "DefaultConnectionSettings", "/f")
        cls.no_host.remove()
        for path in (e2e.MANIFEST, SETUP, PAC):
            e2e.unpublish(path)
        e2e.clear_marker()
        e2e.clear_downloads()

    def events(self):
        lines = e2e.support_log()
        for line in lines:
            self.assertRegex(line, LINE)
        return [LINE.fullmatch(line).group(1) for line in lines]

    def install_through_proxy(self, via):
        e2e.clear_marker()
        e2e.clear_downloads()
        body = e2e.fixture("setup-exit0.exe")
        e2e.publish(SETUP, body)
        # The query may hold a token: the log never shows it.
        e2e.publish_manifest("3.1.0", "https://%s/%s?token=secret" % (e2e.HOST, SETUP))
        since = len(e2e.server_requests())
        with Squid() as squid:
            with e2e.App(hosts=self.no_host.path) as app:
                app.wait_status("Ready to download")
                app.click_rect(e2e.MAIN_BUTTON)
                app.wait_status("Installed")
            e2e.wait_until(squid.tunnels, 10, "squid to log the tunnel")
            self.assertEqual(set(squid.tunnels()), {e2e.HOST + ":443"})
        self.assertEqual(len(e2e.marker_runs()), 1)
        requests = [r for r in e2e.server_requests()[since:] if r != "GET /" + PAC]
        self.assertEqual(requests, ["GET " + e2e.MANIFEST_PATH, "GET /%s?token=secret" % SETUP])
        events = self.events()
        self.assertNotIn("secret", "\n".join(events))
        manifest = "https://%s%s" % (e2e.HOST, e2e.MANIFEST_PATH)
        setup = "https://%s/%s" % (e2e.HOST, SETUP)
        for url in (manifest, setup):
            self.assertIn("GET %s via %s" % (url, via), events)
        self.assertIn("manifest: version 3.1.0, setup %s, no SHA-256" % setup, events)
        self.assertIn("stored %s, %d bytes, SHA-256 %s"
                      % (e2e.windows_setup_path("3.1.0"), len(body),
                         hashlib.sha256(body).hexdigest().upper()), events)
        self.assertIn("HTTP 200, Content-Length %d, received %d bytes in"
                      % (len(body), len(body)), "\n".join(events))
        self.assertEqual(events[-3:], ["installer started", "installer exit code 0",
                                       "installed 3.1.0"])
        print("\n".join(e2e.support_log()))

    def test_static_proxy(self):
        set_user_proxy(3, PROXY, "<local>")
        self.install_through_proxy(PROXY + " (static)")

    def test_pac_file(self):
        e2e.publish(PAC, 'function FindProxyForURL(url, host) { return "PROXY %s"; }' % PROXY)
        set_user_proxy(5, pac_url="http://127.0.0.1/" + PAC)
        self.install_through_proxy(PROXY + " (PAC file)")

    def test_proxy_down_fails_with_the_system_code(self):
        # A log over 1 MiB is put aside whole at start.
        old = b"x" * (1024 * 1024) + b"\r\n"
        os.makedirs(e2e.download_folder(), exist_ok=True)
        with open(os.path.join(e2e.download_folder(), "bootstrapper.log"), "wb") as f:
            f.write(old)
        set_user_proxy(3, "127.0.0.1:3129")  # nothing listens there
        with e2e.App(hosts=self.no_host.path) as app:
            shot = app.wait_status("Download failed")
            self.assertEqual(shot.detail(), "Download request failed.")
            app.click_rect(e2e.CLOSE_BOX)
            self.assertEqual(app.wait_exit(), 0)
        with open(os.path.join(e2e.download_folder(), "bootstrapper.old.log"), "rb") as f:
            self.assertEqual(f.read(), old)
        events = self.events()
        print("\n".join(e2e.support_log()))
        self.assertRegex(events[0], r"^start Vantrel Bootstrapper \d+\.\d+\.\d+ on Windows "
                                    r"\d+\.\d+ build \d+$")
        self.assertEqual(events[1], "GET https://%s%s via 127.0.0.1:3129 (static)"
                         % (e2e.HOST, e2e.MANIFEST_PATH))
        # Wine has no text for WinHTTP's codes; Windows says "A connection
        # with the server could not be established".
        self.assertRegex(events[2], r"^Download request failed\. .*\b12029\b")
        self.assertEqual(events[3:], ["no response in %s ms" % events[3].split()[3],
                                      "failed: Download request failed.", "end"])


if __name__ == "__main__":
    e2e.main("test_proxy")
