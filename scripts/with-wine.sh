#!/bin/sh
# Runs a command with the project's private Wine prefix (build/wine-prefix)
# and a persistent wineserver, stopped again when the command ends.
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

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1
  "$WINESERVER" -w
fi
# The server first, with nothing attached: Wine's background processes
# inherit the output of whatever starts them.
"$WINESERVER" -p </dev/null >/dev/null 2>&1
trap '"$WINESERVER" -k >/dev/null 2>&1 || true' EXIT INT TERM
# The same for the prefix's services, started by its first program.
"$WINELOADER" wineboot </dev/null >/dev/null 2>&1
"$@"
