#!/usr/bin/env python3
"""Draws the builder's own pictures, the ones that are not part of the skin library: the
frames of the screenshot slots and of the splash preview, the size read-outs of the
project settings dialog, and the hand cursor "hacursor". Usage: make_builder_art.py OUTDIR

They follow the skin's theme: silver-grey wells on the form background, deep blue lines.
The inside of every well is the grey that the slot pictures and the warning marker are
drawn on (#d2d4d8), so those sit in it without a visible box.
"""
import os
import struct
import subprocess
import sys

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)

WELL = "#d2d4d8"      # inside of slots and read-outs
FORM = "#d0d3d7"      # the form background where these pictures sit
DARK = "#5a7699"      # the skin's button outline
SHADE = "#8d9aab"
LIGHT = "#f4f6f9"


def im(name, *args):
    # BMP3: the classic 40-byte header every Windows bitmap loader takes, 24 bits a pixel.
    out = os.path.join(OUT, name + ".bmp")
    subprocess.run(["convert", *args, "-alpha", "off", "-type", "TrueColor", "BMP3:" + out], check=True)


def well(w, h, radius):
    """A sunken, rounded well: shadow at the top left, light at the bottom right."""
    return ["-size", f"{w}x{h}", "xc:" + FORM,
            "-fill", WELL, "-stroke", "none", "-draw", f"roundrectangle 0,0 {w - 1},{h - 1} {radius},{radius}",
            "-fill", "none", "-stroke", LIGHT, "-draw", f"roundrectangle 1,1 {w - 1},{h - 1} {radius},{radius}",
            "-stroke", SHADE, "-draw", f"roundrectangle 0,0 {w - 2},{h - 2} {radius},{radius}"]


# Screenshot slot, 46 x 48: a slide mount round the 38 x 36 slot picture.
im("slotframe", *well(46, 48, 4),
   "-stroke", DARK, "-draw", "line 6,44 39,44",
   "-stroke", "#b3bfce", "-draw", "line 6,45 39,45")

# Splash preview, 240 x 137, round the 226 x 123 preview at 7,7: a dark screen edge and a
# light, empty screen inside.
im("previewframe", *well(240, 137, 5),
   "-fill", "#e9edf2", "-stroke", DARK, "-draw", "rectangle 6,6 233,130",
   "-fill", "none", "-stroke", "#b8c4d3", "-draw", "rectangle 3,3 236,133")

# Size read-outs, 24 high: the chosen size (100 wide) and the limit (132 wide).
im("sizereadout", *well(100, 24, 4))
im("limitreadout", *well(132, 24, 4),
   "-stroke", "#c9a24a", "-draw", "line 4,21 127,21")

# The size read-out's icon, 16 x 16: a picture with arrows along its width and height.
im("sizeicon", "-size", "16x16", "xc:" + WELL,
   "-fill", "#e9f1fb", "-stroke", DARK, "-draw", "rectangle 4,1 14,10",
   "-fill", "#4f8a3a", "-stroke", "none", "-draw", "polygon 5,10 8,6 10,8 11,7 14,10",
   "-stroke", "#1c3c70", "-draw", "line 4,13 14,13", "-draw", "line 4,12 4,14", "-draw", "line 14,12 14,14",
   "-draw", "line 1,1 1,10", "-draw", "line 0,1 2,1", "-draw", "line 0,10 2,10")

# The toolbar glyph of "Open an earlier package", 16 x 16 on magenta like the skin's glyphs:
# a folder opening with a package box in it.
im("g_open", "-size", "16x16", "xc:#ff00ff", "+antialias",
   "-fill", "#f3c94a", "-stroke", "#8a6d00", "-draw", "polygon 0,3 5,3 6,4 12,4 12,13 0,13",
   "-fill", "#2e5fa8", "-stroke", "#1c3c70", "-draw", "rectangle 4,6 10,11",
   "-stroke", "#ffffff", "-draw", "line 5,8 9,8",
   "-fill", "#fbe08a", "-stroke", "#8a6d00", "-draw", "polygon 2,9 15,9 13,14 0,14")

# The hand cursor, 32 x 32, one bit a pixel: B black, W white, . transparent. The hot spot is
# the tip of the pointing finger.
HAND = """
.....BB...........
....BWWB..........
....BWWB..........
....BWWB..........
....BWWB..........
....BWWBBB........
....BWWBWWBBB.....
....BWWBWWBWWBB...
....BWWBWWBWWBWB..
BBB.BWWBWWBWWBWWB.
BWWBBWWWWWWWWBWWB.
BWWWBWWWWWWWWWWWB.
.BWWBWWWWWWWWWWWB.
..BWWWWWWWWWWWWWB.
..BWWWWWWWWWWWWWB.
...BWWWWWWWWWWWWB.
...BWWWWWWWWWWWB..
....BWWWWWWWWWWB..
....BWWWWWWWWWWB..
.....BWWWWWWWWB...
.....BWWWWWWWWB...
.....BBBBBBBBBB...
""".split()
HOT_X, HOT_Y = 5, 1


def cursor(path, rows, hot_x, hot_y):
    size = 32
    xor_rows, and_rows = [], []
    for y in range(size):
        line = rows[y] if y < len(rows) else ""
        xor_bits = and_bits = 0
        for x in range(size):
            c = line[x] if x < len(line) else "."
            bit = 1 << (31 - x)
            if c == "W":
                xor_bits |= bit
            elif c == ".":
                and_bits |= bit
        xor_rows.append(struct.pack(">I", xor_bits))
        and_rows.append(struct.pack(">I", and_bits))
    # Device-independent bitmaps run from the bottom row up; the mask follows the colours.
    bits = b"".join(reversed(xor_rows)) + b"".join(reversed(and_rows))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 1, 0, len(bits), 0, 0, 2, 0)
    palette = struct.pack("<8B", 0, 0, 0, 0, 255, 255, 255, 0)
    image = header + palette + bits
    directory = struct.pack("<HHH", 0, 2, 1) + struct.pack("<BBBBHHII", size, size, 2, 0, hot_x, hot_y,
                                                          len(image), 6 + 16)
    with open(path, "wb") as f:
        f.write(directory + image)


cursor(os.path.join(OUT, "hacursor.cur"), HAND, HOT_X, HOT_Y)
