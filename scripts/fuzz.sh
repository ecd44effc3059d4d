#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for the
# given number of seconds (default 60) from the seed corpus in fuzz/corpus.
# New inputs found go to build/fuzz/corpus; a crash fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null
for target in dispatch format log; do
  work="build/fuzz/corpus/$target"
  mkdir -p "$work"
  echo "fuzzing $target for ${seconds}s"
  "build/fuzz/fuzz/fuzz_$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="build/fuzz/$target-" "$work" "fuzz/corpus/$target" 2>&1 |
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|==.*ERROR|SUMMARY)' || true
  if ls build/fuzz/"$target"-crash-* build/fuzz/"$target"-leak-* build/fuzz/"$target"-timeout-* >/dev/null 2>&1; then
    echo "fuzz_$target found a failure: see build/fuzz/$target-*"
    exit 1
  fi
done
