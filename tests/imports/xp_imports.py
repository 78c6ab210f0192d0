#!/usr/bin/env python3
"""Fails when a program or library of the install directory imports a function that Windows XP
SP3 lacks, naming the file and the function. usage: xp_imports.py OBJDUMP CC DIST

A function from a system library is checked by compiling a file that takes its address with
the Windows headers at XP's API level: a name they do not declare there is newer than XP.
XP's msvcrt.dll is the runtime of Visual C++ 7.0, so the families that came with 8.0 (secure
"_s" and locale "_l" variants, 32-bit time calls, errno and locale accessors) are refused by
name. XP's own common controls export the subclassing calls by number only: a program that
imports them by name must ask for version 6 in its manifest."""
import os, re, subprocess, sys, tempfile

objdump, cc, dist = sys.argv[1:4]
HEADERS = ["windows.h", "commctrl.h", "commdlg.h", "shellapi.h", "shlobj.h", "shlwapi.h", "olectl.h", "tlhelp32.h"]
MSVCRT_NEWER = re.compile(
    r"_[sl]$|^_w?(time|localtime|gmtime|mktime|ctime|difftime|ftime|futime|utime|findfirst|findnext|stat|fstat)32"
    r"|^_w?f?stat64i32$|^_w?find(first|next)64i32$|^_(get|set)_(errno|doserrno|fmode|output_format)$"
    r"|^_(create|free|get_current)_locale$|^(_configthreadlocale|_initterm_e|_wassert|_recalloc|_aligned_msize"
    r"|_fseeki64|_ftelli64|_invalid_parameter_noinfo|_set_invalid_parameter_handler)$")
SUBCLASSING = {"SetWindowSubclass", "GetWindowSubclass", "RemoveWindowSubclass", "DefSubclassProc"}

ours = {f.lower() for f in os.listdir(dist)}
binaries = sorted(f for f in os.listdir(dist) if f.lower().endswith((".exe", ".dll", ".bin")))
problems, system = [], {}   # system: function -> the binaries that import it
# A program that was not built would go unchecked.
for shipped in ("Kitpress.exe", "Kitlens.exe", "Kitzip.exe", "Kitbuild.exe", "Setup.dll", "SFXSTUB.BIN"):
    if shipped not in binaries:
        problems.append(f"{shipped} is not in {dist}")
for name in binaries:
    path = os.path.join(dist, name)
    dump = subprocess.run([objdump, "-p", path], capture_output=True, text=True, check=True).stdout
    is_program = not re.search(r"^Characteristics 0x[0-9a-f]+\n(\t.*\n)*?\tDLL$", dump, re.M)
    with open(path, "rb") as f:
        controls6 = b"Microsoft.Windows.Common-Controls" in f.read()
    dll = None
    for line in dump.splitlines():
        m = re.match(r"\tDLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            continue
        m = re.match(r"\t[0-9a-f]+\t +(\d+)(?:  (\S+))?", line)
        if not m or not dll or dll.lower() in ours:
            continue
        func = m.group(2)
        if func is None:
            problems.append(f"{name}: ordinal {m.group(1)} of {dll} (by number: can not be checked)")
        elif dll.lower() == "msvcrt.dll":
            if MSVCRT_NEWER.search(func):
                problems.append(f"{name}: {func} from {dll} is not in Windows XP's C runtime")
        else:
            system.setdefault(func, set()).add(f"{name}|{dll}")
            if func in SUBCLASSING and is_program and not controls6:
                problems.append(f"{name}: {func} from {dll} is exported by name only by common controls 6, "
                                "which the program's manifest does not ask for")

funcs = sorted(system)
with tempfile.TemporaryDirectory() as tmp:
    src = os.path.join(tmp, "xp.c")
    with open(src, "w") as f:
        f.write("".join(f"#include <{h}>\n" for h in HEADERS))
        first = len(HEADERS) + 1
        f.write("".join(f"void *const p{i} = (void *)&{fn};\n" for i, fn in enumerate(funcs)))
    run = subprocess.run([cc, "-fsyntax-only", "-fmax-errors=0", "-x", "c", "-DWINVER=0x0501", "-D_WIN32_WINNT=0x0501",
                          "-D_WIN32_IE=0x0600", src], capture_output=True, text=True)
for n in sorted({int(n) for n in re.findall(r"xp\.c:(\d+):\d+: error", run.stderr)}):
    if not first <= n < first + len(funcs):
        sys.exit("could not check the imports:\n" + run.stderr)
    for where in sorted(system[funcs[n - first]]):
        name, dll = where.split("|")
        problems.append(f"{name}: {funcs[n - first]} from {dll} is newer than Windows XP")
print("\n".join(problems) or f"{len(binaries)} files, {len(funcs)} system functions: all on Windows XP SP3")
sys.exit(1 if problems else 0)
