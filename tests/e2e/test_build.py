"""A whole build as an author makes it: the sample add-on through the real windows, from the
project settings (splash and screenshot) and the location dialog to Build, the progress form,
the project-complete dialog and its distribution ZIP; the archives checked with unzip and 7z."""
import os
import random
import shutil
import subprocess
import unittest
import zipfile

from skykit_e2e import (DLG_PANEL, DONE, FS2000_KEY, MAIN, PANEL, ROOT, SETTINGS, SHOTS, Builder, InstallDir, drv,
                        picture, reg, shot, wait_exit, win_path)


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


class SampleProject(unittest.TestCase):
    """A fresh install directory, a simulator folder registered, the sample add-on and pictures."""

    def setUp(self):
        self.inst = InstallDir()
        self.proc = None
        self.sim = os.path.join(self.inst.path, "FS2000")
        os.makedirs(self.sim)
        # As the simulator's installer leaves it: no trailing backslash.
        reg("add", FS2000_KEY, "/v", "path", "/d", win_path(self.sim), "/f")
        self.addon = os.path.join(self.inst.path, "Heathrow addon")
        shutil.copytree(os.path.join(ROOT, "samples", "addon"), self.addon)
        self.pics = os.path.join(ROOT, "samples", "pictures")

    def tearDown(self):
        reg("delete", FS2000_KEY, "/f")
        self.inst.stop(self.proc, "Kitpress.exe")
        self.inst.remove()


class WholeBuild(SampleProject):
    def setUp(self):
        super().setUp()
        # A larger terrain file, so that the progress form can be seen at work.
        rnd = random.Random(7)
        words = [bytes(rnd.randrange(256) for _ in range(rnd.randrange(3, 12))) for _ in range(600)]
        with open(os.path.join(self.addon, "scenery", "EGLL_mesh.bgl"), "wb") as f:
            f.write(b"".join(rnd.choice(words) for _ in range(5_000_000)))

    def test_the_sample_addon_becomes_a_package_and_a_distribution_zip(self):
        b = Builder(self.fail)
        self.proc = self.inst.start("Kitpress.exe")
        b.wait_main()
        b.enter_project("Heathrow Mini", "EGLL", "Ann Berg", "ann@example.com")
        b.settings(os.path.join(self.pics, "splash.bmp"), os.path.join(self.pics, "screen1.jpg"), "build-settings")
        b.locate(self.addon)
        self.assertEqual(b.edit_text(MAIN, 212, PANEL + 284), win_path(self.addon) + "\\")

        # Build: the progress form shows and both bars move.
        seen = b.build(progress_shot="build-progress")
        self.assertTrue(any(1 < total < 10001 for _, total in seen), seen)
        self.assertGreater(len({total for _, total in seen}), 1, seen)   # the whole-batch bar moved
        if b.progress_rect:
            picture("builder-building", None, os.path.join(SHOTS, "build-progress.png"), b.progress_rect)
        shot("build-done")
        picture("builder-complete", DONE)

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
        b.create_zip("EGLL-dist")
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
            self.assertEqual(b.edit_text(MAIN, x, y), "")
        shot("build-main-after")
        b.quit()
        self.assertTrue(wait_exit(self.proc, 30))

    def test_a_second_release_is_exactly_the_folder_as_it_is_now(self):
        b = Builder(self.fail)
        self.proc = self.inst.start("Kitpress.exe")
        b.wait_main()
        b.click(MAIN, 100, PANEL + 121)               # the frame's edge above the first name box
        drv("key", *MAIN, 0x51)
        self.assertEqual(b.edit_text(MAIN, 20, PANEL + 128), "q")
        b.enter_project("Heathrow Mini", "EGLL", "Ann Berg", "ann@example.com")
        b.type_into(MAIN, 20, PANEL + 176, "Bob Cole")                    # a second developer
        b.settings(os.path.join(self.pics, "splash.bmp"), os.path.join(self.pics, "screen1.jpg"))
        b.locate(self.addon)
        b.build()
        b.create_zip("EGLL-v1", download=True)  # leaving clears the form
        package = os.path.join(self.inst.path, "EGLL")

        # The next release: reopened from the recent packages of the right-button menu.
        b.click(MAIN, 300, PANEL + 250, "right")
        shot("rebuild-menu")
        self.assertEqual(drv("menu", 5000, "down", "down", "down", "enter")[0], 0)
        self.assertEqual([b.edit_text(MAIN, x, PANEL + y) for x, y in [(20, 40), (220, 40), (212, 284)]],
                         ["Heathrow Mini", "EGLL", win_path(self.addon) + "\\"])
        shot("rebuild-reopened")

        # The author deletes a file, renames one, removes a developer and clears the splash.
        os.remove(os.path.join(self.addon, "scenery", "EGLL_Taxiways.bgl"))
        os.rename(os.path.join(self.addon, "readme.txt"), os.path.join(self.addon, "liesmich.txt"))
        b.type_into(MAIN, 20, PANEL + 176, "")
        b.click(MAIN, 378, PANEL + 290)
        self.assertEqual(drv("wait", *SETTINGS, 20000)[0], 0)
        shot("rebuild-settings-reopened")                               # the package's splash shows
        b.click(SETTINGS, 276, DLG_PANEL + 181)                          # "Clear image"
        b.click(SETTINGS, 363, DLG_PANEL + 274)                          # "Next >>"
        b.locate(self.addon)
        b.build()
        b.create_zip("EGLL-v2")

        with zipfile.ZipFile(os.path.join(package, "Setup.skb")) as z:
            self.assertEqual(set(z.namelist()), tree(self.addon))
        kitsetup = self.inst.ini(os.path.join("EGLL", "Kitsetup.ini"))
        self.assertFalse(kitsetup.has_section("Splash"))
        self.assertEqual(dict(kitsetup["Authors"]), {"2": "Ann Berg", "1": "ann@example.com"})
        files = set(os.listdir(package))
        self.assertEqual(files, {"Setup.skb", "Kitsetup.ini", "Setup.exe", "Skin32.dll", "Unzeng.dll",
                                 "Screen1.jpg", "EGLL-v1.exe", "EGLL-v2.zip"})
        for release in ("EGLL-v1.exe", "EGLL-v2.zip"):                  # the download is a ZIP behind its stub
            ok, log = peers_accept(os.path.join(package, release))
            self.assertTrue(ok, log)
        with zipfile.ZipFile(os.path.join(package, "EGLL-v2.zip")) as z:  # no earlier release inside
            self.assertEqual(set(z.namelist()), files - {"EGLL-v1.exe", "EGLL-v2.zip"})

        # The location dialog's own offer, the simulator's folder, is refused.
        b.type_into(MAIN, 220, PANEL + 40, "EGLL")
        b.click(MAIN, 378, PANEL + 290)
        self.assertEqual(drv("wait", *SETTINGS, 20000)[0], 0)
        b.click(SETTINGS, 363, DLG_PANEL + 274)
        self.assertEqual(drv("wait", "#32770", "Location of Addon files", 30000)[0], 0)
        self.assertEqual(drv("press", "#32770", "Location of Addon files", "Open")[0], 0)
        self.assertEqual(b.edit_text(MAIN, 212, PANEL + 284), win_path(self.sim) + "\\")
        b.click(MAIN, 400, PANEL + 337)
        out = drv("msgbox", 10000)[1]
        self.assertTrue(out and out[0].startswith("Skykit Builder|Can not build FS2000. Please choose a"), out)
        self.assertEqual(set(os.listdir(package)), files)                 # nothing was touched
        b.quit()
        self.assertTrue(wait_exit(self.proc, 30))


if __name__ == "__main__":
    unittest.main()
