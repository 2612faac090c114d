#!/usr/bin/env python3
"""Draws the program's own artwork: the application icon (two database drums
with an arrow between them) and the hand pointer HAND-M.CUR. Writes both into
resources/. Standard library only; run again after changing a shape."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "resources")


def inside_ellipse(x, y, cx, cy, rx, ry):
    return ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def drum(x, y, left, right, top, bottom, body, lid):
    """Colour of a database drum at (x, y), or None outside it."""
    cx, rx, ry = (left + right) / 2, (right - left) / 2, 4.0
    if inside_ellipse(x, y, cx, top, rx, ry):
        return lid
    if left <= x <= right and top <= y <= bottom or inside_ellipse(x, y, cx, bottom, rx, ry):
        # Darker towards the sides, so the drum looks round.
        shade = 1.0 - 0.45 * abs(x - cx) / rx
        return tuple(int(c * shade) for c in body)
    return None


def arrow(x, y):
    if 17 <= x <= 42 and 9 <= y <= 14:
        return True
    # Head: a triangle pointing right.
    return 42 <= x <= 54 and abs(y - 11.5) <= (54 - x) * 0.72


def icon_pixel(x, y):
    if arrow(x, y):
        return (230, 126, 34, 255)
    for args in ((4, 28, 24, 54, (52, 120, 220), (150, 195, 250)),
                 (36, 60, 24, 54, (46, 160, 90), (150, 225, 170))):
        c = drum(x, y, *args)
        if c is not None:
            return c + (255,)
    return None


def render(size, pixel, samples=4):
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = pixel(px + (sx + 0.5) / samples, py + (sy + 0.5) / samples)
                    if c:
                        for i in range(3):
                            acc[i] += c[i] * c[3] / 255
                        acc[3] += c[3]
            n = samples * samples
            a = acc[3] / n
            if a:
                row.append(tuple(int(acc[i] / n * 255 / a) for i in range(3)) + (int(a),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def write_png(path, rows):
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)
    h, w = len(rows), len(rows[0])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


# The hand: a pointing index finger, three folded fingers, palm and thumb.
HAND_PARTS = [
    (8, 1, 13, 17),    # index finger, pointing up
    (13, 9, 17, 17),   # middle finger
    (17, 10, 21, 17),  # ring finger
    (21, 12, 25, 18),  # little finger
    (8, 15, 25, 27),   # palm
    (10, 26, 23, 30),  # wrist
]
HOTSPOT = (10, 1)  # the tip of the index finger


def in_hand(x, y):
    if any(l <= x < r and t <= y < b for l, t, r, b in HAND_PARTS):
        return True
    # The thumb, a slanted stroke from the palm's left edge.
    return 3 <= x < 9 and 0 <= (y - 14) - (x - 3) * 1.2 < 5


def write_cursor(path):
    size = 32
    hand = [[in_hand(x, y) for x in range(size)] for y in range(size)]

    def edge(x, y):
        return any(0 <= x + dx < size and 0 <= y + dy < size and hand[y + dy][x + dx]
                   for dx in (-1, 0, 1) for dy in (-1, 0, 1))

    colour, mask = [], []
    for y in range(size):
        row = []
        for x in range(size):
            if hand[y][x]:
                row.append((255, 255, 255, 255))
            elif edge(x, y):
                row.append((0, 0, 0, 255))
            else:
                row.append((0, 0, 0, 0))
        colour.append(row)
    # The DIB is stored bottom row first: BGRA pixels, then the 1-bit AND mask
    # (1 = transparent), each mask row padded to four bytes.
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(colour) for (r, g, b, a) in row)
    and_rows = b""
    for row in reversed(colour):
        bits = 0
        for x, p in enumerate(row):
            if p[3] == 0:
                bits |= 1 << (31 - x)
        and_rows += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_rows),
                         0, 0, 0, 0)
    image = header + xor + and_rows
    directory = struct.pack("<HHH", 0, 2, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, HOTSPOT[0], HOTSPOT[1], len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + entry + image)


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    write_png(os.path.join(OUT, "vellquist.png"), render(64, icon_pixel))
    write_cursor(os.path.join(OUT, "HAND-M.CUR"))
