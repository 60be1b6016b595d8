#!/usr/bin/env python3
"""Turn the text font source into the game's font image.

Usage: makefont.py [--scale N] font.txt font.bmp

font.txt holds 256 glyphs, each a line "glyph CODE description" followed by
8 rows of 8 characters ('#' ink, '.' background); lines starting with ';' and
blank lines between glyphs are ignored. The result is an uncompressed 8-bit
palettised BMP of 16 x 16 glyph cells in code order (code c at cell column
c % 16, cell row c // 16), 128 x 128 pixels, or 256 x 256 with --scale 2 where
every pixel is doubled. Palette index 0 is the black background, index 1 the
white ink. The game tells ink from background by the top-left pixel, so glyph
0's top-left pixel must be background.
"""

import argparse
import struct
import sys

GLYPHS = 256
SIZE = 8  # glyph width and height in the source
MAX_PIXELS = 65536  # the game's font buffer holds at most this many pixels


class FontError(Exception):
    pass


def parse_font(text, name):
    """Read the glyph pictures; returns a list of 256 lists of 8 row strings."""
    glyphs = {}
    where = {}
    code = None
    rows = []
    start = 0
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.rstrip()
        if code is not None:
            if len(line) != SIZE or line.strip("#.") != "":
                raise FontError(
                    "%s:%d: glyph %d: row %d must be %d characters of '#' and '.', got %r"
                    % (name, number, code, len(rows) + 1, SIZE, raw)
                )
            rows.append(line)
            if len(rows) == SIZE:
                glyphs[code] = rows
                code, rows = None, []
            continue
        if line == "" or line.startswith(";"):
            continue
        words = line.split()
        if words[0] != "glyph" or len(words) < 2:
            raise FontError(
                "%s:%d: expected a 'glyph CODE' line, got %r" % (name, number, raw)
            )
        try:
            code = int(words[1])
        except ValueError:
            raise FontError("%s:%d: glyph code %r is not a number" % (name, number, words[1]))
        if not 0 <= code < GLYPHS:
            raise FontError("%s:%d: glyph code %d is outside 0..255" % (name, number, code))
        if code in where:
            raise FontError(
                "%s:%d: glyph %d is already defined on line %d"
                % (name, number, code, where[code])
            )
        where[code] = number
        start = number
    if code is not None:
        raise FontError(
            "%s:%d: glyph %d has %d rows, needs %d" % (name, start, code, len(rows), SIZE)
        )
    missing = [c for c in range(GLYPHS) if c not in glyphs]
    if missing:
        raise FontError(
            "%s: missing glyphs (all 256 are needed): %s"
            % (name, " ".join(str(c) for c in missing))
        )
    return [glyphs[c] for c in range(GLYPHS)]


def render(glyphs, scale):
    """Lay the glyphs out 16 x 16; returns the image rows top to bottom as bytes."""
    side = 16 * SIZE
    image = [bytearray(side) for _ in range(side)]
    for c, rows in enumerate(glyphs):
        left, top = (c % 16) * SIZE, (c // 16) * SIZE
        for y, row in enumerate(rows):
            for x, ch in enumerate(row):
                image[top + y][left + x] = 1 if ch == "#" else 0
    out = []
    for row in image:
        wide = bytes(v for v in row for _ in range(scale))
        out.extend([wide] * scale)
    return out


def bmp_bytes(rows):
    """Encode image rows (palette indices, top row first) as an 8-bit BMP."""
    height, width = len(rows), len(rows[0])
    stride = (width + 3) & ~3
    palette = bytearray(256 * 4)  # blue, green, red, reserved; all black
    palette[4:8] = b"\xff\xff\xff\x00"  # index 1: white ink
    pixels = b"".join(row + bytes(stride - width) for row in reversed(rows))
    offset = 14 + 40 + len(palette)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info_header = struct.pack(
        "<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0
    )
    return file_header + info_header + bytes(palette) + pixels


def main(argv):
    parser = argparse.ArgumentParser(description="Build the game's font BMP from its text source.")
    parser.add_argument("--scale", type=int, default=1, help="pixel size factor: 1 (8 x 8 glyphs) or 2 (16 x 16)")
    parser.add_argument("source", help="font text source (font.txt)")
    parser.add_argument("output", help="BMP file to write")
    args = parser.parse_args(argv)
    side = 16 * SIZE * args.scale
    if args.scale < 1 or side * side > MAX_PIXELS:
        parser.error("--scale must be 1 or 2: the game loads at most %d font pixels" % MAX_PIXELS)
    try:
        with open(args.source, encoding="utf-8") as f:
            text = f.read()
        glyphs = parse_font(text, args.source)
        if glyphs[0][0][0] != ".":
            raise FontError(
                "%s: glyph 0's top-left pixel must be background; the game keys on it"
                % args.source
            )
        data = bmp_bytes(render(glyphs, args.scale))
        with open(args.output, "wb") as f:
            f.write(data)
    except (OSError, UnicodeDecodeError, FontError) as e:
        print("makefont: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
