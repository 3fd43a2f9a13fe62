#!/usr/bin/env python3
"""Draws the Windows program's artwork and writes it in the formats the resource compiler
takes. Everything is computed here, pixel by pixel, so the output is the same on every
machine; the generated files are committed next to this script.

  draw_artwork.py [--out DIR]     write skin.bmp, quit.bmp and app.ico (default: here)
  draw_artwork.py --check         exit 1 when the committed files differ from a new drawing

skin.bmp (bitmap 130): 366 x 426, 24 bits. Rows 0-212 are the window's background:
artwork across the top, a light grey panel below it and a framed, empty progress bar whose
inside is columns 17-348 and rows 173-197 (the rectangle 17,173 - 349,198 that the painter
fills). Rows 213-425 are the same picture with the bar's inside filled light blue.
quit.bmp (bitmap 129): 16 x 14, 8 bits with a palette, a red cross on light grey.
app.ico (icon 133): 64 x 64, 32 bits with alpha.
"""

import math
import os
import struct
import sys

WIDTH = 366
HEIGHT = 213
# The painter's bar band (right and bottom exclusive); must match app/window_layout.h.
BAR_LEFT, BAR_TOP, BAR_RIGHT, BAR_BOTTOM = 17, HEIGHT - 40, WIDTH - 17, HEIGHT - 15
PANEL_TOP = 118

PANEL = (214, 211, 204)
FRAME = (96, 98, 110)
BAR_EMPTY_TOP, BAR_EMPTY_BOTTOM = (200, 200, 198), (178, 178, 176)
BAR_FULL_TOP, BAR_FULL_BOTTOM = (178, 216, 250), (120, 178, 236)


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


# A 5 x 7 pixel font, just the letters of the title.
GLYPHS = {
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    " ": ["00000"] * 7,
}


def draw_text(pixels, text, x0, y0, scale, colour, shadow):
    x = x0
    for ch in text:
        glyph = GLYPHS[ch]
        for gy, row in enumerate(glyph):
            for gx, bit in enumerate(row):
                if bit != "1":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        px, py = x + gx * scale + dx, y0 + gy * scale + dy
                        pixels[py + 1][px + 1] = shadow
                        pixels[py][px] = colour
        x += 6 * scale


def hills(x):
    return 96 + 7 * math.sin(x / 41.0) + 4 * math.sin(x / 13.0 + 1.3)


def moon_coverage(x, y, cx, cy, r):
    """Share of the pixel (x, y) covered by a crescent: a disc minus an offset disc."""
    inside = 0
    for sy in range(4):
        for sx in range(4):
            px, py = x + (sx + 0.5) / 4, y + (sy + 0.5) / 4
            in_disc = (px - cx) ** 2 + (py - cy) ** 2 <= r * r
            in_bite = (px - cx - r * 0.45) ** 2 + (py - cy + r * 0.2) ** 2 <= (r * 0.85) ** 2
            inside += in_disc and not in_bite
    return inside / 16.0


def draw_background():
    """The upper half: artwork, panel and the empty bar."""
    pixels = [[PANEL] * WIDTH for _ in range(HEIGHT)]
    top_sky, low_sky = (16, 22, 56), (78, 64, 126)
    for y in range(PANEL_TOP):
        sky = mix(top_sky, low_sky, y / PANEL_TOP)
        for x in range(WIDTH):
            pixels[y][x] = sky
    # Stars from a fixed linear congruential sequence: the same sky on every machine.
    seed = 20240611
    for _ in range(70):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        x = seed % WIDTH
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        y = seed % 84
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        pixels[y][x] = mix(pixels[y][x], (255, 250, 230), 0.35 + (seed % 60) / 100.0)
    cx, cy, r = 292.0, 46.0, 24.0
    for y in range(int(cy - r) - 1, int(cy + r) + 2):
        for x in range(int(cx - r) - 1, int(cx + r) + 2):
            c = moon_coverage(x, y, cx, cy, r)
            if c > 0:
                pixels[y][x] = mix(pixels[y][x], (250, 236, 178), c)
    # Hills with a rail line along their crest.
    for x in range(WIDTH):
        crest = hills(x)
        for y in range(int(crest), PANEL_TOP):
            shade = mix((40, 42, 78), (24, 26, 48), (y - crest) / 30.0)
            cover = min(1.0, y + 1 - crest)
            pixels[y][x] = mix(pixels[y][x], shade, cover)
        rail = int(round(crest)) - 3
        pixels[rail][x] = mix(pixels[rail][x], (150, 160, 200), 0.8)
        if x % 9 == 0:
            for y in (rail + 1, rail + 2):
                pixels[y][x] = mix(pixels[y][x], (120, 120, 150), 0.7)
    draw_text(pixels, "MANUAL PATCH", 18, 16, 2, (236, 236, 248), (10, 12, 30))
    # Panel edge, window frame.
    for x in range(WIDTH):
        pixels[PANEL_TOP][x] = (240, 238, 232)
        pixels[PANEL_TOP - 1][x] = (70, 66, 90)
    for y in range(HEIGHT):
        pixels[y][0] = pixels[y][WIDTH - 1] = FRAME
    for x in range(WIDTH):
        pixels[0][x] = pixels[HEIGHT - 1][x] = FRAME
    # The bar: a frame one pixel outside the band, an empty inside.
    for x in range(BAR_LEFT - 1, BAR_RIGHT + 1):
        pixels[BAR_TOP - 1][x] = FRAME
        pixels[BAR_BOTTOM][x] = (246, 244, 240)
    for y in range(BAR_TOP - 1, BAR_BOTTOM + 1):
        pixels[y][BAR_LEFT - 1] = FRAME
        pixels[y][BAR_RIGHT] = (246, 244, 240)
    fill_bar(pixels, BAR_EMPTY_TOP, BAR_EMPTY_BOTTOM)
    return pixels


def fill_bar(pixels, top_colour, bottom_colour):
    rows = BAR_BOTTOM - BAR_TOP
    for y in range(BAR_TOP, BAR_BOTTOM):
        colour = mix(top_colour, bottom_colour, (y - BAR_TOP) / (rows - 1))
        for x in range(BAR_LEFT, BAR_RIGHT):
            pixels[y][x] = colour


def draw_skin():
    upper = draw_background()
    lower = [list(row) for row in upper]
    fill_bar(lower, BAR_FULL_TOP, BAR_FULL_BOTTOM)
    return upper + lower


def bmp_file(width, height, bits, rows_bottom_up, palette=()):
    stride = (width * bits // 8 + 3) & ~3
    data = b"".join(row.ljust(stride, b"\0") for row in rows_bottom_up)
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       len(palette), len(palette))
    return header + info + colours + data


def skin_bmp():
    picture = draw_skin()
    rows = [bytes(c for r, g, b in row for c in (b, g, r)) for row in reversed(picture)]
    return bmp_file(WIDTH, len(picture), 24, rows)


def quit_bmp():
    """A red cross on light grey, anti-aliased through a small palette of blends."""
    w, h = 16, 14
    grey, red = (212, 208, 200), (200, 24, 24)
    levels = 8
    palette = [mix(grey, red, i / (levels - 1)) for i in range(levels)]
    palette.append((110, 108, 104))  # border
    index = []
    for y in range(h):
        row = []
        for x in range(w):
            if x in (0, w - 1) or y in (0, h - 1):
                row.append(levels)
                continue
            cover = 0
            for sy in range(4):
                for sx in range(4):
                    px, py = x + (sx + 0.5) / 4 - w / 2, y + (sy + 0.5) / 4 - h / 2
                    if abs(px) <= 4.5 and abs(py) <= 4.5 and min(abs(px - py), abs(px + py)) <= 1.3:
                        cover += 1
            row.append(int(round(cover / 16 * (levels - 1))))
        index.append(row)
    rows = [bytes(row) for row in reversed(index)]
    return bmp_file(w, h, 8, rows, palette)


def app_ico():
    """64 x 64: a night disc with the crescent and a filled progress bar."""
    size = 64
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            disc = 0
            for sy in range(4):
                for sx in range(4):
                    px, py = x + (sx + 0.5) / 4 - 32, y + (sy + 0.5) / 4 - 32
                    disc += px * px + py * py <= 30.5 * 30.5
            alpha = disc / 16.0
            colour = mix((24, 30, 76), (80, 64, 132), y / size)
            c = moon_coverage(x, y, 36.0, 26.0, 15.0)
            colour = mix(colour, (250, 236, 178), c)
            if 44 <= y < 52 and 14 <= x < 50:
                colour = FRAME if y in (44, 51) or x in (14, 49) else mix(
                    BAR_FULL_TOP, BAR_FULL_BOTTOM, (y - 45) / 5.0)
            row.append(colour + (int(round(alpha * 255)),))
        pixels.append(row)
    xor = b"".join(bytes(c for r, g, b, a in row for c in (b, g, r, a)) for row in reversed(pixels))
    mask_rows = []
    for row in reversed(pixels):
        bits = 0
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits |= 1 << (63 - x)
        mask_rows.append(bits.to_bytes(8, "big"))
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor), 0, 0, 0, 0)
    image = info + xor + b"".join(mask_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def outputs():
    return {"skin.bmp": skin_bmp(), "quit.bmp": quit_bmp(), "app.ico": app_ico()}


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    if argv[1:] == ["--check"]:
        stale = []
        for name, data in outputs().items():
            path = os.path.join(here, name)
            if not os.path.exists(path) or open(path, "rb").read() != data:
                stale.append(name)
        if stale:
            print("out of date (run resources/draw_artwork.py): " + ", ".join(stale))
            return 1
        print("artwork is up to date")
        return 0
    out = here
    if len(argv) == 3 and argv[1] == "--out":
        out = argv[2]
    elif len(argv) != 1:
        print(__doc__)
        return 2
    for name, data in outputs().items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
