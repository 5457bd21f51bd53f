#!/bin/sh
# Runs each fuzz target for the seconds given (default 60) and prints its
# executions; stops at the first target that finds a fault.
# Usage: scripts/fuzz.sh [SECONDS]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
for target in regfile pending_list wildcard fault_rules paths device_info replies legacy; do
  corpus="$top/build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  log="$top/build/fuzz/$target.log"
  if ! "$top/build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 \
      "$corpus" >"$log" 2>&1; then
    cat "$log"
    echo "fuzz_$target found a fault (its input is in $top/build/fuzz)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz_$target: $runs executions in $seconds s, no fault"
done
