"""A release cycle as a person lives it: version 1.0 installed, the person's notes written into
its readme, version 1.1 installed over it (it drops a texture), the add-on removed through its
entry in the list of programs; once through the windows, once with the silent switches. And
the one-file download, which must leave nothing of itself in the temporary folder."""
import os
import shutil
import subprocess
import tempfile
import unittest

from skykit_e2e import DIST, drv, picture, shot, wait_exit, wine
from test_installer import (CANCEL, NEXT, SCENERY_CFG, FsRegistration, entries, last_page, make_package, reg,
                            remove_entries, wake_wine, windows_path)

TITLE = "Heathrow EGLL"
SETUP = ("Skykit Setup", TITLE + " Setup")
NOTES = b"readme of 1.0\r\nMy notes: taxi via A, park at stand 22.\r\n"


def release(folder, version, files):
    """A package of the add-on at this version: the hand-made package's pages, these files."""
    addon = folder + "-files"
    for rel, data in files.items():
        os.makedirs(os.path.dirname(os.path.join(addon, rel)), exist_ok=True)
        with open(os.path.join(addon, rel), "wb") as f:
            f.write(data)
    make_package(folder, addon, title=TITLE, version=version)
    os.remove(os.path.join(folder, "Splash.bmp"))   # straight to the wizard


V10 = {"readme.txt": b"readme of 1.0\r\n", "scenery/egll.bgl": bytes(range(256)) * 40, "texture/egll.bmp": b"BM" + bytes(3000)}
V11 = {"readme.txt": b"readme of 1.1\r\n", "scenery/egll.bgl": bytes(reversed(range(256))) * 40}


def through_pages(tc, program, answer=None, shots=""):
    """Starts the program (Setup or a download that starts it) and goes through Setup's pages
    as a person does; returns the last page's text and the question asked on the way, if any."""
    tc.proc = subprocess.Popen(["wine", program], cwd=tempfile.gettempdir(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    tc.assertEqual(drv("wait", *SETUP, 120000)[0], 0, "the wizard did not appear")
    for _ in range(4):   # welcome, description, terms (Accept), destination
        drv("click", *SETUP, *NEXT)
    if shots:
        shot(shots + "-ready")
        picture("setup-update", SETUP)
    drv("click", *SETUP, *NEXT)   # Install
    question = ""
    if answer:
        if shots:
            drv("wait", "#32770", TITLE + " Setup", 60000)
            shot(shots + "-question")
            picture("setup-update-question", ("#32770", TITLE + " Setup"))
        code, lines = drv("boxwith", 60000, "since version", answer)
        tc.assertEqual(code, 0, "no question about the changed file")
        question = lines[0]
    memos = last_page(SETUP)
    tc.assertTrue(memos, "no last page")
    if shots:
        shot(shots + "-finish")
    drv("click", *SETUP, *CANCEL)   # Finish
    tc.assertTrue(wait_exit(tc.proc, 30), "Setup did not end")
    tc.assertEqual(tc.proc.returncode, 0)
    return memos[0]["text"], question


class WithSimulator(unittest.TestCase):
    """A Flight Simulator 2000 folder with its scenery library, registered in the prefix."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="skykit-release-")
        self.fs = os.path.join(self.tmp, "FS2000")
        os.makedirs(os.path.join(self.fs, "Addon Scenery"))
        with open(os.path.join(self.fs, "scenery.cfg"), "wb") as f:
            f.write(SCENERY_CFG)
        self.target = os.path.join(self.fs, "Addon Scenery", TITLE)
        self.proc = None
        wake_wine()
        self.registration = FsRegistration(windows_path(self.fs))

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            for exe in ("Setup.exe", "Uninstall.exe", "EGLL.exe"):
                drv("kill", exe)
            wait_exit(self.proc, 10)
        self.registration.restore()
        remove_entries(TITLE)
        shutil.rmtree(self.tmp, ignore_errors=True)


class ReleaseCycle(WithSimulator):
    def setUp(self):
        super().setUp()
        release(os.path.join(self.tmp, "v10"), "1.0", V10)
        release(os.path.join(self.tmp, "v11"), "1.1", V11)

    def wizard(self, version, answer=None, shots=""):
        return through_pages(self, os.path.join(self.tmp, version, "Setup.exe"), answer, shots)

    def entry_command(self, value):
        (key,) = entries(TITLE)
        q = reg("query", key, "/v", value).stdout
        command = q.split("REG_SZ", 1)[1].strip()
        exe, args = command[1:].split('" ', 1)
        # As Windows starts it: the record's path is the rest of the line, spaces and all.
        switches, record = args.split("/U=", 1)
        return [exe, *switches.split(), "/U=" + record]

    def uninstaller_folder(self):
        exe = self.entry_command("UninstallString")[0]
        return os.path.join(os.environ["WINEPREFIX"], "drive_c", *exe.split("\\")[1:-1])

    def check_removed(self, data):
        with open(os.path.join(self.target, "readme.txt"), "rb") as f:
            self.assertEqual(f.read(), NOTES)   # the person's notes, byte for byte
        self.assertEqual(sorted(os.listdir(self.target)), ["readme.txt"])
        self.assertEqual(entries(TITLE), [])
        # Nothing is left in the uninstaller's folder but the running uninstaller, which
        # Windows removes, with the folder, at its next start.
        self.assertEqual(os.listdir(data), ["Uninstall.exe"])
        subprocess.run(["wineboot", "-r"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        self.assertFalse(os.path.exists(data))

    def write_notes(self):
        with open(os.path.join(self.target, "readme.txt"), "wb") as f:
            f.write(NOTES)

    def test_through_the_windows(self):
        self.assertIn("3 files were installed", self.wizard("v10")[0])
        self.write_notes()
        text, question = self.wizard("v11", answer="Yes", shots="release-update")
        self.assertIn("You changed readme.txt since version 1.0 of " + TITLE + " was installed.", question)
        self.assertIn("Yes replaces it with the file of version 1.1 and keeps a copy of yours", question)
        self.assertIn("2 files were installed (", text)
        self.assertIn("texture\\egll.bmp", text.split("no longer part of", 1)[1])
        data = self.uninstaller_folder()
        self.proc = subprocess.Popen(["wine", *self.entry_command("UninstallString")], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL)
        self.assertEqual(drv("boxwith", 120000, "from your computer?", "Yes")[0], 0)
        drv("wait", "#32770", TITLE + " Uninstall", 60000)
        shot("release-uninstalled")
        picture("uninstall-done", ("#32770", TITLE + " Uninstall"))
        lines = drv("boxwith", 120000, "was removed", "OK")[1]
        self.assertIn("readme.txt", lines[0].split("put back", 1)[1])
        self.assertTrue(wait_exit(self.proc, 30))
        self.assertEqual(self.proc.returncode, 0)
        self.check_removed(data)

    def test_silently(self):
        self.assertEqual(wine(os.path.join(self.tmp, "v10", "Setup.exe"), "/S").returncode, 0)
        self.write_notes()
        self.assertEqual(wine(os.path.join(self.tmp, "v11", "Setup.exe"), "/S").returncode, 0)
        data = self.uninstaller_folder()
        self.assertEqual(wine(*self.entry_command("QuietUninstallString")).returncode, 0)
        self.check_removed(data)


class Download(WithSimulator):
    """The builder's one-file download, made by Kitzip as the builder makes it, run twice:
    through its windows and with /S. Its unpacked package goes when Setup has ended."""

    def setUp(self):
        super().setUp()
        package = os.path.join(self.tmp, "EGLL")
        release(package, "1.0", V10)
        kitzip = os.path.join(DIST, "Kitzip.exe")
        zipped = os.path.join(self.tmp, "EGLL.zip")
        subprocess.run(["wine", kitzip, "a", "-r", windows_path(zipped), "*.*"], cwd=package, timeout=300,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        r = wine(kitzip, "sfx", "-a", "-o", "always", "-c", TITLE, "-d", "%TEMP%\\EGLL", "-r", "Setup.exe",
                 windows_path(zipped))
        self.assertEqual(r.returncode, 0, r.stdout)
        self.exe = os.path.join(self.tmp, "EGLL.exe")
        # The prefix's %TEMP%, as Wine gives it to its programs.
        temp = wine("cmd", "/c", "echo", "%TEMP%").stdout.strip().splitlines()[-1]
        self.temp = os.path.join(os.environ["WINEPREFIX"], "drive_c", *temp.split("\\")[1:])
        shutil.rmtree(os.path.join(self.temp, "EGLL"), ignore_errors=True)

    def test_twice_leaves_nothing_in_temp(self):
        before = set(os.listdir(self.temp))
        through_pages(self, self.exe)   # the download's exit code is Setup's
        self.assertTrue(os.path.isfile(os.path.join(self.target, "readme.txt")))
        self.assertEqual(set(os.listdir(self.temp)) - before, set())
        self.assertEqual(wine(self.exe, "/S").returncode, 0)
        self.assertEqual(set(os.listdir(self.temp)) - before, set())


if __name__ == "__main__":
    unittest.main()
