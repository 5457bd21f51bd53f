#!/bin/sh
# Array pass benchmark: seconds to move 200 arrays of 1 MiB each through the
# simulated handheld against `cp` of the same files, and the peak memory of
# a session moving one array of 512 MiB. Usage: scripts/bench.sh [program]
set -eu
program=$(realpath "${1:-build/native/zamopocket}")
work=$(mktemp -d "${TMPDIR:-/tmp}/zpbench.XXXXXX")
trap 'rm -rf "$work"' EXIT

world() {  # world DIR: a desktop and a handheld that asks for a sync
  mkdir -p "$1/desktop/c/Z" "$1/handheld/files/My Documents/Personal/ZAMO/Sync" \
    "$1/handheld/files/Program Files/ZAMO"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\n"PathSync"="c:\\\\Z"\n\n[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\n\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\00000042]\n"DisplayName"="Bench"\n' >"$1/desktop/registry.reg"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Ident]\n"DeviceId"=dword:00000042\n"ProcessorType"=dword:00000a11\n\n[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n"DBState"=dword:00000003\n"RunImport"="\\\\Program Files\\\\ZAMO\\\\import.exe"\n' >"$1/handheld/device.reg"
  echo import >"$1/handheld/files/Program Files/ZAMO/import.exe"
}
sync_of() { echo "$1/handheld/files/My Documents/Personal/ZAMO/Sync"; }
now() { date +%s.%N; }

world "$work/many"
i=0
while [ $i -lt 200 ]; do
  head -c 1048576 /dev/urandom >"$(sync_of "$work/many")/A$i.ARR"
  i=$((i + 1))
done
mkdir -p "$work/cpcopy"
sync
start=$(now)
cp "$(sync_of "$work/many")"/*.ARR "$work/cpcopy/"
sync
cp_seconds=$(awk "BEGIN{print $(now) - $start}")
start=$(now)
ZAMOPOCKET_DESKTOP="$work/many/desktop" ZAMOPOCKET_DEVICE="$work/many/handheld" "$program" </dev/null
zp_seconds=$(awk "BEGIN{print $(now) - $start}")
moved=$(ls "$work/many/desktop/c/Z/Bench/FromPocket" | wc -l)
echo "200 arrays of 1 MiB: zamopocket ${zp_seconds}s (moved $moved, each flushed to disk), cp ${cp_seconds}s (+ one sync)"

world "$work/big"
head -c 536870912 /dev/zero >"$(sync_of "$work/big")/BIG.ARR"
ZAMOPOCKET_DESKTOP="$work/big/desktop" ZAMOPOCKET_DEVICE="$work/big/handheld" \
  /usr/bin/time -f "one array of 512 MiB: peak memory %M KiB, %e s" "$program" </dev/null
