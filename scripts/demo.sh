#!/bin/sh
# One sync session of the sample handheld against the sample desktop, in a
# fresh copy of examples/ under build/demo/; then the same session over the
# handheld's own link, the handheld program playing the handheld on
# loopback (127.0.0.2 to the desktop's 127.0.0.1), in build/demo-link/.
set -eu
program=${1:-build/native/zamopocket}
handheld=${2:-build/native/zp-handheld}
here=$(pwd)

show() { printf '\n== %s\n' "$1"; }
listing() { (cd "$1" && find . -type f | sort | while read -r f; do printf '  %-22s %6s bytes\n' "${f#./}" "$(wc -c <"$f")"; done); }

# A fresh copy of examples/ in $1; $2 says how the session reaches the handheld.
session() {
  demo=$1
  rm -rf "$demo"
  mkdir -p "$demo"
  cp -R examples/desktop examples/handheld "$demo/"
  sync="$demo/handheld/files/My Documents/Personal/ZAMO/Sync"
  device_folder="$demo/desktop/c/ZAMO/FieldPocket"

  show "Before: the handheld's sync folder"
  listing "$sync"
  show "Before: ToPocket on the desktop"
  listing "$device_folder/ToPocket"

  show "Running zamopocket ($2)"
  set +e
  if [ "$2" = "simulated handheld" ]; then
    ZAMOPOCKET_DESKTOP="$demo/desktop" ZAMOPOCKET_DEVICE="$demo/handheld" "$program" </dev/null
    code=$?
  else
    # Port 990 needs root; elsewhere a network namespace of our own, where
    # we are root, with its own loopback.
    link_session='
      ip link set lo up 2>/dev/null || true
      "$4" --world "$2/handheld" --device 127.0.0.2 --desktop 127.0.0.1 --wait-ms 20000 \
        >"$2/handheld.out" 2>&1 &
      ZAMOPOCKET_DESKTOP="$2/desktop" ZAMOPOCKET_LINK=127.0.0.1,127.0.0.2 \
        ZAMOPOCKET_LINK_TIMEOUTS=connect=10000,retrigger=200 "$3" </dev/null
      code=$?
      wait
      exit $code'
    if [ "$(id -u)" = 0 ]; then
      sh -c "$link_session" sh "$demo" "$demo" "$program" "$handheld"
    else
      unshare -r -n sh -c "$link_session" sh "$demo" "$demo" "$program" "$handheld"
    fi
    code=$?
  fi
  set -e
  echo "exit code: $code"

  show "The session log (c:\\ZAMO\\zamopocket.log)"
  cat "$demo/desktop/c/ZAMO/zamopocket.log"
  show "After: FromPocket on the desktop"
  listing "$device_folder/FromPocket"
  show "After: the handheld's sync folder"
  listing "$sync"
  show "After: the handheld's registry"
  grep -i -E 'DBState|RunImport' "$demo/handheld/device.reg" | sed 's/^/  /'
  show "After: programs started on the handheld (started.log)"
  sed 's/^/  /' "$demo/handheld/started.log" 2>/dev/null || echo "  (none)"
  show "After: ToPocket on the desktop"
  listing "$device_folder/ToPocket"
  [ -n "$(ls -A "$device_folder/ToPocket")" ] || echo "  (empty)"
}

printf '######## The session against the simulated handheld\n'
session "$here/build/demo" "simulated handheld"
printf '\n######## The same session over the handheld'"'"'s own link, on loopback\n'
session "$here/build/demo-link" "over the link"
echo
echo "The demo worlds are in build/demo and build/demo-link; run 'make demo' again to start"
echo "from fresh copies."
