"""Kitbuild, the Build on the command line: one project built through the builder's windows and
with Kitbuild gives the same package, ZIP and reopened project; the help's release script runs as
it stands there; every exit code, Ctrl+C included, tells the truth and leaves the package alone."""
import configparser
import html
import os
import random
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

from skykit_e2e import DIST, MAIN, PANEL, ROOT, Builder, InstallDir, drv, wait_exit, win_path
from test_build import SampleProject, peers_accept, tree

PICS = os.path.join(ROOT, "samples", "pictures")


def start(inst, *args, cwd=None, env=None):
    """Kitbuild of an install directory, started; its output goes to files (see skykit_e2e.wine)."""
    out, err = tempfile.TemporaryFile("w+"), tempfile.TemporaryFile("w+")
    # A group of its own: Ctrl+C on a console reaches the group, and so does the test's.
    p = subprocess.Popen(["wine", inst.file("Kitbuild.exe"), *args], cwd=cwd, env=env, stdout=out, stderr=err,
                         start_new_session=True)
    p.out, p.err = out, err
    return p


def finish(p, timeout=300):
    p.wait(timeout=timeout)
    with p.out, p.err:
        p.out.seek(0), p.err.seek(0)
        return p.returncode, p.out.read(), p.err.read()


def said(p):
    """What a running Kitbuild has printed so far."""
    p.out.seek(0)
    return p.out.read()


def kitbuild(inst, *args, cwd=None):
    return finish(start(inst, *args, cwd=cwd))


def keys(path):
    """Kitsetup.ini key for key, in the file's order."""
    cp = configparser.ConfigParser(interpolation=None)
    cp.optionxform = str
    with open(path, encoding="latin-1") as f:
        cp.read_string(f.read())
    return [(s, k, v) for s in cp.sections() for k, v in cp[s].items()]


def members(archive):
    with zipfile.ZipFile(archive) as z:
        return [(i.filename, i.CRC, i.file_size, i.compress_type) for i in z.infolist()]


def snapshot(folder):
    result = {}
    for name in os.listdir(folder):
        with open(os.path.join(folder, name), "rb") as f:
            result[name] = f.read()
    return result


class SameEitherWay(SampleProject):
    def reopened(self, b):
        """The main window's boxes after reopening the most recent package."""
        b.click(MAIN, 300, PANEL + 250, "right")
        self.assertEqual(drv("menu", 5000, "down", "down", "down", "enter")[0], 0)
        return [t[1] for t in b.texts(MAIN) if t[0] == "Edit"]

    def test_one_project_through_the_windows_and_with_kitbuild(self):
        b = Builder(self.fail)
        self.proc = self.inst.start("Kitpress.exe")
        b.wait_main()
        b.enter_project("Heathrow Mini", "EGLL", "Ann Berg", "ann@example.com")
        b.type_into(MAIN, 160, PANEL + 40, "1.0")                          # the version
        b.click(MAIN, 424, PANEL + 152)                                    # Aircraft
        b.settings(os.path.join(self.pics, "splash.bmp"), os.path.join(self.pics, "screen1.jpg"))
        b.locate(self.addon)
        b.build()
        b.create_zip("EGLL-dist")
        window = os.path.join(self.inst.path, "EGLL")

        # The same project with Kitbuild, from the package the window made, into a folder of the
        # same name elsewhere.
        work = os.path.join(self.inst.path, "script")
        os.makedirs(work)
        script = os.path.join(work, "EGLL")
        code, out, err = kitbuild(self.inst, win_path(window), win_path(self.addon), "-o", win_path(script),
                                  "-z", win_path(os.path.join(work, "EGLL-dist.zip")))
        self.assertEqual((code, "Kitbuild:" in err), (0, False), out + err)
        self.assertIn("Packing the add-on folder", out)

        self.assertEqual(set(os.listdir(script)), set(os.listdir(window)) - {"EGLL-dist.zip"})
        self.assertEqual(members(os.path.join(script, "Setup.skb")), members(os.path.join(window, "Setup.skb")))
        self.assertEqual(keys(os.path.join(script, "Kitsetup.ini")), keys(os.path.join(window, "Kitsetup.ini")))
        self.assertIn(("Addon", "Type", "Aircraft"), keys(os.path.join(script, "Kitsetup.ini")))
        for name in set(os.listdir(script)) - {"Setup.skb", "Kitsetup.ini"}:
            with open(os.path.join(script, name), "rb") as a, open(os.path.join(window, name), "rb") as w:
                self.assertEqual(a.read(), w.read(), name)
        self.assertEqual(members(os.path.join(work, "EGLL-dist.zip")), members(os.path.join(window, "EGLL-dist.zip")))

        # Reopened in the builder, either package brings back the same project.
        through_window = self.reopened(b)
        self.assertIn("Heathrow Mini", through_window)
        os.rename(window, window + ".window")
        shutil.copytree(script, window)
        self.assertEqual(self.reopened(b), through_window)
        b.quit()
        self.assertTrue(wait_exit(self.proc, 30))


def help_script():
    """The release script of the help, as the help shows it."""
    with open(os.path.join(DIST, "Help", "releases.htm"), encoding="cp1252") as f:
        page = f.read()
    return html.unescape(re.search(r'<pre id="release-script">\r?\n(.*?)</pre>', page, re.S).group(1))


class ReleaseScript(unittest.TestCase):
    def setUp(self):
        self.inst = InstallDir()
        self.work = os.path.join(self.inst.path, "releases")
        self.addon = os.path.join(self.work, "Heathrow addon")
        shutil.copytree(os.path.join(ROOT, "samples", "addon"), self.addon)
        os.makedirs(os.path.join(self.work, "first"))
        with open(os.path.join(self.work, "first", "Kitsetup.ini"), "w") as f:
            f.write("[Flightsim]\nVersion=Flightsimulator 2000\n[Addon]\nType=Scenery\nCondition=Freeware\n"
                    "[Title]\nhl=Heathrow Mini\n")
        with open(os.path.join(self.work, "about.txt"), "w") as f:
            f.write("Heathrow for FS2000\nwith night lighting\n")

    def tearDown(self):
        self.inst.remove()

    def run_here(self, *args, inst=None):
        return kitbuild(inst or self.inst, *args, cwd=self.work)

    def test_release_script_of_the_help_and_every_exit_code(self):
        # Release 1.0, from a Kitsetup.ini written by hand.
        code, out, err = self.run_here(r"first\Kitsetup.ini", "Heathrow addon", "-v", "1.0", "-o", "Heathrow 1.0",
                                       "--splash", win_path(os.path.join(PICS, "splash.bmp")), "--screenshot", "1",
                                       win_path(os.path.join(PICS, "screen1.jpg")), "--developer", "1", "Ann Berg",
                                       "--description", "about.txt")
        self.assertEqual((code, "Kitbuild:" in err), (0, False), out + err)
        self.assertRegex(out, r"Checking the project\n(.*\n)*Packing the add-on folder\n(.*\n)*  100%\n")
        v10 = os.path.join(self.work, "Heathrow 1.0")
        self.assertEqual(set(os.listdir(v10)), {"Setup.skb", "Kitsetup.ini", "Setup.exe", "Skin32.dll", "Unzeng.dll",
                                                "Splash.bmp", "Screen1.jpg", "File_id.diz"})
        with open(os.path.join(v10, "File_id.diz"), "rb") as f:
            self.assertEqual(f.read(), b"Heathrow for FS2000\r\nwith night lighting\r\n")

        # The add-on changes; the script of the help makes release 1.1.
        os.remove(os.path.join(self.addon, "readme.txt"))
        with open(os.path.join(self.addon, "scenery", "new.bgl"), "wb") as f:
            f.write(bytes(range(256)) * 64)
        with open(os.path.join(self.work, "release.bat"), "w", newline="\r\n") as f:
            f.write(help_script())
        env = dict(os.environ, SKYKIT=win_path(self.inst.path.rstrip("/")))
        with tempfile.TemporaryFile("w+") as log:
            r = subprocess.run(["wine", "cmd", "/c", "release.bat"], cwd=self.work, env=env, stdout=log,
                               stderr=subprocess.STDOUT, timeout=600)
            log.seek(0)
            printed = log.read()
        self.assertEqual(r.returncode, 0, printed)
        self.assertIn("Release 1.1 is ready.", printed)
        v11 = os.path.join(self.work, "Heathrow 1.1")
        before = keys(os.path.join(v10, "Kitsetup.ini"))
        self.assertEqual(keys(os.path.join(v11, "Kitsetup.ini")),
                         [k if k[:2] != ("Addon", "Version") else ("Addon", "Version", "1.1") for k in before])
        self.assertEqual(set(n for n, *_ in members(os.path.join(v11, "Setup.skb"))), tree(self.addon))
        for release in ("Heathrow 1.1.zip", "Heathrow 1.1.exe"):
            ok, why = peers_accept(os.path.join(self.work, release))
            self.assertTrue(ok, why)
            self.assertEqual(set(n for n, *_ in members(os.path.join(self.work, release))), set(os.listdir(v11)))
        with open(os.path.join(self.work, "release.log")) as f:
            self.assertTrue(f.read().endswith("exit code 0\n"))

        # Every failure has its exit code, names what it is about, and leaves release 1.1 alone.
        kept = snapshot(v11)
        os.makedirs(os.path.join(self.work, "damaged"))
        with open(os.path.join(self.work, "damaged", "Kitsetup.ini"), "wb") as f:
            f.write(bytes(random.Random(3).randrange(256) for _ in range(600)))
        with open(os.path.join(self.work, "notes.txt"), "w") as f:
            f.write("a file where a folder is asked for")
        old, new = "Heathrow 1.0", "Heathrow addon"
        cases = [
            (1, (old, new, "-o", "Heathrow 1.1", "--colour", "red"), "Kitbuild: error: --colour: unknown option"),
            (1, (old, new, "-o", "Heathrow 1.1", "--developer", "4", "Bob"), "Kitbuild: error: --developer: takes a number from 1 to 3"),
            (1, (old, new, "-o", "Heathrow 1.1", "-z"), "Kitbuild: error: -z: needs a value"),
            (1, (old, new, "-o", "Heathrow 1.1", "--simulator", "FS2004,FS2010"), "--simulator: does not know FS2010"),
            (1, (old, new, "-o", "Heathrow 1.1", "--simulator", ","), "--simulator: names no simulator"),
            (1, (old, new, "-o", r"Heathrow addon\pkg"), "Kitbuild: error: "),
            (1, (old, new, "-o", "Heathrow 1.1", "-x", r"Heathrow 1.1\Setup"), "is a file of the package itself"),
            (2, (old, "Heathrow add-on", "-o", "Heathrow 1.1"), "Kitbuild: error: Heathrow add-on: "),
            (2, (old, new, "-o", "Heathrow 1.1", "--terms", "terms.txt"), "Kitbuild: error: terms.txt: "),
            (3, ("damaged", new, "-o", "Heathrow 1.1"), r"damaged\Kitsetup.ini: the file is damaged"),
            (3, (old, new, "-o", "Heathrow 1.1", "--splash", "about.txt"), "no bitmap"),
            (4, (old, new, "-o", r"notes.txt\Heathrow 1.1"), r"notes.txt\Heathrow 1.1: "),
            (4, (old, new, "-o", "Heathrow 1.1", "-z", r"no folder\a.zip"), r"no folder\a.zip: "),
            (4, (old, new, "-o", "Heathrow 1.1", "--log", r"no folder\a.log"), r"no folder\a.log: "),
        ]
        for want, args, text in cases:
            code, out, err = self.run_here(*args)
            self.assertEqual((code, text in err), (want, True), (args, out, err))
        self.assertEqual(snapshot(v11), kept)

        # Several simulators: the list in their order, Version as earlier Setups read it.
        code, out, err = self.run_here(old, new, "-o", "Heathrow multi", "--simulator", " FSX,Prepar3D, fs2004")
        self.assertEqual(code, 0, out + err)
        flightsim = [k for k in keys(os.path.join(self.work, "Heathrow multi", "Kitsetup.ini")) if k[0] == "Flightsim"]
        self.assertEqual(flightsim, [("Flightsim", "Version", "Flightsimulator 2000"),
                                     ("Flightsim", "Simulators", "fs2004,fsx,p3d")])

        # Without the zip engine (6), and with Ctrl+C (5), the package stays byte for byte.
        no_engine = InstallDir(without=("ZIPENG.DLL",))
        try:
            code, out, err = self.run_here(old, new, "-o", "Heathrow 1.1", inst=no_engine)
        finally:
            no_engine.remove()
        self.assertEqual(code, 6, err)
        big = os.path.join(self.addon, "scenery", "mesh.bgl")
        rnd = random.Random(5)
        with open(big, "wb") as f:
            f.write(rnd.randbytes(60_000_000))
        p = start(self.inst, old, new, "-o", "Heathrow 1.1", cwd=self.work)
        deadline = time.time() + 120
        while time.time() < deadline and "  10%" not in said(p):
            time.sleep(0.2)
        self.assertEqual(drv("list")[1], [])                               # no window, no box
        os.killpg(p.pid, signal.SIGINT)
        code, out, err = finish(p)
        self.assertEqual(code, 5, out + err)
        self.assertIn("cancelled; the earlier package is as it was", err)
        self.assertEqual(snapshot(v11), kept)


if __name__ == "__main__":
    unittest.main()
