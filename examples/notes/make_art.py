#!/usr/bin/env python3
"""Draws the pictures and the data file of the Tarvo Notes example.

    make_art.py OUTPUT_DIR

writes into OUTPUT_DIR:
    setup.bmp    the installer banner, 598 x 92 pixels, 24-bit: the wizard's width at 96 DPI and
                 the height of its header band (down to the line that names the product)
    notes.ico    the application icon, 16, 24, 32 and 48 pixels, 32-bit with alpha
    palette.bin  four colours (COLORREF, little-endian) that the installer writes as a REG_BINARY
                 value and the program paints its page with: paper, ink, accent, rule

Standard library only. Every shape is a distance function sampled at pixel centres and covered
by clamp(0.5 - distance); only +, -, *, / and sqrt touch floats, which IEEE 754 rounds the same
everywhere, so the files are byte-identical on every machine and every run.
"""

import os
import struct
import sys
from math import sqrt

PAPER = (252, 251, 247)
INK = (52, 58, 66)
INK_SOFT = (112, 120, 131)
ACCENT = (60, 125, 217)
ACCENT_DEEP = (43, 98, 178)
RULE = (214, 219, 226)
BAND_TOP = (245, 245, 245)
WHITE = (255, 255, 255)


def clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


# --- shapes: (distance function, bounding box x0, y0, x1, y1) ---------------------------------

def seg_dist(x, y, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    px, py = x - ax, y - ay
    vv = vx * vx + vy * vy
    t = 0.0 if vv == 0.0 else clamp01((px * vx + py * vy) / vv)
    dx, dy = px - vx * t, py - vy * t
    return sqrt(dx * dx + dy * dy)


def stroke(points, width):
    """A pen stroke through the points, round ends and joins."""
    half = width / 2
    pairs = list(zip(points, points[1:])) or [(points[0], points[0])]

    def d(x, y):
        return min(seg_dist(x, y, a[0], a[1], b[0], b[1]) for a, b in pairs) - half

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return d, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half)


def box(x0, y0, x1, y1, r=0.0):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2, (y1 - y0) / 2

    def d(x, y):
        qx = abs(x - cx) - hx + r
        qy = abs(y - cy) - hy + r
        ox, oy = max(qx, 0.0), max(qy, 0.0)
        return sqrt(ox * ox + oy * oy) + min(max(qx, qy), 0.0) - r

    return d, (x0, y0, x1, y1)


def disc(cx, cy, r):
    def d(x, y):
        return sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy)) - r

    return d, (cx - r, cy - r, cx + r, cy + r)


def arc(cx, cy, r, width, keep):
    """A circle outline of the given pen width, kept where keep(dx, dy) holds (dy grows
    downwards); the cut ends are straight."""
    half = width / 2

    def d(x, y):
        dx, dy = x - cx, y - cy
        ring = abs(sqrt(dx * dx + dy * dy) - r) - half
        return ring if keep(dx, dy) else max(ring, 0.75)

    return d, (cx - r - half, cy - r - half, cx + r + half, cy + r + half)


def diamond(cx, cy, r):
    def d(x, y):
        return (abs(x - cx) + abs(y - cy) - r) / sqrt(2.0)

    return d, (cx - r, cy - r, cx + r, cy + r)


# --- canvas -----------------------------------------------------------------------------------

class Canvas:
    """Straight RGB floats with a coverage (alpha) plane."""

    def __init__(self, w, h, colour=None):
        self.w, self.h = w, h
        c = colour or (0.0, 0.0, 0.0)
        self.rgb = [[list(c) for _ in range(w)] for _ in range(h)]
        self.alpha = [[1.0 if colour else 0.0] * w for _ in range(h)]

    def paint(self, shape, colour, opacity=1.0):
        d, (x0, y0, x1, y1) = shape
        for y in range(max(0, int(y0) - 1), min(self.h, int(y1) + 2)):
            for x in range(max(0, int(x0) - 1), min(self.w, int(x1) + 2)):
                a = clamp01(0.5 - d(x + 0.5, y + 0.5)) * opacity
                if a <= 0.0:
                    continue
                c = colour(x + 0.5, y + 0.5) if callable(colour) else colour
                old, olda = self.rgb[y][x], self.alpha[y][x]
                outa = a + olda * (1.0 - a)
                for i in range(3):
                    old[i] = (c[i] * a + old[i] * olda * (1.0 - a)) / outa
                self.alpha[y][x] = outa

    def gradient(self, y0, c0, y1, c1):
        for y in range(self.h):
            t = clamp01((y + 0.5 - y0) / (y1 - y0))
            c = [c0[i] + (c1[i] - c0[i]) * t for i in range(3)]
            for x in range(self.w):
                self.rgb[y][x] = list(c)
                self.alpha[y][x] = 1.0

    def byte(self, v):
        return int(v + 0.5) if v < 254.5 else 255


# --- the lettering: a small pen-drawn face, only the letters of the name -----------------------

def glyphs(x, base, cap, pen, text):
    """Shapes of `text` starting at x on the baseline `base`; returns (shapes, end x)."""
    xh = cap * 0.74          # x-height
    r = xh / 2               # bowl radius
    gap = cap * 0.16         # space between letters
    shapes = []
    for ch in text:
        if ch == " ":
            x += cap * 0.38
            continue
        if ch == "T":
            w = cap * 0.74
            shapes += [stroke([(x, base - cap), (x + w, base - cap)], pen),
                       stroke([(x + w / 2, base - cap), (x + w / 2, base)], pen)]
        elif ch == "N":
            w = cap * 0.72
            shapes.append(stroke([(x, base), (x, base - cap), (x + w, base), (x + w, base - cap)], pen))
        elif ch == "a":
            w = 2 * r
            shapes += [arc(x + r, base - r, r - pen / 2, pen, lambda dx, dy: True),
                       stroke([(x + w - pen / 2, base - xh), (x + w - pen / 2, base)], pen)]
        elif ch == "o":
            w = 2 * r
            shapes.append(arc(x + r, base - r, r - pen / 2, pen, lambda dx, dy: True))
        elif ch == "e":
            w = 2 * r
            # open on the lower right, between the bar and a line 40 degrees below it
            shapes += [arc(x + r, base - r, r - pen / 2, pen, lambda dx, dy: not (dx > 0 and 0 < dy < dx * 0.84)),
                       stroke([(x + pen / 2, base - r), (x + w - pen / 2, base - r)], pen)]
        elif ch == "r":
            rr = r * 0.95
            w = pen + rr * 1.6
            # the shoulder leaves the stem and ends where it starts to fall again
            shapes += [stroke([(x + pen / 2, base - xh), (x + pen / 2, base)], pen),
                       arc(x + pen / 2 + rr, base - xh + rr, rr - pen / 2, pen,
                           lambda dx, dy: dy < 0 and dx < rr * 0.6)]
        elif ch == "v":
            w = xh * 0.92
            shapes.append(stroke([(x, base - xh), (x + w / 2, base), (x + w, base - xh)], pen))
        elif ch == "t":
            w = xh * 0.62
            stem = x + w * 0.4
            shapes += [stroke([(stem, base - cap * 0.96), (stem, base - pen)], pen),
                       arc(stem + r * 0.55, base - r * 0.55 - pen / 2, r * 0.55, pen,
                           lambda dx, dy: dy > 0 and dx < r * 0.3),
                       stroke([(x, base - xh), (x + w, base - xh)], pen)]
        elif ch == "s":
            w = xh * 0.78
            q = xh / 4
            cx = x + w / 2
            top = (base - 3 * q)
            bottom = (base - q)
            shapes += [arc(cx, top, q, pen, lambda dx, dy: not (dx > 0 and dy > -q * 0.1) and not (dx > 0 and dy > -dx * 0.9)),
                       arc(cx, bottom, q, pen, lambda dx, dy: not (dx < 0 and dy < q * 0.1) and not (dx < 0 and dy < -dx * 0.9))]
        else:
            raise ValueError("no glyph for %r" % ch)
        x += w + gap
    return shapes, x - gap


def notebook(x0, y0, w, h, pen, lines):
    """The product's picture: a ruled page with a blue binding along its top."""
    r = w * 0.12
    page = box(x0, y0, x0 + w, y0 + h, r)
    inner = box(x0 + pen, y0 + pen, x0 + w - pen, y0 + h - pen, max(r - pen, 0.0))
    band = h * 0.24
    rings = [disc(x0 + w * (i + 1) / 4, y0 + band * 0.5, band * 0.16) for i in range(3)]
    rules = []
    thin = max(1.0, float(int(w / 16)))
    for i in range(lines):
        y = float(int(y0 + band + (h - band) * (i + 1) / (lines + 1)))
        rules.append(box(x0 + float(int(w * 0.2)), y, x0 + w - float(int(w * 0.2)), y + thin))
    return page, inner, box(x0 + pen, y0 + pen, x0 + w - pen, y0 + band, max(r - pen, 0.0)), rings, rules


def draw_notebook(c, x0, y0, w, h, pen, lines):
    page, inner, band, rings, rules = notebook(x0, y0, w, h, pen, lines)
    c.paint(page, INK_SOFT)
    c.paint(inner, WHITE)
    c.paint(band, lambda x, y: ACCENT if y < y0 + h * 0.12 else ACCENT_DEEP)
    for ring_shape in rings:
        c.paint(ring_shape, WHITE)
    for rule in rules:
        c.paint(rule, (176, 184, 194) if w > 20 else INK_SOFT)


# --- the banner ---------------------------------------------------------------------------------

BANNER_W, BANNER_H = 598, 92


def banner():
    c = Canvas(BANNER_W, BANNER_H)
    c.gradient(0, BAND_TOP, BANNER_H, WHITE)
    cap, pen, base = 30.0, 3.2, 52.0
    shapes, end = glyphs(0.0, base, cap, pen, "Tarvo Notes")
    icon_w, icon_h, space = 34.0, 40.0, 18.0
    total = icon_w + space + end
    left = float(int((BANNER_W - total) / 2))
    draw_notebook(c, left, base - icon_h + 2, icon_w, icon_h, 2.0, 3)
    shapes, _ = glyphs(left + icon_w + space, base, cap, pen, "Tarvo Notes")
    for s in shapes:
        c.paint(s, INK)
    # the ornament: a hairline either side of a small accent diamond, under the name
    y = 72.5
    mid = BANNER_W / 2
    c.paint(stroke([(mid - 150, y), (mid - 12, y)], 1.0), RULE)
    c.paint(stroke([(mid + 12, y), (mid + 150, y)], 1.0), RULE)
    c.paint(diamond(mid, y, 4.5), ACCENT)
    c.paint(disc(mid - 150, y, 1.5), RULE)
    c.paint(disc(mid + 150, y, 1.5), RULE)
    # a hairline closing the band at the bottom
    c.paint(box(0, BANNER_H - 1, BANNER_W, BANNER_H), (232, 234, 237))
    return c


def bmp_bytes(c):
    row = (c.w * 3 + 3) & ~3
    pixels = bytearray()
    for y in range(c.h - 1, -1, -1):
        line = bytearray()
        for x in range(c.w):
            r, g, b = c.rgb[y][x]
            line += bytes((c.byte(b), c.byte(g), c.byte(r)))
        pixels += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return header + info + bytes(pixels)


# --- the icon -----------------------------------------------------------------------------------

def icon_image(size):
    c = Canvas(size, size)
    m = size / 16.0
    # the page keeps whole-pixel edges at every size so that small icons stay crisp
    x0, y0 = float(int(2 * m)), float(int(1 * m))
    w, h = float(size - 2 * int(2 * m)), float(size - int(1 * m) - int(1 * m))
    draw_notebook(c, x0, y0, w, h, max(1.0, float(int(m + 0.25))), 3 if size < 32 else 4)
    return c


def ico_bytes(sizes):
    images = []
    for size in sizes:
        c = icon_image(size)
        xor = bytearray()
        mask_row = ((size + 31) // 32) * 4
        mask = bytearray()
        for y in range(size - 1, -1, -1):
            bits = bytearray(mask_row)
            for x in range(size):
                a = c.alpha[y][x]
                r, g, b = c.rgb[y][x]
                av = c.byte(a * 255.0)
                xor += bytes((c.byte(b), c.byte(g), c.byte(r), av))
                if av == 0:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
        images.append((size, info + bytes(xor) + bytes(mask)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    return bytes(out)


def palette_bytes():
    return b"".join(bytes((r, g, b, 0)) for r, g, b in (PAPER, INK, ACCENT, RULE))


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_art.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    files = {
        "setup.bmp": bmp_bytes(banner()),
        "notes.ico": ico_bytes([16, 24, 32, 48]),
        "palette.bin": palette_bytes(),
    }
    for name, data in files.items():
        path = os.path.join(out, name)
        # written only when different, so that a rebuild does not touch the files' times
        if os.path.exists(path):
            with open(path, "rb") as f:
                if f.read() == data:
                    continue
        with open(path + ".tmp", "wb") as f:
            f.write(data)
        os.replace(path + ".tmp", path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
