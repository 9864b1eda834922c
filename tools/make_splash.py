#!/usr/bin/python3
"""Draws resources/pictures/splash.png, the start-up picture (1536 x 972).

A deep-blue card with rounded, transparent corners; glowing circuit-board
traces on its left half; a large outlined mouse pointer; and the title
"LUMO CARD" in blocky letters from a small 5 x 7 bitmap font.  The splash
window shows pure black as see-through, so no opaque pixel is pure black.  The
lower right stays calm: the window writes its version label there.

The finished picture is reduced to a 256-colour palette (with alpha), which
keeps the file small while the gradients stay smooth.

Run with Debian's interpreter: /usr/bin/python3 tools/make_splash.py
"""

import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import downsample, repo_root, save_png  # noqa: E402

W, H = 1536, 972
SS = 2  # line art is drawn at twice the size and filtered down
CARD_RADIUS = 76

DEEP = (6, 20, 66)
MID = (14, 48, 132)
HIGHLIGHT = (34, 86, 196)
TRACE = (70, 220, 255)
PAD_HOLE = (10, 34, 92)
TITLE = (240, 248, 255)
TITLE_SHADOW = (8, 26, 84)

# 5 x 7 capitals, one string per row, "X" for a lit block.
FONT = {
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "U": ["X...X", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "M": ["X...X", "XX.XX", "X.X.X", "X.X.X", "X...X", "X...X", "X...X"],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "C": [".XXXX", "X....", "X....", "X....", "X....", "X....", ".XXXX"],
    "A": [".XXX.", "X...X", "X...X", "XXXXX", "X...X", "X...X", "X...X"],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "D": ["XXXX.", "X...X", "X...X", "X...X", "X...X", "X...X", "XXXX."],
}

# Circuit buses: a centre path, the number of parallel traces, their spacing and
# where each trace stops along the last segment (x), ending in a pad.
BUSES = [
    ([(-20, 96), (250, 96), (330, 176), (700, 176)], 4, 28, [560, 500, 610, 450]),
    ([(-20, 372), (150, 372), (240, 282), (420, 282)], 2, 28, [420, 360]),
    ([(-20, 470), (300, 470), (380, 550), (760, 550)], 3, 28, [640, 700, 540]),
    ([(-20, 690), (120, 690), (210, 780), (520, 780)], 3, 28, [520, 430, 470]),
    ([(80, 992), (80, 930), (150, 860), (620, 860)], 2, 28, [620, 540]),
]
# Lone traces with a via at each end.
SINGLES = [
    [(470, 40), (470, 90), (540, 90)],
    [(120, 200), (120, 250), (190, 250)],
    [(290, 340), (380, 340)],
    [(430, 400), (470, 400), (510, 360)],
    [(420, 660), (530, 660)],
    [(230, 660), (300, 660)],
]
CHIP = (300, 612, 420, 708)  # a small chip between the lower buses

# Mouse pointer outline on a 12 x 19 grid, tip first.
POINTER = [(0, 0), (0, 16.2), (4.0, 12.4), (7.0, 19.2), (9.6, 18.1), (6.7, 11.5), (11.8, 11.5)]
POINTER_TIP = (612, 232)
POINTER_SCALE = 25

TITLE_BLOCK = 20  # size of one font pixel
TITLE_LINES = [("LUMO", 238), ("CARD", 432)]
TITLE_CENTRE_X = 1248


def lerp(a, b, t):
    return tuple(round(x + (y - x) * t) for x, y in zip(a, b))


def background():
    """Deep-blue diagonal gradient with a soft light behind the title.

    Computed on a coarse grid and enlarged: the gradients are smooth, so
    bicubic enlargement loses nothing and keeps the script quick.
    """
    step = 8
    gw, gh = W // step, math.ceil(H / step)
    small = Image.new("RGB", (gw, gh))
    px = small.load()
    cx, cy, radius = TITLE_CENTRE_X, 420, 760
    for gy in range(gh):
        for gx in range(gw):
            x, y = (gx + 0.5) * step, (gy + 0.5) * step
            colour = lerp(MID, DEEP, min(1.0, 0.15 + 0.85 * (x / W * 0.35 + y / H * 0.65)))
            glow = max(0.0, 1.0 - math.hypot(x - cx, (y - cy) * 1.3) / radius)
            px[gx, gy] = lerp(colour, HIGHLIGHT, 0.6 * glow * glow)
    return small.resize((W, H), Image.BICUBIC)


def offset_polyline(points, offset):
    """The polyline shifted sideways by `offset` (to the left of travel), corners mitred."""
    lines = []
    for (x0, y0), (x1, y1) in zip(points, points[1:]):
        dx, dy = x1 - x0, y1 - y0
        n = math.hypot(dx, dy)
        nx, ny = dy / n, -dx / n
        lines.append(((x0 + nx * offset, y0 + ny * offset), (x1 + nx * offset, y1 + ny * offset)))
    out = [lines[0][0]]
    for (a0, a1), (b0, b1) in zip(lines, lines[1:]):
        out.append(intersect(a0, a1, b0, b1))
    out.append(lines[-1][1])
    return out


def intersect(p0, p1, q0, q1):
    d1 = (p1[0] - p0[0], p1[1] - p0[1])
    d2 = (q1[0] - q0[0], q1[1] - q0[1])
    den = d1[0] * d2[1] - d1[1] * d2[0]
    t = ((q0[0] - p0[0]) * d2[1] - (q0[1] - p0[1]) * d2[0]) / den
    return (p0[0] + d1[0] * t, p0[1] + d1[1] * t)


def cut_at_x(points, x_end):
    """Shortens the polyline so its last (horizontal) segment ends at x_end."""
    out = list(points[:-1])
    out.append((x_end, points[-1][1]))
    return out


def trace_paths():
    """All traces as (polyline, pad at start, pad at end)."""
    paths = []
    for centre, count, spacing, ends in BUSES:
        for k in range(count):
            offset = (k - (count - 1) / 2) * spacing
            line = cut_at_x(offset_polyline(centre, offset), ends[k])
            paths.append((line, False, True))
    for line in SINGLES:
        paths.append((line, True, True))
    return paths


def draw_traces(draw, width, colour, pad_radius, hole_colour=None):
    s = SS
    for line, start_pad, end_pad in trace_paths():
        pts = [(x * s, y * s) for x, y in line]
        draw.line(pts, fill=colour, width=round(width * s), joint="curve")
        for (x, y), pad in ((line[0], start_pad), (line[-1], end_pad)):
            if pad:
                r = pad_radius * s
                draw.ellipse([x * s - r, y * s - r, x * s + r, y * s + r], fill=colour)
                if hole_colour:
                    h = r * 0.45
                    draw.ellipse([x * s - h, y * s - h, x * s + h, y * s + h], fill=hole_colour)
    x0, y0, x1, y1 = (v * s for v in CHIP)
    draw.rounded_rectangle([x0, y0, x1, y1], radius=8 * s, outline=colour, width=round(width * s))
    for k in range(5):
        px = x0 + (k + 1) * (x1 - x0) / 6
        draw.line([(px, y0 - 22 * s), (px, y0)], fill=colour, width=round(width * 0.8 * s))
        draw.line([(px, y1), (px, y1 + 22 * s)], fill=colour, width=round(width * 0.8 * s))


def fade_mask(start, end):
    """Horizontal mask: 255 left of `start`, fading to 0 at `end`."""
    ramp = Image.linear_gradient("L").rotate(90, expand=True).resize((end - start, H))
    mask = Image.new("L", (W, H), 0)
    mask.paste(255, (0, 0, start, H))
    mask.paste(ImageChops.invert(ramp), (start, 0))
    return mask


def circuit(base):
    # Glow: the traces blurred wide, added on top of the background.
    glow = Image.new("RGB", (W * SS, H * SS), (0, 0, 0))
    draw_traces(ImageDraw.Draw(glow), 12, TRACE, 16)
    glow = glow.resize((W, H), Image.BOX).filter(ImageFilter.GaussianBlur(14))
    fade = fade_mask(380, 820)
    glow = ImageChops.multiply(glow, Image.merge("RGB", (fade, fade, fade)))
    glow = glow.point(lambda v: round(v * 0.75))
    out = ImageChops.add(base, glow)

    sharp = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    d = ImageDraw.Draw(sharp)
    draw_traces(d, 6, TRACE + (255,), 12, PAD_HOLE + (255,))
    sharp = downsample(sharp, SS)
    sharp.putalpha(ImageChops.multiply(sharp.getchannel("A"), fade))
    out = out.convert("RGBA")
    out.alpha_composite(sharp)
    return out


def pointer(image):
    s = SS
    tx, ty = POINTER_TIP
    pts = [(tx + x * POINTER_SCALE, ty + y * POINTER_SCALE) for x, y in POINTER]
    big = [(x * s, y * s) for x, y in pts]

    # A soft halo first, then a translucent body and the bright outline.
    halo = Image.new("L", (W * s, H * s), 0)
    ImageDraw.Draw(halo).line(big + big[:2], fill=255, width=26 * s, joint="curve")
    halo = halo.resize((W, H), Image.BOX).filter(ImageFilter.GaussianBlur(18))
    halo = halo.point(lambda v: round(v * 0.8))
    layer = Image.new("RGBA", (W, H), TRACE + (0,))
    layer.putalpha(halo)
    image.alpha_composite(layer)

    art = Image.new("RGBA", (W * s, H * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(art)
    d.polygon(big, fill=(26, 72, 172, 240))
    d.line(big + big[:2], fill=TITLE + (255,), width=14 * s, joint="curve")
    image.alpha_composite(downsample(art, s))


def title(image):
    block = TITLE_BLOCK
    gap = 3  # dark seam between blocks gives the pixel look
    shadow = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    glow = Image.new("L", (W, H), 0)
    face = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    ds, dg, df = ImageDraw.Draw(shadow), ImageDraw.Draw(glow), ImageDraw.Draw(face)
    for text, top in TITLE_LINES:
        cols = len(text) * 6 - 1
        left = TITLE_CENTRE_X - cols * block // 2
        for i, ch in enumerate(text):
            for row, bits in enumerate(FONT[ch]):
                for col, bit in enumerate(bits):
                    if bit != "X":
                        continue
                    x = left + (i * 6 + col) * block
                    y = top + row * block
                    ds.rectangle([x + 7, y + 7, x + block + 6, y + block + 6], fill=TITLE_SHADOW + (230,))
                    dg.rectangle([x, y, x + block - 1, y + block - 1], fill=255)
                    shade = lerp(TITLE, (170, 215, 255), row / 6)
                    df.rectangle([x, y, x + block - gap, y + block - gap], fill=shade + (255,))
    glow = glow.filter(ImageFilter.GaussianBlur(16)).point(lambda v: round(v * 0.7))
    layer = Image.new("RGBA", (W, H), TRACE + (0,))
    layer.putalpha(glow)
    image.alpha_composite(layer)
    image.alpha_composite(shadow)
    image.alpha_composite(face)


def card_shape(image):
    """Rounds the corners and adds a thin inner rim."""
    s = 4
    mask = Image.new("L", (W * s, H * s), 0)
    ImageDraw.Draw(mask).rounded_rectangle([0, 0, W * s - 1, H * s - 1], radius=CARD_RADIUS * s, fill=255)
    mask = mask.resize((W, H), Image.BOX)

    rim = Image.new("RGBA", (W * SS, H * SS), (0, 0, 0, 0))
    inset = 14 * SS
    ImageDraw.Draw(rim).rounded_rectangle(
        [inset, inset, W * SS - 1 - inset, H * SS - 1 - inset], radius=(CARD_RADIUS - 14) * SS,
        outline=(90, 150, 255, 110), width=3 * SS)
    image.alpha_composite(downsample(rim, SS))
    image.putalpha(mask)
    return image


def lift_black(palette_image):
    """Moves opaque pure black palette entries off black, which the splash window
    would otherwise punch through.  (The unquantised picture has no black: its
    darkest colour is the deep blue.)"""
    if palette_image.mode != "P":
        return palette_image
    entries = palette_image.getpalette("RGBA")
    for i in range(0, len(entries), 4):
        if entries[i + 3] and entries[i] == entries[i + 1] == entries[i + 2] == 0:
            entries[i : i + 3] = [1, 2, 8]
    palette_image.putpalette(entries, "RGBA")
    return palette_image


def quantise(image):
    """256-colour palette with alpha, by libimagequant (part of Debian's python3-pil).

    PIL's built-in quantisers band the gradients badly, so without libimagequant
    the picture stays full RGBA: larger, but correct.
    """
    try:
        return image.quantize(colors=256, method=Image.Quantize.LIBIMAGEQUANT)
    except ValueError:
        print("libimagequant missing: writing the splash unquantised")
        return image


def splash():
    image = circuit(background())
    pointer(image)
    title(image)
    card_shape(image)
    return image


def main(root):
    pal = lift_black(quantise(splash()))
    save_png(pal, os.path.join(root, "resources", "pictures", "splash.png"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else repo_root())
