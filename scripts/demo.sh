#!/usr/bin/env bash
# Runs the demo from an optimised build. Until components can be packed and run, it says what
# it will show.
set -euo pipefail
build=${1:-build/release}
echo "rtkkvn demo: built the runtime libraries in $build:"
find "$build" -maxdepth 3 -name 'lib*.so' -printf '  %f\n' | sort
cat <<'TEXT'
Once the packer and the component entry points exist, the demo will:
  1. pack examples/ into a component archive with wzd,
  2. start a runtime instance on it from a small C host program,
  3. call its functions with arrays and print the results,
  4. run the same component as a standalone executable through the component cache.
TEXT
