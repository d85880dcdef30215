#!/usr/bin/env bash
# Runs every benchmark of an optimised build; each prints its ratios against the baseline it
# measures in the same run. Quote medians: the machine is small and shared.
set -euo pipefail
build=${1:-build/release}
shopt -s nullglob
ran=0
for benchmark in "$build"/bench/*_bench; do
  echo "== $(basename "$benchmark")"
  "$benchmark" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
  ran=1
done
((ran)) || echo "no benchmarks built yet"
# Whole programs in Q-code against the same programs in Lua and Python (see programs/README.md).
if [[ -x $build/bench/qrun ]]; then
  bash "$(dirname "$0")/programs/run.sh" "$build/bench/qrun"
fi
