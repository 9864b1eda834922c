"""Small drawing helpers shared by the make_*.py resource scripts.

Everything here is plain Python on top of PIL, so the scripts run with nothing
but Debian's python3-pil, and gives the same bytes on every run.
"""

import math
import os

from PIL import Image, ImageDraw


def repo_root():
    return os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def save_png(image, path):
    """Writes a PNG without metadata, so repeated runs give identical files."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    image.save(path, format="PNG", optimize=True)
    print(f"{path}: {image.width} x {image.height} {image.mode}, {os.path.getsize(path)} bytes")


def rounded_rect_depth(x, y, width, height, radius):
    """Signed distance of (x, y) to the edge of a rounded rectangle at the origin.

    Positive inside, negative outside, in pixels.
    """
    # Fold into the nearest corner's quadrant and measure against the corner circle.
    dx = min(x, width - x)
    dy = min(y, height - y)
    if dx >= radius or dy >= radius:
        return min(dx, dy)
    cx = radius - dx
    cy = radius - dy
    return radius - math.hypot(cx, cy)


def shape_pixels(width, height, depth, shade, samples=4, margin=2.0, inner=None, outer=None):
    """Rasterises a picture whose look depends only on the depth inside a shape.

    `depth(x, y)` is a signed distance (positive inside); `shade(d)` returns the
    straight (r, g, b, a) of a point at depth d, with components 0..255.  Pixels
    whose centre lies deeper than `inner` or farther outside than `outer` are
    uniform and take shade of the centre depth directly; the rest are averaged
    over samples x samples points with premultiplied alpha, which gives clean
    anti-aliasing along every edge and fade.
    """
    data = bytearray(width * height * 4)
    offsets = [(k + 0.5) / samples for k in range(samples)]
    count = samples * samples
    for y in range(height):
        for x in range(width):
            d = depth(x + 0.5, y + 0.5)
            if (inner is not None and d > inner + margin) or (outer is not None and d < outer - margin):
                r, g, b, a = shade(d)
            else:
                pr = pg = pb = pa = 0.0
                for oy in offsets:
                    for ox in offsets:
                        sr, sg, sb, sa = shade(depth(x + ox, y + oy))
                        pr += sr * sa
                        pg += sg * sa
                        pb += sb * sa
                        pa += sa
                if pa > 0:
                    r, g, b = pr / pa, pg / pa, pb / pa
                else:
                    r, g, b, _ = shade(d)
                a = pa / count
            i = (y * width + x) * 4
            data[i : i + 4] = bytes((round(r), round(g), round(b), round(a)))
    return Image.frombytes("RGBA", (width, height), bytes(data))


def downsample(image, factor):
    """Box-filters an RGBA picture drawn at `factor` times its final size.

    Averaging happens on premultiplied colour, so transparent pixels do not bleed
    their colour into the edges.
    """
    small = image.convert("RGBa").reduce(factor)
    return small.convert("RGBA")


class Canvas:
    """An RGBA canvas drawn in final-pixel units at a higher resolution.

    Coordinates and widths are given in pixels of the finished picture; the
    canvas multiplies them by its scale, and `finish()` box-filters back down.
    """

    def __init__(self, width, height, scale, background=(0, 0, 0, 0), image=None):
        self.scale = scale
        self.width = width
        self.height = height
        if image is None:
            image = Image.new("RGBA", (width * scale, height * scale), background)
        self.image = image
        self.draw = ImageDraw.Draw(self.image)

    def s(self, v):
        return v * self.scale

    def pts(self, points):
        return [(x * self.scale, y * self.scale) for x, y in points]

    def box(self, x0, y0, x1, y1):
        s = self.scale
        # PIL boxes include their last pixel; shave one so edges land on the grid.
        return [x0 * s, y0 * s, x1 * s - 1, y1 * s - 1]

    def rect(self, x0, y0, x1, y1, fill=None, outline=None, width=0):
        self.draw.rectangle(self.box(x0, y0, x1, y1), fill=fill, outline=outline,
                            width=round(self.s(width)))

    def rounded(self, x0, y0, x1, y1, radius, fill=None, outline=None, width=0):
        self.draw.rounded_rectangle(self.box(x0, y0, x1, y1), radius=self.s(radius), fill=fill,
                                    outline=outline, width=round(self.s(width)))

    def ellipse(self, x0, y0, x1, y1, fill=None, outline=None, width=0):
        self.draw.ellipse(self.box(x0, y0, x1, y1), fill=fill, outline=outline,
                          width=round(self.s(width)))

    def circle(self, cx, cy, r, fill=None, outline=None, width=0):
        self.ellipse(cx - r, cy - r, cx + r, cy + r, fill=fill, outline=outline, width=width)

    def polygon(self, points, fill=None, outline=None):
        self.draw.polygon(self.pts(points), fill=fill, outline=outline)

    def line(self, points, fill, width, round_caps=True):
        w = round(self.s(width))
        self.draw.line(self.pts(points), fill=fill, width=w, joint="curve")
        if round_caps:
            for x, y in (points[0], points[-1]):
                self.circle(x, y, width / 2, fill=fill)

    def arc(self, cx, cy, r, start, end, fill, width):
        """Stroke of a circle arc, angles in degrees clockwise from 3 o'clock."""
        outer = r + width / 2
        self.draw.arc(self.box(cx - outer, cy - outer, cx + outer, cy + outer), start, end, fill=fill,
                      width=round(self.s(width)))

    def finish(self):
        return downsample(self.image, self.scale)
