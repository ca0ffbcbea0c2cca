#!/usr/bin/env python3
"""Draws the editor's own small pictures: the level meter's segments (4 x 7 pixels in green,
dark, yellow and red), its 1 x 14 edge strip, and the program icon. Run it to remake them."""
import os
import struct
import sys

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "editor", "resources")


def bmp24(width, height, pixel):
    """A bottom-up 24-bit BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    row = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        line = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    return header + info + bytes(data)


def segment(lit, dim):
    # A lit face with a darker one-pixel rim at the bottom and right.
    return lambda x, y: dim if (x == 3 or y == 6) else lit


def edge(x, y):
    # 16 shades: a short ramp from dark to light grey.
    v = 40 + y * 12
    return (v, v, v)


def icon():
    """A 32 x 32 icon: a note on a green disc, 32-bit with an AND mask."""
    size = 32
    pixels = bytearray()
    mask_rows = []
    for y in range(size - 1, -1, -1):
        mask = 0
        for x in range(size):
            dx, dy = x - 15.5, y - 15.5
            inside = dx * dx + dy * dy <= 15.5 * 15.5
            note = (19 <= x <= 20 and 6 <= y <= 22) or ((x - 15) ** 2 + (y - 22) ** 2 <= 10) or \
                   (20 <= x <= 25 and 6 <= y <= 8)
            if not inside:
                pixels += bytes((0, 0, 0, 0))
                mask |= 1 << (31 - x)
            elif note:
                pixels += bytes((255, 255, 255, 255))
            else:
                pixels += bytes((40, 160, 40, 255))
        mask_rows.append(struct.pack(">I", mask))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + 128, 0, 0, 0, 0)
    image = info + bytes(pixels) + b"".join(mask_rows)
    head = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22)
    return head + image


def main():
    out = {
        "green.bmp": bmp24(4, 7, segment((40, 230, 40), (20, 120, 20))),
        "dark.bmp": bmp24(4, 7, segment((30, 50, 30), (15, 25, 15))),
        "yellow.bmp": bmp24(4, 7, segment((240, 220, 40), (130, 110, 20))),
        "red.bmp": bmp24(4, 7, segment((240, 40, 40), (120, 20, 20))),
        "edge.bmp": bmp24(1, 14, edge),
        "tagzo.ico": icon(),
    }
    for name, data in out.items():
        with open(os.path.join(here, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
