#!/usr/bin/env python3
"""make publish and make check-feed: the release manifest written, and the
live release checked, with the bootstrapper's own rules (build/native/
feed_rules, built from its sources) wherever the bootstrapper has one.

  publish.py publish      SETUP VERSION URL [BOOTSTRAPPER OUT ALLOW_OLDER SIGN_CA_FILE CA_FILE]
  publish.py check-feed   [MANIFEST BOOTSTRAPPER SIGN_CA_FILE CA_FILE]

The settings come from the environment (make passes its variables on). Every
failure is one line that names the fix; the exit status is 1 when there is
one. Warnings do not fail.
"""

import functools
import hashlib
import http.client
import json
import os
import re
import ssl
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RULES = os.environ.get("VANTREL_FEED_RULES") or os.path.join(ROOT, "build", "native", "feed_rules")
DEFAULT_BOOTSTRAPPER = "dist/VantrelBootstrapper.exe"
DEFAULT_OUT = "dist/latest.json"
PLATFORM_KEYS = ("windows-x86_64-nsis", "windows-x86_64")
AMD64 = 0x8664
MACHINES = {0x14C: "32-bit (i386)", 0xAA64: "ARM64", 0x1C4: "ARM"}
# WinVerifyTrust's codes, as the bootstrapper's signer rule takes them.
TRUST_NO_SIGNATURE = 0x800B0100
TRUST_BAD_DIGEST = 0x80096010
TRUST_UNTRUSTED_ROOT = 0x800B0109
LONGEST_CDN_KEEP = 300
SIGN_HINT = "scripts/release.sh sign IN OUT"


class Report:
    def __init__(self, tool):
        self.tool = tool
        self.failures = 0

    def say(self, text):
        print("%s: %s" % (self.tool, text), flush=True)

    def warn(self, text):
        self.say("warning: " + text)

    def fail(self, text):
        self.failures += 1
        self.say("FAILED: " + text)


def setting(name, default=""):
    return os.environ.get(name, "") or default


# Every command but "manifest" answers from its arguments alone.
@functools.lru_cache(maxsize=None)
def pure_rules(*args):
    return rules(*args)


def rules(*args):
    """One answer of feed_rules. Its native build carries the sanitizers; their
    leak check at exit would double the time of every call, and its own test
    (tests/tools/feed_rules_test.py) keeps it."""
    environment = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    try:
        done = subprocess.run([RULES, *args], capture_output=True, text=True, timeout=30,
                              env=environment)
    except FileNotFoundError:
        sys.exit("%s is missing: run make publish or make check-feed, which build it" % RULES)
    if done.returncode not in (0, 1):
        sys.exit("feed_rules %s: %s" % (args[0], done.stderr.strip()))
    return json.loads(done.stdout)


def shown(path):
    return os.path.relpath(path) if os.path.abspath(path).startswith(os.getcwd() + os.sep) else path


# --- The setup program as a file ----------------------------------------------

def pe_machine(path):
    """The PE header's Machine field, or None when the file is no PE."""
    with open(path, "rb") as f:
        head = f.read(4096)
    if head[:2] != b"MZ" or len(head) < 64:
        return None
    offset = int.from_bytes(head[0x3C:0x40], "little")
    if head[offset:offset + 4] != b"PE\0\0":
        return None
    return int.from_bytes(head[offset + 4:offset + 6], "little")


def sha256_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for piece in iter(lambda: f.read(1 << 20), b""):
            digest.update(piece)
    return digest.hexdigest()


def der_items(data, start, end):
    """The (tag, header start, content start, end) of each DER item in a range."""
    while start < end:
        tag, length, content = data[start], data[start + 1], start + 2
        if length & 0x80:
            count = length & 0x7F
            length = int.from_bytes(data[content:content + count], "big")
            content += count
        yield tag, start, content, content + length
        start = content + length


def certificate_fields(der):
    """A certificate's serial number, encoded subject and common name."""
    _, _, cert, cert_end = next(der_items(der, 0, len(der)))
    _, _, tbs, tbs_end = next(der_items(der, cert, cert_end))
    fields = list(der_items(der, tbs, tbs_end))
    if fields[0][0] == 0xA0:  # the explicit version
        fields = fields[1:]
    serial = int.from_bytes(der[fields[0][2]:fields[0][3]], "big")
    _, subject_start, subject, subject_end = fields[4]
    name = ""
    for _, _, rdn, rdn_end in der_items(der, subject, subject_end):
        for _, _, pair, pair_end in der_items(der, rdn, rdn_end):
            (_, _, oid, oid_end), (tag, _, value, value_end) = der_items(der, pair, pair_end)
            if der[oid:oid_end] == b"\x55\x04\x03" and not name:  # commonName
                raw = der[value:value_end]
                name = raw.decode("utf-16-be" if tag == 0x1E else "utf-8", "replace")
    return serial, der[subject_start:subject_end], name


class Signer:
    """What the bootstrapper's signer rule needs of one file's signature."""

    def __init__(self, trust_code, subject=b"", name="", detail=""):
        self.trust_code = trust_code
        self.subject = subject
        self.name = name
        self.detail = detail

    @property
    def signed(self):
        return self.trust_code != TRUST_NO_SIGNATURE


def read_signer(path):
    roots = setting("SIGN_CA_FILE", "/etc/ssl/certs/ca-certificates.crt")
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", roots, "-in", path],
                            capture_output=True, text=True)
    said = verify.stdout + verify.stderr
    if "No signature found" in said:
        return Signer(TRUST_NO_SIGNATURE)
    serial = re.search(r"Signer's certificate:.*?Serial\s*:\s*([0-9A-Fa-f]+)", said, re.S)
    with tempfile.TemporaryDirectory() as work:
        blob = os.path.join(work, "signature.der")
        subprocess.run(["osslsigncode", "extract-signature", "-in", path, "-out", blob],
                       capture_output=True, check=True)
        pem = subprocess.run(["openssl", "pkcs7", "-inform", "DER", "-in", blob, "-print_certs"],
                             capture_output=True, text=True, check=True).stdout
    certificates = [certificate_fields(ssl.PEM_cert_to_DER_cert(block)) for block in
                    re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----", pem, re.S)]
    signer = [c for c in certificates if serial and c[0] == int(serial.group(1), 16)]
    if not signer:
        return Signer(TRUST_BAD_DIGEST, detail="its signer's certificate is not in the signature")
    _, subject, name = signer[0]
    if verify.returncode == 0 and "Signature verification: ok" in said:
        return Signer(0, subject, name)
    if "MISMATCH" in said:
        return Signer(TRUST_BAD_DIGEST, subject, name,
                      "the file was changed after it was signed: sign it again")
    return Signer(TRUST_UNTRUSTED_ROOT, subject, name,
                  "its certificate chain does not verify against %s: give its root with "
                  "SIGN_CA_FILE=<pem>, or sign with a certificate Windows trusts" % roots)


def bootstrapper_signer(report):
    path = setting("BOOTSTRAPPER", DEFAULT_BOOTSTRAPPER)
    if not os.path.isfile(path):
        report.fail("no bootstrapper at %s: run make release, or name the one users have with "
                    "BOOTSTRAPPER=<file>" % path)
        return None
    own = read_signer(path)
    if not own.signed:
        report.warn("%s is unsigned: such a bootstrapper runs any setup, signed or not; a signed "
                    "one runs only setups signed by its own subject, so sign the bootstrapper "
                    "(make release) and the setup with the same certificate" % path)
    else:
        report.say("bootstrapper %s is signed by \"%s\"" % (path, own.name))
    return own


def check_signer(report, label, own, setup):
    """The bootstrapper's own verdict on a setup's signature, as one line."""
    verdict = pure_rules("signer", own.subject.hex() if own.signed else "", own.name,
                    "0x%x" % setup.trust_code, setup.subject.hex(), setup.name)
    if verdict["ok"]:
        if setup.signed and setup.trust_code != 0:
            report.warn("%s's signature does not verify: %s" % (label, setup.detail))
        elif setup.signed:
            report.say("%s is signed by \"%s\"%s" % (label, setup.name, ", the bootstrapper's "
                                                     "signer" if own.signed else ""))
        else:
            report.warn("%s is unsigned: Windows warns before running it, and a signed "
                        "bootstrapper would refuse it" % label)
        return True
    fixes = {
        TRUST_NO_SIGNATURE: "sign it with the bootstrapper's certificate (%s) before taking "
                            "its SHA-256" % SIGN_HINT,
        0: "sign it with the certificate that signed the bootstrapper (%s)" % SIGN_HINT,
    }
    fix = setup.detail or fixes[setup.trust_code]
    report.fail("%s would be refused: \"%s\": %s" % (label, verdict["error"], fix))
    return False


# --- HTTP, as the bootstrapper asks -------------------------------------------

class FeedError(Exception):
    pass


class Answer:
    def __init__(self, url, status, headers, size=0, sha256=None):
        self.url, self.status, self.headers, self.size, self.sha256 = (
            url, status, headers, size, sha256)

    def header(self, name):
        return self.headers.get(name)


def tls_context():
    context = ssl.create_default_context()
    if setting("CA_FILE"):
        context.load_verify_locations(setting("CA_FILE"))
    return context


def fetch(url, extra=None, sink=None, limit=None):
    """GET through the redirects the bootstrapper follows. With a sink the
    body is written to it and hashed; without, only the head is read."""
    product = pure_rules("product")
    hops = 0
    while True:
        parsed = pure_rules("url", url)
        if not parsed["ok"]:
            raise FeedError("%s: \"%s\"" % (url, parsed["error"]))
        host, port = parsed["host"], parsed["port"]
        if parsed["secure"]:
            connection = http.client.HTTPSConnection(host, port, timeout=30,
                                                     context=tls_context())
        else:
            connection = http.client.HTTPConnection(host, port, timeout=30)
        try:
            connection.request("GET", parsed["path"],
                               headers={"User-Agent": product["user_agent"], **(extra or {})})
            response = connection.getresponse()
            followed = pure_rules("follow", url, str(response.status),
                             response.getheader("Location", ""), str(hops))
            if not followed["ok"]:
                raise FeedError("%s answers %d to %s, which the bootstrapper does not follow "
                                "(never https to http, at most 10 redirects)"
                                % (url, response.status, response.getheader("Location", "")))
            if followed["redirect"]:
                url, hops = followed["target"], hops + 1
                continue
            answer = Answer(url, response.status, response.headers)
            if sink is None:
                return answer
            digest = hashlib.sha256()
            while piece := response.read(1 << 20):
                digest.update(piece)
                sink.write(piece)
                answer.size += len(piece)
                if limit is not None and answer.size > limit:
                    break
            answer.sha256 = digest.hexdigest()
            return answer
        except ssl.SSLCertVerificationError as error:
            raise FeedError("the certificate of %s is not trusted (%s): serve it with a "
                            "certificate Windows trusts for the name (for a test host, "
                            "CA_FILE=<pem>)" % (host, error.verify_message))
        except (OSError, http.client.HTTPException) as error:
            raise FeedError("%s does not answer (%s)" % (url, error))
        finally:
            connection.close()


def cdn_keep(cache_control):
    """How long a shared cache may keep an answer, in seconds, or None."""
    directives = {}
    for part in (cache_control or "").split(","):
        name, _, value = part.strip().partition("=")
        directives[name.lower()] = value.strip('"')
    if {"no-store", "no-cache", "private"} & directives.keys():
        return 0
    for name in ("s-maxage", "max-age"):
        if directives.get(name, "").isdigit():
            return int(directives[name])
    return None


def json_reading(text):
    """What a JSON reader takes from the manifest: version, url, sha256."""
    try:
        document = json.loads(text)
        entry = next(document["platforms"][k] for k in PLATFORM_KEYS if k in document["platforms"])
        return document.get("version", "latest"), entry.get("url"), entry.get("sha256")
    except (ValueError, KeyError, TypeError, StopIteration, AttributeError):
        return None


def read_manifest(report, label, path):
    """The release the bootstrapper reads from a manifest file, checked
    against what a JSON reader makes of it."""
    release = rules("manifest", path)
    if not release["ok"]:
        report.fail("%s: the bootstrapper reads no release from it (\"%s\"): write it with make "
                    "publish" % (label, release["error"]))
        return None
    with open(path, "rb") as f:
        meant = json_reading(f.read().decode("utf-8", "replace"))
    read = (release["version"], release["url"], release.get("sha256"))
    if meant is None:
        report.fail("%s is not valid JSON with a platforms entry: write it with make publish" % label)
        return None
    if meant[:2] != read[:2] or (meant[2] or "").lower() != (read[2] or ""):
        names = ("version", "url", "sha256")
        field = next(i for i in range(3) if meant[i] != read[i])
        report.fail("%s: the bootstrapper reads %s \"%s\" where JSON means \"%s\": write it as "
                    "UTF-8 without \\u escapes (make publish does)"
                    % (label, names[field], read[field], meant[field]))
        return None
    stored = pure_rules("version", release["version"])
    if not stored["ok"]:
        report.fail("%s names version \"%s\", which the bootstrapper cannot store: publish "
                    "another version" % (label, release["version"]))
        return None
    if "sha256" not in release:
        report.warn("%s gives no sha256: the setup's bytes are not checked (make publish "
                    "writes one)" % label)
    report.say("%s: version %s, %s" % (label, release["version"], release["url"]))
    return release


# --- make check-feed ------------------------------------------------------------

def check_manifest_live(report):
    url = pure_rules("product")["manifest_url"]
    with tempfile.TemporaryDirectory() as work:
        path = os.path.join(work, "latest.json")
        try:
            with open(path, "wb") as sink:
                answer = fetch(url, sink=sink, limit=1 << 20)
        except FeedError as error:
            report.fail("manifest: %s" % error)
            return None
        if answer.status != 200:
            report.fail("manifest %s answers HTTP %d: upload dist/latest.json there"
                        % (answer.url, answer.status))
            return None
        keep = cdn_keep(answer.header("Cache-Control"))
        if keep is not None and keep > LONGEST_CDN_KEEP:
            report.warn("manifest Cache-Control \"%s\" lets a CDN keep it for %d min, so a new "
                        "release reaches users late: serve latest.json with max-age=%d or less"
                        % (answer.header("Cache-Control"), keep // 60, LONGEST_CDN_KEEP))
        return read_manifest(report, "manifest %s" % answer.url, path)


def check_setup_served(report, release, own):
    url, expected = release["url"], release.get("sha256")
    with tempfile.TemporaryDirectory() as work:
        body = os.path.join(work, "setup.exe")
        try:
            with open(body, "wb") as sink:
                whole = fetch(url, sink=sink)
        except FeedError as error:
            report.fail("setup: %s" % error)
            return
        if whole.status != 200:
            report.fail("setup %s answers HTTP %d: upload the setup there, or publish its real URL"
                        % (whole.url, whole.status))
            return
        length = pure_rules("content-length", whole.header("Content-Length") or "")
        if not length["ok"]:
            report.fail("setup %s answers without a Content-Length: serve it as a static file, "
                        "not chunked or compressed on the fly" % whole.url)
        elif length["length"] != whole.size:
            report.fail("setup %s announces %d bytes and sends %d: serve the whole file"
                        % (whole.url, length["length"], whole.size))
        if expected and whole.sha256 != expected:
            report.fail("setup %s is not the file the manifest names (SHA-256 %s, manifest %s): "
                        "it changed after make publish (signed again?): run make publish on the "
                        "file as uploaded, and upload both" % (whole.url, whole.sha256, expected))
            return
        report.say("setup %s: 200, %d bytes%s" % (whole.url, whole.size,
                                                   ", SHA-256 matches" if expected else ""))
        if own is not None:
            check_signer(report, "setup %s" % whole.url, own, read_signer(body))
    check_resume(report, url, whole, bool(expected))


def check_resume(report, url, whole, has_digest):
    etag, modified = whole.header("ETag") or "", whole.header("Last-Modified") or ""
    offset = max(1, whole.size // 2)
    plan = pure_rules("resume", etag, modified, str(whole.size), str(offset), "206",
                      "bytes %d-%d/%d" % (offset, whole.size - 1, whole.size),
                      str(whole.size - offset), "1" if has_digest else "0")
    headers = {"Range": "bytes=%d-" % offset}
    if plan["validator"]:
        headers["If-Range"] = plan["validator"]
    try:
        part = fetch(url, extra=headers)
    except FeedError as error:
        report.fail("setup resume: %s" % error)
        return
    use = pure_rules("resume", etag, modified, str(whole.size), str(offset), str(part.status),
                     part.header("Content-Range") or "", part.header("Content-Length") or "",
                     "1" if has_digest else "0")
    if use["asks_from"] == 0:
        report.warn("setup %s has no strong ETag or Last-Modified: downloads start again from "
                    "zero after a drop; serve it with one" % whole.url)
        return
    if use["answer"] != "append":
        report.warn("setup %s answers HTTP %d (Content-Range \"%s\") to \"Range: bytes=%d-\": "
                    "downloads start again from zero after a drop; serve it from a server that "
                    "honours Range" % (part.url, part.status, part.header("Content-Range") or "",
                                       offset))
        return
    if not plan["validator"]:
        report.warn("setup %s has no strong ETag or Last-Modified: a resumed download is "
                    "continued unasked, and a file replaced meanwhile shows only at the end as a "
                    "checksum mismatch; serve it with one" % whole.url)
        return
    report.say("setup resumes: 206 \"%s\" to \"Range: bytes=%d-\", If-Range %s"
               % (part.header("Content-Range"), offset, plan["validator"]))


def check_feed(report, own, manifest=None):
    if manifest:
        release = read_manifest(report, shown(manifest), manifest)
    else:
        release = check_manifest_live(report)
    if release is not None:
        check_setup_served(report, release, own)


def command_check_feed():
    report = Report("check-feed")
    own = bootstrapper_signer(report)
    check_feed(report, own, setting("MANIFEST") or None)
    report.say("FAILED" if report.failures else "passed")
    return 1 if report.failures else 0


# --- make publish ---------------------------------------------------------------

def version_key(version):
    """Dotted parts, compared as numbers where they are numbers."""
    key = []
    for part in version.split("."):
        digits = re.match(r"\d*", part).group()
        key.append((int(digits) if digits else -1, part[len(digits):]))
    return key


def check_version(report, version):
    stored = pure_rules("version", version)
    if not stored["ok"]:
        report.fail("VERSION \"%s\" cannot name the bootstrapper's file (%s): leave out "
                    "< > : \" / \\ | ? * and control characters"
                    % (version, "Vantrel-%s.exe" % version))
        return
    try:
        with tempfile.TemporaryDirectory() as work:
            path = os.path.join(work, "latest.json")
            with open(path, "wb") as sink:
                answer = fetch(pure_rules("product")["manifest_url"], sink=sink, limit=1 << 20)
            live = rules("manifest", path) if answer.status == 200 else None
    except FeedError as error:
        report.say("no live manifest to compare the version with: %s" % error)
        return
    if live is None or not live["ok"]:
        report.say("the live manifest names no release: %s is the first" % version)
        return
    if version_key(version) > version_key(live["version"]):
        report.say("version %s (stored as %s), newer than the live %s"
                   % (version, stored["file_name"], live["version"]))
    elif setting("ALLOW_OLDER") == "1":
        report.warn("version %s is not newer than the live %s: published on purpose "
                    "(ALLOW_OLDER=1); bootstrappers install it as it is" % (version, live["version"]))
    else:
        report.fail("VERSION %s is not newer than the live %s: raise it, or give ALLOW_OLDER=1 "
                    "to publish it on purpose" % (version, live["version"]))


def check_url(report, url):
    parsed = pure_rules("url", url)
    if parsed["ok"]:
        report.say("URL %s: host %s, port %d" % (url, parsed["host"], parsed["port"]))
        if not parsed["secure"]:
            report.warn("URL is plain http://: only the manifest's SHA-256 protects the setup; "
                        "serve it over https://")
        return True
    fixes = {
        "Download URL has an invalid port.": "give a port from 1 to 65535, or none",
        "Download URL is missing a host.": "give the host name",
        "Only HTTP and HTTPS URLs are supported.": "give an https:// URL",
        "Download URL carries userinfo, which the bootstrapper drops.":
            "leave out user:password@ and serve the setup without credentials",
    }
    report.fail("URL %s is refused by the bootstrapper (\"%s\"): %s"
                % (url, parsed["error"], fixes.get(parsed["error"], "fix the URL")))
    return False


def write_manifest(report, out, version, url, sha256):
    text = json.dumps({"version": version, "platforms": {PLATFORM_KEYS[0]: {
        "url": url, "sha256": sha256}}}, ensure_ascii=False, indent=2) + "\n"
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    fresh = out + ".new"
    with open(fresh, "w", encoding="utf-8") as f:
        f.write(text)
    back = rules("manifest", fresh)
    if not back["ok"] or (back["version"], back["url"], back.get("sha256")) != (version, url,
                                                                               sha256):
        os.remove(fresh)
        report.fail("%s read back by the bootstrapper gives %s, not version %s, %s, %s: report "
                    "this as a bug in make publish" % (out, back, version, url, sha256))
        return False
    os.replace(fresh, out)
    report.say("wrote %s; the bootstrapper's manifest code reads back version %s, its URL and "
               "SHA-256" % (shown(out), version))
    return True


def command_publish():
    report = Report("publish")
    setup, version, url = setting("SETUP"), setting("VERSION"), setting("URL")
    out = setting("OUT", DEFAULT_OUT)
    if not (setup and version and url):
        report.fail("give SETUP=<file> VERSION=<version> URL=<https url of the setup>")
        return 1
    if not os.path.isfile(setup):
        report.fail("SETUP %s is not a file: give the setup program's path" % setup)
        return 1
    own = bootstrapper_signer(report)
    machine = pe_machine(setup)
    if machine != AMD64:
        kind = "not a Windows program" if machine is None else "a %s Windows program" % (
            MACHINES.get(machine, "0x%04x" % machine))
        report.fail("SETUP %s is %s, and the bootstrapper runs 64-bit (amd64) setups: build it "
                    "for amd64 (NSIS: Target amd64-unicode)" % (setup, kind))
    sha256 = sha256_of(setup)
    if machine == AMD64:
        report.say("SETUP %s: amd64, %d bytes, SHA-256 %s (of the file as it is now: upload it "
                   "unchanged)" % (setup, os.path.getsize(setup), sha256))
    if own is not None:
        check_signer(report, "SETUP %s" % setup, own, read_signer(setup))
    check_version(report, version)
    url_ok = check_url(report, url)
    if report.failures or not write_manifest(report, out, version, url, sha256):
        report.say("FAILED, %s %s" % (shown(out), "left as it was" if os.path.exists(out)
                                      else "not written"))
        return 1
    manifest_url = pure_rules("product")["manifest_url"]
    report.say("upload in this order:")
    report.say("  1. %s  ->  %s" % (setup, url))
    report.say("  2. make check-feed MANIFEST=%s   (the setup as the bootstrapper fetches it)"
               % shown(out))
    report.say("  3. %s  ->  %s   (Cache-Control: max-age=%d or less)"
               % (shown(out), manifest_url, LONGEST_CDN_KEEP))
    report.say("  4. make check-feed   (the live release)")
    if url_ok:
        try:
            probe = fetch(url)
        except FeedError as error:
            report.say("the setup's URL does not answer yet (%s): step 2 checks it" % error)
            probe = None
        if probe is not None and probe.status != 200:
            report.say("the setup's URL answers HTTP %d: not uploaded yet; step 2 checks it"
                       % probe.status)
        elif probe is not None:
            report.say("the setup's URL answers: step 2 now")
            feed = Report("check-feed")
            check_feed(feed, own, out)
            report.failures += feed.failures
    report.say("FAILED" if report.failures else "passed: upload in the order above")
    return 1 if report.failures else 0


def main():
    commands = {"publish": command_publish, "check-feed": command_check_feed}
    if len(sys.argv) != 2 or sys.argv[1] not in commands:
        sys.exit("usage: %s publish | check-feed" % sys.argv[0])
    sys.exit(commands[sys.argv[1]]())


if __name__ == "__main__":
    main()
