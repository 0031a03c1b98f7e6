#!/usr/bin/env python3
"""feed_rules' own output, exactly, for each of its commands: what the
publisher's tool reads of the bootstrapper's rules.
usage: feed_rules_test.py build/native/feed_rules"""

import os
import subprocess
import sys
import tempfile
import unittest

RULES = sys.argv[1] if len(sys.argv) > 1 else "build/native/feed_rules"
ZEROS = "0" * 64


class FeedRulesOutput(unittest.TestCase):
    def test_each_command(self):
        manifest = tempfile.NamedTemporaryFile("w", suffix=".json", delete=False)
        manifest.write('{"version":"1.5-\\u00e9","platforms":{"windows-x86_64-nsis":'
                       '{"url":"https:\\/\\/h\\/s.exe","sha256":"%s"}}}' % ("AB" * 32))
        manifest.close()
        self.addCleanup(os.remove, manifest.name)
        cases = [
            (["product"], 0, '{"ok":true,"manifest_url":"https://updates.vantrel.app/vantrel/'
             'updates/beta/latest.json","user_agent":"Vantrel Bootstrapper"}'),
            (["url", "https://[::1]:8443/a?b#c"], 0,
             '{"ok":true,"host":"[::1]","port":8443,"path":"/a?b","secure":true}'),
            (["url", "https://h:0/"], 1, '{"ok":false,"error":"Download URL has an invalid port."}'),
            (["url", "https://u:p@h/"], 1, '{"ok":false,"error":"Download URL carries userinfo, '
             'which the bootstrapper drops."}'),
            (["url", "ftp://h/"], 1,
             '{"ok":false,"error":"Only HTTP and HTTPS URLs are supported."}'),
            (["follow", "https://h/a/b", "302", "../c", "0"], 0,
             '{"ok":true,"redirect":true,"target":"https://h/c"}'),
            (["follow", "https://h/a", "301", "http://h/a", "0"], 1,
             '{"ok":false,"error":"Download request failed."}'),
            (["follow", "https://h/a", "308", "/b", "10"], 1,
             '{"ok":false,"error":"Download request failed."}'),
            (["follow", "https://h/a", "200", "", "0"], 0, '{"ok":true,"redirect":false}'),
            (["version", "1.4.2"], 0, '{"ok":true,"file_name":"Vantrel-1.4.2.exe"}'),
            (["version", "1\t2"], 1, '{"ok":false,"error":"The version holds a character Windows '
             'refuses in a file name."}'),
            (["manifest", manifest.name], 0, '{"ok":true,"version":"1.5-\\\\u00e9",'
             '"url":"https://h/s.exe","sha256":"%s"}' % ("ab" * 32)),
            (["content-length", "+0100"], 0, '{"ok":true,"length":100}'),
            (["content-length", "-1"], 1,
             '{"ok":false,"error":"Content-Length is not a byte count."}'),
            (["resume", '"e"', "", "10", "5", "206", "bytes 5-9/10", "5", "0"], 0,
             '{"ok":true,"validator":"\\"e\\"","asks_from":5,"answer":"append"}'),
            (["resume", 'W/"e"', "", "10", "5", "206", "bytes 5-9/10", "5", "0"], 0,
             '{"ok":true,"validator":"","asks_from":0,"answer":"refuse"}'),
            (["resume", "", "Mon", "10", "5", "206", "bytes 5-9/11", "5", "1"], 0,
             '{"ok":true,"validator":"Mon","asks_from":5,"answer":"restart"}'),
            (["signer", "", "", "0x800b0100", "", ""], 0,
             '{"ok":true,"bootstrapper_signed":false}'),
            (["signer", "3031", "A", "0x800b0100", "", ""], 1,
             '{"ok":false,"error":"Setup program is not signed."}'),
            (["signer", "3031", "A", "0x80096010", "3031", "A"], 1,
             '{"ok":false,"error":"Setup program\'s signature is not valid."}'),
            (["signer", "3031", "A", "0", "3032", "B"], 1,
             '{"ok":false,"error":"Setup program is signed by \\"B\\", not by \\"A\\"."}'),
            (["signer", "3031", "A", "0", "3031", "A"], 0, '{"ok":true,"bootstrapper_signed":true}'),
            (["url"], 2, ""),
        ]
        for args, status, output in cases:
            with self.subTest(args):
                done = subprocess.run([RULES, *args], capture_output=True, text=True)
                self.assertEqual((done.returncode, done.stdout.strip()), (status, output))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
