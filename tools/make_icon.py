#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the window icon "icon1" (a mast sending a rising tone ladder) at 16 and 32 pixels."""
import struct
import sys
import zlib
from pathlib import Path

LADDER = [(0, 0, 255), (128, 0, 255), (1, 128, 0), (255, 0, 0), (255, 128, 0)]


def draw(size):
    s = size / 32.0
    px = [[(224, 255, 255, 255) for _ in range(size)] for _ in range(size)]

    def box(x1, y1, x2, y2, colour):
        for y in range(max(0, int(y1 * s)), min(size, max(int(y1 * s) + 1, int(y2 * s)))):
            for x in range(max(0, int(x1 * s)), min(size, max(int(x1 * s) + 1, int(x2 * s)))):
                px[y][x] = colour + (255,)

    box(0, 0, 32, 1, (0, 0, 164)); box(0, 31, 32, 32, (0, 0, 164))
    box(0, 0, 1, 32, (0, 0, 164)); box(31, 0, 32, 32, (0, 0, 164))
    # The mast and its feet.
    box(5, 6, 7, 29, (60, 60, 60))
    box(2, 28, 10, 30, (60, 60, 60))
    box(3, 4, 9, 6, (255, 0, 0))
    # The tone ladder: five dots climbing to the right, in the level colours.
    for i, colour in enumerate(LADDER):
        x = 11 + i * 4
        y = 24 - i * 4
        box(x, y, x + 4, y + 4, colour)
    return px


def png(px):
    size = len(px)
    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in px)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    out = Path(sys.argv[1] if len(sys.argv) > 1 else "app/icons")
    for size in (16, 32):
        (out / f"icon1-{size}.png").write_bytes(png(draw(size)))
