"""Helpers for the end-to-end tests: a temporary install directory, the real programs
under Wine, the driver that clicks and reads them, screenshots."""
import configparser
import os
import shutil
import subprocess
import tempfile
import time

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


def shot(name):
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, name + ".png")
    subprocess.run(["import", "-window", "root", path], check=True, capture_output=True)
    return path


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
