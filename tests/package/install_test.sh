#!/bin/sh
# The x64 installer under Wine: installs it silently with SYNCROOT set, checks
# the installed files and registry values, runs one session of the installed
# program against a stand-in handheld, uninstalls, and checks that the arrays
# and the log stay while the program and its AutoStartOnConnect value go.
# The firewall rule and the scheduled task: their custom actions in the
# package's tables (x64 and x86), the task's definition as installed, and
# what Wine shows of their runs: Wine's netsh.exe is a stub that does
# nothing, answers 0 and traces its arguments (WINEDEBUG fixme+netsh);
# Wine's schtasks.exe registers the task, keeping its own reduced copy of
# the definition in C:\windows\system32\tasks, and deletes it.
# Runs inside scripts/with-wine.sh (WINEPREFIX, WINELOADER, WINESERVER and a
# persistent wineserver); leaves the prefix as it found it.
# Usage: tests/package/install_test.sh [MSI]
#   with no MSI, one is built from build/windows/ with scripts/package.sh.
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
wine=/usr/lib/wine/wine64
# Given a "wine" resource by CTest, the slot of scripts/with-wine.sh it names.
case ${CTEST_RESOURCE_GROUP_0_WINE:-} in
  id:*)
    id=${CTEST_RESOURCE_GROUP_0_WINE#id:}
    eval "slot=\${ZP_WINE_SLOT_${id%%,*}:-}"
    [ -n "$slot" ] || { echo "install_test.sh: wine slot ${id%%,*} is not set up" >&2; exit 1; }
    WINEPREFIX=${slot% *}
    DISPLAY=${slot##* }
    export WINEPREFIX DISPLAY
    ;;
esac
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
rule='zamopocket handheld link (TCP 990)'
task='zamopocket at docking'
wine_task=$WINEPREFIX/drive_c/windows/system32/tasks/$task
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
# The rows of one of the package's tables (msiinfo export, no header).
msi_table() {
  msiinfo export "$1" "$2" | tr -d '\r' | tail -n +4
}
# One column of a row: msi_field MSI TABLE KEY COLUMN (1 = the key).
msi_field() {
  msi_table "$1" "$2" | awk -F '\t' -v key="$3" -v column="$4" '$1 == key { print $column }'
}

# The custom actions of the firewall rule and the scheduled task in a
# package: each runs its program from the system folder, deferred (1024)
# and not impersonated (2048), type 34 (the command line in Target, the
# folder in Source); "ignore" adds 64 (its exit code ignored), "rollback"
# 256 + 64. Then their order and conditions: the uninstallation's after
# InstallInitialize and before RemoveFiles, each rollback before what it
# undoes; the installation's after InstallFiles (the task's definition is
# there) and before InstallFinalize.
check_custom_actions() { # MSI SYSTEM-FOLDER
  netsh="\"[$2]netsh.exe\" advfirewall firewall"
  schtasks="\"[$2]schtasks.exe\""
  rule_add="$netsh add rule name=\"$rule\" dir=in action=allow protocol=TCP localport=990 remoteip=169.254.2.0/24 profile=any program=\"[INSTALLDIR]zamopocket.exe\""
  rule_delete="$netsh delete rule name=\"$rule\""
  task_create="$schtasks /Create /TN \"$task\" /XML \"[INSTALLDIR]zamopocket-dock.xml\" /F"
  task_delete="$schtasks /Delete /TN \"$task\" /F"
  check_action "$1" "$2" ZpFirewallRestore rollback 'REMOVE="ALL"' "$rule_add"
  check_action "$1" "$2" ZpFirewallRemove ignore 'REMOVE="ALL"' "$rule_delete"
  check_action "$1" "$2" ZpDockTaskRestore rollback 'REMOVE="ALL"' "$task_create"
  check_action "$1" "$2" ZpDockTaskRemove ignore 'REMOVE="ALL"' "$task_delete"
  check_action "$1" "$2" ZpFirewallRollback rollback 'NOT Installed' "$rule_delete"
  check_action "$1" "$2" ZpFirewallClear ignore 'NOT REMOVE="ALL"' "$rule_delete"
  check_action "$1" "$2" ZpFirewallAdd check 'NOT REMOVE="ALL"' "$rule_add"
  check_action "$1" "$2" ZpDockTaskRollback rollback 'NOT Installed' "$task_delete"
  check_action "$1" "$2" ZpDockTaskAdd check 'NOT REMOVE="ALL"' "$task_create"
  order=$(msi_table "$1" InstallExecuteSequence | sort -t "$(printf '\t')" -k3,3n | cut -f1 |
    grep -x -E 'InstallInitialize|RemoveFiles|InstallFiles|InstallFinalize|Zp[A-Za-z]*' | tr '\n' ' ')
  [ "$order" = "InstallInitialize ZpFirewallRestore ZpFirewallRemove ZpDockTaskRestore ZpDockTaskRemove RemoveFiles InstallFiles ZpFirewallRollback ZpFirewallClear ZpFirewallAdd ZpDockTaskRollback ZpDockTaskAdd InstallFinalize " ] ||
    fail "$(basename "$1"): the custom actions run in the order $order"
  [ "$(msi_field "$1" Directory "$2" 2)" = TARGETDIR ] ||
    fail "$(basename "$1"): no $2 in the Directory table"
}
check_action() { # MSI SYSTEM-FOLDER ACTION KIND CONDITION TARGET
  case $4 in
    check) type=$((34 + 1024 + 2048)) ;;
    ignore) type=$((34 + 1024 + 2048 + 64)) ;;
    rollback) type=$((34 + 1024 + 2048 + 256 + 64)) ;;
  esac
  row=$(msi_table "$1" CustomAction | grep "^$3	") || fail "$(basename "$1"): no custom action $3"
  [ "$row" = "$3	$type	$2	$6	" ] ||
    fail "$(basename "$1"): custom action $3 is '$row', not '$3	$type	$2	$6'"
  [ "$(msi_field "$1" InstallExecuteSequence "$3" 2)" = "$5" ] ||
    fail "$(basename "$1"): $3 runs on '$(msi_field "$1" InstallExecuteSequence "$3" 2)', not '$5'"
}

# The scheduled task's definition as the Task Scheduler reads it: UTF-16LE
# with its byte order mark and its declaration saying so; one trigger, the
# network profile service's event 10000 (a network connected); run as the
# Users group (S-1-5-32-545) with their own rights, which runs it in the
# session of the user who is logged on, so the window and the question
# show; a second start while one runs ignored; two hours at most, on
# battery too; and one action, the program given as COMMAND with "/dock".
check_task_xml() { # FILE COMMAND
  xml=$1
  [ "$(od -An -tx1 -N2 "$xml" | tr -d ' ')" = fffe ] || fail "$xml has no UTF-16LE byte order mark"
  iconv -f UTF-16 -t UTF-8 "$xml" | head -n 1 | grep -q '^<?xml version="1.0" encoding="UTF-16"?>' ||
    fail "$xml does not declare its encoding UTF-16"
  xmllint --noout "$xml" || fail "$xml is not well-formed"
  task_path="/*[local-name()='Task']"
  for check in \
    "count($task_path/*[local-name()='Triggers']/*)=1" \
    "$task_path/*[local-name()='Triggers']/*[local-name()='EventTrigger']/*[local-name()='Enabled']='true'" \
    "count($task_path/*[local-name()='Principals']/*)=1" \
    "$task_path/*[local-name()='Principals']/*[local-name()='Principal']/*[local-name()='GroupId']='S-1-5-32-545'" \
    "count($task_path/*[local-name()='Principals']/*/*[local-name()='UserId'])=0" \
    "$task_path/*[local-name()='Principals']/*/*[local-name()='RunLevel']='LeastPrivilege'" \
    "$task_path/*[local-name()='Actions']/@Context=$task_path/*[local-name()='Principals']/*/@id" \
    "$task_path/*[local-name()='Settings']/*[local-name()='MultipleInstancesPolicy']='IgnoreNew'" \
    "$task_path/*[local-name()='Settings']/*[local-name()='ExecutionTimeLimit']='PT2H'" \
    "$task_path/*[local-name()='Settings']/*[local-name()='DisallowStartIfOnBatteries']='false'" \
    "$task_path/*[local-name()='Settings']/*[local-name()='StopIfGoingOnBatteries']='false'" \
    "$task_path/*[local-name()='Settings']/*[local-name()='Enabled']='true'" \
    "count($task_path/*[local-name()='Actions']/*)=1" \
    "$task_path/*[local-name()='Actions']/*[local-name()='Exec']/*[local-name()='Arguments']='/dock'"; do
    [ "$(xmllint --xpath "$check" "$xml")" = true ] || fail "$xml: not $check"
  done
  command=$(xmllint --xpath "string($task_path/*[local-name()='Actions']/*/*[local-name()='Command'])" "$xml")
  [ "$command" = "$2" ] || fail "$xml runs $command, not $2"
  # The event query: an XML text of its own inside the trigger.
  xmllint --xpath "string($task_path/*[local-name()='Triggers']/*/*[local-name()='Subscription'])" "$xml" \
    >"$work/query.xml"
  for check in \
    "count(/QueryList/Query)=1" \
    "/QueryList/Query/@Path='Microsoft-Windows-NetworkProfile/Operational'" \
    "count(/QueryList/Query/*)=1" \
    "/QueryList/Query/Select/@Path='Microsoft-Windows-NetworkProfile/Operational'" \
    "normalize-space(/QueryList/Query/Select)='*[System[(EventID=10000)]]'"; do
    [ "$(xmllint --xpath "$check" "$work/query.xml")" = true ] ||
      fail "$xml: the trigger's query is not $check: $(cat "$work/query.xml")"
  done
}

# What the last Wine program's netsh.exe runs were asked, one line each:
# the program and its arguments, separated by "|".
netsh_runs() {
  tr -d '\r' <"$out" | sed -n 's/^[0-9a-f]*:fixme:netsh:wmain stub: L"\(.*\)"$/\1/p' |
    sed 's/" L"/|/g; s/\\\\/\\/g'
}
netsh_path='C:\windows\system32\netsh.exe'
rule_added="$netsh_path|advfirewall|firewall|add|rule|name=$rule|dir=in|action=allow|protocol=TCP|localport=990|remoteip=169.254.2.0/24|profile=any|program=$program"
rule_deleted="$netsh_path|advfirewall|firewall|delete|rule|name=$rule"
# msiexec with netsh.exe's trace in its output.
msiexec_traced() {
  WINEDEBUG=-all,fixme+netsh w msiexec "$@"
}
expect_netsh_runs() { # WHEN RUN...
  when=$1
  shift
  expected=$(printf '%s\n' "$@")
  [ "$(netsh_runs)" = "$expected" ] ||
    fail "netsh.exe $when: $(netsh_runs | tr '\n' ';'), not $(printf '%s' "$expected" | tr '\n' ';')"
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
task_seen=
cleanup() {
  status=$?
  trap - EXIT
  rm -f "$program_dir/rapi.dll" "$program_dir/ceutil.dll"
  if [ -n "$installed" ]; then
    w msiexec /x "$(winpath "$msi")" /qn || echo "could not uninstall $msi" >&2
  fi
  # Only what the test made: there was no task of that name when it began.
  [ -z "$task_seen" ] || rm -rf "$wine_task"
  restore_keys
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM

started=$(date +%s)
[ ! -e "$program_dir" ] || fail "$program_dir exists: zamopocket is installed in this prefix already"
[ ! -e "$wine_task" ] || fail "$wine_task exists: a task of that name is registered in this prefix already"
task_seen=yes
for dll in rapi.dll ceutil.dll; do
  [ -f "$top/build/windows/$dll" ] || fail "build/windows/$dll is missing: run make windows"
done
command -v xmllint >/dev/null 2>&1 || fail "xmllint is missing: apt-get install libxml2-utils"
if [ $# -gt 0 ]; then
  msi=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
  [ -f "$msi" ] || fail "$1 does not exist"
else
  step "building the x64 and x86 packages"
  sh "$top/scripts/package.sh" "$work/packages" x64 x86 >"$out" 2>&1 || fail "scripts/package.sh failed"
  msi=$(sed -n '/-x64\.msi$/p' "$out")
  x86_msi=$(sed -n '/-x86\.msi$/p' "$out")
  [ -f "$msi" ] && [ -f "$x86_msi" ] || fail "scripts/package.sh built no MSI"
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

# The firewall rule and the scheduled task. The x64 package runs the 64-bit
# netsh.exe and schtasks.exe, and carries one task definition; the x86
# package the ones of its own view, and two definitions, one for 32-bit
# Windows and one for 64-bit Windows, where the Task Scheduler expands
# %ProgramFiles% to the 64-bit folder.
step "checking the firewall rule's and the scheduled task's custom actions"
check_custom_actions "$msi" System64Folder
[ "$(msi_table "$msi" File | grep zamopocket-dock | cut -f1-3)" = "zamopocket_dock.xml	DockTask	zamopocket-dock.xml" ] ||
  fail "the task's definition in the File table: $(msi_table "$msi" File | grep zamopocket-dock)"
[ "$(msi_field "$msi" Component DockTask 3)|$(msi_field "$msi" Component DockTask 5)" = "INSTALLDIR|" ] ||
  fail "the task definition's component: $(msi_table "$msi" Component | grep DockTask)"
if [ -n "${x86_msi:-}" ]; then
  check_custom_actions "$x86_msi" SystemFolder
  for component in "DockTask|NOT VersionNT64|zamopocket_dock.xml" \
    "DockTaskWow64|VersionNT64|zamopocket_dock_wow64.xml"; do
    id=${component%%|*}
    found="$id|$(msi_field "$x86_msi" Component "$id" 5)|$(msi_field "$x86_msi" Component "$id" 6)"
    [ "$found" = "$component" ] || fail "the x86 package's component $id: $found"
    [ "$(msi_field "$x86_msi" File "${component##*|}" 3)" = zamopocket-dock.xml ] ||
      fail "the x86 package's ${component##*|} is not named zamopocket-dock.xml"
  done
  # Each definition alone: a copy of the package without the other's row.
  for variant in "zamopocket_dock.xml|zamopocket_dock_wow64.xml|%ProgramFiles%" \
    "zamopocket_dock_wow64.xml|zamopocket_dock.xml|%ProgramFiles(x86)%"; do
    other=${variant#*|}
    other=${other%%|*}
    rm -rf "$work/x86" && mkdir "$work/x86"
    cp "$x86_msi" "$work/x86/one.msi"
    msibuild "$work/x86/one.msi" -q "DELETE FROM \`File\` WHERE \`File\` = '$other'" ||
      fail "msibuild cannot take $other out of a copy of the x86 package"
    msiextract -C "$work/x86" "$work/x86/one.msi" >/dev/null 2>&1 || fail "msiextract failed"
    check_task_xml "$work/x86/Program Files/zamopocket/zamopocket-dock.xml" \
      "\"${variant##*|}\\zamopocket\\zamopocket.exe\""
  done
fi

# A task that cannot be registered fails the installation, and its rollback
# takes the firewall rule away again: under Wine a folder where the task's
# file would go makes schtasks /Create fail.
step "msiexec /i $(basename "$msi") /qn, the task cannot be registered: nothing stays"
mkdir -p "$wine_task"
installed=yes
if msiexec_traced /i "$(winpath "$msi")" /qn; then fail "msiexec /i succeeded"; fi
installed=
expect_netsh_runs "in a failed installation" "$rule_deleted" "$rule_added" "$rule_deleted"
[ ! -e "$program_dir" ] || fail "the failed installation left $program_dir"
if reg_value "$autostart" zamopocket /reg:64 >/dev/null; then
  fail "the failed installation left the AutoStartOnConnect value"
fi
rm -rf "$wine_task"

# The sync root exists and stays empty through the installation: the package
# never creates or owns anything in it.
syncroot=$work/syncroot
mkdir "$syncroot"
winroot=$(winpath "$syncroot")

step "msiexec /i $(basename "$msi") /qn SYNCROOT=$winroot"
installed=yes
msiexec_traced /i "$(winpath "$msi")" /qn "SYNCROOT=$winroot" || fail "msiexec /i exited with $?"
# The rule deleted first, so that it is never there twice, then added.
expect_netsh_runs "in the installation" "$rule_deleted" "$rule_added"
[ -f "$wine_task" ] || fail "schtasks /Create registered no task \"$task\""

step "checking the installed files and registry values"
[ "$(ls "$program_dir" | tr '\n' ' ')" = "README.md zamopocket-dock.xml zamopocket.exe " ] ||
  fail "installed files: $(ls "$program_dir" | tr '\n' ' ')"
# The task runs the installed program: its Command, with %ProgramFiles%
# expanded as Windows expands it.
w cmd /c echo %ProgramFiles% || fail "cmd /c echo %ProgramFiles% exited with $?"
program_files=$(tr -d '\r\n' <"$out")
[ "$program_files\zamopocket\zamopocket.exe" = "$program" ] ||
  fail "%ProgramFiles% is $program_files: the task would not run $program"
check_task_xml "$program_dir/zamopocket-dock.xml" '"%ProgramFiles%\zamopocket\zamopocket.exe"'

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

# The scheduled task's run at a network connection that is no handheld's
# (no adapter of the prefix is one): it ends at once and writes nothing.
step "the installed program started as the task starts it, no handheld's adapter there"
w "$program" /dock || fail "zamopocket.exe /dock exited with $?"
[ -z "$(ls -A "$syncroot")" ] || fail "zamopocket.exe /dock wrote into the sync root: $(ls -A "$syncroot")"

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
msiexec_traced /i "$(winpath "$upgrade")" /qn || fail "msiexec /i (upgrade) exited with $?"
msi=$upgrade
# The old version's removal deletes the rule and the task, the new
# version's installation adds them again.
expect_netsh_runs "in the upgrade" "$rule_deleted" "$rule_deleted" "$rule_added"
[ -f "$wine_task" ] || fail "no task \"$task\" after the upgrade"
[ "$(ls "$program_dir" | tr '\n' ' ')" = "README.md zamopocket-dock.xml zamopocket.exe " ] ||
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
msiexec_traced /x "$(winpath "$msi")" /qn || fail "msiexec /x exited with $?"
installed=
expect_netsh_runs "in the uninstallation" "$rule_deleted"
[ ! -e "$wine_task" ] || fail "the task \"$task\" is still registered"

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
