"""The guide as it ships (Help in the install directory): every page reached from the start
page, every link, section and picture there, every picture true to its window, every quoted
message in the programs' own words, every feature the README names."""
import html
import os
import re
import struct
import sys
import unittest

ROOT = os.environ.get("SKYKIT_ROOT") or os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
SHIPPED = os.path.join(os.environ.get("SKYKIT_DIST") or os.path.join(ROOT, "build", "dist"), "Help")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import guide_pictures  # noqa: E402


def read(path, encoding="latin-1"):
    with open(path, encoding=encoding) as f:
        return f.read()


def squeeze(text):
    return " ".join(html.unescape(re.sub(r"<[^>]*>", " ", text)).split())


def pages():
    return {n: read(os.path.join(SHIPPED, n), "ascii") for n in os.listdir(SHIPPED) if n.endswith(".htm")}


def codes(page):
    return [squeeze(c) for c in re.findall(r"<code>(.*?)</code>", page, re.S)]


def table(page, name):
    """The rows of cell texts of the table with that id."""
    body = re.search(rf'<table id="{name}">(.*?)</table>', page, re.S).group(1)
    return [[squeeze(c) for c in re.findall(r"<t[dh][^>]*>(.*?)</t[dh]>", row, re.S)]
            for row in re.findall(r"<tr>(.*?)</tr>", body, re.S)]


def program_strings():
    """The string literals of each source file of the programs, in their order (comments and
    character literals skipped, escapes read): a message made of several reads on across them."""
    token = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:\\.|[^\'\\\n])*\'|"((?:\\.|[^"\\\n])*)"', re.S)
    out = []
    for top in ("builder", "explorer", "archive", "installer", "kitzip", "kitbuild", "ui", "resources"):
        for folder, _, files in os.walk(os.path.join(ROOT, top)):
            for f in sorted(x for x in files if x.endswith((".cpp", ".h", ".rc", ".rc.in"))):
                found = [m.group(1) for m in token.finditer(read(os.path.join(folder, f))) if m.group(1) is not None]
                out.append(" ".join(" ".join(re.sub(r"\\(.)", lambda e: {"n": " "}.get(e.group(1), e.group(1)), s)
                                             .split()) for s in found))
    return "\n".join(out)


def readme_features():
    """The bold words of the README's parts about the product, and what Readme.txt quotes."""
    parts = re.split(r"^## ", read(os.path.join(ROOT, "README.md"), "utf-8"), flags=re.M)
    about = [parts[0]] + [p for p in parts[1:] if p.startswith(("The builder's release flow", "Supported Windows"))]
    names = {squeeze(b).strip('"`') for p in about for b in re.findall(r"\*\*(.+?)\*\*", p, re.S)}
    return names | set(re.findall(r'"([^"\n]{2,60})"', read(os.path.join(ROOT, "resources", "Readme.txt"))))


class Guide(unittest.TestCase):
    def test_every_page_link_section_and_picture_is_there(self):
        guide, source = pages(), os.path.join(ROOT, "resources", "Help")
        for name in sorted(set(os.listdir(source)) | set(os.listdir(SHIPPED))):  # shipped whole, as it is
            with self.subTest(file=name):
                ours, shipped = (read(os.path.join(d, name)).replace("\r\n", "\n") for d in (source, SHIPPED))
                self.assertEqual(ours, shipped)
        reached, todo = set(), ["Index.htm"]
        while todo:
            name = todo.pop()
            if name not in reached:
                reached.add(name)
                todo += [l.split("#")[0] for l in re.findall(r'href="([^"]+\.htm)', guide.get(name, ""))]
        self.assertEqual(sorted(reached & set(guide)), sorted(guide), "every page reached from the start page")
        for name, page in guide.items():
            nav = re.search(r'<ul class="nav">(.*?)</ul>', page, re.S).group(1)
            with self.subTest(page=name, navigation=nav):
                self.assertEqual(sorted(re.findall(r'href="([^"]+)"', nav)), sorted(guide))
            for link in re.findall(r'href="([^"]*)"', page):
                target, _, section = link.partition("#")
                with self.subTest(page=name, link=link):
                    self.assertTrue(os.path.isfile(os.path.join(SHIPPED, target or name)))
                    if section:
                        self.assertIn(f'id="{section}"', guide.get(target or name, ""))
            for img in re.findall(r"<img ([^>]*)>", page):
                a = dict(re.findall(r'(\w+)="([^"]*)"', img))
                with self.subTest(page=name, picture=a["src"]), open(os.path.join(SHIPPED, a["src"]), "rb") as f:
                    self.assertEqual(struct.unpack(">II", f.read(24)[16:24]), (int(a["width"]), int(a["height"])))
                    self.assertTrue(a.get("alt"))

    def test_every_picture_is_the_tests_picture_of_its_window_as_it_is_now(self):
        shown = {src[:-4] for page in pages().values() for src in re.findall(r'<img src="([^"]+)"', page)}
        self.assertEqual(shown, {e.name for e in guide_pictures.read_manifest()[0]})
        self.assertEqual(guide_pictures.problems(), [])

    def test_every_quoted_message_is_in_the_programs_own_words(self):
        words = program_strings()
        quoted = [m for page in pages().values() for m in re.findall(r'<q class="msg">(.*?)</q>', page, re.S)]
        self.assertGreater(len(quoted), 60)
        for message in quoted:
            # An element inside a message (<var>) stands for what the program fills in.
            pieces = [squeeze(p) for p in re.split(r"<(\w+)[^>]*>.*?</\1>", message, flags=re.S)[::2]]
            with self.subTest(message=squeeze(message)):
                self.assertGreaterEqual(max(map(len, pieces)), 12, "too little of the message to check")
                for piece in filter(None, pieces):
                    self.assertTrue(piece in words, f"not in the programs: {piece}")

    def test_names_every_feature_the_readme_names(self):
        text = squeeze(" ".join(pages().values())).lower()
        for feature in sorted(readme_features()):
            with self.subTest(feature=feature):
                self.assertTrue(squeeze(feature).lower() in text, f"the guide does not name {feature}")


if __name__ == "__main__":
    unittest.main()
