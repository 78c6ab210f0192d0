#!/usr/bin/env python3
"""Writes the small archives that the installer tests read, with the tools that made them:
Info-ZIP zip, 7-Zip and Python's zipfile. Run from this folder; the files are kept in the
repository so that the tests do not depend on the tools.

Contents are fixed (no random data) so that the tests can compare what they unpack:
  plane.mdl    20,000 bytes, byte i = (i * 7 + 3) % 251
  other files  the texts below
"""
import os
import shutil
import subprocess
import tempfile
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
MDL = bytes((i * 7 + 3) % 251 for i in range(20000))
CFG = b"[fltsim.0]\r\ntitle=Skykit Demo\r\n"
TEX = b"BM" + bytes(range(256)) * 8


def tree(root):
    os.makedirs(os.path.join(root, "Demo", "model"))
    os.makedirs(os.path.join(root, "Demo", "texture"))
    with open(os.path.join(root, "Demo", "aircraft.cfg"), "wb") as f:
        f.write(CFG)
    with open(os.path.join(root, "Demo", "model", "plane.mdl"), "wb") as f:
        f.write(MDL)
    with open(os.path.join(root, "Demo", "texture", "plane.bmp"), "wb") as f:
        f.write(TEX)


def out(name):
    p = os.path.join(HERE, name)
    if os.path.exists(p):
        os.remove(p)
    return p


work = tempfile.mkdtemp()
try:
    tree(work)
    # Info-ZIP: deflated members and folder entries; and the same with a password.
    subprocess.run(["zip", "-q", "-r", "-X", out("infozip_tree.zip"), "Demo"], cwd=work, check=True)
    subprocess.run(["zip", "-q", "-r", "-X", "-P", "secret", out("infozip_secret.zip"), "Demo"], cwd=work, check=True)
    # 7-Zip's zip writer.
    subprocess.run(["7z", "a", "-tzip", "-bso0", "-bsp0", out("sevenzip_tree.zip"), "Demo"], cwd=work, check=True)
finally:
    shutil.rmtree(work)

# Names that must never leave the target folder, beside two that may.
with zipfile.ZipFile(out("unsafe_names.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for name in ["../evil.txt", "..\\evil2.txt", "/abs.txt", "C:/drive.txt", "C:drive2.txt", "sub/../../up.txt",
                 "a/.../dots.txt", "nul.txt", "ok/good.txt", "safe.txt"]:
        z.writestr(name, b"payload of " + name.encode())

# A stored member whose data no longer fits its CRC, beside an intact one.
p = out("bad_crc.zip")
with zipfile.ZipFile(p, "w", zipfile.ZIP_STORED) as z:
    z.writestr("good.txt", b"this one is fine\r\n")
    z.writestr("broken.bin", MDL[:4000])
data = bytearray(open(p, "rb").read())
at = data.find(MDL[:64])
data[at + 100] ^= 0xFF
open(p, "wb").write(bytes(data))
