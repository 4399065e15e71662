#!/usr/bin/env python3
"""Draws the program's icon, a sheet of paper whose lines carry running numbers.

Usage: make-icon.py OUTDIR  (writes skorvatin-16.png and skorvatin-32.png, 16-colour pixel art;
skorvatin-48.png to skorvatin-256.png, the same shapes drawn smooth; and skorvatin.svg). The files
are committed; run this only to change the design. Standard library only.

The design lies on a 32 x 32 grid. The two small sizes place whole pixels, as a 16-colour icon
must to stay sharp; the larger ones and the SVG draw the same rectangles and triangles, with the
fold's edge and the arrow heads as real slopes, from one list of polygons.
"""
import struct
import sys
import zlib

# The classic 16-colour palette; magenta, which the design never uses, is the transparent index.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
T, BLACK, GREY, SILVER, WHITE, NAVY, BLUE, RED, YELLOW = 13, 0, 8, 7, 15, 4, 12, 9, 11
FOLD = 8               # the folded corner's width
ROWS = (12, 18, 24)    # the tops of the three numbered lines


def sheet(size):
    px = [[T] * size for _ in range(size)]
    s = size / 32.0

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c

    rect(5, 1, 27 - FOLD, 31, WHITE)          # the sheet, its top right corner folded over
    rect(27 - FOLD, 1 + FOLD, 27, 31, WHITE)
    for i in range(FOLD):                     # the fold's diagonal and its shaded back
        rect(27 - FOLD + i, 1 + i, 27 - FOLD + i + 1, 2 + i, GREY)
        rect(27 - FOLD, 1 + i, 27 - FOLD + i, 2 + i, SILVER)
    rect(5, 1, 27 - FOLD, 2, BLACK)           # outline
    rect(5, 1, 6, 31, BLACK)
    rect(5, 30, 27, 31, BLACK)
    rect(26, 1 + FOLD, 27, 31, BLACK)
    rect(27 - FOLD, 1, 27 - FOLD + 1, 1 + FOLD, BLACK)
    rect(27 - FOLD, 1 + FOLD, 27, 2 + FOLD, BLACK)
    # Three numbered lines: a red number block, a navy name, a blue arrow to the renamed form.
    for row, y in enumerate(ROWS):
        rect(8, y, 11, y + 4, RED)
        rect(12, y + 1, 18, y + 3, NAVY)
        rect(19, y + 1, 22, y + 3, BLUE)
        rect(22, y, 24, y + 4, BLUE if row != 1 else YELLOW)
    return px


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png(px):
    size = len(px)
    raw = b""
    for row in px:
        line = bytearray([0])
        for x in range(0, size, 2):
            line.append((row[x] << 4) | row[x + 1])
        raw += bytes(line)

    header = struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)  # 4-bit indexed colour
    plte = b"".join(struct.pack("BBB", *c) for c in PALETTE)
    trns = bytes(0 if i == T else 255 for i in range(T + 1))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", plte) + chunk(b"tRNS", trns)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def shapes():
    """The design as (convex polygon, palette index) in painting order, on the 32-unit grid."""
    corner = 27 - FOLD
    out = [
        ([(5, 1), (corner, 1), (27, 1 + FOLD), (27, 31), (5, 31)], WHITE),  # the sheet, corner cut off
        ([(corner, 1), (27, 1 + FOLD), (corner, 1 + FOLD)], SILVER),       # the folded corner's back
        ([(corner, 1), (27, 1 + FOLD), (26, 1 + FOLD), (corner, 2)], GREY),  # and its edge
    ]
    for r in ((5, 1, corner, 2), (5, 1, 6, 31), (5, 30, 27, 31), (26, 1 + FOLD, 27, 31),
              (corner, 1, corner + 1, 2 + FOLD), (corner, 1 + FOLD, 27, 2 + FOLD)):
        out.append((rect(*r), BLACK))                                      # the outline
    for row, y in enumerate(ROWS):
        out.append((rect(8, y, 11, y + 4), RED))                           # the number
        out.append((rect(12, y + 1, 18, y + 3), NAVY))                     # the name
        out.append((rect(19, y + 1, 22, y + 3), BLUE))                     # the arrow to the new name
        out.append(([(22, y), (24, y + 2), (22, y + 4)], BLUE if row != 1 else YELLOW))
    return out


def smooth(size, samples):
    """RGBA rows of the design at `size` pixels, each pixel the mean of samples x samples points."""
    n = size * samples
    grid = [bytearray([T]) * n for _ in range(n)]
    for poly, colour in shapes():
        # Corners on whole pixels: at 48 px, where a unit is 1.5 pixels, the outline stays sharp.
        pts = [(int(x * size / 32 + 0.5) * samples, int(y * size / 32 + 0.5) * samples) for x, y in poly]
        edges = list(zip(pts, pts[1:] + pts[:1]))
        top = max(0, int(min(y for _, y in pts)))
        bottom = min(n, int(max(y for _, y in pts)) + 1)
        for sy in range(top, bottom):
            yc = sy + 0.5
            xs = [xa + (yc - ya) * (xb - xa) / (yb - ya) for (xa, ya), (xb, yb) in edges
                  if (ya <= yc < yb) or (yb <= yc < ya)]
            if len(xs) < 2:
                continue
            first = max(0, int(min(xs) + 0.5))   # samples whose centres lie inside the span
            last = min(n, int(max(xs) + 0.5))
            if last > first:
                grid[sy][first:last] = bytes([colour]) * (last - first)
    rows = []
    total = samples * samples
    for y in range(size):
        line = bytearray()
        band = grid[y * samples:(y + 1) * samples]
        for x in range(size):
            r = g = b = opaque = 0
            for srow in band:
                for c in srow[x * samples:(x + 1) * samples]:
                    if c != T:
                        pr, pg, pb = PALETTE[c]
                        r, g, b, opaque = r + pr, g + pg, b + pb, opaque + 1
            if opaque:
                line += bytes([(r + opaque // 2) // opaque, (g + opaque // 2) // opaque, (b + opaque // 2) // opaque,
                               (255 * opaque + total // 2) // total])
            else:
                line += bytes(4)
        rows.append(bytes(line))
    return rows


def png_rgba(rows):
    size = len(rows)
    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def svg():
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32">']
    for poly, colour in shapes():
        points = " ".join(f"{x:g},{y:g}" for x, y in poly)
        lines.append(f'  <polygon points="{points}" fill="#{"%02x%02x%02x" % PALETTE[colour]}"/>')
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


# Fewer samples where the pixels are big enough that more would not change a value.
SMOOTH_SIZES = {48: 8, 64: 8, 128: 4, 256: 4}

if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for size in (16, 32):
        with open(f"{out}/skorvatin-{size}.png", "wb") as f:
            f.write(png(sheet(size)))
    for size, samples in SMOOTH_SIZES.items():
        with open(f"{out}/skorvatin-{size}.png", "wb") as f:
            f.write(png_rgba(smooth(size, samples)))
    with open(f"{out}/skorvatin.svg", "w", encoding="utf-8") as f:
        f.write(svg())
