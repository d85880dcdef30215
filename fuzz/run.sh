#!/usr/bin/env bash
# Runs every fuzz target for FUZZ_SECONDS (default 60) each, from its checked-in corpus. An input
# that runs longer than FUZZ_INPUT_SECONDS (default 25) is reported as a hang: the evaluator's
# target bounds Q code, but a built-in or a library under it may still not return.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
inputSeconds=${FUZZ_INPUT_SECONDS:-25}
here="$(cd "$(dirname "$0")" && pwd)"
shopt -s nullglob
for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="$build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [[ -d "$here/corpus/$name" ]] && seeds=("$here/corpus/$name")
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -timeout="$inputSeconds" "$corpus" "${seeds[@]}"
done
