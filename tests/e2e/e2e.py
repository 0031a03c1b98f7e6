"""Shared pieces of the end-to-end tests: the real exe under Wine on the
private Xvfb screen, the local update server's folder and log, screenshots,
pixel probes and OCR.

The scripts run inside scripts/run_windows_tests.sh (DISPLAY, the network
namespace where updates.vantrel.app is the loopback server, a warm
wineserver); everything here only reads the environment that sets up.
make demo drives the exe with App and Shot too (demo/drive.py): each setting
is read when first used, so the demo sets only the ones it needs.
"""

import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

TITLE = "Vantrel Bootstrapper"
MANIFEST = "vantrel/updates/beta/latest.json"
MANIFEST_PATH = "/" + MANIFEST
HOST = "updates.vantrel.app"
SCREEN = (1920, 1080)
ORIGIN = (580, 280)  # where a centred 760x520 window lands on SCREEN
SIZE = (760, 520)

# Client rectangles (left, top, right, bottom), as in src/ui/layout.h.
CARD = (10, 10, 750, 510)
TRACK = (152, 350, 572, 360)
FILL_LEFT, FILL_TOP, FILL_BOTTOM, FILL_MAX = 153, 351, 359, 418
MAIN_BUTTON = (220, 432, 396, 460)
CANCEL_BUTTON = (408, 432, 540, 460)
MINIMISE_BOX = (659, 28, 691, 60)
CLOSE_BOX = (700, 28, 732, 60)
# Text areas, trimmed clear of outlines so that no edge reads as a letter.
STATUS_TEXT = (20, 302, 740, 334)
DETAIL_TEXT = (20, 378, 740, 410)
PERCENT_TEXT = (586, 340, 656, 370)
MAIN_CAPTION = (226, 435, 390, 458)
CANCEL_CAPTION = (414, 435, 534, 458)

BACKGROUND = "050c14"
CARD_FILL = "07111b"
ELLIPSE_FILL = "081d2b"
TRACK_FILL = "0a1220"
PROGRESS = "24d8ff"  # also the main button's fill
CANCEL_FILL = "253247"
BOX_FILL = "0b1522"

# A private address for a host that accepts connections and never answers.
SILENT_ADDRESS = "127.0.0.3"


def env(name):
    value = os.environ.get(name)
    if not value:
        raise SystemExit("%s is not set: run via scripts/run_windows_tests.sh" % name)
    return value


# The settings the tests get from CMake and scripts/run_windows_tests.sh.
SETTINGS = {
    "EXE": "VANTREL_EXE",
    "RELEASE": "VANTREL_RELEASE_DIR",
    "SERVER_LOG": "VANTREL_SERVER_LOG",
    "FIXTURES": "VANTREL_FIXTURES",
    "BUILD": "VANTREL_BUILD",
    "WINEPREFIX": "WINEPREFIX",
    "DISPLAY": "DISPLAY",
}


def setting(name):
    return env(SETTINGS[name])


def marker_path():
    return os.path.join(setting("FIXTURES"), "marker.txt")


def fixture(name):
    """The bytes of a test setup program built by makensis."""
    with open(os.path.join(setting("FIXTURES"), name), "rb") as f:
        return f.read()


def shots_folder():
    """Where Shot.save puts its files: $VANTREL_SHOTS, else $VANTREL_BUILD/e2e."""
    return os.environ.get("VANTREL_SHOTS") or os.path.join(setting("BUILD"), "e2e")


def run(args, timeout=30, **kwargs):
    return subprocess.run(args, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout, check=True, **kwargs).stdout


def wait_until(probe, timeout, what, interval=0.05):
    """The first truthy result of probe(), polled until the time is up."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = probe()
        if last:
            return last
        if time.monotonic() > deadline:
            raise AssertionError("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(interval)


def require_test_network():
    # The tests must only ever reach the loopback server: refuse to run where
    # the update host is not mapped to it (no lookup leaves this machine).
    with open("/etc/hosts") as f:
        for line in f:
            words = line.split("#")[0].split()
            if words[:1] == ["127.0.0.1"] and HOST in words[1:]:
                return
    raise SystemExit("%s is not the loopback server here: run via "
                     "scripts/run_windows_tests.sh" % HOST)


# --- the release folder and the server's log ------------------------------

def publish(relative, data):
    """Writes a release file whole (the server never sees half of it)."""
    path = os.path.join(setting("RELEASE"), relative)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    if isinstance(data, str):
        data = data.encode()
    tmp = path + ".part"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def unpublish(relative):
    try:
        os.remove(os.path.join(setting("RELEASE"), relative))
    except FileNotFoundError:
        pass


def publish_manifest(version=None, url=None, extra_platform=None):
    body = {}
    if version is not None:
        body["version"] = version
    platforms = {}
    if url is not None:
        platforms["windows-x86_64-nsis"] = {"url": url}
    if extra_platform:
        platforms.update(extra_platform)
    body["platforms"] = platforms
    publish(MANIFEST, json.dumps(body, separators=(",", ":")))


def server_requests():
    with open(setting("SERVER_LOG"), encoding="utf-8") as f:
        return f.read().splitlines()


def count_requests(path, since=0):
    return server_requests()[since:].count("GET " + path)


def server_responses(path=None):
    """The server's responses, oldest first, as (path, Range, If-Range,
    status, body bytes sent); a header not sent is None. Only `path`'s when
    given."""
    def header(v):
        return None if v == "-" else v.replace("%20", " ").replace("%25", "%")

    with open(setting("SERVER_LOG") + ".ranges", encoding="utf-8") as f:
        rows = [line.split(" ") for line in f.read().splitlines()]
    return [(p, header(r), header(i), None if s == "-" else int(s), int(n))
            for p, r, i, s, n in rows if path is None or p == path]


# --- Wine's side of the file system ---------------------------------------

def wine_user():
    users = sorted(u for u in os.listdir(os.path.join(setting("WINEPREFIX"), "drive_c", "users"))
                   if u != "Public")
    if len(users) != 1:
        raise AssertionError("expected one user folder in the prefix, found %r" % users)
    return users[0]


def download_folder():
    return os.path.join(setting("WINEPREFIX"), "drive_c", "users", wine_user(), "Temp",
                        "VantrelBootstrapper")


def windows_setup_path(version):
    return "C:\\users\\%s\\Temp\\VantrelBootstrapper\\Vantrel-%s.exe" % (wine_user(), version)


def support_log(name="bootstrapper.log"):
    """The lines of the support log, without their line ends."""
    with open(os.path.join(download_folder(), name), "rb") as f:
        return f.read().decode("utf-8").split("\r\n")[:-1]


def clear_downloads():
    shutil.rmtree(download_folder(), ignore_errors=True)


def clear_marker():
    try:
        os.remove(marker_path())
    except FileNotFoundError:
        pass


def marker_runs():
    """(command line, parameters) of every recorded setup run, in order."""
    try:
        with open(marker_path(), "rb") as f:
            data = f.read()
    except FileNotFoundError:
        return []
    if not data.startswith(b"\xff\xfe"):
        raise AssertionError("marker has no UTF-16LE byte-order mark: %r" % data[:16])
    text = data[2:].decode("utf-16-le")
    if not text.endswith("\r\n"):
        raise AssertionError("marker does not end with CRLF: %r" % text)
    lines = text[:-2].split("\r\n")
    if len(lines) % 2:
        raise AssertionError("marker has an odd number of lines: %r" % lines)
    return [(lines[i], lines[i + 1]) for i in range(0, len(lines), 2)]


def size_close(text, count):
    """Whether a size text of the program ("91.2 KB") names `count` bytes to
    its one decimal; the exact rounding is the native tests' business."""
    match = re.fullmatch(r"(\d+\.\d) (B|KB|MB|GB)", text)
    if not match:
        return False
    unit = 1024 ** ["B", "KB", "MB", "GB"].index(match.group(2))
    return abs(float(match.group(1)) * unit - count) <= unit / 20


def hold_path(name):
    """The scenario prefix of a response held at its stops (see the update
    server's /hold/)."""
    return "hold/%s/" % name


def release_hold(name, stops):
    """Lets a held response (or the next one by that name) pass `stops` stops."""
    publish("held/" + name, "%d\n" % stops)


def reset_hold(name):
    unpublish("held/" + name)
    unpublish("held/%s.at" % name)


def held_at(name):
    """The stop a held response last reached, 0 before the first."""
    try:
        with open(os.path.join(setting("RELEASE"), "held", name + ".at")) as f:
            return int(f.read())
    except FileNotFoundError:
        return 0


def wait_held(name, stop, timeout=30):
    wait_until(lambda: held_at(name) == stop, timeout, "the response held at stop %d" % stop)


# --- screenshots -----------------------------------------------------------

def hex_of(rgb):
    return "%02x%02x%02x" % rgb


class Shot:
    """The root window's pixels, read in client coordinates of a window."""

    def __init__(self, data, origin):
        self.data = data
        self.origin = origin
        self.status_text = None

    def screen_pixel(self, x, y):
        i = (y * SCREEN[0] + x) * 3
        return hex_of(tuple(self.data[i:i + 3]))

    def pixel(self, x, y):
        return self.screen_pixel(self.origin[0] + x, self.origin[1] + y)

    def fill_width(self):
        """Length of the progress colour along the bar's middle row."""
        width = 0
        while (width < FILL_MAX + 2
               and self.pixel(FILL_LEFT + width, 355) == PROGRESS):
            width += 1
        return width

    def save_ppm(self, path, rect=None):
        write_ppm(path, self.crop(rect or (0, 0, SIZE[0], SIZE[1])))

    def save(self, name):
        """Stores the window area as <name>.png in shots_folder(); returns its path."""
        folder = shots_folder()
        os.makedirs(folder, exist_ok=True)
        path = os.path.join(folder, name + ".png")
        with tempfile.TemporaryDirectory() as tmp:
            ppm = os.path.join(tmp, "shot.ppm")
            self.save_ppm(ppm)
            run(["convert", ppm, path])
        return path

    def crop(self, rect):
        """The pixels of rect as rows of RGB bytes."""
        left, top, right, bottom = rect
        ox, oy = self.origin
        return [bytearray(self.data[((oy + y) * SCREEN[0] + ox + left) * 3:
                                    ((oy + y) * SCREEN[0] + ox + right) * 3])
                for y in range(top, bottom)]

    def status(self):
        if self.status_text is None:  # read once: waits ask for it again
            self.status_text = self.text(STATUS_TEXT)
        return self.status_text

    def detail(self):
        return self.text(DETAIL_TEXT)

    def percentage(self):
        return self.text(PERCENT_TEXT, spacing=4)

    def button(self):
        return self.text(MAIN_CAPTION, dark_on_light=True)

    def text(self, rect, dark_on_light=False, spacing=0):
        """OCR of one line of text in rect, whitespace collapsed."""
        rows = prepare_text(self.crop(rect), spacing)
        with tempfile.TemporaryDirectory() as tmp:
            ppm = os.path.join(tmp, "crop.ppm")
            png = os.path.join(tmp, "crop.png")
            write_ppm(ppm, rows)
            # Grey, dark text on light, 2.5 times the size, and a margin: the
            # settings that read every text these tests know without a slip.
            args = ["convert", ppm, "-colorspace", "Gray"]
            if not dark_on_light:
                args.append("-negate")
            args += ["-resize", "250%", "-normalize", "-bordercolor", "white",
                     "-border", "20", png]
            run(args)
            out = run(["tesseract", png, "-", "--psm", "7"]).decode("utf-8", "replace")
        return " ".join(out.split())


def write_ppm(path, rows):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (len(rows[0]) // 3, len(rows)))
        f.write(b"".join(bytes(r) for r in rows))


def prepare_text(rows, spacing):
    """Helps tesseract with the small unsmoothed glyphs Wine draws: a lone
    pixel (the full stop of the 13 px face) grows to 2x2, the crop shrinks to
    the text, and with `spacing` every glyph gets that many blank columns
    after it (two hyphens in a row otherwise read as one dash). The crop's
    first pixel is its background."""
    height, width = len(rows), len(rows[0]) // 3
    bg = rows[0][0:3]
    mask = [[max(abs(row[x * 3 + c] - bg[c]) for c in range(3)) > 40 for x in range(width)]
            for row in rows]

    def ink(x, y):
        return 0 <= x < width and 0 <= y < height and mask[y][x]

    lone = [(x, y) for y in range(height) for x in range(width)
            if mask[y][x] and not any(ink(x + dx, y + dy) for dx in (-1, 0, 1)
                                      for dy in (-1, 0, 1) if dx or dy)]
    for x, y in lone:
        colour = rows[y][x * 3:x * 3 + 3]
        for dx, dy in ((-1, 0), (0, -1), (-1, -1)):
            if x + dx >= 0 and y + dy >= 0:
                rows[y + dy][(x + dx) * 3:(x + dx) * 3 + 3] = colour
    # Cut to the ink and a small margin: alone in a wide strip, a short word
    # loses its capital ("Installed" read as "installed").
    columns = [any(mask[y][x] for y in range(height)) for x in range(width)]
    inked = [y for y in range(height) if any(mask[y])]
    if not inked:
        return rows
    margin = 2
    left = max(0, columns.index(True) - margin)
    right = min(width, width - columns[::-1].index(True) + margin)
    top, bottom = max(0, inked[0] - margin), min(height, inked[-1] + 1 + margin)
    ends = {x for x in range(width) if columns[x] and (x + 1 == width or not columns[x + 1])}
    out_rows = []
    for row in rows[top:bottom]:
        out = bytearray()
        for x in range(left, right):
            out += row[x * 3:x * 3 + 3]
            if spacing and x in ends:
                out += bytes(bg) * spacing
        out_rows.append(out)
    return out_rows


def screenshot(origin=ORIGIN):
    return Shot(run(["import", "-window", "root", "-depth", "8", "rgb:-"]), origin)


# --- the program -----------------------------------------------------------

def window_ids():
    out = subprocess.run(["xdotool", "search", "--name", "^%s$" % TITLE],
                         stdin=subprocess.DEVNULL, capture_output=True, timeout=10).stdout
    return out.decode().split()


def geometry(wid):
    """(x, y, width, height, map state) of an X window."""
    out = run(["xwininfo", "-id", wid]).decode()
    field = lambda name: re.search(name + r":\s+(\S+)", out).group(1)
    return (int(field("Absolute upper-left X")), int(field("Absolute upper-left Y")),
            int(field("Width")), int(field("Height")), field("Map State"))


class HostsFile:
    """A hosts file that names `address` as the update host (None: leaves it
    out), for App(hosts=).
    It is rewritten in place, so a running program sees a change at its next
    lookup."""

    def __init__(self, address):
        self.dir = tempfile.mkdtemp(prefix="vantrel-e2e-")
        self.path = os.path.join(self.dir, "hosts")
        with open("/etc/hosts") as src:
            self.others = [line for line in src if HOST not in line]
        self.point_to(address)

    def point_to(self, address):
        with open(self.path, "w") as dst:
            dst.writelines(self.others)
            if address:
                dst.write("%s %s\n" % (address, HOST))

    def remove(self):
        shutil.rmtree(self.dir, ignore_errors=True)


class SilentHost:
    """A listener that takes connections and never answers, plus a hosts file
    that names it as the update host: a program started with it stays in its
    update check for as long as the test likes."""

    def __enter__(self):
        self.listener = socket.socket()
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((SILENT_ADDRESS, 443))
        self.listener.listen(16)
        self.file = HostsFile(SILENT_ADDRESS)
        self.hosts = self.file.path
        return self

    def __exit__(self, *exc):
        self.listener.close()
        self.file.remove()


class App:
    """One run of the exe (or of another copy of it, with another environment),
    its window found and first painted."""

    def __init__(self, hosts=None, exe=None, environment=None):
        self.hosts = hosts
        self.exe = exe
        self.environment = environment
        self.proc = None
        self.wid = None
        self.origin = ORIGIN

    def __enter__(self):
        wait_until(lambda: not window_ids(), 10, "an earlier window to go")
        command = ["wine", self.exe or setting("EXE")]
        if self.hosts:
            # Only this process sees the other hosts file: a mount namespace
            # of its own inside the test network.
            command = ["unshare", "--mount", "--", "sh", "-c",
                       'mount --bind "$0" /etc/hosts && exec "$@"', self.hosts] + command
        self.proc = subprocess.Popen(command, stdin=subprocess.DEVNULL, env=self.environment,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            out = run(["xdotool", "search", "--sync", "--onlyvisible", "--name",
                       "^%s$" % TITLE], timeout=30).decode().split()
        except subprocess.TimeoutExpired:
            self.close()
            raise AssertionError("no window named %r within 30 s" % TITLE)
        if len(out) != 1:
            self.close()
            raise AssertionError("expected one window, found %r" % out)
        self.wid = out[0]
        # The first paint comes before the update check starts.
        wait_until(lambda: self.shot().pixel(30, 260) == CARD_FILL, 10, "the first paint")
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        # Only the process this test started: `unshare`, `sh` and `wine` each
        # exec the next, so its id is the program's.
        if self.proc and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                raise AssertionError("process %d did not end within 10 s of SIGKILL"
                                     % self.proc.pid)

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the program did not end within %d s" % timeout)

    def geometry(self):
        return geometry(self.wid)

    def shot(self):
        return screenshot(self.origin)

    def click(self, x, y):
        run(["xdotool", "mousemove", "--window", self.wid, str(x), str(y), "click", "1"])

    def click_rect(self, rect):
        self.click((rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2)

    def drag(self, x, y, dx, dy):
        run(["xdotool", "mousemove", "--window", self.wid, str(x), str(y), "mousedown", "1",
             "mousemove_relative", "--", str(dx), str(dy), "mouseup", "1"])

    def wait_status(self, expected, timeout=30):
        """The first screenshot whose status line reads `expected`."""
        return self.wait_shot(lambda shot: shot.status() == expected, "status %r" % expected,
                              timeout)

    def wait_shot(self, accept, what, timeout=30):
        """The first screenshot that accept(shot) takes. On a timeout the
        window is kept as failed-waiting.png and the statuses seen are named."""
        seen = []

        def probe():
            if not self.running():
                raise AssertionError("the program ended while waiting for %s" % what)
            shot = self.shot()
            text = shot.status()
            if not seen or seen[-1] != text:
                seen.append(text)
            return shot if accept(shot) else None

        try:
            return wait_until(probe, timeout, what, interval=0.1)
        except AssertionError as e:
            self.shot().save("failed-waiting")
            raise AssertionError("%s; statuses seen: %r" % (e, seen))


def main(name):
    """Runs the module's test cases; a closing line and the exit status."""
    for key in SETTINGS:
        setting(key)
    require_test_network()
    started = time.monotonic()
    suite = unittest.defaultTestLoader.loadTestsFromModule(sys.modules["__main__"])
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    verdict = "PASSED" if result.wasSuccessful() else "FAILED"
    print("%s: %s (%d tests, %d failures, %d errors, %.1f s)"
          % (name, verdict, result.testsRun, len(result.failures), len(result.errors),
             time.monotonic() - started), flush=True)
    sys.exit(0 if result.wasSuccessful() else 1)
