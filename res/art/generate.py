#!/usr/bin/env python3
"""Draws Tavinel's pictures and writes them into res/.

    python3 res/art/generate.py           # (re)write every file
    python3 res/art/generate.py --check   # re-read the files and check them

Everything is drawn here with the standard library only.  Nothing depends
on the clock or on chance, so two runs give byte-identical files.

Files written (see README.md beside this script):
    envelope.ico  16x16, 20x20, 24x24 and 32x32 4bpp tray / window icon
    blank.ico     the same sizes, fully transparent (tray blink phase)
    splash.bmp    380x266 8bpp splash picture (top 380x240 is shown)
    agenda.bmp    58x59 4bpp reminder dialog picture
    clip.avi      250x32 8bpp uncompressed animation, 62 frames at 15 fps
"""

import argparse
import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.dirname(HERE)

# The standard 16-colour VGA palette, in the order Windows uses.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE = range(8, 16)

DIALOG_GREY = (192, 192, 192)

# Only the top 240 rows of the splash picture are shown; the rest is spare.
SPLASH_W, SPLASH_H = 380, 266
CLIP_W, CLIP_H, CLIP_FRAMES, CLIP_FPS = 250, 32, 62, 15


# ---------------------------------------------------------------------------
# Anti-aliased drawing on a floating-point RGB canvas
# ---------------------------------------------------------------------------

class Cov:
    """Coverage (0..1) of a shape over the pixel box x0..x0+w, y0..y0+h."""

    __slots__ = ("x0", "y0", "w", "h", "a")

    def __init__(self, x0, y0, w, h):
        self.x0, self.y0, self.w, self.h = x0, y0, w, h
        self.a = [0.0] * (w * h)


def _box(points, cw, ch, pad):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    x0 = max(0, int(math.floor(min(xs) - pad)))
    y0 = max(0, int(math.floor(min(ys) - pad)))
    x1 = min(cw, int(math.ceil(max(xs) + pad)) + 1)
    y1 = min(ch, int(math.ceil(max(ys) + pad)) + 1)
    return x0, y0, max(x0, x1), max(y0, y1)


def fill_cov(contours, cw, ch, ss=6):
    """Coverage of the polygon(s), non-zero winding, `ss` sub-rows a pixel.

    Horizontal coverage inside each sub-row is exact, so edges come out
    smooth without a large number of samples.
    """
    pts = [p for c in contours for p in c]
    x0, y0, x1, y1 = _box(pts, cw, ch, 1)
    cov = Cov(x0, y0, x1 - x0, y1 - y0)
    if not cov.w or not cov.h:
        return cov
    edges = []
    for c in contours:
        n = len(c)
        for i in range(n):
            ax, ay = c[i]
            bx, by = c[(i + 1) % n]
            if ay != by:
                edges.append((ax, ay, bx, by, 1 if by > ay else -1))
    wt = 1.0 / ss
    a, w = cov.a, cov.w
    for py in range(y0, y1):
        row = (py - y0) * w
        for s in range(ss):
            sy = py + (s + 0.5) * wt
            hits = []
            for ax, ay, bx, by, d in edges:
                if (ay <= sy < by) or (by <= sy < ay):
                    hits.append((ax + (sy - ay) * (bx - ax) / (by - ay), d))
            if not hits:
                continue
            hits.sort()
            wind = 0
            start = 0.0
            for x, d in hits:
                if wind == 0:
                    start = x
                wind += d
                if wind == 0:
                    _span(a, row, w, x0, start, x, wt)
    return cov


def _span(a, row, w, x0, xa, xb, wt):
    xa -= x0
    xb -= x0
    if xa < 0:
        xa = 0.0
    if xb > w:
        xb = float(w)
    if xb <= xa:
        return
    ia = int(xa)
    ib = int(math.ceil(xb))
    if ib - ia == 1:
        a[row + ia] += (xb - xa) * wt
        return
    a[row + ia] += (ia + 1 - xa) * wt
    for i in range(row + ia + 1, row + ib - 1):
        a[i] += wt
    a[row + ib - 1] += (xb - (ib - 1)) * wt


def stroke_cov(paths, width, cw, ch, closed=False):
    """Coverage of round-capped, round-joined strokes along the polylines."""
    r = width / 2.0
    segs = []
    for p in paths:
        pts = list(p) + ([p[0]] if closed and len(p) > 2 else [])
        if len(pts) == 1:
            segs.append((pts[0], pts[0]))
        segs.extend(zip(pts, pts[1:]))
    x0, y0, x1, y1 = _box([q for s in segs for q in s], cw, ch, r + 1)
    cov = Cov(x0, y0, x1 - x0, y1 - y0)
    a, w = cov.a, cov.w
    for (ax, ay), (bx, by) in segs:
        sx0 = max(x0, int(math.floor(min(ax, bx) - r - 1)))
        sx1 = min(x1, int(math.ceil(max(ax, bx) + r + 1)))
        sy0 = max(y0, int(math.floor(min(ay, by) - r - 1)))
        sy1 = min(y1, int(math.ceil(max(ay, by) + r + 1)))
        dx, dy = bx - ax, by - ay
        l2 = dx * dx + dy * dy
        for py in range(sy0, sy1):
            cy = py + 0.5
            base = (py - y0) * w - x0
            for px in range(sx0, sx1):
                cx = px + 0.5
                if l2 > 0:
                    t = ((cx - ax) * dx + (cy - ay) * dy) / l2
                    t = 0.0 if t < 0 else 1.0 if t > 1 else t
                else:
                    t = 0.0
                ex = ax + t * dx - cx
                ey = ay + t * dy - cy
                c = r + 0.5 - math.sqrt(ex * ex + ey * ey)
                if c > 0:
                    if c > 1:
                        c = 1.0
                    k = base + px
                    if c > a[k]:
                        a[k] = c
    return cov


class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[float(c) for c in colour] for _ in range(w * h)]

    def shade(self, fn):
        """Sets every pixel to fn(x, y)."""
        for y in range(self.h):
            for x in range(self.w):
                self.px[y * self.w + x] = [float(c) for c in fn(x, y)]

    def paint(self, cov, colour, alpha=1.0):
        """Blends `colour` (RGB or fn(x, y) -> RGB) in through `cov`."""
        fn = colour if callable(colour) else None
        for j in range(cov.h):
            y = cov.y0 + j
            for i in range(cov.w):
                c = cov.a[j * cov.w + i]
                if c <= 0:
                    continue
                c = (1.0 if c > 1 else c) * alpha
                x = cov.x0 + i
                col = fn(x, y) if fn else colour
                p = self.px[y * self.w + x]
                p[0] += (col[0] - p[0]) * c
                p[1] += (col[1] - p[1]) * c
                p[2] += (col[2] - p[2]) * c

    def fill(self, contours, colour, alpha=1.0):
        self.paint(fill_cov(contours, self.w, self.h), colour, alpha)

    def stroke(self, paths, width, colour, alpha=1.0, closed=False):
        self.paint(stroke_cov(paths, width, self.w, self.h, closed),
                   colour, alpha)

    def rgb(self):
        """Rounded 8-bit pixels, row-major, top row first."""
        out = []
        for p in self.px:
            out.append(tuple(0 if v < 0 else 255 if v > 255 else
                             int(v + 0.5) for v in p))
        return out


# Geometry helpers (y grows downwards, angles in degrees, counter-clockwise
# as seen on screen).

def arc(cx, cy, rx, ry, a0, a1, n=None):
    if n is None:
        n = max(6, int(abs(a1 - a0) / 360.0 * (rx + ry) * 2.2))
    pts = []
    for i in range(n + 1):
        t = math.radians(a0 + (a1 - a0) * i / n)
        pts.append((cx + rx * math.cos(t), cy - ry * math.sin(t)))
    return pts


def ellipse(cx, cy, rx, ry, n=None):
    """Closed outline: the first point is repeated at the end."""
    return arc(cx, cy, rx, ry, 0, 360, n)


def rounded_rect(x0, y0, x1, y1, r):
    return (arc(x1 - r, y0 + r, r, r, 0, 90, 6)
            + arc(x0 + r, y0 + r, r, r, 90, 180, 6)
            + arc(x0 + r, y1 - r, r, r, 180, 270, 6)
            + arc(x1 - r, y1 - r, r, r, 270, 360, 6))


def rotate(points, cx, cy, deg):
    t = math.radians(deg)
    c, s = math.cos(t), math.sin(t)
    return [(cx + (x - cx) * c + (y - cy) * s,
             cy - (x - cx) * s + (y - cy) * c) for x, y in points]


def lerp(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(len(a)))


def smooth(t):
    t = 0.0 if t < 0 else 1.0 if t > 1 else t
    return t * t * (3 - 2 * t)


# ---------------------------------------------------------------------------
# A small rounded stroke typeface for the product name and tagline
# ---------------------------------------------------------------------------
# Glyphs are centre-lines in em units: x from the glyph's left stroke centre,
# y upwards negative from the baseline.  XH is the x-height and CH the cap
# height, both measured between stroke centres.

XH = 0.60
CH = 0.92


def _glyph(ch):
    def arc(cx, cy, rx, ry, a0, a1):
        # glyph units are tiny, so pick the point count from the angle alone
        return globals()["arc"](cx, cy, rx, ry, a0, a1,
                                max(4, int(abs(a1 - a0) / 6)))

    def ellipse(cx, cy, rx, ry):
        return arc(cx, cy, rx, ry, 0, 360)

    r = XH / 2
    if ch == "T":
        w = 0.66
        return [[(0, -CH), (w, -CH)], [(w / 2, -CH), (w / 2, 0)]], w
    if ch == "a":
        return [ellipse(r, -r, r, r), [(2 * r, -XH), (2 * r, 0)]], 2 * r
    if ch == "v":
        w = 0.56
        return [[(0, -XH), (w / 2, 0), (w, -XH)]], w
    if ch == "w":
        w = 0.84
        return [[(0, -XH), (w * .25, 0), (w * .5, -XH), (w * .75, 0),
                 (w, -XH)]], w
    if ch == "i":
        return [[(0, -XH), (0, 0)], [(0, -XH - 0.26)]], 0.0
    if ch == "l":
        return [[(0, -CH), (0, 0)]], 0.0
    if ch in "nm":
        k = 0.25 if ch == "n" else 0.2
        strokes = [[(0, -XH), (0, 0)]]
        humps = 1 if ch == "n" else 2
        for h in range(humps):
            x = 2 * k * h
            strokes.append(arc(x + k, -XH + k, k, k, 180, 0)
                           + [(x + 2 * k, 0)])
        return strokes, 2 * k * humps
    if ch == "e":
        return [[(0, -r), (2 * r, -r)] + arc(r, -r, r, r, 0, 312)], 2 * r
    if ch == "o":
        return [ellipse(r, -r, r, r)], 2 * r
    if ch == "t":
        k = 0.15
        return [[(k, -CH + 0.12), (k, -k)] + arc(2 * k, -k, k, k, 180, 270)
                + [(2 * k + 0.06, 0)], [(0, -XH), (0.34, -XH)]], 0.36
    if ch == "f":
        k = 0.16
        return [[(k, 0), (k, -CH + k)] + arc(2 * k, -CH + k, k, k, 180, 90)
                + [(2 * k + 0.1, -CH)], [(0, -XH), (0.36, -XH)]], 0.42
    if ch == "r":
        k = 0.22
        return [[(0, -XH), (0, 0)],
                arc(k, -XH + k, k, k, 180, 90) + [(k + 0.1, -XH)]], k + 0.1
    if ch == " ":
        return [], 0.12
    raise KeyError(ch)


KERN = {"Ta": -0.16, "Tv": -0.12}


def text_paths(text, x, baseline, size, weight, tracking=0.1):
    """Polylines for `text` in pixels; returns (paths, right edge)."""
    paths = []
    pen = x + weight * size / 2
    prev = None
    for ch in text:
        if prev is not None:
            pen += KERN.get(prev + ch, 0.0) * size
        strokes, w = _glyph(ch)
        for s in strokes:
            paths.append([(pen + px * size, baseline + py * size)
                          for px, py in s])
        pen += (w + weight + tracking) * size
        prev = ch
    return paths, pen - (weight / 2 + tracking) * size


def text_width(text, size, weight, tracking=0.1):
    return text_paths(text, 0, 0, size, weight, tracking)[1]


# ---------------------------------------------------------------------------
# Colour reduction
# ---------------------------------------------------------------------------

def median_cut(hist, n):
    """Deterministic median cut of {colour: count} into at most n colours."""
    boxes = [sorted(hist.items())]
    while len(boxes) < n:
        best, best_score = None, 0.0
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            rng = max(max(c[k] for c, _ in box) - min(c[k] for c, _ in box)
                      for k in range(3))
            score = rng * math.sqrt(sum(m for _, m in box))
            if score > best_score:
                best, best_score = i, score
        if best is None:
            break
        box = boxes.pop(best)
        ranges = [max(c[k] for c, _ in box) - min(c[k] for c, _ in box)
                  for k in range(3)]
        k = ranges.index(max(ranges))
        box.sort(key=lambda cm: (cm[0][k], cm[0]))
        total = sum(m for _, m in box)
        acc, cut = 0, 1
        for idx, (_, m) in enumerate(box):
            acc += m
            if acc * 2 >= total:
                cut = min(max(idx + 1, 1), len(box) - 1)
                break
        boxes.extend([box[:cut], box[cut:]])
    out = []
    for box in boxes:
        t = sum(m for _, m in box)
        out.append(tuple(int(sum(c[k] * m for c, m in box) / t + 0.5)
                         for k in range(3)))
    return out


def refine(palette, hist, fixed, rounds=4):
    """A few k-means rounds over the histogram; `fixed` entries stay put."""
    pal = list(palette)
    for _ in range(rounds):
        sums = [[0, 0, 0, 0] for _ in pal]
        for c, m in hist.items():
            k = nearest(pal, c)
            s = sums[k]
            s[0] += c[0] * m
            s[1] += c[1] * m
            s[2] += c[2] * m
            s[3] += m
        for k, s in enumerate(sums):
            if k not in fixed and s[3]:
                pal[k] = (int(s[0] / s[3] + .5), int(s[1] / s[3] + .5),
                          int(s[2] / s[3] + .5))
    return pal


def nearest(pal, c):
    best, bd = 0, 1 << 30
    r, g, b = c
    for k, (pr, pg, pb) in enumerate(pal):
        d = 3 * (pr - r) ** 2 + 4 * (pg - g) ** 2 + 2 * (pb - b) ** 2
        if d < bd:
            best, bd = k, d
    return best


def remap(pixels, pal, cache=None):
    cache = {} if cache is None else cache
    out = []
    for c in pixels:
        k = cache.get(c)
        if k is None:
            k = cache[c] = nearest(pal, c)
        out.append(k)
    return out


# ---------------------------------------------------------------------------
# Pixel-exact drawing in palette indices (icons and the 16-colour picture)
# ---------------------------------------------------------------------------

class Pix:
    def __init__(self, w, h, fill=0):
        self.w, self.h = w, h
        self.p = [fill] * (w * h)

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.p[y * self.w + x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Fills x0..x1, y0..y1 inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x1 > x0 else -1), (1 if y1 > y0 else -1)
        err = dx + dy
        while True:
            self.set(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def disc(self, cx, cy, r, c):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + .5 - cx) ** 2 + (y + .5 - cy) ** 2 <= r * r:
                    self.set(x, y, c)


# ---------------------------------------------------------------------------
# File writers
# ---------------------------------------------------------------------------

def _pack_rows(w, h, bpp, idx):
    """Bottom-up DIB rows, each padded to a multiple of 4 bytes."""
    stride = (w * bpp + 31) // 32 * 4
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = idx[y * w:(y + 1) * w]
        if bpp == 8:
            b = bytearray(row)
        elif bpp == 4:
            b = bytearray()
            for x in range(0, w, 2):
                lo = row[x + 1] if x + 1 < w else 0
                b.append((row[x] << 4) | lo)
        elif bpp == 1:
            b = bytearray()
            for x in range(0, w, 8):
                v = 0
                for k in range(8):
                    if x + k < w and row[x + k]:
                        v |= 0x80 >> k
                b.append(v)
        out += b + bytes(stride - len(b))
    return bytes(out)


def _info_header(w, h, bpp, size_image, clr_used):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 0, size_image,
                       0, 0, clr_used, 0)


def _rgbquads(pal, n):
    pal = list(pal) + [(0, 0, 0)] * (n - len(pal))
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in pal)


def bmp_bytes(w, h, bpp, pal, idx):
    n = 1 << bpp
    bits = _pack_rows(w, h, bpp, idx)
    info = _info_header(w, h, bpp, len(bits), n) + _rgbquads(pal, n)
    off = 14 + len(info)
    head = struct.pack("<2sIHHI", b"BM", off + len(bits), 0, 0, off)
    return head + info + bits


def ico_bytes(images):
    """16-colour square images, each (size, idx, opaque); `opaque` is 1 where
    the icon is drawn."""
    blobs = []
    for w, idx, opaque in images:
        h = w
        xor = _pack_rows(w, h, 4, [c if o else 0 for c, o in zip(idx, opaque)])
        mask = _pack_rows(w, h, 1, [0 if o else 1 for o in opaque])
        # Icons only use biSize..biBitCount and biSizeImage; the rest stays 0.
        blobs.append((w, _info_header(w, h * 2, 4, len(xor) + len(mask), 0)
                      + _rgbquads(VGA, 16) + xor + mask))
    head = struct.pack("<HHH", 0, 1, len(blobs))
    offset = 6 + 16 * len(blobs)
    entries, data = b"", b""
    for w, image in blobs:
        entries += struct.pack("<BBBBHHII", w, w, 16, 0, 1, 4, len(image),
                               offset + len(data))
        data += image
    return head + entries + data


def _chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def _list(kind, body):
    return _chunk(b"LIST", kind + body)


def avi_bytes(w, h, fps, pal, frames):
    stride = (w * 8 + 31) // 32 * 4
    size = stride * h
    n = len(frames)
    avih = struct.pack("<14I", int(round(1e6 / fps)), size * fps, 0,
                       0x10,             # AVIF_HASINDEX
                       n, 0, 1, size, w, h, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0,
                       1, fps, 0, n, size, 0xFFFFFFFF, 0, 0, 0, w, h)
    strf = _info_header(w, h, 8, size, 256) + _rgbquads(pal, 256)
    hdrl = _list(b"hdrl", _chunk(b"avih", avih)
                 + _list(b"strl", _chunk(b"strh", strh)
                         + _chunk(b"strf", strf)))
    movi = bytearray()
    index = bytearray()
    for f in frames:
        data = _pack_rows(w, h, 8, f)
        assert len(data) == size
        # Offsets count from the 'movi' fourcc, which is 4 bytes before.
        index += struct.pack("<4sIII", b"00db", 0x10, 4 + len(movi), size)
        movi += _chunk(b"00db", data)
    body = (b"AVI " + hdrl + _list(b"movi", bytes(movi))
            + _chunk(b"idx1", bytes(index)))
    return _chunk(b"RIFF", body)


# ---------------------------------------------------------------------------
# The pictures
# ---------------------------------------------------------------------------

ICON_SIZES = (16, 20, 24, 32)


def draw_envelope_icon(s=32):
    """s x s closed envelope, drawn for its own size rather than shrunk.

    At 24 pixels and more every stroke that matters is two pixels wide and
    the flap runs at 45 degrees; smaller sizes draw them one pixel wide.
    """
    p = Pix(s, s, 0)
    on = Pix(s, s, 0)
    b = 2 if s >= 24 else 1                  # stroke width
    margin = (5 * s + 16) // 32
    top, bottom, left, right = margin, s - 1 - margin, s // 32, s - 1 - s // 32
    p.rect(left, top, right, bottom, BLACK)
    p.rect(left + b, top + b, right - b, bottom - b, YELLOW)
    on.rect(left, top, right, bottom, 1)
    for x, y in ((left, top), (right, top), (left, bottom), (right, bottom)):
        on.set(x, y, 0)                      # soften the corners
        p.set(x, y, 0)
    # Faint seams from the bottom corners up to the flap.
    for k in range(0, 9 * s // 32):
        for d in range(b):
            p.set(left + b + k + d, bottom - b - k, OLIVE)
            p.set(right - b - k - d, bottom - b - k, OLIVE)
    # The flap: a V from the top corners down to the middle.
    for y in range(top + b, (20 * s + 16) // 32):
        x = min(left + b + (y - top - b), s // 2 - 2)
        for xx in range(x, x + b):
            p.set(xx, y, BLACK)
            p.set(s - 1 - xx, y, BLACK)
    return p.p, on.p


def draw_agenda():
    """58x59: an open spiral agenda, a pen across it and a stopwatch."""
    g = Pix(58, 59, SILVER)
    # cover, with its shadow on the dialog
    g.rect(3, 6, 56, 48, GREY)
    g.rect(1, 4, 55, 46, BLACK)
    g.rect(2, 5, 54, 45, MAROON)
    g.rect(2, 45, 54, 45, BLACK)
    # two pages, the paper stack showing along their bottom edges
    for x0, x1, spine_side in ((4, 26, 1), (30, 52, -1)):
        g.rect(x0, 6, x1, 41, WHITE)
        g.rect(x0, 42, x1, 42, SILVER)
        g.rect(x0, 43, x1, 43, WHITE)
        g.rect(x0, 44, x1, 44, GREY)
        # the page curls down into the spine
        inner = x1 if spine_side > 0 else x0
        g.rect(inner, 6, inner, 44, SILVER)
        g.set(inner, 6, MAROON)
        # day heading and ruled lines
        hx = x0 + 3 if spine_side > 0 else x0 + 4
        g.rect(hx, 9, hx + 8, 10, NAVY)
        g.rect(x0 + 2, 13, x1 - 2, 13, RED)
        for y in range(17, 41, 4):
            g.rect(x0 + 2, y, x1 - 2, y, SILVER)
    g.rect(27, 5, 29, 45, BLACK)                  # gutter
    # spiral rings from hole to hole across the gutter
    for y in range(9, 42, 4):
        g.set(25, y, BLACK)
        g.set(31, y, BLACK)
        g.rect(26, y - 1, 30, y - 1, GREY)
        g.rect(26, y, 30, y, WHITE)
        g.set(26, y, SILVER)
        g.set(30, y, GREY)
        g.rect(27, y + 1, 29, y + 1, GREY)
    # a few handwritten entries on the right page
    for y, x1 in ((16, 46), (20, 42), (28, 48)):
        for x in range(34, x1):
            if (x * 7 + y) % 5:
                g.set(x, y - 1, BLUE)
    # the pen, lying across the pages from lower left to upper right
    def pen(steps, light, body, shade, outline=None):
        for t in steps:
            x, y = 17 + t, 41 - t
            g.set(x, y, light)
            g.set(x + 1, y, body)
            g.set(x + 1, y + 1, body)
            g.set(x + 2, y + 1, shade)
            if outline is not None:
                g.set(x + 2, y + 2, outline)
    pen(range(0, 31), AQUA, BLUE, NAVY, BLACK)    # barrel
    pen(range(24, 31), WHITE, SILVER, GREY)       # cap and clip
    g.set(48, 13, SILVER)
    g.set(49, 14, GREY)
    pen(range(0, 3), SILVER, GREY, GREY)          # nib
    g.set(15, 44, BLACK)
    g.set(16, 43, BLACK)
    g.set(16, 42, GREY)
    g.set(17, 43, GREY)
    # the stopwatch
    cx, cy, r = 45.0, 46.0, 10.5
    g.disc(cx + 1, cy + 1, r, GREY)               # shadow
    g.rect(42, 31, 48, 32, BLACK)                 # crown and stem
    g.rect(43, 31, 47, 31, SILVER)
    g.rect(44, 33, 46, 35, BLACK)
    g.rect(45, 33, 45, 34, SILVER)
    g.disc(cx, cy, r, BLACK)
    g.disc(cx, cy, r - 1, SILVER)
    g.disc(cx, cy, r - 2.2, WHITE)
    g.rect(36, 37, 37, 38, BLACK)                 # lap button
    g.set(36, 37, GREY)
    for k in range(12):
        t = math.radians(k * 30)
        x = int(math.floor(cx + (r - 3.6) * math.sin(t)))
        y = int(math.floor(cy - (r - 3.6) * math.cos(t)))
        g.set(x, y, BLACK if k % 3 == 0 else GREY)
    g.line(45, 46, 45, 40, BLACK)
    g.line(45, 46, 49, 49, RED)
    g.set(45, 46, RED)
    return g.p


# --- splash -----------------------------------------------------------------

SKY_TOP = (252, 253, 255)
SKY_MID = (214, 230, 248)
SKY_LOW = (118, 162, 222)
SKY_ROWS = 210          # the footer waves cover the sky below this


def sky(y):
    t = y / float(SKY_ROWS)
    if t < 0.35:
        return lerp(SKY_TOP, SKY_MID, t / 0.35)
    return lerp(SKY_MID, SKY_LOW, smooth((t - 0.35) / 0.65))


def splash_envelope(cv, cx, cy, w, h, tilt):
    """Large golden envelope centred on (cx, cy), tilted by `tilt` degrees."""
    x0, y0, x1, y1 = cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2
    ink = (26, 42, 92)

    def rot(pts):
        return rotate(pts, cx, cy, tilt)

    body = rot(rounded_rect(x0, y0, x1, y1, 7))
    cv.fill([body], lambda x, y: lerp((255, 226, 110), (246, 184, 40),
                                      smooth((y - y0 + 10) / (h + 20))))
    # bottom and side folds, slightly darker than the body
    apex = (cx, y0 + h * 0.60)
    lower = rot([(x0, y1), (cx, y0 + h * 0.46), (x1, y1)])
    cv.fill([lower], (236, 168, 32), 0.35)
    cv.stroke([rot([(x0 + 4, y1 - 4), (cx - 6, y0 + h * 0.50)]),
               rot([(x1 - 4, y1 - 4), (cx + 6, y0 + h * 0.50)])],
              2.0, (196, 128, 20), 0.55)
    # the flap, with a soft shadow under its edge
    flap = rot([(x0 + 2, y0 + 3), apex, (x1 - 2, y0 + 3)])
    cv.stroke([rot([(x0 + 6, y0 + 8), (cx, y0 + h * 0.60 + 5),
                    (x1 - 6, y0 + 8)])], 7, (150, 90, 10), 0.18)
    cv.fill([flap], lambda x, y: lerp((255, 238, 150), (255, 214, 80),
                                      smooth((y - y0) / (h * 0.6))))
    cv.stroke([flap[:3]], 3.2, ink)
    cv.stroke([body], 3.4, ink, closed=True)
    # wax seal at the tip of the flap
    sx, sy = rot([apex])[0]
    cv.fill([ellipse(sx + 1, sy + 2, 12.5, 12.5)], (90, 20, 20), 0.25)
    cv.fill([ellipse(sx, sy, 12, 12)], lambda x, y: lerp(
        (226, 62, 58), (170, 28, 34), smooth((y - sy + 12) / 24)))
    cv.stroke([ellipse(sx, sy, 12, 12)], 2.2, (120, 16, 24), closed=True)
    cv.stroke([ellipse(sx, sy, 7.5, 7.5)], 1.3, (250, 150, 140), 0.7,
              closed=True)
    # a little heart pressed into the wax
    heart = [(sx, sy + 4.5)]
    heart += arc(sx - 2.4, sy - 1.2, 2.5, 2.5, 210, 20)
    heart += arc(sx + 2.4, sy - 1.2, 2.5, 2.5, 160, -30)
    cv.fill([heart], (255, 214, 205))


def draw_splash():
    W, H = SPLASH_W, SPLASH_H
    cv = Canvas(W, H)
    cv.shade(lambda x, y: sky(y))

    name, tag = "Tavinel", "new mail notifier"
    ex, ey, tilt = 100, 116, 9

    # soft light behind the envelope
    glow = Cov(0, 0, W, 200)
    for y in range(glow.h):
        for x in range(W):
            d = math.hypot((x + .5 - ex) / 1.3, y + .5 - ey) / 150.0
            glow.a[y * W + x] = 0.55 * (1 - smooth(d))
    cv.paint(glow, (255, 255, 255))

    # the footer: two waves
    def wave(ybase, amp, period, phase):
        pts = [(x, ybase + amp * math.sin(2 * math.pi * x / period + phase))
               for x in range(-4, W + 5, 4)]
        return pts + [(W + 4, H + 2), (-4, H + 2)]

    cv.fill([wave(205, 5, 260, 0.9)], lambda x, y: lerp(
        (104, 150, 214), (60, 104, 178), smooth((y - 198) / 50)))
    cv.fill([wave(219, 6, 330, 3.6)], lambda x, y: lerp(
        (38, 72, 146), (20, 42, 100), smooth((y - 210) / 40)))
    front = wave(219, 6, 330, 3.6)[:-2]
    cv.stroke([front], 1.4, (170, 200, 240), 0.55)

    # speed lines behind the envelope
    for dy, length, wdt in ((-24, 40, 5), (-5, 62, 6), (15, 34, 5),
                            (32, 20, 4)):
        a = rotate([(ex - 80 - length, ey + dy), (ex - 80, ey + dy)],
                   ex, ey, tilt)
        cv.stroke([a], wdt, (255, 255, 255), 0.85)
    # shadow on the "ground" far below
    for k in range(8):
        cv.fill([ellipse(ex + 6, 190, 58 - 5 * k, 5.5 - 0.5 * k)],
                (30, 60, 120), 0.045)
    splash_envelope(cv, ex, ey, 136, 88, tilt)

    # small sparkles
    def sparkle(x, y, s, a):
        pts = []
        for k in range(8):
            rr = s if k % 2 == 0 else s * 0.28
            t = math.radians(k * 45 + 90)
            pts.append((x + rr * math.cos(t), y - rr * math.sin(t)))
        cv.fill([pts], (255, 255, 255), a)

    sparkle(178, 52, 6.5, 0.95)
    sparkle(36, 52, 5, 0.8)
    sparkle(184, 168, 4.5, 0.8)

    # product name, its left edge under the version text the program draws
    # at x 200, y 20, and the tagline under it, both ending at the same x
    left, right = 198, 368
    weight, track = 0.2, 0.07
    size = (right - left) / text_width(name, 1.0, weight, track)
    top = 66
    base = top + (CH + weight / 2) * size
    paths, _ = text_paths(name, left, base, size, weight, track)
    shadow = [[(x + 2, y + 2.5) for x, y in p] for p in paths]
    cv.stroke(shadow, weight * size, (20, 50, 110), 0.22)
    cv.stroke(paths, weight * size, lambda x, y: lerp(
        (36, 84, 178), (16, 36, 96), smooth((y - top) / (base - top + 4))))

    tweight, ttrack = 0.14, 0.16
    tsize = (right - left) / text_width(tag, 1.0, tweight, ttrack)
    tpaths, _ = text_paths(tag, left, base + 26, tsize, tweight, ttrack)
    cv.stroke(tpaths, tweight * tsize, (40, 74, 140))
    cv.stroke([[(left + 1, base + 10.5), (right - 1, base + 10.5)]], 1.0,
              (40, 74, 140), 0.35)
    return cv, sky


def quantise_splash(cv, sky_fn, n_sky=80):
    """Fixed ramp entries for the untouched sky, median cut for the rest."""
    rgb = cv.rgb()
    W, H = cv.w, cv.h
    sky_rows = [tuple(int(v + 0.5) for v in sky_fn(y)) for y in range(H)]
    # sample the sky gradient over the rows where it shows
    ramp = []
    for k in range(n_sky):
        c = sky_rows[int(round(k * (SKY_ROWS - 1) / (n_sky - 1)))]
        if c not in ramp:
            ramp.append(c)
    hist = {}
    for i, c in enumerate(rgb):
        if c != sky_rows[i // W]:
            hist[c] = hist.get(c, 0) + 1
    pal = ramp + median_cut(hist, 256 - len(ramp))
    pal = refine(pal, hist, fixed=set(range(len(ramp))), rounds=3)
    cache = {}
    idx = []
    for i, c in enumerate(rgb):
        if c == sky_rows[i // W]:
            k = cache.get(("s", c))
            if k is None:
                k = cache[("s", c)] = nearest(ramp, c)
        else:
            k = cache.get(c)
            if k is None:
                k = cache[c] = nearest(pal, c)
        idx.append(k)
    return pal, idx


# --- animation --------------------------------------------------------------

def clip_envelope(cv, x, y, tilt):
    """Small envelope, left edge at x, top at y (before tilting)."""
    w, h = 34, 22
    cx, cy = x + w / 2, y + h / 2
    ink = (28, 40, 88)

    def rot(pts):
        return rotate(pts, cx, cy, tilt)

    body = rot([(x, y), (x + w, y), (x + w, y + h), (x, y + h)])
    cv.fill([body], lambda px, py: lerp((255, 228, 96), (244, 186, 38),
                                        smooth((py - y) / h)))
    cv.stroke([rot([(x + 2, y + h - 2), (cx - 3, cy + 1)]),
               rot([(x + w - 2, y + h - 2), (cx + 3, cy + 1)])],
              1.0, (200, 130, 20), 0.7)
    flap = rot([(x, y), (cx, y + h * 0.62), (x + w, y)])
    cv.fill([flap], (255, 238, 150))
    cv.stroke([flap], 1.6, ink)
    cv.stroke([body], 1.8, ink, closed=True)
    sx, sy = rot([(cx, y + h * 0.62)])[0]
    cv.fill([ellipse(sx, sy, 3.2, 3.2)], (214, 44, 44))
    cv.stroke([ellipse(sx, sy, 3.2, 3.2)], 1.0, (120, 16, 24), closed=True)


def draw_clip():
    W, H, N = CLIP_W, CLIP_H, CLIP_FRAMES
    step = 5                     # pixels per frame
    period = N * step            # 310: it flies out on the right and, after
                                 # a short pause, comes back in on the left
    frames = []
    for f in range(N):
        cv = Canvas(W, H, DIALOG_GREY)
        phase = 2 * math.pi * 2 * f / N          # two bobs per loop
        y = 5 + round(2.0 * math.sin(phase))
        tilt = 5 * math.cos(phase)
        x0 = (f * step) % period - 48
        for x in (x0, x0 + period):              # the copy keeps the loop
            if x - 60 > W or x < -90:            # seamless at the wrap
                continue
            # speed lines: a long dash, then shorter, fainter ones
            for dy, length in ((7, 34), (12, 46), (17, 28)):
                ty = y + dy
                for s0, s1, a in ((0.0, 0.45, 1.0), (0.56, 0.76, 0.7),
                                  (0.86, 1.0, 0.45)):
                    cv.stroke([[(x - 4 - s1 * length, ty),
                                (x - 4 - s0 * length, ty)]],
                              2.0, (84, 104, 160), a)
            clip_envelope(cv, x, y, tilt)
        frames.append(cv.rgb())
    hist = {}
    for fr in frames:
        for c in fr:
            if c != DIALOG_GREY:
                hist[c] = hist.get(c, 0) + 1
    pal = [DIALOG_GREY] + median_cut(hist, 255)
    pal = refine(pal, hist, fixed={0}, rounds=3)
    cache = {DIALOG_GREY: 0}
    return pal, [remap(fr, pal, cache) for fr in frames]


# ---------------------------------------------------------------------------
# Writing and checking
# ---------------------------------------------------------------------------

def build():
    out = {}
    out["envelope.ico"] = ico_bytes(
        [(s,) + draw_envelope_icon(s) for s in ICON_SIZES])
    out["blank.ico"] = ico_bytes(
        [(s, [0] * (s * s), [0] * (s * s)) for s in ICON_SIZES])
    cv, sky_fn = draw_splash()
    pal, idx = quantise_splash(cv, sky_fn)
    out["splash.bmp"] = bmp_bytes(SPLASH_W, SPLASH_H, 8, pal, idx)
    out["agenda.bmp"] = bmp_bytes(58, 59, 4, VGA, draw_agenda())
    pal, frames = draw_clip()
    out["clip.avi"] = avi_bytes(CLIP_W, CLIP_H, CLIP_FPS, pal, frames)
    return out


def _read(name):
    with open(os.path.join(RES, name), "rb") as f:
        return f.read()


def _bmp_info(b, off):
    return struct.unpack_from("<IiiHHIIiiII", b, off)


def _check_icon(name, empty):
    out = []
    b = _read(name)
    res, typ, count = struct.unpack_from("<HHH", b, 0)
    if (res, typ, count) != (0, 1, len(ICON_SIZES)):
        out.append("ICONDIR does not hold %d images" % len(ICON_SIZES))
        return out
    end = 6 + 16 * count
    for k, s in enumerate(ICON_SIZES):
        w, h, colours, _, planes, bits, size, off = struct.unpack_from(
            "<BBBBHHII", b, 6 + 16 * k)
        if (w, h, colours, planes, bits) != (s, s, 16, 1, 4):
            out.append("entry %d is not %dx%d, 16 colours, 1 plane, 4 bpp"
                       % (k, s, s))
            continue
        xor_stride = (s * 4 + 31) // 32 * 4
        mask_stride = (s + 31) // 32 * 4
        if off != end or size != 40 + 64 + (xor_stride + mask_stride) * s:
            out.append("image %d offset or size is off" % k)
            continue
        end = off + size
        if _bmp_info(b, off)[:6] != (40, s, 2 * s, 1, 4, 0):
            out.append("header %d is not 40 bytes, %dx%d, 4 bpp, BI_RGB"
                       % (k, s, 2 * s))
        xor = b[off + 104:off + 104 + xor_stride * s]
        mask = b[off + 104 + xor_stride * s:off + size]
        drawn = 0
        for y in range(s):
            row = s - 1 - y                   # rows are stored bottom-up
            for x in range(s):
                see_through = (mask[row * mask_stride + x // 8]
                               >> (7 - x % 8)) & 1
                c = (xor[row * xor_stride + x // 2]
                     >> (4 if x % 2 == 0 else 0)) & 15
                # where the mask lets the screen through, the colour must be
                # 0 or it is XOR-ed onto whatever lies underneath
                if see_through and c:
                    out.append("%d: see-through pixel %d,%d has colour %d"
                               % (s, x, y, c))
                drawn += not see_through
        if (drawn == 0) != empty:
            out.append("%d: %d pixels drawn" % (s, drawn))
    if end != len(b):
        out.append("%d bytes after the images" % (len(b) - end))
    return out


def _check_splash():
    out = []
    b = _read("splash.bmp")
    off = struct.unpack_from("<I", b, 10)[0]
    if b[:2] != b"BM" or struct.unpack_from("<I", b, 2)[0] != len(b):
        out.append("file header")
    hs, w, h, _, bits, comp, _, _, _, used, important = _bmp_info(b, 14)
    if (hs, w, h, bits, comp, used, important) != (40, 380, 266, 8, 0, 256, 0):
        out.append("not 380x266, 8 bpp, BI_RGB, 256 colours")
    if off != 14 + 40 + 1024 or len(b) != off + 380 * 266:
        out.append("colour table or pixel data misplaced")
    pal = [(b[54 + 4 * k + 2], b[54 + 4 * k + 1], b[54 + 4 * k])
           for k in range(256)]
    # the program writes "Version 2.0" in black at x 200, y 20 over this box
    darkest = 255
    for y in range(15, 41):
        row = off + (h - 1 - y) * 380
        for x in range(195, 301):
            r, g, bl = pal[b[row + x]]
            darkest = min(darkest, (299 * r + 587 * g + 114 * bl) // 1000)
    if darkest < 200:
        out.append("version text area too dark (luma %d)" % darkest)
    return out


def _check_agenda():
    out = []
    b = _read("agenda.bmp")
    hs, w, h, _, bits, comp, _, _, _, used, _ = _bmp_info(b, 14)
    if (hs, w, h, bits, comp, used) != (40, 58, 59, 4, 0, 16):
        out.append("not 58x59, 4 bpp, BI_RGB, 16 colours")
    if len(b) != 14 + 40 + 64 + 32 * 59 or b[54:118] != _rgbquads(VGA, 16):
        out.append("size or VGA colour table")
    # it sits on a light-grey dialog, so its corners must be that grey
    for y in (0, 58):
        row = 118 + (58 - y) * 32
        for x in (0, 57):
            if (b[row + x // 2] >> (4 if x % 2 == 0 else 0)) & 15 != SILVER:
                out.append("corner %d,%d is not light grey" % (x, y))
    return out


def _check_clip():
    out = []
    b = _read("clip.avi")
    if (b[:4] != b"RIFF" or b[8:12] != b"AVI "
            or struct.unpack_from("<I", b, 4)[0] + 8 != len(b)):
        out.append("RIFF 'AVI ' header")
    top = _riff_walk(b, 12, len(b))
    if ([(c[0], c[3]) for c in top]
            != [(b"LIST", b"hdrl"), (b"LIST", b"movi"), (b"idx1", None)]):
        return out + ["top level is not hdrl, movi, idx1"]
    hdrl = dict((c[3] or c[0], c)
                for c in _riff_walk(b, top[0][1] + 4, top[0][2]))
    avih = struct.unpack_from("<14I", b, hdrl[b"avih"][1])
    if (avih[0] != 66667 or not avih[3] & 0x10 or avih[4] != 62
            or avih[6] != 1 or avih[8:10] != (250, 32)):
        out.append("avih: 66667 us, index flag, 62 frames, 1 stream, 250x32")
    strl = dict((c[0], c) for c in _riff_walk(
        b, hdrl[b"strl"][1] + 4, hdrl[b"strl"][2]))
    strh = struct.unpack_from("<4s4sIHHIIIIIIIIhhhh", b, strl[b"strh"][1])
    if (strh[0] != b"vids" or strh[6:8] != (1, 15) or strh[9] != 62
            or strh[10] != 8064 or strh[13:] != (0, 0, 250, 32)):
        out.append("strh: vids, 15/1 fps, 62 long, 8064 buffer, rcFrame")
    bi = _bmp_info(b, strl[b"strf"][1])
    if (bi[:7] != (40, 250, 32, 1, 8, 0, 8064) or bi[9] != 256
            or strl[b"strf"][2] - strl[b"strf"][1] != 40 + 1024):
        out.append("strf: 250x32, 8 bpp, BI_RGB, 256 colours")
    pal_off = strl[b"strf"][1] + 40
    movi = top[1][1]
    frames = _riff_walk(b, movi + 4, top[1][2])
    if len(frames) != 62 or any(c[0] != b"00db" or c[2] - c[1] != 8064
                                for c in frames):
        out.append("movi is not 62 '00db' frames of 8064 bytes")
    idx = b[top[2][1]:top[2][2]]
    if len(idx) != 16 * len(frames):
        out.append("idx1 has %d entries" % (len(idx) // 16))
    for k, fr in enumerate(frames[:len(idx) // 16]):
        ck, flags, pos, size = struct.unpack_from("<4sIII", idx, 16 * k)
        if ck != b"00db" or not flags & 0x10 or size != 8064 \
                or movi + pos != fr[1] - 8:
            out.append("idx1 entry %d does not point at frame %d" % (k, k))
        # the control takes the top-left pixel (the first byte of the last
        # stored row) as the see-through colour
        c = b[fr[1] + 31 * 252]
        if b[pal_off + 4 * c:pal_off + 4 * c + 3] != bytes((192, 192, 192)):
            out.append("frame %d: top-left pixel is not the background" % k)
    return out


def check():
    """Re-reads the written files and checks their fixed formats."""
    checks = [("envelope.ico", lambda: _check_icon("envelope.ico", False)),
              ("blank.ico", lambda: _check_icon("blank.ico", True)),
              ("splash.bmp", _check_splash),
              ("agenda.bmp", _check_agenda),
              ("clip.avi", _check_clip)]
    failed = 0
    for name, fn in checks:
        try:
            problems = fn()
        except (OSError, struct.error, KeyError, IndexError) as e:
            problems = ["unreadable: %r" % (e,)]
        for p in problems[:10]:
            print("FAIL res/%s: %s" % (name, p))
        failed += bool(problems)
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return not failed


def _riff_walk(b, start, end):
    """(fourcc, data start, data end, list type or None) of each chunk."""
    out = []
    pos = start
    while pos + 8 <= end:
        ck, size = struct.unpack_from("<4sI", b, pos)
        kind = b[pos + 8:pos + 12] if ck in (b"LIST", b"RIFF") else None
        out.append((ck, pos + 8, pos + 8 + size, kind))
        pos += 8 + size + (size & 1)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--check", action="store_true",
                    help="only re-read the files in res/ and check them")
    args = ap.parse_args()
    if not args.check:
        for name, data in sorted(build().items()):
            with open(os.path.join(RES, name), "wb") as f:
                f.write(data)
            print("wrote res/%s (%d bytes)" % (name, len(data)))
    return 0 if check() else 1


if __name__ == "__main__":
    sys.exit(main())
