#!/usr/bin/env python3
"""Draws the reset utility's artwork in the 16 standard colours: the logo bitmap (350 x 85) and
the 32 x 32 program icon. Run it from anywhere; it writes logo.bmp and tvxreset.ico beside itself.
The pictures are plain shapes: a board with eight port sockets and a signal wave."""
import os
import struct

PALETTE = [  # red, green, blue
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
NAVY, TEAL, SILVER, GREY, GREEN, YELLOW, CYAN, WHITE = 4, 6, 7, 8, 10, 11, 14, 15


def canvas(width, height, colour):
    return [[colour] * width for _ in range(height)]


def fill(pixels, x0, y0, x1, y1, colour):
    for y in range(max(y0, 0), min(y1, len(pixels))):
        for x in range(max(x0, 0), min(x1, len(pixels[0]))):
            pixels[y][x] = colour


def logo():
    width, height = 350, 85
    pixels = canvas(width, height, NAVY)
    fill(pixels, 0, 0, width, 4, TEAL)
    fill(pixels, 0, height - 4, width, height, TEAL)
    # The board: a green card with a gold edge connector and eight sockets.
    fill(pixels, 20, 18, 190, 66, GREEN)
    for x in range(28, 184, 8):
        fill(pixels, x, 66, x + 5, 72, YELLOW)
    for port in range(8):
        x = 28 + port * 20
        fill(pixels, x, 26, x + 14, 40, GREY)
        fill(pixels, x + 3, 29, x + 11, 37, SILVER)
    fill(pixels, 40, 48, 120, 58, GREY)
    # A square signal wave leaving the board.
    level = 30
    for x in range(200, 335):
        if (x - 200) % 24 == 0:
            top, bottom = sorted((level, 60 - level + 30))
            fill(pixels, x, top, x + 2, bottom + 2, CYAN)
            level = 60 if level == 30 else 30
        fill(pixels, x, level, x + 1, level + 2, WHITE)
    return pixels


def icon():
    pixels = canvas(32, 32, TEAL)
    fill(pixels, 2, 8, 30, 24, GREEN)
    for x in range(4, 28, 4):
        fill(pixels, x, 24, x + 2, 27, YELLOW)
    for port in range(4):
        fill(pixels, 5 + port * 6, 11, 9 + port * 6, 15, SILVER)
    fill(pixels, 6, 18, 26, 21, NAVY)
    return pixels


def packed_rows(pixels):
    """4-bit rows, bottom-up, each padded to 4 bytes, as device-independent bitmaps keep them."""
    data = b""
    for row in reversed(pixels):
        line = bytes((row[x] << 4) | (row[x + 1] if x + 1 < len(row) else 0)
                     for x in range(0, len(row), 2))
        data += line + b"\0" * (-len(line) % 4)
    return data


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 0)


def colour_table():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def write_bmp(path, pixels):
    bits = packed_rows(pixels)
    header = info_header(len(pixels[0]), len(pixels), len(bits))
    offset = 14 + len(header) + 64
    with open(path, "wb") as out:
        out.write(struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset))
        out.write(header + colour_table() + bits)


def write_ico(path, pixels):
    bits = packed_rows(pixels)
    mask = b"\0" * (4 * len(pixels))  # every pixel opaque
    image = info_header(32, 64, len(bits) + len(mask)) + colour_table() + bits + mask
    with open(path, "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, 1))
        out.write(struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(image), 22))
        out.write(image)


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    write_bmp(os.path.join(here, "logo.bmp"), logo())
    write_ico(os.path.join(here, "tvxreset.ico"), icon())
