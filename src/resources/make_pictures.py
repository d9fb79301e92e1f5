#!/usr/bin/env python3
"""Draws the installer's skin bitmaps and icons.

    make_pictures.py OUTPUT_DIR            write every picture into OUTPUT_DIR
    make_pictures.py --preview OUTPUT_DIR  also write preview-*.png sheets (enlarged, on light grey)

Standard library only. Shapes are signed distance functions evaluated at pixel centres; their
anti-aliased coverage is clamp(0.5 - distance). Only +, -, *, / and sqrt are used on floats, all
of which IEEE 754 rounds exactly, so every run on every machine writes byte-identical files.

Bitmaps that the windows combine with a mask (the header ornament, the close-button skin) are
drawn in two parts: the mask is black wherever the picture covers the background and white
elsewhere (drawn with SRCAND), the image holds the picture composed over the window's top band
colour and black elsewhere (drawn with SRCPAINT). Over that light background the two steps give
the anti-aliased picture; anywhere else the background survives untouched.
"""

import os
import struct
import sys
import zlib
from math import sqrt

# ---------------------------------------------------------------------------------------------
# Colours (r, g, b), 0-255.

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
# The top band of every window starts at 0xF5F5F5: the colour the masked pictures sit on.
BAND = (245, 245, 245)

INK = (96, 104, 116)  # quiet grey for glyph strokes
FRAME = (140, 148, 158)  # borders of boxes and windows
FRAME_LIGHT = (201, 206, 212)
FILL_TOP = (255, 255, 255)
FILL_BOTTOM = (238, 241, 244)
ACCENT = (60, 125, 217)  # the one blue of the whole set
ACCENT_DARK = (44, 100, 180)
ACCENT_LIGHT = (88, 148, 230)
GREEN_TOP = (86, 186, 112)
GREEN_BOTTOM = (50, 148, 78)
GREEN_RIM = (38, 124, 62)
RED_TOP = (230, 104, 96)
RED_BOTTOM = (200, 66, 60)
RED_RIM = (170, 52, 48)


# ---------------------------------------------------------------------------------------------
# Shapes: a signed distance (negative inside) and a bounding box (x0, y0, x1, y1).

class Shape:
    def __init__(self, dist, box):
        self.dist = dist
        self.box = box


def _clamp01(v):
    return 0.0 if v < 0.0 else 1.0 if v > 1.0 else v


def rect(x0, y0, x1, y1, r=0.0):
    """Rectangle with corners rounded by r; edges on whole numbers stay crisp."""
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2, (y1 - y0) / 2

    def d(x, y):
        qx = abs(x - cx) - hx + r
        qy = abs(y - cy) - hy + r
        ox = qx if qx > 0 else 0.0
        oy = qy if qy > 0 else 0.0
        inner = qx if qx > qy else qy
        return sqrt(ox * ox + oy * oy) + (inner if inner < 0 else 0.0) - r

    return Shape(d, (x0, y0, x1, y1))


def circle(cx, cy, r):
    def d(x, y):
        dx, dy = x - cx, y - cy
        return sqrt(dx * dx + dy * dy) - r

    return Shape(d, (cx - r, cy - r, cx + r, cy + r))


def _segment_distance(x, y, ax, ay, bx, by):
    px, py = x - ax, y - ay
    vx, vy = bx - ax, by - ay
    vv = vx * vx + vy * vy
    t = 0.0 if vv == 0 else _clamp01((px * vx + py * vy) / vv)
    dx, dy = px - vx * t, py - vy * t
    return sqrt(dx * dx + dy * dy)


def polyline(points, width):
    """A stroke of the given width along the points, with round ends and joins."""
    half = width / 2
    segs = list(zip(points, points[1:]))

    def d(x, y):
        return min(_segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - half

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(d, (min(xs) - half, min(ys) - half, max(xs) + half, max(ys) + half))


def polygon(points):
    n = len(points)

    def d(x, y):
        best = None
        sign = 1.0
        j = n - 1
        for i in range(n):
            ax, ay = points[j]
            bx, by = points[i]
            dist = _segment_distance(x, y, bx, by, ax, ay)
            if best is None or dist < best:
                best = dist
            # even-odd crossing test
            if (by > y) != (ay > y):
                xc = bx + (y - by) * (ax - bx) / (ay - by)
                if x < xc:
                    sign = -sign
            j = i
        return -best if sign < 0 else best

    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(d, (min(xs), min(ys), max(xs), max(ys)))


def half_plane(nx, ny, px, py, box):
    """Points on the side the normal (nx, ny) points away from, through (px, py)."""
    length = sqrt(nx * nx + ny * ny)
    nx, ny = nx / length, ny / length

    def d(x, y):
        return (x - px) * nx + (y - py) * ny

    return Shape(d, box)


def union(*shapes):
    def d(x, y):
        return min(s.dist(x, y) for s in shapes)

    return Shape(d, (min(s.box[0] for s in shapes), min(s.box[1] for s in shapes),
                     max(s.box[2] for s in shapes), max(s.box[3] for s in shapes)))


def intersect(a, b):
    def d(x, y):
        return max(a.dist(x, y), b.dist(x, y))

    return Shape(d, (max(a.box[0], b.box[0]), max(a.box[1], b.box[1]),
                     min(a.box[2], b.box[2]), min(a.box[3], b.box[3])))


def subtract(a, b):
    def d(x, y):
        return max(a.dist(x, y), -b.dist(x, y))

    return Shape(d, a.box)


def ring(a, width):
    """A band of the given width centred on the shape's outline."""
    half = width / 2

    def d(x, y):
        return abs(a.dist(x, y)) - half

    x0, y0, x1, y1 = a.box
    return Shape(d, (x0 - half, y0 - half, x1 + half, y1 + half))


# ---------------------------------------------------------------------------------------------
# Paints: a colour for a pixel centre.

def solid(colour):
    return lambda x, y: colour


def mix(c0, c1, t):
    t = _clamp01(t)
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


def vertical(y0, c0, y1, c1):
    span = (y1 - y0) or 1.0
    return lambda x, y: mix(c0, c1, (y - y0) / span)


# ---------------------------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats (colour 0-255, alpha 0-1).

class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.r = [0.0] * (w * h)
        self.g = [0.0] * (w * h)
        self.b = [0.0] * (w * h)
        self.a = [0.0] * (w * h)

    def fill(self, shape, paint, opacity=1.0, softness=1.0):
        """Composes paint over the canvas where the shape covers it. A softness above 1 spreads
        the edge over that many pixels (for shadows)."""
        if not callable(paint):
            paint = solid(paint)
        x0, y0, x1, y1 = shape.box
        pad = softness + 1
        i0 = max(0, int(x0 - pad))
        j0 = max(0, int(y0 - pad))
        i1 = min(self.w, int(x1 + pad) + 1)
        j1 = min(self.h, int(y1 + pad) + 1)
        for j in range(j0, j1):
            y = j + 0.5
            row = j * self.w
            for i in range(i0, i1):
                x = i + 0.5
                cover = _clamp01(0.5 - shape.dist(x, y) / softness)
                cover *= opacity(x, y) if callable(opacity) else opacity
                if cover <= 0.0:
                    continue
                cr, cg, cb = paint(x, y)
                k = row + i
                keep = 1.0 - cover
                self.r[k] = cr * cover + self.r[k] * keep
                self.g[k] = cg * cover + self.g[k] * keep
                self.b[k] = cb * cover + self.b[k] * keep
                self.a[k] = cover + self.a[k] * keep

    def rgba(self):
        """Rows top-down of (r, g, b, a) bytes, colour not premultiplied."""
        out = []
        for k in range(self.w * self.h):
            a = _byte(self.a[k] * 255)
            if a == 0:
                out.append((0, 0, 0, 0))
                continue
            inv = 1.0 / self.a[k]
            out.append((_byte(self.r[k] * inv), _byte(self.g[k] * inv), _byte(self.b[k] * inv), a))
        return out

    def over(self, colour):
        """(image, mask) pixel lists for the SRCAND/SRCPAINT pair, composed over colour."""
        image, mask = [], []
        for k in range(self.w * self.h):
            if _byte(self.a[k] * 255) == 0:
                image.append(BLACK)
                mask.append(WHITE)
                continue
            keep = 1.0 - self.a[k]
            image.append((_byte(self.r[k] + colour[0] * keep), _byte(self.g[k] + colour[1] * keep),
                          _byte(self.b[k] + colour[2] * keep)))
            mask.append(BLACK)
        return image, mask


def _byte(v):
    v = int(v + 0.5)
    return 0 if v < 0 else 255 if v > 255 else v


# ---------------------------------------------------------------------------------------------
# File formats.

def _quantise(pixels):
    """At most 256 colours: coarser steps until the colours fit; black and white stay exact."""
    step = 1
    while True:
        if step == 1:
            mapped = pixels
        else:
            def q(v):
                v = (v + step // 2) // step * step
                return 255 if v > 255 else v
            mapped = [(q(r), q(g), q(b)) for r, g, b in pixels]
        colours = sorted(set(mapped))
        if len(colours) <= 256:
            return mapped, colours
        step *= 2


def bmp(w, h, pixels, bits):
    """A BMP file (BITMAPINFOHEADER, bottom-up rows) of 8-bit paletted or 24-bit colour."""
    if bits == 8:
        mapped, palette = _quantise(pixels)
        index = {c: n for n, c in enumerate(palette)}
        stride = (w + 3) & ~3
        rows = []
        for j in range(h - 1, -1, -1):
            row = bytes(index[mapped[j * w + i]] for i in range(w))
            rows.append(row + b"\0" * (stride - w))
        table = b"".join(struct.pack("<BBBB", c[2], c[1], c[0], 0) for c in palette)
        used = len(palette)
    elif bits == 24:
        stride = (w * 3 + 3) & ~3
        rows = []
        for j in range(h - 1, -1, -1):
            row = b"".join(struct.pack("<BBB", *reversed(pixels[j * w + i])) for i in range(w))
            rows.append(row + b"\0" * (stride - w * 3))
        table = b""
        used = 0
    else:
        raise ValueError(bits)
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, 0, len(data), 3780, 3780, used, 0)
    offset = 14 + len(info) + len(table)
    head = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    return head + info + table + data


def png(w, h, rgba):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = bytearray()
    for j in range(h):
        raw.append(0)
        for i in range(w):
            raw.extend(rgba[j * w + i])
    header = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def _icon_image(size, rgba):
    """One icon entry: a 32-bit BGRA DIB with its AND mask, or PNG for 256 pixels."""
    if size >= 256:
        return png(size, size, rgba)
    xor = bytearray()
    for j in range(size - 1, -1, -1):
        for i in range(size):
            r, g, b, a = rgba[j * size + i]
            xor.extend((b, g, r, a))
    stride = ((size + 31) // 32) * 4
    and_mask = bytearray()
    for j in range(size - 1, -1, -1):
        row = bytearray(stride)
        for i in range(size):
            if rgba[j * size + i][3] == 0:
                row[i >> 3] |= 0x80 >> (i & 7)
        and_mask.extend(row)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return info + bytes(xor) + bytes(and_mask)


def ico(images):
    """images: list of (size, rgba) in ascending size."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, bodies = [], []
    for size, rgba in images:
        body = _icon_image(size, rgba)
        dim = 0 if size >= 256 else size
        entries.append(struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(body), offset))
        bodies.append(body)
        offset += len(body)
    return head + b"".join(entries) + b"".join(bodies)


# ---------------------------------------------------------------------------------------------
# The close button: 4 columns (normal, pressed, hover, focus), image row above mask row.

def close_frame(fw, fh, state):
    c = Canvas(fw, fh)
    # Centred on a pixel centre, so that the cross's diagonals fall on whole pixels.
    cx, cy = fw // 2 + 0.5, fh // 2 + 0.5
    unit = fh / 22
    radius = fh / 2 - 2.5 * unit
    k = float(round(4 * unit))  # half the length of one bar of the cross
    width = 1.5 * unit
    if state == "hover":
        c.fill(circle(cx, cy, radius), vertical(cy - radius, (236, 124, 118), cy + radius, (218, 94, 88)))
        cross_colour = WHITE
    elif state == "pressed":
        c.fill(circle(cx, cy, radius), vertical(cy - radius, (196, 72, 66), cy + radius, (178, 58, 54)))
        cross_colour = WHITE
    elif state == "normal":
        cross_colour = INK
    else:  # focus: a ring around whatever the state frame shows
        c.fill(ring(circle(cx, cy, fh / 2 - 1.25 * unit), max(1.0, 1.2 * unit)), (120, 160, 214))
        return c
    c.fill(polyline([(cx - k, cy - k), (cx + k, cy + k)], width), cross_colour)
    c.fill(polyline([(cx - k, cy + k), (cx + k, cy - k)], width), cross_colour)
    return c


def close_skin(w, h):
    """One bitmap: the four frames' images in the upper row, their masks in the lower row."""
    fw, fh = w // 4, h // 2
    pixels = [BLACK] * (w * h)
    for column, state in enumerate(("normal", "pressed", "hover", "focus")):
        frame_image, frame_mask = close_frame(fw, fh, state).over(BAND)
        for j in range(fh):
            for i in range(fw):
                pixels[j * w + column * fw + i] = frame_image[j * fw + i]
                pixels[(fh + j) * w + column * fw + i] = frame_mask[j * fw + i]
    return pixels


# ---------------------------------------------------------------------------------------------
# The header ornament: a tab hanging from the window's top edge, behind the title.

def tab_shape(w, bottom, flare, corner, offset):
    """The tab, moved inwards by offset: a body with rounded lower corners, and concave
    shoulders where it widens into the top edge."""
    left, right = 1.0 + flare, w - 1.0 - flare
    body = rect(left + offset, -20.0, right - offset, bottom - offset, corner - offset)
    shoulder_l = subtract(rect(left - flare, -20.0, left + flare, flare),
                          circle(left - flare, flare, flare + offset))
    shoulder_r = subtract(rect(right - flare, -20.0, right + flare, flare),
                          circle(right + flare, flare, flare + offset))
    return union(body, shoulder_l, shoulder_r)


def ornament(w, h):
    c = Canvas(w, h)
    unit = h / 25
    bottom = h - 1.0
    flare = round(9 * unit)
    corner = 9 * unit
    left, right = 1.0 + flare, w - 1.0 - flare
    # Filled twice rather than outlined: the union of the parts has no exact inner distance,
    # and an outline taken from it would show the seams between body and shoulders.
    c.fill(tab_shape(w, bottom, flare, corner, 0.0), (206, 213, 222))
    c.fill(tab_shape(w, bottom, flare, corner, 1.0), vertical(0, (232, 236, 241), bottom, (248, 249, 251)))
    # a thin accent along the bottom edge, strongest under the title and fading to both ends
    line = max(1.0, round(1.5 * unit))
    mid = w / 2
    half = (right - left) / 2 - corner / 2

    def fade(x, y):
        t = (x - mid) / half
        return 0.6 * (1.0 - t * t)

    c.fill(rect(mid - half, bottom - 1.0 - line, mid + half, bottom - 1.0), ACCENT_LIGHT, opacity=fade)
    return c


# ---------------------------------------------------------------------------------------------
# Icons.

def snap(v):
    """Nearest whole pixel edge: keeps small icons' straight edges crisp."""
    return float(int(v + 0.5))


def check_icon(s, checked, disabled):
    c = Canvas(s, s)
    side = {16: 13, 20: 15, 24: 17}.get(s, round(s * 0.72))
    x0 = float((s - side) // 2)
    y0 = float((s - side + 1) // 2)
    r = side / 6
    outer = rect(x0, y0, x0 + side, y0 + side, r)
    inner = rect(x0 + 1, y0 + 1, x0 + side - 1, y0 + side - 1, r - 0.6)
    if checked:
        border = (176, 184, 193) if disabled else ACCENT_DARK
        top, bottom = ((206, 211, 217), (194, 200, 207)) if disabled else (ACCENT_LIGHT, ACCENT)
    else:
        border = FRAME_LIGHT if disabled else FRAME
        top, bottom = ((246, 247, 248), (240, 241, 243)) if disabled else (FILL_TOP, FILL_BOTTOM)
    c.fill(outer, border)
    c.fill(inner, vertical(y0 + 1, top, y0 + side - 1, bottom))
    if checked:
        u = side / 13
        tick = [(x0 + 3.2 * u, y0 + 6.7 * u), (x0 + 5.5 * u, y0 + 9.0 * u), (x0 + 9.9 * u, y0 + 4.2 * u)]
        c.fill(polyline(tick, 1.75 * u), WHITE)
    return c


def draw_window(c, x0, y0, x1, y1, bar, r, title=ACCENT, body_bottom=FILL_BOTTOM):
    """A small application window: frame, coloured title bar, light body."""
    frame = rect(x0, y0, x1, y1, r)
    c.fill(frame, FRAME)
    inner = rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(0.0, r - 1))
    c.fill(intersect(inner, rect(x0 + 1, y0 + 1, x1 - 1, y0 + 1 + bar)),
           vertical(y0, ACCENT_LIGHT if title == ACCENT else title, y0 + bar, title))
    c.fill(intersect(inner, rect(x0 + 1, y0 + 1 + bar, x1 - 1, y1 - 1)),
           vertical(y0 + bar, FILL_TOP, y1, body_bottom))


def program_icon(s):
    c = Canvas(s, s)
    u = s / 16
    x0, y0, x1, y1 = 1.0, snap(2 * u), float(s - 1), snap(14 * u)
    bar = snap(3 * u)
    draw_window(c, x0, y0, x1, y1, bar, 1.2 * u)
    # a "run" triangle in the body
    cy = (y0 + 1 + bar + y1 - 1) / 2
    tx = (x0 + x1) / 2 - 0.4 * u
    hh = 3.0 * u
    c.fill(polygon([(tx - 2.0 * u, cy - hh), (tx + 3.0 * u, cy), (tx - 2.0 * u, cy + hh)]),
           vertical(cy - hh, GREEN_TOP, cy + hh, GREEN_BOTTOM))
    return c


def restart_icon(s):
    c = Canvas(s, s)
    u = s / 16
    cx, cy = s / 2, s / 2 + 0.5 * u
    radius = 4.8 * u
    width = 2.0 * u
    band = ring(circle(cx, cy, radius), width)
    # A quarter left open, from twelve to three o'clock; the arrow head at twelve points into it.
    big = (0.0, 0.0, float(s), float(s))
    gap = intersect(half_plane(-1.0, 0.0, cx, cy, big), half_plane(0.0, 1.0, cx, cy, big))
    arc = subtract(band, gap)
    head_y = cy - radius
    head = polygon([(cx - 0.5 * u, head_y - 2.8 * u), (cx + 3.2 * u, head_y), (cx - 0.5 * u, head_y + 2.8 * u)])
    c.fill(union(arc, head), ACCENT)
    return c


def shortcut_icon(s):
    c = Canvas(s, s)
    u = s / 16
    # the target: a page behind
    px0, py0, px1, py1 = snap(4 * u), 1.0, float(s - 2), snap(12 * u)
    c.fill(rect(px0, py0, px1, py1, 1.0 * u), FRAME)
    c.fill(rect(px0 + 1, py0 + 1, px1 - 1, py1 - 1, 0.4 * u), vertical(py0, FILL_TOP, py1, FILL_BOTTOM))
    for n in range(2):
        ly = py0 + snap((3 + 2.5 * n) * u) + 0.5
        c.fill(polyline([(px0 + 5.5 * u, ly), (px1 - 2.5 * u, ly)], 1.0), FRAME_LIGHT)
    # the shortcut badge in front, bottom left, with a bold arrow up and to the right
    b = snap(10 * u)
    bx0, by0 = 0.0, float(s) - b
    c.fill(rect(bx0, by0, bx0 + b, by0 + b, 1.2 * u), FRAME)
    c.fill(rect(bx0 + 1, by0 + 1, bx0 + b - 1, by0 + b - 1, 0.6 * u), WHITE)
    tipx, tipy = bx0 + b - 2.0 * u, by0 + 2.0 * u
    c.fill(polyline([(bx0 + 2.8 * u, by0 + b - 2.8 * u), (tipx - 2.0 * u, tipy + 2.0 * u)], 1.9 * u), ACCENT)
    c.fill(polygon([(tipx, tipy), (tipx - 4.8 * u, tipy), (tipx, tipy + 4.8 * u)]), ACCENT)
    return c


def badge_icon(s, kind):
    """The large result marks: a green disc with a tick, a red disc with a cross."""
    c = Canvas(s, s)
    u = s / 100
    cx = cy = s / 2
    radius = s / 2 - 4 * u
    c.fill(circle(cx, cy + 2.0 * u, radius), (0, 0, 0), opacity=0.18, softness=4 * u)
    if kind == "success":
        top, bottom, rim = GREEN_TOP, GREEN_BOTTOM, GREEN_RIM
    else:
        top, bottom, rim = RED_TOP, RED_BOTTOM, RED_RIM
    c.fill(circle(cx, cy, radius), rim)
    c.fill(circle(cx, cy, radius - max(1.0, 1.5 * u)), vertical(cy - radius, top, cy + radius, bottom))
    stroke = 9.0 * u
    if kind == "success":
        c.fill(polyline([(cx - 20 * u, cy + 1 * u), (cx - 6 * u, cy + 15 * u), (cx + 21 * u, cy - 13 * u)], stroke), WHITE)
    else:
        k = 15 * u
        c.fill(polyline([(cx - k, cy - k), (cx + k, cy + k)], stroke), WHITE)
        c.fill(polyline([(cx - k, cy + k), (cx + k, cy - k)], stroke), WHITE)
    return c


def application_window(c, s, u, x0, y0, x1, y1):
    """The light window of the application and uninstall icons, with a soft shadow."""
    r = 6 * u if s >= 32 else 1.5 * u
    if s >= 32:
        c.fill(rect(x0, y0 + 2 * u, x1, y1 + 2 * u, r), BLACK, opacity=0.22, softness=3 * u)
    c.fill(rect(x0, y0, x1, y1, r), FRAME)
    edge = 1.0 if s < 64 else 1.5 * u
    inner = rect(x0 + edge, y0 + edge, x1 - edge, y1 - edge, max(0.0, r - edge))
    bar = snap(y0 + 12 * u) if s >= 24 else y0 + 4.0
    c.fill(intersect(inner, rect(x0, y0, x1, bar)), vertical(y0, (236, 239, 243), bar, (222, 227, 233)))
    c.fill(intersect(inner, rect(x0, bar, x1, y1)), vertical(bar, FILL_TOP, y1, (242, 244, 247)))
    c.fill(rect(x0 + edge, bar - (1.0 if s < 64 else u), x1 - edge, bar), FRAME_LIGHT)
    if s >= 32:
        for n in range(3):
            dot = circle(x1 - (10 + 9 * n) * u, (y0 + bar) / 2, 2.6 * u)
            c.fill(dot, (196, 202, 210) if n else (214, 120, 112))
    return bar


def app_icon(s):
    c = Canvas(s, s)
    if s <= 24:
        u = s / 16
        x0, y0, x1, y1 = 0.0, 1.0, float(s), float(s - 1)
        bar = y0 + snap(3.0 * u)
        c.fill(rect(x0, y0, x1, y1, 1.5 * u), FRAME)
        inner = rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, 1.0 * u)
        c.fill(intersect(inner, rect(x0, y0, x1, bar)), (226, 231, 237))
        c.fill(intersect(inner, rect(x0, bar, x1, y1)), vertical(bar, FILL_TOP, y1, FILL_BOTTOM))
        cx = s / 2
        top = bar + 1.5 * u
        tip = y1 - 3.0 * u
        c.fill(polyline([(cx, top), (cx, tip - 2.5 * u)], 2.0 * u), ACCENT)
        c.fill(polygon([(cx - 3.5 * u, tip - 3.5 * u), (cx + 3.5 * u, tip - 3.5 * u), (cx, tip)]), ACCENT)
        c.fill(rect(snap(cx - 5 * u), snap(y1 - 2.2 * u), snap(cx + 5 * u), snap(y1 - 1.2 * u)), ACCENT_DARK)
        return c
    u = s / 100
    x0, y0, x1, y1 = snap(6 * u), snap(10 * u), s - snap(6 * u), s - snap(10 * u)
    bar = application_window(c, s, u, x0, y0, x1, y1)
    cx = s / 2
    top = bar + 12 * u
    tip = y1 - 22 * u
    shaft = 9 * u
    colour = vertical(top, ACCENT_LIGHT, tip, ACCENT_DARK)
    c.fill(rect(cx - shaft / 2, top, cx + shaft / 2, tip - 12 * u, 1.5 * u), colour)
    c.fill(polygon([(cx - 17 * u, tip - 15 * u), (cx + 17 * u, tip - 15 * u), (cx, tip)]), colour)
    tray = [(cx - 26 * u, y1 - 24 * u), (cx - 26 * u, y1 - 13 * u), (cx + 26 * u, y1 - 13 * u), (cx + 26 * u, y1 - 24 * u)]
    c.fill(polyline(tray, 5 * u), INK)
    return c


def uninstall_icon(s):
    c = Canvas(s, s)
    u = s / 100
    x0, y0, x1, y1 = snap(4 * u), snap(12 * u), s - snap(14 * u), s - snap(18 * u)
    bar = application_window(c, s, u, x0, y0, x1, y1)
    # three faint content lines
    for n in range(3):
        ly = bar + (12 + 10 * n) * u
        c.fill(polyline([(x0 + 12 * u, ly), (x1 - (22 + 14 * n) * u, ly)], 4 * u), (218, 223, 229))
    # the removal badge
    bx, by, br = s - 24 * u, s - 24 * u, 20 * u
    c.fill(circle(bx, by + 1.5 * u, br), BLACK, opacity=0.2, softness=3 * u)
    c.fill(circle(bx, by, br + 2.5 * u), WHITE)
    c.fill(circle(bx, by, br), RED_RIM)
    c.fill(circle(bx, by, br - max(1.0, 1.2 * u)), vertical(by - br, RED_TOP, by + br, RED_BOTTOM))
    c.fill(polyline([(bx - 9 * u, by), (bx + 9 * u, by)], 6 * u), WHITE)
    return c


# ---------------------------------------------------------------------------------------------

BITMAPS = [
    # file, what, width, height, bits
    ("close-100.bmp", "close", 88, 44, 8),
    ("close-125.bmp", "close", 112, 56, 8),
    ("close-150.bmp", "close", 124, 58, 8),
    ("header-100.bmp", "header", 190, 25, 8),
    ("header-125.bmp", "header", 237, 31, 24),
    ("header-150.bmp", "header", 355, 46, 24),
    ("header-mask-100.bmp", "header-mask", 190, 25, 8),
    ("header-mask-125.bmp", "header-mask", 237, 31, 8),
    ("header-mask-150.bmp", "header-mask", 355, 46, 8),
]

SMALL = (16, 20, 24)
LARGE = (75, 94, 112)
ICONS = [
    ("app.ico", app_icon, (16, 20, 24, 32, 48, 64, 256)),
    ("checked.ico", lambda s: check_icon(s, True, False), SMALL),
    ("checked-disabled.ico", lambda s: check_icon(s, True, True), SMALL),
    ("unchecked.ico", lambda s: check_icon(s, False, False), SMALL),
    ("unchecked-disabled.ico", lambda s: check_icon(s, False, True), SMALL),
    ("run-program.ico", program_icon, SMALL),
    ("restart.ico", restart_icon, SMALL),
    ("create-icon.ico", shortcut_icon, SMALL),
    ("success.ico", lambda s: badge_icon(s, "success"), LARGE),
    ("failure.ico", lambda s: badge_icon(s, "failure"), LARGE),
    ("uninstall.ico", uninstall_icon, LARGE),
]


def bitmap_pixels(what, w, h):
    if what == "close":
        return close_skin(w, h)
    image, mask = ornament(w, h).over(BAND)
    return image if what == "header" else mask


def write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def preview(out, icons):
    """Sheets for looking at the pictures: enlarged 4 times, on the top band's grey."""
    for name, images in icons:
        total = sum(s for s, _ in images) + 4 * (len(images) + 1)
        tall = max(s for s, _ in images) + 8
        scale = 4 if tall < 100 else 2 if tall < 200 else 1
        w, h = total * scale, tall * scale
        sheet = [(245, 245, 245, 255)] * (w * h)
        left = 4
        for s, rgba in images:
            for j in range(s * scale):
                for i in range(s * scale):
                    r, g, b, a = rgba[(j // scale) * s + i // scale]
                    k = (4 * scale + j) * w + left * scale + i
                    t = a / 255
                    sheet[k] = (_byte(r * t + 245 * (1 - t)), _byte(g * t + 245 * (1 - t)), _byte(b * t + 245 * (1 - t)), 255)
            left += s + 4
        write(os.path.join(out, "preview-" + name.replace(".ico", ".png")), png(w, h, sheet))


def main(argv):
    args = list(argv[1:])
    with_preview = "--preview" in args
    args = [a for a in args if a != "--preview"]
    if len(args) != 1:
        sys.stderr.write(__doc__)
        return 2
    out = args[0]
    os.makedirs(out, exist_ok=True)
    for name, what, w, h, bits in BITMAPS:
        write(os.path.join(out, name), bmp(w, h, bitmap_pixels(what, w, h), bits))
    drawn = []
    for name, draw, sizes in ICONS:
        images = [(s, draw(s).rgba()) for s in sizes]
        write(os.path.join(out, name), ico(images))
        drawn.append((name, images))
    if with_preview:
        preview(out, drawn)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
