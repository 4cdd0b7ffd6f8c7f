#!/usr/bin/env python3
"""Draws both programs' icons and writes them as 16-colour .ico files:

    scripts/make-icons.py [ROOT]    (default: the repository)

It writes ROOT/monitor/icons/{quillo,unknown,nomail,newmail}.ico and
ROOT/setup/kelvo.ico (a 32x32 and a 16x16 image). The .ico files are kept in
the repository; run this only to change them. Standard library only.
"""
import math
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


# The setup program's icon, an envelope with a pencil across it, is described
# on a 32-unit grid and sampled at each pixel centre, so both sizes come from
# one drawing.
def segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy)), t


def colour_at(x, y, edge):
    """Colour of the point (x, y) on the 32-unit grid; edge is the width of
    an outline in grid units, about one pixel at the drawn size."""
    # The pencil lies on top, from its tip at the lower left to its end.
    dist, t = segment_distance(x, y, 12.0, 27.5, 29.5, 10.0)
    if dist <= 3.2:
        if t < 0.16:
            return BLACK if t < 0.07 or dist > 3.2 - edge else SILVER
        if t > 0.9:
            return DARK_RED if dist <= 3.2 - edge else BLACK
        return YELLOW if dist <= 3.2 - edge else BLACK
    # The envelope with its flap.
    left, right, top, bottom = 2.0, 27.0, 8.0, 24.0
    if left <= x <= right and top <= y <= bottom:
        if x < left + edge or x > right - edge or y < top + edge or y > bottom - edge:
            return NAVY
        middle = (left + right) / 2
        flap_y = top + (18.0 - top) * (1 - abs(x - middle) / (middle - left))
        if abs(y - flap_y) < edge * 0.8:
            return NAVY
        return WHITE
    return CLEAR


def kelvo(size):
    image = Image(size)
    scale = 32.0 / size
    for row in range(size):
        for col in range(size):
            image.pixels[row][col] = colour_at((col + 0.5) * scale, (row + 0.5) * scale, scale)
    return image


def bitmap(image):
    """One image of an .ico: header, palette, 4-bit colours, then the mask
    (set where the image is clear), rows bottom-up and padded to 4 bytes."""
    size = image.size
    colour_row = (size // 2 + 3) // 4 * 4
    mask_row = (size // 8 + 3) // 4 * 4
    colours = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):
        packed = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x, colour in enumerate(image.pixels[y]):
            index = BLACK if colour is CLEAR else colour
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
            if colour is CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        colours += packed
        mask += bits
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, len(colours) + len(mask), 0, 0, 16, 0)
    return header + palette + bytes(colours) + bytes(mask)


def write_ico(path, images):
    data = [bitmap(image) for image in images]
    offset = 6 + 16 * len(data)
    out = struct.pack("<HHH", 0, 1, len(data))
    for image, bits in zip(images, data):
        out += struct.pack("<BBBBHHII", image.size, image.size, 16, 0, 1, 4, len(bits), offset)
        offset += len(bits)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(out + b"".join(data))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    for name, draw in [("quillo", quillo), ("unknown", unknown), ("nomail", nomail), ("newmail", newmail)]:
        write_ico(os.path.join(root, "monitor", "icons", name + ".ico"), [draw()])
    write_ico(os.path.join(root, "setup", "kelvo.ico"), [kelvo(32), kelvo(16)])


if __name__ == "__main__":
    main()
