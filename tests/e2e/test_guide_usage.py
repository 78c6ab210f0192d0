"""The guide names every switch, command, option and exit code that the programs themselves
print: Setup.exe /?, the self-extractor's answer to a switch it does not know, Kitzip -h. A new
switch or exit code without its line in the guide fails here."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from skykit_e2e import DIST, ROOT, drv, wait_exit, wine

sys.path.insert(0, os.path.join(ROOT, "tests", "guide"))
from test_guide import SHIPPED, read_pages, squeeze  # noqa: E402

SWITCH = re.compile(r"(?<![\w/])/[A-Za-z?]+=?")
OPTION = re.compile(r"(?<=[\s\[|])--?[a-z0-9]+(?:\.\.-[0-9])?(?![\w-])")
EXIT_LINE = re.compile(r"^\s+(\d)\s\s+(.*)$", re.M)


def shown_in_box(program, *args):
    """A Windows program that answers in a message box: its text (line breaks kept) and its
    exit code."""
    proc = subprocess.Popen(["wine", program, *args], cwd=tempfile.gettempdir(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    code, out = drv("msgbox", 60000)
    if not wait_exit(proc, 30):
        proc.kill()
    if code != 0 or not out:
        raise AssertionError(f"{program} {' '.join(args)} showed no message")
    return out[0].split("|")[1].replace("~", "\n"), proc.returncode


class UsageTexts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        pages = read_pages(SHIPPED)
        cls.code = "\n".join(squeeze(c) for p in pages.values() for c in p.code)
        rows = pages["users.htm"].tables["exit-code-table"]
        cls.columns = [squeeze(c) for c in rows[0]]
        cls.exits = {int(r[0]): [squeeze(c) for c in r] for r in rows[1:]}
        cls.tmp = tempfile.mkdtemp(prefix="skykit-usage-")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def named(self, token):
        """The token stands in some code of the guide, as a whole word."""
        return re.search(r"(?<![\w-])" + re.escape(token) + (r"" if token.endswith("=") else r"(?![\w=])"), self.code)

    def check_exit_codes(self, program, codes, exactly=True):
        """The program's column of the table holds the codes the program lists (and no other)."""
        column = next(i for i, c in enumerate(self.columns) if c.startswith(program))
        documented = {code for code, row in self.exits.items() if row[column]}
        if exactly:
            self.assertEqual(documented, set(codes), f"the exit codes of {program} in the guide's table")
        else:
            self.assertLessEqual(set(codes), documented, f"the exit codes of {program} in the guide's table")

    def test_setup_and_the_uninstaller(self):
        setup = os.path.join(self.tmp, "Setup.exe")
        shutil.copyfile(os.path.join(DIST, "Setup.dll"), setup)
        text, code = shown_in_box(setup, "/?")
        self.assertEqual(code, 0)
        switches = set(SWITCH.findall(text))
        self.assertTrue({"/S", "/D=", "/LOG=", "/U=", "/?"} <= switches, switches)
        for switch in sorted(switches):
            with self.subTest(switch=switch):
                self.assertTrue(self.named(switch), f"Setup's switch {switch} is not in the guide")
        listed = EXIT_LINE.findall(text.split("Exit codes:", 1)[1])
        self.assertGreaterEqual(len(listed), 8)
        self.check_exit_codes("Setup.exe", [int(c) for c, _ in listed])
        # The usage names the uninstaller only where its meaning differs from Setup's.
        self.check_exit_codes("Uninstaller", [int(c) for c, what in listed if "uninstaller:" in what], exactly=False)

    def test_the_self_extractor(self):
        stub = os.path.join(self.tmp, "Download.exe")
        shutil.copyfile(os.path.join(DIST, "SFXSTUB.BIN"), stub)
        text, code = shown_in_box(stub, "/WHAT")
        self.assertIn("is not understood", text)
        switches = set(SWITCH.findall(text)) - {"/WHAT"}
        self.assertEqual(switches, {"/S", "/D="})
        for switch in sorted(switches):
            with self.subTest(switch=switch):
                self.assertTrue(self.named(switch), f"the self-extractor's switch {switch} is not in the guide")
        column = next(i for i, c in enumerate(self.columns) if c.startswith("Self-extractor"))
        self.assertTrue(self.exits[code][column], f"the self-extractor's exit code {code} is not in the guide")

    def test_kitzip(self):
        r = wine(os.path.join(DIST, "Kitzip.exe"), "-h")
        self.assertEqual(r.returncode, 0)
        text = r.stdout
        commands = re.findall(r"^\s+Kitzip (\S+)", text, re.M)
        self.assertGreaterEqual(len(commands), 10)
        usage = text.split("Exit codes:", 1)[0]
        for token in sorted({"Kitzip " + c for c in commands} | set(OPTION.findall(usage)) | set(SWITCH.findall(usage))):
            with self.subTest(token=token):
                self.assertTrue(self.named(token), f"Kitzip's {token} is not in the guide")
        self.check_exit_codes("Kitzip", [int(c) for c, _ in EXIT_LINE.findall(text.split("Exit codes:", 1)[1])])


if __name__ == "__main__":
    unittest.main()
