#!/usr/bin/env bash
# Kitzip.exe with the archivers people already have, as a release script uses it: a set written
# by Info-ZIP joins as it is, a set we write in their naming passes 7-Zip and joins back byte for
# byte, a self-extractor passes unzip and 7-Zip and turns back into the archive. Failures give
# their exit codes and lose nothing: damaged archives, mixed sets, a full disk.
# Usage: kitzip_interop.sh INSTALL_DIR   (Wine prefix and display from the environment)
set -u
DIST=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail=0
check() { if eval "$2" >>log 2>&1; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }
kz() { wine "$DIST/Kitzip.exe" "$@" </dev/null; }
# The exit code of a Kitzip run.
kzrc() { kz "$@" >>log 2>&1; echo $?; }

mkdir -p src/sub
head -c 150000 /dev/urandom >src/noise.bin
seq 1 30000 >src/sub/count.txt
echo small >src/small.txt

check "usage without arguments" '[ "$(kz | grep -c "^  Kitzip ")" = 10 ]'
check "help and its exit codes" 'kz -h | grep -q "^  3  a damaged archive" && kz --help | grep -q "^  0  success" && kz /? | grep -q "^  5  cancelled"'
check "add with subfolders" 'kz a -r plain.zip "src\*.*" && unzip -t plain.zip | grep -q "No errors"'
check "list" 'kz l plain.zip | grep -q "sub.count.txt"'
check "extract into a new folder" 'kz x plain.zip out1 && diff -r src out1/src'
check "missing archive fails" '[ "$(kzrc l nothere.zip)" = 2 ]'
# A member whose deflated data is damaged: extracting or testing fails, naming it.
python3 -c "
import zipfile; z = zipfile.ZipFile('plain.zip'); i = z.getinfo('src/sub/count.txt')
b = bytearray(open('plain.zip', 'rb').read()); b[i.header_offset + 30 + len(i.filename) + len(i.extra) + 20] ^= 255
open('bad.zip', 'wb').write(b)"
check "a failed extraction exits 3" '[ "$(kzrc x bad.zip out4)" = 3 ] && [ "$(kzrc t bad.zip)" = 3 ] && grep -q "bad.zip: .*count.txt" log'
check "a sound archive tests clean" '[ "$(kzrc t plain.zip)" = 0 ]'
check "no download is made of a damaged archive" '[ "$(kzrc sfx bad.zip)" = 3 ] && [ ! -f bad.exe ] && grep -q "bad.zip: the archive is damaged; bad.exe was not made" log'
check "a missing option value exits 1, naming the option" '(for o in -c -d -r -o; do [ "$(kzrc sfx $o)" = 1 ] && [ "$(kzrc sfx $o plain.zip)" = 1 ] && grep -q "^Kitzip: $o needs a value" log || exit 1; done) && [ "$(kzrc span -s)" = 1 ] && grep -q "^Kitzip: -s needs a value" log'
check "counts agree with their nouns" 'echo one >one.txt && kz a one.zip one.txt | tr -d "\r" | grep -q "^1 file added$" && kz l one.zip | tr -d "\r" | grep -q " 1 member$" && kz t one.zip | grep -q "^1 file tested"'

check "Info-ZIP zip -s set joins as it is" '(cd src && zip -q -r -s 64k ../info.zip .) && kz join info.z01 joined.bin && [ ! -f joined.zip ]'
check "joined Info-ZIP set passes unzip -t" 'unzip -t joined.bin | grep -q "No errors" && unzip -q joined.bin -d out2 && diff -r src out2'

check "our set" 'kz span -s 64k plain.zip set && [ -f set003.zip ] && [ "$(stat -c %s set001.zip)" -le 65536 ]'
check "our set in 7-Zip naming passes 7z t" 'kz span -z -s 64k plain.zip seven.zip && [ -f seven.z02 ] && 7z t seven.zip | grep -q "Everything is Ok"'
check "our set joins back byte for byte" 'kz join set001.zip back.zip && cmp back.zip plain.zip && kz join seven.z01 back7.zip && cmp back7.zip plain.zip'
check "extract from a set" 'kz x set003.zip out3 && diff -r src out3/src'
check "a join into one of its parts is refused" '[ "$(kzrc join set002.zip set001.zip)" = 1 ] && kz join set001.zip back.zip'
# Two sets with the same member names, their parts mixed: refused, nothing written.
check "a join of mixed sets is refused with no output" 'mkdir other && cp -r src other && head -c 150000 /dev/urandom >other/src/noise.bin && (cd other && wine "$DIST/Kitzip.exe" a -r ../other.zip "src\\*.*" </dev/null) && kz span -s 64k other.zip other && cp other002.zip set002.zip && [ "$(kzrc join set001.zip mixed.zip)" = 3 ] && [ ! -f mixed.zip ] && [ -z "$(ls *.tmp 2>/dev/null)" ]'
# A 2-part set written over a 3-part one of the same name: the stale part goes with it.
check "an existing set is replaced only with -o" '[ "$(kzrc span -s 100k plain.zip set)" = 4 ] && kz span -o -s 100k plain.zip set && [ ! -f set003.zip ] && kz join set001.zip back2.zip && cmp back2.zip plain.zip'
check "a join into a missing folder names it" '[ "$(kzrc join set001.zip nofolder/j.zip)" = 4 ] && grep -q "^Kitzip: error: nofolder/j.zip: the folder .*nofolder.* is not there" log'
check "a missing part is named" 'mv set002.zip aside && [ "$(kzrc join set001.zip m.zip)" = 2 ] && grep -q "part 002 of the set" log && mv aside set002.zip'

check "self-extractor keeps its input" 'cp plain.zip p.zip && kz sfx p.zip && [ -f p.exe ] && cmp p.zip plain.zip'
check "self-extractor passes unzip -t and 7z t" 'unzip -t p.exe | grep -q "No errors" && 7z t p.exe | grep -q "Everything is Ok"'
check "self-extractor back to the archive" 'kz unsfx -m p.exe && cmp p.zip plain.zip && [ ! -f p.exe ]'
check "a part of a set is refused by sfx" '[ "$(kzrc sfx set002.zip)" = 3 ] && [ ! -f set002.exe ]'
# The disk fills up while the new program is written (a file size limit, its signal ignored).
check "sfx over an existing .exe on a full disk keeps it" 'kz sfx p.zip && cp p.exe keep.exe && [ "$( trap "" XFSZ; ulimit -f 300; kzrc sfx p.zip)" = 4 ] && cmp p.exe keep.exe && [ -z "$(ls *.tmp 2>/dev/null)" ]'

[ $fail = 0 ] || { echo "--- log"; cat log; }
exit $fail

