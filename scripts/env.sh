# Sourced by ./run and ./test: Wine in a private prefix, and a display for it.
# (Start the display before the first Wine process: a wineserver started without one keeps
# creating windows that no X client can see or click.)
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${SKYKIT_WINEPREFIX:-$ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win32
# Wine turns Windows file names into Unix ones in the locale's character set, and the tests
# make names such as "Müller Café.txt": without a UTF-8 locale (a fresh machine may have
# none set) such a file can not be made. C.UTF-8 is always there.
case "${LC_ALL:-${LC_CTYPE:-${LANG:-}}}" in
  *UTF-8* | *utf8* | *UTF8* | *utf-8*) ;;
  *) export LC_ALL=C.UTF-8 ;;
esac
SKYKIT_XVFB_PID=""

skykit_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  # Xvfb picks a free display itself and writes its number once it listens: no race with a
  # second run or another X server over a display number that looked free.
  local numfile
  numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  SKYKIT_XVFB_PID=$!
  local n=""
  for _ in $(seq 1 100); do
    n=$(tr -dc '0-9' <"$numfile")
    [ -n "$n" ] && break
    if ! kill -0 "$SKYKIT_XVFB_PID" 2>/dev/null; then break; fi
    sleep 0.1
  done
  rm -f "$numfile"
  if [ -z "$n" ]; then
    echo "Xvfb did not start (package xvfb)." >&2
    return 1
  fi
  export DISPLAY=":$n"
  # A wineserver from before this display would draw nowhere.
  wineserver -k >/dev/null 2>&1 || true
}

skykit_wine_start() {
  mkdir -p "$ROOT/build"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix (once)..."
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  # Wine's own fonts (MS Sans Serif, Tahoma, and Marlett, which draws the caption buttons)
  # are not found in its data folder on every system: give the prefix a copy. Without them
  # every text is measured in a substitute font and clipped, so their absence is an error.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" f
  for f in tahoma.ttf marlett.ttf; do
    if [ ! -f "/usr/share/wine/fonts/$f" ]; then
      echo "Wine's font $f is missing: install the package fonts-wine (./setup does)." >&2
      return 1
    fi
  done
  mkdir -p "$fonts"
  if [ ! -f "$fonts/marlett.ttf" ] || [ ! -f "$fonts/tahoma.ttf" ]; then
    cp /usr/share/wine/fonts/*.ttf "$fonts/"
    cp /usr/share/wine/fonts/*.fon "$fonts/" 2>/dev/null || true
  fi
  # A: is a floppy drive on the folder build/floppy, for the archive tests' disk sets. Wine
  # reads drive types when its server starts, so it is declared before the lasting server.
  mkdir -p "$ROOT/build/floppy"
  if [ "$(readlink "$WINEPREFIX/dosdevices/a:" 2>/dev/null)" != "$ROOT/build/floppy" ] ||
     ! grep -q '"a:"="floppy"' "$WINEPREFIX/system.reg" 2>/dev/null; then
    ln -sfn "$ROOT/build/floppy" "$WINEPREFIX/dosdevices/a:"
    wine reg add 'HKLM\Software\Wine\Drives' /v a: /d floppy /f >/dev/null 2>&1 || true
    wineserver -w || true
  fi
  wineserver -p >/dev/null 2>&1 || true
  if [ -f "$ROOT/build/testbin/skydriver.exe" ]; then
    wine "$ROOT/build/testbin/skydriver.exe" warmup >/dev/null 2>&1 || true
  fi
  # On our own Xvfb there is no window manager: Wine then draws and moves the windows itself.
  # (A managed window would wait two seconds for a window manager each time it is hidden.)
  local want=Y
  [ -n "$SKYKIT_XVFB_PID" ] && want=N
  if ! grep -q "\"Managed\"=\"$want\"" "$WINEPREFIX/user.reg" 2>/dev/null; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$want" /f >/dev/null 2>&1 || true
  fi
}

skykit_wine_stop() {
  command -v wineserver >/dev/null 2>&1 && { wineserver -k >/dev/null 2>&1 || true; }
  if [ -n "$SKYKIT_XVFB_PID" ]; then kill "$SKYKIT_XVFB_PID" 2>/dev/null || true; fi
}
