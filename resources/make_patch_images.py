#!/usr/bin/env python3
"""Draws the pictures the embedded patch-information script shows and writes
them beside this script:

    python3 make_patch_images.py

  1.ico     the window icon: a lantern over a brook, 16, 32 and 48 pixels,
            32-bit with an AND mask (the script asks for icon 1 at 32 pixels)
  logo.png  the picture under the buttons: 240 x 96 pixels, 24-bit RGB

Both are simple geometric drawings made here, so the repository holds no
image made elsewhere. The output is deterministic: running the script again
rewrites the same bytes.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

LOGO_WIDTH = 240
LOGO_HEIGHT = 96
ICON_SIZES = (16, 32, 48)

NIGHT = (28, 40, 78)
WATER = (58, 116, 170)
WATER_LIGHT = (150, 200, 232)
LAMP = (250, 196, 72)
LAMP_DARK = (170, 96, 30)
GLOW = (255, 236, 170)
HILL = (40, 78, 70)


# One pixel of the lantern-and-brook drawing at (x, y) in a size x size square,
# or None for a transparent pixel when the drawing has no background.
def lantern_pixel(x, y, size, background):
    u = (x + 0.5) / size
    v = (y + 0.5) / size
    # The brook: two wavy bands across the lower third.
    wave = 0.72 + 0.04 * math.sin(u * math.pi * 4)
    if v > wave:
        return WATER_LIGHT if abs(v - wave - 0.08) < 0.025 else WATER
    # The lantern: a rounded body with a dark frame and a bright core.
    dx = (u - 0.5) / 0.22
    dy = (v - 0.42) / 0.26
    r = dx * dx + dy * dy
    if r < 0.35:
        return GLOW
    if r < 0.8:
        return LAMP
    if r < 1.0:
        return LAMP_DARK
    # The handle above it.
    if abs(u - 0.5) < 0.04 and 0.08 < v < 0.18:
        return LAMP_DARK
    return background


# Writes a PNG chunk.
def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


# Encodes rows of (r, g, b) tuples as a 24-bit PNG.
def png_bytes(rows):
    height = len(rows)
    width = len(rows[0])
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) + png_chunk(b"IDAT", zlib.compress(raw, 9)) +
            png_chunk(b"IEND", b""))


# The logo: a night sky over hills and a brook, with a lantern at the left.
def logo_rows():
    rows = []
    for y in range(LOGO_HEIGHT):
        row = []
        for x in range(LOGO_WIDTH):
            hill = 60 + 10 * math.sin(x / 23.0) + 6 * math.sin(x / 9.0)
            if y > 78 + 3 * math.sin(x / 11.0):
                px = WATER_LIGHT if (x + 2 * y) % 17 == 0 else WATER
            elif y > hill:
                px = HILL
            else:
                t = y / LOGO_HEIGHT
                px = tuple(int(c * (0.7 + 0.5 * t)) for c in NIGHT)
                if (x * 7 + y * 13) % 97 == 0:
                    px = (230, 230, 250)
            lamp = lantern_pixel(x - 14, y - 8, 72, None) if 14 <= x < 86 and 8 <= y < 80 else None
            row.append(lamp if lamp is not None and lamp not in (WATER, WATER_LIGHT) else px)
        rows.append(row)
    return rows


# One icon image: BITMAPINFOHEADER, 32-bit BGRA pixels bottom-up, AND mask.
def icon_image(size):
    pixels = bytearray()
    mask = bytearray()
    stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row_mask = bytearray(stride)
        for x in range(size):
            px = lantern_pixel(x, y, size, None)
            if px is None:
                pixels += b"\x00\x00\x00\x00"
                row_mask[x // 8] |= 0x80 >> (x % 8)
            else:
                pixels += bytes((px[2], px[1], px[0], 255))
        mask += row_mask
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask)


# An .ico file holding one image per size.
def ico_bytes():
    images = [icon_image(size) for size in ICON_SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(ICON_SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    with open(os.path.join(HERE, "logo.png"), "wb") as f:
        f.write(png_bytes(logo_rows()))
    with open(os.path.join(HERE, "1.ico"), "wb") as f:
        f.write(ico_bytes())


if __name__ == "__main__":
    main()
