#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for a while.
#
#   scripts/fuzz.sh [seconds-per-target]     (default 60)
#
# The committed seed corpus of a target is tests/fuzz/corpus/<target>/; what a run learns
# goes to build/linux-fuzz/corpus/<target>/ and is kept between runs. A crash stops the
# script with the crashing input saved under build/linux-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

cmake --preset linux-fuzz >/dev/null
cmake --build --preset linux-fuzz -j"$(nproc)" >/dev/null

build=build/linux-fuzz
mkdir -p "$build/artifacts"
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [[ -x "$target" ]] || continue
  name=$(basename "$target")
  work="$build/corpus/$name"
  seeds="tests/fuzz/corpus/$name"
  mkdir -p "$work" "$seeds"
  log="$build/$name.log"
  if "$target" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=4096 \
      -artifact_prefix="$build/artifacts/$name-" "$work" "$seeds" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "$name: ${runs:-?} runs in ${seconds}s (${rate:-?} per second), no finding"
  else
    echo "$name: FINDING -- see $log and $build/artifacts/"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
