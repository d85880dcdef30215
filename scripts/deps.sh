#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the benchmarks and the fuzzers need.
# Idempotent and quiet when everything is present; runs `apt-get update` only when it has to
# install something.
set -euo pipefail

packages=(
  # toolchain
  cmake ninja-build g++ make pkg-config binutils ccache
  # clang with its sanitizer and libFuzzer runtime, for the fuzz targets
  clang libclang-rt-14-dev
  # libraries
  libboost-dev libboost-filesystem-dev libboost-thread-dev libboost-regex-dev
  libboost-iostreams-dev libboost-date-time-dev libboost-system-dev
  libarchive-dev zlib1g-dev nlohmann-json3-dev libopenblas-dev liblapack-dev libxxhash-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev liblua5.4-dev
  # interpreters the whole-program benchmarks compare Q-code with
  lua5.4 python3
  # bsdtar, the baseline of the component start benchmark
  libarchive-tools
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
((${#missing[@]} == 0)) && exit 0

echo "deps: installing ${missing[*]}" >&2
sudo=()
((EUID == 0)) || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
