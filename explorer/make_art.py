#!/usr/bin/env python3
"""Draws the explorer's own pictures with ImageMagick: the 25 entry-kind icons of 17 x 16
(one strip, side by side, index 0 at the left), the toolbar glyphs, the decorative pictures of
the detail panel and the small folder of the path bar. Usage: make_art.py OUTDIR

Icons and glyphs are drawn on magenta, which the image list and the flat buttons take as
transparent; anti-aliasing is off for them so that no pinkish edge pixels appear.
"""
import os
import subprocess
import sys

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
KEY = "#ff00ff"
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"


def convert(out, *args):
    subprocess.run(["convert", *args, "-alpha", "off", "-type", "TrueColor", "BMP3:" + out], check=True)


def sharp(w, h, draws, bg=KEY):
    """A canvas with hard-edged drawing: list of (fill, stroke, primitive)."""
    args = ["-size", f"{w}x{h}", "xc:" + bg, "+antialias"]
    for fill, stroke, prim in draws:
        args += ["-fill", fill, "-stroke", stroke, "-strokewidth", "1", "-draw", prim]
    return args


# ---------------------------------------------------------------------------------------
# Building blocks, in the 17 x 16 cell of one icon

def page(x0=3):
    """A white sheet with a folded corner."""
    return [("white", "#5d6b80", f"polygon {x0},0 {x0 + 8},0 {x0 + 11},3 {x0 + 11},15 {x0},15"),
            ("#dfe5ee", "#5d6b80", f"polygon {x0 + 8},0 {x0 + 8},3 {x0 + 11},3")]


def gear(cx, cy, r=3, fill="#8c96a5"):
    """A cog: a ring of teeth around a wheel with a hole."""
    teeth = []
    for dx, dy in ((0, -1), (1, -1), (1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1)):
        k = r + 1 if dx == 0 or dy == 0 else r
        teeth.append(("#4a5566", "none", f"point {cx + dx * k},{cy + dy * k}"))
    return teeth + [(fill, "#4a5566", f"circle {cx},{cy} {cx + r},{cy}"),
                    ("white", "#4a5566", f"rectangle {cx},{cy} {cx},{cy}")]


def window(x0=1, y0=2, x1=15, y1=14):
    return [("white", "#3f4d66", f"rectangle {x0},{y0} {x1},{y1}"),
            ("#2f5fb0", "#3f4d66", f"rectangle {x0},{y0} {x1},{y0 + 3}")]


def computer(x0=1, y0=1, w=13, h=9, screen="#2f6fc0"):
    return [("#d4d7dc", "#4f5560", f"rectangle {x0},{y0} {x0 + w},{y0 + h}"),
            (screen, "#4f5560", f"rectangle {x0 + 2},{y0 + 2} {x0 + w - 2},{y0 + h - 2}"),
            ("#9aa0aa", "none", f"rectangle {x0 + w // 2 - 1},{y0 + h + 1} {x0 + w // 2 + 1},{y0 + h + 2}"),
            ("#d4d7dc", "#4f5560", f"rectangle {x0 + 1},{y0 + h + 3} {x0 + w - 1},{min(15, y0 + h + 5)}")]


FOLDER = [("#e9b731", "#8a6d00", "polygon 1,3 6,3 7,4 15,4 15,14 1,14"),
          ("#fbdc7a", "#8a6d00", "rectangle 1,6 15,14"),
          ("#fff1bf", "none", "line 2,7 14,7")]

# The subjects of the 25 images, in image-list order.
ICONS = [
    # 0 computer
    computer(),
    # 1 drive
    [("#c9ccd2", "#4f5560", "rectangle 1,5 15,11"), ("#7f8590", "none", "line 3,8 10,8"),
     ("#24c02c", "#106015", "rectangle 12,7 13,9")],
    # 2 closed yellow folder
    FOLDER,
    # 3 database: blue and cyan blocks
    [("#2f5fb0", "#1e2f55", "rectangle 1,2 7,7"), ("#35c7e3", "#1e2f55", "rectangle 9,2 15,7"),
     ("#35c7e3", "#1e2f55", "rectangle 1,9 7,14"), ("#2f5fb0", "#1e2f55", "rectangle 9,9 15,14")],
    # 4 blank page
    page(),
    # 5 text page
    page() + [("none", "#3d4653", f"line 5,{y} {w},{y}") for y, w in ((4, 10), (6, 12), (8, 12), (10, 12), (12, 9))],
    # 6 page with one gear
    page() + gear(9, 9),
    # 7 page with gears
    page() + gear(7, 6, 2) + gear(10, 11, 3),
    # 8 plain application window
    window(),
    # 9 window with a gear
    window() + gear(8, 10, 2),
    # 10 archive: a brown box with a zip fastener
    [("#c79a59", "#6e4c1e", "rectangle 2,4 14,14"), ("#dcb06c", "#6e4c1e", "rectangle 1,2 15,5"),
     ("#f1d48c", "none", "rectangle 7,2 9,14")] +
    [("#3d3d3d", "none", f"point {8 if y % 2 else 7},{y}") for y in range(3, 14)],
    # 11 computer with disc
    computer(1, 1, 10, 7) + [("#e2e6ee", "#59606b", "circle 12,11 15,11"), ("#8fb8e8", "none", "circle 12,11 13,11")],
    # 12 generic page with coloured shapes
    page() + [("#e23b2e", "#8a1d14", "circle 7,5 8,6"), ("#2fa84a", "#176226", "rectangle 9,7 12,10"),
              ("#2f6fc0", "#1c3c70", "polygon 5,13 7,9 9,13")],
    # 13 paint tools: a palette and a brush
    [("#e8c890", "#7a5a2a", "ellipse 6,10 5,4 0,360"), ("#e23b2e", "none", "rectangle 3,9 4,10"),
     ("#2f6fc0", "none", "rectangle 6,8 7,9"), ("#2fa84a", "none", "rectangle 9,9 10,10"),
     ("#ffd21f", "none", "rectangle 5,12 6,13"),
     ("none", "#7a4a1a", "line 15,1 10,8"), ("none", "#7a4a1a", "line 14,1 9,8"), ("#222222", "none", "rectangle 8,8 9,9")],
    # 14 picture page
    page() + [("#8cc4f2", "#3d5a80", "rectangle 5,4 12,11"), ("#3f8f3a", "none", "polygon 6,11 8,7 10,9 11,8 11,10 11,11"),
              ("#ffd21f", "none", "rectangle 10,5 11,6")],
    # 15 help book with a question mark
    [("#2f5fb0", "#172c55", "rectangle 2,1 13,15"), ("#f6f1e1", "#8d8570", "rectangle 13,2 14,15"),
     ("#16346a", "none", "line 4,1 4,15"),
     ("none", "#ffd21f", "polyline 7,5 8,4 10,4 11,5 11,6 9,8 9,9"), ("#ffd21f", "none", "rectangle 9,11 9,12")],
    # 16 computer with installer: a computer and a box that an arrow goes into
    computer(0, 0, 9, 6) + [("#c79a59", "#6e4c1e", "rectangle 9,10 16,15"), ("#dcb06c", "#6e4c1e", "rectangle 9,9 16,10"),
                            ("#24a02c", "#106015", "polygon 11,2 14,2 14,5 16,5 12,8 8,5 11,5")],
    # 17 sound page
    page() + [("#3d4653", "none", "polygon 5,8 6,8 9,5 9,12 6,9 5,9"),
              ("none", "#2f6fc0", "line 11,6 11,11"), ("none", "#2f6fc0", "line 12,7 12,10")],
    # 18 web page
    page() + [("#4d9be6", "#1c3c70", "circle 9,9 12,9"), ("#2fa84a", "none", "polygon 7,7 9,7 10,9 8,10 7,9"),
              ("#2fa84a", "none", "rectangle 10,11 11,11")],
    # 19 photo page
    page() + [("#26303d", "#26303d", "rectangle 4,4 13,12"), ("#9fd0f6", "none", "rectangle 5,5 12,8"),
              ("#b06a2c", "none", "polygon 5,11 7,7 9,10 10,9 12,11"), ("white", "none", "rectangle 6,5 7,5")],
    # 20 monitor
    [("#d4d7dc", "#4f5560", "rectangle 1,1 15,11"), ("#1d2f52", "#4f5560", "rectangle 3,3 13,9"),
     ("#9aa0aa", "none", "rectangle 7,12 9,13"), ("#d4d7dc", "#4f5560", "rectangle 4,14 12,15")],
    # 21 window
    window(1, 1, 15, 14) + [("#d4d7dc", "#3f4d66", "rectangle 10,2 11,3"), ("#e23b2e", "#3f4d66", "rectangle 13,2 14,3"),
                            ("#e9edf3", "none", "rectangle 2,6 6,13")],
    # 22 page with a component cube
    page() + [("#b8a4ec", "#3c2a78", "polygon 9,5 13,7 9,9 5,7"), ("#7a5fd0", "#3c2a78", "polygon 5,7 9,9 9,14 5,12"),
              ("#4f379e", "#3c2a78", "polygon 9,9 13,7 13,12 9,14")],
    # 23 program: a yellow box with a blue stroke
    [("#f3c94a", "#8a6d00", "rectangle 2,2 14,14"), ("#fbe39a", "none", "line 3,3 13,3"),
     ("none", "#2f5fb0", "line 4,12 12,4"), ("none", "#2f5fb0", "line 5,12 12,5"), ("none", "#2f5fb0", "line 4,11 11,4")],
    # 24 page with a cyan diamond
    page() + [("#35d3e6", "#17717f", "polygon 9,5 12,9 9,13 6,9")],
]
assert len(ICONS) == 25

cells = []
for i, draws in enumerate(ICONS):
    png = os.path.join(OUT, f"kind{i:02d}.png")
    subprocess.run(["convert", *sharp(17, 16, draws), png], check=True)
    cells.append(png)
convert(os.path.join(OUT, "kinds.bmp"), *cells, "+append")
for c in cells:
    os.remove(c)


def glyph(name, w, h, draws, bg=KEY):
    convert(os.path.join(OUT, name + ".bmp"), *sharp(w, h, draws, bg))


# Toolbar glyphs, 20 x 20: Refresh, Send, Properties, Delete.
glyph("g_refresh", 20, 20, [
    ("none", "#1f8a2c", "arc 3,3 16,16 200,340"), ("none", "#1f8a2c", "arc 4,4 15,15 200,340"),
    ("#1f8a2c", "#1f8a2c", "polygon 14,2 17,7 12,7"),
    ("none", "#1f8a2c", "arc 3,3 16,16 20,160"), ("none", "#1f8a2c", "arc 4,4 15,15 20,160"),
    ("#1f8a2c", "#1f8a2c", "polygon 5,17 2,12 7,12")])
glyph("g_send", 20, 20, [
    ("#fffdf2", "#6b5a2a", "rectangle 1,5 15,16"), ("none", "#6b5a2a", "polyline 1,5 8,11 15,5"),
    ("#2f6fc0", "#1c3c70", "polygon 12,1 18,4 12,7 13,4")])
glyph("g_props", 20, 20, [
    ("white", "#5d6b80", "rectangle 3,1 15,18"),
    ("none", "#3d4653", "line 6,5 12,5"), ("none", "#3d4653", "line 6,8 12,8"), ("none", "#3d4653", "line 6,11 10,11"),
    ("#2f6fc0", "#1c3c70", "circle 14,14 18,14"), ("white", "none", "rectangle 14,13 14,16"),
    ("white", "none", "point 14,11")])
glyph("g_delete", 20, 20, [
    ("none", "#c8281c", "line 4,4 15,15"), ("none", "#c8281c", "line 5,4 16,15"), ("none", "#c8281c", "line 4,5 15,16"),
    ("none", "#c8281c", "line 15,4 4,15"), ("none", "#c8281c", "line 16,4 5,15"), ("none", "#c8281c", "line 15,5 4,16")])
# Go: a green arrow pointing right.
glyph("g_go", 16, 16, [("#2fa84a", "#176226", "polygon 2,6 8,6 8,2 14,8 8,14 8,10 2,10")])
# The title strip's close button: a white cross with a soft shadow.
glyph("g_xclose", 16, 16, [
    ("none", "#0e2548", "line 5,5 12,12"), ("none", "#0e2548", "line 12,5 5,12"),
    ("none", "white", "line 4,4 11,11"), ("none", "white", "line 11,4 4,11"),
    ("none", "white", "line 5,4 12,11"), ("none", "white", "line 12,4 5,11")])

# The path bar's folder, 16 x 16 on the bar's grey.
glyph("folder16", 16, 16, FOLDER, bg="#d6d8dc")

# The detail panel's 32 x 32 picture: a folder with the aircraft on it, on white.
convert(os.path.join(OUT, "eks_icon.bmp"), "-size", "32x32", "xc:white",
        "-fill", "#e9b731", "-stroke", "#8a6d00", "-draw", "polygon 2,6 12,6 14,8 30,8 30,28 2,28",
        "-fill", "#fbdc7a", "-draw", "rectangle 2,12 30,28",
        "-fill", "#1c3c70", "-stroke", "none",
        "-draw", "polygon 16,13 17,14 17,18 23,21 23,22 17,20 17,24 19,26 19,27 16,26 13,27 13,26 15,24 15,20 "
                 "9,22 9,21 15,18 15,14")

# Decorative pictures of the detail panel: a sky band at its top, a horizon at its bottom.
convert(os.path.join(OUT, "eks_top.bmp"), "-size", "227x6", "gradient:#2e5fa8-#9cc0ee")
convert(os.path.join(OUT, "eks_bottom.bmp"), "-size", "227x30", "gradient:white-#dcebfa",
        "-fill", "#c9dcc0", "-stroke", "none", "-draw", "polygon 0,30 0,24 40,19 90,23 140,18 190,22 227,20 227,30",
        "-fill", "#b0c8a6", "-draw", "polygon 0,30 0,27 60,24 120,27 180,24 227,26 227,30",
        "-fill", "#9fb6d2", "-draw", "polygon 190,6 191,7 191,9 196,11 196,12 191,11 191,13 193,14 193,15 190,14 "
                                     "187,15 187,14 189,13 189,11 184,12 184,11 189,9 189,7")
