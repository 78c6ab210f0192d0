"""The guide names every switch, command, option and exit code that the programs print
themselves: Setup.exe /?, the self-extractor's answer to a switch it does not know, Kitzip -h.
A new switch or exit code without its line in the guide fails here."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from skykit_e2e import DIST, ROOT, drv, wait_exit, wine

sys.path.insert(0, os.path.join(ROOT, "tests", "guide"))
from test_guide import codes, pages, table  # noqa: E402

SWITCH = re.compile(r"(?<![\w/])/[A-Za-z?]+=?")
OPTION = re.compile(r"(?<=[\s\[|])--?[a-z0-9]+(?:-[a-z]+)*(?:\.\.-[0-9])?(?![\w-])")
EXIT = re.compile(r"^\s+(\d)\s\s+(.*)$", re.M)


def answer_in_box(copy_of, name, *args):
    """Runs a copy of a program of the install directory that answers in a message box: the
    box's text and the program's exit code."""
    program = os.path.join(tempfile.mkdtemp(prefix="skykit-usage-"), name)
    shutil.copyfile(os.path.join(DIST, copy_of), program)
    proc = subprocess.Popen(["wine", program, *args], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    code, out = drv("msgbox", 60000)
    wait_exit(proc, 30)
    shutil.rmtree(os.path.dirname(program), ignore_errors=True)
    if code != 0:
        raise AssertionError(f"{name} {' '.join(args)} showed no message")
    return out[0].split("|")[1].replace("~", "\n"), proc.returncode


class UsageTexts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        guide = pages()
        cls.code = "\n".join(c for page in guide.values() for c in codes(page))
        rows = table(guide["users.htm"], "exit-code-table")
        cls.columns, cls.rows = rows[0], rows[1:]

    def check(self, program, tokens, exits, exactly=True):
        """Each token stands in some code of the guide as a whole word; the program's column
        of the exit-code table holds the codes it lists (and, exactly, no other)."""
        for token in sorted(set(tokens)):
            with self.subTest(program=program, token=token):
                word = r"(?<![\w-])" + re.escape(token) + ("" if token[-1] == "=" else r"(?![\w=])")
                self.assertTrue(re.search(word, self.code), f"the guide does not name {token}")
        column = next(i for i, c in enumerate(self.columns) if c.startswith(program))
        documented = {int(r[0]) for r in self.rows if r[column]}
        if exactly:
            self.assertEqual({int(c) for c in exits}, documented, program)
        else:
            self.assertLessEqual({int(c) for c in exits}, documented, program)

    def test_setup_and_the_uninstaller(self):
        text, code = answer_in_box("Setup.dll", "Setup.exe", "/?")
        self.assertEqual(code, 0)
        exits = EXIT.findall(text.split("Exit codes:", 1)[1])
        self.assertGreaterEqual(len(exits), 8)
        self.check("Setup.exe", SWITCH.findall(text), [c for c, _ in exits])
        # The usage names the uninstaller where its codes mean something else than Setup's.
        self.check("Uninstaller", [], [c for c, what in exits if "uninstaller:" in what], exactly=False)

    def test_the_self_extractor(self):
        text, code = answer_in_box("SFXSTUB.BIN", "Download.exe", "/WHAT")
        self.assertIn("is not understood", text)
        self.check("Self-extractor", set(SWITCH.findall(text)) - {"/WHAT"}, [code], exactly=False)

    def test_kitzip_and_kitbuild(self):
        for program, least in (("Kitzip", 10), ("Kitbuild", 1)):
            r = wine(os.path.join(DIST, program + ".exe"), "-h")
            usage, _, exits = r.stdout.partition("Exit codes:")
            commands = [program + " " + c for c in re.findall(rf"^\s+{program} (\S+)", usage, re.M)]
            self.assertGreaterEqual(len(commands), least, program)
            self.check(program, commands + OPTION.findall(usage) + SWITCH.findall(usage),
                       [c for c, _ in EXIT.findall(exits)])


if __name__ == "__main__":
    unittest.main()
