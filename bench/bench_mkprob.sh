#!/usr/bin/env bash
# Compares mkprob with the straightforward generator straight_mkprob: median
# wall time of several runs for a few problem sizes, the speed-up, peak
# memory (where /usr/bin/time is available) and whether the files are the
# same. Builds nothing: pass the directory that holds both programs.
#
#   bench/bench_mkprob.sh [BIN_DIR (default build/bin)] [RUNS (default 5)]
set -euo pipefail

bin_dir=$(cd "${1:-build/bin}" && pwd)
runs=${2:-5}
sizes=(1000 5000 10000)
tolerance=0.0001

for program in mkprob straight_mkprob; do
  if [[ ! -x "$bin_dir/$program" ]]; then
    echo "missing $bin_dir/$program: build the targets mkprob and straight_mkprob" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-mkprob.XXXXXX")
trap 'rm -rf "$work"' EXIT

have_time=0
[[ -x /usr/bin/time ]] && have_time=1

# run PROGRAM N DIR: runs it in DIR, prints "seconds peak_kb".
run() {
  local program=$1 n=$2 dir=$3 start end peak=-
  mkdir -p "$dir"
  start=$(date +%s%N)
  if ((have_time)); then
    (cd "$dir" && /usr/bin/time -f %M -o "$work/peak" "$bin_dir/$program" "$n" "$tolerance")
    peak=$(tail -n 1 "$work/peak")
  else
    (cd "$dir" && "$bin_dir/$program" "$n" "$tolerance")
  fi
  end=$(date +%s%N)
  echo "$(( (end - start) / 1000 )) $peak"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-7s %12s %12s %9s %16s %16s %s\n' n straight_s mkprob_s speedup \
  straight_peak_kb mkprob_peak_kb identical
for n in "${sizes[@]}"; do
  : > "$work/straight.times"; : > "$work/mkprob.times"
  for ((i = 1; i <= runs; i++)); do
    # Each run writes into a fresh directory; the last runs' files are kept
    # for the comparison.
    rm -rf "$work/straight" "$work/mkprob"
    run straight_mkprob "$n" "$work/straight" >> "$work/straight.times"
    run mkprob "$n" "$work/mkprob" >> "$work/mkprob.times"
  done
  if cmp -s "$work/straight/$n.txt" "$work/mkprob/$n.txt"; then same=yes; else same=NO; fi
  straight_us=$(cut -d' ' -f1 "$work/straight.times" | median)
  mkprob_us=$(cut -d' ' -f1 "$work/mkprob.times" | median)
  straight_kb=$(cut -d' ' -f2 "$work/straight.times" | sort -n | tail -n 1)
  mkprob_kb=$(cut -d' ' -f2 "$work/mkprob.times" | sort -n | tail -n 1)
  awk -v n="$n" -v s="$straight_us" -v m="$mkprob_us" -v sk="$straight_kb" \
      -v mk="$mkprob_kb" -v same="$same" 'BEGIN {
    printf "%-7s %12.3f %12.3f %8.1fx %16s %16s %s\n",
           n, s / 1e6, m / 1e6, (m > 0 ? s / m : 0), sk, mk, same }'
  rm -rf "$work/straight" "$work/mkprob"
  [[ $same == yes ]] || exit 1
done
