#!/usr/bin/env python3
"""Draws the application icon, res/app_icon.png (64 x 64, RGBA): a camera
head in front of a PCI board, with an upward arrow for the update. Written
with the standard library only, so it runs anywhere python3 does."""
import os
import struct
import zlib

SIZE = 64


def inside_round_rect(x, y, x0, y0, x1, y1, r):
    if x < x0 or x > x1 or y < y0 or y > y1:
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def pixel(x, y):
    # The board: green, with gold contacts along its lower edge.
    if 6 <= x <= 58 and 40 <= y <= 56:
        if y >= 52 and (x - 8) % 5 < 3 and 8 <= x <= 56:
            return (212, 175, 55, 255)
        return (30, 120, 70, 255)
    # The camera head: dark grey body with a lens.
    if inside_round_rect(x, y, 10, 12, 44, 38, 5):
        d2 = (x - 27) ** 2 + (y - 25) ** 2
        if d2 <= 49:
            return (90, 170, 230, 255) if d2 <= 16 else (20, 20, 24, 255)
        return (70, 74, 82, 255)
    # The arrow: up, on the right.
    if 48 <= x <= 54 and 14 <= y <= 36:
        return (240, 120, 30, 255)
    if 8 <= y <= 18 and abs(x - 51) <= (y - 8):
        return (240, 120, 30, 255)
    return (0, 0, 0, 0)


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + bytes(c for p in row for c in p) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def main():
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "app_icon.png")
    with open(path, "wb") as out:
        out.write(png(SIZE, SIZE, rows))


if __name__ == "__main__":
    main()
