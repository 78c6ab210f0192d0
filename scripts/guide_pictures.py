#!/usr/bin/env python3
"""The guide's pictures stay true to the windows they show.

Every picture of the guide (resources/Help/NAME.png) is cut by an end-to-end test out of a
screenshot of the real window (build/shots/guide/NAME.png) and comes with the digest of the
code that lays that window out, taken when the picture was made. resources/guide-pictures.txt
names, for each picture, that code: a whole file (artwork), or a block of a file, written
FILE:ANCHOR, which begins at the first line that holds ANCHOR and does not end in ";" and ends
at the next line as indented as that one that begins with "}" or "END" (a function, a
constructor, a dialog of a resource script). Spaces at the ends of lines do not count.

    python3 scripts/guide_pictures.py      takes the pictures of the last end-to-end run into
                                           resources/Help and records their digests
    python3 scripts/guide_pictures.py -n   only says what is missing or out of date

A picture is out of date when its window's code has changed since it was taken: the test
`guide` then fails until the end-to-end tests have run again and this script has taken the new
pictures. It also fails when a picture was replaced by hand (its own digest differs)."""
import hashlib
import os
import shutil
import subprocess
import sys

ROOT = os.environ.get("SKYKIT_ROOT") or os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
HELP = os.path.join(ROOT, "resources", "Help")
MANIFEST = os.path.join(ROOT, "resources", "guide-pictures.txt")
SHOTS = os.path.join(os.environ.get("SKYKIT_SHOTS") or os.path.join(ROOT, "build", "shots"), "guide")
REFRESH = "run the end-to-end tests (./test -L e2e) and then python3 scripts/guide_pictures.py"


class Entry:
    def __init__(self, name, sources, layout, picture):
        self.name, self.sources, self.layout, self.picture = name, sources, layout, picture


def read_manifest(path=MANIFEST):
    """The entries of the manifest, in its order, and its comment lines."""
    entries, comments = [], []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line.strip() or line.startswith("#"):
                comments.append(line)
                continue
            cols = [c.strip() for c in line.split("|")]
            if len(cols) != 4 or not cols[0] or not cols[1]:
                raise ValueError(f"{path}: not 'name | layout | digest | digest': {line}")
            entries.append(Entry(cols[0], cols[1].split(), cols[2], cols[3]))
    return entries, comments


def write_manifest(entries, comments, path=MANIFEST):
    width = max(len(e.name) for e in entries)
    srcw = max(len(" ".join(e.sources)) for e in entries)
    with open(path, "w", encoding="utf-8") as f:
        for c in comments:
            f.write(c + "\n")
        for e in entries:
            f.write(f"{e.name:<{width}} | {' '.join(e.sources):<{srcw}} | {e.layout or '-'} | {e.picture or '-'}\n")


def block(path, anchor):
    """The lines of the block of a file that begins at its anchor (see above)."""
    with open(os.path.join(ROOT, path), encoding="latin-1") as f:
        lines = f.read().splitlines()
    for i, line in enumerate(lines):
        if anchor in line and not line.rstrip().endswith(";"):
            indent = len(line) - len(line.lstrip())
            for j in range(i + 1, len(lines)):
                rest = lines[j]
                if len(rest) - len(rest.lstrip()) == indent and (rest.lstrip().startswith("}") or rest.strip() == "END"):
                    return lines[i:j + 1]
            raise ValueError(f"{path}: the block of '{anchor}' has no end")
    raise ValueError(f"{path}: no line holds '{anchor}'")


def layout_digest(sources):
    """The digest of a window's layout code, over its sources in their order."""
    h = hashlib.sha256()
    for source in sources:
        path, _, anchor = source.partition(":")
        if anchor:
            lines = block(path, anchor)
        else:
            with open(os.path.join(ROOT, path), encoding="latin-1") as f:
                lines = f.read().splitlines()
        h.update(source.encode() + b"\0")
        h.update("\n".join(l.strip() for l in lines).encode("latin-1") + b"\0")
    return h.hexdigest()[:16]


def file_digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()[:16]


def entry(name):
    for e in read_manifest()[0]:
        if e.name == name:
            return e
    raise KeyError(f"{name} is no picture of the guide: add it to resources/guide-pictures.txt")


def cut(name, screen, where):
    """Keeps the picture `name`: the rectangle (x, y, w, h) of a screenshot of the screen,
    without metadata (the same window gives the same file), beside the digest of its window's
    layout code as it is now. take() brings both into the guide."""
    os.makedirs(SHOTS, exist_ok=True)
    layout = layout_digest(entry(name).sources)
    x, y, w, h = where
    subprocess.run(["convert", screen, "-crop", f"{w}x{h}+{x}+{y}", "+repage", "-strip",
                    os.path.join(SHOTS, name + ".png")], check=True, capture_output=True)
    with open(os.path.join(SHOTS, name + ".layout"), "w", encoding="ascii") as f:
        f.write(layout + "\n")


def problems():
    """What is wrong with the guide's pictures, one sentence each (empty: all true)."""
    out = []
    for e in read_manifest()[0]:
        png = os.path.join(HELP, e.name + ".png")
        if not os.path.exists(png):
            out.append(f"{e.name}.png is missing from resources/Help: {REFRESH}")
            continue
        now = layout_digest(e.sources)
        if e.layout != now:
            out.append(f"{e.name}.png is older than its window's layout ({' '.join(e.sources)}): {REFRESH}")
        if e.picture != file_digest(png):
            out.append(f"{e.name}.png is not the picture the end-to-end tests made: {REFRESH}")
    return out


def take():
    """Takes the end-to-end tests' pictures into the guide; the names of those that could not
    be taken, with why."""
    entries, comments = read_manifest()
    failed = []
    for e in entries:
        shot, stamp = os.path.join(SHOTS, e.name + ".png"), os.path.join(SHOTS, e.name + ".layout")
        if not os.path.exists(shot) or not os.path.exists(stamp):
            failed.append(f"{e.name}: no picture in {SHOTS}")
            continue
        with open(stamp, encoding="ascii") as f:
            taken = f.read().strip()
        if taken != layout_digest(e.sources):
            failed.append(f"{e.name}: the picture was taken before its window's layout last changed")
            continue
        target = os.path.join(HELP, e.name + ".png")
        shutil.copyfile(shot, target)
        e.layout, e.picture = taken, file_digest(target)
    write_manifest(entries, comments)
    return failed


if __name__ == "__main__":
    if sys.argv[1:] == ["-n"]:
        found = problems()
    else:
        found = take()
    for p in found:
        print(p)
    sys.exit(1 if found else 0)
