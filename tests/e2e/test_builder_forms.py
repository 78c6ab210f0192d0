"""The builder's project forms as a person uses them: the main form, the authors dialog,
the project settings dialog with a splash and a screenshot chosen in the platform's file
dialog, the add-on location dialog, the legal texts editor with its find-and-replace
dialog, and what the next start brings back. Every window is screenshotted."""
import os
import struct
import subprocess
import unittest

from skykit_e2e import (DLG_PANEL, FS2000_KEY, MAIN, PANEL, SETTINGS, InstallDir, choose_file, click, drv,
                        edit_text, picture, rect, reg, shot, texts, type_into, wait_exit, win_path)

AUTHORS = ("Skykit Builder", "Standard user")
SUBDIR_MESSAGE = ("Skykit Builder|Please type the name of the Kitforge subdirectory,~"
                  "where your Skykit project will be build.|exclamation")


def write_bitmap(path, w, h, rgb):
    stride = (w * 3 + 3) & ~3
    row = bytes(rgb[::-1]) * w + b"\0" * (stride - w * 3)
    header = struct.pack("<2sIHHI", b"BM", 54 + stride * h, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, stride * h, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + row * h)


def pixel(png, x, y):
    """The colour of one screen pixel of a screenshot, as (r, g, b)."""
    out = subprocess.run(["convert", png, "-crop", f"1x1+{x}+{y}", "-depth", "8", "rgb:-"],
                         capture_output=True, check=True).stdout
    return tuple(out[:3])


class BuilderForms(unittest.TestCase):
    def setUp(self):
        # A Wine server that the first captured driver call started would hold that call's
        # output open for as long as the builder runs: start one beforehand, output nowhere,
        # that stays a little while after its last program.
        subprocess.run(["wineserver", "-p30"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.inst = InstallDir()
        self.proc = None
        self.sim = os.path.join(self.inst.path, "FS2000")
        os.makedirs(self.sim)
        reg("add", FS2000_KEY, "/v", "path", "/d", win_path(self.sim) + "\\", "/f")

    def tearDown(self):
        reg("delete", FS2000_KEY, "/f")
        self.inst.stop(self.proc, "Kitpress.exe")
        self.inst.remove()

    def launch(self):
        self.proc = self.inst.start("Kitpress.exe")
        code, out = drv("wait", *MAIN, 60000)
        self.assertEqual(code, 0, "the main window did not appear")
        drv("gone", "TSkykitForm", "*", 10000)     # the splash
        return rect(out[0])

    def quit(self):
        click(MAIN, 472, PANEL + 337)
        self.assertTrue(wait_exit(self.proc, 30), "the builder did not end")

    def test_a_whole_project_is_entered_and_its_lasting_parts_come_back(self):
        addon = os.path.join(self.inst.path, "Harbour addon")
        pics = os.path.join(self.inst.path, "pictures")
        os.makedirs(addon)
        os.makedirs(pics)
        with open(os.path.join(addon, "harbour.bgl"), "wb") as f:
            f.write(b"scenery")
        splash = os.path.join(pics, "splash.bmp")
        write_bitmap(splash, 200, 100, (200, 40, 40))
        screenshot = os.path.join(pics, "view.jpg")
        with open(screenshot, "wb") as f:
            f.write(b"\xff\xd8" + b"j" * 2500)

        x0, y0, w0, h0 = self.launch()
        # Controls where the layout puts them (client coordinates).
        boxes = {tuple(int(v) for v in p[2].split()) for p in texts(MAIN) if p[0] == "Edit" and p[4] == "1"}
        for expected in [(16, PANEL + 32, 121, 21), (145, PANEL + 32, 48, 21), (210, PANEL + 36, 151, 15), (18, PANEL + 124, 173, 15),
                         (210, PANEL + 220, 156, 15), (208, PANEL + 280, 161, 21)]:
            self.assertIn(expected, boxes)

        type_into(MAIN, 20, PANEL + 40, "Harbour Scenery")
        type_into(MAIN, 150, PANEL + 40, "1.1")                         # the add-on's version
        type_into(MAIN, 220, PANEL + 40, "HARBOUR99")
        self.assertEqual(edit_text(MAIN, 220, PANEL + 40), "HARBOUR")   # seven characters at most
        click(MAIN, 444, PANEL + 150)                               # "Aircraft"

        # Developer 1 through the authors dialog.
        click(MAIN, 378, PANEL + 130)
        code, out = drv("wait", *AUTHORS, 20000)
        self.assertEqual(code, 0, "no authors dialog")
        type_into(AUTHORS, 20, 60, "Ann Berg")
        type_into(AUTHORS, 204, 60, "ann@example.com")
        shot("builder-authors")
        picture("builder-authors", AUTHORS)
        click(AUTHORS, 256, 104)                                    # OK
        self.assertEqual(drv("gone", *AUTHORS, 10000)[0], 0)
        self.assertEqual(edit_text(MAIN, 20, PANEL + 128), "Ann Berg")
        self.assertEqual(edit_text(MAIN, 212, PANEL + 128), "ann@example.com")
        shot("builder-main-filled")
        picture("builder-main", MAIN)

        # The project settings dialog: a splash and a screenshot from the platform's dialog.
        click(MAIN, 378, PANEL + 290)
        code, out = drv("wait", *SETTINGS, 20000)
        self.assertEqual(code, 0, "no settings dialog")
        sx, sy, sw, sh = rect(out[0])
        shot("builder-settings-empty")
        click(SETTINGS, 192, DLG_PANEL + 181)                       # "Import..."
        choose_file("Import splashscreen", win_path(splash))
        click(SETTINGS, 39, DLG_PANEL + 56)                         # slot 1
        choose_file("Please select a screenshot", win_path(screenshot))
        for y in (224, 242, 260):                                   # FS2004, FSX, Prepar3D by their labels
            click(SETTINGS, 60, DLG_PANEL + y + 6)
        png = shot("builder-settings-chosen")
        picture("builder-settings", SETTINGS)
        # The 200 x 100 splash is shown unscaled in the middle of the preview box.
        border = (sw - 411) // 2
        cx = sx + border + 163 + 113
        cy = sy + (sh - 327) - border + DLG_PANEL + 35 + 61
        self.assertEqual(pixel(png, cx, cy), (200, 40, 40))
        self.assertNotEqual(pixel(png, cx - 108, cy), (200, 40, 40))  # the margin left of it

        click(SETTINGS, 363, DLG_PANEL + 274)                       # "Next >>"
        self.assertEqual(drv("gone", *SETTINGS, 10000)[0], 0)
        # The add-on location dialog follows by itself, proposing "Setup.skb".
        code, _ = drv("wait", "#32770", "Location of Addon files", 30000)
        self.assertEqual(code, 0, "no location dialog")
        names = [p[1] for p in texts(("#32770", "Location of Addon files")) if p[0] == "Edit"]
        self.assertIn("Setup.skb", names)
        shot("builder-location")
        choose_file("Location of Addon files", win_path(addon) + "\\Setup.skb")
        self.assertEqual(edit_text(MAIN, 212, PANEL + 284), win_path(addon) + "\\")

        ini = self.inst.ini()
        self.assertEqual(ini.get("Flightsim", "Version"), "Flightsimulator 2000")
        self.assertEqual(ini.get("Flightsim", "Simulators"), "fs2000,fs2004,fsx,p3d")
        self.assertEqual(ini.get("Temp", "One"), win_path(screenshot))
        self.assertEqual(ini.get("Temp", "Splash"), win_path(splash))
        self.assertEqual((ini.get("Temp", "Splash_Width"), ini.get("Temp", "Splash_Height")), ("200", "100"))
        self.assertEqual((ini.get("Authors", "Name1"), ini.get("Authors", "Email1")), ("Ann Berg", "ann@example.com"))

        # "Note": the legal texts editor over the client panel, the standard terms, a replace.
        click(MAIN, 328, PANEL + 337)
        type_into(MAIN, 30, PANEL + 40, "Harbour scenery for FS2000 by Ann Berg")
        click(MAIN, 400, PANEL + 337)                               # "Standard"
        terms = edit_text(MAIN, 30, PANEL + 160)
        self.assertTrue(terms.startswith("TERMS OF USE"), terms[:40])
        self.assertIn("add-on", terms)
        shot("builder-note")
        picture("builder-legal", MAIN)
        click(MAIN, 328, PANEL + 337)                               # "Replace"
        code, _ = drv("wait", "#32770", "Replace", 20000)
        self.assertEqual(code, 0, "no replace dialog")
        drv("settext", "#32770", "Replace", 0, "add-on")
        drv("settext", "#32770", "Replace", 1, "scenery")
        shot("builder-replace")
        self.assertEqual(drv("press", "#32770", "Replace", "Replace All")[0], 0)
        terms = edit_text(MAIN, 30, PANEL + 160)
        self.assertNotIn("add-on", terms)
        self.assertIn("This scenery for Microsoft Flight Simulator", terms)
        self.assertEqual(edit_text(MAIN, 30, PANEL + 40), "Harbour scenery for FS2000 by Ann Berg")
        drv("press", "#32770", "Replace", "Cancel")
        self.assertEqual(drv("gone", "#32770", "Replace", 10000)[0], 0)
        click(MAIN, 472, PANEL + 337)                               # "OK" of the editor
        self.assertEqual(edit_text(MAIN, 20, PANEL + 40), "Harbour Scenery")

        self.quit()
        ini = self.inst.ini()
        self.assertEqual(ini.get("Addon", "Type"), "Aircraft")
        self.assertFalse(ini.has_option("Temp", "One") or ini.has_option("Temp", "Splash"))

        # The next start: authors and type come back; title, subdirectory and location do not.
        self.launch()
        self.assertEqual(edit_text(MAIN, 20, PANEL + 128), "Ann Berg")
        self.assertEqual(edit_text(MAIN, 212, PANEL + 128), "ann@example.com")
        for x, y in [(20, PANEL + 40), (220, PANEL + 40), (212, PANEL + 284)]:
            self.assertEqual(edit_text(MAIN, x, y), "")
        shot("builder-main-restarted")
        self.quit()
        self.assertEqual(self.inst.ini().get("Addon", "Type"), "Aircraft")  # "Aircraft" was selected

    def test_settings_need_a_subdirectory_and_a_bitmap(self):
        self.launch()
        click(MAIN, 378, PANEL + 290)
        code, out = drv("msgbox", 20000)
        self.assertEqual(code, 0, "no message")
        self.assertEqual(out[0], SUBDIR_MESSAGE)
        self.assertEqual(edit_text(MAIN, 20, PANEL + 40), "Skykit Project 1.0")
        self.assertEqual(drv("wait", *SETTINGS, 500)[0], 1)

        type_into(MAIN, 220, PANEL + 40, "TEST")
        click(MAIN, 378, PANEL + 290)
        self.assertEqual(drv("wait", *SETTINGS, 20000)[0], 0)
        notes = os.path.join(self.inst.path, "notes.bmp")
        with open(notes, "w") as f:
            f.write("not a picture")
        big = os.path.join(self.inst.path, "big.bmp")
        write_bitmap(big, 501, 375, (0, 0, 255))
        click(SETTINGS, 192, DLG_PANEL + 181)
        choose_file("Import splashscreen", win_path(notes))
        code, out = drv("msgbox", 20000)
        self.assertEqual(code, 0)
        self.assertIn("Bitmap image is not valid", out[0])
        click(SETTINGS, 192, DLG_PANEL + 181)
        choose_file("Import splashscreen", win_path(big))
        code, out = drv("msgbox", 20000)
        self.assertEqual(code, 0)
        self.assertEqual(out[0], "Skykit Builder|This image is to wide. Maximum width is 500 pixels.~"
                                 "Please resize current image, or select another.|exclamation")
        shot("builder-settings-rejected")
        click(SETTINGS, 282, DLG_PANEL + 274)                       # Cancel
        self.assertEqual(drv("gone", *SETTINGS, 10000)[0], 0)
        self.assertFalse(self.inst.ini().has_section("Temp"))

        # The editor's "About" shows the dialog library's about box.
        click(MAIN, 328, PANEL + 337)                               # "Note"
        click(MAIN, 48, PANEL + 337)                                # "About"
        code, _ = drv("wait", "*", "About Skykit", 20000)
        self.assertEqual(code, 0, "no about box")
        shot("builder-note-about")
        drv("close", "*", "About Skykit")
        self.assertEqual(drv("gone", "*", "About Skykit", 10000)[0], 0)
        click(MAIN, 472, PANEL + 337)                               # "OK" of the editor
        self.quit()


if __name__ == "__main__":
    unittest.main()
