#!/bin/sh
# Builds the Debian package zamopocket_<version>_<arch>.deb from the Linux
# build (make build): the program, stripped, as /usr/bin/zamopocket, the
# serial line's chat (zamopocket-chat, built beside the program), and
# what runs a session at every docking (packaging/linux/: the udev rule,
# the units, their helpers in /usr/libexec/zamopocket/, the account, the
# maintainer scripts). The version is the one of project() in
# CMakeLists.txt. dpkg-deb gives every file to root (--root-owner-group):
# no fakeroot is needed. Prints the package's path.
# Usage: scripts/package-deb.sh [OUTDIR [PROGRAM]]
#   (default build/packages and build/native/zamopocket)
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
src=$top/packaging/linux

fail() {
  echo "package-deb.sh: $*" >&2
  exit 1
}

version=$(sh "$top/scripts/project-version.sh") || fail "no version to give the package"
for tool in dpkg-deb dpkg strip objdump gzip md5sum; do
  command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing"
done

out=${1:-$top/build/packages}
program=${2:-$top/build/native/zamopocket}
[ -x "$program" ] || fail "$program is missing: run make build"
chat=$(dirname "$program")/zamopocket-chat
[ -x "$chat" ] || fail "$chat is missing: run make build"
mkdir -p "$out"
out=$(cd "$out" && pwd)
arch=$(dpkg --print-architecture)

# The C library's version the programs need: the newest GLIBC_ symbol
# version they refer to. They need no other shared library (libstdc++ and
# libgcc are linked in).
for binary in "$program" "$chat"; do
  for lib in $(objdump -p "$binary" | sed -n 's/^ *NEEDED *//p'); do
    case $lib in
      libc.so.6 | libm.so.6 | ld-linux*.so.*) ;;
      *) fail "$binary needs $lib: only libc6's libraries are provided for" ;;
    esac
  done
done
glibc=$(objdump -T "$program" "$chat" | sed -n 's/.*GLIBC_\([0-9][0-9.]*\).*/\1/p' | sort -u -V | tail -n 1)
[ -n "$glibc" ] || fail "no GLIBC_ symbol versions in $program"

stage=$out/deb-stage
package=$out/zamopocket_${version}_$arch.deb
rm -rf "$stage" "$package"
mkdir -p "$stage/DEBIAN"

install -D -m 0755 "$program" "$stage/usr/bin/zamopocket"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/bin/zamopocket"
install -D -m 0755 "$chat" "$stage/usr/libexec/zamopocket/zamopocket-chat"
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/usr/libexec/zamopocket/zamopocket-chat"
for helper in zamopocket-link-up zamopocket-wait-link zamopocket-sync-root zamopocket-redock \
  zamopocket-serial zamopocket-ppp-up zamopocket-ppp-down; do
  install -D -m 0755 "$src/libexec/$helper" "$stage/usr/libexec/zamopocket/$helper"
done
for unit in zamopocket@.service zamopocket-link@.service zamopocket-serial@.service zamopocket-ppp@.service; do
  install -D -m 0644 "$src/$unit" "$stage/usr/lib/systemd/system/$unit"
done
for rule in 85-zamopocket.rules 85-zamopocket-serial.rules; do
  install -D -m 0644 "$src/$rule" "$stage/usr/lib/udev/rules.d/$rule"
done
install -D -m 0644 "$src/sysusers.conf" "$stage/usr/lib/sysusers.d/zamopocket.conf"

doc=$stage/usr/share/doc/zamopocket
install -D -m 0644 "$src/debian/copyright" "$doc/copyright"
# The changelog's date: the last commit's, so that a build of one commit
# gives the same package; the file's time outside a git checkout.
date=$(git -C "$top" log -1 --format=%cD 2>/dev/null || true)
[ -n "$date" ] || date=$(date -R -r "$top/CMakeLists.txt")
sed -e "s/@VERSION@/$version/" -e "s/@DATE@/$date/" "$src/debian/changelog" | gzip -9n >"$doc/changelog.gz"
gzip -9n <"$top/README.md" >"$doc/README.md.gz"
mkdir -p "$stage/usr/share/man/man1"
sed "s/@VERSION@/$version/" "$src/zamopocket.1" | gzip -9n >"$stage/usr/share/man/man1/zamopocket.1.gz"
chmod 0644 "$doc"/*.gz "$stage/usr/share/man/man1/zamopocket.1.gz"
find "$stage" -type d -exec chmod 0755 {} +

for script in postinst prerm postrm; do
  install -m 0755 "$src/debian/$script" "$stage/DEBIAN/$script"
done
size=$(du -k -s --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" \
  -e "s/@LIBC@/libc6 (>= $glibc)/" "$src/debian/control" >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f -print0 | LC_ALL=C sort -z | xargs -0 md5sum) >"$stage/DEBIAN/md5sums"
chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"

dpkg-deb --root-owner-group -Zxz --build "$stage" "$package" >/dev/null
rm -rf "$stage"
echo "$package"
