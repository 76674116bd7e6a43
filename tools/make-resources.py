#!/usr/bin/python3
"""Draws the window's background picture and the program icon.

Writes app/resources/background.bmp (640 x 400, 24 bits per pixel, no
compression) and app/resources/app_icon.ico (one 64 x 64 image, 8 bits per
pixel). Pure Python: the pictures are computed pixel by pixel and the text is
set in the small bitmap font below. Run it from anywhere; the output is the
same on every run.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RESOURCES = os.path.join(HERE, "..", "app", "resources")

# 5 x 7 glyphs, '#' is ink. Lowercase letters sit on the same baseline as the
# capitals (row 6); none of the letters used has a descender.
FONT = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "o": [".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."],
    "l": [".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "v": [".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    "a": [".....", ".....", ".###.", "....#", ".####", "#...#", ".####"],
    "n": [".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"],
    "e": [".....", ".....", ".###.", "#...#", "#####", "#....", ".###."],
    "c": [".....", ".....", ".####", "#....", "#....", "#....", ".####"],
    "k": ["#....", "#....", "#..#.", "#.#..", "##...", "#.#..", "#..#."],
    "r": [".....", ".....", "#.##.", "##..#", "#....", "#....", "#...."],
    " ": [".."] * 7,
}
GLYPH_H = 7
GAP = 1    # empty columns between two glyphs
BOLD = 0.4  # each stroke is widened to the right by this much of a cell


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c1, c2, t):
    t = max(0.0, min(1.0, t))
    return tuple(lerp(x, y, t) for x, y in zip(c1, c2))


def text_ink(text):
    """The text as a grid of ink cells: a set of (column, row)."""
    cells = set()
    left = 0
    for ch in text:
        glyph = FONT[ch]
        for row, line in enumerate(glyph):
            for col, mark in enumerate(line):
                if mark == "#":
                    cells.add((left + col, row))
        left += len(glyph[0]) + GAP
    return cells, left - GAP


def ink_coverage(cells, u, v, radius=0.38):
    """Whether the point (u, v), in cell units, lies on the ink. Outer corners
    of the ink are rounded so the scaled-up letters look smooth."""
    cx, cy = math.floor(u), math.floor(v)
    if (cx, cy) not in cells:
        return False
    fx, fy = u - cx, v - cy
    for dx in (0, 1):
        for dy in (0, 1):
            sx = 1 if dx else -1
            sy = 1 if dy else -1
            if (cx + sx, cy) in cells or (cx, cy + sy) in cells:
                continue
            # Distance from the corner, inset by the radius.
            ox = fx if dx == 0 else 1 - fx
            oy = fy if dy == 0 else 1 - fy
            if ox < radius and oy < radius:
                if math.hypot(radius - ox, radius - oy) > radius:
                    return False
    return True


def render_text(text, scale, samples=4):
    """Coverage (0..1) of the text set at the given scale: a dict keyed by
    pixel (x, y), origin at the text's top-left corner."""
    cells, columns = text_ink(text)
    width = math.ceil((columns + BOLD) * scale)
    height = GLYPH_H * scale
    cover = {}
    for y in range(height):
        for x in range(width):
            hits = 0
            for sy in range(samples):
                for sx in range(samples):
                    u = (x + (sx + 0.5) / samples) / scale
                    v = (y + (sy + 0.5) / samples) / scale
                    if ink_coverage(cells, u, v) or ink_coverage(cells, u - BOLD, v):
                        hits += 1
            if hits:
                cover[(x, y)] = hits / (samples * samples)
    return cover, width, height


# Window picture --------------------------------------------------------------

WIDTH, HEIGHT = 640, 400
BAND = 58  # the title band above the group box (which starts at y 64)

NAVY_TOP = (22, 38, 70)
NAVY_BOTTOM = (36, 64, 108)
BODY_TOP = (214, 224, 236)
BODY_BOTTOM = (178, 194, 214)
ACCENT = (240, 168, 40)
GOLD_TOP = (255, 226, 130)
GOLD_BOTTOM = (236, 150, 24)


def background_pixel(x, y):
    if y < BAND:
        base = mix(NAVY_TOP, NAVY_BOTTOM, y / BAND)
        # Fine diagonal hatching, strongest on the left.
        if (x + y) % 8 < 2:
            base = mix(base, (255, 255, 255), 0.05 * (1 - x / WIDTH))
        return base
    if y < BAND + 3:
        return ACCENT
    t = (y - BAND) / (HEIGHT - BAND)
    base = mix(BODY_TOP, BODY_BOTTOM, t)
    # Soft diagonal stripes, and a light glow behind the buttons on the left.
    if (x - y) % 24 < 12:
        base = mix(base, (255, 255, 255), 0.10)
    glow = math.hypot((x - 100) / 120, (y - 140) / 140)
    return mix((236, 242, 250), base, min(1.0, glow))


def draw_background():
    pixels = [[background_pixel(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]

    def blend(x, y, color, alpha):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            pixels[y][x] = mix(pixels[y][x], color, alpha)

    # The logo: the program's name in the top-right corner of the band, with a
    # shadow, and a small box emblem in front of it.
    scale = 4
    cover, text_w, text_h = render_text("Tolvane Packer", scale)
    left = WIDTH - 12 - text_w
    top = (BAND - text_h) // 2
    for (x, y), a in cover.items():
        blend(left + x + 2, top + y + 2, (6, 12, 24), 0.7 * a)
    for (x, y), a in cover.items():
        blend(left + x, top + y, mix(GOLD_TOP, GOLD_BOTTOM, y / text_h), a)

    # Emblem: an isometric-looking crate, 30 px wide, left of the text.
    ex, ey = left - 44, top - 1
    for y in range(30):
        for x in range(30):
            if y < 8:
                # Lid: a lighter trapezoid.
                if 8 - y <= x <= 29 - (8 - y) // 2:
                    blend(ex + x, ey + y, mix(GOLD_TOP, ACCENT, y / 8), 1.0)
            elif x <= 29:
                face = mix(ACCENT, GOLD_BOTTOM, (y - 8) / 22)
                if x in (0, 29) or y in (8, 29) or x == 14:
                    face = mix(face, (90, 50, 10), 0.6)
                blend(ex + x, ey + y, face, 1.0)
    return pixels


def write_bmp(path, pixels):
    height = len(pixels)
    width = len(pixels[0])
    row_bytes = width * 3
    pad = (4 - row_bytes % 4) % 4
    image = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b in row:
            image += bytes((round(b), round(g), round(r)))
        image += b"\0" * pad
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(header + info + image)


# Icon ------------------------------------------------------------------------

ICON = 64


def icon_palette(image):
    """Up to 256 colours: black for the transparent pixels, then the icon's
    own colours, rounded just enough to fit."""
    colors = [c for row in image for c in row if c is not None]
    for step in (1, 2, 4, 8, 16):
        rounded = sorted({tuple(min(255, round(v / step) * step) for v in c) for c in colors})
        if len(rounded) <= 255:
            break
    return [(0, 0, 0)] + rounded + [(0, 0, 0)] * (255 - len(rounded))


def nearest(palette, color):
    return min(range(1, len(palette)),
               key=lambda i: sum((p - c) ** 2 for p, c in zip(palette[i], color)))


def draw_icon():
    """Colours (or None where transparent) of the 64 x 64 icon: a rounded
    navy tile with a gold crate and a light T on its front."""
    image = [[None] * ICON for _ in range(ICON)]
    radius = 12
    for y in range(ICON):
        for x in range(ICON):
            qx = min(x, ICON - 1 - x)
            qy = min(y, ICON - 1 - y)
            if qx < radius and qy < radius and math.hypot(radius - qx - 0.5, radius - qy - 0.5) > radius:
                continue
            image[y][x] = mix(NAVY_BOTTOM, NAVY_TOP, y / ICON)
    # Crate: lid and front.
    for y in range(12, 54):
        for x in range(10, 54):
            if y < 22:
                if 10 + (22 - y) <= x <= 53 - (22 - y) // 2:
                    image[y][x] = mix(GOLD_TOP, ACCENT, (y - 12) / 10)
            else:
                color = mix(ACCENT, GOLD_BOTTOM, (y - 22) / 32)
                if x in (10, 11, 52, 53) or y in (22, 23, 52, 53):
                    color = mix(color, (90, 50, 10), 0.6)
                image[y][x] = color
    # A T on the crate's front.
    for y in range(28, 48):
        for x in range(20, 44):
            if (y < 33) or (29 <= x <= 34):
                image[y][x] = (250, 246, 236)
    return image


def write_ico(path, image):
    palette = icon_palette(image)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(image):  # bottom-up
        bits = 0
        mask_row = bytearray()
        for x, color in enumerate(row):
            if color is None:
                xor.append(0)
                bits |= 0x80 >> (x % 8)
            else:
                xor.append(nearest(palette, color))
            if x % 8 == 7:
                mask_row.append(bits)
                bits = 0
        mask += mask_row  # 8 bytes: already a whole number of 32-bit words
    colors = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    # The header's height covers the colour image and the mask together.
    info = struct.pack("<IiiHHIIiiII", 40, ICON, ICON * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    data = info + colors + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", ICON, ICON, 0, 0, 1, 8, len(data), 6 + 16)
    with open(path, "wb") as out:
        out.write(directory + entry + data)


def main():
    write_bmp(os.path.join(RESOURCES, "background.bmp"), draw_background())
    write_ico(os.path.join(RESOURCES, "app_icon.ico"), draw_icon())


if __name__ == "__main__":
    main()
