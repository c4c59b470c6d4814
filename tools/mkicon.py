#!/usr/bin/env python3
"""Draws Tokvin's icon, a metronome, as PNG images for icotool.

Writes OUTDIR/icon-<size>-<bpp>.png for the sizes 16, 32 and 48 pixels at
1, 4 and 8 bits per pixel. Each image keeps within the colour count of its
depth (2, 16, 256 opaque colours) so that icotool writes it at that depth.
For the Linux desktop's menu also icon-128-8.png, the same drawing larger.

usage: mkicon.py OUTDIR
"""
import os
import struct
import sys
import zlib

SIZES = (16, 32, 48)
DESKTOP_SIZE = 128

# colours by depth: body, face, dark, weight, base
PALETTES = {
    1: dict(body=(0, 0, 0), face=(255, 255, 255), dark=(0, 0, 0),
            weight=(0, 0, 0), base=(0, 0, 0), light=(255, 255, 255)),
    4: dict(body=(128, 0, 0), face=(255, 255, 255), dark=(0, 0, 0),
            weight=(255, 0, 0), base=(0, 0, 0), light=(192, 192, 192)),
    8: dict(body=(150, 80, 30), face=(250, 232, 190), dark=(32, 24, 20),
            weight=(200, 30, 20), base=(80, 40, 14), light=(255, 250, 235)),
}


def in_trapezoid(x, y, top, bottom, top_w, bottom_w):
    if not top <= y <= bottom:
        return False
    t = (y - top) / (bottom - top)
    half = (top_w + (bottom_w - top_w) * t) / 2
    return abs(x - 0.5) <= half


def near_segment(x, y, a, b, r):
    (ax, ay), (bx, by) = a, b
    dx, dy = bx - ax, by - ay
    if dx == dy == 0:
        return (x - ax) ** 2 + (y - ay) ** 2 <= r * r
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    px, py = ax + t * dx, ay + t * dy
    return (x - px) ** 2 + (y - py) ** 2 <= r * r


def shape(x, y, size):
    """Which part of the drawing covers the point (x, y) in 0..1, or None."""
    stroke = max(0.045, 0.9 / size)
    if 0.86 <= y <= 0.95 and abs(x - 0.5) <= 0.43:
        return "base"
    if near_segment(x, y, (0.614, 0.42), (0.614, 0.42), 0.085):
        return "weight"
    if near_segment(x, y, (0.5, 0.80), (0.71, 0.10), stroke):
        return "dark"
    if in_trapezoid(x, y, 0.22, 0.80, 0.14, 0.46):
        return "face"
    if in_trapezoid(x, y, 0.06, 0.86, 0.22, 0.74):
        return "body"
    return None


def render(size, bpp):
    pal = PALETTES[bpp]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            x, y = (px + 0.5) / size, (py + 0.5) / size
            part = shape(x, y, size)
            if part is None:
                row.append((0, 0, 0, 0))
                continue
            r, g, b = pal[part]
            if bpp == 8 and part == "body":
                # wood shaded from the left edge to the right
                k = 0.75 + 0.5 * x
                r, g, b = (min(255, int(c * k)) for c in (r, g, b))
            if bpp == 8 and part == "face" and x < 0.45:
                r, g, b = pal["light"]
            row.append((r, g, b, 255))
        rows.append(row)
    return rows


def png(rows):
    h, w = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(c for px in row for c in px) for row in rows)

    def chunk(tag, data):
        return (struct.pack(">I", len(data)) + tag + data
                + struct.pack(">I", zlib.crc32(tag + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for bpp in (1, 4, 8):
        for size in SIZES:
            with open(os.path.join(out, "icon-%d-%d.png" % (size, bpp)), "wb") as f:
                f.write(png(render(size, bpp)))
    with open(os.path.join(out, "icon-%d-8.png" % DESKTOP_SIZE), "wb") as f:
        f.write(png(render(DESKTOP_SIZE, 8)))
