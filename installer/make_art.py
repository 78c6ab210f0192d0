#!/usr/bin/env python3
"""Draws the installer's own pictures with ImageMagick. Usage: make_art.py OUTDIR

  setup.ico    the package installer: an add-on box with the aircraft on its lid
  sfx.ico      the self-extractor: the same box with an arrow coming out of it
  banner.bmp   the picture on the installer's first page when a package has no splash
  x_close.bmp  the close glyph of the installer's title strip (magenta is transparent)
"""
import os
import subprocess
import sys

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_REG = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

PLANE = [(8, 0), (9, 1), (9, 5), (15, 9), (15, 10), (9, 8), (9, 12), (11, 14), (11, 15), (8, 14),
         (5, 15), (5, 14), (7, 12), (7, 8), (1, 10), (1, 9), (7, 5), (7, 1)]


def plane(scale, dx, dy):
    return " ".join(f"{dx + x * scale:.1f},{dy + y * scale:.1f}" for x, y in PLANE)


def bmp(name, *args):
    out = os.path.join(OUT, name + ".bmp")
    subprocess.run(["convert", *args, "-alpha", "off", "-type", "TrueColor", "BMP3:" + out], check=True)


def icon(name, arrow):
    pngs = []
    for s in (48, 32, 16):
        k = s / 16.0
        png = os.path.join(OUT, f"{name}{s}.png")
        args = ["convert", "-size", f"{s}x{s}", "xc:none",
                # the box: front face and lid
                "-fill", "#c98e3c", "-stroke", "#6b4515", "-strokewidth", str(max(1, k / 2)),
                "-draw", f"polygon {1*k},{6*k} {15*k-1},{6*k} {15*k-1},{15*k-1} {1*k},{15*k-1}",
                "-fill", "#e6b466",
                "-draw", f"polygon {1*k},{6*k} {4*k},{3*k} {15*k-1},{3*k} {15*k-1},{6*k}"]
        if arrow:
            args += ["-fill", "#2e8b3a", "-stroke", "#14501c",
                     "-draw", f"polygon {6*k},{8*k} {10*k},{8*k} {10*k},{11*k} {12*k},{11*k} {8*k},{15*k-1} {4*k},{11*k} {6*k},{11*k}"]
        else:
            args += ["-fill", "#2e5fa8", "-stroke", "none",
                     "-draw", "polygon " + plane(k * 0.44, 4.5 * k, 6.9 * k)]
        args.append(png)
        subprocess.run(args, check=True)
        pngs.append(png)
    subprocess.run(["convert", *pngs, os.path.join(OUT, name + ".ico")], check=True)


icon("setup", False)
icon("sfx", True)

# A sky with a few clouds, the aircraft climbing through it, and the words "Add-on Setup".
bmp("banner", "-size", "240x180", "gradient:#4f8fdc-#cfe3f7",
    "-fill", "#ffffffb0", "-stroke", "none",
    "-draw", "ellipse 60,130 50,14 0,360", "-draw", "ellipse 95,122 36,12 0,360",
    "-draw", "ellipse 190,150 44,12 0,360", "-draw", "ellipse 200,100 30,8 0,360",
    "-fill", "white", "-stroke", "#1c3c70", "-strokewidth", "1",
    "-draw", "polygon " + plane(4.2, 140, 46),
    "-stroke", "none", "-fill", "#1c3c70", "-font", FONT, "-pointsize", "20",
    "-annotate", "+14+34", "Add-on Setup",
    "-font", FONT_REG, "-pointsize", "10", "-fill", "#1c3c70",
    "-annotate", "+15+50", "Flight Simulator 98 and 2000",
    "-fill", "none", "-stroke", "#1c3c70", "-draw", "rectangle 0,0 239,179")

bmp("x_close", "-size", "16x16", "xc:#ff00ff", "-stroke", "white", "-strokewidth", "2", "+antialias",
    "-draw", "line 4,4 11,11", "-draw", "line 11,4 4,11")
