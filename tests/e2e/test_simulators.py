"""One package, every simulator of the family: each registered in the test prefix (for all users
or the person alone, FS2004 with a NewScenery.cfg), the package installed into each with /S
/SIM=... and once through the destination page, each library compared byte for byte after the
installation and the removal; Prepar3D v5 in the 64-bit view of a 64-bit prefix."""
import glob
import os
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from skykit_e2e import ROOT, drv, picture, shot, wait_exit, wine
from test_installer import (CANCEL, NEXT, SCENERY_CFG, SETUP, TITLE, UNINSTALLS, last_page, make_addon, make_package,
                            remove_entries, same_tree, visible, wake_wine, windows_path)

FS = r"Software\Microsoft\Microsoft Games\Flight Simulator"
P3D = r"Software\Lockheed Martin\Prepar3D v"
SHELL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"
AREA = (b"\r\n[Area.011]\r\nTitle=" + TITLE.encode() + b"\r\nLocal=Addon Scenery\\" + TITLE.encode() +
        b"\r\nLayer=10\r\nActive=TRUE\r\nRequired=FALSE\r\n")
# /SIM= name, hive, key, value, and the library below: the simulator's folder (sim), the
# application data of all users (common), the person's (roaming), or the documents (docs).
SIMS = [("fs98", "HKLM", FS + r"\6.1", "path", "sim", "scenery.cfg"),
        ("fs2000", "HKLM", FS + r"\7.0", "EXE Path", "sim", "scenery.cfg"),
        ("fs2002", "HKLM", FS + r"\8.0", "EXE Path", "sim", "scenery.cfg"),
        ("fs2004", "HKLM", r"Software\Microsoft\Windows\CurrentVersion\Uninstall\Flight Simulator 9.0",
         "InstallLocation", "sim", "NewScenery.cfg"),
        ("fsx", "HKLM", FS + r"\10.0", "SetupPath", "common", r"Microsoft\FSX\Scenery.CFG"),
        ("fsxse", "HKCU", FS + r" - Steam Edition\10.0", "AppPath", "common", r"Microsoft\FSX-SE\Scenery.CFG"),
        ("p3d1", "HKLM", r"Software\LockheedMartin\Prepar3D", "SetupPath", "common",
         r"Lockheed Martin\Prepar3D\Scenery.CFG"),
        ("p3d2", "HKCU", P3D + "2", "AppPath", "roaming", r"Lockheed Martin\Prepar3D v2\Scenery.CFG"),
        ("p3d3", "HKLM", P3D + "3", "SetupPath", "common", r"Lockheed Martin\Prepar3D v3\Scenery.CFG"),
        ("p3d4", "HKCU", P3D + "4", "AppPath", "docs", "Prepar3D v4 Add-ons\\" + TITLE + r"\add-on.xml")]


def add_on_xml(path):
    t = TITLE.encode()
    return (b'<?xml version="1.0" encoding="UTF-8"?>\r\n<SimBase.Document Type="AddOnXml" version="4,0" '
            b'id="add-on">\r\n    <AddOn.Name>' + t + b"</AddOn.Name>\r\n    <AddOn.Description>" + t +
            b"</AddOn.Description>\r\n    <AddOn.Component>\r\n        <Category>Scenery</Category>\r\n"
            b"        <Path>" + path.encode() + b"</Path>\r\n        <Name>" + t + b"</Name>\r\n"
            b"    </AddOn.Component>\r\n</SimBase.Document>\r\n")


def read(path):
    return Path(path).read_bytes()


def write(path, data):
    Path(path).parent.mkdir(parents=True, exist_ok=True)
    Path(path).write_bytes(data)


class Prefix:
    """A Wine prefix's registry and folders, the person's documents moved into the test's folder."""

    def __init__(self, docs, env=None):
        self.env = env
        self.root = os.path.join((env or os.environ)["WINEPREFIX"], "drive_c")
        user = [u for u in glob.glob(os.path.join(self.root, "users", "*")) if not u.endswith("Public")][0]
        self.places = {"common": os.path.join(self.root, "ProgramData"), "docs": docs,
                       "roaming": os.path.join(user, "AppData", "Roaming")}
        self.added = []
        os.makedirs(docs, exist_ok=True)
        self.reg("add", SHELL, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d", windows_path(docs), "/f")

    def reg(self, *args, view="/reg:32"):
        with tempfile.TemporaryFile(mode="w+") as out:
            r = subprocess.run(["wine", "reg", *args, view], env=self.env, stdout=out, stderr=subprocess.DEVNULL,
                               timeout=120)
            out.seek(0)
            self.out = out.read()
            return r.returncode

    def entries(self):
        self.reg("query", UNINSTALLS)
        return [k.strip() for k in self.out.splitlines() if "\\Skykit " + TITLE + " " in k]

    def uninstall(self, folder):   # through the entry's QuietUninstallString, as a script would
        for key in self.entries():
            self.reg("query", key, "/v", "QuietUninstallString")
            if windows_path(folder) + "\\" in self.out:
                break
        exe, args = self.out.split("REG_SZ", 1)[1].strip()[1:].split('" ', 1)
        return subprocess.run(["wine", exe, *args.split(" ", 1)], env=self.env, timeout=300).returncode

    def register(self, hive, key, value, folder, view="/reg:32"):
        self.reg("add", hive + "\\" + key, "/v", value, "/d", windows_path(folder), "/f", view=view)
        self.added.append((hive + "\\" + key, view))

    def restore(self):
        for key, view in self.added + [(k, "/reg:32") for k in self.entries()]:
            self.reg("delete", key, "/f", view=view)
        self.reg("add", SHELL, "/v", "Personal", "/t", "REG_EXPAND_SZ", "/d", r"%USERPROFILE%\Documents", "/f")


class EverySimulator(unittest.TestCase):
    def setUp(self):
        wake_wine()
        self.tmp = tempfile.mkdtemp(prefix="skykit-sims-")
        self.addon, self.package = os.path.join(self.tmp, "addon"), os.path.join(self.tmp, "EKCH")
        make_addon(self.addon)
        make_package(self.package, self.addon)
        ini = os.path.join(self.package, "Kitsetup.ini")
        write(ini, read(ini).replace(b"Version=Flightsimulator 2000\r\n",
                                     b"Version=Flightsimulator 2000\r\nSimulators=fs98,fs2000,fs2002,fs2004,fsx,p3d\r\n"))
        self.prefix = Prefix(os.path.join(self.tmp, "Documents"))
        self.sims = {}
        for sim_id, hive, key, value, place, library in SIMS:
            folder = os.path.join(self.tmp, sim_id.upper())
            os.makedirs(os.path.join(folder, "Addon Scenery"))
            self.prefix.register(hive, key, value, folder)
            lib = os.path.join(folder if place == "sim" else self.prefix.places[place], *library.split("\\"))
            if place != "docs":
                write(lib, SCENERY_CFG)
            self.sims[sim_id] = (folder, lib)
        write(os.path.join(self.tmp, "FS2004", "scenery.cfg"), b"[General]\r\nTitle=before the Scenery Library\r\n")

    def tearDown(self):
        self.prefix.restore()
        remove_entries(TITLE)
        # The libraries made in the prefix's own folders, and the folders made for them.
        for place in self.prefix.places.values():
            for lib in [lib for _, lib in self.sims.values() if lib.startswith(place + os.sep)]:
                for f in (lib, lib + ".bak"):
                    if os.path.exists(f):
                        os.remove(f)
                d = os.path.dirname(lib)
                while d != place and os.path.isdir(d) and not os.listdir(d):
                    os.rmdir(d)
                    d = os.path.dirname(d)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def expected(self, sim_id):
        area = windows_path(os.path.join(self.sims[sim_id][0], "Addon Scenery", TITLE))
        return add_on_xml(area) if sim_id == "p3d4" else SCENERY_CFG + AREA

    def test_silently_into_each_and_out_again(self):
        setup = os.path.join(self.package, "Setup.exe")
        self.assertEqual(wine(setup, "/S", "/SIM=msfs").returncode, 6)
        for sim_id, (folder, lib) in self.sims.items():
            with self.subTest(sim_id):
                self.assertEqual(wine(setup, "/S", "/SIM=" + sim_id).returncode, 0)
                self.assertEqual(read(lib), self.expected(sim_id))
                self.assertEqual(same_tree(self.addon, os.path.join(folder, "Addon Scenery", TITLE)), "")
        # One package in every simulator at once: an installation, an entry and an area each.
        self.assertEqual(len(self.prefix.entries()), len(SIMS))
        for sim_id, (folder, lib) in self.sims.items():
            with self.subTest(sim_id):
                self.assertEqual(read(lib), self.expected(sim_id))
                if sim_id == "fs2004":   # FS2004 starts: NewScenery.cfg becomes its scenery.cfg
                    os.replace(os.path.join(folder, "scenery.cfg"), os.path.join(folder, "OldScenery.cfg"))
                    os.replace(lib, os.path.join(folder, "scenery.cfg"))
                    lib = os.path.join(folder, "scenery.cfg")
                self.assertEqual(self.prefix.uninstall(os.path.join(folder, "Addon Scenery", TITLE)), 0)
                if sim_id == "p3d4":
                    self.assertFalse(os.path.exists(os.path.dirname(lib)))   # the file Setup made, and its folder
                else:
                    self.assertEqual(read(lib), SCENERY_CFG)
        self.assertEqual(read(os.path.join(self.tmp, "FS2004", "OldScenery.cfg")),
                         b"[General]\r\nTitle=before the Scenery Library\r\n")

    def test_through_the_destination_page(self):
        proc = subprocess.Popen(["wine", os.path.join(self.package, "Setup.exe")], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(drv("wait", *SETUP, 120000)[0], 0)
            drv("gone", "Skykit Setup Splash", "*", 10000)
            for _ in range(3):   # welcome, description, terms (Accept)
                drv("click", *SETUP, *NEXT)
            shot("installer-destination-simulators")
            picture("setup-destination", SETUP)
            # The newest is proposed; the person picks FSX, five rows below it.
            self.assertEqual(visible(*SETUP, "Edit")[0]["text"], windows_path(self.sims["p3d4"][0]))
            drv("click", *SETUP, 60, 122)
            for _ in range(5):
                drv("key", *SETUP, 0x28)
            self.assertEqual([r["text"] for r in visible(*SETUP, "Edit")],
                             [windows_path(self.sims["fsx"][0]), "Addon Scenery\\" + TITLE])
            drv("click", *SETUP, *NEXT)
            drv("click", *SETUP, *NEXT)   # Install
            memos = last_page(SETUP)
            self.assertTrue(memos and 'Added to the Scenery Library as "' + TITLE + '"' in memos[0]["text"])
            drv("click", *SETUP, *CANCEL)   # "Finish"
            self.assertTrue(wait_exit(proc, 20))
        finally:
            if proc.poll() is None:
                proc.kill()
        self.assertEqual(read(self.sims["fsx"][1]), self.expected("fsx"))
        self.assertEqual(self.prefix.uninstall(self.sims["fsx"][0]), 0)
        self.assertEqual(read(self.sims["fsx"][1]), SCENERY_CFG)

    def test_prepar3d_v5_in_the_64_bit_view(self):
        env = dict(os.environ, WINEPREFIX=os.path.join(ROOT, "build", "wineprefix64"), WINEARCH="win64")
        if not os.path.exists(os.path.join(env["WINEPREFIX"], "system.reg")):
            subprocess.run(["wineboot", "-i"], env=env, timeout=600, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        prefix64 = Prefix(os.path.join(self.tmp, "Documents64"), env)
        folder = os.path.join(self.tmp, "P3D5")
        os.makedirs(folder)
        try:
            prefix64.register("HKLM", P3D + "5", "SetupPath", folder, view="/reg:64")
            self.assertNotEqual(prefix64.reg("query", "HKLM\\" + P3D + "5"), 0)   # not in the 32-bit view
            setup = os.path.join(self.package, "Setup.exe")
            self.assertEqual(subprocess.run(["wine", setup, "/S", "/SIM=p3d5"], env=env, timeout=300).returncode, 0)
            xml = os.path.join(self.tmp, "Documents64", "Prepar3D v5 Add-ons", TITLE, "add-on.xml")
            self.assertEqual(read(xml), add_on_xml(windows_path(os.path.join(folder, "Addon Scenery", TITLE))))
            self.assertEqual(prefix64.uninstall(folder), 0)
            self.assertFalse(os.path.exists(os.path.dirname(xml)))
        finally:
            prefix64.restore()
            subprocess.run(["wineserver", "-k"], env=env)


if __name__ == "__main__":
    unittest.main()
