#!/usr/bin/env bash
# Runs every fuzz target for FUZZ_SECONDS (default 60) each, from its checked-in corpus.
set -euo pipefail
build=${1:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
here="$(cd "$(dirname "$0")" && pwd)"
shopt -s nullglob
for target in "$build"/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus="$build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [[ -d "$here/corpus/$name" ]] && seeds=("$here/corpus/$name")
  echo "== $name for ${seconds}s"
  "$target" -max_total_time="$seconds" "$corpus" "${seeds[@]}"
done
