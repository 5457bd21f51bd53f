#!/bin/sh
# The Debian package in a clean Debian 12 (bookworm) root:
#
# 1. builds zamopocket_<version>_<arch>.deb from the Linux build
#    (scripts/package-deb.sh), and runs lintian on it when it is installed;
# 2. unpacks a fresh minbase root with the package's Depends (made once by
#    debootstrap, from the mirror of the host's own apt sources, and kept
#    as a tarball in /var/cache/zamopocket-tests/, or $ZP_DEB_CACHE);
# 3. installs the package there with dpkg (its maintainer scripts run for
#    real) and checks the account, the desktop root, registry.reg, the
#    default sync root and the link to it, their owners and modes; installs
#    it again (an upgrade of the same version keeps the settings);
# 4. checks the units with systemd-analyze verify (no output allowed) and
#    the udev rule's syntax, key by key;
# 5. docks a handheld: a network namespace for the handheld (zp-handheld,
#    169.254.2.1, the sample handheld of examples/ with three arrays and
#    state 3) and one for the desktop, joined by a veth pair whose desktop
#    end is named and addressed as a handheld's RNDIS interface is
#    (enx8000600fe800, 80:00:60:0f:e8:00, down, no address). In the
#    desktop's namespace it runs the installed link-up helper as
#    zamopocket-link@.service runs it (root, CAP_NET_ADMIN alone), checks
#    its firewall (the table inet zamopocket lists the interface, once
#    however often the link-up runs; a listener on the desktop's port 2222
#    answers on loopback, not the handheld; without nft the link-up fails
#    and leaves the interface down), then
#    every command of zamopocket@.service in its order (ExecStartPre=,
#    ExecStart=, ExecStopPost=) with the unit's Environment=, its user and
#    capabilities (setpriv), its umask, and its file system as far as
#    mounts show it (read-only but for StateDirectory=, RuntimeDirectory=
#    and ReadWritePaths=, a private /tmp, /proc with hidepid=invisible);
#    and checks the exit code, the arrays in <sync root>/FieldPocket/
#    FromPocket/ (group zamopocket, nothing for others), the log's
#    "Finished successfully" and the handheld's state 4;
# 6. moves the sync root with the drop-in README gives and docks the
#    handheld again: the link follows, the new sync root is made, the
#    arrays land there;
# 7. removes the package (sync roots, log, arrays and settings stay), then
#    purges it (the settings go; the sync roots and arrays stay).
#
# Between 6 and 7, an older handheld (Pocket PC 2000-2003) on its serial
# line ttyUSB0, as far as this machine can show it: the rule and the units
# checked (zamopocket-serial@.service, zamopocket-ppp@.service); the
# sync-root drop-in linked for the serial unit and moved once more (both
# units follow the one file); then zamopocket-serial@ttyUSB0.service's
# commands in order, its program started with NOTIFY_SOCKET and, once it
# said READY=1, zamopocket-ppp@.service's command as that unit runs it
# (root with its capability bounding set), where a stand-in pppd (first on
# PATH) records its command line, which is checked option by option; the
# connect program of that line (setpriv, zamopocket-chat) run as pppd runs
# it, on a pseudo-terminal whose other end zp-handheld --chat-tty holds; a
# veth pair addressed as pppd addresses the link (zpttyUSB0 with
# 192.168.231.1 peer 192.168.231.2, the handheld's end in its namespace),
# pppd's ip-up script run with pppd's arguments and its firewall checked;
# zp-handheld --legacy dialing the session's port 5679 through that
# firewall and serving its sessions on 990: exit code, arrays and state 4
# as above. Then the refusals: an address already local, one a route
# covers, usepeerdns in pppd's options, a tty beyond ttyUSB126, a fifth
# line (a stand-in systemctl), and zamopocket-link-up given a
# point-to-point interface (a tun device).
#
# What only a machine with PPP, USB and an older handheld can show (this
# kernel has neither PPP nor USB): that the ipaq driver binds the handheld
# and the rule matches its tty; the tty's open waiting for the handheld;
# pppd itself (its options files, /dev/ppp, the chat on a real tty, LCP
# and IPCP with the handheld, the interface it makes, up_sdnotify, its
# scripts run with an empty environment and the ip-pre-up it still runs);
# the race of the handheld dialing 5679 the moment IPCP is up (here the
# listener is made before the address exists, as on a dock, but the
# handheld dials after the ip-up script); the device unit's stop of both
# units, the session's end stopping pppd, and a redocked tty told apart by
# udev's USEC_INITIALIZED.
#
# What a root without a running systemd cannot show, and this test does
# not: a unit started by a real udev event (the rule is checked for its
# syntax, not matched against a real device: a USB interface bound to
# rndis_host cannot be made here); the ordering of the units and the
# BindsTo= stop when the interface goes, and the start refused while an
# instance stops (zamopocket-redock's own logic is run, with a stand-in
# systemctl); the sandbox's system call filter, capability bounding and
# namespaces as systemd makes them (the mounts above and setpriv stand in).
#
# Needs root (chroot, network namespaces, mounts); exits 77 (skipped)
# otherwise, or when debootstrap, ip or network namespaces are missing.
# Usage: tests/package/deb_install_test.sh [BUILD_DIR]   (default build/native)
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build/native}
suite=${ZP_DEB_SUITE:-bookworm}
cache_dir=${ZP_DEB_CACHE:-/var/cache/zamopocket-tests}
iface=enx8000600fe800 # as udev names a handheld's interface by its MAC
mac=80:00:60:0f:e8:00
began=$(date +%s)

skip() {
  echo "SKIP: $*"
  exit 77
}
step() {
  printf -- '-- %s (%ss)\n' "$*" "$(($(date +%s) - began))"
}
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  exit 1
}
expect() { # expect WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: '$2', expected '$3'"
}

[ "$(id -u)" = 0 ] || skip "needs root (a chroot, network namespaces, mounts)"
for tool in debootstrap ip chroot unshare setpriv flock timeout perl; do
  command -v "$tool" >/dev/null 2>&1 || skip "$tool is missing (make test installs debootstrap)"
done
program=$build/zamopocket
handheld_program=$build/zp-handheld
[ -x "$program" ] && [ -x "$handheld_program" ] || fail "$program or $handheld_program is missing: make build"

work=$(mktemp -d "${TMPDIR:-/tmp}/zp-deb.XXXXXX")
root=$work/root
desk=zpdebd$$
hh=zpdebh$$
handheld_pid=
listener_pid=
session_pid=
notify_pid=
cleanup() {
  for pid in $handheld_pid $listener_pid $session_pid $notify_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  ip netns del "$desk" 2>/dev/null || true
  ip netns del "$hh" 2>/dev/null || true
  if [ -n "${ZP_KEEP:-}" ]; then echo "kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT
trap 'exit 1' INT TERM

ip netns add "$desk" 2>"$work/netns.err" || skip "cannot make a network namespace: $(cat "$work/netns.err")"
ip netns add "$hh"

# ---------------------------------------------------------------- the package
step "building the package"
deb=$(sh "$top/scripts/package-deb.sh" "$work/out" "$program")
if command -v lintian >/dev/null 2>&1; then
  # Explained in README ("The Debian package"): the two hardening notes
  # come from the build's compiler flags.
  lintian --display-info --pedantic "$deb" 2>/dev/null | grep -v -E ': hardening-no-(bindnow|fortify-functions) ' |
    sed 's/^/lintian: /' >"$work/lintian.out" || true
  [ ! -s "$work/lintian.out" ] || fail "lintian: $(cat "$work/lintian.out")"
  echo "lintian: clean"
else
  echo "lintian: not installed, not run (make lint-deb installs and runs it)"
fi

# ----------------------------------------------------- a fresh bookworm root
# The Depends, without versions: what debootstrap adds to minbase.
include=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/ //g' | grep . | sort -u |
  tr '\n' ',' | sed 's/,$//')
arch=$(dpkg --print-architecture)
# Named after the Depends: when they change, another root is made.
tarball=$cache_dir/debootstrap-$suite-$arch-minbase-$(echo "$include" | tr ',' '+').tar

# The host's own mirror for the suite: the first "deb" source of its apt
# sources (one-line or deb822) that serves it; none: debootstrap's default.
host_mirror() {
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    awk -v s="$1" '$1 == "deb" {
        i = 2
        if ($2 ~ /^\[/) { while (i <= NF && $i !~ /\]$/) i++; i++ }
        if ($(i + 1) == s) { print $i; exit }
      }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    awk -v s="$1" '
      function flush() {
        if (deb && suite && enabled && uri != "" && !found) { print uri; found = 1 }
        deb = 0; suite = 0; enabled = 1; uri = ""
      }
      BEGIN { enabled = 1 }
      /^[ \t]*#/ { next }
      /^[ \t]*$/ { flush(); next }
      tolower($1) == "types:" { for (i = 2; i <= NF; i++) if ($i == "deb") deb = 1 }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "suites:" { for (i = 2; i <= NF; i++) if ($i == s) suite = 1 }
      tolower($1) == "enabled:" && tolower($2) == "no" { enabled = 0 }
      END { flush() }' "$f"
  done
}

if [ ! -f "$tarball" ]; then
  mkdir -p "$cache_dir"
  (
    flock -w 900 9 || fail "the cache $cache_dir is locked by another run"
    if [ ! -f "$tarball" ]; then
      mirror=$(host_mirror "$suite" | head -n 1)
      # The mirror is not printed: the test's output is kept in files.
      source_name="debootstrap's default mirror"
      [ -z "$mirror" ] || source_name="the host's mirror"
      step "debootstrap --variant=minbase --include=$include $suite ($source_name; kept in $tarball)"
      made=$work/debootstrap
      # shellcheck disable=SC2086 # no mirror: debootstrap's own
      timeout 900 debootstrap --variant=minbase --include="$include" --arch="$arch" "$suite" "$made" \
        $mirror >"$work/debootstrap.log" 2>&1 || {
        tail -n 20 "$work/debootstrap.log" | sed 's#[a-z]*://[^/ ]*#MIRROR#g' >&2
        fail "debootstrap failed"
      }
      rm -rf "$made"/var/cache/apt/archives/*.deb "$made"/var/lib/apt/lists/*_Packages
      tar -C "$made" -cf "$tarball.new" . && mv "$tarball.new" "$tarball"
      rm -rf "$made"
    fi
  ) 9>"$cache_dir/lock"
fi
step "unpacking a fresh $suite root"
mkdir "$root"
tar -C "$root" -xf "$tarball"

# A command in the root, its own mount namespace holding /proc (gone with it).
in_root() {
  timeout 300 unshare -m --propagation private sh -c \
    'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" "$@"
}
owner_mode() { # owner:group octal-mode, as the root's accounts name them
  in_root stat -c '%U:%G %a' "$1"
}

# -------------------------------------------------------------- installing it
step "dpkg -i"
cp "$deb" "$root/tmp/zamopocket.deb"
in_root dpkg -i /tmp/zamopocket.deb >"$work/dpkg.out" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.out")"
account=$(in_root getent passwd zamopocket) || fail "no user zamopocket"
uid=$(echo "$account" | cut -d: -f3)
[ "$uid" -lt 1000 ] || fail "zamopocket is not a system user: $account"
expect "zamopocket's home and shell" "$(echo "$account" | cut -d: -f6,7)" "/var/lib/zamopocket:/usr/sbin/nologin"
gid=$(in_root getent group zamopocket | cut -d: -f3) || fail "no group zamopocket"
expect "zamopocket's group" "$(echo "$account" | cut -d: -f4)" "$gid"
lib=$root/var/lib/zamopocket
expect "the desktop root" "$(owner_mode /var/lib/zamopocket)" "zamopocket:zamopocket 750"
expect "registry.reg" "$(owner_mode /var/lib/zamopocket/registry.reg)" "zamopocket:zamopocket 600"
grep -q '^"PathSync"="s:\\\\"' "$lib/registry.reg" || fail "registry.reg has no PathSync s:\\: $(cat "$lib/registry.reg")"
expect "the link s" "$(readlink "$lib/s")" "/var/lib/zamopocket/sync"
expect "the default sync root" "$(owner_mode /var/lib/zamopocket/sync)" "zamopocket:zamopocket 2750"
for file in /usr/bin/zamopocket /usr/lib/udev/rules.d/85-zamopocket.rules \
  /usr/lib/systemd/system/zamopocket@.service /usr/lib/systemd/system/zamopocket-link@.service \
  /usr/lib/sysusers.d/zamopocket.conf /usr/libexec/zamopocket/zamopocket-link-up \
  /usr/lib/udev/rules.d/85-zamopocket-serial.rules /usr/lib/systemd/system/zamopocket-serial@.service \
  /usr/lib/systemd/system/zamopocket-ppp@.service /usr/libexec/zamopocket/zamopocket-serial \
  /usr/libexec/zamopocket/zamopocket-ppp-up /usr/libexec/zamopocket/zamopocket-ppp-down \
  /usr/libexec/zamopocket/zamopocket-chat; do
  [ -f "$root$file" ] || fail "$file is not installed"
done
for binary in /usr/bin/zamopocket /usr/libexec/zamopocket/zamopocket-chat; do
  if readelf -S "$root$binary" | grep -q -F '.symtab'; then fail "$binary is not stripped"; fi
done

step "dpkg -i again (the same version over itself)"
printf '; kept\r\n' >>"$lib/registry.reg"
in_root dpkg -i /tmp/zamopocket.deb >"$work/dpkg.out" 2>&1 || fail "dpkg -i again: $(cat "$work/dpkg.out")"
tail -n 1 "$lib/registry.reg" | grep -q '; kept' || fail "installing again replaced registry.reg"
sed -i '$d' "$lib/registry.reg"
expect "registry.reg after installing again" "$(owner_mode /var/lib/zamopocket/registry.reg)" \
  "zamopocket:zamopocket 600"

# ------------------------------------------------------ the units and the rule
units=$root/usr/lib/systemd/system
unit=$units/zamopocket@.service
link_unit=$units/zamopocket-link@.service
serial_unit=$units/zamopocket-serial@.service
ppp_unit=$units/zamopocket-ppp@.service
tty=ttyUSB0
if command -v systemd-analyze >/dev/null 2>&1; then
  step "systemd-analyze verify"
  # Beside the installed files, the host's own units (sysinit.target and
  # the rest that every service pulls in), in a copy of their own.
  verify=$work/verify
  mkdir -p "$verify/usr/lib/systemd/system"
  host_units=/usr/lib/systemd/system
  [ -f "$host_units/sysinit.target" ] || host_units=/lib/systemd/system
  cp -a "$host_units/." "$verify/usr/lib/systemd/system/"
  in_root dpkg -L zamopocket | while read -r path; do
    if [ -f "$root$path" ] && [ ! -L "$root$path" ]; then
      mkdir -p "$verify$(dirname "$path")"
      cp -p "$root$path" "$verify$path"
    fi
  done
  # pppd(8), which zamopocket-ppp@.service names, from the root's ppp.
  mkdir -p "$verify/usr/share/man/man8"
  cp "$root/usr/share/man/man8/pppd.8.gz" "$verify/usr/share/man/man8/" 2>/dev/null || true
  man_check=--man=yes
  command -v man >/dev/null 2>&1 || man_check=--man=no
  (cd "$verify" && MANPATH=$verify/usr/share/man systemd-analyze verify "$man_check" --root="$verify" \
    "zamopocket@$iface.service" "zamopocket-link@$iface.service" "zamopocket-serial@$tty.service" \
    "zamopocket-ppp@$tty.service") >"$work/verify.out" 2>&1 ||
    fail "systemd-analyze verify: $(cat "$work/verify.out")"
  [ ! -s "$work/verify.out" ] || fail "systemd-analyze verify: $(cat "$work/verify.out")"
else
  echo "NOT CHECKED: systemd-analyze is missing, the units were not verified"
fi

step "the udev rule, key by key"
# udevadm has no rule checker in systemd 252 (udevadm verify came later),
# and udevadm test needs the device. So: every line is comma-separated
# KEY[{attr}] OP "value" with a key udev knows, matches with == or !=,
# assignments with = or +=; each GOTO has its LABEL; the rule that matches
# the handheld names rndis_host and the USB interface class ef/01/01 in one
# rule (one parent); the wanted unit is named after $name; the file sorts
# after 80-net-setup-link.rules, where the interface gets its final name.
# The older handhelds' rule: one rule, a tty of the ipaq driver.
rule=$root/usr/lib/udev/rules.d/85-zamopocket.rules
serial_rule=$root/usr/lib/udev/rules.d/85-zamopocket-serial.rules
awk '
  /^[ \t]*(#|$)/ { next }
  {
    line = $0; n = 0
    while (line != "") {
      if (!match(line, /^[ \t]*[A-Z_]+(\{[A-Za-z0-9_]+\})?[ \t]*(==|!=|\+=|=)[ \t]*"[^"]*"[ \t]*(,|$)/)) {
        printf "%s:%d: cannot read \"%s\"\n", FILENAME, FNR, line; bad = 1; next
      }
      pair = substr(line, 1, RLENGTH); line = substr(line, RLENGTH + 1); n++
      key = pair; sub(/^[ \t]*/, "", key); sub(/[ \t]*(==|!=|\+=|=).*/, "", key)
      op = pair; sub(/^[^=!+]*/, "", op); sub(/[ \t]*".*/, "", op)
      name = key; sub(/\{.*/, "", name)
      if (name ~ /^(ACTION|SUBSYSTEM|DRIVERS|ATTRS|KERNEL)$/) {
        if (op != "==" && op != "!=") { printf "%s:%d: %s takes == or !=, not %s\n", FILENAME, FNR, key, op; bad = 1 }
      } else if (name ~ /^(GOTO|LABEL)$/) {
        if (op != "=") { printf "%s:%d: %s takes =\n", FILENAME, FNR, key; bad = 1 }
        v = pair; sub(/^[^"]*"/, "", v); sub(/".*/, "", v)
        if (name == "GOTO") gotos[v] = FNR; else labels[v] = FNR
      } else if (name !~ /^(ENV|TAG)$/) {
        printf "%s:%d: unknown key %s\n", FILENAME, FNR, key; bad = 1
      }
    }
  }
  END {
    for (g in gotos) if (!(g in labels)) { printf "GOTO \"%s\" has no LABEL\n", g; bad = 1 }
    exit bad
  }' "$rule" "$serial_rule" >"$work/rule.out" || fail "the udev rules: $(cat "$work/rule.out")"
match=$(grep '^DRIVERS=="rndis_host"' "$rule") || fail "no rule matches DRIVERS==\"rndis_host\""
for key in 'ATTRS{bInterfaceClass}=="ef"' 'ATTRS{bInterfaceSubClass}=="01"' 'ATTRS{bInterfaceProtocol}=="01"'; do
  case $match in *"$key"*) ;; *) fail "the rule for rndis_host lacks $key in the same rule" ;; esac
done
grep -q '^ACTION!="add|change", GOTO="zamopocket_end"$' "$rule" || fail "the rule is not limited to add and change"
grep -q '^SUBSYSTEM!="net", GOTO="zamopocket_end"$' "$rule" || fail "the rule is not limited to net"
grep -q 'ENV{SYSTEMD_WANTS}+="zamopocket@$name.service"' "$rule" || fail "no SYSTEMD_WANTS for zamopocket@\$name"
grep -q 'TAG+="systemd"' "$rule" || fail "no TAG+=\"systemd\""
grep -q '^ENV{NM_UNMANAGED}="1"$' "$rule" || fail "no NM_UNMANAGED"
[ "$(printf '%s\n' 80-net-setup-link.rules 85-zamopocket.rules | LC_ALL=C sort | tail -n 1)" = 85-zamopocket.rules ] ||
  fail "the rule does not sort after 80-net-setup-link.rules"
match=$(grep '^ACTION=="add|change", SUBSYSTEM=="tty", ' "$serial_rule") ||
  fail "no rule for a tty on add and change in 85-zamopocket-serial.rules"
for key in 'KERNEL=="ttyUSB[0-9]*"' 'DRIVERS=="ipaq"' 'ENV{ID_MM_DEVICE_IGNORE}="1"' 'TAG+="systemd"' \
  'ENV{SYSTEMD_WANTS}+="zamopocket-serial@%k.service"'; do
  case $match in *"$key"*) ;; *) fail "the serial line's rule lacks $key" ;; esac
done

# ------------------------------------------------- a docked handheld: the link
step "docking: $iface in a network namespace, the handheld at 169.254.2.1"
ip link add "$iface" netns "$desk" address "$mac" type veth peer name eth0 netns "$hh"
ip -n "$hh" link set lo up
ip -n "$hh" addr add 169.254.2.1/24 broadcast + dev eth0
ip -n "$hh" link set eth0 up
ip -n "$desk" link set lo up
[ -z "$(ip -n "$desk" -4 -o addr show dev "$iface")" ] || fail "$iface has an address before the link-up"
if [ -d /proc/sys/net/ipv6 ]; then
  expect "disable_ipv6 before the link-up" \
    "$(ip netns exec "$desk" cat "/proc/sys/net/ipv6/conf/$iface/disable_ipv6")" 0
fi

# A command as zamopocket-link@.service runs it: root whose capabilities
# are CAP_NET_ADMIN alone, in the desktop's namespace.
as_root() { # CAPABILITIES CMD...: root with only those (setpriv's +x,+y)
  bounding=$1
  shift
  timeout 60 ip netns exec "$desk" sh -c \
    'mount -t proc proc "$0/proc" && mount -t sysfs sysfs "$0/sys" && exec chroot "$0" "$@"' "$root" \
    /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    setpriv --inh-caps=-all --bounding-set=-all,"$bounding" -- "$@"
}
link_up() { as_root +net_admin "$@"; }
expect "zamopocket-link@'s capabilities" "$(sed -n 's/^CapabilityBoundingSet=//p' "$link_unit")" CAP_NET_ADMIN
link_cmd=$(sed -n 's/^ExecStart=//p' "$link_unit" | sed "s/%[iI]/$iface/g")
step "the link-up: $link_cmd"
# shellcheck disable=SC2086 # the unit's command line, split as systemd splits it
link_up $link_cmd >"$work/link.out" 2>&1 || fail "the link-up failed: $(cat "$work/link.out")"
expect "$iface's IPv4 address" "$(ip -n "$desk" -4 -o addr show dev "$iface" | awk '{print $4}')" 169.254.2.2/24
expect "$iface's routes" "$(ip -n "$desk" -4 route show | sed 's/ *$//')" \
  "169.254.2.0/24 dev $iface proto kernel scope link src 169.254.2.2"
[ -z "$(ip -n "$desk" -4 route show default)" ] || fail "a default route appeared"
ip -n "$desk" link show dev "$iface" | grep -q ',UP' || fail "$iface is not up"
if [ -d /proc/sys/net/ipv6 ]; then
  expect "disable_ipv6" "$(ip netns exec "$desk" cat "/proc/sys/net/ipv6/conf/$iface/disable_ipv6")" 1
  expect "accept_ra" "$(ip netns exec "$desk" cat "/proc/sys/net/ipv6/conf/$iface/accept_ra")" 0
  [ -z "$(ip -n "$desk" -6 -o addr show dev "$iface")" ] || fail "$iface has an IPv6 address"
fi
# The firewall: the interface in the table's set, the rules once each.
firewall() {
  link_up nft list table inet zamopocket >"$work/nft.out" 2>&1 || fail "nft list table: $(cat "$work/nft.out")"
  grep -q "\"$1\"" "$work/nft.out" || fail "$1 is not in the table inet zamopocket: $(cat "$work/nft.out")"
  expect "the rules for port 990" "$(grep -c 'tcp dport 990 ct state new accept' "$work/nft.out")" 1
  expect "the rules for port 5679" \
    "$(grep -c 'iifname . ip saddr @serial_peers tcp dport 5679 ct state new accept' "$work/nft.out")" 1
}
firewall "$iface"
# shellcheck disable=SC2086
link_up $link_cmd >"$work/link.out" 2>&1 || fail "the link-up failed the second time: $(cat "$work/link.out")"
expect "$iface's addresses after a second link-up" "$(ip -n "$desk" -4 -o addr show dev "$iface" | wc -l)" 1
firewall "$iface"
# A listener on the desktop's port 2222 (perl is in every Debian root):
# reached on loopback, not from the handheld.
ip netns exec "$desk" timeout 30 chroot "$root" perl -MIO::Socket::INET -e '
  my $s = IO::Socket::INET->new(LocalAddr => "169.254.2.2:2222", Listen => 5, ReuseAddr => 1) or die "$!\n";
  while (my $c = $s->accept) { close $c }' >"$work/listener.out" 2>&1 &
listener_pid=$!
connect_2222() { # NAMESPACE: connects within 3 s or fails
  ip netns exec "$1" timeout 10 chroot "$root" perl -MIO::Socket::INET -e '
    IO::Socket::INET->new(PeerAddr => "169.254.2.2:2222", Timeout => 3) or die "$@\n"' 2>&1
}
tries=0
until connect_2222 "$desk" >"$work/connect.out"; do
  tries=$((tries + 1))
  [ $tries -lt 20 ] || fail "the listener on port 2222 is not reached on loopback: $(cat "$work/connect.out" "$work/listener.out")"
  sleep 0.25
done
if connect_2222 "$hh" >"$work/connect.out"; then fail "the handheld reached the desktop's port 2222"; fi
echo "the handheld to the desktop's port 2222: $(cat "$work/connect.out")"
kill "$listener_pid" 2>/dev/null || true
wait "$listener_pid" 2>/dev/null || true
listener_pid=
# Without nft: the link-up fails, and the interface is left down.
ip -n "$desk" link add zpq2 type veth peer name zpq3
ip -n "$desk" link set zpq2 up
if link_up /usr/bin/env PATH=/usr/bin:/bin /usr/libexec/zamopocket/zamopocket-link-up zpq2 >"$work/link.out" 2>&1; then
  fail "the link-up without nft succeeded: $(cat "$work/link.out")"
fi
grep -q 'nft is missing' "$work/link.out" || fail "the link-up without nft: $(cat "$work/link.out")"
if ip -n "$desk" link show dev zpq2 | grep -q ',UP'; then fail "zpq2 is up without its firewall"; fi
# An interface with an IPv4 address of its own keeps it and gets no other.
ip -n "$desk" link add zpq0 type veth peer name zpq1
ip -n "$desk" addr add 10.9.9.9/24 dev zpq0
link_up /usr/libexec/zamopocket/zamopocket-link-up zpq0 >"$work/link.out" 2>&1 ||
  fail "the link-up of an interface with an address failed: $(cat "$work/link.out")"
expect "zpq0's addresses" "$(ip -n "$desk" -4 -o addr show dev zpq0 | awk '{print $4}')" 10.9.9.9/24
firewall zpq0
firewall "$iface"
# A point-to-point interface (a tun device; PPP's are too) is left alone.
if ip -n "$desk" tuntap add dev zpt0 mode tun 2>/dev/null; then
  if link_up /usr/libexec/zamopocket/zamopocket-link-up zpt0 >"$work/link.out" 2>&1; then
    fail "the link-up took the point-to-point zpt0: $(cat "$work/link.out")"
  fi
  grep -q 'is a point-to-point link' "$work/link.out" || fail "the link-up of zpt0: $(cat "$work/link.out")"
  if ip -n "$desk" link show dev zpt0 | grep -q ',UP'; then fail "the link-up set zpt0 up"; fi
else
  echo "NOT CHECKED: no tun device here, so not the link-up's refusal of a point-to-point interface"
fi

# ---------------------------------------- a docked handheld: the unit's commands
# Values of KEY= of the unit ($unit) and its drop-ins, in order, %i and %I
# replaced by $instance.
unit_values() {
  cat "$unit" "$root/etc/systemd/system/${unit##*/}.d"/*.conf 2>/dev/null |
    sed -n "s/^$1=//p" | sed "s/%[iI]/$instance/g"
}
# The contents of the unit's EnvironmentFile= files, as systemd reads them
# before each command ("-": the file may be missing).
unit_env_files() {
  unit_values EnvironmentFile | while read -r file; do
    file=${file#-}
    [ ! -f "$root$file" ] || grep -v -e '^#' -e '^$' "$root$file"
  done
}
# The unit's user, capabilities, sandbox, directories and umask.
read_unit() {
  user=$(unit_values User)
  expect "the unit's user and group" "$user:$(unit_values Group)" zamopocket:zamopocket
  caps=$(unit_values AmbientCapabilities)
  expect "the unit's capabilities" "$caps" CAP_NET_BIND_SERVICE
  expect "the unit's capability bounding set" "$(unit_values CapabilityBoundingSet)" "$caps"
  expect "the unit's no new privileges" "$(unit_values NoNewPrivileges)" yes
  expect "the unit's file system" "$(unit_values ProtectSystem)" strict
  setpriv_caps=$(echo "$caps" | tr 'A-Z ' 'a-z\n' | sed 's/^cap_/+/' | paste -s -d,)
  state=/var/lib/$(unit_values StateDirectory)
  runtime=/run/$(unit_values RuntimeDirectory)
  umask_value=$(unit_values UMask)
}
instance=$iface
read_unit

# One command of zamopocket@$iface.service in the desktop's namespace:
# `unit_command root CMD...` as root outside the sandbox (ExecStartPre=+),
# `unit_command unit CMD...` as the unit's user with its capabilities, umask
# and file system: read-only but StateDirectory=, RuntimeDirectory= and
# ReadWritePaths=; a private /tmp and /var/tmp; /proc with hidepid=invisible
# (ProtectProc=); /sys read-only (ProtectKernelTunables=). Its environment:
# the unit's Environment= and directories, and $extra_env.
unit_command() {
  mode=$1
  shift
  writable="$state $runtime $(unit_values ReadWritePaths)"
  # shellcheck disable=SC2046,SC2086 # the environment, word by word as systemd splits it
  set -- "$mode" "$writable" "$umask_value" "$user" "$setpriv_caps" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin $(unit_values Environment) \
    $(unit_env_files) STATE_DIRECTORY="$state" RUNTIME_DIRECTORY="$runtime" $extra_env $post_env -- "$@"
  timeout 150 ip netns exec "$desk" sh -c '
    set -eu
    root=$1 mode=$2 writable=$3 mask=$4 user=$5 caps=$6
    shift 6
    environment=
    while [ "$1" != -- ]; do
      environment="$environment $1"
      shift
    done
    shift
    if [ "$mode" = unit ]; then
      mount --bind "$root" "$root"
      mount -o remount,bind,ro "$root"
      for path in $writable; do
        path=${path#-}
        [ -e "$root$path" ] || continue
        mount --bind "$root$path" "$root$path"
        mount -o remount,bind,rw "$root$path"
      done
      mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
      mount -t tmpfs -o mode=1777 tmpfs "$root/var/tmp"
      mount -t proc -o hidepid=invisible proc "$root/proc"
      mount -t sysfs -o ro sysfs "$root/sys"
      set -- setpriv --reuid="$user" --regid="$user" --init-groups --inh-caps=-all,"$caps" \
        --ambient-caps=-all,"$caps" --bounding-set=-all,"$caps" --no-new-privs -- "$@"
    else
      mount -t proc proc "$root/proc"
      mount -t sysfs sysfs "$root/sys"
    fi
    umask "$mask"
    exec chroot "$root" /usr/bin/env -i $environment "$@"
  ' sh "$root" "$@"
}

# Runs the unit's ExecStartPre=, ExecStart= and ExecStopPost= lines in
# order; the main command's exit code in $session_exit, its output and the
# others' in $work/session.out. With $during set, the main command runs in
# the background while that function runs.
during=
run_unit() {
  session_exit=
  : >"$work/session.out"
  # The runtime directory, as systemd makes it before the first command.
  in_root sh -c "mkdir -p '$runtime' && chown $user:$user '$runtime' && chmod 0750 '$runtime'"
  grep -E '^(ExecStartPre|ExecStart|ExecStopPost)=' "$unit" | sed "s/%[iI]/$instance/g" >"$work/exec.lines"
  while IFS= read -r line; do
    kind=${line%%=*}
    command=${line#*=}
    mode=unit
    ignore=
    while :; do
      case $command in
        +*) mode=root command=${command#+} ;;
        -*) ignore=1 command=${command#-} ;;
        *) break ;;
      esac
    done
    post_env=
    if [ "$kind" = ExecStopPost ]; then
      post_env="SERVICE_RESULT=success EXIT_CODE=exited EXIT_STATUS=$session_exit"
    fi
    echo "$kind ($mode): $command" >>"$work/session.out"
    set +e
    if [ "$kind" = ExecStart ] && [ -n "$during" ]; then
      # shellcheck disable=SC2086
      unit_command "$mode" $command >>"$work/session.out" 2>&1 </dev/null &
      session_pid=$!
      set -e
      "$during"
      set +e
      wait "$session_pid"
      code=$?
      session_pid=
    else
      # shellcheck disable=SC2086 # the command line, split as systemd splits it
      unit_command "$mode" $command >>"$work/session.out" 2>&1 </dev/null
      code=$?
    fi
    set -e
    case $kind in
      ExecStart) session_exit=$code ;;
      *) [ $code -eq 0 ] || [ -n "$ignore" ] || fail "$kind $command: exit code $code: $(cat "$work/session.out")" ;;
    esac
  done <"$work/exec.lines"
  in_root rm -rf "$runtime"
}

# zp-handheld in its namespace, serving a fresh copy of the sample handheld.
dock() {
  rm -rf "$work/handheld"
  cp -R "$top/examples/handheld" "$work/handheld"
  ip netns exec "$hh" timeout 120 "$handheld_program" --world "$work/handheld" --device 169.254.2.1 \
    --desktop 169.254.2.2 --name FieldPocket --wait-ms 60000 --idle-ms 20000 >"$work/handheld.out" 2>&1 &
  handheld_pid=$!
}
undock() {
  handheld_exit=0
  wait "$handheld_pid" || handheld_exit=$?
  handheld_pid=
}

# What the session must leave: three arrays as ARR00001-3 in the sync root's
# FromPocket (the sample handheld's MONDAY.ARR, TUESDAY.ARR, wednesday.arr),
# everything group zamopocket and nothing for others, the log, state 4.
check_session() { # SYNC_ROOT (inside the root) [HANDHELD_NAME]
  sync=$root$1
  from=$sync/${2:-FieldPocket}/FromPocket
  expect "the session's exit code" "$session_exit" 0
  expect "the handheld's exit code" "$handheld_exit" 0
  expect "FromPocket" "$(ls "$from" | tr '\n' ' ')" "ARR00001.ARR ARR00002.ARR ARR00003.ARR "
  sums() { cksum | cut -d' ' -f1,2; }
  arrays=$top/examples/handheld/files/My\ Documents/Personal/ZAMO/Sync
  expect "the arrays" "$(for f in "$from"/*; do sums <"$f"; done | sort | tr '\n' ' ')" \
    "$(for f in "$arrays"/*.ARR "$arrays"/*.arr; do sums <"$f"; done | sort | tr '\n' ' ')"
  others=$(find "$sync" -mindepth 1 \( ! -group "$gid" -o -perm /o=rwx \) -print)
  [ -z "$others" ] || fail "not group zamopocket or open to others: $others"
  if find "$sync" -mindepth 1 -type d ! -perm -g=s -print | grep -q .; then
    fail "a folder in $sync without setgid"
  fi
  grep -q 'Finished successfully' "$sync/zamopocket.log" || fail "no 'Finished successfully' in the log: $(cat "$sync/zamopocket.log")"
  grep -q '"DBState"=dword:00000004' "$work/handheld/device.reg" || fail "the handheld's state is not 4"
  expect "registry.reg after the session" "$(owner_mode /var/lib/zamopocket/registry.reg)" \
    "zamopocket:zamopocket 600"
}

step "the session (zamopocket@$iface.service's commands)"
extra_env="ZAMOPOCKET_LINK_TIMEOUTS=connect=30000,retrigger=500"
post_env=
dock
run_unit
undock
cat "$work/session.out"
check_session /var/lib/zamopocket/sync

step "zamopocket-redock: the handheld docked again while the instance stopped"
# The instance's record of its interface's index, made stale as a
# redocked handheld's new interface makes it; systemctl a stand-in.
in_root sh -c "mkdir -p '$runtime' && echo 999999 >'$runtime/ifindex'"
mkdir -p "$root/usr/local/bin"
printf '#!/bin/sh\necho "$*" >>/run/systemctl.args\n' >"$root/usr/local/bin/systemctl"
chmod 0755 "$root/usr/local/bin/systemctl"
redock=$(sed -n 's/^ExecStopPost=+//p' "$unit" | sed "s/%[iI]/$iface/g")
# shellcheck disable=SC2086
unit_command root $redock >"$work/redock.out" 2>&1 || fail "zamopocket-redock: $(cat "$work/redock.out")"
expect "what zamopocket-redock asked of systemctl" "$(cat "$root/run/systemctl.args")" \
  "--no-block start zamopocket@$iface.service"
rm -f "$root/usr/local/bin/systemctl" "$root/run/systemctl.args"
in_root rm -rf "$runtime"

step "a sync root of its own: the drop-in of README"
dropin=/etc/systemd/system/zamopocket@.service.d/sync-root.conf
grep -q '^Environment=ZAMOPOCKET_SYNC_ROOT=/srv/zamo$' "$top/README.md" &&
  grep -q '^ReadWritePaths=-/srv/zamo$' "$top/README.md" && grep -q "$dropin" "$top/README.md" &&
  grep -q -F 'ln -s ../zamopocket@.service.d/sync-root.conf /etc/systemd/system/zamopocket-serial@.service.d/' \
    "$top/README.md" ||
  fail "README does not give the drop-in $dropin"
mkdir -p "$root$(dirname "$dropin")"
printf '[Service]\nEnvironment=ZAMOPOCKET_SYNC_ROOT=/srv/zamo\nReadWritePaths=-/srv/zamo\n' >"$root$dropin"
sync_step=$(sed -n 's/^ExecStartPre=+//p' "$unit" | head -n 1)
# shellcheck disable=SC2086
unit_command root $sync_step >"$work/sync.out" 2>&1 || fail "$sync_step: $(cat "$work/sync.out")"
expect "the link s" "$(readlink "$lib/s")" /srv/zamo
expect "the new sync root" "$(owner_mode /srv/zamo)" "zamopocket:zamopocket 2750"
dock
run_unit
undock
check_session /srv/zamo
[ -f "$lib/sync/FieldPocket/FromPocket/ARR00003.ARR" ] || fail "the first sync root lost its arrays"

# ------------------------------------------- an older handheld: the serial line
step "an older handheld on $tty: its units"
expect "the serial session's type" "$(sed -n 's/^Type=//p' "$serial_unit")" notify
expect "the serial session's bindings" "$(sed -n 's/^BindsTo=//p' "$serial_unit")" "dev-%i.device"
expect "pppd's unit's bindings and order" "$(sed -n 's/^\(BindsTo\|After\)=//p' "$ppp_unit" | paste -s -d ' ' -)" \
  "dev-%i.device zamopocket-serial@%i.service dev-%i.device zamopocket-serial@%i.service"
expect "pppd's unit's devices" "$(sed -n 's/^Device\(Policy\|Allow\)=//p' "$ppp_unit" | paste -s -d ' ' -)" \
  "closed /dev/ppp rw /dev/%I rw"
expect "pppd's unit's writable paths" "$(sed -n 's/^ReadWritePaths=//p' "$ppp_unit")" "/run -/run/lock"
if grep -q '^Restart=' "$serial_unit" "$ppp_unit"; then fail "a serial line's unit has Restart="; fi
ppp_timeout=$(sed -n 's/^TimeoutStartSec=\([0-9]*\)s$/\1/p' "$ppp_unit")
[ "${ppp_timeout:-0}" -gt 120 ] || fail "pppd's unit starts for 2 minutes or less: '$ppp_timeout'"
ppp_caps=$(sed -n 's/^CapabilityBoundingSet=//p' "$ppp_unit" | tr 'A-Z ' 'a-z\n' | sed 's/^cap_/+/' | paste -s -d,)
expect "pppd's unit's capabilities" "$ppp_caps" "+net_admin,+setuid,+setgid,+setpcap"
# The one drop-in, linked for the serial session as README says, moved to
# a sync root of its own: both units follow it.
mkdir -p "$root/etc/systemd/system/zamopocket-serial@.service.d"
ln -s ../zamopocket@.service.d/sync-root.conf "$root/etc/systemd/system/zamopocket-serial@.service.d/"
printf '[Service]\nEnvironment=ZAMOPOCKET_SYNC_ROOT=/srv/pocketpc\nReadWritePaths=-/srv/pocketpc\n' >"$root$dropin"
unit=$serial_unit
instance=$tty
read_unit
expect "the serial session's sync root" "$(unit_values ReadWritePaths)" -/srv/pocketpc
ppp_if=zp$tty
desktop_ip=192.168.231.1 # ttyUSB0's pair in the default network
handheld_ip=192.168.231.2
# A stand-in pppd, first on PATH: its command line, one argument a line.
mkdir -p "$root/usr/local/sbin"
printf '#!/bin/sh\nprintf "%%s\\n" "$@" >/run/pppd.args\n' >"$root/usr/local/sbin/pppd"
chmod 0755 "$root/usr/local/sbin/pppd"
ppp_args=$root/run/pppd.args
chat_line="/usr/bin/setpriv --reuid=zamopocket --regid=zamopocket --clear-groups --inh-caps=-all"
chat_line="$chat_line --bounding-set=-all --no-new-privs -- /usr/libexec/zamopocket/zamopocket-chat"

# The connect program of pppd's command line as pppd runs it (sh -c, root
# with the unit's capabilities), on a pseudo-terminal whose other end
# zp-handheld --chat-tty holds (perl: TIOCSPTLCK and TIOCGPTN, their x86
# and ARM numbers). Prints the two exit codes.
chat_on_pty() { # ZP_HANDHELD_OPTIONS...
  connect=$(sed -n '/^connect$/{n;p;}' "$ppp_args")
  timeout 60 perl -e '
    my $split = 0;
    $split++ until $ARGV[$split] eq "::";
    my @handheld = @ARGV[0 .. $split - 1];
    my @chat = @ARGV[$split + 1 .. $#ARGV];
    open(my $m, "+<", "/dev/ptmx") or die "/dev/ptmx: $!\n";
    my $n = pack("I", 0);
    ioctl($m, 0x40045431, $n) or die "unlockpt: $!\n";
    ioctl($m, 0x80045430, $n) or die "ptsname: $!\n";
    my $h = fork // die "fork: $!\n";
    exec(@handheld, "--chat-tty", "/dev/pts/" . unpack("I", $n)) or die "$handheld[0]: $!\n" if !$h;
    my $c = fork // die "fork: $!\n";
    if (!$c) {
      open(STDIN, "<&", $m) && open(STDOUT, ">&", $m) or die "dup: $!\n";
      exec(@chat) or die "$chat[0]: $!\n";
    }
    waitpid($c, 0);
    my $chat_exit = $? >> 8;
    waitpid($h, 0);
    print $chat_exit, " ", $? >> 8, "\n";' \
    "$handheld_program" --wait-ms 10000 "$@" :: unshare -m --propagation private sh -c \
    'mount -t proc proc "$0/proc" && exec chroot "$0" "$@"' "$root" \
    /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    setpriv --inh-caps=-all --bounding-set=-all,"$ppp_caps" -- /bin/sh -c "$connect"
}

# While the session runs: once it said READY=1, pppd's unit, the chat, the
# link and the ip-up script, and the handheld.
serial_docking() {
  wait "$notify_pid" || fail "no READY=1 from the session: $(cat "$work/notify.out" "$work/session.out")"
  notify_pid=
  expect "the session's link" "$(cat "$root$runtime/link")" "ZAMOPOCKET_LINK=$desktop_ip,$handheld_ip"
  ppp_cmd=$(sed -n 's/^ExecStart=//p' "$ppp_unit" | sed "s/%[iI]/$tty/g")
  step "READY=1 came; pppd's unit: $ppp_cmd (the stand-in pppd)"
  # shellcheck disable=SC2086
  as_root "$ppp_caps" $ppp_cmd >"$work/ppp.out" 2>&1 || fail "$ppp_cmd: $(cat "$work/ppp.out")"
  # Each argument or pair of arguments pppd must have; what it must not.
  given=$(awk 'NR > 1 { print previous " " $0 } { previous = $0; print }' "$ppp_args")
  for want in "/dev/$tty" 115200 "$desktop_ip:$handheld_ip" nodetach up_sdnotify "ifname $ppp_if" \
    "linkname zamopocket-$tty" noauth local nocrtscts "lcp-echo-interval 0" "lcp-echo-failure 0" \
    nodefaultroute noproxyarp noipv6 nopersist refuse-pap refuse-chap refuse-mschap refuse-mschap-v2 \
    refuse-eap noccp novj "connect $chat_line" "ip-up-script /usr/libexec/zamopocket/zamopocket-ppp-up" \
    "ip-down-script /usr/libexec/zamopocket/zamopocket-ppp-down"; do
    echo "$given" | grep -q -x -F -- "$want" || fail "pppd was not given '$want': $(cat "$ppp_args")"
  done
  for never in persist demand usepeerdns defaultroute ms-dns crtscts auth modem proxyarp; do
    if grep -q -x -F -- "$never" "$ppp_args"; then fail "pppd was given $never: $(cat "$ppp_args")"; fi
  done
  step "the chat on a pseudo-terminal, against zp-handheld --chat-tty"
  for options in "--chat-nul --chat-repeat-ms 200" --chat-ppp-first; do
    # shellcheck disable=SC2086
    codes=$(chat_on_pty $options 2>"$work/chat.out") || true
    [ "$codes" = "0 0" ] ||
      fail "the chat and zp-handheld $options: exit codes '$codes', not '0 0': $(cat "$work/chat.out")"
  done
  step "the link as pppd makes it ($ppp_if: $desktop_ip peer $handheld_ip) and pppd's ip-up script"
  ip link add "$ppp_if" netns "$desk" type veth peer name pp0 netns "$hh"
  ip -n "$desk" addr add "$desktop_ip" peer "$handheld_ip" dev "$ppp_if"
  ip -n "$hh" addr add "$handheld_ip" peer "$desktop_ip" dev pp0
  ip -n "$desk" link set "$ppp_if" up
  ip -n "$hh" link set pp0 up
  ip_up=$(sed -n '/^ip-up-script$/{n;p;}' "$ppp_args")
  as_root "$ppp_caps" "$ip_up" "$ppp_if" "/dev/$tty" 115200 "$desktop_ip" "$handheld_ip" >"$work/ipup.out" 2>&1 ||
    fail "$ip_up: $(cat "$work/ipup.out")"
  firewall "$ppp_if"
  grep -q "\"$ppp_if\" . $handheld_ip" "$work/nft.out" || fail "$ppp_if . $handheld_ip is not in serial_peers"
  # The older handheld (its name and partner id apart from the newer one's,
  # which this desktop now knows with its GUID): it dials the desktop's
  # 5679 from its address.
  rm -rf "$work/handheld"
  cp -R "$top/examples/handheld" "$work/handheld"
  ip netns exec "$hh" timeout 120 "$handheld_program" --legacy --world "$work/handheld" --device "$handheld_ip" \
    --desktop "$desktop_ip" --name PocketPC2003 --partner 0x2003 --wait-ms 60000 --idle-ms 20000 >"$work/handheld.out" 2>&1 &
  handheld_pid=$!
}

step "the session of zamopocket-serial@$tty.service, its program told to notify"
notify=/run/zp-notify
perl -MSocket -e '
  socket(my $s, PF_UNIX, SOCK_DGRAM, 0) or die "socket: $!\n";
  bind($s, pack_sockaddr_un($ARGV[0])) or die "bind: $!\n";
  chmod 0666, $ARGV[0];
  my $end = time + 60;
  while (time < $end) {
    my $in = "";
    vec($in, fileno($s), 1) = 1;
    select($in, undef, undef, 1) or next;
    recv($s, my $message, 4096, 0);
    print "$message\n";
    exit 0 if $message =~ /^READY=1$/m;
  }
  exit 1' "$root$notify" >"$work/notify.out" 2>&1 &
notify_pid=$!
tries=0
until [ -S "$root$notify" ]; do
  tries=$((tries + 1))
  [ $tries -lt 50 ] || fail "no notification socket: $(cat "$work/notify.out")"
  sleep 0.1
done
extra_env="NOTIFY_SOCKET=$notify ZAMOPOCKET_LINK_TIMEOUTS=connect=30000,retrigger=500"
during=serial_docking
run_unit
during=
undock
cat "$work/session.out"
check_session /srv/pocketpc PocketPC2003

step "the serial line's refusals"
refused() { # WHAT TEXT CMD...: CMD fails, saying TEXT
  what=$1 text=$2
  shift 2
  if "$@" >"$work/refused.out" 2>&1; then fail "$what was not refused: $(cat "$work/refused.out")"; fi
  grep -q -F -- "$text" "$work/refused.out" || fail "$what: $(cat "$work/refused.out")"
}
serial=/usr/libexec/zamopocket/zamopocket-serial
refused "an address of the line already local" "taken by an address of this machine (on $ppp_if)" \
  as_root "$ppp_caps" "$serial" prepare "$tty"
ip -n "$desk" link del "$ppp_if"
ip -n "$desk" route add unreachable 192.168.231.0/24
refused "an address a route covers" 'taken by the route "unreachable 192.168.231.0/24"' \
  as_root "$ppp_caps" "$serial" ppp "$tty"
ip -n "$desk" route del unreachable 192.168.231.0/24
echo usepeerdns >"$root/etc/ppp/options.$tty"
refused "usepeerdns in pppd's options" "options.$tty holds usepeerdns" as_root "$ppp_caps" "$serial" ppp "$tty"
rm "$root/etc/ppp/options.$tty"
refused "ttyUSB127" "addresses for ttyUSB0 to ttyUSB126" as_root "$ppp_caps" "$serial" prepare ttyUSB127
# A fifth line while four sessions run (a stand-in systemctl lists them).
mkdir -p "$root/run/systemd/system" "$root/usr/local/bin"
printf '#!/bin/sh\nfor n in 0 1 2 3 4; do echo "zamopocket-serial@ttyUSB$n.service loaded active running"; done\n' \
  >"$root/usr/local/bin/systemctl"
chmod 0755 "$root/usr/local/bin/systemctl"
refused "a fifth line" "4 at the most" as_root "$ppp_caps" "$serial" prepare "$tty"
rmdir "$root/run/systemd/system"
rm -f "$root/usr/local/bin/systemctl" "$root/usr/local/sbin/pppd" "$ppp_args"

# ---------------------------------------------------------- removing, purging
step "dpkg -r"
in_root dpkg -r zamopocket >"$work/dpkg.out" 2>&1 || fail "dpkg -r: $(cat "$work/dpkg.out")"
for gone in /usr/bin/zamopocket /usr/lib/udev/rules.d/85-zamopocket.rules /usr/lib/systemd/system/zamopocket@.service; do
  [ ! -e "$root$gone" ] || fail "$gone is still there after dpkg -r"
done
for kept in /var/lib/zamopocket/registry.reg /var/lib/zamopocket/s /var/lib/zamopocket/sync/zamopocket.log \
  /var/lib/zamopocket/sync/FieldPocket/FromPocket/ARR00001.ARR /srv/zamo/zamopocket.log \
  /srv/zamo/FieldPocket/FromPocket/ARR00003.ARR; do
  [ -e "$root$kept" ] || [ -L "$root$kept" ] || fail "$kept is gone after dpkg -r"
done
in_root getent passwd zamopocket >/dev/null || fail "the user zamopocket is gone after dpkg -r"

step "dpkg -P"
in_root dpkg -P zamopocket >"$work/dpkg.out" 2>&1 || fail "dpkg -P: $(cat "$work/dpkg.out")"
for gone in /var/lib/zamopocket/registry.reg /var/lib/zamopocket/session.lock /var/lib/zamopocket/s; do
  [ ! -e "$root$gone" ] && [ ! -L "$root$gone" ] || fail "$gone is still there after dpkg -P"
done
for kept in /var/lib/zamopocket/sync/zamopocket.log /var/lib/zamopocket/sync/FieldPocket/FromPocket/ARR00003.ARR \
  /srv/zamo/zamopocket.log /srv/zamo/FieldPocket/FromPocket/ARR00003.ARR; do
  [ -e "$root$kept" ] || fail "$kept is gone after dpkg -P"
done
expect "what is left of the desktop root" "$(ls -A "$lib")" sync
in_root dpkg -s zamopocket >/dev/null 2>&1 && fail "zamopocket is still known to dpkg after dpkg -P"
echo "PASS ($(($(date +%s) - began))s)"
