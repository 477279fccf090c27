#!/usr/bin/env python3
"""Draws the program's icons and writes them as .ico files beside this script.

    python3 make_icons.py

The icons are simple geometric drawings made here, so the repository holds
no image made elsewhere. Every drawing uses a few colours of one 16-colour
palette, so the 4-bit and 8-bit images hold exactly what the 24-bit ones do;
the 256-pixel image is a PNG drawn with smoothed edges.

  main.ico              group 159: 48, 32 and 16 pixels in 4, 8 and 24 bits
                        (in that order, each depth from wide to narrow),
                        then a 256-pixel PNG
  suspended.ico         group 206: 16 pixels (hotkeys suspended)
  paused.ico            group 207: 16 pixels (script paused)
  paused_suspended.ico  group 208: 16 pixels (both)
  main_small.ico        group 160: 16 pixels, 4 bits
"""
import os
import struct
import zlib

TRANSPARENT = 0
PALETTE = [
    (0, 0, 0),        # 0 transparent (masked out)
    (0, 0, 0),        # 1 black
    (255, 255, 255),  # 2 white
    (24, 96, 128),    # 3 deep teal: the normal background
    (12, 60, 82),     # 4 dark teal: the normal border
    (232, 152, 32),   # 5 amber: the paused background
    (150, 88, 10),    # 6 dark amber: the paused border
    (140, 140, 140),  # 7 grey: the suspended background
    (88, 88, 88),     # 8 dark grey: the suspended border
    (60, 36, 8),      # 9 dark brown: the pause bars
] + [(0, 0, 0)] * 6

# Background and border colours of each look.
LOOKS = {
    "normal": (3, 4),
    "paused": (5, 6),
    "suspended": (7, 8),
}


def inside_rounded_square(u, v, margin, radius):
    """Whether (u, v) in the unit square lies inside a rounded square."""
    lo, hi = margin, 1.0 - margin
    if u < lo or u > hi or v < lo or v > hi:
        return False
    cu = min(max(u, lo + radius), hi - radius)
    cv = min(max(v, lo + radius), hi - radius)
    return (u - cu) ** 2 + (v - cv) ** 2 <= radius ** 2


def on_ring_glyph(u, v):
    """The letter-like mark: a ring with a tail to the lower right."""
    d2 = (u - 0.47) ** 2 + (v - 0.46) ** 2
    if 0.17 ** 2 <= d2 <= 0.30 ** 2:
        return True
    # The tail: a thick stroke along the diagonal from the ring outwards.
    t = ((u - 0.58) + (v - 0.58)) / 2.0
    off = abs((u - 0.58) - (v - 0.58)) / 1.414
    return 0.0 <= t <= 0.24 and off <= 0.065


def on_pause_bars(u, v):
    """Two upright bars."""
    if not 0.26 <= v <= 0.74:
        return False
    return 0.29 <= u <= 0.43 or 0.57 <= u <= 0.71


def draw(look, mark):
    """A function giving the palette index at a point of the unit square."""
    background, border = LOOKS[look]
    glyph_colour = 9 if mark == "bars" else 2
    on_mark = on_pause_bars if mark == "bars" else on_ring_glyph

    def colour(u, v):
        if not inside_rounded_square(u, v, 0.03, 0.2):
            return TRANSPARENT
        if not inside_rounded_square(u, v, 0.09, 0.15):
            return border
        return glyph_colour if on_mark(u, v) else background
    return colour


def pixels(colour, size):
    """Palette indexes, top row first, sampled at pixel centres."""
    return [[colour((x + 0.5) / size, (y + 0.5) / size) for x in range(size)] for y in range(size)]


def row_bytes(bits, size):
    return ((bits * size + 31) // 32) * 4


def bmp_image(colour, size, bits):
    """One icon image in the device-independent-bitmap form, with its mask."""
    grid = pixels(colour, size)
    palette_len = {4: 16, 8: 256}.get(bits, 0)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, palette_len, 0)
    palette = b""
    for i in range(palette_len):
        r, g, b = PALETTE[i] if i < len(PALETTE) else (0, 0, 0)
        palette += bytes((b, g, r, 0))
    colour_rows = []
    mask_rows = []
    for row in reversed(grid):  # bottom row first
        data = bytearray()
        if bits == 4:
            for x in range(0, size, 2):
                data.append((row[x] << 4) | (row[x + 1] if x + 1 < size else 0))
        elif bits == 8:
            data.extend(row)
        else:
            for index in row:
                r, g, b = PALETTE[index]
                data.extend((b, g, r))
        data.extend(b"\0" * (row_bytes(bits, size) - len(data)))
        colour_rows.append(bytes(data))
        mask = bytearray(row_bytes(1, size))
        for x, index in enumerate(row):
            if index == TRANSPARENT:
                mask[x // 8] |= 0x80 >> (x % 8)
        mask_rows.append(bytes(mask))
    return header + palette + b"".join(colour_rows) + b"".join(mask_rows)


def png_image(colour, size, samples=4):
    """A PNG with smoothed edges: each pixel averages samples x samples points."""
    raw = bytearray()
    for y in range(size):
        raw.append(0)  # filter type: none
        for x in range(size):
            total = [0, 0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    index = colour((x + (sx + 0.5) / samples) / size, (y + (sy + 0.5) / samples) / size)
                    if index != TRANSPARENT:
                        r, g, b = PALETTE[index]
                        total[0] += r
                        total[1] += g
                        total[2] += b
                        total[3] += 1
            n = total[3]
            if n:
                raw.extend((total[0] // n, total[1] // n, total[2] // n, n * 255 // (samples * samples)))
            else:
                raw.extend((0, 0, 0, 0))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def write_ico(path, entries):
    """entries: (size, bits, image bytes). Writes an icon file."""
    directory = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    blobs = b""
    for size, bits, data in entries:
        colours = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
        blobs += data
    with open(path, "wb") as f:
        f.write(directory + blobs)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    main_colour = draw("normal", "ring")
    entries = [(size, bits, bmp_image(main_colour, size, bits)) for bits in (4, 8, 24) for size in (48, 32, 16)]
    entries.append((256, 32, png_image(main_colour, 256)))
    write_ico(os.path.join(here, "main.ico"), entries)
    small = {
        "suspended.ico": draw("suspended", "ring"),
        "paused.ico": draw("paused", "bars"),
        "paused_suspended.ico": draw("suspended", "bars"),
    }
    for name, colour in small.items():
        write_ico(os.path.join(here, name), [(16, bits, bmp_image(colour, 16, bits)) for bits in (4, 8, 24)])
    write_ico(os.path.join(here, "main_small.ico"), [(16, 4, bmp_image(main_colour, 16, 4))])


if __name__ == "__main__":
    main()
