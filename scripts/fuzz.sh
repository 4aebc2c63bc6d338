#!/usr/bin/env bash
# Runs each fuzz target for SECONDS (default 20) on its seed corpus and
# dictionary, one after the other, building the fuzz preset first when
# needed. Exits nonzero when a target finds a crash, a leak, a timeout or
# runs out of memory; the input that did it is kept in
# build/fuzz/findings/TARGET/. What a run adds to a corpus stays in
# build/fuzz/corpus/TARGET/, so the next run starts from there.
# Usage: scripts/fuzz.sh [SECONDS [TARGET ...]]
#   TARGET: trailer, archive, encrypted, package_reader, program_resources, lzma, switches (default: all)
set -u
cd "$(dirname "$0")/.."

seconds=${1:-20}
shift $(( $# > 0 ? 1 : 0 ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(trailer archive encrypted package_reader program_resources lzma switches)

bash scripts/install-deps.sh || exit 1
mkdir -p build
cmake --preset fuzz >build/configure-fuzz.log 2>&1 || { cat build/configure-fuzz.log; exit 1; }
cmake --build --preset fuzz || exit 1

status=0
for target in "${targets[@]}"; do
  program=build/fuzz/bin/fuzz_$target
  [ -x "$program" ] || { echo "fuzz: no target $target"; status=1; continue; }
  corpus=build/fuzz/corpus/$target
  findings=build/fuzz/findings/$target
  log=build/fuzz/logs/$target.log
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  # close_fd_mask=3: the packer prints its verdicts; libFuzzer and the
  # sanitizers keep writing their own reports to a copy of stderr.
  "$program" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -close_fd_mask=3 \
      -dict="fuzz/$target/$target.dict" -artifact_prefix="$findings/" -print_final_stats=1 \
      "$corpus" build/fuzz/fuzz-seeds/"$target" >"$log" 2>&1
  result=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  units=$(find "$corpus" -type f | wc -l)
  if [ "$result" = 0 ]; then
    echo "fuzz: $target: ${runs:-?} executions in ${seconds} s, corpus of $units inputs, no findings"
  else
    status=1
    echo "fuzz: $target: FAILED (exit $result) after ${runs:-?} executions; log $log, inputs in $findings/"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed|artifact_prefix|Test unit written)' "$log" | head -n 20
  fi
done
exit $status
