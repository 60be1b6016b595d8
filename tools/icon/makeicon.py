#!/usr/bin/env python3
"""Draw the desktop icon from the game's own font: the player glyph '@' in the
player's colour on the palette's background colour.

Usage: makeicon.py [--glyph CODE] DATA_DIR OUT.png OUT.svg

Reads DATA_DIR/font/font.bmp the way the game does (16 x 16 glyph cells, the
top-left pixel's value is background, every other value ink) and the base
colours of DATA_DIR/client/palette.cfg (six hex digits each, blue, green,
red). The glyph's inked part is centred in a square with a pixel of margin
around it and enlarged by whole pixels: a 48 x 48 RGB PNG, and an SVG of one
rectangle per run of ink. The shipped icons in desktop/ are made with
  python3 tools/icon/makeicon.py gamedata desktop/marrowdigger.png desktop/marrowdigger.svg
"""

import argparse
import struct
import sys
import zlib

PNG_SIDE = 48
PLAYER_COLOUR = 1  # base colour of the title, the player and the status lines
BACKGROUND_COLOUR = 0


class IconError(Exception):
    pass


def read_font(path):
    """The font image as rows (top first) of 0 background / 1 ink."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] != b"BM" or len(data) < 54:
        raise IconError("%s is not a BMP file" % path)
    offset, = struct.unpack_from("<I", data, 10)
    width, height, _, bits, compression = struct.unpack_from("<iiHHI", data, 18)
    if bits != 8 or compression != 0:
        raise IconError("%s: expected an uncompressed 8-bit BMP" % path)
    stride = (width + 3) & ~3
    rows = [data[offset + y * stride : offset + y * stride + width] for y in range(abs(height))]
    if height > 0:
        rows.reverse()  # bottom-up rows
    if len(rows[-1]) != width:
        raise IconError("%s is cut short" % path)
    key = rows[0][0]
    return [[0 if v == key else 1 for v in row] for row in rows]


def read_colours(path):
    """The sixteen base colours as (red, green, blue)."""
    with open(path, encoding="ascii") as f:
        tokens = f.read().split()
    if len(tokens) < 16:
        raise IconError("%s: expected sixteen colours" % path)
    colours = []
    for t in tokens[:16]:
        b, g, r = int(t[0:2], 16), int(t[2:4], 16), int(t[4:6], 16)
        colours.append((r, g, b))
    return colours


def glyph_ink(font, code):
    """The glyph's picture cut to its inked rows and columns."""
    cell_w, cell_h = len(font[0]) // 16, len(font) // 16
    left, top = (code % 16) * cell_w, (code // 16) * cell_h
    cell = [font[top + y][left : left + cell_w] for y in range(cell_h)]
    ys = [y for y in range(cell_h) if any(cell[y])]
    xs = [x for x in range(cell_w) if any(row[x] for row in cell)]
    if not ys:
        raise IconError("glyph %d has no ink" % code)
    return [row[xs[0] : xs[-1] + 1] for row in cell[ys[0] : ys[-1] + 1]]


def png_bytes(ink, ink_rgb, back_rgb):
    """A PNG_SIDE square RGB image of the glyph, enlarged and centred."""
    h, w = len(ink), len(ink[0])
    scale = PNG_SIDE // (max(w, h) + 2)
    x0, y0 = (PNG_SIDE - w * scale) // 2, (PNG_SIDE - h * scale) // 2
    raw = bytearray()
    for y in range(PNG_SIDE):
        raw.append(0)  # no filter
        for x in range(PNG_SIDE):
            gx, gy = (x - x0) // scale, (y - y0) // scale
            inked = x >= x0 and y >= y0 and gx < w and gy < h and ink[gy][gx]
            raw.extend(ink_rgb if inked else back_rgb)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", PNG_SIDE, PNG_SIDE, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def svg_text(ink, ink_rgb, back_rgb):
    """The glyph as an SVG in glyph pixels, with a pixel of margin."""
    h, w = len(ink), len(ink[0])
    side = max(w, h) + 2
    x0, y0 = (side - w) / 2, (side - h) / 2
    hexa = "#%02x%02x%02x"
    out = ['<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 %d %d" '
           'shape-rendering="crispEdges">' % (side, side),
           '<rect width="%d" height="%d" fill="%s"/>' % (side, side, hexa % back_rgb),
           '<g fill="%s">' % (hexa % ink_rgb)]
    for y, row in enumerate(ink):
        x = 0
        while x < w:
            if not row[x]:
                x += 1
                continue
            run = x
            while run < w and row[run]:
                run += 1
            out.append('<rect x="%g" y="%g" width="%d" height="1"/>' % (x0 + x, y0 + y, run - x))
            x = run
    out.append("</g></svg>")
    return "\n".join(out) + "\n"


def main(argv):
    parser = argparse.ArgumentParser(description="Draw the desktop icon from the game's font.")
    parser.add_argument("--glyph", type=int, default=ord("@"), help="glyph code (default: '@')")
    parser.add_argument("data", help="data folder with font/font.bmp and client/palette.cfg")
    parser.add_argument("png", help="48 x 48 PNG to write")
    parser.add_argument("svg", help="SVG to write")
    args = parser.parse_args(argv)
    if not 0 <= args.glyph < 256:
        parser.error("--glyph must be 0..255")
    try:
        ink = glyph_ink(read_font(args.data + "/font/font.bmp"), args.glyph)
        colours = read_colours(args.data + "/client/palette.cfg")
        fore, back = colours[PLAYER_COLOUR], colours[BACKGROUND_COLOUR]
        with open(args.png, "wb") as f:
            f.write(png_bytes(ink, fore, back))
        with open(args.svg, "w", encoding="ascii") as f:
            f.write(svg_text(ink, fore, back))
    except (OSError, ValueError, IconError) as e:
        print("makeicon: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
