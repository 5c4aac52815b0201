#!/usr/bin/python3
"""Writes the binary files of the sample site: PNG images (zlib/struct), a JPEG photo (Pillow) and a
small pixel font (fontTools), all drawn here, so the site carries no third-party artwork.

Run from anywhere: /usr/bin/python3 examples/site/tools/make_assets.py
Needs python3-pil and python3-fonttools (Debian packages) only for the JPEG and the font.
"""
import math
import os
import struct
import zlib

SITE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def png(path, width, height, pixel):
    """An 8-bit RGB PNG; pixel(x, y) returns (r, g, b)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter: none
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    data = b"\x89PNG\r\n\x1a\n"
    data += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
    data += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    data += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(data)


def logo(x, y):
    cx, cy = x - 31.5, y - 31.5
    r = math.hypot(cx, cy)
    if r < 28:
        return (30, 90 + int(r * 4), 160)
    return (250, 250, 245)


def hero(scale):
    def pixel(x, y):
        x, y = x / scale, y / scale
        band = int((x + y) / 12) % 2
        return (200 - int(y), 120 + band * 60, 80 + int(x / 2))
    return pixel


def tile(x, y):
    return (238, 242, 248) if (x // 8 + y // 8) % 2 == 0 else (226, 232, 242)


def photo(path):
    from PIL import Image

    img = Image.new("RGB", (96, 64))
    for y in range(64):
        for x in range(96):
            sky = y < 40
            img.putpixel((x, y), (110 + y * 2, 160 + y, 230) if sky else (60, 120 + (x % 7) * 5, 50))
    for x in range(96):  # a hill line
        top = 40 - int(8 * math.sin(x / 15.0))
        for y in range(top, 40):
            img.putpixel((x, y), (80, 140, 70))
    img.save(path, "JPEG", quality=85)


# 5x7 glyphs, one string per row, '#' a filled cell.
GLYPHS = {
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "B": ["#### ", "#   #", "#   #", "#### ", "#   #", "#   #", "#### "],
    "C": [" ####", "#    ", "#    ", "#    ", "#    ", "#    ", " ####"],
    "D": ["#### ", "#   #", "#   #", "#   #", "#   #", "#   #", "#### "],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    "G": [" ####", "#    ", "#    ", "#  ##", "#   #", "#   #", " ####"],
    "H": ["#   #", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "I": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "#####"],
    "L": ["#    ", "#    ", "#    ", "#    ", "#    ", "#    ", "#####"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "S": [" ####", "#    ", "#    ", " ### ", "    #", "    #", "#### "],
    "T": ["#####", "  #  ", "  #  ", "  #  ", "  #  ", "  #  ", "  #  "],
    "U": ["#   #", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"],
    "2": [" ### ", "#   #", "    #", "   # ", "  #  ", " #   ", "#####"],
    "-": ["     ", "     ", "     ", "#####", "     ", "     ", "     "],
}


def font(path):
    from fontTools.fontBuilder import FontBuilder
    from fontTools.pens.ttGlyphPen import TTGlyphPen

    cell, upm = 100, 1000
    names = [".notdef", "space"] + ["g%04X" % ord(c) for c in GLYPHS]
    fb = FontBuilder(upm, isTTF=True)
    fb.setupGlyphOrder(names)
    cmap = {32: "space"}
    for c in GLYPHS:
        cmap[ord(c)] = "g%04X" % ord(c)
        if c.isalpha():
            cmap[ord(c.lower())] = "g%04X" % ord(c)
    fb.setupCharacterMap(cmap)

    def square_glyph(rows):
        pen = TTGlyphPen(None)
        for r, row in enumerate(rows):
            for col, ch in enumerate(row):
                if ch != "#":
                    continue
                x0, y0 = 50 + col * cell, (6 - r) * cell
                pen.moveTo((x0, y0))
                pen.lineTo((x0, y0 + cell))
                pen.lineTo((x0 + cell, y0 + cell))
                pen.lineTo((x0 + cell, y0))
                pen.closePath()
        return pen.glyph()

    glyphs = {".notdef": square_glyph(["#####"] * 7), "space": TTGlyphPen(None).glyph()}
    for c, rows in GLYPHS.items():
        glyphs["g%04X" % ord(c)] = square_glyph(rows)
    fb.setupGlyf(glyphs)
    fb.setupHorizontalMetrics({n: (600, 50 if n != "space" else 0) for n in names})
    fb.setupHorizontalHeader(ascent=800, descent=-200)
    fb.setupNameTable({"familyName": "Site Pixel", "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
    fb.setupPost()
    fb.save(path)


def main():
    for sub in ("img", "fonts"):
        os.makedirs(os.path.join(SITE, sub), exist_ok=True)
    png(os.path.join(SITE, "img", "logo.png"), 64, 64, logo)
    png(os.path.join(SITE, "img", "hero-1x.png"), 120, 40, hero(1))
    png(os.path.join(SITE, "img", "hero-2x.png"), 240, 80, hero(2))
    png(os.path.join(SITE, "img", "tile.png"), 16, 16, tile)
    photo(os.path.join(SITE, "img", "photo.jpg"))
    font(os.path.join(SITE, "fonts", "site-pixel.ttf"))


if __name__ == "__main__":
    main()
