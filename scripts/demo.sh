#!/bin/sh
# One sync session of the sample handheld against the sample desktop, in a
# fresh copy of examples/ under build/demo/.
set -eu
program=${1:-build/native/zamopocket}
here=$(pwd)
demo=$here/build/demo
rm -rf "$demo"
mkdir -p "$demo"
cp -R examples/desktop examples/handheld "$demo/"

export ZAMOPOCKET_DESKTOP="$demo/desktop"
export ZAMOPOCKET_DEVICE="$demo/handheld"
sync="$demo/handheld/files/My Documents/Personal/ZAMO/Sync"
device_folder="$demo/desktop/c/ZAMO/FieldPocket"

show() { printf '\n== %s\n' "$1"; }
listing() { (cd "$1" && find . -type f | sort | while read -r f; do printf '  %-22s %6s bytes\n' "${f#./}" "$(wc -c <"$f")"; done); }

show "Before: the handheld's sync folder"
listing "$sync"
show "Before: ToPocket on the desktop"
listing "$device_folder/ToPocket"

show "Running zamopocket"
set +e
"$program" </dev/null
code=$?
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
echo
echo "The demo world is in $demo; run 'make demo' again to start from fresh copies."
