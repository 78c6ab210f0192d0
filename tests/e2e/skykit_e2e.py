"""Helpers for the end-to-end tests: a temporary install directory, the real programs
under Wine, the driver that clicks and reads them, screenshots."""
import configparser
import os
import shutil
import subprocess
import sys
import tempfile

DIST = os.environ.get("SKYKIT_DIST", "")
DRIVER = os.environ.get("SKYDRIVER", "")
SHOTS = os.environ.get("SKYKIT_SHOTS", "/tmp")
ROOT = os.environ.get("SKYKIT_ROOT", "")


def wine(*args, timeout=300):
    # Output goes through a file, not a pipe: a Wine server that this call happens to start
    # inherits the pipe and would keep it open long after the program has ended.
    with tempfile.TemporaryFile(mode="w+") as out:
        r = subprocess.run(["wine", *args], stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        return subprocess.CompletedProcess(r.args, r.returncode, out.read(), "")


def drv(*args, timeout=300):
    """Runs one driver command; returns (exit code, lines of output)."""
    r = wine(DRIVER, *[str(a) for a in args], timeout=timeout)
    return r.returncode, [l for l in r.stdout.splitlines() if l.strip()]


def shot(name, fit=True):
    """A screenshot of the screen; every text on it must fit where it is drawn (fit=False
    leaves that check to the caller, for a window that must not be held up)."""
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True, capture_output=True)
    if fit:
        texts_fit(name)
    return path


def picture(name, window, screen=None, where=None):
    """A picture for the guide (scripts/guide_pictures.py): the window cut out of the screen as
    it is now, or out of the screenshot `screen` at the rectangle `where`."""
    sys.path.insert(0, os.path.join(ROOT, "scripts"))
    import guide_pictures
    if where is None:
        code, out = drv("wait", *window, 5000)
        ok(code, f"no window {window} for the picture {name}")
        where = rect(out[0])
    guide_pictures.cut(name, screen or shot("guide-" + name, fit=False), where)


def texts_fit(where):
    """Each text of each window (labels, buttons, check boxes, radio buttons, static texts) is
    measured in its own font against the box it is drawn in: a clipped text fails, naming the
    window, the control and the text."""
    code, lines = drv("fit")
    if code != 0:
        problems = [l for l in lines if not l.startswith("checked ")]
        raise AssertionError(f"texts that do not fit ({where}):\n  " + "\n  ".join(problems))


class InstallDir:
    """A copy of the install directory, optionally without some of its files."""

    def __init__(self, without=()):
        self.path = tempfile.mkdtemp(prefix="skykit-")
        for name in os.listdir(DIST):
            # What the programs write into their directory never travels from one run to the next.
            if name in without or name in ("Kitforge.ini", "hyper.add"):
                continue
            src = os.path.join(DIST, name)
            if os.path.isdir(src):
                shutil.copytree(src, os.path.join(self.path, name))
            else:
                shutil.copy2(src, self.path)

    def file(self, name):
        return os.path.join(self.path, name)

    def ini(self, name="Kitforge.ini"):
        """The settings file as sections of keys (empty when it does not exist)."""
        cp = configparser.ConfigParser(interpolation=None, strict=False)
        cp.optionxform = str
        if os.path.exists(self.file(name)):
            with open(self.file(name), encoding="latin-1") as f:
                cp.read_string(f.read())
        return cp

    def windows_path(self):
        return "Z:" + self.path.replace("/", "\\") + "\\"

    def start(self, exe):
        # The working directory is elsewhere: the programs must find their files beside them.
        return subprocess.Popen(["wine", self.file(exe)], cwd=tempfile.gettempdir(),
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def stop(self, proc, exe):
        """Ends a program a failed test left running (the wine loader alone is not enough)."""
        if proc and proc.poll() is None:
            drv("kill", exe)
            wait_exit(proc, 10)
            if proc.poll() is None:
                proc.kill()

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


def wait_exit(proc, seconds):
    try:
        proc.wait(timeout=seconds)
        return True
    except subprocess.TimeoutExpired:
        return False


def rect(line):
    """'hwnd x y w h' -> (x, y, w, h)"""
    parts = line.split()
    return tuple(int(v) for v in parts[1:5])


# ---------------------------------------------------------------------------------------
# The builder as an author works it (shared by the build test and by ./run without a display)

MAIN = ("Skykit Builder", "Skykit Builder")              # window class, window text
SETTINGS = ("Skykit Builder", "SKKT Project settings")
BUILDING = ("Skykit Builder", "Building...")
DONE = ("TSkykitForm", "SKKT Project Builder")
PANEL = 26        # the main form's client panel starts below the title strip and its line
DLG_PANEL = 25    # the settings dialog's client panel
FS2000_KEY = r"HKLM\Software\Microsoft\Microsoft Games\Flight Simulator\7.0"


def win_path(path):
    return "Z:" + path.replace("/", "\\")


def reg(*args):
    # Not captured: a Wine server that this call may start keeps the output open for as long
    # as it runs, which a captured call would wait for.
    subprocess.run(["wine", "reg", *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)


def ok(code, what):
    if code != 0:
        raise AssertionError(what)


def texts(w):
    return [l.split("|") for l in drv("texts", *w)[1]]


def edit_box(w, x, y):
    """The driver's index and the text of the visible edit box at a client point of a window."""
    i = 0
    for parts in texts(w):
        if parts[0] not in ("Edit", "RichEdit20A"):
            continue
        ex, ey, ew, eh = (int(v) for v in parts[2].split())
        if parts[4] == "1" and ex <= x < ex + ew and ey <= y < ey + eh:
            return i, parts[1]
        i += 1
    raise AssertionError(f"no edit box at {x},{y}")


def type_into(w, x, y, text):
    ok(drv("settext", *w, edit_box(w, x, y)[0], text)[0], f"cannot type into {w}")


def edit_text(w, x, y):
    return edit_box(w, x, y)[1]


def click(w, x, y, *how):
    ok(drv("click", *w, x, y, *how)[0], f"no window {w}")


def choose_file(title, path):
    """Answers the platform's open dialog titled `title` with a file name."""
    ok(drv("wait", "#32770", title, 30000)[0], f"no file dialog '{title}'")
    ok(drv("settext", "#32770", title, 0, path)[0], "cannot type the file name")
    ok(drv("press", "#32770", title, "Open")[0], "no Open button")
    ok(drv("gone", "#32770", title, 10000)[0], f"'{title}' stayed open")


class Builder:
    """Drives a running Kitpress.exe through its windows; every step fails loudly."""

    def __init__(self, fail):
        self.fail = fail
        self.progress_rect = None   # the progress form's rectangle in the build's screenshot

    def ok(self, code, what):
        if code != 0:
            self.fail(what)

    def _step(self, step, *args):
        """One of the shared steps above, its failure reported through fail."""
        try:
            return step(*args)
        except AssertionError as e:
            self.fail(str(e))

    def texts(self, w):
        return texts(w)

    def type_into(self, w, x, y, text):
        self._step(type_into, w, x, y, text)

    def edit_text(self, w, x, y):
        return self._step(edit_text, w, x, y)

    def click(self, w, x, y, *how):
        self._step(click, w, x, y, *how)

    def choose_file(self, title, path):
        self._step(choose_file, title, path)

    def wait_main(self):
        code, out = drv("wait", *MAIN, 120000)
        self.ok(code, "the main window did not appear")
        drv("gone", "TSkykitForm", "", 10000)                      # the splash
        return rect(out[0])

    def enter_project(self, title, subdir, name, email):
        self.type_into(MAIN, 20, PANEL + 40, title)
        self.type_into(MAIN, 220, PANEL + 40, subdir)
        self.type_into(MAIN, 20, PANEL + 128, name)
        self.type_into(MAIN, 212, PANEL + 128, email)

    def settings(self, splash, screenshot, shot_name=None):
        self.click(MAIN, 378, PANEL + 290)
        self.ok(drv("wait", *SETTINGS, 20000)[0], "no settings dialog")
        self.click(SETTINGS, 192, DLG_PANEL + 181)                 # "Import..."
        self.choose_file("Import splashscreen", win_path(splash))
        self.click(SETTINGS, 39, DLG_PANEL + 56)                   # slot 1
        self.choose_file("Please select a screenshot", win_path(screenshot))
        if shot_name:
            shot(shot_name)
        self.click(SETTINGS, 363, DLG_PANEL + 274)                 # "Next >>"
        self.ok(drv("gone", *SETTINGS, 10000)[0], "the settings dialog stayed open")

    def locate(self, addon):
        self.choose_file("Location of Addon files", win_path(addon) + "\\Setup.skb")

    def build(self, progress_shot=None):
        """Presses Build; returns the bar positions seen while the progress form was up (a
        small add-on may be packed before the first look). The driver watches the bars from
        one process, every few milliseconds: a driver started per look would see a small
        build's bars once at most."""
        bmp = os.path.join(SHOTS, (progress_shot or "progress") + ".bmp")
        if os.path.exists(bmp):
            os.remove(bmp)
        os.makedirs(SHOTS, exist_ok=True)
        code, out = drv("clickwatch", *MAIN, 400, PANEL + 337, *BUILDING, *DONE, 5, 300000, win_path(bmp))
        if code != 0 or not out or not out[-1].startswith("done"):
            self.fail("no project-complete dialog")
        seen = [tuple(int(v) for v in l.split()[1:3]) for l in out[:-1] if l[0].isdigit()]
        # The progress form, saved by the driver while the whole-batch bar was under way.
        self.progress_rect = next((rect(l) for l in out if l.startswith("shot ")), None)
        if os.path.exists(bmp):
            if progress_shot:
                subprocess.run(["convert", bmp, os.path.join(SHOTS, progress_shot + ".png")], check=True)
            os.remove(bmp)
        return seen

    def create_zip(self, name, download=False):
        self.ok(drv("settext", *DONE, 0, name)[0], "no zip name box")
        if download:
            self.ok(drv("press", *DONE, "One-file download (.exe) that starts Setup")[0], "no download choice")
            shot("build-done-download")
        self.ok(drv("press", *DONE, "Create .exe" if download else "Create Zip")[0], "no Create button")
        self.ok(drv("boxwith", 120000, "is ready:", "OK")[0], "no word of where the file went")
        self.ok(drv("gone", *DONE, 120000)[0], "the project-complete dialog stayed open")

    def quit(self):
        self.click(MAIN, 472, PANEL + 337)
