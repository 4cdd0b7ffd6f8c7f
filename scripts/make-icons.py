#!/usr/bin/env python3
"""Draws both programs' icons and writes them as .ico files in full colour
with transparency (32 bits a pixel, an alpha channel):

    scripts/make-icons.py [ROOT]    (default: the repository)

It writes ROOT/monitor/icons/{unknown,nomail,newmail}.ico, the tray's three
states at 16, 20, 24 and 32 pixels, and the program icons
ROOT/monitor/icons/quillo.ico and ROOT/setup/kelvo.ico at 16, 20, 24, 32, 40,
48, 64 and 256 pixels, the 256 one as PNG. Each size is drawn afresh from the
drawings below, not scaled from another, with outlines and straight edges on
whole pixels, so that the small sizes stay sharp. The .ico files are kept in
the repository; run this only to change them. The same drawings always give
the same bytes. Standard library only.
"""
import math
import os
import struct
import sys
import zlib

TRAY_SIZES = (16, 20, 24, 32)
PROGRAM_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
# Windows reads images this large as PNG, which keeps the file small.
PNG_SIZE = 256
# Samples per pixel and axis: the edges' anti-aliasing.
SAMPLES = 4


def rgb(text, alpha=1.0):
    return (int(text[1:3], 16) / 255, int(text[3:5], 16) / 255, int(text[5:7], 16) / 255, alpha)


# Shapes: a bounding box in pixels and a test whether a point lies inside.
class Shape:
    def __init__(self, bounds, inside):
        self.bounds = bounds
        self.inside = inside

    def __and__(self, other):
        a, b = self.bounds, other.bounds
        bounds = (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))
        return Shape(bounds, lambda x, y: self.inside(x, y) and other.inside(x, y))

    def __or__(self, other):
        a, b = self.bounds, other.bounds
        bounds = (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))
        return Shape(bounds, lambda x, y: self.inside(x, y) or other.inside(x, y))


def box(left, top, right, bottom, radius=0.0):
    def inside(x, y):
        if not (left <= x < right and top <= y < bottom):
            return False
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius

    return Shape((left, top, right, bottom), inside)


def disc(cx, cy, r):
    return Shape((cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r)


def capsule(ax, ay, bx, by, width):
    """A line of the given width with round ends."""
    half = width / 2
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return (ax + t * dx - x) ** 2 + (ay + t * dy - y) ** 2 <= half * half

    return Shape((min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half), inside)


def polygon(points):
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    edges = list(zip(points, points[-1:] + points[:-1]))

    def inside(x, y):
        result = False
        for (xi, yi), (xj, yj) in edges:
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
        return result

    return Shape((min(xs), min(ys), max(xs), max(ys)), inside)


def outline(points, width):
    """The closed line through the points."""
    shape = None
    for a, b in zip(points, points[1:] + points[:1]):
        line = capsule(a[0], a[1], b[0], b[1], width)
        shape = line if shape is None else shape | line
    return shape


# Paints: the colour at a point.
def solid(colour):
    return lambda x, y: colour


def gradient(ax, ay, bx, by, start, end):
    """From start at (ax, ay) to end at (bx, by), constant across."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9

    def paint(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return tuple(s + (e - s) * t for s, e in zip(start, end))

    return paint


class Canvas:
    """Premultiplied colours, row by row from the top."""

    def __init__(self, size):
        self.size = size
        self.pixels = [[(0.0, 0.0, 0.0, 0.0)] * size for _ in range(size)]

    def _covered(self, shape):
        left, top, right, bottom = shape.bounds
        offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
        for y in range(max(0, math.floor(top)), min(self.size, math.ceil(bottom))):
            for x in range(max(0, math.floor(left)), min(self.size, math.ceil(right))):
                hits = sum(1 for dy in offsets for dx in offsets if shape.inside(x + dx, y + dy))
                if hits:
                    yield x, y, hits / (SAMPLES * SAMPLES)

    def paint(self, shape, paint):
        for x, y, coverage in self._covered(shape):
            self.over(x, y, paint(x + 0.5, y + 0.5), coverage)

    def over(self, x, y, colour, coverage=1.0):
        r, g, b, a = colour
        a *= coverage
        pr, pg, pb, pa = self.pixels[y][x]
        self.pixels[y][x] = (r * a + pr * (1 - a), g * a + pg * (1 - a), b * a + pb * (1 - a), a + pa * (1 - a))

    def erase(self, shape):
        """Clears the shape: a gap of transparency that sets one part apart."""
        for x, y, coverage in self._covered(shape):
            self.pixels[y][x] = tuple(c * (1 - coverage) for c in self.pixels[y][x])

    def rgba(self):
        rows = []
        for row in self.pixels:
            out = []
            for r, g, b, a in row:
                alpha = round(a * 255)
                if alpha == 0:
                    out.append((0, 0, 0, 0))
                else:
                    out.append(tuple(min(255, round(c / a * 255)) for c in (r, g, b)) + (alpha,))
            rows.append(out)
        return rows


class Grid:
    """The drawings' 32-unit grid at one size in pixels."""

    def __init__(self, size):
        self.size = size
        self.scale = size / 32

    def __call__(self, units):
        return units * self.scale

    def snap(self, units):
        """The nearest pixel edge."""
        return math.floor(units * self.scale + 0.5)

    @property
    def line(self):
        """An outline's width: one pixel up to 40, then growing with the size."""
        return max(1, math.floor(self.size / 28 + 0.5))


# An envelope's colours: paper at the top and bottom, the flap, the outline.
WHITE_PAPER = (rgb("#ffffff"), rgb("#dde3ec"), rgb("#eef2f7"), rgb("#3d4656"))
GREY_PAPER = (rgb("#d8dce2"), rgb("#a7aeb9"), rgb("#c2c8d0"), rgb("#4a515e"))
YELLOW_PAPER = (rgb("#ffe97a"), rgb("#f6b400"), rgb("#ffd437"), rgb("#6b4f00"))


def envelope(canvas, grid, left, top, right, bottom, look):
    """A closed envelope, its flap pointing down; edges on whole pixels."""
    paper_top, paper_bottom, flap, edge = look
    l, t, r, b = grid.snap(left), grid.snap(top), grid.snap(right), grid.snap(bottom)
    w = grid.line
    radius = grid(1.2)
    canvas.paint(box(l, t, r, b, radius), solid(edge))
    paper = box(l + w, t + w, r - w, b - w, max(0.0, radius - w))
    canvas.paint(paper, gradient(0, t, 0, b, paper_top, paper_bottom))
    middle, fold = (l + r) / 2, t + (b - t) * 0.6
    canvas.paint(polygon([(l, t), (r, t), (middle, fold)]) & paper, solid(flap))
    half = w / 2
    folds = capsule(l + half, t + half, middle, fold, w) | capsule(r - half, t + half, middle, fold, w)
    canvas.paint(folds & paper, solid(edge))


# The badges' marks, pixel by pixel, for the badge's diameter in pixels: a
# drawn mark would blur at these sizes. Each mark's width has the parity of
# the diameters it is for, so that it sits on whole pixels at the centre.
MARKS = {
    "!": [(9, ["#", "#", "#", ".", "#"]),
          (12, ["#", "#", "#", "#", ".", "#"]),
          (99, ["##"] * 5 + ["..", "##", "##"])],
    "?": [(9, ["##.", "..#", ".#.", "...", ".#."]),
          (12, [".###.", "#...#", "....#", "..##.", "..#..", ".....", "..#.."]),
          (99, [".####.", "##..##", "....##", "...##.", "..##..", "..##..", "......", "..##..", "..##.."])],
}


def badge(canvas, grid, fill, ring, mark, mark_colour):
    """A round badge in the top right corner, cut out of what lies below."""
    d = grid.snap(14)
    left = grid.size - d
    cx, cy = left + d / 2, d / 2
    canvas.erase(disc(cx, cy, d / 2 + grid.line))
    canvas.paint(disc(cx, cy, d / 2), solid(ring))
    canvas.paint(disc(cx, cy, d / 2 - grid.line), fill)
    rows = next(rows for largest, rows in MARKS[mark] if d <= largest)
    x0, y0 = round(cx - len(rows[0]) / 2), math.floor(cy - len(rows) / 2 + 0.5)
    for dy, row in enumerate(rows):
        for dx, cell in enumerate(row):
            if cell == "#":
                canvas.over(x0 + dx, y0 + dy, mark_colour)


# The tray: one envelope in every state, so that only its colour and badge
# change.
def tray_envelope(canvas, grid, look):
    envelope(canvas, grid, 1, 8, 30, 27, look)


def unknown(size):
    canvas, grid = Canvas(size), Grid(size)
    tray_envelope(canvas, grid, GREY_PAPER)
    # A red question mark: nobody knows yet.
    badge(canvas, grid, solid(rgb("#ffffff")), rgb("#5b6270"), "?", rgb("#d3261a"))
    return canvas


def nomail(size):
    canvas, grid = Canvas(size), Grid(size)
    tray_envelope(canvas, grid, WHITE_PAPER)
    return canvas


def newmail(size):
    canvas, grid = Canvas(size), Grid(size)
    tray_envelope(canvas, grid, YELLOW_PAPER)
    red = gradient(0, 0, 0, grid(14), rgb("#f0483a"), rgb("#b9180c"))
    badge(canvas, grid, red, rgb("#8a1209"), "!", rgb("#ffffff"))
    return canvas


def along(grid, start, end):
    """A point at t along the line from start to end and s across it, in pixels."""
    (ax, ay), (bx, by) = start, end
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length

    def point(t, s):
        return (grid(ax + ux * t * length - uy * s), grid(ay + uy * t * length + ux * s))

    return point


def quillo(size):
    """The monitor: an envelope with a quill pen across it."""
    canvas, grid = Canvas(size), Grid(size)
    envelope(canvas, grid, 1, 11, 27, 29, WHITE_PAPER)
    nib, end = (11.0, 26.0), (30.5, 1.5)
    at = along(grid, nib, end)
    # The vane: wider on one side of the shaft than the other, coming to a
    # point at the feather's end.
    steps = [0.3 + 0.7 * i / 16 for i in range(17)]
    profile = [math.sin(math.pi * (t - 0.3) / 0.7) ** 0.7 for t in steps]
    vane = [at(t, -3.6 * p) for t, p in zip(steps, profile)] + [at(t, 2.4 * p) for t, p in reversed(list(zip(steps, profile)))]
    canvas.paint(polygon(vane), gradient(*at(0.3, 0), *at(1.0, 0), rgb("#2456c0"), rgb("#5b9cf5")))
    canvas.paint(outline(vane, grid.line), solid(rgb("#15306e")))
    canvas.paint(capsule(*at(0.14, 0), *at(0.98, 0), max(1.0, grid(0.9))), solid(rgb("#e9eef7")))
    # The nib, dark and pointed.
    canvas.paint(polygon([at(0, 0), at(0.16, -1.1), at(0.16, 1.1)]), solid(rgb("#1e2430")))
    return canvas


def kelvo(size):
    """The setup program: an envelope with a pencil across it."""
    canvas, grid = Canvas(size), Grid(size)
    envelope(canvas, grid, 1, 7, 27, 24, WHITE_PAPER)
    h = 3.0
    at = along(grid, (9.5, 30.0), (30.5, 9.0))
    silhouette = [at(0, 0), at(0.2, -h), at(0.93, -h), at(0.97, -h * 0.8), at(1.0, -h * 0.35),
                  at(1.0, h * 0.35), at(0.97, h * 0.8), at(0.93, h), at(0.2, h)]
    canvas.erase(outline(silhouette, grid.line * 3) | polygon(silhouette))
    # The body's three faces, light to dark across it.
    for s0, s1, colour in [(-h, -h / 3, "#ffe066"), (-h / 3, h / 3, "#f5b700"), (h / 3, h, "#d58f00")]:
        canvas.paint(polygon([at(0.2, s0), at(0.84, s0), at(0.84, s1), at(0.2, s1)]), solid(rgb(colour)))
    canvas.paint(polygon([at(0, 0), at(0.2, -h), at(0.2, h)]), solid(rgb("#f2d5a6")))
    canvas.paint(polygon([at(0, 0), at(0.08, -h * 0.4), at(0.08, h * 0.4)]), solid(rgb("#2b2b2b")))
    canvas.paint(polygon([at(0.84, -h), at(0.9, -h), at(0.9, h), at(0.84, h)]),
                 gradient(*at(0.87, -h), *at(0.87, h), rgb("#e4e8ee"), rgb("#8d95a1")))
    canvas.paint(polygon(silhouette[2:7] + [at(0.9, h), at(0.9, -h)]), solid(rgb("#c0392b")))
    canvas.paint(outline(silhouette, grid.line), solid(rgb("#3b2a0c")))
    return canvas


def bitmap(rows):
    """One image of an .ico as Windows keeps it: header, 32-bit colours and
    the mask (set where the image is clear), rows bottom-up, the mask's
    padded to 4 bytes."""
    size = len(rows)
    mask_row = (size + 31) // 32 * 4
    colours = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (r, g, b, a) in enumerate(row):
            colours += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(colours) + len(mask), 0, 0, 0, 0)
    return header + bytes(colours) + bytes(mask)


def png(rows):
    """A PNG with no date or text in it, so that it is the same on every run."""

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(value for pixel in row for value in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def write_ico(path, draw, sizes):
    """Smallest first: the first image is the 16-pixel one, which the help's
    state pictures are made from."""
    images = [(size, (png if size >= PNG_SIZE else bitmap)(draw(size).rgba())) for size in sizes]
    offset = 6 + 16 * len(images)
    out = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        side = size if size < 256 else 0
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(out + b"".join(data for _, data in images))


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    for name, draw in [("unknown", unknown), ("nomail", nomail), ("newmail", newmail)]:
        write_ico(os.path.join(root, "monitor", "icons", name + ".ico"), draw, TRAY_SIZES)
    write_ico(os.path.join(root, "monitor", "icons", "quillo.ico"), quillo, PROGRAM_SIZES)
    write_ico(os.path.join(root, "setup", "kelvo.ico"), kelvo, PROGRAM_SIZES)


if __name__ == "__main__":
    main()
