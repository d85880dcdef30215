#!/usr/bin/env bash
# Compares the dynamic symbols that each shared library defines with its checked-in list in
# scripts/exports/<library>.txt, so that a missing, misspelt or accidental export fails the tests.
#
#   check-exports.sh BUILD_DIR            check every library that has a list
#   check-exports.sh --update BUILD_DIR   rewrite the lists from the built libraries
#
# Only strong definitions count (nm types T, D, B, R): weak instantiations of templates from the
# standard library are the compiler's business, not the contract. Names are demangled.
set -euo pipefail

update=false
if [[ "${1:-}" == "--update" ]]; then update=true; shift; fi
build=${1:?usage: check-exports.sh [--update] BUILD_DIR}
lists="$(cd "$(dirname "$0")" && pwd)/exports"

exports_of() {
  nm -D --defined-only "$1" | awk '$2 ~ /^[TDBR]$/ { print $3 }' |
    grep -v -E '^(_init|_fini|__odr_asan|__asan|__ubsan|__sanitizer)' | c++filt | LC_ALL=C sort -u
}

status=0
for list in "$lists"/*.txt; do
  library=$(basename "$list" .txt)
  shared=$(find "$build" -name "lib$library.so" -type f | head -n 1)
  if [[ -z "$shared" ]]; then
    echo "check-exports: lib$library.so not found under $build" >&2
    status=1
    continue
  fi
  if $update; then
    exports_of "$shared" >"$list"
    continue
  fi
  if ! diff_output=$(diff <(LC_ALL=C sort -u "$list") <(exports_of "$shared")); then
    echo "check-exports: lib$library.so differs from scripts/exports/$library.txt" >&2
    echo "  (< listed but not exported, > exported but not listed)" >&2
    echo "$diff_output" | grep '^[<>]' | sed 's/^/  /' >&2
    status=1
  fi
done
exit $status
