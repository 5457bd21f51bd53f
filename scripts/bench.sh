#!/bin/sh
# make bench: measures sessions of the Linux build against rsync and a
# durable-move baseline (bench/durable_move.cpp) on worlds built afresh in
# build/bench/, and writes docs/benchmarks.md.
#
# Every timing is the median of BENCH_RUNS runs (default 5) by hyperfine, each
# run on a fresh copy of its world (copied and flushed to disk before the
# clock starts). Peak memory is GNU time's maximum resident set size of one
# session. BENCH_QUICK=1 makes every world ten times smaller (a trial run).
# Usage: scripts/bench.sh [build folder]
set -eu
build=$(realpath "${1:-build/native}")
program=$build/zamopocket
handheld=$build/zp-handheld
baseline=$build/durable_move
make_files=$build/make_files
runs=${BENCH_RUNS:-5}
scale=1
[ "${BENCH_QUICK:-0}" = 1 ] && scale=10
out=docs/benchmarks.md
work=$(realpath -m build/bench)
rm -rf "$work"
mkdir -p "$work" docs
results=$work/results
mkdir -p "$results"

sync_rel="handheld/files/My Documents/Personal/ZAMO/Sync"
from_rel=desktop/c/Z/Bench/FromPocket
to_rel=desktop/c/Z/Bench/ToPocket

# world NAME: a desktop and a handheld that asks for a sync, nothing to move yet.
world() {
  dir=$work/worlds/$1
  mkdir -p "$dir/$from_rel" "$dir/$to_rel" "$dir/$sync_rel" "$dir/handheld/files/Program Files/ZAMO"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO\\PocketPC]\n"PathSync"="c:\\\\Z"\n\n[HKEY_CURRENT_USER\\Software\\Brenok\\ZAMO\\PocketPC]\n\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows CE Services\\Partners\\00000042]\n"DisplayName"="Bench"\n' >"$dir/desktop/registry.reg"
  printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Ident]\n"DeviceId"=dword:00000042\n"Name"="Bench"\n"ProcessorType"=dword:00000a11\n\n[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\n"DBState"=dword:00000003\n"RunImport"="\\\\Program Files\\\\ZAMO\\\\import.exe"\n' >"$dir/handheld/device.reg"
  echo import >"$dir/handheld/files/Program Files/ZAMO/import.exe"
}
# arrays NAME COUNT SIZE: COUNT arrays of SIZE bytes on the handheld.
arrays() { "$make_files" "$work/worlds/$1/$sync_rel" "$2" "$3" A .ARR; }

# The commands hyperfine runs, each as "sh FILE", in $work/run: a fresh copy
# of the world made before every run.
run=$work/run
mkdir -p "$work/cmd"
cmd() { printf '%s\n' "$2" >"$work/cmd/$1.sh"; }
cmd session "ZAMOPOCKET_DESKTOP='$run/desktop' ZAMOPOCKET_DEVICE='$run/handheld' exec '$program' </dev/null"
# The same session over the handheld's link: the handheld program serving
# the world's handheld on 127.0.0.2, the program on 127.0.0.1 (port 990:
# root, or a network namespace of our own). With LINK_PEAK=1, each
# program's peak resident memory goes to results/link-{desktop,handheld}.peak.
cat >"$work/cmd/link-inside.sh" <<LINK
peak() {
  label=\$1
  shift
  if [ "\${LINK_PEAK:-0}" = 1 ]; then /usr/bin/time -f %M -o "$results/link-\$label.peak" "\$@"; else "\$@"; fi
}
export ZAMOPOCKET_DESKTOP='$run/desktop' ZAMOPOCKET_LINK=127.0.0.1,127.0.0.2 ZAMOPOCKET_LINK_TIMEOUTS=retrigger=100
peak handheld '$handheld' --world '$run/handheld' --device 127.0.0.2 --desktop 127.0.0.1 --wait-ms 20000 >/dev/null 2>&1 &
# The handheld listens for the trigger before the program starts: no
# session waits for a trigger sent again.
tries=0
until ss -Hlun 'sport = :5679' | grep -q 127.0.0.2 || [ \$tries -ge 500 ]; do sleep 0.01; tries=\$((tries + 1)); done
peak desktop '$program' </dev/null
code=\$?
wait
exit \$code
LINK
# And with an older handheld (Pocket PC 2003): it dials the program's 5679
# (again until the program listens) and serves its sessions on its own 990.
cat >"$work/cmd/legacy-inside.sh" <<LEGACY
peak() {
  label=\$1
  shift
  if [ "\${LINK_PEAK:-0}" = 1 ]; then /usr/bin/time -f %M -o "$results/legacy-\$label.peak" "\$@"; else "\$@"; fi
}
export ZAMOPOCKET_DESKTOP='$run/desktop' ZAMOPOCKET_LINK=127.0.0.1,127.0.0.2
peak handheld '$handheld' --legacy --world '$run/handheld' --device 127.0.0.2 --desktop 127.0.0.1 --wait-ms 20000 >/dev/null 2>&1 &
peak desktop '$program' </dev/null
code=\$?
wait
exit \$code
LEGACY
if [ "$(id -u)" = 0 ]; then
  cmd link "exec sh '$work/cmd/link-inside.sh'"
  cmd legacy "exec sh '$work/cmd/legacy-inside.sh'"
else
  cmd link "exec unshare -r -n sh -c 'ip link set lo up && exec sh \"$work/cmd/link-inside.sh\"'"
  cmd legacy "exec unshare -r -n sh -c 'ip link set lo up && exec sh \"$work/cmd/legacy-inside.sh\"'"
fi
cmd rsync "rsync -a --remove-source-files --fsync '$run/$sync_rel/' '$run/$from_rel/' &&
  exec rsync -a --remove-source-files --fsync '$run/$to_rel/' '$run/$sync_rel/'"
cmd durable "exec '$baseline' '$run/$sync_rel' '$run/$from_rel' '$run/$to_rel' '$run/$sync_rel'"
# The session on a pseudo-terminal, drawing its line (stderr is the
# terminal) or not (stderr goes nowhere).
cmd line "exec script -qfec \"sh '$work/cmd/session.sh'\" /dev/null"
cmd noline "exec script -qfec \"sh '$work/cmd/session.sh' 2>/dev/null\" /dev/null"

# measure LABEL COMMAND@WORLD...: the median seconds of each into
# results/LABEL.csv. They take turns, one run each, so that a machine busy
# with something else for a while slows them alike.
measure() {
  label=$1
  shift
  echo "  $label: $*"
  for job in "$@"; do
    world=${job#*@}
    printf 'rm -rf "%s" && cp -a "%s" "%s" && sync\n' "$run" "$work/worlds/$world" "$run" \
      >"$work/cmd/prepare-$world.sh"
    rm -f "$results/$label.$job.times"
  done
  r=0
  while [ "$r" -lt "$runs" ]; do
    for job in "$@"; do
      hyperfine --style none --runs 1 --prepare "sh '$work/cmd/prepare-${job#*@}.sh'" \
        --export-csv "$results/$label.run.csv" "sh '$work/cmd/${job%@*}.sh'" \
        >"$results/$label.log" 2>&1 || { cat "$results/$label.log"; exit 1; }
      awk -F, 'NR == 2 { print $2 }' "$results/$label.run.csv" >>"$results/$label.$job.times"
    done
    r=$((r + 1))
  done
  echo "command,median,runs" >"$results/$label.csv"
  for job in "$@"; do
    sort -g "$results/$label.$job.times" |
      awk -v c="$job" '{ t[NR] = $1 } END { m = NR % 2 ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
        printf "%s,%s", c, m; for (i = 1; i <= NR; i++) printf "%s%s", (i == 1 ? "," : " "), t[i]; print "" }' \
      >>"$results/$label.csv"
  done
}
# median LABEL COMMAND@WORLD: seconds
median() { awk -F, -v c="$2" '$1 == c { print $2 }' "$results/$1.csv"; }
# peak WORLD: the KiB of one session's peak resident memory
peak() {
  sh "$work/cmd/prepare-$1.sh"
  /usr/bin/time -f %M -o "$results/$1.peak" sh "$work/cmd/session.sh"
  cat "$results/$1.peak"
}

echo "Building the worlds in $work ..."
n64k=$((1000 / scale)); world many64k; arrays many64k $n64k 65536
n1m=$((200 / scale)); world mixed; arrays mixed $n1m 1048576
nwait=$((25 / scale))
"$make_files" "$work/worlds/mixed/$to_rel" $nwait 262144 C .CLS
"$make_files" "$work/worlds/mixed/$to_rel" $nwait 262144 T .TMT
big=$((1073741824 / scale)); world big; arrays big 1 $big
big256=$((268435456 / scale)); world big256; arrays big256 1 $big256
# The older handhelds' object store holds nothing of 16 MB or more.
big15=$((15728640 / scale)); world big15; arrays big15 1 $big15
n1k=$((1000 / scale)); world small1k; arrays small1k $n1k 4096
n10k=$((10000 / scale)); world small10k; arrays small10k $n10k 4096
ninto=100; nfull=$((100000 / scale))
world into0; arrays into0 $ninto 65536
world intofull; arrays intofull $ninto 65536
"$make_files" "$work/worlds/intofull/$from_rel" $nfull 0 ARR .ARR

echo "Timing (median of $runs runs each) ..."
for w in many64k mixed big; do measure $w session@$w rsync@$w durable@$w; done
measure perarray session@small1k session@small10k durable@small1k durable@small10k
measure into session@into0 session@intofull durable@into0 durable@intofull
measure terminal line@big noline@big
measure link64k session@many64k link@many64k
measure link256m session@big256 link@big256
measure legacy64k session@many64k link@many64k legacy@many64k
measure legacy15m session@big15 link@big15 legacy@big15
# What the line wrote: one session on a terminal, its output kept.
sh "$work/cmd/prepare-big.sh"
script -qfec "sh '$work/cmd/session.sh'" "$results/typescript" >/dev/null
redraws=$(tr -cd '\r' <"$results/typescript" | wc -c)
written=$(wc -c <"$results/typescript")

echo "Peak memory ..."
for w in many64k mixed big small1k small10k into0 intofull; do peak $w >/dev/null; done
huge=$((4294967296 / scale)); world huge; arrays huge 1 $huge
# Moved from where it was made: a copy would need another 4 GiB of disk.
printf 'rm -rf "%s" && mv "%s" "%s" && sync\n' "$run" "$work/worlds/huge" "$run" \
  >"$work/cmd/prepare-huge.sh"
peak huge >/dev/null
# linkpeak WORLD: each program's peak of one session over the link.
linkpeak() {
  sh "$work/cmd/prepare-$1.sh"
  LINK_PEAK=1 sh "$work/cmd/link.sh"
  echo "$(cat "$results/link-desktop.peak") $(cat "$results/link-handheld.peak")" >"$results/$1.linkpeak"
}
linkpeak many64k
linkpeak big256
# legacypeak WORLD: each program's peak of one session over the older link.
legacypeak() {
  sh "$work/cmd/prepare-$1.sh"
  LINK_PEAK=1 sh "$work/cmd/legacy.sh"
  echo "$(cat "$results/legacy-desktop.peak") $(cat "$results/legacy-handheld.peak")" >"$results/$1.legacypeak"
}
legacypeak many64k
legacypeak big15
rm -rf "$run"

# ---------------------------------------------------------------- the report
ms() { awk -v s="$1" 'BEGIN { printf "%.1f", s * 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v <= t ? "met" : "missed") }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
per() { awk -v s="$1" -v n="$2" 'BEGIN { printf "%.3f", s * 1000 / n }'; }
fs=$(stat -f -c %T "$work")
cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
{
  echo "# Benchmarks"
  echo
  echo "Written by \`make bench\` (scripts/bench.sh) on $(date -u '+%Y-%m-%d %H:%M UTC');"
  echo "machine: $(nproc) cores ($cpu), $(free -g | awk '/^Mem:/ { print $2 }') GiB of memory,"
  echo "the worlds on $fs ($(df -P "$work" | awk 'NR == 2 { print $1 }')), Linux $(uname -r);"
  echo "$(rsync --version | head -1 | cut -c1-22), $(hyperfine --version)."
  [ "$scale" = 1 ] || echo "**A trial run: every world $scale times smaller than stated.**"
  echo
  echo "Each time is the median of $runs runs (the commands compared take turns, one run"
  echo "each), each on a fresh copy of its world that was"
  echo "flushed to disk before the clock started. *durable* is bench/durable_move.cpp: per"
  echo "file a copy in 16 KiB blocks, fsync of the file, fsync of its folder, delete of the"
  echo "source. *rsync* is \`rsync -a --remove-source-files --fsync\`. The session also"
  echo "writes its log, reads and writes the handheld's registry and starts the import"
  echo "program; the others move the files only."
  echo
  echo "## Session against the baselines (target: ≤ 1.1 × durable, ≤ 1.0 × rsync)"
  echo
  echo "| world | session ms | durable ms | rsync ms | session ÷ durable | session ÷ rsync |"
  echo "|---|---:|---:|---:|---:|---:|"
  for w in many64k mixed big; do
    case $w in
      many64k) what="$n64k arrays of 64 KiB" ;;
      mixed) what="$n1m arrays of 1 MiB; $((2 * nwait)) classifiers and templates of 256 KiB waiting" ;;
      big) what="one array of $((big / 1048576)) MiB" ;;
    esac
    s=$(median $w session@$w); d=$(median $w durable@$w); r=$(median $w rsync@$w)
    echo "| $what | $(ms "$s") | $(ms "$d") | $(ms "$r") | $(ratio "$s" "$d") ($(verdict "$(ratio "$s" "$d")" 1.1)) | $(ratio "$s" "$r") ($(verdict "$(ratio "$s" "$r")" 1.0)) |"
  done
  echo
  echo "## Time per array (target: flat within 20%)"
  echo
  echo "| world | session ms | per array ms | durable ms | per array ms |"
  echo "|---|---:|---:|---:|---:|"
  for job in "small1k:$n1k arrays of 4 KiB:$n1k:perarray" "small10k:$n10k arrays of 4 KiB:$n10k:perarray" \
    "into0:$ninto arrays of 64 KiB into an empty FromPocket:$ninto:into" \
    "intofull:$ninto arrays of 64 KiB into a FromPocket of $nfull arrays:$ninto:into"; do
    w=${job%%:*}; rest=${job#*:}; label=${rest##*:}; rest=${rest%:*}; what=${rest%:*}; count=${rest##*:}
    s=$(median $label session@$w); d=$(median $label durable@$w)
    echo "| $what | $(ms "$s") | $(per "$s" "$count") | $(ms "$d") | $(per "$d" "$count") |"
  done
  # growth W1 N1 W2 N2 COMMAND LABEL: per array in W2 against W1
  growth() {
    awk -v a="$(median "$6" "$5@$3")" -v b="$(median "$6" "$5@$1")" -v n="$4" -v m="$2" \
      'BEGIN { printf "%.2f", (a / n) / (b / m) }'
  }
  grow=$(growth small1k "$n1k" small10k "$n10k" session perarray)
  dgrow=$(growth small1k "$n1k" small10k "$n10k" durable perarray)
  full=$(growth into0 1 intofull 1 session into)
  dfull=$(growth into0 1 intofull 1 durable into)
  echo
  echo "- per array, $n10k against $n1k arrays: session ×$grow ($(verdict "$grow" 1.2)), durable ×$dgrow"
  echo "- per array, into $nfull arrays against into none: session ×$full ($(verdict "$full" 1.2)), durable ×$dfull"
  echo
  echo "## The terminal line (target: under 5% of the session)"
  echo
  l=$(median terminal line@big); n=$(median terminal noline@big)
  cost=$(awk -v l="$l" -v n="$n" 'BEGIN { printf "%.1f", (l - n) * 100 / n }')
  echo "The session of one array of $((big / 1048576)) MiB on a pseudo-terminal (\`script\`):"
  echo "$(ms "$n") ms with stderr elsewhere, $(ms "$l") ms drawing its line: $cost% ($(awk -v c="$cost" 'BEGIN { print (c < 5 ? "met" : "missed") }'))."
  echo "One such session drew its line $redraws times, $written bytes in all."
  echo
  echo "## Over the handheld's link (target: ≤ 1.5 × the in-process session; each program under 8 MiB)"
  echo
  echo "The session over loopback (the handheld program serving the world's handheld on"
  echo "127.0.0.2, the program on 127.0.0.1:990) against the same session through the"
  echo "simulated handheld in the program's own process."
  echo
  echo "| world | in-process ms | link ms | link ÷ in-process | program MiB | handheld MiB |"
  echo "|---|---:|---:|---:|---:|---:|"
  for job in "many64k:link64k:$n64k arrays of 64 KiB" "big256:link256m:one array of $((big256 / 1048576)) MiB"; do
    w=${job%%:*}; rest=${job#*:}; label=${rest%%:*}; what=${rest#*:}
    s=$(median $label session@$w); l=$(median $label link@$w)
    set -- $(cat "$results/$w.linkpeak")
    echo "| $what | $(ms "$s") | $(ms "$l") | $(ratio "$l" "$s") ($(verdict "$(ratio "$l" "$s")" 1.5)) | $(mib "$1") ($(awk -v k="$1" 'BEGIN { print (k < 8192 ? "met" : "missed") }')) | $(mib "$2") ($(awk -v k="$2" 'BEGIN { print (k < 8192 ? "met" : "missed") }')) |"
  done
  echo
  echo "## Over the older handhelds' link (each program under 8 MiB)"
  echo
  echo "The same worlds with the handheld program playing a Pocket PC 2003 (control on the"
  echo "program's 5679, sessions dialled to its 990, 16 KiB a call), side by side with the"
  echo "in-process session and the newer link in the same run."
  echo
  echo "| world | in-process ms | link ms | older link ms | older ÷ in-process | program MiB | handheld MiB |"
  echo "|---|---:|---:|---:|---:|---:|---:|"
  for job in "many64k:legacy64k:$n64k arrays of 64 KiB" "big15:legacy15m:one array of $((big15 / 1048576)) MiB"; do
    w=${job%%:*}; rest=${job#*:}; label=${rest%%:*}; what=${rest#*:}
    s=$(median $label session@$w); l=$(median $label link@$w); o=$(median $label legacy@$w)
    set -- $(cat "$results/$w.legacypeak")
    echo "| $what | $(ms "$s") | $(ms "$l") | $(ms "$o") | $(ratio "$o" "$s") | $(mib "$1") ($(awk -v k="$1" 'BEGIN { print (k < 8192 ? "met" : "missed") }')) | $(mib "$2") ($(awk -v k="$2" 'BEGIN { print (k < 8192 ? "met" : "missed") }')) |"
  done
  echo
  echo "## Peak memory (target: under 8 MiB)"
  echo
  echo "| world | peak resident MiB | |"
  echo "|---|---:|---|"
  for job in "many64k:$n64k arrays of 64 KiB" "mixed:$n1m arrays of 1 MiB, $((2 * nwait)) waiting files" \
    "big:one array of $((big / 1048576)) MiB" "small1k:$n1k arrays of 4 KiB" "small10k:$n10k arrays of 4 KiB" \
    "into0:$ninto arrays into an empty FromPocket" "intofull:$ninto arrays into $nfull arrays" \
    "huge:one array of $((huge / 1048576)) MiB"; do
    w=${job%%:*}; k=$(cat "$results/$w.peak")
    echo "| ${job#*:} | $(mib "$k") | $(awk -v k="$k" 'BEGIN { print (k < 8192 ? "met" : "missed") }') |"
  done
  echo
  echo "## Every run (seconds, in order of size)"
  echo
  for f in many64k mixed big perarray into terminal link64k link256m legacy64k legacy15m; do
    awk -F, -v w="$f" 'NR > 1 { printf "- %s, %s: %s\n", w, $1, $3 }' "$results/$f.csv"
  done
} >"$out"
echo "Wrote $out"
cat "$out"
