#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks the grabs look.sh made of the real program in the classic look.

    lookpixels.py FOLDER

about-S.ppm, main-S.ppm (S = scale 1 and 2) and tooltip-1.ppm (the whole screen):
the window's face is #C0C0C0; the selected Last Name text is white on navy; the
record scroll bar's thumb is a fixed square; message-box and tooltip text is crisp
(unsmoothed: black on the face, no shades between); the window's bold text is bold
at 1x and 2x: its strokes twice as wide as the About box's regular text.
"""
import os
import collections
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from splashpixels import read_ppm  # noqa: E402

FACE = (0xC0, 0xC0, 0xC0)
NAVY = (0x00, 0x00, 0x80)
errors = []


class Grab:
    def __init__(self, path, scale=1):
        self.width, self.height, self.rgb = read_ppm(path)
        self.scale = scale

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def twips(self, left, top, width, height):
        """A control's rectangle in twips as a pixel box (x0, y0, x1, y1) at this scale."""
        s = self.scale
        return (left * s // 15, top * s // 15, (left + width) * s // 15, (top + height) * s // 15)

    def colours(self, box):
        x0, y0, x1, y1 = box
        return {self.pixel(x, y) for y in range(y0, y1) for x in range(x0, x1)}

    def ink(self, x, y):
        return max(self.pixel(x, y)) < 80


def expect(condition, message):
    if not condition:
        errors.append(message)


def stroke(grab, box):
    """The commonest width of the ink runs along the rows of box: a letter's stem."""
    x0, y0, x1, y1 = box
    runs = collections.Counter()
    for y in range(y0, y1):
        run = 0
        for x in range(x0, x1 + 1):
            if x < x1 and grab.ink(x, y):
                run += 1
            elif run:
                runs[run] += 1
                run = 0
    return runs.most_common(1)[0][0] if runs else 0


def crisp(grab, box, what):
    # Unsmoothed text on a plain face: the face, the text colour and nothing between.
    shades = grab.colours(box)
    expect(len(shades) <= 3, f"{what}: text drawn in {len(shades)} shades, not crisp")


def check_main(grab, s):
    face = grab.pixel(500 * s, 233 * s)
    expect(face == FACE, f"{s}x: the window's face is #{bytes(face).hex()}, not #c0c0c0")

    selection = grab.twips(1200, 480, 1455, 285)
    navy = sum(1 for y in range(selection[1], selection[3])
               for x in range(selection[0], selection[2]) if grab.pixel(x, y) == NAVY)
    expect(navy >= 20 * s, f"{s}x: the selected Last Name text is not on navy ({navy} pixels)")

    # The scroll bar's groove, between its arrow buttons: the longest run of one colour
    # along its middle is the thumb (the track is dithered).
    x0, y0, x1, y1 = grab.twips(3720, 2640, 3615, 255)
    thick = y1 - y0
    row = [grab.pixel(x, (y0 + y1) // 2) for x in range(x0 + thick, x1 - thick)]
    longest = run = 1
    for a, b in zip(row, row[1:]):
        run = run + 1 if a == b else 1
        longest = max(longest, run)
    expect(longest <= thick, f"{s}x: the scroll thumb is {longest} pixels long, not a "
                             f"{thick}-pixel square")


def check_tooltip(grab):
    # The tooltip is the light yellow box on the screen.
    yellow = [(x, y) for y in range(grab.height) for x in range(grab.width)
              if (lambda c: c[0] > 240 and c[1] > 240 and 190 < c[2] < 235)(grab.pixel(x, y))]
    if not yellow:
        errors.append("no tooltip on the screen")
        return
    xs = [x for x, _ in yellow]
    ys = [y for _, y in yellow]
    crisp(grab, (min(xs), min(ys), max(xs) + 1, max(ys) + 1), "tooltip")


def main():
    folder = sys.argv[1]
    for s in (1, 2):
        about = Grab(os.path.join(folder, f"about-{s}.ppm"), s)
        w, h = about.width, about.height
        about_text = (w * 3 // 10, h // 10, w * 95 // 100, h * 55 // 100)
        crisp(about, about_text, f"{s}x About box")
        window = Grab(os.path.join(folder, f"main-{s}.ppm"), s)
        check_main(window, s)
        # The window's bold caption against the box's regular text of the same size: a
        # bold stem is twice as wide, as Tahoma's bold is at 1x.
        bold = stroke(window, window.twips(120, 120, 975, 255))
        regular = stroke(about, about_text)
        expect(regular > 0 and bold >= 2 * regular,
               f"{s}x: 'First Name:' strokes are {bold} pixels wide, the About text's "
               f"{regular}: not bold")
    check_tooltip(Grab(os.path.join(folder, "tooltip-1.ppm")))
    for error in errors:
        print(error)
    print("FAILED" if errors else "PASS")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
