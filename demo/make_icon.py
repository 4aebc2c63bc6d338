#!/usr/bin/env python3
# Draws the demo package's icon, so that the demo shows a package with a
# face of its own rather than the stub's: a white star on a rounded tile
# going from violet to pink. Four sizes, as Explorer asks for them: 16, 32
# and 48 pixels as 32-bit BMP images with an alpha channel and a mask, 256
# pixels as PNG. Only the standard library is used, and the output is the
# same on every run.
#
# Usage: python3 make_icon.py OUTPUT.ico

import math
import struct
import sys
import zlib

SIZES = [256, 48, 32, 16]
SAMPLES = 4                     # per pixel and axis, for smooth edges
TOP_LEFT = (106, 61, 232)       # violet
BOTTOM_RIGHT = (224, 67, 122)   # pink
STAR = (255, 255, 255)
SHADOW = (60, 20, 90)


def star_points(cx, cy, outer, inner):
    points = []
    for i in range(10):
        radius = outer if i % 2 == 0 else inner
        angle = -math.pi / 2 + i * math.pi / 5
        points.append((cx + radius * math.cos(angle), cy + radius * math.sin(angle)))
    return points


def inside_polygon(points, x, y):
    hit = False
    j = len(points) - 1
    for i in range(len(points)):
        xi, yi = points[i]
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < xi + (y - yi) * (xj - xi) / (yj - yi):
            hit = not hit
        j = i
    return hit


def inside_tile(x, y, size):
    """A square with rounded corners, a little inside the image's edge."""
    margin = size * 0.06
    radius = size * 0.2
    lo, hi = margin, size - margin
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def draw(size):
    """Rows of (r, g, b, a), top to bottom."""
    star = star_points(size / 2, size * 0.53, size * 0.32, size * 0.13)
    shadow = [(x + size * 0.025, y + size * 0.035) for x, y in star]
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            colour = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    if not inside_tile(x, y, size):
                        continue
                    covered += 1
                    if inside_polygon(star, x, y):
                        c = STAR
                    elif inside_polygon(shadow, x, y):
                        c = SHADOW
                    else:
                        t = (x + y) / (2 * size)
                        c = tuple(a + (b - a) * t for a, b in zip(TOP_LEFT, BOTTOM_RIGHT))
                    for i in range(3):
                        colour[i] += c[i]
            if covered == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(round(v / covered)) for v in colour) +
                           (int(round(255 * covered / SAMPLES ** 2)),))
        rows.append(row)
    return rows


def png(rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(rows):
    """The image part of an icon: header, BGRA pixels and the mask, both
    bottom up; the header's height counts both."""
    size = len(rows)
    mask_row = (size + 31) // 32 * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, (size * 4 + mask_row) * size, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def main():
    images = []
    for size in SIZES:
        rows = draw(size)
        images.append((size, png(rows) if size == 256 else bmp(rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    data = b""
    for size, image in images:
        side = 0 if size == 256 else size
        directory += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset + len(data))
        data += image
    with open(sys.argv[1], "wb") as out:
        out.write(directory + data)


main()
