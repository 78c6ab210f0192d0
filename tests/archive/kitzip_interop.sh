#!/usr/bin/env bash
# Kitzip.exe with the archivers people already have: a set written by Info-ZIP joins into an
# archive that unzip accepts, a set we write passes 7-Zip under its own part names and joins
# back byte for byte, a self-extractor passes unzip and 7-Zip and turns back into the archive.
# Usage: kitzip_interop.sh INSTALL_DIR   (Wine prefix and display from the environment)
set -u
DIST=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail=0
check() { if eval "$2" >>log 2>&1; then echo "ok   $1"; else echo "FAIL $1"; fail=1; fi; }
kz() { wine "$DIST/Kitzip.exe" "$@" </dev/null; }
# Names of a set's parts: ours are set001.zip, set002.zip...; others' are set.z01... set.zip.
to_ours() { local b=$1 n i=1; n=$(ls "$b".z[0-9]* 2>/dev/null | wc -l)
  for f in $(ls "$b".z[0-9]* | sort -V); do mv "$f" "$(printf '%s%03d.zip' "$b" $i)"; i=$((i+1)); done
  mv "$b.zip" "$(printf '%s%03d.zip' "$b" $((n+1)))"; }
to_theirs() { local b=$1 o=$2 parts i; parts=$(ls "$b"[0-9][0-9][0-9].zip | sort); i=1
  for f in $parts; do if [ "$f" = "$(echo "$parts" | tail -1)" ]; then cp "$f" "$o.zip"; else cp "$f" "$(printf '%s.z%02d' "$o" $i)"; fi; i=$((i+1)); done; }

mkdir -p src/sub
head -c 150000 /dev/urandom >src/noise.bin
seq 1 30000 >src/sub/count.txt
echo small >src/small.txt

check "usage without arguments" '[ "$(kz | grep -c "^  Kitzip ")" = 8 ]'
check "add with subfolders" 'kz a -r plain.zip "src\*.*" && unzip -t plain.zip | grep -q "No errors"'
check "list" 'kz l plain.zip | grep -q "sub.count.txt"'
check "extract into a new folder" 'kz x plain.zip out1 && diff -r src out1/src'
check "missing archive fails" '! kz l nothere.zip'

check "Info-ZIP set joins" '(cd src && zip -q -r -s 64k ../info.zip .) && to_ours info && kz join info001.zip joined.zip'
check "joined Info-ZIP set passes unzip -t" 'unzip -t joined.zip | grep -q "No errors" && unzip -q joined.zip -d out2 && diff -r src out2'

check "our set" 'kz span -s 64k plain.zip set.zip && [ -f set003.zip ] && [ "$(stat -c %s set001.zip)" -le 65536 ]'
check "our set passes 7z t under 7-Zip names" 'to_theirs set seven && 7z t seven.zip | grep -q "Everything is Ok"'
check "our set joins back byte for byte" 'kz join set001.zip back.zip && cmp back.zip plain.zip'
check "extract from a set" 'kz x set003.zip out3 && diff -r src out3/src'

check "self-extractor" 'cp plain.zip p.zip && kz sfx p.zip && [ -f p.exe ] && [ ! -f p.zip ]'
check "self-extractor passes unzip -t and 7z t" 'unzip -t p.exe | grep -q "No errors" && 7z t p.exe | grep -q "Everything is Ok"'
check "self-extractor back to the archive" 'kz unsfx p.exe && cmp p.zip plain.zip'

[ $fail = 0 ] || { echo "--- log"; cat log; }
exit $fail
