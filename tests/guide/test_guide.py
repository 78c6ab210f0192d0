"""The guide as it ships (Help in the install directory): every page whole and reachable, every
link and picture there, every picture true to its window, every message it quotes in the
programs' own words, and every feature the README names."""
import html.parser
import os
import re
import struct
import sys
import unittest

ROOT = os.environ.get("SKYKIT_ROOT") or os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
DIST = os.environ.get("SKYKIT_DIST") or os.path.join(ROOT, "build", "dist")
SOURCE = os.path.join(ROOT, "resources", "Help")
SHIPPED = os.path.join(DIST, "Help")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import guide_pictures  # noqa: E402

VOID = {"meta", "link", "img", "br", "hr"}
# Where the programs keep the words they say.
MESSAGE_SOURCES = ("builder", "explorer", "archive", "installer", "kitzip", "ui", "resources/zipmsg.rc")


def squeeze(text):
    return " ".join(text.split())


class Page(html.parser.HTMLParser):
    """One page: its ids, links, pictures, text, code, navigation and quoted messages, and
    whatever is wrong with its structure."""

    def __init__(self, name, text):
        super().__init__(convert_charrefs=True)
        self.name, self.ids, self.links, self.images, self.nav = name, set(), [], [], []
        self.text, self.code, self.messages, self.faults, self.h1 = [], [], [], [], 0
        self.tables = {}        # id: rows of cell texts
        self.open = []          # (tag, attrs) of the elements open now
        self.message = None     # the pieces of the message being read
        self.feed(text)
        self.close()
        if self.open:
            self.faults.append(f"not closed: {[t for t, _ in self.open]}")

    def table(self):
        """The id of the innermost table open now."""
        return next((a.get("id") for t, a in reversed(self.open) if t == "table"), None)

    def inside(self, tag, cls=None):
        return any(t == tag and (cls is None or cls in (a.get("class") or "").split()) for t, a in self.open)

    def handle_starttag(self, tag, attrs):
        a = dict(attrs)
        if "id" in a:
            if a["id"] in self.ids:
                self.faults.append(f"id {a['id']} twice")
            self.ids.add(a["id"])
        if tag == "a" and "href" in a:
            (self.nav if self.inside("ul", "nav") else self.links).append(a["href"])
        if tag == "img":
            self.images.append(a)
        if tag == "h1":
            self.h1 += 1
        if self.message is not None:
            self.message.append("")
        if tag == "q" and "msg" in (a.get("class") or ""):
            self.message = [""]
        if tag == "table" and "id" in a:
            self.tables[a["id"]] = []
        if tag == "tr" and self.table() in self.tables:
            self.tables[self.table()].append([])
        if tag in ("td", "th") and self.table() in self.tables:
            self.tables[self.table()][-1].append("")
        if tag not in VOID:
            self.open.append((tag, a))

    def handle_endtag(self, tag):
        if tag in VOID:
            return
        if not self.open or self.open[-1][0] != tag:
            self.faults.append(f"</{tag}> closes <{self.open[-1][0] if self.open else 'nothing'}>")
            return
        self.open.pop()
        if tag == "q" and self.message is not None and not self.inside("q"):
            self.messages.append([squeeze(p) for p in self.message if squeeze(p)])
            self.message = None
        elif self.message is not None:
            self.message.append("")

    def handle_data(self, data):
        self.text.append(data)
        if self.table() in self.tables and (self.inside("td") or self.inside("th")):
            self.tables[self.table()][-1][-1] += data
        if self.inside("code"):
            self.code.append(data)
        # Text inside an element of a message (a <var>) stands for what the program fills in.
        if self.message is not None and self.open[-1][0] == "q":
            self.message[-1] += data


def read_pages(folder):
    pages = {}
    for name in sorted(os.listdir(folder)):
        if name.endswith(".htm"):
            with open(os.path.join(folder, name), "rb") as f:
                raw = f.read()
            page = Page(name, raw.decode("ascii", errors="replace"))
            if any(b > 127 for b in raw):
                page.faults.append("a character beyond ASCII (write it as an entity)")
            pages[name] = page
    return pages


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


def strings_of(text):
    """The string literals of a C++ or resource source, in their order, escapes read (comments
    and character literals skipped)."""
    token = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:\\.|[^\'\\\n])*\'|"((?:\\.|[^"\\\n])*)"', re.S)
    escapes = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\", "'": "'"}
    return [re.sub(r"\\(.)", lambda e: escapes.get(e.group(1), e.group(0)), m.group(1))
            for m in token.finditer(text) if m.group(1) is not None]


def code_words():
    """The strings of each source file of the programs, in their order and whitespace
    squeezed: a message built of several strings reads on across them."""
    found = []
    for base in MESSAGE_SOURCES:
        path = os.path.join(ROOT, base)
        files = [path] if os.path.isfile(path) else [os.path.join(d, f) for d, _, fs in os.walk(path) for f in fs]
        for file in sorted(files):
            if file.endswith((".cpp", ".h", ".rc", ".rc.in")):
                with open(file, encoding="latin-1") as f:
                    found.append(squeeze(" ".join(strings_of(f.read()))))
    return "\n".join(found)


def readme_features():
    """What the README presents as features (the bold words of its parts about the product)
    and the names Readme.txt puts in quotes."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        readme = f.read()
    parts = re.split(r"^## ", readme, flags=re.M)
    about = [parts[0]] + [p for p in parts[1:] if p.startswith(("The builder's release flow", "Supported Windows"))]
    names = set()
    for part in about:
        for bold in re.findall(r"\*\*(.+?)\*\*", part, re.S):
            names.add(squeeze(bold).strip('"`'))
    with open(os.path.join(ROOT, "resources", "Readme.txt"), encoding="latin-1") as f:
        names.update(re.findall(r'"([^"\n]{2,60})"', f.read()))
    return sorted(names)


class Guide(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pages = read_pages(SOURCE)
        cls.shipped = read_pages(SHIPPED) if os.path.isdir(SHIPPED) else {}

    def test_every_page_is_whole_reachable_and_in_the_install_directory(self):
        self.assertIn("Index.htm", self.pages)
        for name, page in self.pages.items():
            with self.subTest(page=name):
                self.assertEqual(page.faults, [])
                self.assertEqual(page.h1, 1, "one heading per page")
                # The same navigation on every page, naming every page.
                self.assertEqual(sorted(set(page.nav)), sorted(self.pages), "the navigation")
        seen, todo = set(), ["Index.htm"]
        while todo:
            name = todo.pop()
            if name in seen or name not in self.pages:
                continue
            seen.add(name)
            todo += [link.split("#")[0] for link in self.pages[name].links if link.split("#")[0]]
        self.assertEqual(sorted(seen), sorted(self.pages), "pages the start page's links do not reach")
        # The install directory holds the guide as it is here, and nothing else.
        for name in sorted(set(os.listdir(SOURCE)) | set(os.listdir(SHIPPED))):
            with self.subTest(file=name):
                with open(os.path.join(SOURCE, name), "rb") as f:
                    ours = f.read()
                with open(os.path.join(SHIPPED, name), "rb") as f:
                    shipped = f.read()
                if not name.endswith(".png"):
                    ours, shipped = ours.replace(b"\r\n", b"\n"), shipped.replace(b"\r\n", b"\n")
                self.assertEqual(ours, shipped)

    def test_every_link_and_picture_is_there_offline(self):
        self.assertTrue(self.shipped, SHIPPED)
        for name, page in self.shipped.items():
            for link in page.links + page.nav + ["guide.css"]:
                with self.subTest(page=name, link=link):
                    self.assertNotRegex(link, r"^[a-z]+:", "the guide works without a connection")
                    target, _, section = link.partition("#")
                    target = target or name
                    self.assertTrue(os.path.isfile(os.path.join(SHIPPED, target)), "no such file")
                    if section:
                        self.assertIn(section, self.shipped[target].ids, "no such section")
            for img in page.images:
                with self.subTest(page=name, picture=img.get("src")):
                    size = png_size(os.path.join(SHIPPED, img.get("src", "")))
                    self.assertIsNotNone(size, "missing, or not a PNG picture")
                    self.assertEqual((int(img.get("width", 0)), int(img.get("height", 0))), size)
                    self.assertTrue(img.get("alt"))

    def test_every_picture_is_the_tests_picture_of_its_window_as_it_is_now(self):
        shown = {img["src"][:-4] for page in self.pages.values() for img in page.images}
        listed = {e.name for e in guide_pictures.read_manifest()[0]}
        self.assertEqual(sorted(shown - listed), [], "pictures not made by the end-to-end tests")
        self.assertEqual(sorted(listed - shown), [], "pictures no page shows")
        self.assertEqual(guide_pictures.problems(), [])

    def test_every_message_is_in_the_programs_own_words(self):
        words = code_words()
        quoted = [(name, m) for name, page in self.pages.items() for m in page.messages]
        self.assertGreater(len(quoted), 60)
        for name, message in quoted:
            with self.subTest(page=name, message=" ... ".join(message)):
                self.assertGreaterEqual(max(map(len, message)), 12, "too little of the message to check")
                for piece in message:
                    self.assertTrue(piece in words, f"not in the programs: {piece}")

    def test_names_every_feature_the_readme_names(self):
        text = squeeze(" ".join(" ".join(p.text) for p in self.pages.values())).lower()
        features = readme_features()
        self.assertGreater(len(features), 10)
        for feature in features:
            with self.subTest(feature=feature):
                self.assertIn(squeeze(feature).lower(), text)


if __name__ == "__main__":
    unittest.main()
