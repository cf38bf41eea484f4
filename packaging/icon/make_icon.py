#!/usr/bin/env python3
"""Draws Traskel's icon and writes it as a Windows .ico file.

The picture: a CSV sheet (a page with a header row, a grid and a folded
corner) and an arrow from it into a measuring probe (holder, stylus and ruby
ball of a coordinate-measuring machine).

This script is the icon's source: edit the shapes below, not the .ico. It
needs nothing but Python 3's standard library, and its output depends on
nothing but this file, so every build draws the same bytes.

    make_icon.py OUT.ico              the icon, sizes 16 to 256
    make_icon.py --png SIZE OUT.png   one size as a PNG, to look at
"""
import struct
import sys
import zlib

# The drawing is laid out on a 256 x 256 canvas; y grows downwards.
CANVAS = 256
SIZES = (16, 24, 32, 48, 256)  # what Windows asks for, from lists to tiles

PAGE_EDGE = (0x45, 0x4F, 0x5C)
PAGE = (0xFF, 0xFF, 0xFF)
FOLD = (0xC9, 0xD1, 0xDB)
HEADER = (0x21, 0x8C, 0x53)  # the header row
GRID = (0xA9, 0xB4, 0xC2)
CELL = (0x5C, 0x6B, 0x7D)  # text in the cells
ARROW = (0xF0, 0x8A, 0x00)
ARROW_EDGE = (0x8A, 0x4B, 0x00)
HOLDER = (0x37, 0x44, 0x50)
HOLDER_LIGHT = (0x60, 0x70, 0x80)
STYLUS = (0x9A, 0xA4, 0xAE)
RUBY = (0xD0, 0x1F, 0x36)
SHINE = (0xFF, 0xD6, 0xDC)


class Rect:
    """An axis-parallel rectangle, its corners rounded by radius r."""

    def __init__(self, x0, y0, x1, y1, color, r=0.0):
        self.box = (x0, y0, x1, y1)
        self.color = color
        self.r = r

    def contains(self, x, y):
        x0, y0, x1, y1 = self.box
        if x < x0 or x >= x1 or y < y0 or y >= y1:
            return False
        r = self.r
        if r <= 0:
            return True
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


class Circle:
    def __init__(self, cx, cy, r, color):
        self.box = (cx - r, cy - r, cx + r, cy + r)
        self.centre = (cx, cy)
        self.r2 = r * r
        self.color = color

    def contains(self, x, y):
        return (x - self.centre[0]) ** 2 + (y - self.centre[1]) ** 2 <= self.r2


class Polygon:
    """A closed polygon, filled by the even-odd rule."""

    def __init__(self, points, color):
        self.points = points
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        self.box = (min(xs), min(ys), max(xs), max(ys))
        self.color = color

    def contains(self, x, y):
        inside = False
        pts = self.points
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                inside = not inside
            j = i
        return inside


def arrow(tip_x, y, tail_x, shaft, head, head_length, color):
    """A right-pointing arrow, its tip at (tip_x, y)."""
    neck = tip_x - head_length
    return Polygon(
        [
            (tail_x, y - shaft / 2),
            (neck, y - shaft / 2),
            (neck, y - head / 2),
            (tip_x, y),
            (neck, y + head / 2),
            (neck, y + shaft / 2),
            (tail_x, y + shaft / 2),
        ],
        color,
    )


def shapes():
    """The picture, back to front: later shapes cover earlier ones."""
    s = []
    # The CSV sheet: an edge, the white page, its folded top right corner.
    left, top, right, bottom, fold = 12, 20, 150, 240, 34
    edge = 7
    s.append(Polygon([(left, top), (right - fold, top), (right, top + fold), (right, bottom),
                      (left, bottom)], PAGE_EDGE))
    s.append(Polygon([(left + edge, top + edge), (right - fold - edge * 0.4, top + edge),
                      (right - edge, top + fold + edge * 0.4), (right - edge, bottom - edge),
                      (left + edge, bottom - edge)], PAGE))
    s.append(Polygon([(right - fold, top), (right - fold, top + fold), (right, top + fold)],
                     PAGE_EDGE))
    s.append(Polygon([(right - fold + edge, top + edge * 1.6), (right - fold + edge, top + fold - edge),
                      (right - edge * 1.6, top + fold - edge)], FOLD))
    # The header row and the rows of cells below it, in three columns.
    inner_left, inner_right = left + edge, right - edge
    s.append(Rect(inner_left, 62, inner_right, 86, HEADER))
    columns = (inner_left, 56, 100, inner_right)
    for row_top in (96, 124, 152, 180, 208):
        for c in range(3):
            x0, x1 = columns[c] + 7, columns[c + 1] - 7
            if (row_top // 28 + c) % 3 == 0:
                x1 -= 8  # ragged text makes it read as cells
            s.append(Rect(x0, row_top + 6, x1, row_top + 16, CELL, r=3))
        s.append(Rect(inner_left, row_top + 24, inner_right, row_top + 27, GRID))
    for x in columns[1:3]:
        s.append(Rect(x - 1.5, 62, x + 1.5, bottom - edge, GRID))

    # The measuring probe: holder, collar, stylus and its ruby ball.
    s.append(Rect(176, 8, 236, 78, HOLDER, r=10))
    s.append(Rect(184, 16, 196, 70, HOLDER_LIGHT, r=5))
    s.append(Rect(190, 74, 222, 112, HOLDER, r=6))
    s.append(Rect(200, 108, 212, 190, STYLUS))
    s.append(Circle(206, 206, 30, RUBY))
    s.append(Circle(196, 194, 9, SHINE))

    # The arrow from the sheet into the probe, with a dark edge around it.
    s.append(arrow(186, 150, 84, 34, 84, 52, ARROW_EDGE))
    s.append(arrow(176, 150, 90, 20, 64, 40, ARROW))
    return s


def render(size, samples):
    """RGBA rows of the picture at size x size, samples^2 points a pixel."""
    scale = CANVAS / size
    picture = shapes()
    offsets = [(i + 0.5) / samples for i in range(samples)]
    total = samples * samples
    rows = []
    for py in range(size):
        y_lo, y_hi = py * scale, (py + 1) * scale
        in_row = [sh for sh in picture if sh.box[1] < y_hi and sh.box[3] > y_lo]
        row = []
        for px in range(size):
            x_lo, x_hi = px * scale, (px + 1) * scale
            here = [sh for sh in in_row if sh.box[0] < x_hi and sh.box[2] > x_lo]
            here.reverse()
            red = green = blue = hits = 0
            for oy in offsets:
                y = (py + oy) * scale
                for ox in offsets:
                    x = (px + ox) * scale
                    for sh in here:
                        if sh.contains(x, y):
                            r, g, b = sh.color
                            red += r
                            green += g
                            blue += b
                            hits += 1
                            break
            if hits:
                row.append((round(red / hits), round(green / hits), round(blue / hits),
                            round(255 * hits / total)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def dib(rows):
    """The classic icon image: a 32-bit bitmap, bottom row first, then the
    1-bit mask (1 where the pixel is transparent), rows padded to 4 bytes."""
    size = len(rows)
    mask_stride = ((size + 31) // 32) * 4
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + bytes(mask)


def ico():
    # Small sizes get more samples a pixel: their edges matter most.
    images = [(size, png(render(size, 3)) if size >= 256 else dib(render(size, 8)))
              for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size  # 0 stands for 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main(argv):
    if len(argv) == 2 and not argv[1].startswith("-"):
        data = ico()
        target = argv[1]
    elif len(argv) == 4 and argv[1] == "--png":
        data = png(render(int(argv[2]), 4))
        target = argv[3]
    else:
        sys.stderr.write(__doc__)
        return 2
    with open(target, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
