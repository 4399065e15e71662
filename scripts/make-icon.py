#!/usr/bin/env python3
"""Draws the program's icon, a sheet of paper whose lines carry running numbers, as 16-colour PNGs.

Usage: make-icon.py OUTDIR  (writes skorvatin-16.png and skorvatin-32.png). The PNGs are committed;
run this only to change the design. Standard library only.
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


def sheet(size):
    px = [[T] * size for _ in range(size)]
    s = size / 32.0

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c

    fold = 8
    rect(5, 1, 27 - fold, 31, WHITE)          # the sheet, its top right corner folded over
    rect(27 - fold, 1 + fold, 27, 31, WHITE)
    for i in range(fold):                     # the fold's diagonal and its shaded back
        rect(27 - fold + i, 1 + i, 27 - fold + i + 1, 2 + i, GREY)
        rect(27 - fold, 1 + i, 27 - fold + i, 2 + i, SILVER)
    rect(5, 1, 27 - fold, 2, BLACK)           # outline
    rect(5, 1, 6, 31, BLACK)
    rect(5, 30, 27, 31, BLACK)
    rect(26, 1 + fold, 27, 31, BLACK)
    rect(27 - fold, 1, 27 - fold + 1, 1 + fold, BLACK)
    rect(27 - fold, 1 + fold, 27, 2 + fold, BLACK)
    # Three numbered lines: a red number block, a navy name, a blue arrow to the renamed form.
    for row, y in enumerate((12, 18, 24)):
        rect(8, y, 11, y + 4, RED)
        rect(12, y + 1, 18, y + 3, NAVY)
        rect(19, y + 1, 22, y + 3, BLUE)
        rect(22, y, 24, y + 4, BLUE if row != 1 else YELLOW)
    return px


def png(px):
    size = len(px)
    raw = b""
    for row in px:
        line = bytearray([0])
        for x in range(0, size, 2):
            line.append((row[x] << 4) | row[x + 1])
        raw += bytes(line)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 4, 3, 0, 0, 0)  # 4-bit indexed colour
    plte = b"".join(struct.pack("BBB", *c) for c in PALETTE)
    trns = bytes(0 if i == T else 255 for i in range(T + 1))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"PLTE", plte) + chunk(b"tRNS", trns)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "."
    for size in (16, 32):
        with open(f"{out}/skorvatin-{size}.png", "wb") as f:
            f.write(png(sheet(size)))
