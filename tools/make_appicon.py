#!/usr/bin/python3
"""Draws the 64 x 64 application icon.

Two contact cards: the front, a blue portrait card with the contactless waves,
a name line and a QR-like code on a white plate, and behind it the tilted back
card in a lighter blue.  Writes resources/pictures/lumocard.png (RGBA) and
resources/lumocard.ico, a single 64 x 64 32-bit image in the classic bitmap
form (BGRA rows bottom-up plus the 1-bit mask) that every Windows resource
compiler accepts.

Run with Debian's interpreter: /usr/bin/python3 tools/make_appicon.py
"""

import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import Canvas, downsample, repo_root, save_png  # noqa: E402

SIZE = 64
SCALE = 8

FRONT = (10, 2, 46, 62)  # x0, y0, x1, y1 of the front card
FRONT_TOP = (58, 128, 238)
FRONT_BOTTOM = (22, 62, 160)
BACK_TOP = (120, 206, 250)
BACK_BOTTOM = (42, 140, 220)
EDGE = (14, 40, 110, 255)
PLATE = (255, 255, 255, 255)
MODULE = (16, 32, 74, 255)
WAVE = (240, 248, 255, 255)

# Data modules of the 9 x 9 code ("X" dark).  The three corners hold finder marks,
# each kept apart from the data by a light row and column, as in a real symbol.
CODE = [
    "....X....",
    ".........",
    "....X....",
    "....X....",
    "X.XX.X.XX",
    "....X.XX.",
    "....XX.X.",
    "....X..XX",
    "....XXX.X",
]
MODULE_PX = 3


def gradient_card(size, box, radius, top, bottom, edge):
    """A rounded card with a vertical gradient on a transparent canvas (8x)."""
    s = SCALE
    x0, y0, x1, y1 = (v * s for v in box)
    fill = Image.new("RGBA", (size * s, size * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(fill)
    for y in range(y0, y1):
        t = (y - y0) / max(1, y1 - y0 - 1)
        d.line([(x0, y), (x1 - 1, y)], fill=tuple(round(a + (b - a) * t) for a, b in zip(top, bottom)) + (255,))
    mask = Image.new("L", fill.size, 0)
    ImageDraw.Draw(mask).rounded_rectangle([x0, y0, x1 - 1, y1 - 1], radius=radius * s, fill=255)
    card = Image.new("RGBA", fill.size, (0, 0, 0, 0))
    card.paste(fill, (0, 0), mask)
    ImageDraw.Draw(card).rounded_rectangle([x0, y0, x1 - 1, y1 - 1], radius=radius * s, outline=edge,
                                           width=s)
    return card


def shadow(layer, blur, offset, strength):
    a = layer.getchannel("A").filter(ImageFilter.GaussianBlur(blur * SCALE))
    a = a.point(lambda v: round(v * strength))
    out = Image.new("RGBA", layer.size, (8, 20, 50, 0))
    out.putalpha(a)
    moved = Image.new("RGBA", layer.size, (0, 0, 0, 0))
    moved.paste(out, (offset[0] * SCALE, offset[1] * SCALE))
    return moved


def code_plate(c):
    x0, y0, x1, y1 = FRONT
    plate = (x0 + 3, y1 - 35, x1 - 3, y1 - 3)  # 30 x 32 white plate
    c.rounded(*plate, 2.5, fill=PLATE)
    side = 9 * MODULE_PX
    left = (plate[0] + plate[2] - side) // 2
    top = (plate[1] + plate[3] - side) // 2
    for row, bits in enumerate(CODE):
        for col, bit in enumerate(bits):
            if bit == "X":
                c.rect(left + col * MODULE_PX, top + row * MODULE_PX, left + (col + 1) * MODULE_PX,
                       top + (row + 1) * MODULE_PX, fill=MODULE)
    # Finder marks, 9 px each: ring 2, gap 1, centre 3.
    for fx, fy in ((left, top), (left + side - 9, top), (left, top + side - 9)):
        c.rect(fx, fy, fx + 9, fy + 9, fill=MODULE)
        c.rect(fx + 2, fy + 2, fx + 7, fy + 7, fill=PLATE)
        c.rect(fx + 3, fy + 3, fx + 6, fy + 6, fill=MODULE)


def front_details(c):
    x0, y0, x1, _ = FRONT
    cx = (x0 + x1) / 2
    # Contactless waves above a point, as on the printed card.
    for r in (3.0, 6.0, 9.0):
        c.arc(cx, y0 + 14.5, r, 232, 308, fill=WAVE, width=1.9)
    # Name and suffix lines.
    c.rounded(cx - 12, y0 + 16.5, cx + 12, y0 + 19.5, 1.5, fill=WAVE)
    c.rounded(cx - 8, y0 + 21.5, cx + 8, y0 + 23.5, 1.0, fill=(170, 200, 245, 255))


def icon():
    big = SIZE * SCALE
    image = Image.new("RGBA", (big, big), (0, 0, 0, 0))

    back = gradient_card(SIZE, (14, 3, 50, 61), 4.5, BACK_TOP, BACK_BOTTOM, EDGE)
    # Tilt the back card about its centre and move it right so it peeks out.
    back = back.rotate(-10, resample=Image.BICUBIC, center=(32 * SCALE, 32 * SCALE),
                       translate=(7 * SCALE, 0))
    image.alpha_composite(back)

    front = gradient_card(SIZE, FRONT, 4.5, FRONT_TOP, FRONT_BOTTOM, EDGE)
    image.alpha_composite(shadow(front, 1.5, (2, 1), 0.55))
    image.alpha_composite(front)

    c = Canvas(SIZE, SIZE, SCALE, image=image)
    front_details(c)
    code_plate(c)
    return downsample(image, SCALE)


def write_ico(image, path):
    """One 64 x 64, 32-bit BMP-style icon entry."""
    w, h = image.size
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b, a = image.getpixel((x, y))
            row += bytes((b, g, r, a))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask_stride = ((w + 31) // 32) * 4
    and_mask = bytearray()
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_stride)
        for x in range(w):
            if image.getpixel((x, y))[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        and_mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    data = header + xor + bytes(and_mask)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), 6 + 16)
    with open(path, "wb") as f:
        f.write(icondir + entry + data)
    print(f"{path}: {w} x {h} 32-bit icon, {os.path.getsize(path)} bytes")


def main(root):
    image = icon()
    save_png(image, os.path.join(root, "resources", "pictures", "lumocard.png"))
    write_ico(image, os.path.join(root, "resources", "lumocard.ico"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else repo_root())
