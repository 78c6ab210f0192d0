"""The builder as a person starts it: splash, skinned main window, dragging, the title
strip's menu, quitting, and what the settings file holds afterwards."""
import unittest

from skykit_e2e import InstallDir, drv, rect, shot, wait_exit

MAIN = ("Skykit Builder", "Skykit Builder")      # window class, window text
SKIN_ERROR = "Skykit Builder|Error while reading 'Skin32.dll'. This application will terminate.|exclamation"
TEMP_KEYS = ["One", "Two", "Three", "Four", "Splash", "Splash_Width", "Splash_Height", "Project"]


class BuilderStart(unittest.TestCase):
    def setUp(self):
        self.inst = None
        self.proc = None

    def tearDown(self):
        if self.inst:
            self.inst.stop(self.proc, "Kitpress.exe")
            self.inst.remove()

    def launch(self, without=(), ini=None):
        self.inst = InstallDir(without=without)
        if ini is not None:
            with open(self.inst.file("Kitforge.ini"), "w", encoding="latin-1") as f:
                f.write(ini)
        self.proc = self.inst.start("Kitpress.exe")

    def wait_main(self):
        code, out = drv("wait", *MAIN, 120000)
        self.assertEqual(code, 0, "the main window did not appear")
        return rect(out[0])

    def test_first_run_splash_drag_menu_and_quit(self):
        self.launch()
        code, out = drv("wait", "TSkykitForm", "*", 120000)
        self.assertEqual(code, 0, "no splash")
        x, y, w, h = rect(out[0])
        self.assertEqual((w, h), (399, 300))
        shot("builder-splash")

        x0, y0, w0, h0 = self.wait_main()
        self.assertEqual(drv("gone", "TSkykitForm", "*", 5000)[0], 0, "the splash stayed up")
        self.assertLessEqual(h0 - 393, 8)       # no caption bar: client height plus a thin border
        shot("builder-main")

        # The left button drags the window by its title strip.
        drv("drag", *MAIN, 200, 12, 60, 40)
        x1, y1, _, _ = self.wait_main()
        self.assertEqual((x1 - x0, y1 - y0), (60, 40))

        # The right button opens the menu (two items and a separator) and does not move the window.
        drv("click", *MAIN, 200, 12, "right")
        code, out = drv("menu", 5000)
        self.assertEqual(code, 0, "no popup menu")
        mx, my, mw, mh = rect(out[0])
        self.assertTrue(x1 + 200 - 2 <= mx <= x1 + 210 and y1 <= my <= y1 + 30, out[0])
        shot("builder-title-menu")
        drv("menu", 2000, "escape")
        self.assertEqual(self.wait_main()[:2], (x1, y1))

        # "Quit" image button: client point of Image4 (440,325 on the panel below the strip).
        drv("click", *MAIN, 472, 26 + 337)
        self.assertTrue(wait_exit(self.proc, 20), "the builder did not end")
        ini = self.inst.ini()
        self.assertEqual(ini.get("Addon", "Type"), "Scenery")
        self.assertEqual(ini.get("SKKT", "Path"), self.inst.windows_path())
        self.assertFalse(ini.has_section("Temp") and any(ini.has_option("Temp", k) for k in TEMP_KEYS))

    def test_menu_quit_stores_like_the_quit_button_and_clears_temp(self):
        self.launch(ini="[Temp]\n" + "".join(f"{k}=x\n" for k in TEMP_KEYS) + "[Keep]\nA=1\n")
        self.wait_main()
        drv("click", *MAIN, 200, 12, "right")
        self.assertEqual(drv("menu", 5000, "up", "enter")[0], 0)       # the last item, "Quit"
        self.assertTrue(wait_exit(self.proc, 20))
        ini = self.inst.ini()
        self.assertEqual(ini.get("Addon", "Type"), "Scenery")
        self.assertTrue(ini.get("SKKT", "Path").endswith("\\"))
        self.assertEqual([k for k in TEMP_KEYS if ini.has_option("Temp", k)], [])
        self.assertEqual(ini.get("Keep", "A"), "1")

    def test_menu_minimize_takes_the_window_to_the_taskbar(self):
        self.launch()
        self.wait_main()
        drv("click", *MAIN, 200, 12, "right")
        self.assertEqual(drv("menu", 5000, "down", "enter")[0], 0)     # the first item, "Minimize"
        code, out = drv("iconic", *MAIN)
        self.assertEqual(out, ["iconic"])
        self.assertIsNone(self.proc.poll())

    def test_closing_from_outside_clears_temp_but_stores_nothing(self):
        self.launch(ini="[Temp]\nOne=C:\\a.jpg\nProject=ABC\n")
        self.wait_main()
        drv("close", *MAIN)
        self.assertTrue(wait_exit(self.proc, 20))
        ini = self.inst.ini()
        self.assertFalse(ini.has_option("Temp", "One"))
        self.assertFalse(ini.has_option("Temp", "Project"))
        self.assertFalse(ini.has_section("Addon"))
        self.assertFalse(ini.has_section("SKKT"))

    def test_without_skin_library_each_form_says_so_then_the_program_ends(self):
        self.launch(without=("Skin32.dll",))
        boxes = []
        for _ in range(5):
            code, out = drv("msgbox", 30000)
            self.assertEqual(code, 0, f"expected five messages, got {boxes}")
            boxes.append(out[0])
        self.assertEqual(boxes, [SKIN_ERROR] * 5)
        self.assertTrue(wait_exit(self.proc, 20), "the builder kept running")
        self.assertEqual(drv("wait", *MAIN, 500)[0], 1)


if __name__ == "__main__":
    unittest.main()
