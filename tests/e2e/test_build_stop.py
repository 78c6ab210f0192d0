"""The end of a build as the author sees it: the "Building..." window gone before the
project-complete dialog opens (and that dialog above the main window), and Cancel at the first
moment of a build of large files, in the last moments of a small one, and while the dialog
makes its ZIP: each stops at once or is too late, and the earlier files stay byte for byte."""
import os
import random
import shutil
import sys
import time
import unittest

from skykit_e2e import BUILDING, DONE, MAIN, PANEL, ROOT, Builder, InstallDir, drv, shot, wait_exit, win_path


def read(path):
    with open(path, "rb") as f:
        return f.read()


class BuildStop(unittest.TestCase):
    def setUp(self):
        self.inst = InstallDir()
        self.proc = self.inst.start("Kitpress.exe")
        self.addon = os.path.join(self.inst.path, "addon")
        shutil.copytree(os.path.join(ROOT, "samples", "addon"), self.addon)
        self.package = os.path.join(self.inst.path, "EGLL")
        self.b = Builder(self.fail)
        self.b.wait_main()

    def tearDown(self):
        self.inst.stop(self.proc, "Kitpress.exe")
        self.inst.remove()

    def project(self):
        self.b.enter_project("Heathrow Mini", "EGLL", "Ann Berg", "ann@example.com")
        self.b.type_into(MAIN, 212, PANEL + 284, win_path(self.addon) + "\\")

    def windows(self):
        """The visible top-level windows, topmost first, as (class, title)."""
        return [tuple(l.split("|")[:2]) for l in drv("list")[1]]

    def watch(self, *cancel):
        """Presses Build and watches the build until its end (in ms from the press), pressing
        Cancel as `cancel` says (driver's clickwatch); returns its lines."""
        bmp = os.path.join(self.inst.path, "progress.bmp")
        code, out = drv("clickwatch", *MAIN, 400, PANEL + 337, *BUILDING, *DONE, 5, 120000, win_path(bmp), *cancel)
        self.assertEqual(code, 0, out[-3:])
        return out

    def build_and_cancel(self, at):
        """Presses Build and then Cancel (`at`: a position of the whole-batch bar, or "tMS" after
        the press). Returns whether the build completed after all, and the seconds from the
        press of Cancel to its end (None when the build had ended before)."""
        out = self.watch(at)
        pressed = [int(l.split()[1]) for l in out if l.startswith("cancel ")]
        ended = int(out[-1].split()[1])
        # A build that was already complete opens its dialog as soon as its window has gone.
        complete = out[-1].startswith("done") or drv("wait", *DONE, 3000)[0] == 0
        self.assertNotIn(BUILDING, self.windows())
        return complete, (ended - pressed[0]) / 1000 if pressed else None

    def leave_dialog(self):
        self.assertEqual(drv("press", *DONE, "Cancel")[0], 0)
        self.assertEqual(drv("gone", *DONE, 10000)[0], 0)

    def test_the_progress_window_goes_before_the_dialog_and_a_late_cancel_is_too_late(self):
        # A small add-on, built in a second or so.
        rnd = random.Random(7)
        words = [bytes(rnd.randrange(256) for _ in range(rnd.randrange(3, 12))) for _ in range(600)]
        with open(os.path.join(self.addon, "scenery", "EGLL_mesh.bgl"), "wb") as f:
            f.write(b"".join(rnd.choice(words) for _ in range(600_000)))
        self.project()
        took = int(self.watch()[-1].split()[1])
        # The dialog is up: the progress window has gone, and the dialog is above the main window.
        shown = self.windows()
        shot("build-stop-complete", fit=False)
        self.assertNotIn(BUILDING, shown)
        self.assertIn(DONE, shown)
        self.assertLess(shown.index(DONE), shown.index(MAIN))
        self.leave_dialog()

        # Cancel in the last moments of the build: stopped, or too late; never half of each.
        for n, at in enumerate((took // 2, took * 8 // 10, took - 20)):
            with open(os.path.join(self.addon, "build.txt"), "w") as f:
                f.write("build %d\n" % n)
            before = read(os.path.join(self.package, "Setup.skb"))
            listing = sorted(os.listdir(self.package))
            self.project()
            complete, seconds = self.build_and_cancel("t%d" % at)
            self.assertLess(seconds or 0, 5, "the main window came back %.1f s after Cancel" % (seconds or 0))
            after = read(os.path.join(self.package, "Setup.skb"))
            print("Cancel %d ms after Build (the build took %d ms): %s" % (at, took, "too late" if complete else
                  "stopped"), file=sys.stderr)
            if complete:
                self.assertNotIn(BUILDING, self.windows())
                self.assertNotEqual(after, before)
                self.leave_dialog()
            else:
                self.assertEqual(after, before)
                self.assertEqual(sorted(os.listdir(self.package)), listing)   # nothing temporary left
        self.b.quit()
        self.assertTrue(wait_exit(self.proc, 30))

    def test_cancel_at_once_on_large_files_and_while_the_dialog_makes_its_zip(self):
        self.project()
        self.b.build()
        self.b.create_zip("release")
        package_files = {n: read(os.path.join(self.package, n)) for n in os.listdir(self.package)}
        big = [os.path.join(self.addon, "scenery", "big%d.bgl" % i) for i in range(8)]
        for path in big:
            with open(path, "wb") as f:
                f.write(os.urandom(20_000_000))

        self.project()
        t0 = time.monotonic()
        complete, seconds = self.build_and_cancel(0)
        self.assertFalse(complete)
        self.assertIsNotNone(seconds)
        print("Cancel at once on 8 x 20 MB: stopped %.2f s after the press" % seconds, file=sys.stderr)
        self.assertLess(seconds, 5, "the build stopped %.1f s after Cancel" % seconds)
        self.assertEqual({n: read(os.path.join(self.package, n)) for n in os.listdir(self.package)}, package_files)
        self.assertLess(time.monotonic() - t0, 60)

        # A package with large files, then its ZIP stopped: the earlier ZIP stays as it was.
        for path in big[3:]:
            os.remove(path)
        self.project()
        self.b.build()
        self.assertEqual(drv("settext", *DONE, 0, "release")[0], 0)
        self.assertEqual(drv("press", *DONE, "Create Zip")[0], 0)
        self.assertEqual(drv("msgbox", 10000, "Yes")[0], 0)             # overwrite the earlier ZIP?
        shot("build-stop-zip-packing", fit=False)
        self.assertEqual(drv("press", *DONE, "Cancel")[0], 0)
        for _ in range(100):                                           # Create Zip can be pressed again
            buttons = [t for t in drv("texts", *DONE)[1] if t.startswith("Button|Create Zip|")]
            if buttons and buttons[0].split("|")[3] == "1":
                break
            time.sleep(0.1)
        shot("build-stop-zip-cancelled")
        self.assertEqual(buttons[0].split("|")[3], "1")
        self.assertEqual(read(os.path.join(self.package, "release.zip")), package_files["release.zip"])
        self.assertEqual(sorted(os.listdir(self.package)), sorted(package_files))
        self.leave_dialog()
        self.b.quit()
        self.assertTrue(wait_exit(self.proc, 30))


if __name__ == "__main__":
    unittest.main()
