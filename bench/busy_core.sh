#!/usr/bin/env bash
# itsolv on a machine where another program holds one core: with a busy
# loop pinned to the first core, runs itsolv free to use every core and
# pinned to the second core alone, in turn, and prints the median of the
# run-by-run ratios (free / pinned). Below 1, the second core's share of the
# first one was put to use; an ideal split of 1.5 cores gives 0.67.
#
# usage: bench/busy_core.sh [BUILD_DIR (default build)] [N (default 10000)] [RUNS (default 9)]
set -euo pipefail

build_dir=${1:-build}
n=${2:-10000}
runs=${3:-9}
bin_dir=$(cd "$build_dir/bin" && pwd)
for prog in mkprob itsolv; do
  [[ -x $bin_dir/$prog ]] || { echo "missing $bin_dir/$prog: build the target $prog" >&2; exit 1; }
done
command -v taskset >/dev/null || { echo "needs taskset (util-linux)" >&2; exit 1; }
(( $(nproc) >= 2 )) || { echo "needs two cores" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/busy_core.XXXXXX")
busy=
cleanup() {
  [[ -n $busy ]] && kill "$busy" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
"$bin_dir/mkprob" "$n" 0.0001
cat "$n.txt" > /dev/null  # warm the page cache
cpus=($(taskset -cp $$ | sed 's/.*: //' | tr ',' '\n' | while IFS=- read -r a b; do seq "$a" "${b:-$a}"; done))
first=${cpus[0]} second=${cpus[1]}

# time_run CMD...: wall seconds of one run.
time_run() {
  local start end
  start=$(date +%s%N)
  "$@" > out.txt
  end=$(date +%s%N)
  echo "$(( end - start ))"
}

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); busy loop on core $first, pinned runs on core $second"
taskset -c "$first" sh -c 'while :; do :; done' &
busy=$!
sleep 0.5
ratios=()
for ((i = 1; i <= runs; i++)); do
  free=$(time_run "$bin_dir/itsolv" "$n.txt")
  pinned=$(time_run taskset -c "$second" "$bin_dir/itsolv" "$n.txt")
  ratio=$(awk -v a="$free" -v b="$pinned" 'BEGIN { printf "%.3f", a / b }')
  ratios+=("$ratio")
  printf 'run %d: free %.3f s, pinned %.3f s, ratio %s\n' "$i" "$(awk -v a="$free" 'BEGIN { print a / 1e9 }')" \
    "$(awk -v b="$pinned" 'BEGIN { print b / 1e9 }')" "$ratio"
done
printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print "median ratio free / pinned: " v[int((NR + 1) / 2)] }'
