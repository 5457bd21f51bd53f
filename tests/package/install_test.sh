#!/bin/sh
# The x64 installer under Wine: installs it silently with SYNCROOT set, checks
# the installed files and registry values, runs one session of the installed
# program against a stand-in handheld, uninstalls, and checks that the arrays
# and the log stay while the program and its AutoStartOnConnect value go.
# Runs inside scripts/with-wine.sh (WINEPREFIX, WINELOADER, WINESERVER and a
# persistent wineserver); leaves the prefix as it found it.
# Usage: tests/package/install_test.sh [MSI]
#   with no MSI, one is built from build/windows/ with scripts/package.sh.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
wine=/usr/lib/wine/wine64
[ -n "${WINEPREFIX:-}" ] || {
  echo "install_test.sh: WINEPREFIX is not set: run it inside scripts/with-wine.sh" >&2
  exit 1
}
WINELOADER=${WINELOADER:-$wine}
export WINELOADER

work=$(mktemp -d "${TMPDIR:-/tmp}/zp-package.XXXXXX")
out=$work/wine.out
program_dir=$WINEPREFIX/drive_c/Program\ Files/zamopocket
program='C:\Program Files\zamopocket\zamopocket.exe'
autostart='HKLM\SOFTWARE\Microsoft\Windows CE Services\AutoStartOnConnect'
active_setup='HKLM\SOFTWARE\Microsoft\Active Setup\Installed Components\{7A1E4B2C-58D3-4E9F-A6C0-3B8D2F5E1A94}'
settings='Software\Brenok\ZAMO\PocketPC'
device_id=1a2b3c4d  # the DeviceId of examples/handheld/device.reg
profile="HKCU\\Software\\Microsoft\\Windows CE Services\\Partners\\$device_id"
name=PackageTest

# One Wine program, its output into a file (never a pipe: Wine's background
# processes can hold one open); its exit code is the function's.
w() {
  "$wine" "$@" </dev/null >"$out" 2>&1
}
# "Z:\tmp\x" for "/tmp/x": Wine's drive Z: is the host's root.
winpath() {
  printf 'Z:%s' "$1" | tr / '\\'
}
step() {
  printf -- '-- %s\n' "$*"
}
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  if [ -s "$out" ]; then
    echo "last Wine output:" >&2
    tr -d '\r' <"$out" | sed 's/^/  /' >&2
  fi
  exit 1
}
# The value's line of `reg query KEY /v NAME [/reg:32|/reg:64]`, "NAME TYPE
# DATA" with single spaces; fails when the value is missing.
reg_value() {
  w reg query "$1" /v "$2" ${3:+"$3"} || return 1
  tr -d '\r' <"$out" | sed -n "s/^ *\($2\) \{1,\}\(REG_[A-Z_]*\) *\(.*\)\$/\1 \2 \3/p" | grep .
}
# "checksum size path" of every file under a folder.
contents() {
  (cd "$1" && find . -type f -exec cksum {} + | sort)
}
# "checksum size" of the files of one folder whose names match a pattern
# (case-insensitively).
checksums() {
  find "$1" -maxdepth 1 -type f -iname "$2" -exec cksum {} + | cut -d' ' -f1,2 | sort
}

# The keys the package and the test write: saved and removed first (earlier
# scenarios leave settings in the prefix), put back as they were at the end.
saved_keys="HKLM\\Software\\Brenok
HKCU\\Software\\Brenok
HKLM\\SOFTWARE\\Microsoft\\Windows CE Services
HKCU\\Software\\Microsoft\\Windows CE Services"
# The settings of HKEY_LOCAL_MACHINE are in both views of the registry.
views="/reg:64 /reg:32"
save_keys() {
  i=0
  printf '%s\n' "$saved_keys" | while IFS= read -r key; do
    for view in $views; do
      i=$((i + 1))
      if w reg query "$key" "$view"; then
        w reg export "$key" "$(winpath "$work/saved-$i.reg")" "$view" /y || fail "reg export $key"
        w reg delete "$key" /f "$view" || fail "reg delete $key"
      else
        : >"$work/absent-$i"
      fi
    done
  done
}
restore_keys() {
  i=0
  printf '%s\n' "$saved_keys" | while IFS= read -r key; do
    for view in $views; do
      i=$((i + 1))
      # Only a key known to be saved or absent: never one the test did not see.
      [ -f "$work/saved-$i.reg" ] || [ -f "$work/absent-$i" ] || continue
      w reg delete "$key" /f "$view" || true
      if [ -f "$work/saved-$i.reg" ]; then
        w reg import "$(winpath "$work/saved-$i.reg")" "$view" ||
          printf 'could not restore %s\n' "$key" >&2
      fi
    done
  done
}

installed=
cleanup() {
  status=$?
  trap - EXIT
  rm -f "$program_dir/rapi.dll" "$program_dir/ceutil.dll"
  if [ -n "$installed" ]; then
    w msiexec /x "$(winpath "$msi")" /qn || echo "could not uninstall $msi" >&2
  fi
  restore_keys
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM

started=$(date +%s)
[ ! -e "$program_dir" ] || fail "$program_dir exists: zamopocket is installed in this prefix already"
for dll in rapi.dll ceutil.dll; do
  [ -f "$top/build/windows/$dll" ] || fail "build/windows/$dll is missing: run make windows"
done
if [ $# -gt 0 ]; then
  msi=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  [ -f "$msi" ] || fail "$1 does not exist"
else
  step "building the x64 package"
  sh "$top/scripts/package.sh" "$work/packages" x64 >"$out" 2>&1 || fail "scripts/package.sh failed"
  msi=$(sed -n '/\.msi$/p' "$out")
  [ -f "$msi" ] || fail "scripts/package.sh built no MSI"
fi
save_keys

step "checking what the package carries"
# SYNCROOT is secure: passed from the command line to an elevated
# installation of a user who is not an administrator (only real Windows
# shows the difference; the package's Property table tells it).
secure=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties\t//p')
case ";$secure;" in
  *";SYNCROOT;"*) ;;
  *) fail "SYNCROOT is not a secure property: SecureCustomProperties is '$secure'" ;;
esac

# The sync root exists and stays empty through the installation: the package
# never creates or owns anything in it.
syncroot=$work/syncroot
mkdir "$syncroot"
winroot=$(winpath "$syncroot")

step "msiexec /i $(basename "$msi") /qn SYNCROOT=$winroot"
installed=yes
w msiexec /i "$(winpath "$msi")" /qn "SYNCROOT=$winroot" || fail "msiexec /i exited with $?"

step "checking the installed files and registry values"
[ "$(ls "$program_dir" | tr '\n' ' ')" = "README.md zamopocket.exe " ] ||
  fail "installed files: $(ls "$program_dir" | tr '\n' ' ')"
if [ $# -eq 0 ]; then
  cmp -s "$program_dir/zamopocket.exe" "$top/build/windows/zamopocket.exe" ||
    fail "the installed zamopocket.exe is not build/windows/zamopocket.exe"
fi
[ -z "$(ls -A "$syncroot")" ] || fail "the installation wrote into the sync root"
# The settings are in the 32-bit view, where the 32-bit program and package
# keep them too; AutoStartOnConnect is in both, as WMDC x64 may read either.
value=$(reg_value "HKLM\\$settings" PathSync /reg:32) || fail "no PathSync in the 32-bit view"
[ "$value" = "PathSync REG_SZ $winroot" ] || fail "PathSync: $value"
if reg_value "HKLM\\$settings" PathSync /reg:64 >/dev/null; then
  fail "PathSync is in the 64-bit view"
fi
value=$(reg_value "HKCU\\$settings" InstallID) || fail "no InstallID"
[ "$value" = "InstallID REG_SZ " ] || fail "InstallID: $value"
if reg_value "HKCU\\$settings" InstallPath >/dev/null; then fail "InstallPath is set"; fi
for view in $views; do
  value=$(reg_value "$autostart" zamopocket "$view") || fail "no AutoStartOnConnect value ($view)"
  [ "$value" = "zamopocket REG_SZ \"$program\"" ] || fail "AutoStartOnConnect ($view): $value"
done

# Another user of the PC, who never ran the installer: no settings key until
# Active Setup runs the package's StubPath at their logon (run here as
# Windows would run it). It makes the key and changes no value in it.
step "another user's logon: the Active Setup StubPath"
stub=$(reg_value "$active_setup" StubPath) || fail "no Active Setup StubPath"
stub=${stub#StubPath REG_SZ }
run_stub() {
  eval "set -- $stub"
  w "$@" || fail "the StubPath $stub exited with $?"
}
w reg delete "HKCU\\$settings" /f || fail "reg delete HKCU\\$settings"
run_stub
w reg query "HKCU\\$settings" || fail "the StubPath made no HKCU\\$settings"
w reg add "HKCU\\$settings" /v InstallID /t REG_SZ /d 00000007 /f || fail "reg add InstallID"
run_stub
value=$(reg_value "HKCU\\$settings" InstallID) || fail "no InstallID after the StubPath ran again"
[ "$value" = "InstallID REG_SZ 00000007" ] || fail "the StubPath changed InstallID: $value"
w reg delete "HKCU\\$settings" /f || fail "reg delete HKCU\\$settings"
run_stub

step "one session of the installed program"
device=$work/handheld
cp -R "$top/examples/handheld" "$device"
sync_folder="$device/files/My Documents/Personal/ZAMO/Sync"
checksums "$sync_folder" '*.arr' >"$work/arrays"
[ -s "$work/arrays" ] || fail "examples/handheld holds no array"
w reg add "$profile" /v DisplayName /t REG_SZ /d "$name" /f || fail "reg add $profile"
cp "$top/build/windows/rapi.dll" "$top/build/windows/ceutil.dll" "$program_dir/"
env ZAMOPOCKET_DEVICE="$(winpath "$device")" "$wine" "$program" </dev/null >"$out" 2>&1 ||
  fail "the session exited with $?"
rm -f "$program_dir/rapi.dll" "$program_dir/ceutil.dll"
arrived=$syncroot/$name/FromPocket
[ -d "$arrived" ] || fail "no $name\\FromPocket in the sync root"
checksums "$arrived" '*' >"$work/arrived"
cmp -s "$work/arrays" "$work/arrived" ||
  fail "FromPocket holds $(ls "$arrived" | tr '\n' ' '), not the handheld's arrays"
[ -z "$(find "$arrived" -type f ! -name 'ARR[0-9][0-9][0-9][0-9][0-9].ARR')" ] ||
  fail "FromPocket holds $(ls "$arrived" | tr '\n' ' ')"
[ -z "$(checksums "$sync_folder" '*.arr')" ] || fail "arrays left on the handheld"
[ -f "$syncroot/zamopocket.log" ] || fail "no zamopocket.log in the sync root"
grep -q "Finished successfully" "$syncroot/zamopocket.log" ||
  fail "the log does not end well: $(cat "$syncroot/zamopocket.log")"
contents "$syncroot" >"$work/data-before"

# A new build of the same version has a new ProductCode: it replaces the
# installed one, keeps the sync root and the pending installations.
# An x64 package of an earlier version kept PathSync in the 64-bit view:
# the upgrade finds it there and keeps it.
step "upgrade: msiexec /i of a new build, no SYNCROOT, PathSync where an earlier x64 package put it, an installation pending"
w reg delete "HKLM\\$settings" /v PathSync /f /reg:32 || fail "reg delete PathSync"
w reg add "HKLM\\$settings" /v PathSync /t REG_SZ /d "$winroot" /f /reg:64 || fail "reg add PathSync"
w reg add "HKCU\\$settings" /v InstallID /t REG_SZ /d 00000042 /f || fail "reg add InstallID"
sh "$top/scripts/package.sh" "$work/upgrade" x64 >"$out" 2>&1 || fail "scripts/package.sh failed"
upgrade=$(sed -n '/\.msi$/p' "$out")
w msiexec /i "$(winpath "$upgrade")" /qn || fail "msiexec /i (upgrade) exited with $?"
msi=$upgrade
[ "$(ls "$program_dir" | tr '\n' ' ')" = "README.md zamopocket.exe " ] ||
  fail "installed files after the upgrade: $(ls "$program_dir" | tr '\n' ' ')"
w reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s ||
  fail "reg query Uninstall"
products=$(tr -d '\r' <"$out" | grep -c '^ *DisplayName  *REG_SZ  *zamopocket$' || true)
[ "$products" = 1 ] || fail "$products installed zamopocket products after the upgrade"
value=$(reg_value "HKLM\\$settings" PathSync /reg:32) || fail "no PathSync after the upgrade"
[ "$value" = "PathSync REG_SZ $winroot" ] || fail "PathSync after the upgrade: $value"
value=$(reg_value "HKCU\\$settings" InstallID) || fail "no InstallID after the upgrade"
[ "$value" = "InstallID REG_SZ 00000042" ] || fail "InstallID after the upgrade: $value"
for view in $views; do
  reg_value "$autostart" zamopocket "$view" >/dev/null ||
    fail "no AutoStartOnConnect value after the upgrade ($view)"
done

step "msiexec /x $(basename "$msi") /qn"
w msiexec /x "$(winpath "$msi")" /qn || fail "msiexec /x exited with $?"
installed=

step "checking what stayed and what went"
contents "$syncroot" >"$work/data-after"
cmp -s "$work/data-before" "$work/data-after" || fail "the uninstall changed the sync root"
[ ! -e "$program_dir" ] || fail "$program_dir is still there"
for view in $views; do
  if reg_value "$autostart" zamopocket "$view" >/dev/null; then
    fail "the AutoStartOnConnect value is still there ($view)"
  fi
done
if w reg query "$active_setup"; then fail "the Active Setup entry is still there"; fi
# The settings are never removed: the sync root and the pending list outlive
# the program.
value=$(reg_value "HKLM\\$settings" PathSync /reg:32) || fail "the uninstall removed PathSync"

echo "passed in $(($(date +%s) - started)) s"
