#!/bin/sh
# Builds the packages of zamopocket.exe from the Windows builds (make windows):
#   zamopocket-<version>-x64.msi  zamopocket-<version>-x64.zip  (build/windows/)
#   zamopocket-<version>-x86.msi  zamopocket-<version>-x86.zip  (build/windows-i686/)
# The version is the one of project() in CMakeLists.txt. Each zip holds one
# folder zamopocket-<version>-<arch>/ with zamopocket.exe and README.md; the
# MSI installs the same two files (packaging/zamopocket.wxs). README.md gets
# Windows line ends in both. The stand-in rapi.dll and ceutil.dll are test
# fixtures and never packaged.
# Usage: scripts/package.sh [OUTDIR [ARCH...]]   (default build/packages, x64 x86)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

version=$(sh "$top/scripts/project-version.sh") || fail "no version to give the package"
# The lowest version above this one: the packages below it are upgraded.
next_version=${version%.*}.$((${version##*.} + 1))

for tool in wixl msibuild msiinfo zip; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing: apt-get install wixl msitools zip"
done

# SYNCROOT made a secure public property (wixl has no Secure attribute):
# added to the SecureCustomProperties wixl writes for the upgrade search.
secure_syncroot() {
  secure=$(msiinfo export "$1" Property | tr -d '\r' | sed -n 's/^SecureCustomProperties	//p')
  if [ -n "$secure" ]; then
    msibuild "$1" -q "UPDATE \`Property\` SET \`Value\` = 'SYNCROOT;$secure' WHERE \`Property\` = 'SecureCustomProperties'"
  else
    msibuild "$1" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('SecureCustomProperties', 'SYNCROOT')"
  fi
}

# The scheduled task's definition (packaging/zamopocket-dock.xml) with the
# program's path in its Command, written as the Task Scheduler writes its
# own: UTF-16LE with a byte order mark and CRLF line ends.
task_xml() { # PROGRAM OUT
  program=$(printf '%s' "$1" | sed 's/[\\&|]/\\&/g')
  printf '\377\376' >"$2"
  sed "s|@PROGRAM@|$program|" "$top/packaging/zamopocket-dock.xml" | sed 's/\r*$/\r/' |
    iconv -f UTF-8 -t UTF-16LE >>"$2"
}

# The firewall rule and the scheduled task of a PC without WMDC (README,
# "Without WMDC"). wixl writes no custom action that runs a program in a
# folder, so they go into the tables here. Each is of type 34 (Target: the
# program and its arguments; Source: the folder it runs in) + 1024 (deferred:
# run by the installation script) + 2048 (not impersonated: as LocalSystem,
# which may change the firewall and register a task for every user);
# rollbacks + 256; + 64 where the exit code is ignored: a delete that finds
# nothing, or a rollback.
# Installation (NOT REMOVE="ALL", a repair too): the rule deleted and added
# again, so that it is never there twice; the task created with /F, which
# replaces one of that name. Their rollbacks, written before them, take them
# away when a first installation or an upgrade fails later (NOT Installed:
# a failed repair leaves them). Uninstallation (REMOVE="ALL", also the
# removal of the old version by an upgrade, which adds them again after):
# both deleted, with rollbacks that put them back.
firewall_rule='zamopocket handheld link (TCP 990)'
dock_task='zamopocket at docking'
custom_action() { # MSI ACTION TYPE SEQUENCE CONDITION TARGET
  msibuild "$1" -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('$2', $3, '$system', '$6')" &&
    msibuild "$1" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('$2', '$5', $4)"
}
add_custom_actions() { # MSI ARCH
  case $2 in
    x64) system=System64Folder ;;
    *) system=SystemFolder ;;
  esac
  netsh="\"[$system]netsh.exe\" advfirewall firewall"
  schtasks="\"[$system]schtasks.exe\""
  rule_add="$netsh add rule name=\"$firewall_rule\" dir=in action=allow protocol=TCP localport=990 remoteip=169.254.2.0/24 profile=any program=\"[INSTALLDIR]zamopocket.exe\""
  rule_delete="$netsh delete rule name=\"$firewall_rule\""
  task_create="$schtasks /Create /TN \"$dock_task\" /XML \"[INSTALLDIR]zamopocket-dock.xml\" /F"
  task_delete="$schtasks /Delete /TN \"$dock_task\" /F"
  custom_action "$1" ZpFirewallRestore 3426 1510 'REMOVE="ALL"' "$rule_add" &&
    custom_action "$1" ZpFirewallRemove 3170 1511 'REMOVE="ALL"' "$rule_delete" &&
    custom_action "$1" ZpDockTaskRestore 3426 1520 'REMOVE="ALL"' "$task_create" &&
    custom_action "$1" ZpDockTaskRemove 3170 1521 'REMOVE="ALL"' "$task_delete" &&
    custom_action "$1" ZpFirewallRollback 3426 6410 'NOT Installed' "$rule_delete" &&
    custom_action "$1" ZpFirewallClear 3170 6411 'NOT REMOVE="ALL"' "$rule_delete" &&
    custom_action "$1" ZpFirewallAdd 3106 6412 'NOT REMOVE="ALL"' "$rule_add" &&
    custom_action "$1" ZpDockTaskRollback 3426 6420 'NOT Installed' "$task_delete" &&
    custom_action "$1" ZpDockTaskAdd 3106 6421 'NOT REMOVE="ALL"' "$task_create"
}

out=${1:-$top/build/packages}
[ $# -gt 0 ] && shift
archs=${*:-x64 x86}
mkdir -p "$out"
out=$(cd "$out" && pwd)

for arch in $archs; do
  case $arch in
    x64) exe=$top/build/windows/zamopocket.exe ;;
    x86) exe=$top/build/windows-i686/zamopocket.exe ;;
    *) fail "unknown architecture $arch (x64 or x86)" ;;
  esac
  [ -f "$exe" ] || fail "$exe is missing: run make windows"
  name=zamopocket-$version-$arch
  stage=$out/stage-$arch
  rm -rf "$stage" "$out/$name.msi" "$out/$name.zip"
  mkdir -p "$stage/$name"
  cp -p "$exe" "$stage/$name/zamopocket.exe"
  sed 's/\r*$/\r/' "$top/README.md" >"$stage/$name/README.md"

  # The task's definitions, for the MSI only. The Task Scheduler expands
  # %ProgramFiles% as a 64-bit program: on 64-bit Windows the x86 package's
  # program is under %ProgramFiles(x86)%.
  mkdir "$stage/task"
  task_xml '%ProgramFiles%\zamopocket\zamopocket.exe' "$stage/task/zamopocket-dock.xml"
  task_defines="-D DockTask=task/zamopocket-dock.xml"
  if [ "$arch" = x86 ]; then
    task_xml '%ProgramFiles(x86)%\zamopocket\zamopocket.exe' "$stage/task/wow64.xml"
    task_defines="$task_defines -D DockTaskWow64=task/wow64.xml"
  fi

  # wixl takes source paths relative to the folder it runs in, never absolute.
  # $task_defines is several words.
  (cd "$stage" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
    -D NextVersion="$next_version" -D Exe="$name/zamopocket.exe" -D Readme="$name/README.md" \
    $task_defines -o "$out/$name.msi" "$top/packaging/zamopocket.wxs")
  secure_syncroot "$out/$name.msi" || fail "cannot make SYNCROOT secure in $name.msi"
  add_custom_actions "$out/$name.msi" "$arch" ||
    fail "cannot add the firewall rule's and the task's custom actions to $name.msi"
  if [ "$arch" = x86 ]; then
    msibuild "$out/$name.msi" -q "UPDATE \`Component\` SET \`Condition\` = 'NOT VersionNT64' WHERE \`Component\` = 'DockTask'" &&
      msibuild "$out/$name.msi" -q "UPDATE \`Component\` SET \`Condition\` = 'VersionNT64' WHERE \`Component\` = 'DockTaskWow64'" ||
      fail "cannot set the conditions of the task's definitions in $name.msi"
  fi
  (cd "$stage" && zip -q -X -r "$out/$name.zip" "$name")
  rm -rf "$stage"
  echo "$out/$name.msi"
  echo "$out/$name.zip"
done
