#!/usr/bin/env python3
"""Start-up times of the bootstrapper against a minimal Win32 window, both
started by `wine` the same way, alternating, on the current X display.

For each start, from just before `wine` is spawned:
  window  the top-level window with the program's title exists
  paint   a pixel of the card (client 40,480) shows the card colour
  ready   (bootstrapper only) the percentage changed from "--" to "0%": its
          rectangle holds half as many accent pixels again as while it showed "--"

Runs inside bench/run.sh (namespace with the served manifest, a warm
wineserver, DISPLAY). Prints one JSON object."""

import argparse
import json
import os
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from xscreen import Screen  # noqa: E402

CARD_PROBE = (40, 480)
CARD_FILL = 0x07111B
PERCENT_RECT = (588, 342, 652, 368)  # src/ui/layout.h, kPercentageLabel
ACCENT = 0x20D8FF
CLOSE_BOX = (716, 44)  # the bootstrapper's close box; any click closes the minimal window
POLL = 0.002
TIMEOUT = 30.0


def accent_pixels(screen, origin):
    left, top, right, bottom = PERCENT_RECT
    rows = screen.pixels(origin[0] + left, origin[1] + top, right - left, bottom - top)
    return None if rows is None else sum(row.count(ACCENT) for row in rows)


def measure(screen, exe, title, wait_ready):
    times = {}
    start = time.monotonic()
    process = subprocess.Popen(["wine", exe], stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        window = None
        origin = None
        dashes = None
        while True:
            now = time.monotonic() - start
            if now > TIMEOUT:
                raise RuntimeError("%s: no %s after %.0f s" % (
                    title, "window" if window is None else "paint" if "paint" not in times
                    else "ready state", TIMEOUT))
            if process.poll() is not None:
                raise RuntimeError("%s exited early with %d" % (title, process.returncode))
            if window is None:
                window = screen.find_window(title)
                if window is not None:
                    times["window"] = now
                    continue
            else:
                origin = screen.origin(window)
                if origin is not None and "paint" not in times:
                    # The window may be shown once at 0,0 and then centred;
                    # the probe follows it.
                    if screen.pixel(origin[0] + CARD_PROBE[0],
                                    origin[1] + CARD_PROBE[1]) == CARD_FILL:
                        times["paint"] = now
                        if not wait_ready:
                            break
                elif origin is not None and wait_ready:
                    # "--" first (taken as the baseline once it shows), then
                    # "0%", which has far more ink in any font.
                    count = accent_pixels(screen, origin)
                    if not count:
                        pass
                    elif dashes is None:
                        dashes = count
                    elif count >= 1.5 * dashes:
                        times["ready"] = now
                        break
            time.sleep(POLL)
        subprocess.run(["xdotool", "mousemove", "--window", str(window), str(CLOSE_BOX[0]),
                        str(CLOSE_BOX[1]), "click", "1"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=10)
        process.wait(timeout=10)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    return times


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--ours", required=True)
    p.add_argument("--minimal", required=True)
    p.add_argument("--rounds", type=int, default=5)
    a = p.parse_args()

    screen = Screen(os.environ.get("DISPLAY"))
    programs = [("ours", a.ours, "Vantrel Bootstrapper", True),
                ("minimal", a.minimal, "Minimal Window", False)]
    # One start of each first, unmeasured: the first wine start after the
    # server comes up loads far more from disk than any later one.
    for _, exe, title, ready in programs:
        measure(screen, exe, title, ready)
    runs = {"ours": [], "minimal": []}
    for round_ in range(a.rounds):
        order = programs if round_ % 2 == 0 else programs[::-1]
        for name, exe, title, ready in order:
            runs[name].append(measure(screen, exe, title, ready))
    screen.close()

    def median(name, key):
        return statistics.median(r[key] for r in runs[name])

    print(json.dumps({
        "rounds": a.rounds,
        "runs": runs,
        "median_seconds": {
            "ours_window": median("ours", "window"),
            "ours_paint": median("ours", "paint"),
            "ours_ready": median("ours", "ready"),
            "minimal_window": median("minimal", "window"),
            "minimal_paint": median("minimal", "paint"),
        },
    }))


if __name__ == "__main__":
    main()
