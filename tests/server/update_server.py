#!/usr/bin/env python3
"""Loopback update server for the bootstrapper's network tests.

Serves a release folder over HTTP and HTTPS with the same handler, and lets a
test pick how a response misbehaves by a path prefix. The rest of the path is a
file under --root (URL-decoded), unless said otherwise:

  /status/<code>/<file>   that status, the file as body (a short HTML page
                          when <file> is empty; 404 when it is missing)
  /nolength/<file>        no Content-Length; the body ends when the server
                          closes the connection
  /chunked/<file>         Transfer-Encoding: chunked, 4 KiB chunks
  /cut/<N>/<file>         announces the whole file, sends N bytes, then drops
                          the connection (TCP close, no TLS close_notify)
  /slow/<ms>/<file>       16 KiB pieces with <ms> of sleep between them
  /delay/<ms>/<file>      waits <ms> before answering at all
  /redirect/<file>        302 to /<file>
  /length/<text>/<file>   the file, with the Content-Length header set to the
                          URL-decoded <text> as is (e.g. %2B100, 00100). Only
                          meaningful where <text> still denotes the byte count;
                          the connection is closed afterwards either way
  /bytes/<hex>            exactly those bytes
  /big/<N>                N bytes where byte i is i*7 mod 251, made on the fly
                          and sent in 64 KiB pieces
  anything else           the static file, or 404 with a small body; but
                          when <file>.once exists beside it, the first request
                          takes that file away and is answered as it says
                          instead: "<delay ms> <status>" (e.g. "8000 500": a
                          check that hangs, then fails, while later requests
                          for the same file are served at once), or
                          "<delay ms> <scenario>" to serve it as
                          /<scenario>/<file> would be (e.g. "0 cut/1000")
  /redirect-http/<file>   302 to http://<host>/<file>, plain HTTP

A request target in absolute form (GET https://host:443/path) is served and
logged as its path.

Every response but /nolength, /cut and /length carries Content-Length (or is
chunked) and keeps the connection alive (HTTP/1.1). Each request is appended
to --log as "METHOD PATH" and flushed at once, so tests can count requests;
the log is emptied when the server starts.
"""

import argparse
import mimetypes
import os
import signal
import socket
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote

CHUNK = 4096
SLOW_PIECE = 16 * 1024
BIG_PIECE = 64 * 1024
# One period of the /big pattern is 251 bytes, so any piece is a slice of this.
BIG_PATTERN = bytes((i * 7) % 251 for i in range(BIG_PIECE + 251))

# Errors a client causes by hanging up or refusing our certificate; a test
# that does this on purpose should not fill stderr with tracebacks.
CLIENT_GONE = (ConnectionError, TimeoutError, ssl.SSLError, socket.timeout)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = 60  # idle keep-alive connections don't live forever

    def version_string(self):
        return "VantrelTestServer/1.0"

    def log_message(self, format, *args):
        pass

    def parse_request(self):
        ok = super().parse_request()
        # Through a proxy's tunnel a client may name the target in absolute
        # form, "https://host:443/path": it is routed and logged by its path.
        scheme, _, rest = self.path.partition("://")
        if ok and scheme in ("http", "https") and rest:
            self.path = "/" + rest.partition("/")[2]
        if ok:
            self.server.log_request_line(self.command, self.path)
        return ok

    def do_GET(self):
        self.dispatch()

    def do_HEAD(self):
        self.dispatch()

    # --- helpers -----------------------------------------------------------

    def body_wanted(self):
        return self.command != "HEAD"

    def start(self, code, headers):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()

    def simple(self, code, text, extra=()):
        body = ("<html><body><h1>%d %s</h1><p>%s</p></body></html>\n"
                % (code, self.responses.get(code, ("",))[0], text)).encode()
        self.start(code, [("Content-Type", "text/html; charset=utf-8"),
                          ("Content-Length", str(len(body))), *extra])
        if self.body_wanted():
            self.wfile.write(body)

    def resolve(self, segments):
        """The file named by the URL segments, or None when it isn't one."""
        rel = "/".join(unquote(s) for s in segments)
        root = self.server.root
        full = os.path.realpath(os.path.join(root, rel))
        if full != root and not full.startswith(root + os.sep):
            return None
        if os.path.isdir(full):
            full = os.path.join(full, "index.html")
        return full if os.path.isfile(full) else None

    def content_type(self, path):
        return mimetypes.guess_type(path)[0] or "application/octet-stream"

    def copy(self, f, limit=None, piece=64 * 1024, pause=0.0):
        sent = 0
        while limit is None or sent < limit:
            want = piece if limit is None else min(piece, limit - sent)
            data = f.read(want)
            if not data:
                break
            if sent and pause:
                time.sleep(pause)
            self.wfile.write(data)
            sent += len(data)

    def not_found(self):
        self.simple(404, "No such file.")

    # --- scenarios ---------------------------------------------------------

    def dispatch(self):
        raw = self.path.split("?", 1)[0]
        segments = raw.split("/")[1:]
        kind = segments[0]
        handler = getattr(self, "scenario_" + kind.replace("-", "_"), None)
        try:
            if handler is not None:
                handler(segments[1:])
            elif not self.answer_once(segments):
                self.serve_file(segments)
        except (ValueError, IndexError):
            self.simple(400, "Bad scenario arguments.")

    def answer_once(self, segments):
        rel = "/".join(unquote(s) for s in segments)
        once = os.path.realpath(os.path.join(self.server.root, rel)) + ".once"
        if not once.startswith(self.server.root + os.sep):
            return False
        # Renaming claims it: of two requests at once, only one gets it.
        claimed = once + ".taken.%d" % threading.get_ident()
        try:
            os.rename(once, claimed)
        except OSError:
            return False
        with open(claimed) as f:
            delay_ms, what = f.read().split()
        os.remove(claimed)
        time.sleep(int(delay_ms) / 1000.0)
        if what.isdigit():
            self.simple(int(what), "Answered once by the test server.")
        else:
            scenario = what.split("/")
            getattr(self, "scenario_" + scenario[0].replace("-", "_"))(scenario[1:] + segments)
        return True

    def serve_file(self, segments, code=200, extra=()):
        path = self.resolve(segments)
        if path is None:
            return self.not_found()
        with open(path, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            self.start(code, [("Content-Type", self.content_type(path)),
                              ("Content-Length", str(size)), *extra])
            if self.body_wanted():
                self.copy(f)

    def scenario_status(self, args):
        code = int(args[0])
        if not 200 <= code <= 599:
            raise ValueError(code)
        rest = args[1:]
        if code in (204, 304):  # these never carry a body
            self.start(code, [])
        elif not "".join(rest):
            self.simple(code, "Status page from the test server.")
        else:
            self.serve_file(rest, code)

    def scenario_nolength(self, args):
        path = self.resolve(args)
        if path is None:
            return self.not_found()
        self.close_connection = True
        with open(path, "rb") as f:
            self.start(200, [("Content-Type", self.content_type(path)),
                             ("Connection", "close")])
            if self.body_wanted():
                self.copy(f)

    def scenario_chunked(self, args):
        path = self.resolve(args)
        if path is None:
            return self.not_found()
        with open(path, "rb") as f:
            self.start(200, [("Content-Type", self.content_type(path)),
                             ("Transfer-Encoding", "chunked")])
            if not self.body_wanted():
                return
            while True:
                data = f.read(CHUNK)
                if not data:
                    break
                self.wfile.write(b"%x\r\n%s\r\n" % (len(data), data))
            self.wfile.write(b"0\r\n\r\n")

    def scenario_cut(self, args):
        keep = int(args[0])
        path = self.resolve(args[1:])
        if path is None:
            return self.not_found()
        self.close_connection = True
        self.abrupt_close = True
        with open(path, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            self.start(200, [("Content-Type", self.content_type(path)),
                             ("Content-Length", str(size))])
            if self.body_wanted():
                self.copy(f, limit=keep)

    def scenario_slow(self, args):
        pause = int(args[0]) / 1000.0
        path = self.resolve(args[1:])
        if path is None:
            return self.not_found()
        with open(path, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            self.start(200, [("Content-Type", self.content_type(path)),
                             ("Content-Length", str(size))])
            if self.body_wanted():
                self.copy(f, piece=SLOW_PIECE, pause=pause)

    def scenario_delay(self, args):
        time.sleep(int(args[0]) / 1000.0)
        self.serve_file(args[1:])

    def scenario_redirect(self, args):
        target = "/" + "/".join(args)
        self.simple(302, "Moved to %s." % target, [("Location", target)])

    def scenario_redirect_http(self, args):
        host = self.headers.get("Host", "").split(":")[0]
        target = "http://%s/%s" % (host, "/".join(args))
        self.simple(302, "Moved to %s." % target, [("Location", target)])

    def scenario_length(self, args):
        text = unquote(args[0])
        if "\r" in text or "\n" in text:
            raise ValueError(text)
        path = self.resolve(args[1:])
        if path is None:
            return self.not_found()
        # What follows the body is anyone's guess when the text isn't the
        # count, so never reuse this connection.
        self.close_connection = True
        with open(path, "rb") as f:
            self.start(200, [("Content-Type", self.content_type(path)),
                             ("Content-Length", text), ("Connection", "close")])
            if self.body_wanted():
                self.copy(f)

    def scenario_bytes(self, args):
        body = bytes.fromhex("".join(args))
        self.start(200, [("Content-Type", "application/octet-stream"),
                         ("Content-Length", str(len(body)))])
        if self.body_wanted():
            self.wfile.write(body)

    def scenario_big(self, args):
        total = int(args[0])
        if total < 0:
            raise ValueError(total)
        self.start(200, [("Content-Type", "application/octet-stream"),
                         ("Content-Length", str(total))])
        if not self.body_wanted():
            return
        view = memoryview(BIG_PATTERN)
        pos = 0
        while pos < total:
            n = min(BIG_PIECE, total - pos)
            off = pos % 251
            self.wfile.write(view[off:off + n])
            pos += n


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, root, log, tls=None):
        self.root = root
        self.log = log
        self.tls = tls
        super().__init__(address, Handler)

    def log_request_line(self, method, path):
        if self.log is not None:
            self.log.write("%s %s\n" % (method, path))

    def finish_request(self, request, client_address):
        # The TLS handshake runs here, in the connection's own thread, so a
        # slow or refusing client can't stall accept().
        if self.tls is None:
            return self.RequestHandlerClass(request, client_address, self)
        request.settimeout(10)
        try:
            conn = self.tls.wrap_socket(request, server_side=True)
        except (OSError, ssl.SSLError):
            return
        conn.settimeout(None)
        handler = None
        try:
            handler = self.RequestHandlerClass(conn, client_address, self)
        finally:
            self.close_tls(conn, abrupt=getattr(handler, "abrupt_close", False))

    @staticmethod
    def close_tls(conn, abrupt):
        try:
            if not abrupt:
                # close_notify, so a body delimited by the close reads as
                # complete rather than truncated.
                conn.settimeout(1)
                conn = conn.unwrap()
        except (OSError, ssl.SSLError, ValueError):
            pass
        try:
            conn.close()
        except OSError:
            pass

    def handle_error(self, request, client_address):
        if isinstance(sys.exc_info()[1], CLIENT_GONE):
            return
        super().handle_error(request, client_address)


class LineLog:
    """Appends whole lines under a lock and flushes each one."""

    def __init__(self, path):
        self.f = open(path, "w", encoding="utf-8", buffering=1)
        self.lock = threading.Lock()

    def write(self, line):
        with self.lock:
            self.f.write(line)
            self.f.flush()


def tls_context(chain, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(chain, key)
    return ctx


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--root", required=True, help="release folder to serve")
    p.add_argument("--log", help="request log, one 'METHOD PATH' per line")
    p.add_argument("--pki", required=True, help="folder made by make_pki.sh")
    p.add_argument("--http-port", type=int, default=80)
    p.add_argument("--https-port", type=int, default=443)
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--untrusted-bind", default="127.0.0.2",
                   help="HTTPS with the untrusted certificate; empty to skip")
    p.add_argument("--ready", help="written once every listener is bound")
    a = p.parse_args()

    root = os.path.realpath(a.root)
    log = LineLog(a.log) if a.log else None
    pki = a.pki
    trusted = tls_context(os.path.join(pki, "server-chain.crt"),
                          os.path.join(pki, "server.key"))
    servers = [Server((a.bind, a.http_port), root, log),
               Server((a.bind, a.https_port), root, log, trusted)]
    if a.untrusted_bind:
        untrusted = tls_context(os.path.join(pki, "untrusted-chain.crt"),
                                os.path.join(pki, "untrusted.key"))
        servers.append(Server((a.untrusted_bind, a.https_port), root, log,
                              untrusted))

    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()

    if a.ready:
        tmp = a.ready + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % os.getpid())
        os.replace(tmp, a.ready)

    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    while not stop.wait(3600):
        pass


if __name__ == "__main__":
    main()
