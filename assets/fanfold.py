#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws fanfold.svg, the splash window's background: a strip of continuous fan-fold
printer paper with green and blue bars and sprocket holes along both edges, folding
down in perspective from the top-left corner to the bottom-right.

Run it from this folder after changing a number; the SVG is committed as drawn."""

import math

W, H = 591, 402          # the picture's size in pixels (8865 x 6030 twips)
PAGES = 7                # folds drawn, far to near
MARGIN = 0.085           # share of the paper's width taken by each sprocket margin
BARS = 6                 # bars per long panel
HOLES = 5                # sprocket holes per long panel and edge

GREEN = "#c6efc6"
BLUE = "#cde3fa"
PAPER = "#fdfdf6"
EDGE = "#6f7f6f"


def lerp(a, b, t):
    return (a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t)


def at(quad, u, v):
    """Point of a panel: u across the paper (0 left edge, 1 right edge), v down it."""
    a, b, c, d = quad
    return lerp(lerp(a, b, u), lerp(d, c, u), v)


def poly(points, fill, extra=""):
    pts = " ".join(f"{x:.1f},{y:.1f}" for x, y in points)
    return f'<polygon points="{pts}" fill="{fill}"{extra}/>'


def patch(quad, u0, u1, v0, v1):
    return [at(quad, u0, v0), at(quad, u1, v0), at(quad, u1, v1), at(quad, u0, v1)]


# Fold lines from far (top-left, small) to near (bottom-right, large). The paper runs
# along `down`; fold lines lie along `across`. Long panels face the viewer, the short
# ones between them lean away and are foreshortened and shaded.
down = (0.60, 0.80)
across = (0.86, -0.51)
folds = []
centre = (150.0, -70.0)
for i in range(2 * PAGES + 1):
    scale = 0.62 * (1.16 ** i)
    half = 82.0 * scale
    # alternate folds are pushed sideways a little so the zigzag reads as depth
    shift = 7.0 * scale if i % 2 else 0.0
    c = (centre[0] + across[0] * shift, centre[1] + across[1] * shift)
    folds.append(((c[0] - across[0] * half, c[1] - across[1] * half),
                  (c[0] + across[0] * half, c[1] + across[1] * half)))
    step = (78.0 if i % 2 == 0 else 24.0) * scale
    centre = (centre[0] + down[0] * step, centre[1] + down[1] * step)

out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{W}" height="{H}" '
       f'viewBox="0 0 {W} {H}">',
       '<!-- Cardomine splash background: continuous fan-fold printer paper. '
       'Drawn by fanfold.py. -->']
for i in range(len(folds) - 1):
    top, bottom = folds[i], folds[i + 1]
    quad = (top[0], top[1], bottom[1], bottom[0])
    long_panel = i % 2 == 0
    shade = "" if long_panel else ' opacity="0.78"'
    out.append(f"<g{shade}>")
    out.append(poly(list(quad), PAPER))
    bars = BARS if long_panel else 2
    for k in range(bars):
        colour = GREEN if (k + i // 2) % 2 == 0 else BLUE
        out.append(poly(patch(quad, MARGIN, 1 - MARGIN, k / bars, (k + 1) / bars), colour))
    # tear-off perforations between the margins and the printed area
    for u in (MARGIN, 1 - MARGIN):
        p, q = at(quad, u, 0), at(quad, u, 1)
        out.append(f'<line x1="{p[0]:.1f}" y1="{p[1]:.1f}" x2="{q[0]:.1f}" y2="{q[1]:.1f}" '
                   'stroke="#9aa89a" stroke-width="0.8" stroke-dasharray="2,2"/>')
    holes = HOLES if long_panel else 2
    for u in (MARGIN / 2, 1 - MARGIN / 2):
        for j in range(holes):
            v = (j + 0.5) / holes
            cx, cy = at(quad, u, v)
            left, right = at(quad, u - MARGIN / 4, v), at(quad, u + MARGIN / 4, v)
            upper, lower = at(quad, u, v - 0.11 / holes * 2), at(quad, u, v + 0.11 / holes * 2)
            rx = math.dist(left, right) / 2
            ry = math.dist(upper, lower) / 2
            angle = math.degrees(math.atan2(right[1] - left[1], right[0] - left[0]))
            out.append(f'<ellipse cx="{cx:.1f}" cy="{cy:.1f}" rx="{rx:.1f}" ry="{min(ry, rx):.1f}" '
                       f'transform="rotate({angle:.1f} {cx:.1f} {cy:.1f})" fill="#d8dcd8" '
                       'stroke="#7d877d" stroke-width="0.7"/>')
    out.append(poly(list(quad), "none", f' stroke="{EDGE}" stroke-width="1" '
                    'stroke-linejoin="round"'))
    if not long_panel:
        out.append(poly(list(quad), "#203020", ' opacity="0.16"'))
    out.append("</g>")
out.append("</svg>")

with open("fanfold.svg", "w") as f:
    f.write("\n".join(out) + "\n")
