#!/bin/sh
# Runs a command with the project's private Wine prefix (build/wine-prefix),
# a virtual display (Xvfb) and a persistent wineserver, all stopped again
# when the command ends.
# Usage: scripts/with-wine.sh COMMAND [ARGS...]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
WINEPREFIX="$top/build/wine-prefix"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
# The 64-bit loader, called directly: never the wrapper's choice of loader.
WINELOADER=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINELOADER WINESERVER

xvfb_pid=
stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap stop EXIT INT TERM
# The display first: Wine takes the screen's size when it starts.
if command -v Xvfb >/dev/null 2>&1; then
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  tries=0
  while [ ! -s "$display_file" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  DISPLAY=":$(cat "$display_file")"
  export DISPLAY
  rm -f "$display_file"
fi

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1
  # With no window manager a window takes 2 s to close unless Wine manages it itself.
  "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1
  "$WINESERVER" -w
fi
# The server first, with nothing attached: Wine's background processes
# inherit the output of whatever starts them.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
# The same for the prefix's services, started by its first program.
"$WINELOADER" wineboot </dev/null >/dev/null 2>&1
"$@"
