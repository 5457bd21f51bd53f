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

version=$(sed -n 's/^project(zamopocket VERSION \([0-9][0-9]*\.[0-9][0-9]*\.[0-9][0-9]*\)[ )].*/\1/p' \
  "$top/CMakeLists.txt")
[ -n "$version" ] || fail "no VERSION major.minor.patch in project(zamopocket ...) of CMakeLists.txt"
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

  # wixl takes source paths relative to the folder it runs in, never absolute.
  (cd "$stage/$name" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" \
    -D NextVersion="$next_version" -D Exe=zamopocket.exe -D Readme=README.md \
    -o "$out/$name.msi" "$top/packaging/zamopocket.wxs")
  secure_syncroot "$out/$name.msi" || fail "cannot make SYNCROOT secure in $name.msi"
  (cd "$stage" && zip -q -X -r "$out/$name.zip" "$name")
  rm -rf "$stage"
  echo "$out/$name.msi"
  echo "$out/$name.zip"
done
