#!/usr/bin/env python3
"""Draws Setup's application icon and writes it as a Windows .ico file.

    make-icon.py OUTPUT.ico

The picture, drawn at 16, 24, 32, 48 and 64 pixels: a cardboard box with a
blue arrow pointing down into it, the sign of something being installed.
Each size is sampled 4x4 times per pixel, so edges are smoothed, and stored
as a 32-bit BMP image with its alpha channel (and the AND mask the format
still asks for). Only the standard library is used.
"""
import struct
import sys

SIZES = (16, 24, 32, 48, 64)
SAMPLES = 4

BOX_FRONT = (205, 150, 85)
BOX_SIDE = (170, 115, 60)
BOX_TOP = (230, 185, 120)
BOX_EDGE = (110, 70, 35)
TAPE = (240, 220, 170)
ARROW = (30, 100, 215)
ARROW_EDGE = (15, 55, 140)


def inside_polygon(x, y, points):
    inside = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            inside = not inside
        j = i
    return inside


def near_polygon_edge(x, y, points, width):
    for i, (x1, y1) in enumerate(points):
        x2, y2 = points[(i + 1) % len(points)]
        dx, dy = x2 - x1, y2 - y1
        length2 = dx * dx + dy * dy
        t = max(0.0, min(1.0, ((x - x1) * dx + (y - y1) * dy) / length2)) if length2 else 0.0
        px, py = x1 + t * dx, y1 + t * dy
        if (x - px) ** 2 + (y - py) ** 2 <= width * width:
            return True
    return False


# The drawing on a unit square, (0, 0) top left; the last shape hit wins.
FRONT = [(0.10, 0.50), (0.62, 0.50), (0.62, 0.95), (0.10, 0.95)]
SIDE = [(0.62, 0.50), (0.90, 0.38), (0.90, 0.83), (0.62, 0.95)]
TOP = [(0.10, 0.50), (0.38, 0.38), (0.90, 0.38), (0.62, 0.50)]
TAPE_STRIP = [(0.31, 0.50), (0.41, 0.50), (0.41, 0.95), (0.31, 0.95)]
ARROW_SHAPE = [(0.40, 0.03), (0.60, 0.03), (0.60, 0.30), (0.76, 0.30), (0.50, 0.60),
               (0.24, 0.30), (0.40, 0.30)]
SHAPES = [
    (FRONT, BOX_FRONT), (SIDE, BOX_SIDE), (TOP, BOX_TOP), (TAPE_STRIP, TAPE),
]


def colour_at(x, y, size):
    edge = 0.9 / size  # about one pixel of outline at every size
    colour = None
    for shape, fill in SHAPES:
        if inside_polygon(x, y, shape):
            colour = BOX_EDGE if near_polygon_edge(x, y, shape, edge) else fill
    if inside_polygon(x, y, ARROW_SHAPE):
        colour = ARROW_EDGE if near_polygon_edge(x, y, ARROW_SHAPE, edge) else ARROW
    return colour


def render(size):
    """Rows of (b, g, r, a), bottom row first, as a BMP stores them."""
    rows = []
    for row in range(size - 1, -1, -1):
        pixels = []
        for column in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (column + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    c = colour_at(x, y, size)
                    if c:
                        hits += 1
                        for k in range(3):
                            total[k] += c[k]
            if hits:
                r, g, b = (t // hits for t in total)
                a = 255 * hits // (SAMPLES * SAMPLES)
            else:
                r = g = b = a = 0
            pixels.append((b, g, r, a))
        rows.append(pixels)
    return rows


def bmp_image(size):
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(bytes(p) for row in rows for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in rows:
        bits = bytearray(mask_stride)
        for column, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    return header + colour + bytes(mask)


def main():
    images = [bmp_image(size) for size in SIZES]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
