#!/usr/bin/python3
"""Draws the two fixed pictures of the card preview.

card_frame.png (638 x 1016, a 54 x 86 mm card at 300 dpi): a rounded card edge
laid over the preview panels.  Inside the rounded rectangle it is transparent;
along the edge runs a grey line about 4 px wide, opaque at the outside and
fading over its innermost pixel, with a slightly darker outermost pixel; the
four areas outside the rounded corners are opaque white, so the panel's square
corners disappear against the white window.

qr_plate.png (531 x 531): the white plate behind the QR code, with rounded,
anti-aliased corners.

Run with Debian's interpreter: /usr/bin/python3 tools/make_frames.py
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from raster import repo_root, rounded_rect_depth, save_png, shape_pixels  # noqa: E402

FRAME_SIZE = (638, 1016)
FRAME_RADIUS = 40.0
EDGE_GREY = 127
EDGE_RIM_GREY = 116  # the outermost pixel of the edge
EDGE_SOLID = 3.0  # opaque part of the edge, in pixels from the outside
EDGE_FADE = 1.0  # then fading to nothing over one more pixel

PLATE_SIZE = 531
PLATE_RADIUS = 24.0


def frame_shade(d):
    if d < 0:
        return (255, 255, 255, 255)
    if d < 1:
        return (EDGE_RIM_GREY, EDGE_RIM_GREY, EDGE_RIM_GREY, 255)
    if d < EDGE_SOLID:
        return (EDGE_GREY, EDGE_GREY, EDGE_GREY, 255)
    if d < EDGE_SOLID + EDGE_FADE:
        return (EDGE_GREY, EDGE_GREY, EDGE_GREY, 255 * (EDGE_SOLID + EDGE_FADE - d) / EDGE_FADE)
    return (EDGE_GREY, EDGE_GREY, EDGE_GREY, 0)


def card_frame():
    w, h = FRAME_SIZE
    return shape_pixels(
        w, h,
        depth=lambda x, y: rounded_rect_depth(x, y, w, h, FRAME_RADIUS),
        shade=frame_shade,
        inner=EDGE_SOLID + EDGE_FADE,
        outer=0.0,
    )


def plate_shade(d):
    return (255, 255, 255, 255 if d >= 0 else 0)


def qr_plate():
    n = PLATE_SIZE
    return shape_pixels(
        n, n,
        depth=lambda x, y: rounded_rect_depth(x, y, n, n, PLATE_RADIUS),
        shade=plate_shade,
        inner=0.0,
        outer=0.0,
    )


def main(root):
    save_png(card_frame(), os.path.join(root, "resources", "pictures", "card_frame.png"))
    save_png(qr_plate(), os.path.join(root, "resources", "pictures", "qr_plate.png"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else repo_root())
