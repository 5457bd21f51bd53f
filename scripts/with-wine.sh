#!/bin/sh
# Runs a command with the project's private Wine prefix (build/wine-prefix),
# a virtual display (Xvfb) and a persistent wineserver, all stopped again
# when the command ends.
# With ZP_WINE_SLOTS=N (default 1), N such places side by side, so that N
# Wine tests can run at once without seeing each other's files, registry or
# windows: slot 0 is build/wine-prefix and the exported DISPLAY; slot i > 0
# is build/wine-prefix-i, a copy of slot 0's prefix, with a display of its
# own. Each slot is told in ZP_WINE_SLOT_i="PREFIX DISPLAY"; a test run by
# CTest with a "wine" resource takes the slot of its resource id.
# Usage: [ZP_WINE_SLOTS=N] scripts/with-wine.sh COMMAND [ARGS...]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
slots=${ZP_WINE_SLOTS:-1}
case $slots in
  [1-8]) ;;
  *) echo "with-wine.sh: ZP_WINE_SLOTS must be 1 to 8, not $slots" >&2; exit 2 ;;
esac
WINEPREFIX="$top/build/wine-prefix"
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
# The 64-bit loader, called directly: never the wrapper's choice of loader.
WINELOADER=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver64
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES WINELOADER WINESERVER

prefix_of() {
  if [ "$1" = 0 ]; then echo "$WINEPREFIX"; else echo "$WINEPREFIX-$1"; fi
}

xvfb_pids=
stop() {
  i=0
  while [ $i -lt "$slots" ]; do
    WINEPREFIX=$(prefix_of $i) "$WINESERVER" -k >/dev/null 2>&1 || true
    i=$((i + 1))
  done
  for pid in $xvfb_pids; do kill "$pid" 2>/dev/null || true; done
}
trap stop EXIT INT TERM

# A virtual display, in this shell (its pid kept for stop); its DISPLAY in
# $display, empty without Xvfb.
start_display() {
  display=
  command -v Xvfb >/dev/null 2>&1 || return 0
  display_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pids="$xvfb_pids $!"
  tries=0
  while [ ! -s "$display_file" ] && [ $tries -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  display=":$(cat "$display_file")"
  rm -f "$display_file"
}

# The displays first: Wine takes the screen's size when it starts.
i=0
while [ $i -lt "$slots" ]; do
  start_display
  if [ $i = 0 ] && [ -n "$display" ]; then
    DISPLAY=$display
    export DISPLAY
  fi
  eval "slot_display_$i=\$display"
  i=$((i + 1))
done

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1
  # With no window manager a window takes 2 s to close unless Wine manages it itself.
  "$WINELOADER" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
    </dev/null >/dev/null 2>&1
  "$WINESERVER" -w
  touch "$WINEPREFIX/.created"
fi

i=0
while [ $i -lt "$slots" ]; do
  prefix=$(prefix_of $i)
  # A copy of slot 0's prefix, made again when slot 0's was made anew.
  if [ $i != 0 ] && { [ ! -f "$prefix/.copied" ] || [ "$WINEPREFIX/.created" -nt "$prefix/.copied" ]; }; then
    rm -rf "$prefix"
    cp -a "$WINEPREFIX" "$prefix"
    touch "$prefix/.copied"
  fi
  eval "display=\$slot_display_$i"
  export "ZP_WINE_SLOT_$i=$prefix $display"
  # The server first, with nothing attached: Wine's background processes
  # inherit the output of whatever starts them.
  WINEPREFIX=$prefix "$WINESERVER" -p </dev/null >/dev/null 2>&1
  # The same for the prefix's services, started by its first program.
  WINEPREFIX=$prefix DISPLAY=$display "$WINELOADER" wineboot </dev/null >/dev/null 2>&1
  i=$((i + 1))
done
"$@"
