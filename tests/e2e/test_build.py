"""A whole build as an author makes it: the sample add-on through the real windows, from the
project settings (splash and screenshot) and the location dialog to Build, the progress form,
the project-complete dialog and its distribution ZIP; the archives checked with unzip and 7z."""
import os
import random
import shutil
import subprocess
import unittest
import zipfile

from skykit_e2e import ROOT, InstallDir, drv, rect, shot, wait_exit
from test_builder_forms import edit_text, type_into

MAIN = ("Skykit Builder", "Skykit Builder")
SETTINGS = ("Skykit Builder", "SKKT Project settings")
BUILDING = ("Skykit Builder", "Building...")
DONE = ("TSkykitForm", "SKKT Project Builder")
FS2000_KEY = r"HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\7.0"
PANEL = 26
DLG_PANEL = 25


def win(path):
    return "Z:" + path.replace("/", "\\")


def reg(*args):
    subprocess.run(["wine", "reg", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def peers_accept(archive):
    """unzip -t and 7z t both find the archive sound."""
    u = subprocess.run(["unzip", "-t", archive], capture_output=True, text=True)
    s = subprocess.run(["7z", "t", archive], capture_output=True, text=True)
    return u.returncode == 0 and s.returncode == 0, u.stdout[-400:] + s.stdout[-400:]


def tree(folder):
    """Every file and folder below a folder, as ZIP names ("a/", "a/b.txt")."""
    names = set()
    for base, dirs, files in os.walk(folder):
        rel = os.path.relpath(base, folder)
        for d in dirs:
            names.add((d if rel == "." else f"{rel}/{d}") + "/")
        for f in files:
            names.add(f if rel == "." else f"{rel}/{f}")
    return names


class WholeBuild(unittest.TestCase):
    def setUp(self):
        self.inst = InstallDir()
        self.proc = None
        self.sim = os.path.join(self.inst.path, "FS2000")
        os.makedirs(self.sim)
        reg("add", FS2000_KEY, "/v", "path", "/d", win(self.sim) + "\\", "/f")
        self.addon = os.path.join(self.inst.path, "Heathrow addon")
        shutil.copytree(os.path.join(ROOT, "samples", "addon"), self.addon)
        # A larger terrain file, so that the progress form can be seen at work.
        rnd = random.Random(7)
        words = [bytes(rnd.randrange(256) for _ in range(rnd.randrange(3, 12))) for _ in range(600)]
        with open(os.path.join(self.addon, "scenery", "EGLL_mesh.bgl"), "wb") as f:
            f.write(b"".join(rnd.choice(words) for _ in range(5_000_000)))
        self.pics = os.path.join(ROOT, "samples", "pictures")

    def tearDown(self):
        reg("delete", FS2000_KEY, "/f")
        self.inst.stop(self.proc, "Kitpress.exe")
        self.inst.remove()

    def click(self, w, x, y, *how):
        self.assertEqual(drv("click", *w, x, y, *how)[0], 0, f"no window {w}")

    def choose_file(self, title, path):
        self.assertEqual(drv("wait", "#32770", title, 30000)[0], 0, f"no file dialog '{title}'")
        self.assertEqual(drv("settext", "#32770", title, 0, path)[0], 0)
        self.assertEqual(drv("press", "#32770", title, "Open")[0], 0)
        self.assertEqual(drv("gone", "#32770", title, 10000)[0], 0, f"'{title}' stayed open")

    def test_the_sample_addon_becomes_a_package_and_a_distribution_zip(self):
        self.proc = self.inst.start("Kitpress.exe")
        self.assertEqual(drv("wait", *MAIN, 120000)[0], 0, "no main window")
        drv("gone", "TSkykitForm", "*", 10000)

        type_into(MAIN, 20, PANEL + 40, "Heathrow Mini")
        type_into(MAIN, 220, PANEL + 40, "EGLL")
        type_into(MAIN, 20, PANEL + 128, "Ann Berg")
        type_into(MAIN, 212, PANEL + 128, "ann@example.com")

        # Project settings: the sample's splash and a screenshot, then the add-on folder.
        self.click(MAIN, 378, PANEL + 290)
        self.assertEqual(drv("wait", *SETTINGS, 20000)[0], 0, "no settings dialog")
        self.click(SETTINGS, 192, DLG_PANEL + 181)
        self.choose_file("Import splashscreen", win(os.path.join(self.pics, "splash.bmp")))
        self.click(SETTINGS, 39, DLG_PANEL + 56)
        self.choose_file("Please select a screenshot", win(os.path.join(self.pics, "screen1.jpg")))
        shot("build-settings")
        self.click(SETTINGS, 363, DLG_PANEL + 274)
        self.assertEqual(drv("gone", *SETTINGS, 10000)[0], 0)
        self.choose_file("Location of Addon files", win(self.addon) + "\\Setup.skb")
        self.assertEqual(edit_text(MAIN, 212, PANEL + 284), win(self.addon) + "\\")

        # Build: the progress form shows and both bars move.
        self.click(MAIN, 400, PANEL + 337)
        self.assertEqual(drv("wait", *BUILDING, 30000)[0], 0, "no progress form")
        seen, pictured = [], False
        while True:
            code, bars = drv("bars", *BUILDING)
            if code != 0 or len(bars) != 2:
                break
            seen.append(tuple(int(b) for b in bars))
            if not pictured and seen[-1][1] > 1:
                shot("build-progress")
                pictured = True
        self.assertTrue(any(1 < total < 10001 for _, total in seen), seen)
        self.assertGreater(len({total for _, total in seen}), 1, seen)   # the whole-batch bar moved

        code, out = drv("wait", *DONE, 120000)
        self.assertEqual(code, 0, "no project-complete dialog")
        shot("build-done")

        package = os.path.join(self.inst.path, "EGLL")
        setup_skb = os.path.join(package, "Setup.skb")
        for name in ("Setup.skb", "Kitsetup.ini", "Setup.exe", "Skin32.dll", "Unzeng.dll", "Screen1.jpg", "Splash.bmp"):
            self.assertTrue(os.path.exists(os.path.join(package, name)), name)
        ok, log = peers_accept(setup_skb)
        self.assertTrue(ok, log)
        with zipfile.ZipFile(setup_skb) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(set(z.namelist()), tree(self.addon))
            self.assertIn(".thumbs", z.namelist())                        # hidden files too
            self.assertEqual(z.getinfo("scenery/placeholder.dat").file_size, 0)
        kitsetup = self.inst.ini(os.path.join("EGLL", "Kitsetup.ini"))
        self.assertEqual(kitsetup.get("Title", "hl"), "Heathrow Mini")
        self.assertEqual(kitsetup.get("Authors", "2"), "Ann Berg")
        self.assertEqual(kitsetup.get("Splash", "Width"), "400")
        self.assertEqual(kitsetup.get("Addon", "Type"), "Scenery")

        # "Create Zip": the dialog packs the package directory and closes by itself.
        self.assertEqual(drv("settext", *DONE, 0, "EGLL-dist")[0], 0)
        self.assertEqual(drv("press", *DONE, "Create Zip")[0], 0)
        self.assertEqual(drv("gone", *DONE, 120000)[0], 0, "the dialog stayed open")
        dist = os.path.join(package, "EGLL-dist.zip")
        ok, log = peers_accept(dist)
        self.assertTrue(ok, log)
        with zipfile.ZipFile(dist) as z:
            names = z.namelist()
        self.assertNotIn("EGLL-dist.zip", names)                          # not itself
        for name in ("Setup.skb", "Kitsetup.ini", "Setup.exe", "Splash.bmp"):
            self.assertIn(name, names)

        # The main form is ready for the next project.
        for x, y in [(20, PANEL + 40), (220, PANEL + 40), (212, PANEL + 284)]:
            self.assertEqual(edit_text(MAIN, x, y), "")
        shot("build-main-after")
        self.click(MAIN, 472, PANEL + 337)
        self.assertTrue(wait_exit(self.proc, 30))


if __name__ == "__main__":
    unittest.main()
