"""The explorer as a person uses it: started from the install directory, a project folder
entered and left, a protected file refused, a file deleted, the message panel, mail through a
Simple MAPI of our own, the address box remembered, and the window closed."""
import os
import shutil
import subprocess
import time
import unittest

from skykit_e2e import DRIVER, InstallDir, drv, picture, rect, shot, wait_exit

MAIN = ("Skykit Builder", "Skykit Explorer")      # window class, window text
SKIN_ERROR = "Skykit Builder|Error while reading 'Skin32.dll'. This application will terminate.|exclamation"
# Client points of the buttons (the main panel starts 25 below the top, the button bar 238 into it).
REFRESH, SEND, DELETE, OK, CLOSE = (41, 287), (99, 287), (221, 287), (348, 287), (422, 287)
MAPI_DOUBLE = os.path.join(os.path.dirname(DRIVER), "mapi-double", "mapi32.dll")


def items():
    code, out = drv("items", *MAIN)
    assert code == 0, "no list view"
    return [line.split("|") for line in out]


def names():
    return [i[1] for i in items()]


def point(name):
    for i in items():
        if i[1] == name:
            x, y, w, h = (int(v) for v in i[2].split())
            return x + 12, y + h // 2
    raise AssertionError(f"{name} is not listed: {names()}")


def click_item(name, how="left"):
    drv("click", *MAIN, *point(name), how)


def press(at):
    drv("click", *MAIN, *at)


def keep_wine_running():
    """Starts the Wine server and its desktop process unless they run. Started by a driver
    call, they would inherit that call's output pipe and keep it open, so that the call would
    never end; started from here they write nowhere."""
    subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    subprocess.run(["wine", DRIVER, "list"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)


class Explorer(unittest.TestCase):
    def setUp(self):
        keep_wine_running()
        self.inst = None
        self.proc = None
        self.saved_overrides = os.environ.get("WINEDLLOVERRIDES")

    def tearDown(self):
        if self.inst:
            self.inst.stop(self.proc, "Kitlens.exe")
            self.inst.remove()
        if self.saved_overrides is None:
            os.environ.pop("WINEDLLOVERRIDES", None)
        else:
            os.environ["WINEDLLOVERRIDES"] = self.saved_overrides

    def launch(self, without=(), mapi=False):
        if self.inst is None:
            self.inst = InstallDir(without=without)
            os.makedirs(self.inst.file("MyScenery/Textures"))
            with open(self.inst.file("MyScenery/scenery.bgl"), "wb") as f:
                f.write(b"\0" * 2500)
            with open(self.inst.file("MyScenery/read me.txt"), "w") as f:
                f.write("notes\n")
        if mapi:
            shutil.copy(MAPI_DOUBLE, self.inst.path)
            os.environ["WINEDLLOVERRIDES"] = "mscoree,mshtml=;mapi32=n"
        self.proc = self.inst.start("Kitlens.exe")

    def wait_main(self):
        code, out = drv("wait", *MAIN, 30000)
        self.assertEqual(code, 0, "the explorer window did not appear")
        return rect(out[0])

    def height(self):
        return self.wait_main()[3]

    def test_folders_protection_deletion_panel_and_close(self):
        self.launch()
        x, y, w, h = self.wait_main()
        self.assertEqual(h, 375)
        self.assertLessEqual(w - 473, 8)   # no caption bar, a thin frame
        listed = names()
        folders = [n for n in listed if os.path.isdir(self.inst.file(n))]
        self.assertEqual(listed[:len(folders)], folders)     # folders first
        self.assertIn("MyScenery", folders)
        self.assertIn("Readme.txt", listed)
        self.assertIn("Kitlens.exe", listed)

        # A protected file is refused and stays.
        click_item("Readme.txt")
        shot("explorer-install")
        picture("explorer", MAIN)
        press(DELETE)
        code, out = drv("msgbox", 10000)
        self.assertEqual(code, 0, "no refusal")
        self.assertEqual(out[0], "Skykit Builder|Readme.txt is protected by SKKT and can not be deleted by "
                                 "Skykit Explorer.|exclamation")
        self.assertTrue(os.path.exists(self.inst.file("Readme.txt")))

        # Into the project folder: its own entries, folders first.
        click_item("MyScenery", "double")
        self.assertEqual(names(), ["Textures", "read me.txt", "scenery.bgl"])
        click_item("scenery.bgl")
        shot("explorer-project")

        # The first Send opens the message panel, the second with no recipient closes it.
        press(SEND)
        self.assertEqual(self.height(), 514)
        drv("settext", *MAIN, 2, "My scenery")
        shot("explorer-mail")
        picture("explorer-mail", MAIN)
        press(SEND)
        self.assertEqual(self.height(), 375)

        # A file of the project folder is deleted after Yes.
        click_item("scenery.bgl")
        press(DELETE)
        code, out = drv("msgbox", 10000, "Yes")
        self.assertEqual(out[0], "Delete file|Are you sure you want to delete scenery.bgl?|question")
        self.assertFalse(os.path.exists(self.inst.file("MyScenery/scenery.bgl")))
        self.assertEqual(names(), ["Textures", "read me.txt"])

        # Refresh returns to the install directory.
        press(REFRESH)
        self.assertEqual(names(), listed)

        press(CLOSE)
        self.assertTrue(wait_exit(self.proc, 20), "the explorer did not end")
        ini = self.inst.ini()
        self.assertTrue(ini.get("Skykit Explorer", "Url").startswith("https://"))
        self.assertEqual(os.path.getsize(self.inst.file("hyper.add")), 0)

    def test_the_list_menu_acts_on_the_item_under_the_right_button_and_shows_the_about_box(self):
        self.launch()
        self.wait_main()
        click_item("MyScenery", "double")
        click_item("scenery.bgl")
        # The right button selects another item; the menu's Delete asks about that one.
        click_item("read me.txt", "right")
        code, out = drv("menu", 5000, "down", "down", "enter")
        self.assertEqual(code, 0, "no menu")
        code, out = drv("msgbox", 10000, "No")
        self.assertEqual(out[0], "Delete file|Are you sure you want to delete read me.txt?|question")
        self.assertTrue(os.path.exists(self.inst.file("MyScenery/read me.txt")))
        self.assertEqual(names(), ["Textures", "read me.txt", "scenery.bgl"])

        # The last item opens the about box of the dialog library.
        click_item("scenery.bgl", "right")
        drv("menu", 5000, "up", "enter")
        code, out = drv("wait", "*", "About Skykit", 10000)
        self.assertEqual(code, 0, "no about box")
        shot("explorer-about")
        drv("close", "*", "About Skykit")
        self.assertEqual(drv("gone", "*", "About Skykit", 5000)[0], 0)
        drv("close", *MAIN)
        self.assertTrue(wait_exit(self.proc, 20))

    def test_the_address_is_remembered_and_the_link_list_emptied(self):
        self.launch()
        self.wait_main()
        # An address the shell cannot open: nothing starts, the list still records it.
        drv("settext", *MAIN, 0, "Z:\\no such place")
        drv("click", *MAIN, 300, 41)      # into the address box, then Enter
        drv("key", *MAIN, 13)
        with open(self.inst.file("hyper.add"), "rb") as f:
            self.assertEqual(f.read(), b"Z:\\no such place\r\n")
        press(OK)
        self.assertTrue(wait_exit(self.proc, 20))
        self.assertEqual(self.inst.ini().get("Skykit Explorer", "Url"), "Z:\\no such place")
        self.assertEqual(os.path.getsize(self.inst.file("hyper.add")), 0)

        self.launch()
        self.wait_main()
        code, out = drv("texts", *MAIN)
        combo = [l for l in out if l.startswith("ComboBox|")]
        self.assertEqual(combo[0].split("|")[1], "Z:\\no such place")
        drv("close", *MAIN)
        self.assertTrue(wait_exit(self.proc, 20))

    def test_a_file_is_mailed_through_simple_mapi(self):
        self.launch(mapi=True)
        self.wait_main()
        click_item("MyScenery", "double")
        click_item("scenery.bgl")
        press(SEND)
        drv("settext", *MAIN, 1, "pilot@example.com")
        drv("settext", *MAIN, 3, "Here it is")
        press(SEND)
        log = self.inst.file("mapi32.log")
        lines = []
        for _ in range(50):
            if os.path.exists(log):
                with open(log) as f:
                    lines = f.read().splitlines()
                if lines and lines[-1].startswith("MAPILogoff"):
                    break
            time.sleep(0.1)
        send = [l for l in lines if l.startswith("MAPISendMail|")]
        self.assertEqual(len(send), 1, lines)
        fields = send[0].split("|")
        self.assertEqual(fields[4], "Skykit")
        self.assertEqual(fields[5], "Here it is")
        files = [l.split("|") for l in lines if l.startswith("file|")]
        self.assertEqual(files[0][1], self.inst.windows_path() + "MyScenery\\scenery.bgl")
        self.assertEqual(files[0][2], "scenery.bgl")
        self.assertEqual(files[0][6], "2500")
        self.assertIn("recip|1|pilot@example.com|SMTP:pilot@example.com|4|EID1", lines)
        self.assertEqual(self.height(), 375)
        drv("close", *MAIN)
        self.assertTrue(wait_exit(self.proc, 20))

    def test_without_skin_library_it_says_so_and_ends(self):
        self.launch(without=("Skin32.dll",))
        code, out = drv("msgbox", 30000)
        self.assertEqual(code, 0, "no message")
        self.assertEqual(out[0], SKIN_ERROR)
        self.assertTrue(wait_exit(self.proc, 20), "the explorer kept running")


if __name__ == "__main__":
    unittest.main()
