#!/usr/bin/env python3
"""Draws the program's icon, the accent "V" on the window's card, at every
size Windows asks an exe for, and writes it as vantrel.ico beside this script
(or to the path given). Every entry is a PNG: as bitmaps the eight sizes would
take 313 KB (43 KB without the largest), as PNGs they take 5.5 KB.

The drawing is geometric: rounded rectangles and one polygon, covered
exactly along each row and 16 times down each pixel, so the output is the same
on every machine. Edges of the rectangles fall on whole pixels at each size,
which keeps the small sizes sharp.

usage: res/make_icon.py [OUT.ico]"""

import math
import os
import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
BACKGROUND = (0x05, 0x0C, 0x14)
CARD_FILL = (0x07, 0x11, 0x1B)
CARD_OUTLINE = (0x25, 0x50, 0x71)
ACCENT = (0x20, 0xD8, 0xFF)
ROWS_PER_PIXEL = 16


def rounded_rect(left, top, right, bottom, radius):
    """The x-interval a rounded rectangle covers on the line at height y."""

    def spans(y):
        if y < top or y >= bottom:
            return []
        dy = max(top + radius - y, y - (bottom - radius), 0.0)
        dx = radius - math.sqrt(max(radius * radius - dy * dy, 0.0)) if dy > 0 else 0.0
        return [(left + dx, right - dx)]

    return spans


def polygon(points):
    """The x-intervals a polygon covers on the line at height y (even-odd)."""

    def spans(y):
        xs = []
        for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
            if (y0 <= y < y1) or (y1 <= y < y0):
                xs.append(x0 + (y - y0) * (x1 - x0) / (y1 - y0))
        xs.sort()
        return list(zip(xs[0::2], xs[1::2]))

    return spans


def coverage(shape, size):
    """How much of each pixel the shape covers, 0 to 1, row by row."""
    rows = []
    for py in range(size):
        row = [0.0] * size
        for sub in range(ROWS_PER_PIXEL):
            for a, b in shape(py + (sub + 0.5) / ROWS_PER_PIXEL):
                a, b = max(a, 0.0), min(b, float(size))
                for px in range(int(a), min(math.ceil(b), size)):
                    row[px] += (min(b, px + 1) - max(a, px)) / ROWS_PER_PIXEL
        rows.append(row)
    return rows


def layers(size):
    """(shape, colour) in painting order; the first one is the icon's outline."""
    s = size
    radius = 0.1875 * s
    inset = max(1, round(s / 16))
    line = max(1, round(s / 40))
    card = (inset, inset, s - inset, s - inset)
    card_radius = radius - inset
    # The V: two arms meeting in a flat foot, their tops flat on one line.
    left, right, top, bottom = 0.23 * s, 0.77 * s, 0.27 * s, 0.75 * s
    arm, foot, middle = 0.17 * s, 0.15 * s, s / 2
    u = (middle - left - arm) / (middle + foot / 2 - left - arm)
    notch = top + u * (bottom - top)
    v = [(left, top), (left + arm, top), (middle, notch), (right - arm, top), (right, top),
         (middle + foot / 2, bottom), (middle - foot / 2, bottom)]
    return [
        (rounded_rect(0, 0, s, s, radius), BACKGROUND),
        (rounded_rect(*card, card_radius), CARD_OUTLINE),
        (rounded_rect(card[0] + line, card[1] + line, card[2] - line, card[3] - line,
                      card_radius - line), CARD_FILL),
        (polygon(v), ACCENT),
    ]


def draw(size):
    """Rows of straight-alpha (r, g, b, a) pixels of the icon at this size.
    Coverage is taken in eighths, and in quarters at 256 px, where an edge
    pixel is a 256th of the picture: the edges look the same, and the PNGs
    come out two fifths smaller than at full precision."""
    painted = [(coverage(shape, size), colour) for shape, colour in layers(size)]
    levels = 4 if size >= 256 else 8

    def step(c):
        return round(min(c, 1.0) * levels) / levels

    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            alpha = step(painted[0][0][y][x])
            colour = painted[0][1]
            for cover, paint in painted[1:]:
                c = step(cover[y][x])
                colour = tuple(a + (b - a) * c for a, b in zip(colour, paint))
            row.append(tuple(round(c) for c in colour) + (round(alpha * 255),)
                       if alpha else (0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    """An 8-bit RGBA PNG of the pixels (the only PNG form an icon may hold):
    the smallest of its filter and zlib strategy choices."""
    size = len(rows)
    lines = [bytes(b for pixel in row for b in pixel) for row in rows]

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else b if pb <= pc else c

    def filtered(kind):  # one filter for every row: none, sub, up, average, Paeth
        raw, above = bytearray(), bytes(len(lines[0]))
        for line in lines:
            raw.append(kind)
            for i, x in enumerate(line):
                a = line[i - 4] if i >= 4 else 0
                b, c = above[i], above[i - 4] if i >= 4 else 0
                raw.append((x - (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]) & 0xFF)
            above = line
        return bytes(raw)

    def deflate(data, strategy):
        z = zlib.compressobj(9, zlib.DEFLATED, 15, 9, strategy)
        return z.compress(data) + z.flush()

    idat = min((deflate(filtered(kind), strategy) for kind in range(5)
                for strategy in (zlib.Z_DEFAULT_STRATEGY, zlib.Z_FILTERED)), key=len)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def ico(images):
    """An icon file of (size, PNG bytes) entries, in the order given."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, image in images:
        side = size if size < 256 else 0  # 0 stands for 256
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
        data += image
    return head + entries + data


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "vantrel.ico")
    images = [(size, png(draw(size))) for size in SIZES]
    with open(out, "wb") as f:
        f.write(ico(images))
    for size, image in images:
        print("%3d px: %5d bytes" % (size, len(image)))
    print("%s: %d bytes" % (out, os.path.getsize(out)))


if __name__ == "__main__":
    main()
