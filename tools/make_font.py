#!/usr/bin/python3
"""Builds resources/fonts/icomoon.ttf, the icon font with the contactless symbol.

The font holds five glyphs: .notdef, two empty control glyphs (U+0000, U+0001),
the space (U+0020) and the contactless symbol at U+E900.  The symbol is four
concentric arcs bowing upward, radio waves above a common centre, each arc a
stroke of 130 units with round ends.  Outlines are quadratic splines built from
exact circle arcs, so the bounding box lands on whole units:
x 0..1285, y -67..960.

Run with Debian's interpreter: /usr/bin/python3 tools/make_font.py
"""

import math
import os
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.ttGlyphPen import TTGlyphPen

UNITS_PER_EM = 1024
SYMBOL_ADVANCE = 1285
SPACE_ADVANCE = 512
ASCENT = 960
DESCENT = -67

HALF_STROKE = 65  # strokes are 130 units wide
TOP = 960  # top of the widest arc
BOTTOM = -67  # lowest point: the round ends of the narrowest arc

# Horizontal extents of the four arcs, top to bottom, stroke and round ends included.
ARC_EXTENTS = [(0, 1285), (124, 1161), (243, 1034), (363, 917)]

# A 1999-01-01 timestamp (seconds since 1904) keeps repeated builds byte-identical.
FIXED_TIMESTAMP = 2998080000


def arc_geometry():
    """Returns the common centre height, the half-angle and per-arc (cx, radius).

    All arcs share one centre height and one half-angle, so their ends lie on two
    rays from the centre like waves spreading from a point.  The half-angle is the
    one that puts the widest arc's top at TOP and the narrowest arc's ends at BOTTOM.
    """
    halves = [(right - left) / 2 - HALF_STROKE for left, right in ARC_EXTENTS]
    top_half, bottom_half = halves[0], halves[-1]
    # (top_half - bottom_half * cos t) / sin t must equal the centreline span
    # between the top of the widest arc and the ends of the narrowest one.
    span = (TOP - HALF_STROKE) - (BOTTOM + HALF_STROKE)
    lo, hi = 0.05, 1.5
    for _ in range(200):
        t = (lo + hi) / 2
        if (top_half - bottom_half * math.cos(t)) / math.sin(t) > span:
            lo = t
        else:
            hi = t
    half_angle = (lo + hi) / 2
    radii = [h / math.sin(half_angle) for h in halves]
    cy = TOP - HALF_STROKE - radii[0]
    arcs = [((left + right) / 2, r) for (left, right), r in zip(ARC_EXTENTS, radii)]
    return cy, half_angle, arcs


def point(cx, cy, radius, angle):
    """Point at `angle` measured clockwise from straight up."""
    return (cx + radius * math.sin(angle), cy + radius * math.cos(angle))


def rounded(p):
    return (round(p[0]), round(p[1]))


def arc_to(pen, cx, cy, radius, a0, a1, pieces):
    """Appends a circle arc from angle a0 to a1 as one TrueType quadratic spline.

    Off-curve points sit where the tangents of neighbouring on-curve points meet;
    the on-curve points between them are implied and fall exactly on the circle.
    """
    step = (a1 - a0) / pieces
    reach = radius / math.cos(step / 2)
    controls = [rounded(point(cx, cy, reach, a0 + (k + 0.5) * step)) for k in range(pieces)]
    pen.qCurveTo(*controls, rounded(point(cx, cy, radius, a1)))


def draw_arc_stroke(pen, cx, cy, radius, half_angle):
    """One stroked arc with round ends, drawn clockwise as TrueType expects."""
    outer, inner = radius + HALF_STROKE, radius - HALF_STROKE
    left_end = point(cx, cy, radius, -half_angle)
    right_end = point(cx, cy, radius, half_angle)
    quarter, half = math.pi / 2, math.pi

    pen.moveTo(rounded(point(cx, cy, outer, -half_angle)))
    # Two pieces meet at the top, so the highest point is an on-curve point.
    arc_to(pen, cx, cy, outer, -half_angle, half_angle, 2)
    # Right end cap, split at its rightmost and lowest points.
    ex, ey = right_end
    arc_to(pen, ex, ey, HALF_STROKE, half_angle, quarter, 2)
    arc_to(pen, ex, ey, HALF_STROKE, quarter, half, 2)
    arc_to(pen, ex, ey, HALF_STROKE, half, half + half_angle, 1)
    arc_to(pen, cx, cy, inner, half_angle, -half_angle, 2)
    # Left end cap, mirrored.
    ex, ey = left_end
    arc_to(pen, ex, ey, HALF_STROKE, half - half_angle, half, 1)
    arc_to(pen, ex, ey, HALF_STROKE, half, 3 * quarter, 2)
    arc_to(pen, ex, ey, HALF_STROKE, 3 * quarter, 2 * half - half_angle, 2)
    pen.closePath()


def contactless_glyph():
    cy, half_angle, arcs = arc_geometry()
    pen = TTGlyphPen(None)
    for cx, radius in arcs:
        draw_arc_stroke(pen, cx, cy, radius, half_angle)
    return pen.glyph()


def empty_glyph():
    return TTGlyphPen(None).glyph()


def build_font():
    order = [".notdef", "uni0000", "uni0001", "space", "uniE900"]
    fb = FontBuilder(UNITS_PER_EM, isTTF=True)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap({0x0000: "uni0000", 0x0001: "uni0001", 0x0020: "space", 0xE900: "uniE900"})
    glyphs = {name: empty_glyph() for name in order}
    glyphs["uniE900"] = contactless_glyph()
    fb.setupGlyf(glyphs)
    advances = {".notdef": SPACE_ADVANCE, "uni0000": 0, "uni0001": 0, "space": SPACE_ADVANCE,
                "uniE900": SYMBOL_ADVANCE}
    glyf = fb.font["glyf"]
    metrics = {}
    for name in order:
        glyph = glyf[name]
        glyph.recalcBounds(glyf)
        metrics[name] = (advances[name], getattr(glyph, "xMin", 0))
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=ASCENT, descent=DESCENT)
    fb.setupNameTable(
        {
            "familyName": "icomoon",
            "styleName": "Regular",
            "uniqueFontIdentifier": "icomoon",
            "fullName": "icomoon",
            "psName": "icomoon",
            "version": "Version 1.0",
        },
        mac=False,
    )
    fb.setupOS2(
        sTypoAscender=ASCENT,
        sTypoDescender=DESCENT,
        sTypoLineGap=0,
        usWinAscent=ASCENT,
        usWinDescent=-DESCENT,
        achVendID="NONE",
        fsType=0,
        usWeightClass=400,
    )
    fb.setupPost(keepGlyphNames=False)
    fb.setupHead(unitsPerEm=UNITS_PER_EM, fontRevision=1.0, created=FIXED_TIMESTAMP,
                 modified=FIXED_TIMESTAMP)
    fb.font.recalcTimestamp = False
    return fb.font


def main(root):
    out = os.path.join(root, "resources", "fonts", "icomoon.ttf")
    os.makedirs(os.path.dirname(out), exist_ok=True)
    build_font().save(out)
    print(f"{out}: {os.path.getsize(out)} bytes")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
