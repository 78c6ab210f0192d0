"""The package installer and the self-extractor as a person meets them.

A package folder is made by hand, as the builder leaves it (Kitsetup.ini, Setup.skb made by
Info-ZIP zip, the skin and unzip libraries and Setup.exe copied from the install directory,
description, terms, splash, screenshots). Setup.exe runs under Wine against a Flight Simulator
2000 folder that the test registers in the prefix, is clicked through page by page, and the
installed files are compared byte for byte with the add-on's. The self-extractor is put
together as the archive component writes one (stub, 256-byte header, archive with its offsets
shifted or not) and extracted the same way.
"""
import filecmp
import os
import shutil
import struct
import subprocess
import tempfile
import unittest
import zlib

from skykit_e2e import DIST, DONE, DRIVER, ROOT, Builder, InstallDir, drv, picture, shot, wait_exit, wine

TITLE = "Copenhagen Kastrup Airport"
SETUP = ("Skykit Setup", TITLE + " Setup")
FS_KEY = r"HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\7.0"
# The wizard's buttons, in the window's client coordinates (body at 26, button row at 329).
BACK, NEXT, CANCEL = (322, 367), (394, 367), (466, 367)
# A scenery library as Flight Simulator 2000 keeps it: CR LF, comments, a key of another tool.
SCENERY_CFG = (
    b"[General]\r\nTitle=FS2000 World Scenery\r\nDescription=FS2000 Scenery Data\r\nClean_on_Exit=TRUE\r\n\r\n"
    b"; Scenery areas\r\n[Area.001]\r\nTitle=Default Terrain\r\nTexture_ID=1\r\nRemote=\r\nLocal=Scenery\\World\r\n"
    b"Layer=1\r\nActive=TRUE\r\nRequired=TRUE\r\n\r\n[Area.002]\r\nTitle=Default Scenery\r\nLocal=Scenery\\Eurw\r\n"
    b"Layer=2\r\nActive=TRUE\r\nRequired=FALSE\r\n\r\n[Area.010]\r\nTitle=Props Airfields\r\n"
    b"Local=C:\\Add-ons\\Props\r\nLayer=9\r\nActive=FALSE\r\nRequired=FALSE\r\nX_AFCAD=keep me\r\n")
UNINSTALLS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall"


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def wake_wine():
    """Makes sure the prefix's server and background programs run, started with no pipes of
    ours: they outlive the program that starts them, and a driver call that started them
    would wait on its output pipe until they end."""
    subprocess.run(["wine", DRIVER, "warmup"], timeout=300, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def setUpModule():
    # The server stays a minute after the last program of the run, not for ever.
    subprocess.run(["wineserver", "-p60"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wake_wine()


def make_addon(root):
    """An add-on folder: a scenery area with binary and text files, a name with spaces."""
    os.makedirs(os.path.join(root, "scenery"))
    os.makedirs(os.path.join(root, "texture"))
    with open(os.path.join(root, "scenery", "EKCH terminals.bgl"), "wb") as f:
        f.write(bytes((i * 31 + 7) % 256 for i in range(300000)))
    with open(os.path.join(root, "texture", "ground.bmp"), "wb") as f:
        f.write(b"BM" + bytes(range(256)) * 400)
    with open(os.path.join(root, "Readme.txt"), "w", newline="\r\n") as f:
        f.write("Copenhagen Kastrup Airport\nInstall into Addon Scenery.\n")


def write_ini(path, entries):
    with open(path, "w", encoding="latin-1", newline="\r\n") as f:
        for section, keys in entries:
            f.write(f"[{section}]\n")
            for k, v in keys:
                f.write(f"{k}={v}\n")


# ImageMagick has no default font on a machine without Ghostscript's: name the file.
FONT = ["-font", "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"]


def make_package(folder, addon, with_archive=True, title=TITLE, version=None):
    os.makedirs(folder, exist_ok=True)
    if with_archive:
        subprocess.run(["zip", "-q", "-r", "-X", os.path.join(folder, "Setup.skb"), "."], cwd=addon, check=True)
    shutil.copy(os.path.join(DIST, "Skin32.dll"), os.path.join(folder, "Skin32.dll"))
    shutil.copy(os.path.join(DIST, "UNZENG.DLL"), os.path.join(folder, "Unzeng.dll"))
    shutil.copy(os.path.join(DIST, "Setup.dll"), os.path.join(folder, "Setup.exe"))
    write_ini(os.path.join(folder, "Kitsetup.ini"), [
        ("Splash", [("Width", "400"), ("Height", "300"), ("Filename", "Splash.bmp")]),
        ("Authors", [("2", "Jens Hansen"), ("1", "jens@example.dk"), ("4", "Mary Olsen"), ("3", "mary@example.com")]),
        ("Flightsim", [("Version", "Flightsimulator 2000")]),
        ("Addon", [("Type", "Scenery"), ("Condition", "Freeware")] + ([("Version", version)] if version else [])),
        ("Title", [("hl", title)]),
    ])
    with open(os.path.join(folder, "File_id.diz"), "w", newline="\r\n") as f:
        f.write("Copenhagen Kastrup Airport for FS2000\n\nAll terminals, taxiways and night lighting.\n")
    shutil.copy(os.path.join(DIST, "license.skh"), os.path.join(folder, "licens.skh"))
    subprocess.run(["convert", "-size", "400x300", "gradient:#2e5fa8-#cfe3f7", *FONT, "-fill", "white", "-pointsize", "28",
                    "-annotate", "+30+160", "EKCH Scenery", "-type", "TrueColor", "BMP3:" + os.path.join(folder, "Splash.bmp")],
                   check=True)
    for n, colours in ((1, "#3a6b35-#c9d6a3"), (2, "#444466-#ddccaa")):
        subprocess.run(["convert", "-size", "640x480", "gradient:" + colours, *FONT, "-fill", "white", "-pointsize", "40",
                        "-annotate", "+40+240", f"Screenshot {n}", os.path.join(folder, f"Screen{n}.jpg")], check=True)


def reg(*args):
    return wine("reg", *args, "/reg:32", timeout=60)


def entries(title):
    """The Uninstall keys of a title's installations: one per folder it went into."""
    keys = [k.strip() for k in reg("query", UNINSTALLS).stdout.splitlines()]
    return [k for k in keys if k.rsplit("\\", 1)[-1].startswith("Skykit " + title + " ")]


def remove_entries(title):
    for key in entries(title):
        reg("delete", key, "/f")
    # The uninstallers those entries named, in the prefix's application data of all users.
    shutil.rmtree(os.path.join(os.environ["WINEPREFIX"], "drive_c", "ProgramData", "Skykit"), ignore_errors=True)


class FsRegistration:
    """The Flight Simulator 2000 folder in the prefix's registry, restored afterwards."""

    def __init__(self, path):
        q = reg("query", FS_KEY, "/v", "path")
        self.before = None
        for line in q.stdout.splitlines():
            parts = line.split(None, 2)
            if q.returncode == 0 and len(parts) == 3 and parts[0].lower() == "path":
                self.before = parts[2]
        reg("add", FS_KEY, "/v", "path", "/d", path, "/f")

    def restore(self):
        if self.before is None:
            reg("delete", FS_KEY, "/v", "path", "/f")
        else:
            reg("add", FS_KEY, "/v", "path", "/d", self.before, "/f")


def texts(cls, title):
    code, out = drv("texts", cls, title)
    rows = []
    for line in out:
        # class|text|x y w h|enabled|visible; the text may hold "|" itself.
        head, _, rest = line.partition("|")
        parts = rest.rsplit("|", 3)
        if len(parts) == 4:
            rows.append({"cls": head, "text": parts[0], "enabled": parts[2] == "1", "visible": parts[3] == "1"})
    return rows


def visible(cls, title, kind):
    return [r for r in texts(cls, title) if r["cls"] == kind and r["visible"]]


def last_page(window):
    """The memo of Setup's last page once it shows (within 30 seconds), else []."""
    for _ in range(150):
        memos = visible(*window, "RichEdit20A")
        if memos:
            return memos
        subprocess.run(["sleep", "0.2"])
    return []


def same_tree(a, b):
    """Every file below a has an equal file below b (byte for byte), and no other files apart
    from Setup's record of the installation."""
    names_a, names_b = set(), set()
    for root, _, files in os.walk(a):
        names_a |= {os.path.relpath(os.path.join(root, f), a) for f in files}
    for root, _, files in os.walk(b):
        names_b |= {os.path.relpath(os.path.join(root, f), b) for f in files
                    if not (root == b and f.startswith("Uninstall ") and f.endswith(".log"))}
    if names_a != names_b:
        return f"files differ: {sorted(names_a ^ names_b)}"
    for n in sorted(names_a):
        if not filecmp.cmp(os.path.join(a, n), os.path.join(b, n), shallow=False):
            return f"{n} differs"
    return ""


class Installer(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="skykit-setup-")
        self.addon = os.path.join(self.tmp, "addon")
        self.package = os.path.join(self.tmp, "EKCH")
        self.fs = os.path.join(self.tmp, "FS2000")
        os.makedirs(self.addon)
        os.makedirs(self.fs)
        make_addon(self.addon)
        self.proc = None
        wake_wine()
        self.registration = FsRegistration(windows_path(self.fs))

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            drv("kill", "Setup.exe")
            wait_exit(self.proc, 10)
        self.registration.restore()
        remove_entries(TITLE)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def start(self):
        # Started from elsewhere: Setup must find its package beside itself.
        self.proc = subprocess.Popen(["wine", os.path.join(self.package, "Setup.exe")], cwd=tempfile.gettempdir(),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def click(self, point):
        drv("click", *SETUP, *point)

    def test_install_through_every_page(self):
        make_package(self.package, self.addon)
        with open(os.path.join(self.fs, "scenery.cfg"), "wb") as f:
            f.write(SCENERY_CFG)
        self.start()
        code, _ = drv("wait", "Skykit Setup Splash", "*", 120000)
        self.assertEqual(code, 0, "no splash window")
        shot("installer-splash")
        code, out = drv("wait", *SETUP, 30000)
        self.assertEqual(code, 0, "the wizard did not appear")
        self.assertEqual(drv("gone", "Skykit Setup Splash", "*", 5000)[0], 0)
        drv("gone", "Skykit Setup Splash", "*", 1000)
        shot("installer-welcome")
        picture("setup-welcome", SETUP)
        # The welcome page has no edit fields or memos; the later pages have.
        self.assertEqual(visible(*SETUP, "RichEdit20A"), [])

        self.click(NEXT)
        memos = visible(*SETUP, "RichEdit20A")
        self.assertEqual(len(memos), 1)
        self.assertIn("All terminals, taxiways and night lighting.", memos[0]["text"])
        shot("installer-description")
        picture("setup-about", SETUP)

        self.click(NEXT)
        memos = visible(*SETUP, "RichEdit20A")
        self.assertEqual(len(memos), 1)
        self.assertIn("TERMS OF USE", memos[0]["text"])
        shot("installer-terms")
        picture("setup-terms", SETUP)

        self.click(NEXT)   # "Accept"
        edits = [r["text"] for r in visible(*SETUP, "Edit")]
        self.assertEqual(edits, [windows_path(self.fs), "Addon Scenery\\" + TITLE])
        shot("installer-destination")

        self.click(NEXT)
        self.assertEqual(len(visible(*SETUP, "msctls_progress32")), 2)
        shot("installer-ready")
        picture("setup-ready", SETUP)

        self.click(NEXT)   # "Install"
        memos = last_page(SETUP)
        self.assertTrue(memos, "no result page")
        self.assertIn("3 files were installed", memos[0]["text"])
        self.assertIn('Added to the Scenery Library as "' + TITLE + '"', memos[0]["text"])
        shot("installer-finish")
        picture("setup-finish", SETUP)

        target = os.path.join(self.fs, "Addon Scenery", TITLE)
        self.assertEqual(same_tree(self.addon, target), "")
        leftovers = [f for _, _, fs in os.walk(self.fs) for f in fs if f.endswith("~tmp")]
        self.assertEqual(leftovers, [])

        self.click(CANCEL)   # "Finish" stands where Cancel stood
        self.assertTrue(wait_exit(self.proc, 20), "Setup did not end")
        self.assertEqual(self.proc.returncode, 0)

    def test_package_without_its_archive(self):
        make_package(self.package, self.addon, with_archive=False)
        os.remove(os.path.join(self.package, "Splash.bmp"))   # straight to the wizard
        self.start()
        code, out = drv("msgbox", 120000)
        self.assertEqual(code, 0, "no message")
        caption, text, icon = out[0].split("|")
        self.assertEqual(caption, TITLE + " Setup")
        self.assertIn('its archive "Setup.skb" is missing', text)
        self.assertEqual(icon, "stop")
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 3)
        self.assertEqual(os.listdir(self.fs), [])

    def test_damaged_archive_is_refused_before_anything_is_written(self):
        make_package(self.package, self.addon)
        os.remove(os.path.join(self.package, "Splash.bmp"))
        skb = os.path.join(self.package, "Setup.skb")
        with open(skb, "r+b") as f:
            f.truncate(os.path.getsize(skb) - 40)   # the end of the directory is gone
        self.start()
        drv("wait", *SETUP, 120000)
        drv("wait", "#32770", "*", 30000)
        shot("installer-damaged")
        code, out = drv("msgbox", 30000)
        self.assertEqual(code, 0)
        self.assertIn('The archive "Setup.skb" of ' + TITLE + " is damaged", out[0])
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(os.listdir(self.fs), [])


class SilentInstall(unittest.TestCase):
    """A package made by the real builder, installed and removed with the silent switches."""

    @classmethod
    def setUpClass(cls):
        cls.inst = InstallDir()
        addon = os.path.join(cls.inst.path, "Heathrow addon")
        shutil.copytree(os.path.join(ROOT, "samples", "addon"), addon)
        pics = os.path.join(ROOT, "samples", "pictures")
        wake_wine()
        proc = cls.inst.start("Kitpress.exe")
        try:
            b = Builder(lambda what: (_ for _ in ()).throw(AssertionError(what)))
            b.wait_main()
            b.enter_project("Heathrow Mini", "EGLL", "Ann Berg", "ann@example.com")
            b.settings(os.path.join(pics, "splash.bmp"), os.path.join(pics, "screen1.jpg"))
            b.locate(addon)
            b.build()
            drv("press", *DONE, "Cancel")
            b.quit()
            wait_exit(proc, 30)
        finally:
            cls.inst.stop(proc, "Kitpress.exe")
        cls.addon = addon
        cls.package = os.path.join(cls.inst.path, "EGLL")

    @classmethod
    def tearDownClass(cls):
        cls.inst.remove()

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="skykit-silent-")
        self.fs = os.path.join(self.tmp, "FS2000")
        os.makedirs(os.path.join(self.fs, "Addon Scenery"))
        self.cfg = os.path.join(self.fs, "scenery.cfg")
        with open(self.cfg, "wb") as f:
            f.write(SCENERY_CFG)
        self.registration = FsRegistration(windows_path(self.fs))

    def tearDown(self):
        self.registration.restore()
        remove_entries("Heathrow Mini")
        shutil.rmtree(self.tmp, ignore_errors=True)

    def setup(self, *switches, package=None):
        return wine(os.path.join(package or self.package, "Setup.exe"), *switches, timeout=300).returncode

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_install_twice_then_uninstall_restores_everything(self):
        # A readme of the person's own where the add-on brings one: replaced, a copy kept.
        target = os.path.join(self.fs, "Addon Scenery", "Heathrow Mini")
        os.makedirs(target)
        theirs = os.path.join(target, "readme.txt")
        with open(theirs, "w") as f:
            f.write("my own readme")
        self.assertEqual(self.setup("/S"), 0)
        self.assertEqual(len([f for f in os.listdir(target) if f.startswith("Uninstall Heathrow Mini ")]), 1)
        self.assertEqual(same_tree(self.addon, target), "")
        # One area behind the others, and every byte before it as it was.
        after = self.read(self.cfg)
        self.assertEqual(after[:len(SCENERY_CFG)], SCENERY_CFG)
        self.assertEqual(after[len(SCENERY_CFG):],
                         b"\r\n[Area.011]\r\nTitle=Heathrow Mini\r\nLocal=Addon Scenery\\Heathrow Mini\r\n"
                         b"Layer=10\r\nActive=TRUE\r\nRequired=FALSE\r\n")
        self.assertEqual(self.read(self.cfg + ".bak"), SCENERY_CFG)
        (key,) = entries("Heathrow Mini")
        self.assertIn("Heathrow Mini", reg("query", key, "/v", "DisplayName").stdout)

        # Again: still one area; then a file of the person's own in the add-on's folder.
        self.assertEqual(self.setup("/S"), 0)
        self.assertEqual(self.read(self.cfg), after)
        mine = os.path.join(target, "scenery", "my notes.txt")
        with open(mine, "w") as f:
            f.write("mine")

        # The package folder is gone; the uninstaller runs from the entry Setup made.
        shutil.rmtree(self.package + "-moved", ignore_errors=True)
        os.rename(self.package, self.package + "-moved")
        try:
            q = reg("query", key, "/v", "QuietUninstallString").stdout
            command = q.split("REG_SZ", 1)[1].strip()
            exe, args = command[1:].split('" ', 1)
            self.assertEqual(wine(exe, *args.split(" ", 1), timeout=300).returncode, 0)
        finally:
            os.rename(self.package + "-moved", self.package)
        self.assertEqual(self.read(self.cfg), SCENERY_CFG)
        left = sorted(os.path.relpath(os.path.join(r, f), self.fs) for r, _, fs in os.walk(self.fs) for f in fs)
        self.assertEqual(left, sorted(["scenery.cfg", "scenery.cfg.bak",
                                       os.path.join("Addon Scenery", "Heathrow Mini", "readme.txt"),
                                       os.path.join("Addon Scenery", "Heathrow Mini", "scenery", "my notes.txt")]))
        with open(theirs) as f:
            self.assertEqual(f.read(), "my own readme")
        self.assertEqual(entries("Heathrow Mini"), [])
        # The backup beside the library holds no area of the add-on.
        self.assertEqual(self.read(self.cfg + ".bak"), SCENERY_CFG)

    def test_scripted_download_installs_silently(self):
        # The one-file download made by a release script with Kitzip, as the builder makes it,
        # run with /S: no window, no question; its Setup.exe installs silently and is waited for.
        kitzip, zipped = os.path.join(DIST, "Kitzip.exe"), os.path.join(self.tmp, "EGLL.zip")
        subprocess.run(["wine", kitzip, "a", "-r", windows_path(zipped), "*.*"], cwd=self.package, timeout=300,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
        unpacked = windows_path(os.path.join(self.tmp, "unpacked"))
        r = wine(kitzip, "sfx", "-a", "-o", "always", "-c", "Heathrow Mini", "-d", unpacked, "-r", "Setup.exe", windows_path(zipped))
        self.assertEqual(r.returncode, 0, r.stdout)
        self.assertEqual(wine(os.path.join(self.tmp, "EGLL.exe"), "/S", timeout=300).returncode, 0)
        target = os.path.join(self.fs, "Addon Scenery", "Heathrow Mini")
        self.assertEqual(same_tree(self.addon, target), "")
        self.assertTrue([f for f in os.listdir(target) if f.startswith("Uninstall Heathrow Mini ") and f.endswith(".log")])

    def test_damaged_package_returns_its_code_and_leaves_the_library(self):
        broken = os.path.join(self.tmp, "broken")
        shutil.copytree(self.package, broken)
        skb = os.path.join(broken, "Setup.skb")
        with open(skb, "r+b") as f:
            f.truncate(os.path.getsize(skb) - 40)
        self.assertEqual(self.setup("/S", package=broken), 3)
        self.assertEqual(self.read(self.cfg), SCENERY_CFG)
        self.assertEqual(os.listdir(os.path.join(self.fs, "Addon Scenery")), [])
        # Into a folder of the person's choosing, with spaces; no simulator's library there.
        chosen = os.path.join(self.tmp, "My Add ons", "EGLL")
        self.assertEqual(self.setup("/S", "/D=" + windows_path(chosen)), 7)
        self.assertEqual(same_tree(self.addon, chosen), "")
        self.assertEqual(self.read(self.cfg), SCENERY_CFG)
        # Too big for the disk: refused with its code before any folder is made.
        too_big_for_the_disk(skb)
        self.assertEqual(self.setup("/S", "/D=" + windows_path(os.path.join(self.tmp, "new", "EGLL")), package=broken), 4)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "new")))


def too_big_for_the_disk(path):
    """An archive of 250 members whose directory claims almost 4 GB each: a terabyte that no
    test machine has free, in a file of a few kilobytes."""
    import zipfile
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for i in range(250):
            z.writestr(f"big/part{i:03}.bgl", "x")
    with open(path, "r+b") as f:
        z = bytearray(f.read())
        p = z.find(b"PK\x01\x02")
        while p >= 0:
            z[p + 24:p + 28] = struct.pack("<I", 0xFFFFFFF0)
            p = z.find(b"PK\x01\x02", p + 4)
        f.seek(0)
        f.write(z)


def sfx_header(caption, default_dir, command, bits):
    c, d, m = caption.encode("latin-1"), default_dir.encode("latin-1"), command.encode("latin-1")
    assert len(c) + len(d) + len(m) < 250
    h = b"SKX" + bytes([bits, len(c), len(d), len(m)]) + c + d + m
    return h + bytes(256 - len(h))


def shifted(zip_bytes, delta):
    """The archive's local header offsets and directory offset moved by delta, as the archive
    component writes them behind a stub."""
    z = bytearray(zip_bytes)
    end = z.rfind(b"PK\x05\x06")
    count, cd_size, cd = struct.unpack("<HII", z[end + 10:end + 20])
    p = cd
    for _ in range(count):
        assert z[p:p + 4] == b"PK\x01\x02"
        name_len, extra_len, comment_len = struct.unpack("<HHH", z[p + 28:p + 34])
        (local,) = struct.unpack("<I", z[p + 42:p + 46])
        z[p + 42:p + 46] = struct.pack("<I", local + delta)
        p += 46 + name_len + extra_len + comment_len
    z[end + 16:end + 20] = struct.pack("<I", cd + delta)
    return bytes(z)


class SelfExtractor(unittest.TestCase):
    CAPTION = "Skykit Demo Archive"

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="skykit-sfx-")
        self.addon = os.path.join(self.tmp, "addon")
        os.makedirs(self.addon)
        make_addon(self.addon)
        self.zip = os.path.join(self.tmp, "demo.zip")
        subprocess.run(["zip", "-q", "-r", "-X", self.zip, "."], cwd=self.addon, check=True)
        with open(os.path.join(DIST, "SFXSTUB.BIN"), "rb") as f:
            self.stub = f.read()
        self.proc = None
        wake_wine()

    def tearDown(self):
        if self.proc and self.proc.poll() is None:
            drv("kill", "demo.exe")
            wait_exit(self.proc, 10)
        shutil.rmtree(self.tmp, ignore_errors=True)

    def build(self, default_dir, command="", bits=0, shift=True, cut=0, archive=None):
        with open(archive or self.zip, "rb") as f:
            data = f.read()
        if shift:
            data = shifted(data, len(self.stub) + 256)
        exe = os.path.join(self.tmp, "demo.exe")
        with open(exe, "wb") as f:
            f.write(self.stub + sfx_header(self.CAPTION, default_dir, command, bits) + data[:len(data) - cut])
        return exe

    def run_sfx(self, exe):
        self.proc = subprocess.Popen(["wine", exe], cwd=tempfile.gettempdir(),
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def test_extracts_into_the_default_folder_and_asks_before_replacing(self):
        out = os.path.join(self.tmp, "out")
        exe = self.build(windows_path(out))
        # Info-ZIP reads the self-extractor as an archive too: the layout is a valid one.
        self.assertEqual(subprocess.run(["unzip", "-tqq", exe], capture_output=True).returncode, 0)
        self.run_sfx(exe)
        code, _ = drv("wait", "#32770", self.CAPTION, 120000)
        self.assertEqual(code, 0, "no self-extractor window")
        edits = [r["text"] for r in visible("#32770", self.CAPTION, "Edit")]
        self.assertEqual(edits, [windows_path(out)])
        shot("sfx-main")
        picture("sfx", ("#32770", self.CAPTION))
        self.assertEqual(drv("press", "#32770", self.CAPTION, "Extract")[0], 0)
        code, lines = drv("boxwith", 60000, "extracted to")
        self.assertEqual(code, 0)
        self.assertIn("3 files were extracted to", lines[0])
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 0)
        self.assertEqual(same_tree(self.addon, out), "")

        # Again, with a file of the person's own in the way: asked, and "No" keeps it.
        shutil.rmtree(out)
        os.makedirs(out)
        mine = os.path.join(out, "Readme.txt")
        with open(mine, "w") as f:
            f.write("my notes")
        self.run_sfx(exe)
        drv("wait", "#32770", self.CAPTION, 60000)
        drv("press", "#32770", self.CAPTION, "Extract")
        code, _ = drv("wait", "#32770", "Replace file?", 30000)
        self.assertEqual(code, 0, "no question about the existing file")
        shot("sfx-replace")
        self.assertEqual(drv("press", "#32770", "Replace file?", "No")[0], 0)
        code, lines = drv("boxwith", 60000, "extracted to")
        self.assertIn("1 kept as they were", lines[0])
        self.assertTrue(wait_exit(self.proc, 20))
        with open(mine) as f:
            self.assertEqual(f.read(), "my notes")

    def test_unshifted_archive_with_file_choice_and_command(self):
        out = os.path.join(self.tmp, "chosen")
        # Pick the files (2), overwrite always (8) and not offered (4), ask about the command
        # (1); the command runs in the extraction folder.
        exe = self.build(windows_path(out), "cmd /c copy Readme.txt ran.txt", bits=1 | 2 | 4 | 8, shift=False)
        self.run_sfx(exe)
        code, _ = drv("wait", "#32770", self.CAPTION, 120000)
        self.assertEqual(code, 0)
        rows = texts("#32770", self.CAPTION)
        self.assertTrue(any(r["cls"] == "SysListView32" and r["visible"] for r in rows))
        run_box = [r for r in rows if r["cls"] == "Button" and r["text"].startswith("&Run")]
        self.assertEqual(len(run_box), 1)
        self.assertTrue(run_box[0]["enabled"])
        self.assertFalse([r for r in rows if r["text"] == "&Ask me each time" and r["visible"]])
        shot("sfx-choose-files")
        ran = os.path.join(out, "ran.txt")
        # Kept when asked; and from a folder that was there before, nothing is taken.
        for keep in (True, False):
            if keep:
                self.assertEqual(drv("press", "#32770", self.CAPTION, "Keep the extracted files when it has ended")[0], 0)
            drv("press", "#32770", self.CAPTION, "Extract")
            self.assertTrue(wait_exit(self.proc, 60), "the self-extractor did not end")
            self.assertEqual(self.proc.returncode, 0)
            self.assertTrue(os.path.exists(ran), "the command did not run in the folder")
            os.remove(ran)
            self.assertEqual(same_tree(self.addon, out), "")
            if keep:
                self.run_sfx(exe)
                drv("wait", "#32770", self.CAPTION, 120000)

    def test_names_that_would_leave_the_folder_are_refused(self):
        # Written by Python's zipfile: "../evil.txt", "/abs.txt", "C:/drive.txt", "nul.txt"...
        # beside "safe.txt" and "ok/good.txt".
        work = os.path.join(self.tmp, "deep", "er")
        out = os.path.join(work, "out")
        exe = self.build(windows_path(out), bits=8,
                         archive=os.path.join(ROOT, "tests", "installer", "data", "unsafe_names.zip"))
        self.run_sfx(exe)
        drv("wait", "#32770", self.CAPTION, 120000)
        drv("press", "#32770", self.CAPTION, "Extract")
        drv("wait", "#32770", "*", 30000)
        code, lines = drv("boxwith", 60000, "could not be extracted")
        self.assertEqual(code, 0)
        self.assertIn("8 files could not be extracted", lines[0])
        self.assertIn("..\\evil.txt: not extracted, \"..\" in path", lines[0])
        self.assertIn("2 files were extracted", lines[0])
        self.assertTrue(wait_exit(self.proc, 5) or drv("press", "#32770", self.CAPTION, "Close")[0] == 0)
        self.assertTrue(wait_exit(self.proc, 20))
        found = sorted(os.path.relpath(os.path.join(r, f), os.path.join(self.tmp, "deep"))
                       for r, _, fs in os.walk(os.path.join(self.tmp, "deep")) for f in fs)
        self.assertEqual(found, [os.path.join("er", "out", "ok", "good.txt"), os.path.join("er", "out", "safe.txt")])
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "evil.txt")))

    def test_auto_run_extracts_without_questions(self):
        out = os.path.join(self.tmp, "auto")
        exe = self.build(windows_path(out), bits=64)
        self.run_sfx(exe)
        self.assertTrue(wait_exit(self.proc, 120), "the self-extractor did not end by itself")
        self.assertEqual(self.proc.returncode, 0)
        self.assertEqual(same_tree(self.addon, out), "")

    def test_damaged_settings_and_unset_variables_stop_before_anything_is_written(self):
        exe = self.build(windows_path(os.path.join(self.tmp, "out")), bits=64)
        with open(exe, "r+b") as f:   # the settings' mark and lengths overwritten
            f.seek(len(self.stub))
            f.write(b"XXX\x40\xff\xff\xff")
        self.run_sfx(exe)
        code, lines = drv("msgbox", 120000)
        self.assertEqual(code, 0)
        self.assertIn("settings of this self-extracting program are damaged", lines[0])
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 3)

        exe = self.build("%SKYKIT_NOT_SET%\\out", bits=64)
        self.run_sfx(exe)
        code, lines = drv("msgbox", 120000)
        self.assertEqual(code, 0)
        self.assertIn("%SKYKIT_NOT_SET%, which is not set", lines[0])
        shot("sfx-unset-variable")
        drv("press", "#32770", self.CAPTION, "Cancel")
        wait_exit(self.proc, 10) or drv("press", "#32770", "*", "&Yes")
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 1)   # a setting to correct, nothing written
        self.assertEqual(sorted(os.listdir(self.tmp)), ["addon", "demo.exe", "demo.zip"])

        # Too big for the disk: the same refusal as Setup's, and no folder made.
        big = os.path.join(self.tmp, "big.zip")
        too_big_for_the_disk(big)
        self.run_sfx(self.build(windows_path(os.path.join(self.tmp, "new", "out")), bits=64, archive=big))
        code, lines = drv("boxwith", 120000, "are free on the drive")
        self.assertEqual(code, 0)
        drv("press", "#32770", self.CAPTION, "Cancel")
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 4)
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "new")))

    def test_names_the_engine_refuses_give_setup_and_the_stub_one_exit_code(self):
        import zipfile
        odd = os.path.join(self.tmp, "odd.zip")
        with zipfile.ZipFile(odd, "w") as z:
            for name in ("clock$.txt", "del\x7fname.txt", "ok.txt"):
                z.writestr(name, "x")
        out = os.path.join(self.tmp, "sfx-out")
        self.run_sfx(self.build(windows_path(out), bits=64 | 8, archive=odd))
        code, lines = drv("boxwith", 120000, "could not be extracted")   # the names left out are listed
        self.assertIn("clock$.txt: not extracted", lines[0])
        self.assertTrue(wait_exit(self.proc, 30))
        package = os.path.join(self.tmp, "pkg")
        make_package(package, self.addon)
        shutil.copy(odd, os.path.join(package, "Setup.skb"))
        ini = os.path.join(package, "Kitsetup.ini")
        with open(ini, "rb") as f:
            settings = f.read().replace(b"Type=Scenery", b"Type=Sound")
        with open(ini, "wb") as f:
            f.write(settings)
        dest = os.path.join(self.tmp, "setup-out")
        rc = wine(os.path.join(package, "Setup.exe"), "/S", "/D=" + windows_path(dest)).returncode
        self.assertEqual((self.proc.returncode, rc), (0, 0))
        self.assertEqual(os.listdir(out), ["ok.txt"])
        (log, ok) = sorted(os.listdir(dest))
        self.assertEqual(ok, "ok.txt")
        self.assertTrue(log.startswith("Uninstall " + TITLE + " ") and log.endswith(".log"))
        remove_entries(TITLE)

    def test_zip_bomb_and_crc_error_exit_as_damaged(self):
        # 51 directory entries on one member's data (1 MiB each, from 4 KB): refused, as the
        # engine refuses it, before anything is made.
        data = zlib.compress(bytes(1 << 20), 9)[2:-4]
        crc = zlib.crc32(bytes(1 << 20))
        local = struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, 8, 0, 0x21, crc, len(data), 1 << 20, 5, 0) + b"a.bin" + data
        cd = b"".join(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, 8, 0, 0x21, crc, len(data), 1 << 20,
                                  7, 0, 0, 0, 0, 0, 0) + b"f%02d.bin" % i for i in range(51))
        bomb = os.path.join(self.tmp, "bomb.zip")
        with open(bomb, "wb") as f:
            f.write(local + cd + struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 51, 51, len(cd), len(local), 0))
        out = os.path.join(self.tmp, "out")
        self.run_sfx(self.build(windows_path(out), bits=64, archive=bomb))
        code, lines = drv("boxwith", 120000, "overlaps")
        self.assertEqual(code, 0)
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 3)
        self.assertFalse(os.path.exists(out))
        # A stored member whose bytes no longer match its CRC: a damaged archive (3).
        import zipfile
        bad = os.path.join(self.tmp, "bad.zip")
        with zipfile.ZipFile(bad, "w") as z:
            z.writestr("ok.txt", "fine")
            z.writestr("bad.txt", "the original text")
        with open(bad, "r+b") as f:
            z = f.read()
            f.seek(z.find(b"the original"))
            f.write(b"THE")
        self.run_sfx(self.build(windows_path(out), bits=64 | 8, archive=bad))
        code, lines = drv("boxwith", 120000, "could not be extracted")
        self.assertIn("bad.txt", lines[0])
        drv("press", "#32770", self.CAPTION, "Close")
        self.assertTrue(wait_exit(self.proc, 30))
        self.assertEqual(self.proc.returncode, 3)

    def test_missing_or_cut_archive_is_reported(self):
        stub_only = os.path.join(self.tmp, "demo.exe")
        shutil.copy(os.path.join(DIST, "SFXSTUB.BIN"), stub_only)
        self.run_sfx(stub_only)
        code, lines = drv("msgbox", 120000)
        self.assertEqual(code, 0)
        self.assertIn("No archive is joined to it", lines[0])
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.proc.returncode, 1)

        exe = self.build(windows_path(os.path.join(self.tmp, "never")), cut=30)
        self.run_sfx(exe)
        code, lines = drv("msgbox", 60000)
        self.assertEqual(code, 0)
        caption, text, icon = lines[0].split("|")
        self.assertEqual(caption, self.CAPTION)
        self.assertIn("The archive of this self-extracting program is missing", text)
        self.assertEqual(icon, "stop")
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertFalse(os.path.exists(os.path.join(self.tmp, "never")))


if __name__ == "__main__":
    unittest.main()
