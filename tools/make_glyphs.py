#!/usr/bin/python3
"""Draws the 24 x 24 button glyphs into resources/glyphs/.

The glyphs are 24-bit RGB PNGs without alpha: the program makes pure white
(255, 255, 255) transparent, so the background is exactly pure white and every
pixel that must show avoids it (white details use #FEFEFE).  Each glyph is
drawn at 8x on a transparent canvas and box-filtered down.  Edge pixels are
then blended against a light button face, and pixels that are mostly empty
become background, so the edges look smooth on a button without a white halo.

Run with Debian's interpreter: /usr/bin/python3 tools/make_glyphs.py
"""

import colorsys
import math
import os
import sys

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import Canvas, repo_root, save_png  # noqa: E402

SIZE = 24
SCALE = 8
BUTTON_FACE = (240, 240, 240)  # the face the anti-aliased edges are blended against
MIN_COVERAGE = 80  # alpha below this becomes background
BACKGROUND = (255, 255, 255)
WHITE = (254, 254, 254, 255)  # visible white

INK = (24, 24, 28, 255)
OUTLINE = (70, 74, 82, 255)
RED = (214, 40, 40, 255)
GREEN = (36, 160, 62, 255)
BLUE = (30, 100, 210, 255)
DARK_BLUE = (22, 62, 140, 255)
LIGHT_BLUE = (150, 205, 250, 255)
SUN = (255, 200, 40, 255)
HILL = (56, 150, 70, 255)
HILL_DARK = (34, 110, 52, 255)
PAPER = (248, 250, 253, 255)
TEXT_LINE = (150, 156, 166, 255)
CLEAR = (0, 0, 0, 0)


def canvas():
    return Canvas(SIZE, SIZE, SCALE)


def flatten(rgba):
    """Turns the anti-aliased RGBA drawing into the masked 24-bit glyph."""
    out = Image.new("RGB", rgba.size, BACKGROUND)
    src = rgba.load()
    dst = out.load()
    for y in range(rgba.height):
        for x in range(rgba.width):
            r, g, b, a = src[x, y]
            if a < MIN_COVERAGE:
                continue
            f = a / 255
            c = tuple(round(v * f + face * (1 - f)) for v, face in zip((r, g, b), BUTTON_FACE))
            if c == BACKGROUND:
                c = WHITE[:3]
            dst[x, y] = c
    return out


# --- the glyphs -------------------------------------------------------------


def colorwheel():
    """Hue around the circle, fading to white at the centre, with a thin rim."""
    c = canvas()
    n = SIZE * SCALE
    centre = n / 2
    radius = 10.5 * SCALE
    px = c.image.load()
    for y in range(n):
        for x in range(n):
            dx, dy = x + 0.5 - centre, y + 0.5 - centre
            dist = math.hypot(dx, dy)
            if dist > radius:
                continue
            hue = (math.atan2(-dy, dx) / (2 * math.pi)) % 1.0
            sat = min(1.0, dist / radius * 1.25)
            r, g, b = colorsys.hsv_to_rgb(hue, sat, 1.0)
            px[x, y] = (min(254, round(r * 255)), min(254, round(g * 255)), min(254, round(b * 255)), 255)
    c.circle(12, 12, 10.5, outline=OUTLINE, width=1.0)
    return c.finish()


def letter_a(c, dx=0.0, dy=0.0, fill=INK):
    outer = [(10.3, 1.5), (13.7, 1.5), (19.4, 16.5), (16.3, 16.5), (15.1, 13.0), (8.9, 13.0),
             (7.7, 16.5), (4.6, 16.5)]
    counter = [(12.0, 5.6), (14.1, 10.6), (9.9, 10.6)]
    c.polygon([(x + dx, y + dy) for x, y in outer], fill=fill)
    c.polygon([(x + dx, y + dy) for x, y in counter], fill=CLEAR)


def textcolor():
    c = canvas()
    letter_a(c)
    c.rect(2, 18.5, 8.7, 22.5, fill=RED)
    c.rect(8.7, 18.5, 15.3, 22.5, fill=GREEN)
    c.rect(15.3, 18.5, 22, 22.5, fill=BLUE)
    return c.finish()


def landscape(c, x0, y0, x1, y1, sky=LIGHT_BLUE, sun=SUN, far=HILL, near=HILL_DARK):
    """A small landscape filling the box: sky, sun and two hills."""
    w, h = x1 - x0, y1 - y0
    c.rect(x0, y0, x1, y1, fill=sky)
    c.circle(x0 + w * 0.72, y0 + h * 0.3, min(w, h) * 0.14, fill=sun)
    c.polygon([(x0, y1), (x0, y0 + h * 0.62), (x0 + w * 0.3, y0 + h * 0.35), (x0 + w * 0.62, y1)], fill=far)
    c.polygon([(x0 + w * 0.25, y1), (x0 + w * 0.62, y0 + h * 0.5), (x1, y0 + h * 0.78), (x1, y1)], fill=near)


def picture():
    c = canvas()
    c.rect(1, 3, 23, 21, fill=(120, 84, 48, 255))
    c.rect(2, 4, 22, 20, fill=(160, 116, 70, 255))
    landscape(c, 3.5, 5.5, 20.5, 18.5)
    return c.finish()


def logo():
    c = canvas()
    c.rounded(2, 2, 22, 22, 4.5, fill=BLUE)
    c.rect(8, 5.5, 11.5, 18.5, fill=WHITE)
    c.rect(8, 15, 17, 18.5, fill=WHITE)
    return c.finish()


def info():
    c = canvas()
    c.circle(12, 12, 10.5, fill=BLUE)
    c.circle(12, 6.8, 1.9, fill=WHITE)
    c.rect(10.5, 10, 13.5, 18.5, fill=WHITE)
    c.rect(9, 10, 13.5, 11.5, fill=WHITE)
    c.rect(9, 17, 15, 18.5, fill=WHITE)
    return c.finish()


def save():
    c = canvas()
    body = [(2, 2), (19, 2), (22, 5), (22, 22), (2, 22)]
    c.polygon(body, fill=DARK_BLUE)
    c.polygon([(3, 3), (18.6, 3), (21, 5.4), (21, 21), (3, 21)], fill=(40, 92, 180, 255))
    # metal shutter with its window
    c.rect(6.5, 2, 17, 9, fill=(196, 202, 212, 255))
    c.rect(13.5, 3.3, 15.7, 7.7, fill=DARK_BLUE)
    # label
    c.rect(5, 12.5, 19, 22, fill=PAPER)
    c.rect(7, 15, 17, 16, fill=TEXT_LINE)
    c.rect(7, 18, 17, 19, fill=TEXT_LINE)
    return c.finish()


def page(c, x0, y0, x1, y1, ear, fill=PAPER, outline=OUTLINE, width=1.0):
    """A sheet with a folded top-right corner."""
    outer = [(x0, y0), (x1 - ear, y0), (x1, y0 + ear), (x1, y1), (x0, y1)]
    c.polygon(outer, fill=outline)
    w = width
    inner = [(x0 + w, y0 + w), (x1 - ear - w * 0.4, y0 + w), (x1 - w, y0 + ear + w * 0.4), (x1 - w, y1 - w),
             (x0 + w, y1 - w)]
    c.polygon(inner, fill=fill)
    if ear:
        c.polygon([(x1 - ear, y0), (x1 - ear, y0 + ear), (x1, y0 + ear)], fill=outline)


def copy():
    c = canvas()
    page(c, 2.5, 1.5, 15.5, 17.5, 0)
    c.rect(5, 5, 13, 6, fill=TEXT_LINE)
    c.rect(5, 8, 11, 9, fill=TEXT_LINE)
    page(c, 8.5, 6.5, 21.5, 22.5, 4)
    for y, x1 in ((11, 17), (14, 19), (17, 19), (20, 16)):
        c.rect(11, y, x1, y + 1, fill=TEXT_LINE)
    return c.finish()


def jpeg():
    c = canvas()
    page(c, 4, 1.5, 20, 22.5, 5, fill=(232, 242, 255, 255), outline=BLUE, width=1.2)
    c.rect(7, 5, 13, 6.2, fill=BLUE)
    landscape(c, 6.5, 9.5, 17.5, 19.5, sky=(120, 180, 245, 255), sun=(255, 214, 70, 255),
              far=(40, 110, 210, 255), near=DARK_BLUE)
    return c.finish()


# 3 x 5 pixel letters for the label on the PDF glyph.
PIXEL_LETTERS = {
    "P": ["XX.", "X.X", "XX.", "X..", "X.."],
    "D": ["XX.", "X.X", "X.X", "X.X", "XX."],
    "F": ["XXX", "X..", "XX.", "X..", "X.."],
}


def pdf():
    c = canvas()
    page(c, 5, 1.5, 20, 22.5, 5, fill=(255, 244, 244, 255), outline=(176, 30, 30, 255), width=1.2)
    c.rect(8, 5, 13, 6.2, fill=(220, 140, 140, 255))
    c.rect(8, 8, 15, 9.2, fill=(220, 140, 140, 255))
    c.rect(3, 12, 20, 19, fill=RED)
    x = 6
    for ch in "PDF":
        for row, bits in enumerate(PIXEL_LETTERS[ch]):
            for col, bit in enumerate(bits):
                if bit == "X":
                    c.rect(x + col, 13 + row, x + col + 1, 14 + row, fill=WHITE)
        x += 4
    return c.finish()


def printer():
    c = canvas()
    # paper going in
    c.rect(6, 1.5, 18, 9, fill=OUTLINE)
    c.rect(7, 2.5, 17, 9, fill=PAPER)
    # body
    c.rounded(1.5, 8, 22.5, 18.5, 2.5, fill=(66, 72, 82, 255))
    c.rounded(2.5, 9, 21.5, 13, 1.5, fill=(104, 112, 124, 255))
    c.circle(19, 11, 1.1, fill=(60, 210, 90, 255))
    c.rect(5, 15, 19, 16.5, fill=(30, 32, 38, 255))
    # printed sheet coming out
    c.rect(6, 15.5, 18, 22.5, fill=OUTLINE)
    c.rect(7, 15.5, 17, 21.5, fill=PAPER)
    c.rect(8.5, 17.5, 15.5, 18.3, fill=TEXT_LINE)
    c.rect(8.5, 19.5, 13.5, 20.3, fill=TEXT_LINE)
    return c.finish()


def check():
    c = canvas()
    c.line([(4, 12.5), (9.5, 18), (20, 6)], fill=GREEN, width=3.6)
    return c.finish()


def refresh():
    c = canvas()
    cx, cy, r, w = 12, 12.5, 7.2, 3.0
    # Open at the top right; the arrow head at the top continues the turn clockwise.
    c.arc(cx, cy, r, -35, 235, fill=BLUE, width=w)
    a = math.radians(235)
    ex, ey = cx + r * math.cos(a), cy + r * math.sin(a)
    tx, ty = -math.sin(a), math.cos(a)  # direction of travel (angles grow clockwise on screen)
    nx, ny = math.cos(a), math.sin(a)
    head = 3.8
    tip = (ex + tx * head * 1.45, ey + ty * head * 1.45)
    c.polygon([tip, (ex + nx * head, ey + ny * head), (ex - nx * head, ey - ny * head)], fill=BLUE)
    return c.finish()


GLYPHS = {
    "colorwheel": colorwheel,
    "textcolor": textcolor,
    "picture": picture,
    "logo": logo,
    "info": info,
    "save": save,
    "copy": copy,
    "jpeg": jpeg,
    "pdf": pdf,
    "print": printer,
    "check": check,
    "refresh": refresh,
}


def main(root):
    for name, draw in GLYPHS.items():
        glyph = flatten(draw())
        save_png(glyph, os.path.join(root, "resources", "glyphs", f"{name}.png"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else repo_root())
