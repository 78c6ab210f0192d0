"""./run without a display: builds the sample add-on into a package through the builder's
real windows, in the install directory build/dist, with screenshots in build/shots."""
import os
import shutil
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.environ.setdefault("SKYKIT_DIST", os.path.join(ROOT, "build", "dist"))
os.environ.setdefault("SKYDRIVER", os.path.join(ROOT, "build", "testbin", "skydriver.exe"))
os.environ.setdefault("SKYKIT_SHOTS", os.path.join(ROOT, "build", "shots"))
os.environ.setdefault("SKYKIT_ROOT", ROOT)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from skykit_e2e import MAIN, Builder, drv, shot, wait_exit  # noqa: E402
import subprocess  # noqa: E402


class Stop(Exception):
    pass


def fail(what):
    raise Stop(what)


def main():
    dist = os.environ["SKYKIT_DIST"]
    addon = os.path.join(ROOT, "build", "sample-addon")
    shutil.rmtree(addon, ignore_errors=True)
    shutil.copytree(os.path.join(ROOT, "samples", "addon"), addon)
    pics = os.path.join(ROOT, "samples", "pictures")
    package = os.path.join(dist, "SAMPLE")
    for old in ("Setup.skb", "Heathrow-Mini.zip"):
        if os.path.exists(os.path.join(package, old)):
            os.remove(os.path.join(package, old))

    proc = subprocess.Popen(["wine", os.path.join(dist, "Kitpress.exe")], cwd=ROOT,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    b = Builder(fail)
    try:
        b.wait_main()
        shot("run-main")
        print("The Skykit Builder is running; its main window: build/shots/run-main.png")
        b.enter_project("Heathrow Mini", "SAMPLE", "Skykit Sample", "sample@example.com")
        b.settings(os.path.join(pics, "splash.bmp"), os.path.join(pics, "screen1.jpg"), "run-settings")
        b.locate(addon)
        b.build(progress_shot="run-progress")
        shot("run-done")
        b.create_zip("Heathrow-Mini")
        b.quit()
        wait_exit(proc, 30)
    except (Stop, AssertionError) as e:
        print(f"The sample build stopped: {e}", file=sys.stderr)
        drv("kill", "Kitpress.exe")
        return 1
    print("Built the sample add-on (samples/addon) through the builder's windows:")
    print("  package directory: build/dist/SAMPLE (Setup.skb, Kitsetup.ini, Setup.exe, ...)")
    print("  distribution ZIP:  build/dist/SAMPLE/Heathrow-Mini.zip")
    shots = [n for n in ("run-main", "run-settings", "run-progress", "run-done")
             if os.path.exists(os.path.join(os.environ["SKYKIT_SHOTS"], n + ".png"))]
    print("  screenshots:       " + ", ".join(f"build/shots/{n}.png" for n in shots))
    return 0


if __name__ == "__main__":
    sys.exit(main())
