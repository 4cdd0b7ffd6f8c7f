#!/usr/bin/env python3
"""Draws the monitor's icons and writes them as 16-colour .ico files.

    scripts/make-icons.py [OUTPUT_FOLDER]    (default: monitor/icons)

The .ico files are kept in the repository; run this only to change them.
"""
import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, GREY, SILVER, RED, YELLOW, BLUE, WHITE = 0, 1, 8, 7, 9, 11, 12, 15
NAVY = 4
CLEAR = None


class Image:
    def __init__(self, size):
        self.size = size
        self.pixels = [[CLEAR] * size for _ in range(size)]

    def plot(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def box(self, left, top, right, bottom, fill, edge):
        for y in range(top, bottom + 1):
            for x in range(left, right + 1):
                border = x in (left, right) or y in (top, bottom)
                self.plot(x, y, edge if border else fill)

    def line(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(steps + 1):
            self.plot(round(x0 + (x1 - x0) * i / steps), round(y0 + (y1 - y0) * i / steps), colour)

    def disc(self, cx, cy, r, colour):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r + r:
                    self.plot(x, y, colour)


def envelope(image, left, top, right, bottom, paper):
    image.box(left, top, right, bottom, paper, BLACK)
    middle = (left + right) // 2
    flap = top + (bottom - top) * 3 // 5
    image.line(left, top, middle, flap, BLACK)
    image.line(right, top, middle, flap, BLACK)


def quillo():
    image = Image(32)
    envelope(image, 2, 10, 27, 28, WHITE)
    # A quill pen across the envelope: the monitor's own mark.
    image.line(30, 1, 14, 20, NAVY)
    image.line(29, 1, 13, 20, BLUE)
    image.line(30, 2, 15, 20, BLUE)
    image.line(14, 20, 12, 23, BLACK)
    return image


def unknown():
    image = Image(16)
    envelope(image, 0, 3, 13, 13, SILVER)
    # A question mark: nobody knows yet.
    for x, y in [(11, 1), (12, 0), (13, 0), (14, 0), (15, 1), (15, 2), (14, 3), (13, 4), (13, 5), (13, 7)]:
        image.plot(x, y, RED)
    return image


def nomail():
    image = Image(16)
    envelope(image, 1, 4, 14, 13, WHITE)
    return image


def newmail():
    image = Image(16)
    envelope(image, 0, 4, 13, 14, YELLOW)
    image.disc(12, 3, 3, RED)
    image.plot(12, 2, WHITE)
    image.plot(12, 3, WHITE)
    image.plot(12, 5, DARK_RED)
    return image


def ico(image):
    size = image.size
    colour_row = (size // 2 + 3) // 4 * 4
    mask_row = (size // 8 + 3) // 4 * 4
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up rows
        row = image.pixels[y]
        packed = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, colour in enumerate(row):
            index = BLACK if colour is CLEAR else colour
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += packed
        mask += bits
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
    data = header + palette + bytes(colours) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), 6 + 16)
    return directory + entry + data


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "monitor", "icons")
    os.makedirs(folder, exist_ok=True)
    for name, draw in [("quillo", quillo), ("unknown", unknown), ("nomail", nomail), ("newmail", newmail)]:
        with open(os.path.join(folder, name + ".ico"), "wb") as out:
            out.write(ico(draw()))


if __name__ == "__main__":
    main()
