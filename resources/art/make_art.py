#!/usr/bin/python3
"""Draws the installer's skin image and the images of its application icon.

    make_art.py OUT_DIR     writes OUT_DIR/skin.png and OUT_DIR/icon-<size>.png

Every picture is a stack of layers composed by ImageMagick's convert: shapes
filled flat or with a gradient, soft shadows and glows, and text in a Debian
font. Shapes are computed here (arcs as polygons, so one geometry serves
every size) and handed to convert as MVG drawing commands; gradients are
computed here too and handed over as 16-bit images. The output depends only
on this file, the fonts and the ImageMagick version: no dates or other
run-dependent data are written.
"""

import math
import os
import shutil
import subprocess
import sys
import tempfile

CONVERT = os.environ.get("CONVERT", "/usr/bin/convert")
FONT_DIR = os.environ.get("ART_FONT_DIR", "/usr/share/fonts/truetype/liberation")
FONT_BOLD = os.path.join(FONT_DIR, "LiberationSans-Bold.ttf")
FONT_REGULAR = os.path.join(FONT_DIR, "LiberationSans-Regular.ttf")

# Palette. The accent is the progress bar's fill colour (string 111); the
# lower band stays light so the dark-grey texts (string 109) and the light
# bar track (string 110) read well on it.
NAVY = "#0a1c3c"
DEEP_BLUE = "#0d3a6e"
TEAL = "#0f8391"
ACCENT = "#de4944"
BAND_TOP = "#fbfcfd"
BAND_BOTTOM = "#f1f4f7"

# Written PNGs carry no dates, no text chunks and no colour profile, and are
# compressed hardest: zlib level 9 with each row's filter chosen adaptively
# ("-quality 95"; the default 75 is level 7), 5 % smaller, pixels the same.
PNG_OUT = ["-define", "png:exclude-chunks=date,time,tEXt,zTXt,iTXt",
           "+set", "date:create", "+set", "date:modify", "-strip", "-quality", "95"]


# ---------------------------------------------------------------- geometry

def fmt(v):
    """A number as MVG text, at fixed precision."""
    s = ("%.2f" % v).rstrip("0").rstrip(".")
    return "0" if s == "-0" else s


# Shapes are given with pixel edges on whole numbers: pixel x covers x to
# x + 1. MVG puts pixel centres on whole numbers and its anti-aliased fill
# reaches half a pixel beyond a shape's outline, so each shape is moved by
# half a pixel and drawn half a pixel smaller all round; a rectangle from
# 2 to 6 then covers exactly the pixels 2 to 5.

def polygon(points):
    return "polygon " + " ".join("%s,%s" % (fmt(x - 0.5), fmt(y - 0.5)) for x, y in points)


def arc_points(cx, cy, r, a0, a1):
    """Points on a circle from angle a0 to a1 (degrees, 0 = +x, clockwise on
    screen since y grows downwards), the chords within 1/50 pixel of it."""
    step = math.degrees(math.sqrt(0.16 / max(r, 0.1)))
    n = max(2, int(math.ceil(abs(a1 - a0) / step)) + 1)
    return [(cx + r * math.cos(math.radians(a0 + (a1 - a0) * i / (n - 1))),
             cy + r * math.sin(math.radians(a0 + (a1 - a0) * i / (n - 1))))
            for i in range(n)]


def arc_band(cx, cy, r, width, a0, a1):
    """A stroke of the given width along an arc, round ends, as one polygon."""
    h = max(width - 1.0, 0.1) / 2.0
    ex, ey = cx + r * math.cos(math.radians(a1)), cy + r * math.sin(math.radians(a1))
    sx, sy = cx + r * math.cos(math.radians(a0)), cy + r * math.sin(math.radians(a0))
    pts = arc_points(cx, cy, r + h, a0, a1)
    pts += arc_points(ex, ey, h, a1, a1 + 180)[1:-1]
    pts += arc_points(cx, cy, r - h, a1, a0)
    pts += arc_points(sx, sy, h, a0 + 180, a0 + 360)[1:-1]
    return polygon(pts)


def rrect(x0, y0, x1, y1, r):
    r = r - 0.5
    if r <= 0.0:
        return rect(x0, y0, x1, y1)
    return "roundrectangle %s,%s %s,%s %s,%s" % tuple(fmt(v) for v in (x0, y0, x1 - 1, y1 - 1, r, r))


def rect(x0, y0, x1, y1):
    return "rectangle %s,%s %s,%s" % tuple(fmt(v) for v in (x0, y0, x1 - 1, y1 - 1))


def circle(cx, cy, r):
    r = max(r - 0.5, 0.05)
    return "circle %s,%s %s,%s" % (fmt(cx - 0.5), fmt(cy - 0.5), fmt(cx - 0.5 + r), fmt(cy - 0.5))


# --------------------------------------------------------------- gradients

def parse_colour(c):
    """'#rrggbb' or '#rrggbbaa' as four floats 0..1."""
    v = [int(c[i:i + 2], 16) / 255.0 for i in range(1, len(c), 2)]
    return v + [1.0] * (4 - len(v))


def colour_ramp(stops, n=1024):
    """The stops [(t, '#colour'), ...] sampled at n + 1 points of 0..1,
    interpolated with premultiplied alpha, as 16-bit RGBA byte strings."""
    stops = [(t, parse_colour(c)) for t, c in stops]
    ramp = []
    for i in range(n + 1):
        t = i / float(n)
        px = stops[-1][1]
        if t <= stops[0][0]:
            px = stops[0][1]
        else:
            for (t0, c0), (t1, c1) in zip(stops, stops[1:]):
                if t <= t1:
                    f = 0.0 if t1 == t0 else (t - t0) / (t1 - t0)
                    a = c0[3] + (c1[3] - c0[3]) * f
                    if a <= 0.0:
                        px = [0.0, 0.0, 0.0, 0.0]
                    else:
                        px = [(c0[k] * c0[3] + (c1[k] * c1[3] - c0[k] * c0[3]) * f) / a
                              for k in range(3)] + [a]
                    break
        ramp.append(b"".join(int(round(v * 65535)).to_bytes(2, "big") for v in px))
    return ramp


def gradient_pixels(w, h, param, stops):
    """16-bit RGBA pixels whose colour is the ramp at param(x, y) (0..1),
    sampled at pixel centres."""
    ramp = colour_ramp(stops)
    n = len(ramp) - 1
    out = bytearray()
    for y in range(h):
        for x in range(w):
            t = min(max(param(x + 0.5, y + 0.5), 0.0), 1.0)
            out += ramp[int(t * n + 0.5)]
    return bytes(out)


# ------------------------------------------------------------------ layers
# A layer is a list of convert arguments in parentheses that leaves one
# image of the canvas size on the stack.

class Canvas:
    def __init__(self, w, h, work_dir):
        self.w, self.h = w, h
        self.size = "%dx%d" % (w, h)
        self.work_dir = work_dir

    def mask(self, shapes, as_alpha=False):
        """White shapes on black: a coverage mask, in the grey channels
        (for CopyOpacity) or as the alpha of a white image (for DstIn)."""
        return ["(", "-size", self.size, "xc:black", "-fill", "white", "-stroke", "none",
                "-draw", " ".join(shapes), "-alpha", "copy" if as_alpha else "off", ")"]

    def flat(self, colour, shapes, opacity=1.0):
        return self._finish(["-size", self.size, "xc:" + colour, "-alpha", "set"],
                            shapes, opacity, False)

    def linear(self, p0, p1, stops, shapes=None, opacity=1.0):
        """A linear gradient from p0 (t = 0) to p1 (t = 1)."""
        dx, dy = p1[0] - p0[0], p1[1] - p0[1]
        n2 = float(dx * dx + dy * dy)
        data = gradient_pixels(self.w, self.h,
                               lambda x, y: ((x - p0[0]) * dx + (y - p0[1]) * dy) / n2, stops)
        return self._finish([self._image(data)], shapes, opacity, True)

    def radial(self, cx, cy, rx, ry, stops, shapes=None, opacity=1.0):
        """An elliptic gradient, t = 0 at the centre and 1 on the ellipse."""
        data = gradient_pixels(self.w, self.h,
                               lambda x, y: math.hypot((x - cx) / rx, (y - cy) / ry), stops)
        return self._finish([self._image(data)], shapes, opacity, True)

    def text(self, x, y, string, font, size, colour, kerning=0.0, opacity=1.0):
        """Text with its baseline's left end at x, y."""
        return ["(", "-size", self.size, "xc:none", "-font", font,
                "-pointsize", fmt(size), "-kerning", fmt(kerning),
                "-fill", colour, "-stroke", "none",
                "-annotate", "+%s+%s" % (fmt(x), fmt(y)), string,
                "-channel", "A", "-evaluate", "multiply", fmt(opacity), "+channel", ")"]

    def group(self, layers):
        """Several layers composed into one."""
        return ["("] + compose(self, layers) + [")"]

    def _image(self, data):
        """Writes 16-bit RGBA pixels as a PAM file; returns its name."""
        fd, path = tempfile.mkstemp(suffix=".pam", dir=self.work_dir)
        with os.fdopen(fd, "wb") as f:
            f.write(b"P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 65535\n"
                    b"TUPLTYPE RGB_ALPHA\nENDHDR\n" % (self.w, self.h))
            f.write(data)
        return path

    def _finish(self, fill, shapes, opacity, has_alpha):
        out = ["("] + fill
        if shapes is not None:
            out += self.mask(shapes, has_alpha) + \
                ["-compose", "DstIn" if has_alpha else "CopyOpacity", "-composite"]
        if opacity != 1.0:
            out += ["-channel", "A", "-evaluate", "multiply", fmt(opacity), "+channel"]
        return out + [")"]


def blurred(layer, sigma):
    return layer[:-1] + ["-channel", "RGBA", "-blur", "0x" + fmt(sigma), "+channel", ")"]


def moved(layer, canvas, zoom, angle, cx, cy, tx, ty):
    """The layer, drawn zoom times larger than the canvas, scaled down and
    rotated by angle degrees (clockwise) about (cx, cy), which lands on
    (tx, ty) of the canvas. Drawing large first keeps the edges smooth."""
    return layer[:-1] + ["-virtual-pixel", "transparent",
                         "-define", "distort:viewport=%s+0+0" % canvas.size,
                         "-distort", "SRT", "%s,%s %s %s %s,%s" % (
                             fmt(cx), fmt(cy), fmt(1.0 / zoom), fmt(angle), fmt(tx), fmt(ty)),
                         "+repage", ")"]


def clipped(layer, canvas, shapes):
    """The layer limited to the shapes (its alpha multiplied by their mask)."""
    return layer[:-1] + canvas.mask(shapes, True) + ["-compose", "DstIn", "-composite", ")"]


def compose(canvas, layers):
    args = ["-size", canvas.size, "xc:none"]
    for layer in layers:
        args += layer + ["-compose", "Over", "-composite"]
    return args


def render(canvas, layers, out):
    env = dict(os.environ, MAGICK_THREAD_LIMIT="1")
    args = [CONVERT] + compose(canvas, layers) + PNG_OUT + ["PNG32:" + out]
    subprocess.run(args, check=True, env=env)


# -------------------------------------------------------------- the adapter

def adapter(c, ox, oy, s=1.0, waves=3):
    """The USB Wi-Fi adapter standing upright: body above, plug below, radio
    waves above the body. (ox, oy) is the top centre of the body and s the
    scale (1 = a body 58 by 112 pixels). Returns the layers in canvas c."""
    bw, bh, br = 58 * s, 112 * s, 15 * s          # body
    pw, ph = 40 * s, 50 * s                       # plug
    x0, x1 = ox - bw / 2, ox + bw / 2
    body = [rrect(x0, oy, x1, oy + bh, br)]
    plug_top = oy + bh - 8 * s
    plug = [rrect(ox - pw / 2, plug_top, ox + pw / 2, plug_top + ph, 3 * s)]
    layers = []
    # Shadow of the whole device.
    layers.append(blurred(c.flat("#020c18", body + plug, 0.5), 5 * s))
    # Plug: brushed metal, with the two contact windows.
    layers.append(c.linear((ox - pw / 2, 0), (ox + pw / 2, 0),
                           [(0, "#97a3af"), (0.3, "#f2f5f8"), (0.55, "#d3dae1"), (1, "#7f8d9b")],
                           plug))
    hw = 7 * s
    for hx in (ox - pw / 4, ox + pw / 4):
        hy = plug_top + 24 * s
        layers.append(c.flat("#3a4550", [rect(hx - hw / 2, hy, hx + hw / 2, hy + hw)]))
    # Body: graphite with a soft sheen from the left.
    layers.append(c.linear((x0, 0), (x1, 0),
                           [(0, "#465366"), (0.35, "#2a3646"), (1, "#151c26")], body))
    # Collar where the plug enters the body, in the accent colour.
    layers.append(clipped(c.flat(ACCENT, [rect(x0, oy + bh - 20 * s, x1, oy + bh - 15 * s)]),
                          c, body))
    # Glossy edge light along the left side.
    layers.append(c.flat("#ffffff", [rrect(x0 + 5 * s, oy + 12 * s, x0 + 8.5 * s,
                                           oy + bh - 30 * s, 1.75 * s)], 0.18))
    # Status light.
    layers.append(blurred(c.flat("#6fe7ef", [circle(ox, oy + 15 * s, 4.5 * s)], 0.9), 2.5 * s))
    layers.append(c.flat("#d8fdff", [circle(ox, oy + 15 * s, 2.3 * s)]))
    # The maker's wave mark on the body.
    my = oy + 62 * s
    mark = [arc_band(ox, my, rr * s, 3.4 * s, 225, 315) for rr in (9, 17)]
    mark.append(circle(ox, my, 2.8 * s))
    layers.append(c.flat("#ffffff", mark, 0.6))
    # Radio waves leaving the top of the adapter.
    for i in range(waves):
        r = (33 + 18 * i) * s
        layers.append(c.flat("#ffffff", [arc_band(ox, oy + 14 * s, r, 6 * s, 232, 308)],
                             0.95 - 0.25 * i))
    return layers


# ----------------------------------------------------------------- the skin

SKIN_W, SKIN_H = 424, 300
CARD = (3, 3, SKIN_W - 3, SKIN_H - 3)   # the card inside its soft edge
CARD_R = 12
BAND_Y = 208                            # top of the light lower band


def skin(work, out):
    c = Canvas(SKIN_W, SKIN_H, work)
    x0, y0, x1, y1 = CARD
    card = [rrect(x0, y0, x1, y1, CARD_R)]
    top = [rect(0, 0, SKIN_W, BAND_Y)]
    layers = []
    # Soft halo just outside the card: the edge's falloff.
    layers.append(blurred(c.flat("#0a1526", card, 0.55), 1.6))
    # The light lower band (drawn on the whole card, the artwork covers it).
    layers.append(c.linear((0, BAND_Y), (0, y1), [(0, BAND_TOP), (1, BAND_BOTTOM)], card))
    # Artwork.
    art = []
    art.append(c.linear((0, 0), (SKIN_W, BAND_Y), [(0, NAVY), (0.55, DEEP_BLUE), (1, TEAL)], top))
    wx, wy = 322, 96                     # where the waves come from
    art.append(c.radial(wx, wy + 10, 170, 130, [(0, "#3fd0dcb0"), (1, "#3fd0dc00")], top, 0.45))
    rings = ["fill none stroke white stroke-width 1.3"] + \
        [circle(wx, wy, r) for r in range(84, 430, 28)]
    art.append(c.flat("#ffffff", rings, 0.06))
    dev = Canvas(2 * SKIN_W, 2 * SKIN_H, work)
    art.append(moved(dev.group(adapter(dev, 424, 120, 1.6)), c, 2, 22, 424, 120, wx, wy - 10))
    art.append(c.text(28, 40, "DRIVER SETUP", FONT_BOLD, 10, "#ffffff", 2.6, 0.6))
    art.append(c.text(26, 100, "KALVERON", FONT_BOLD, 35, "#ffffff", 3.2))
    art.append(c.flat(ACCENT, [rect(28, 112, 62, 115)]))
    art.append(c.text(28, 143, "Wireless USB Adapter", FONT_REGULAR, 19, "#e3f3f7"))
    art.append(c.text(28, 170, "AC600  DUAL-BAND  WI-FI", FONT_BOLD, 9.5, "#9fe3ea", 1.8))
    layers.append(clipped(c.group(art), c, card))
    # A hairline of light where the band meets the artwork.
    layers.append(c.flat("#ffffff", [rect(x0, BAND_Y, x1, BAND_Y + 0.9)], 0.6))
    render(c, layers, out)


# ----------------------------------------------------------------- the icon
# A rounded tile in the skin's colours with the adapter standing upright and
# its waves above it. Each size has its own geometry (in pixels of that
# size): the large ones scale one drawing with all details, the small ones
# are laid out on the pixel grid with fewer, heavier shapes.

ICON_SIZES = (256, 128, 64, 48, 32, 24, 16)


def icon_geometry(size):
    """Shapes of the icon image of one size: tile and body as (x0, y0, x1,
    y1, radius), the collar as its top and bottom, the waves as (centre x,
    centre y, radii, stroke width, start angle, end angle)."""
    if size >= 128:
        k = size / 256.0
        return dict(tile=scale((8, 8, 248, 248, 54), k), body=scale((96, 118, 160, 196, 16), k),
                    collar=scale((180, 187), k), plug=scale((106, 190, 150, 232, 4), k),
                    holes=[scale((112, 207, 121, 216), k), scale((135, 207, 144, 216), k)],
                    waves=scale((128, 130), k) + (scale((34, 59, 84), k), 13 * k, 225, 315),
                    led=scale((128, 135, 5.5), k), detail=True)
    # Below 128 pixels: two heavier waves, no contact windows and no light,
    # every edge on the pixel grid where it matters.
    table = {
        64: dict(tile=(2, 2, 62, 62, 13), body=(24, 30, 40, 48, 4), collar=(43, 45),
                 plug=(27, 47, 37, 58, 1), waves=(32, 29, (9, 18), 5, 230, 310)),
        48: dict(tile=(1, 1, 47, 47, 10), body=(18, 23, 30, 36, 3), collar=(32, 34),
                 plug=(20, 35, 28, 43, 1), waves=(24, 22, (6.8, 13.5), 3.8, 230, 310)),
        32: dict(tile=(1, 1, 31, 31, 6), body=(12, 15, 20, 24, 2), collar=(21, 23),
                 plug=(13, 23, 19, 29, 0.5), waves=(16, 15.5, (5, 9.5), 2.4, 230, 310)),
        24: dict(tile=(1, 1, 23, 23, 4.5), body=(9, 12, 15, 18, 1.5), collar=(16, 17),
                 plug=(10, 18, 14, 22, 0.3), waves=(12, 12, (3.8, 7.2), 1.9, 230, 310)),
        16: dict(tile=(0, 0, 16, 16, 3), body=(6, 8, 10, 12, 1), collar=(11, 12),
                 plug=(7, 12, 9, 14, 0), waves=(8, 8, (2.7, 5.3), 1.5, 230, 310)),
    }
    g = dict(table[size], holes=[], led=None, detail=False)
    return g


def scale(values, k):
    return tuple(v * k for v in values)


def icon(work, size, out):
    c = Canvas(size, size, work)
    g = icon_geometry(size)
    k = size / 256.0
    tx0, ty0, tx1, ty1, tr = g["tile"]
    tile = [rrect(tx0, ty0, tx1, ty1, tr)]
    bx0, by0, bx1, by1, brad = g["body"]
    body = [rrect(bx0, by0, bx1, by1, brad)]
    px0, py0, px1, py1, prad = g["plug"]
    plug = [rrect(px0, py0, px1, py1, prad)]
    wcx, wcy, radii, ww, a0, a1 = g["waves"]
    layers = []
    if g["detail"]:
        # A soft shadow under the tile (inside the image's own margin).
        layers.append(blurred(c.flat("#020c18", [rrect(tx0, ty0 + 3 * k, tx1, ty1 + 3 * k, tr)],
                                     0.45), 3 * k))
    layers.append(c.linear((tx0, ty0), (tx1, ty1), [(0, NAVY), (0.5, DEEP_BLUE), (1, TEAL)], tile))
    if size >= 48:
        layers.append(c.radial(wcx, wcy, 110 * k, 110 * k, [(0, "#48d6e2a0"), (1, "#48d6e200")],
                               tile, 0.6))
        # A faint light along the tile's upper edge.
        layers.append(clipped(c.linear((0, ty0), (0, ty0 + 40 * k),
                                       [(0, "#ffffff2a"), (1, "#ffffff00")]), c, tile))
    if g["detail"]:
        layers.append(blurred(c.flat("#020c18", body + plug, 0.45), 5 * k))
        layers.append(c.linear((px0, 0), (px1, 0), [(0, "#a9b4bf"), (0.3, "#f7f9fb"),
                                                    (0.55, "#dde3e9"), (1, "#8e9ba8")], plug))
        for hx0, hy0, hx1, hy1 in g["holes"]:
            layers.append(c.flat("#3a4550", [rect(hx0, hy0, hx1, hy1)]))
        layers.append(c.linear((bx0, 0), (bx1, 0), [(0, "#ffffff"), (0.6, "#eef2f6"),
                                                    (1, "#c9d3dc")], body))
    else:
        layers.append(c.flat("#c3ccd5", plug))
        for hx0, hy0, hx1, hy1 in g["holes"]:
            layers.append(c.flat("#3a4550", [rect(hx0, hy0, hx1, hy1)]))
        layers.append(c.flat("#ffffff", body))
    if g["collar"] is not None:
        layers.append(clipped(c.flat(ACCENT, [rect(bx0, g["collar"][0], bx1, g["collar"][1])]),
                              c, body))
    if g["led"] is not None:
        lx, ly, lr = g["led"]
        layers.append(blurred(c.flat("#2bc4d2", [circle(lx, ly, lr * 1.3)], 0.8), lr * 0.5))
        layers.append(c.flat("#0fa3b1", [circle(lx, ly, lr)]))
    for i, r in enumerate(radii):
        layers.append(c.flat("#ffffff", [arc_band(wcx, wcy, r, ww, a0, a1)],
                             1.0 if len(radii) < 3 else 1.0 - 0.18 * i))
    render(c, layers, out)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_art.py OUT_DIR\n")
        return 2
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for f in (FONT_BOLD, FONT_REGULAR):
        if not os.path.isfile(f):
            sys.stderr.write("make_art: font %s missing (Debian package fonts-liberation)\n" % f)
            return 1
    work = tempfile.mkdtemp(prefix="make-art.", dir=out_dir)
    try:
        skin(work, os.path.join(out_dir, "skin.png"))
        for size in ICON_SIZES:
            icon(work, size, os.path.join(out_dir, "icon-%d.png" % size))
    finally:
        shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
