#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks a grab of the splash window (binary PPM) at a jump of its count.

    splashpixels.py GRAB.ppm VALUE

The grab must show the fan-fold paper (its light green and light blue bars), the
labels (dark text in their rectangles), the progress bar filled to VALUE of 90000,
and must not be a black frame. Positions are the splash's twips at 1x scaling.
"""
import sys


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    pos += 1
    if fields[0] != b"P6" or int(fields[3]) != 255:
        sys.exit("not an 8-bit binary PPM")
    width, height = int(fields[1]), int(fields[2])
    return width, height, data[pos:pos + width * height * 3]


def px(twips):
    return (twips + 7) // 15


def main():
    width, height, rgb = read_ppm(sys.argv[1])
    value = int(sys.argv[2])
    errors = []
    if (width, height) != (px(7380), px(4245)):
        errors.append(f"grab is {width}x{height}, not the splash's size")

    def pixel(x, y):
        i = (y * width + x) * 3
        return tuple(rgb[i:i + 3])

    def near(colour, target, slack=24):
        return all(abs(a - b) <= slack for a, b in zip(colour, target))

    everything = [pixel(x, y) for y in range(height) for x in range(width)]
    black = sum(1 for c in everything if max(c) < 16) / len(everything)
    if black > 0.2:
        errors.append(f"{black:.0%} of the splash is black")
    green = sum(1 for c in everything if near(c, (0xC6, 0xEF, 0xC6)))
    blue = sum(1 for c in everything if near(c, (0xCD, 0xE3, 0xFA)))
    if green < 500 or blue < 500:
        errors.append(f"no fan-fold paper (green {green}, blue {blue} pixels)")

    labels = {  # name: left, top, width, height in twips
        "Archivane": (1920, 120, 3735, 375),
        "Please Wait": (1680, 720, 4095, 255),
        "Version 1.0": (6000, 120, 1215, 255),
        "Windows 95/98/ME": (4440, 1800, 2895, 375),
    }
    for name, (left, top, w, h) in labels.items():
        dark = sum(1 for y in range(px(top), px(top + h)) for x in range(px(left), px(left + w))
                   if x < width and y < height and max(pixel(x, y)) < 80)
        if dark < 20:
            errors.append(f"label '{name}' shows no text ({dark} dark pixels)")

    # The bar: the filled part is the palette's highlight colour, whatever it is; the
    # far end of the groove is not filled until the count ends.
    left, top, w, h = px(1680), px(1080), px(4095), px(495)
    row = [pixel(x, top + h // 2) for x in range(left + 2, left + w - 2)]
    empty = row[-2]
    filled = [x for x, c in enumerate(row) if not near(c, empty, 40)]
    expected = value * len(row) / 90000
    end = filled[-1] + 1 if filled else 0
    if abs(end - expected) > 14:
        errors.append(f"bar filled to {end} of {len(row)} pixels, value {value} wants {expected:.0f}")

    for error in errors:
        print(error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
