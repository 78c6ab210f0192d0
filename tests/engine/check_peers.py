#!/usr/bin/env python3
"""Checks every archive the Wine tests of the engine left in engine_out/ with the peers:
Info-ZIP unzip -t, 7-Zip t and Python's zipfile testzip (names read back too)."""
import glob, os, subprocess, sys, zipfile

out = sys.argv[1]
passwords = {'encrypted.zip': 'Skykit-pw'}
skip = {'evil.zip'}   # hostile on purpose
archives = [p for p in sorted(glob.glob(os.path.join(out, '*'))) if os.path.basename(p) not in skip]
failed = 0
for path in archives:
    name = os.path.basename(path)
    pw = passwords.get(name)
    checks = [
        ['unzip', '-t', '-qq'] + (['-P', pw] if pw else []) + [path],
        ['7z', 't', '-bd'] + (['-p' + pw] if pw else []) + [path],
    ]
    for cmd in checks:
        r = subprocess.run(cmd, capture_output=True, text=True)
        if r.returncode != 0:
            failed += 1
            print('FAILED', ' '.join(cmd), r.stdout[-2000:], r.stderr[-2000:])
    try:
        with zipfile.ZipFile(path) as z:
            if pw:
                z.setpassword(pw.encode())
            bad = z.testzip()
            if bad:
                raise RuntimeError('bad member ' + bad)
            if name == 'roundtrip.skb':
                names = z.namelist()
                for want in ('panel/Grüße.txt', 'panel/Привет.cfg', 'emptyfolder/', 'a/b/c/d/deep.txt'):
                    if want not in names:
                        raise RuntimeError('missing ' + want + ' in ' + repr(names))
    except Exception as e:
        failed += 1
        print('FAILED python zipfile', path, e)
# Names as people see them in each tool.
rt = os.path.join(out, 'roundtrip.skb')
env = dict(os.environ, LC_ALL='C.UTF-8', LANG='C.UTF-8')
listings = {
    'unzip -Z1': subprocess.run(['unzip', '-Z1', rt], capture_output=True, env=env).stdout.decode('utf-8', 'replace'),
    '7z l': subprocess.run(['7z', 'l', '-ba', '-sccUTF-8', rt], capture_output=True, env=env).stdout.decode('utf-8', 'replace'),
}
for tool, text in listings.items():
    for want in ('panel/Grüße.txt', 'panel/Привет.cfg'):
        if want not in text:
            failed += 1
            print('FAILED', tool, 'does not show', want, text[-3000:])
print(f'{len(archives) * 3 + 4 - failed} passed, {failed} failed')
sys.exit(1 if failed or not archives else 0)
