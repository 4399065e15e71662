#!/usr/bin/env bash
# Runs every fuzz target for a bounded time on a copy of its seed corpus.
# Usage: run.sh <build folder> [seconds per target, 30 by default]
set -euo pipefail
build=$1
seconds=${2:-30}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for target in text_value file_mask letter_case replacements journal; do
  # New inputs go to a corpus in the build folder; the committed seeds stay as they are.
  work="$build/corpus/$target"
  mkdir -p "$work"
  echo "== fuzz_$target for ${seconds}s"
  start=$(date +%s)
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$build/" "$work" "$here/corpus/$target" > "$build/fuzz_$target.log" 2>&1; then
    status=1
    tail -n 40 "$build/fuzz_$target.log"
  fi
  grep -E '^stat::number_of_executed_units|^stat::new_units_added' "$build/fuzz_$target.log" || true
  echo "   $(( $(date +%s) - start ))s"
done
exit $status
