#!/usr/bin/env bash
# The demo of a fresh clone: packs the example component (examples/component) with wzd and runs
# the C host (examples/host_c) on the archive, which starts the component through the component
# cache and calls its functions with arrays.
set -euo pipefail
build=${1:-build/release}
archive="$build/examples/demo.ctf"
# A cache of the demo's own, so that the demo neither depends on nor changes the user's cache.
export KVN_CACHE_ROOT="$build/examples/demo-cache"

echo "== wzd pack examples/component -o $archive --name demo"
"$build/tools/wzd/wzd" pack examples/component -o "$archive" --name demo
echo "== wzd inspect $archive"
"$build/tools/wzd/wzd" inspect "$archive"
echo "== $build/examples/host_c $archive"
"$build/examples/host_c" "$archive"
