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
  /cut/<N>/<file>         announces the whole file (200, with its validators),
                          sends N bytes, then drops the connection (TCP close,
                          no TLS close_notify); Range is ignored
  /drop/<N>/<file>        the file as a static file is served (Range and
                          If-Range honoured), but each response sends at most
                          N body bytes and then drops the connection as /cut
                          does: a client that resumes again and again gets it
  /norange/<file>         always 200 and the whole file, with its validators;
                          Range is ignored
  /novalidator/<rest>     <rest> as it would be served (a file or a
                          scenario), but without ETag and Last-Modified;
                          Range is honoured, and any If-Range gets 200 and
                          the whole file
  /hold/<name>/<N>/<rest> held until the test lets it go: with N > 0, <rest>
                          is a file, served as a static file that stops
                          after every N body bytes; with N = 0, <rest> (a
                          file or a scenario) stops once, before anything is
                          sent. At its k-th stop the response
                          writes k to held/<name>.at under --root and waits
                          until held/<name> holds a number of at least k
                          (at most 120 s): a test photographs a state, then
                          releases the next stop
  /slow/<ms>/<file>       16 KiB pieces with <ms> of sleep between them
                          (otherwise as a static file: validators, Range)
  /delay/<ms>/<file>      waits <ms> before answering at all
  /redirect/<file>        302 to /<file>
  /length/<text>/<file>   the file, with the Content-Length header set to the
                          URL-decoded <text> as is (e.g. %2B100, 00100). Only
                          meaningful where <text> still denotes the byte count;
                          the connection is closed afterwards either way
  /next/<N>/<file>        what a server already on the next release sends:
                          <file>.next's bytes, 200 without validators, cut
                          after N bytes as /cut does
  /short206/<file>        206 with "Content-Range: bytes 0-<size-1>/<size>",
                          whatever was asked, but a Content-Length of half
                          the file and only that half sent
  /bytes/<hex>            exactly those bytes
  /sha256/<file>          the file's SHA-256 as sha256sum prints it: 64
                          lower-case hex digits
  /big/<N>                N bytes where byte i is i*7 mod 251, made on the fly
                          and sent in 64 KiB pieces
  anything else           the static file, or 404 with a small body; but
                          when <file>.once exists beside it, the next requests
                          are answered as it says instead, one line at a
                          time:
                            "<delay ms> <status|scenario> [<count>]"
                          <count> requests (default 1) wait <delay ms>, then
                          get that status with a short HTML page, or are served
                          as /<scenario>/<file> would be; then the next line
                          applies, and after the last the .once file is gone.
                          "8000 500": a check that hangs, then fails, while
                          later requests are served at once; "0 503 6": six
                          503s; "0 cut/1000 6": six responses cut after 1000
                          bytes; "0 cut/1000" then "0 404": a cut, then a 404;
                          "0 cut/600" then "0 next/400": one of each, in order
  /redirect-http/<file>   302 to http://<host>/<file>, plain HTTP
  /port/<N>/<file>        the file when the request came to port <N>, else
                          421 (Misdirected Request)
  /redirect-to/<host>/<file>
                          302 to https://<host>/<file>: another host name,
                          such as cdn.vantrel.app
  /redirect-as/<file>     302 to the URL that <file> holds, as it is (one
                          with userinfo, say, that no request path shows)

A static file (and /delay, /slow, /drop, /norange) carries a strong ETag, made
of its size and modification time, and Last-Modified, and "Range: bytes=N-"
is honoured: 206 with "Content-Range: bytes N-<size-1>/<size>" and the part's
Content-Length, or 416 with "Content-Range: bytes */<size>" when N >= size.
An If-Range that matches neither the ETag nor the Last-Modified text gets 200
and the whole file. Any other form of Range is ignored (200).

A request target in absolute form (GET https://host:443/path) is served and
logged as its path.

Listeners: HTTP on --http-port (80), HTTPS on --https-port (443) and
--alt-https-port (8443) with the trusted certificate, all on --bind
(127.0.0.1), and HTTPS with the untrusted certificate on --untrusted-bind
(127.0.0.2) port 443.

Every response but /nolength, /cut, /drop and /length carries Content-Length
(or is chunked) and keeps the connection alive (HTTP/1.1). Each request is
appended to --log as "METHOD PATH" and flushed at once, so tests can count
requests; and each response to "<log>.ranges" as
  "PATH RANGE IF-RANGE STATUS SENT"
with the Range and If-Range headers as received ("-" when absent, a space in
them written %20), the status sent ("-" for none) and the body bytes written
to the connection (chunk framing included). Both logs are emptied when the
server starts.
"""

import argparse
import hashlib
import mimetypes
import os
import re
import signal
import socket
import ssl
import sys
import threading
import time
from email.utils import formatdate
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

# The one Range form served: from byte N to the end.
RANGE_FROM = re.compile(r"bytes=(\d+)-")
# Reading and rewriting a .once file is one step for every listener's threads.
ONCE_LOCK = threading.Lock()


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
        self.answer()

    def do_HEAD(self):
        self.answer()

    def answer(self):
        self.status_sent = None
        self.body_sent = 0
        self.no_validators = False
        try:
            self.dispatch()
        finally:
            self.server.log_response(self.path, self.headers.get("Range"),
                                     self.headers.get("If-Range"), self.status_sent,
                                     self.body_sent)

    def send_response(self, code, message=None):
        self.status_sent = code
        super().send_response(code, message)

    # --- helpers -----------------------------------------------------------

    def body_wanted(self):
        return self.command != "HEAD"

    def send_body(self, data):
        self.wfile.write(data)
        self.body_sent += len(data)

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
            self.send_body(body)

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

    def copy(self, f, limit=None, piece=64 * 1024, pause=0.0, stop=None):
        """`stop(k)`, when given, runs before the (k+1)-th piece."""
        sent = 0
        pieces = 0
        while limit is None or sent < limit:
            want = piece if limit is None else min(piece, limit - sent)
            data = f.read(want)
            if not data:
                break
            if sent and pause:
                time.sleep(pause)
            if pieces and stop:
                stop(pieces)
            self.send_body(data)
            sent += len(data)
            pieces += 1

    def not_found(self):
        self.simple(404, "No such file.")

    def validators(self, stat):
        if self.no_validators:
            return []
        return [("ETag", '"%x-%x"' % (stat.st_size, stat.st_mtime_ns)),
                ("Last-Modified", formatdate(stat.st_mtime, usegmt=True))]

    def range_start(self, validators):
        """The first byte asked for by a Range that applies, else None."""
        asked = RANGE_FROM.fullmatch(self.headers.get("Range", ""))
        if asked is None:
            return None
        if_range = self.headers.get("If-Range")
        if if_range is not None and if_range not in [v for _, v in validators]:
            return None
        return int(asked.group(1))

    # --- scenarios ---------------------------------------------------------

    def dispatch(self):
        raw = self.path.split("?", 1)[0]
        try:
            self.route(raw.split("/")[1:])
        except (ValueError, IndexError):
            self.simple(400, "Bad scenario arguments.")

    def route(self, segments):
        handler = getattr(self, "scenario_" + segments[0].replace("-", "_"), None)
        if handler is not None:
            handler(segments[1:])
        elif not self.answer_once(segments):
            self.serve_file(segments)

    def answer_once(self, segments):
        rel = "/".join(unquote(s) for s in segments)
        once = os.path.realpath(os.path.join(self.server.root, rel)) + ".once"
        if not once.startswith(self.server.root + os.sep):
            return False
        with ONCE_LOCK:
            try:
                with open(once) as f:
                    lines = [line for line in f.read().splitlines() if line.strip()]
            except OSError:
                return False
            fields = lines[0].split() if lines else []
            try:
                if not 2 <= len(fields) <= 3:
                    raise ValueError(fields)
                count = int(fields[2]) if len(fields) > 2 else 1
            except ValueError:
                os.remove(once)  # a bad one is answered 400 once, not forever
                raise
            later = lines[1:]
            if count > 1:
                later.insert(0, " ".join([fields[0], fields[1], str(count - 1)]))
            if later:
                with open(once + ".next", "w") as f:
                    f.write("\n".join(later) + "\n")
                os.replace(once + ".next", once)
            else:
                os.remove(once)
        delay_ms, what = fields[:2]
        time.sleep(int(delay_ms) / 1000.0)
        if what.isdigit():
            self.simple(int(what), "Answered once by the test server.")
        else:
            scenario = what.split("/")
            getattr(self, "scenario_" + scenario[0].replace("-", "_"))(scenario[1:] + segments)
        return True

    def serve_file(self, segments, code=200, ranges=True, limit=None,
                   piece=64 * 1024, pause=0.0, stop=None):
        """The file; with a `limit`, at most that many body bytes and then
        an abrupt close."""
        path = self.resolve(segments)
        if path is None:
            return self.not_found()
        if limit is not None:
            self.close_connection = True
            self.abrupt_close = True
        with open(path, "rb") as f:
            stat = os.fstat(f.fileno())
            size = stat.st_size
            tags = self.validators(stat) if code == 200 else []
            ranged = code == 200 and ranges
            first = self.range_start(tags) if ranged else None
            headers = tags + ([("Accept-Ranges", "bytes")] if ranged else [])
            if first is not None and first >= size:
                return self.simple(416, "Range not satisfiable.",
                                   [("Content-Range", "bytes */%d" % size), *headers])
            headers.insert(0, ("Content-Type", self.content_type(path)))
            if first is not None:
                code = 206
                headers.append(("Content-Range", "bytes %d-%d/%d" % (first, size - 1, size)))
                f.seek(first)
            self.start(code, headers + [("Content-Length", str(size - (first or 0)))])
            if self.body_wanted():
                self.copy(f, limit=limit, piece=piece, pause=pause, stop=stop)

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
                self.send_body(b"%x\r\n%s\r\n" % (len(data), data))
            self.send_body(b"0\r\n\r\n")

    def scenario_cut(self, args):
        self.serve_file(args[1:], ranges=False, limit=int(args[0]))

    def scenario_drop(self, args):
        self.serve_file(args[1:], limit=int(args[0]))

    def scenario_norange(self, args):
        self.serve_file(args, ranges=False)

    def scenario_novalidator(self, args):
        self.no_validators = True
        self.route(args)

    def scenario_hold(self, args):
        name, every = args[0], int(args[1])
        if "/" in name or name.startswith(".") or every < 0:
            raise ValueError(name)
        held = os.path.join(self.server.root, "held", name)

        def stop(k):
            os.makedirs(os.path.dirname(held), exist_ok=True)
            with open(held + ".at.tmp", "w") as f:
                f.write("%d\n" % k)
            os.replace(held + ".at.tmp", held + ".at")
            deadline = time.monotonic() + 120
            while time.monotonic() < deadline:
                try:
                    with open(held) as f:
                        if int(f.read().strip() or 0) >= k:
                            return
                except (OSError, ValueError):
                    pass
                time.sleep(0.02)

        if every == 0:
            stop(1)
            self.route(args[2:])
        else:
            self.serve_file(args[2:], piece=every, stop=stop)

    def scenario_slow(self, args):
        self.serve_file(args[1:], piece=SLOW_PIECE, pause=int(args[0]) / 1000.0)

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

    def scenario_port(self, args):
        if self.server.server_address[1] != int(args[0]):
            return self.simple(421, "Asked on another port.")
        self.serve_file(args[1:])

    def scenario_redirect_as(self, args):
        path = self.resolve(args)
        if path is None:
            return self.not_found()
        with open(path) as f:
            target = f.read().strip()
        if "\r" in target or "\n" in target:
            raise ValueError(target)
        self.simple(302, "Moved.", [("Location", target)])

    def scenario_redirect_to(self, args):
        target = "https://%s/%s" % (args[0], "/".join(args[1:]))
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

    def scenario_next(self, args):
        path = self.resolve(args[1:-1] + [args[-1] + ".next"])
        if path is None:
            return self.not_found()
        self.close_connection = True
        self.abrupt_close = True
        with open(path, "rb") as f:
            self.start(200, [("Content-Type", self.content_type(path)),
                             ("Content-Length", str(os.fstat(f.fileno()).st_size))])
            if self.body_wanted():
                self.copy(f, limit=int(args[0]))

    def scenario_short206(self, args):
        path = self.resolve(args)
        if path is None:
            return self.not_found()
        with open(path, "rb") as f:
            body = f.read()
        half = body[:len(body) // 2]
        self.start(206, [("Content-Type", self.content_type(path)),
                         ("Content-Range", "bytes 0-%d/%d" % (len(body) - 1, len(body))),
                         ("Content-Length", str(len(half)))])
        if self.body_wanted():
            self.send_body(half)

    def scenario_bytes(self, args):
        body = bytes.fromhex("".join(args))
        self.start(200, [("Content-Type", "application/octet-stream"),
                         ("Content-Length", str(len(body)))])
        if self.body_wanted():
            self.send_body(body)

    def scenario_sha256(self, args):
        path = self.resolve(args)
        if path is None:
            return self.not_found()
        with open(path, "rb") as f:
            body = hashlib.sha256(f.read()).hexdigest().encode()
        self.start(200, [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))])
        if self.body_wanted():
            self.send_body(body)

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
            self.send_body(view[off:off + n])
            pos += n


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, address, root, log, ranges, tls=None):
        self.root = root
        self.log = log
        self.ranges = ranges
        self.tls = tls
        super().__init__(address, Handler)

    def log_request_line(self, method, path):
        if self.log is not None:
            self.log.write("%s %s\n" % (method, path))

    def log_response(self, path, range_, if_range, status, sent):
        if self.ranges is not None:
            fields = [path] + [v.replace("%", "%25").replace(" ", "%20") if v else "-"
                               for v in (range_, if_range)]
            self.ranges.write(" ".join(fields + ["-" if status is None else str(status),
                                                  str(sent)]) + "\n")

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
    p.add_argument("--alt-https-port", type=int, default=8443,
                   help="a second HTTPS port with the trusted certificate; 0 to skip")
    p.add_argument("--bind", default="127.0.0.1")
    p.add_argument("--untrusted-bind", default="127.0.0.2",
                   help="HTTPS with the untrusted certificate; empty to skip")
    p.add_argument("--ready", help="written once every listener is bound")
    a = p.parse_args()

    root = os.path.realpath(a.root)
    log = LineLog(a.log) if a.log else None
    ranges = LineLog(a.log + ".ranges") if a.log else None
    pki = a.pki
    trusted = tls_context(os.path.join(pki, "server-chain.crt"),
                          os.path.join(pki, "server.key"))
    servers = [Server((a.bind, a.http_port), root, log, ranges),
               Server((a.bind, a.https_port), root, log, ranges, trusted)]
    if a.alt_https_port:
        servers.append(Server((a.bind, a.alt_https_port), root, log, ranges, trusted))
    if a.untrusted_bind:
        untrusted = tls_context(os.path.join(pki, "untrusted-chain.crt"),
                                os.path.join(pki, "untrusted.key"))
        servers.append(Server((a.untrusted_bind, a.https_port), root, log, ranges,
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
