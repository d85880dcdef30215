#!/usr/bin/env bash
# Whole-program benchmarks: the same five programs in Q-code, Lua 5.4 and Python 3, timed as whole
# processes. First every variant runs once (also the warm-up) and its output must equal the Lua
# program's, else the script stops with the difference. Then, per benchmark, the variants run in
# turn (Q, Lua, Python, vectorised Q) for ROUNDS rounds; each timed run's output is checked again.
# Prints the median wall times and the median of the per-round ratios against the targets:
# Q at most 3 times Lua and no slower than Python.
#
# Usage: bench/programs/run.sh [--quick] QRUN
#   QRUN     the qrun program of an optimised build (build/release/bench/qrun)
#   --quick  small sizes and 3 rounds: checks the programs and the script, measures nothing useful
# Environment: ROUNDS (default 5), LUA (default lua5.4), PYTHON (default Debian's python3).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
quick=0
if [[ ${1:-} == --quick ]]; then
  quick=1
  shift
fi
qrun=${1:?usage: run.sh [--quick] QRUN}
[[ -x $qrun ]] || { echo "programs: $qrun is not built" >&2; exit 1; }
qrun=$(cd "$(dirname "$qrun")" && pwd)/$(basename "$qrun")

lua=${LUA:-lua5.4}
# Debian's interpreter, which scripts/deps.sh installs, rather than a wrapper earlier on PATH.
python=${PYTHON:-$( [[ -x /usr/bin/python3 ]] && echo /usr/bin/python3 || echo python3)}
for interpreter in "$lua" "$python"; do
  if ! command -v "$interpreter" >/dev/null; then
    echo "programs: $interpreter not found (scripts/deps.sh installs it); skipped"
    exit 0
  fi
done

# Single-threaded BLAS: the other languages run on one core, and the machine has two shared ones.
export OPENBLAS_NUM_THREADS=1

# name and size; the sizes make the Lua programs take about 0.5 to 2 s on the development machine.
if ((quick)); then
  benchmarks=("nbody 1000" "spectralnorm 100" "fannkuchredux 7" "binarytrees 10" "mandelbrot 101")
  rounds=${ROUNDS:-3}
else
  benchmarks=("nbody 500000" "spectralnorm 800" "fannkuchredux 10" "binarytrees 15"
              "mandelbrot 1200")
  rounds=${ROUNDS:-5}
fi

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The command line of one variant (q, lua, python, qvec) of a program; the size may be empty.
command_of() {
  local variant=$1 name=$2 size=$3
  case $variant in
    q) echo "$qrun $here/$name.q $size" ;;
    qvec) echo "$qrun $here/${name}_vec.q $size" ;;
    lua) echo "$lua $here/$name.lua $size" ;;
    python) echo "$python $here/$name.py $size" ;;
  esac
}

# Runs a variant once, leaves its output in $scratch/VARIANT.out and its wall seconds in $elapsed.
# Stops the script when the program fails.
run_once() {
  local variant=$1 name=$2 size=$3
  local command
  command=$(command_of "$variant" "$name" "$size")
  local start=$EPOCHREALTIME
  if ! $command >"$scratch/$variant.out" 2>"$scratch/$variant.err"; then
    echo "programs: FAILED: $command" >&2
    cat "$scratch/$variant.err" >&2
    exit 1
  fi
  local end=$EPOCHREALTIME
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
}

# Stops the script unless the variant's last output equals the reference output.
check_output() {
  local variant=$1 name=$2
  if ! cmp -s "$scratch/reference.out" "$scratch/$variant.out"; then
    echo "programs: OUTPUT DIFFERS: $name ($variant) against Lua:" >&2
    diff "$scratch/reference.out" "$scratch/$variant.out" >&2 || true
    exit 1
  fi
}

# The median of the numbers on standard input, with $1 decimals (default 3).
median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk -v f="%.${1:-3}f" '{ v[NR] = $1 } END {
  if (NR % 2) printf f, v[(NR + 1) / 2]; else printf f, (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The medians of the per-round ratios of two lists of times.
ratios() { paste -d/ <(tr ' ' '\n' <<<"$1" | sed '/^$/d') <(tr ' ' '\n' <<<"$2" | sed '/^$/d') |
  awk -F/ '{ printf "%.4f ", $1 / $2 }' | median 2; }

verdict() { awk -v r="$1" -v limit="$2" 'BEGIN { print (r <= limit ? "MET" : "MISSED") }'; }

echo "== whole programs: wall seconds, medians of $rounds interleaved rounds; ratios are medians"
echo "   of the per-round ratios (targets: Q/Lua <= 3, Q/Python <= 1)"
echo "   $("$lua" -v 2>&1 | head -1 | cut -c1-9), $("$python" --version 2>&1)," \
  "OpenBLAS one thread, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-14s %8s %8s %8s %8s %-13s %-13s\n' benchmark size Q Lua Python Q/Lua Q/Python
vectorised_rows=()
for benchmark in "${benchmarks[@]}"; do
  read -r name size <<<"$benchmark"
  variants=(q lua python)
  [[ -f $here/${name}_vec.q ]] && variants+=(qvec)

  run_once lua "$name" "$size"
  cp "$scratch/lua.out" "$scratch/reference.out"
  for variant in "${variants[@]}"; do
    [[ $variant == lua ]] && continue
    run_once "$variant" "$name" "$size"
    check_output "$variant" "$name"
  done

  declare -A times=([q]="" [lua]="" [python]="" [qvec]="")
  for ((round = 0; round < rounds; ++round)); do
    for variant in "${variants[@]}"; do
      run_once "$variant" "$name" "$size"
      check_output "$variant" "$name"
      times[$variant]+="$elapsed "
    done
  done

  qLua=$(ratios "${times[q]}" "${times[lua]}")
  qPython=$(ratios "${times[q]}" "${times[python]}")
  printf '%-14s %8s %8s %8s %8s %-13s %-13s\n' "$name" "$size" "$(median <<<"${times[q]}")" \
    "$(median <<<"${times[lua]}")" "$(median <<<"${times[python]}")" \
    "$qLua $(verdict "$qLua" 3)" "$qPython $(verdict "$qPython" 1)"
  if [[ -n ${times[qvec]} ]]; then
    vecLua=$(ratios "${times[qvec]}" "${times[lua]}")
    vecPython=$(ratios "${times[qvec]}" "${times[python]}")
    vectorised_rows+=("$(printf '%-14s %8s %8s %-13s %-13s %8s' "${name}_vec" "$size" \
      "$(median <<<"${times[qvec]}")" "$vecLua $(verdict "$vecLua" 3)" \
      "$vecPython $(verdict "$vecPython" 1)" "$(ratios "${times[qvec]}" "${times[q]}")")")
  fi
  unset times
done

echo "-- vectorised Q (whole-array operations), same output as the programs above"
printf '%-14s %8s %8s %-13s %-13s %8s\n' benchmark size Qvec Qvec/Lua Qvec/Python Qvec/Q
printf '%s\n' "${vectorised_rows[@]}"

# Start-up and shut-down of each interpreter, on an empty program.
declare -A startup=([q]="" [lua]="" [python]="")
for ((round = 0; round < rounds; ++round)); do
  for variant in q lua python; do
    run_once "$variant" empty ""
    startup[$variant]+="$elapsed "
  done
done
echo "-- start-up (empty program): Q $(median <<<"${startup[q]}") s, Lua" \
  "$(median <<<"${startup[lua]}") s, Python $(median <<<"${startup[python]}") s"
