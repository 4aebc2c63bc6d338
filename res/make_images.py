#!/usr/bin/env python3
# Generates the stub's bitmap resources:
#   wizard.bmp  118x256, 8-bit palettised side picture of the setup wizard,
#               run-length encoded (BI_RLE8)
#   app.ico     16-colour application icon (32x32 and 16x16)
# Both use the same emblem: an open box with an arrow going into it, drawn
# in the wizard's indigo-to-teal colours. Only the standard library is used
# and the output is byte-for-byte identical on every run.
#
# Usage: python3 make_images.py OUTPUT_DIR

import os
import struct
import sys

WIZARD_W, WIZARD_H = 118, 256

# Background gradient stops (t, colour), top to bottom.
GRADIENT = [
    (0.00, (22, 27, 82)),
    (0.45, (30, 66, 140)),
    (1.00, (38, 150, 172)),
]
WHITE = (255, 255, 255)

# Background quantisation grid: gradient steps x white-overlay levels. The
# background is not dithered: flat runs are what run-length encoding packs,
# so the gradient gets steps fine enough (about 1.5 levels of green apart)
# that no band shows, and the emblem keeps about 90 colours of its own.
T_STEPS = 80
A_STEP = 0.03
A_MAX = 0.12


# ---------------------------------------------------------------- colour math

def lerp(a, b, f):
    return a + (b - a) * f


def mix(c0, c1, f):
    return tuple(lerp(c0[i], c1[i], f) for i in range(3))


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def gradient_colour(t):
    t = clamp(t)
    for (t0, c0), (t1, c1) in zip(GRADIENT, GRADIENT[1:]):
        if t <= t1:
            f = (t - t0) / (t1 - t0)
            f = f * f * (3 - 2 * f)  # smooth transition between stops
            return mix(c0, c1, f)
    return GRADIENT[-1][1]


def background_colour(t, a):
    return mix(gradient_colour(t), WHITE, a)


def to_byte_rgb(c):
    return tuple(int(clamp(round(v), 0, 255)) for v in c)


def distance2(c0, c1):
    # Weighted RGB distance; green matters most to the eye.
    dr, dg, db = c0[0] - c1[0], c0[1] - c1[1], c0[2] - c1[2]
    return 3 * dr * dr + 4 * dg * dg + 2 * db * db


def nearest_index(colour, palette, cache):
    key = to_byte_rgb(colour)
    idx = cache.get(key)
    if idx is None:
        best = None
        for i, p in enumerate(palette):
            d = distance2(key, p)
            if best is None or d < best:
                best, idx = d, i
        cache[key] = idx
    return idx


def median_cut(colours, count):
    """Reduce a list of RGB tuples to at most `count` representative colours."""
    boxes = [sorted(set(colours))] if colours else []
    weights = {}
    for c in colours:
        weights[c] = weights.get(c, 0) + 1

    def spread(box):
        return max(max(c[i] for c in box) - min(c[i] for c in box)
                   for i in range(3))

    while len(boxes) < count:
        splittable = [b for b in boxes if len(b) > 1]
        if not splittable:
            break
        box = max(splittable, key=lambda b: (spread(b) *
                                             sum(weights[c] for c in b), b[0]))
        boxes.remove(box)
        axis = max(range(3), key=lambda i: max(c[i] for c in box) -
                   min(c[i] for c in box))
        box.sort(key=lambda c: (c[axis], c))
        total = sum(weights[c] for c in box)
        run, cut = 0, 1
        for i, c in enumerate(box):
            run += weights[c]
            if run * 2 >= total:
                cut = max(1, min(len(box) - 1, i + 1))
                break
        boxes.append(box[:cut])
        boxes.append(box[cut:])
    result = []
    for box in boxes:
        total = sum(weights[c] for c in box)
        result.append(tuple(
            int(round(sum(c[i] * weights[c] for c in box) / total))
            for i in range(3)))
    return sorted(set(result))


# ------------------------------------------------------------------- geometry

def polygon(points):
    """Even-odd point-in-polygon test for a list of (x, y) vertices."""
    pts = list(points)

    def inside(x, y):
        hit = False
        j = len(pts) - 1
        for i in range(len(pts)):
            xi, yi = pts[i]
            xj, yj = pts[j]
            if (yi > y) != (yj > y):
                if x < xi + (y - yi) * (xj - xi) / (yj - yi):
                    hit = not hit
            j = i
        return hit
    return inside


class EmblemGeometry:
    """Placement of the emblem: an isometric open box with an arrow.

    cx, y0      back corner of the box opening
    hw, q       half width / half height of the opening rhombus
    depth       height of the box's front faces
    arrow_top   where the arrow shaft starts
    shaft, head half widths of the arrow shaft and head
    head_len    length of the arrow head
    sink        how far the arrow tip goes below the opening's front corner
    """

    def __init__(self, cx, y0, hw, q, depth, arrow_top, shaft, head,
                 head_len, sink):
        self.cx, self.y0, self.hw, self.q, self.depth = cx, y0, hw, q, depth
        self.arrow_top, self.shaft, self.head = arrow_top, shaft, head
        self.head_len, self.sink = head_len, sink

    def bounds(self):
        return (self.cx - self.hw, self.arrow_top,
                self.cx + self.hw, self.y0 + 2 * self.q + self.depth)


def emblem_outlines(g):
    """Vertex lists (clockwise on screen) of the emblem parts, in painting
    order. The arrow comes down from above and disappears behind the front
    faces of the box."""
    cx, y0, hw, q, h = g.cx, g.y0, g.hw, g.q, g.depth
    back, front = (cx, y0), (cx, y0 + 2 * q)
    left_c, right_c = (cx - hw, y0 + q), (cx + hw, y0 + q)
    tip = y0 + 2 * q + g.sink
    neck = tip - g.head_len
    return {
        # Inside walls seen through the opening.
        "inner_left": [left_c, back, front],
        "inner_right": [back, right_c, front],
        "arrow": [(cx - g.shaft, g.arrow_top), (cx + g.shaft, g.arrow_top),
                  (cx + g.shaft, neck), (cx + g.head, neck), (cx, tip),
                  (cx - g.head, neck), (cx - g.shaft, neck)],
        "left": [left_c, front, (cx, y0 + 2 * q + h), (cx - hw, y0 + q + h)],
        "right": [front, right_c, (cx + hw, y0 + q + h), (cx, y0 + 2 * q + h)],
    }


def emblem_layers(g, colours):
    """Shapes (inside-test, colour), bottom to top."""
    parts = emblem_outlines(g)
    return [(polygon(parts[name]), colours[name])
            for name in ("inner_left", "inner_right", "arrow", "left", "right")]


def render_layers(layers, x, y, samples=4):
    """Supersample one pixel; returns (coverage, average colour of hits)."""
    hits = 0
    acc = [0.0, 0.0, 0.0]
    for sy in range(samples):
        py = y + (sy + 0.5) / samples
        for sx in range(samples):
            px = x + (sx + 0.5) / samples
            for inside, colour in reversed(layers):
                if inside(px, py):
                    hits += 1
                    acc[0] += colour[0]
                    acc[1] += colour[1]
                    acc[2] += colour[2]
                    break
    if not hits:
        return 0.0, None
    return hits / float(samples * samples), tuple(v / hits for v in acc)


# ------------------------------------------------------------- wizard picture

WIZARD_EMBLEM = EmblemGeometry(cx=59.0, y0=42.0, hw=30.0, q=15.0, depth=27.0,
                               arrow_top=14.0, shaft=5.5, head=12.5,
                               head_len=14.0, sink=-13.0)

WIZARD_EMBLEM_COLOURS = {
    "inner_left": (20, 28, 80),
    "inner_right": (32, 46, 112),
    "arrow": (140, 232, 214),
    "left": (246, 249, 253),
    "right": (196, 218, 240),
}

# Flat translucent discs (cx, cy, radius, white overlay strength); the
# strengths are multiples of A_STEP so overlapping discs stay on the grid.
WIZARD_DISCS = [
    (59.0, 54.0, 48.0, 0.03),     # halo behind the emblem
    (59.0, 54.0, 36.0, 0.03),
    (-14.0, 266.0, 100.0, 0.03),  # shapes drifting off the lower edge
    (130.0, 212.0, 56.0, 0.03),
    (72.0, 306.0, 74.0, 0.03),
]


def disc_coverage(x, y, cx, cy, r):
    d = ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5
    return clamp(r - d + 0.5)


def wizard_background(x, y):
    """Gradient position t and white overlay strength a for a pixel centre."""
    t = (y + 0.12 * (x - WIZARD_W / 2.0)) / (WIZARD_H - 1.0)
    a = sum(alpha * disc_coverage(x, y, cx, cy, r)
            for cx, cy, r, alpha in WIZARD_DISCS)
    return t, clamp(a, 0.0, A_MAX)


def quantise_background(t, a):
    """The nearest cell of the quantisation grid to (t, a)."""
    ia = int(round(a / A_STEP))
    it = int(round(clamp(t) * (T_STEPS - 1)))
    return it, min(ia, int(round(A_MAX / A_STEP)))


def cell_colour(cell):
    it, ia = cell
    return background_colour(it / (T_STEPS - 1.0), ia * A_STEP)


def render_wizard():
    """Returns (palette, rows of palette indices, top row first)."""
    layers = emblem_layers(WIZARD_EMBLEM, WIZARD_EMBLEM_COLOURS)
    left, top, right, bottom = WIZARD_EMBLEM.bounds()

    cells = {}
    foreground = {}
    grid = []
    for y in range(WIZARD_H):
        row = []
        for x in range(WIZARD_W):
            t, a = wizard_background(x + 0.5, y + 0.5)
            cov = 0.0
            if left - 1 <= x <= right + 1 and top - 1 <= y <= bottom + 1:
                cov, fg = render_layers(layers, x, y)
            if cov > 0.0:
                colour = mix(background_colour(t, a), fg, cov)
                foreground[(x, y)] = to_byte_rgb(colour)
                row.append(None)
            else:
                cell = quantise_background(t, a)
                cells.setdefault(cell, None)
                row.append(cell)
        grid.append(row)

    background_cells = sorted(cells)
    if len(background_cells) > 200:
        raise RuntimeError("background needs %d colours" % len(background_cells))
    palette = [to_byte_rgb(cell_colour(c)) for c in background_cells]
    for i, c in enumerate(background_cells):
        cells[c] = i
    fg_colours = [foreground[k] for k in sorted(foreground)]
    palette += median_cut(fg_colours, 256 - len(palette))

    cache = {}
    pixels = []
    for y, row in enumerate(grid):
        out = []
        for x, cell in enumerate(row):
            if cell is None:
                out.append(nearest_index(foreground[(x, y)], palette, cache))
            else:
                out.append(cells[cell])
        pixels.append(out)
    return palette, pixels


# ----------------------------------------------------------------------- icon

# Hand-placed per size so the edges land on whole pixels.
ICON_EMBLEMS = {
    32: EmblemGeometry(cx=16.0, y0=8.0, hw=14.0, q=7.0, depth=9.0,
                       arrow_top=1.0, shaft=3.0, head=7.0, head_len=7.0,
                       sink=-5.0),
    16: EmblemGeometry(cx=8.0, y0=4.0, hw=7.0, q=3.5, depth=4.5,
                       arrow_top=1.0, shaft=1.0, head=3.5, head_len=3.5,
                       sink=-2.0),
}

ICON_EMBLEM_COLOURS = {
    "outline": (20, 26, 78),
    "inner_left": (20, 28, 80),
    "inner_right": (36, 52, 124),
    "arrow": (110, 226, 204),
    "left": (236, 243, 251),
    "right": (150, 184, 226),
}


def render_icon_pixels(size):
    """Rows of RGB tuples, or None where the icon is transparent.

    The emblem gets a one pixel dark outline so it stands out on light
    and dark desktops alike."""
    layers = emblem_layers(ICON_EMBLEMS[size], ICON_EMBLEM_COLOURS)
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            cov, colour = render_layers(layers, x, y, samples=6)
            row.append(to_byte_rgb(colour) if cov >= 0.5 else None)
        rows.append(row)
    outline = ICON_EMBLEM_COLOURS["outline"]
    result = [list(row) for row in rows]
    for y in range(size):
        for x in range(size):
            if rows[y][x] is not None:
                continue
            for nx, ny in ((x - 1, y), (x + 1, y), (x, y - 1), (x, y + 1)):
                if 0 <= nx < size and 0 <= ny < size and rows[ny][nx]:
                    result[y][x] = outline
                    break
    return result


def quantise_icon(rows):
    """Map to 16 colours; index 0 (black) is reserved for transparency."""
    colours = [c for row in rows for c in row if c is not None]
    palette = [(0, 0, 0)] + median_cut(colours, 15)
    palette += [(0, 0, 0)] * (16 - len(palette))
    cache = {}
    indices, mask = [], []
    for row in rows:
        irow, mrow = [], []
        for c in row:
            if c is None:
                irow.append(0)
                mrow.append(1)
            else:
                irow.append(1 + nearest_index(c, palette[1:], cache))
                mrow.append(0)
        indices.append(irow)
        mask.append(mrow)
    return palette, indices, mask


# ---------------------------------------------------------------- file output

def padded(data):
    return data + b"\0" * (-len(data) % 4)


BI_RGB, BI_RLE8 = 0, 1


def bitmap_info_header(width, height, bpp, image_size, colours_used,
                       compression=BI_RGB):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, compression,
                       image_size, 2835, 2835, colours_used, 0)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def pack_8bpp(row):
    return padded(bytes(row))


def pack_4bpp(row):
    data = bytearray()
    for i in range(0, len(row), 2):
        hi = row[i]
        lo = row[i + 1] if i + 1 < len(row) else 0
        data.append((hi << 4) | lo)
    return padded(bytes(data))


def pack_1bpp(row):
    data = bytearray()
    for i in range(0, len(row), 8):
        byte = 0
        for j, bit in enumerate(row[i:i + 8]):
            byte |= bit << (7 - j)
        data.append(byte)
    return padded(bytes(data))


RLE8_MAX_COUNT = 255     # a count is one byte
RLE8_MIN_ABSOLUTE = 3    # absolute counts 0, 1 and 2 are escapes


def rle8_literal(indices):
    """Indices that do not repeat: absolute mode (0, count, the indices,
    padded to a 16-bit boundary) for three or more, else runs of one."""
    out = bytearray()
    for i in range(0, len(indices), RLE8_MAX_COUNT):
        piece = indices[i:i + RLE8_MAX_COUNT]
        if len(piece) < RLE8_MIN_ABSOLUTE:
            for index in piece:
                out += bytes((1, index))
        else:
            out += bytes((0, len(piece))) + bytes(piece)
            out += b"\0" * (len(piece) & 1)
    return bytes(out)


def rle8_row(row):
    """One row in BI_RLE8: repeats as (count, index), the pixels between
    them as literals, then the end-of-line escape (0, 0)."""
    out = bytearray()
    literal = []
    i = 0
    while i < len(row):
        run = 1
        while (i + run < len(row) and run < RLE8_MAX_COUNT and
               row[i + run] == row[i]):
            run += 1
        if run > 1:
            out += rle8_literal(literal) + bytes((run, row[i]))
            literal = []
        else:
            literal.append(row[i])
        i += run
    return bytes(out) + rle8_literal(literal) + b"\0\0"


def unpack_rle8(data, width, height):
    """Decodes what rle8_row wrote (bottom row first); only the escapes
    it uses are understood."""
    rows, row, i = [], [], 0
    while True:
        count, value = data[i], data[i + 1]
        i += 2
        if count:
            row += [value] * count
        elif value == 0:
            rows.append(row)
            row = []
        elif value == 1:
            break
        else:
            row += list(data[i:i + value])
            i += value + (value & 1)
    if len(rows) != height or any(len(r) != width for r in rows):
        raise RuntimeError("run-length picture does not decode to its size")
    return list(reversed(rows))


def bmp_bytes(palette, pixels, compression):
    """A BMP file: 8 bits per pixel, uncompressed or BI_RLE8."""
    palette = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    height, width = len(pixels), len(pixels[0])
    if compression == BI_RLE8:
        image = b"".join(rle8_row(row) for row in reversed(pixels)) + b"\0\1"
        if unpack_rle8(image, width, height) != pixels:
            raise RuntimeError("run-length picture differs from the drawing")
    else:
        image = b"".join(pack_8bpp(row) for row in reversed(pixels))
    offset = 14 + 40 + 4 * 256
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    return (header + bitmap_info_header(width, height, 8, len(image), 256,
                                        compression) +
            palette_bytes(palette) + image)


def icon_image_bytes(palette, indices, mask):
    size = len(indices)
    xor = b"".join(pack_4bpp(row) for row in reversed(indices))
    andm = b"".join(pack_1bpp(row) for row in reversed(mask))
    return (bitmap_info_header(size, 2 * size, 4, len(xor) + len(andm), 16) +
            palette_bytes(palette) + xor + andm)


def ico_bytes(images):
    """images: list of (size, image bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4,
                           len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b"".join(blobs)


def make_icon():
    images = []
    for size in (32, 16):
        palette, indices, mask = quantise_icon(render_icon_pixels(size))
        images.append((size, icon_image_bytes(palette, indices, mask)))
    return ico_bytes(images)


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: %s OUTPUT_DIR\n" % os.path.basename(argv[0]))
        return 2
    out_dir = argv[1]
    try:
        os.makedirs(out_dir, exist_ok=True)
        palette, pixels = render_wizard()
        # The resource is run-length encoded; the same picture uncompressed
        # lets the tests compare what the system decodes with the drawing.
        write_file(os.path.join(out_dir, "wizard.bmp"),
                   bmp_bytes(palette, pixels, BI_RLE8))
        write_file(os.path.join(out_dir, "wizard-plain.bmp"),
                   bmp_bytes(palette, pixels, BI_RGB))
        write_file(os.path.join(out_dir, "app.ico"), make_icon())
    except (OSError, RuntimeError) as e:
        sys.stderr.write("make_images: %s\n" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
