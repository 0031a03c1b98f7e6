#!/usr/bin/env python3
"""Reads one line of the bootstrapper's text from a screenshot.

usage: read_text.py SHOT.png LEFT TOP RIGHT BOTTOM

Prints what tesseract reads in that rectangle (client coordinates of a shot
of the window), whitespace collapsed.

Wine draws small unsmoothed glyphs: the full stop of the 13 px face is one
pixel, which tesseract drops, so a lone pixel is grown to 2x2 first. The crop
is then made grey, dark on light, three times larger and cut at a threshold
(a soft edge turns the bold capital I into a lower-case l), with a margin.
"""

import os
import subprocess
import sys
import tempfile


def run(args, data=None):
    return subprocess.run(args, input=data, capture_output=True, check=True,
                          timeout=30).stdout


def read_ppm(data):
    # convert writes "P6\n<w> <h>\n255\n" and then the pixels.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    width, height = int(fields[1]), int(fields[2])
    pixels = bytearray(data[pos + 1:pos + 1 + width * height * 3])
    return width, height, pixels


def grow_lone_pixels(width, height, px):
    bg = px[0:3]
    ink = [max(abs(px[i * 3 + c] - bg[c]) for c in range(3)) > 40
           for i in range(width * height)]

    def inked(x, y):
        return 0 <= x < width and 0 <= y < height and ink[y * width + x]

    lone = [(x, y) for y in range(height) for x in range(width)
            if ink[y * width + x]
            and not any(inked(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)
                        if dx or dy)]
    for x, y in lone:
        colour = px[(y * width + x) * 3:(y * width + x) * 3 + 3]
        for dx, dy in ((-1, 0), (0, -1), (-1, -1)):
            if x + dx >= 0 and y + dy >= 0:
                i = ((y + dy) * width + x + dx) * 3
                px[i:i + 3] = colour


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__.split("\n\n")[1])
    shot = sys.argv[1]
    left, top, right, bottom = (int(v) for v in sys.argv[2:])
    crop = "%dx%d+%d+%d" % (right - left, bottom - top, left, top)
    width, height, px = read_ppm(run(["convert", shot, "-crop", crop, "+repage",
                                      "-depth", "8", "ppm:-"]))
    grow_lone_pixels(width, height, px)
    with tempfile.TemporaryDirectory() as tmp:
        png = os.path.join(tmp, "line.png")
        ppm = b"P6\n%d %d\n255\n" % (width, height) + bytes(px)
        run(["convert", "ppm:-", "-colorspace", "Gray", "-negate", "-resize", "300%",
             "-normalize", "-threshold", "60%", "-bordercolor", "white", "-border", "20",
             png], ppm)
        out = run(["tesseract", png, "-", "--psm", "7"]).decode("utf-8", "replace")
    print(" ".join(out.split()))


if __name__ == "__main__":
    main()
