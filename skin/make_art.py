#!/usr/bin/env python3
"""Draws the Skykit artwork with ImageMagick: the skin bitmaps of Skin32.dll and the
builder's splash picture. Usage: make_art.py OUTDIR

The theme: a clear sky. Light blue-grey form backgrounds that keep black text readable,
a deep blue title strip, silver-blue buttons that darken and sink when pressed.
"""
import os
import subprocess
import sys

OUT = sys.argv[1]
os.makedirs(OUT, exist_ok=True)
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_REG = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def im(name, *args):
    # BMP3: the classic 40-byte header every Windows bitmap loader takes, 24 bits a pixel.
    out = os.path.join(OUT, name + ".bmp")
    subprocess.run(["convert", *args, "-alpha", "off", "-type", "TrueColor", "BMP3:" + out], check=True)


# Plane silhouette as a polygon in a 16x16 box (nose up), scaled by the caller.
PLANE = [(8, 0), (9, 1), (9, 5), (15, 9), (15, 10), (9, 8), (9, 12), (11, 14), (11, 15), (8, 14),
         (5, 15), (5, 14), (7, 12), (7, 8), (1, 10), (1, 9), (7, 5), (7, 1)]


def plane(scale, dx, dy, rot=45):
    pts = " ".join(f"{dx + x * scale:.1f},{dy + y * scale:.1f}" for x, y in PLANE)
    return pts


# Form background: a quiet silver-grey, a shade lighter at the top, close to the grey that the
# forms give their radio buttons and check boxes so those sit on it without a visible box.
im("QForm", "-size", "514x368", "gradient:#d8dade-#c8cbd0",
   "(", "-size", "514x368", "xc:none", "-fill", "#ffffff22", "-draw", "rectangle 0,250 514,252", ")",
   "-composite")

# Title strip: deep blue with a sheen on its upper half and a dark lower edge.
im("top", "-size", "513x25", "gradient:#3b6fb8-#1c3c70",
   "-fill", "#ffffff30", "-draw", "rectangle 0,0 513,11",
   "-fill", "#9cc0ee", "-draw", "line 0,0 513,0",
   "-fill", "#0e2548", "-draw", "line 0,24 513,24")

# Title-strip icon: a white aircraft on the strip's blue.
im("Aircraft", "-size", "16x25", "gradient:#3b6fb8-#1c3c70", "-crop", "16x16+0+4", "+repage",
   "-fill", "#ffffff30", "-draw", "rectangle 0,0 16,7",
   "-fill", "white", "-stroke", "#dfe9f7", "-draw", "polygon " + plane(1, 0, 0))


def button(name, w, h, top, bottom, border, pressed):
    args = ["-size", f"{w}x{h}", f"gradient:{top}-{bottom}"]
    # Rounded outline; the corners take the form background so the button sits on it.
    args += ["(", "-size", f"{w}x{h}", "xc:#d2d4d8", ")", "+swap",
             "(", "-size", f"{w}x{h}", "xc:black", "-fill", "white",
             "-draw", f"roundrectangle 0,0 {w - 1},{h - 1} 5,5", ")", "-composite"]
    args += ["-fill", "none", "-stroke", border, "-draw", f"roundrectangle 0,0 {w - 1},{h - 1} 5,5"]
    if pressed:
        args += ["-stroke", "#00000040", "-draw", f"line 2,1 {w - 3},1", "-draw", f"line 1,2 1,{h - 3}"]
    else:
        args += ["-stroke", "#ffffffc0", "-draw", f"line 3,1 {w - 4},1"]
    im(name, *args)


# Image buttons: "b1" at rest, "b2" pressed (darker, lit from below, shadowed at the top).
button("b1", 65, 25, "#ffffff", "#b9cbe0", "#5a7699", False)
button("b2", 65, 25, "#9fb6d2", "#dbe5f0", "#3d5a80", True)
# Small buttons of the settings dialog: "bv1" blue, "bv2" warm (it clears a picture).
button("bv1", 72, 19, "#ffffff", "#bcd0e6", "#5a7699", False)
button("bv1a", 72, 19, "#a3bbd8", "#dde7f2", "#3d5a80", True)
button("bv2", 72, 19, "#fffaf4", "#e6cdb8", "#8f6a4f", False)
button("bv2a", 72, 19, "#d9b89e", "#f4e6da", "#6e4c33", True)

# Empty screenshot slot: a white folder.
im("mappe_hvid", "-size", "38x36", "xc:#d2d4d8",
   "-fill", "#ffffff", "-stroke", "#7d93b0", "-draw", "roundrectangle 4,8 33,30 2,2",
   "-draw", "polygon 4,10 4,6 14,6 17,9 33,9 33,11",
   "-stroke", "#b8c7d9", "-draw", "line 6,13 31,13")

# Filled slot: a small landscape picture.
im("ie", "-size", "38x36", "xc:#d2d4d8",
   "(", "-size", "28x22", "gradient:#7fb2ea-#d7e9fb", ")", "-geometry", "+5+7", "-composite",
   "-fill", "#4f8a3a", "-stroke", "none", "-draw", "polygon 5,29 14,19 21,25 26,21 33,29",
   "-fill", "#ffd84a", "-draw", "circle 26,12 28,12",
   "-fill", "none", "-stroke", "#3d5a80", "-draw", "rectangle 5,7 32,28")

# Warning marker: a yellow triangle with an exclamation mark.
im("Au", "-size", "16x16", "xc:#d2d4d8",
   "-fill", "#ffd21f", "-stroke", "#8a6d00", "-draw", "polygon 8,1 15,14 1,14",
   "-fill", "#3a2c00", "-stroke", "none", "-draw", "rectangle 7,5 8,10", "-draw", "rectangle 7,12 8,13")

# The builder's splash picture, 396 x 296.
im("splash", "-size", "396x296", "gradient:#1b4f9c-#9ccaf3",
   "(", "-size", "396x90", "gradient:#dfeefc-#f7fbff", ")", "-geometry", "+0+206", "-composite",
   "-fill", "#ffffff28", "-stroke", "none",
   "-draw", "ellipse 300,70 70,18 0,360", "-draw", "ellipse 80,120 90,16 0,360",
   "-fill", "#ffffff", "-stroke", "#c8daf0", "-draw", "polygon " + plane(7, 250, 40),
   "-stroke", "none", "-fill", "#16407a",
   "-font", FONT, "-pointsize", "36", "-annotate", "+24+250", "Skykit Builder",
   "-fill", "#1c3c70", "-font", FONT_REG, "-pointsize", "12",
   "-annotate", "+26+274", "Packages for Flight Simulator 98 and 2000 add-ons",
   "-fill", "#ffffffd0", "-pointsize", "11", "-annotate", "+26+34", "Version 1.0")

# Glyphs of the builder's flat buttons, 16 x 16 on magenta, which the buttons draw as
# transparent (the bottom-left pixel names the transparent colour).
K = "#ff00ff"
im("g_info", "-size", "16x16", "xc:" + K, "-fill", "#2f6fc0", "-stroke", "#1c3c70",
   "-draw", "circle 7.5,7.5 7.5,0.5", "-fill", "white", "-stroke", "none",
   "-draw", "rectangle 7,6 8,12", "-draw", "rectangle 7,3 8,4")
im("g_mail", "-size", "16x16", "xc:" + K, "-fill", "#fffdf2", "-stroke", "#6b5a2a",
   "-draw", "rectangle 1,3 14,12", "-fill", "none", "-draw", "polyline 1,3 7.5,9 14,3")
im("g_sites", "-size", "16x16", "xc:" + K, "-fill", "#5aa0e6", "-stroke", "#1c3c70",
   "-draw", "circle 7.5,7.5 7.5,0.5", "-fill", "#4f8a3a", "-stroke", "none",
   "-draw", "polygon 4,3 8,2 9,6 6,9 3,7", "-draw", "polygon 10,9 13,8 12,12 9,13")
im("g_explorer", "-size", "16x16", "xc:" + K, "-fill", "#f3c94a", "-stroke", "#8a6d00",
   "-draw", "polygon 1,4 6,4 7,5 14,5 14,13 1,13", "-fill", "#fbe08a", "-draw", "polygon 1,7 14,7 14,13 1,13")
im("g_help", "-size", "16x16", "xc:" + K, "-fill", "#ffd21f", "-stroke", "#8a6d00",
   "-draw", "circle 7.5,7.5 7.5,0.5", "-fill", "#3a2c00", "-stroke", "none",
   "-font", FONT, "-pointsize", "11", "-annotate", "+4+12", "?")
im("g_close", "-size", "16x16", "xc:" + K, "-stroke", "white", "-strokewidth", "2",
   "+antialias", "-draw", "line 4,4 11,11", "-draw", "line 11,4 4,11")


# Program icons: the aircraft on a blue tile (builder) and on a folder (explorer).
def icon(name, folder):
    sizes = []
    for s in (48, 32, 16):
        png = os.path.join(OUT, f"{name}{s}.png")
        k = s / 16.0
        args = ["convert", "-size", f"{s}x{s}", "xc:none"]
        if folder:
            args += ["-fill", "#f3c94a", "-stroke", "#8a6d00",
                     "-draw", f"polygon {1*k},{4*k} {6*k},{4*k} {7*k},{5*k} {15*k-1},{5*k} {15*k-1},{15*k-1} {1*k},{15*k-1}"]
        else:
            args += ["-fill", "#2e5fa8", "-stroke", "#1c3c70",
                     "-draw", f"roundrectangle 0,0 {s-1},{s-1} {3*k},{3*k}"]
        fill = "#1c3c70" if folder else "white"
        args += ["-fill", fill, "-stroke", "none", "-draw", "polygon " + plane(k * 0.8, 1.6 * k, 1.2 * k), png]
        subprocess.run(args, check=True)
        sizes.append(png)
    subprocess.run(["convert", *sizes, os.path.join(OUT, name + ".ico")], check=True)


icon("kitpress", False)
icon("kitlens", True)
