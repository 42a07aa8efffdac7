#!/usr/bin/env bash
# Compares itsolv with the straightforward solver straight_itsolv: wall time
# and peak memory on generated problems, and byte-identical output.
#
# usage: bench/bench_itsolv.sh [BUILD_DIR] [RUNS]
#   BUILD_DIR  CMake build directory holding bin/{itsolv,mkprob,straight_itsolv}
#              (default: build)
#   RUNS       timed runs of each solver on each problem (default: 5)
#
# Problems: mkprob's 1,000, 5,000 and 10,000 variables (tolerance 0.0001) and
# a 5,000-variable problem of decimal and exponent-form numbers and a
# 3,000-variable one of 17-digit decimals, both written by
# make_decimal_problem.py. They are written to a temporary directory (the
# 10,000 one is about 300 MB), read once untimed so that every timed run
# starts from a warm page cache, and removed when done.
# Needs python3 (for the decimal problem and for timing each run).
# Ends with the generator's benchmark, bench_mkprob.sh, where present.
set -euo pipefail

die() {
  echo "bench_itsolv.sh: $*" >&2
  exit 1
}

build_dir=${1:-build}
runs=${2:-5}
[[ $# -le 2 ]] || die "usage: bench_itsolv.sh [BUILD_DIR] [RUNS]"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "RUNS must be a positive integer, not '$runs'"
[[ -d $build_dir/bin ]] || die "no directory $build_dir/bin: build first (see bench/README.md)"
build_dir=$(cd "$build_dir" && pwd)
bin_dir=$build_dir/bin
for prog in itsolv straight_itsolv mkprob; do
  [[ -x $bin_dir/$prog ]] ||
    die "missing $bin_dir/$prog: cmake --build $build_dir -j2 --target itsolv straight_itsolv mkprob"
done
command -v python3 > /dev/null || die "python3 is needed (timing and the decimal problem)"
script_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[[ -f $script_dir/make_decimal_problem.py ]] || die "missing $script_dir/make_decimal_problem.py"

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_itsolv.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command with its standard output sent to a file and prints
# "seconds peak_rss_kb exit_status" of that one child: wall time from
# start to exit (not counting python's own start-up), peak RSS from wait4.
cat > "$work/measure.py" << 'EOF'
import os, sys, time
out = os.open(sys.argv[1], os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
start = time.perf_counter()
pid = os.posix_spawn(sys.argv[2], sys.argv[2:], os.environ,
                     file_actions=[(os.POSIX_SPAWN_DUP2, out, 1)])
_, status, usage = os.wait4(pid, 0)
elapsed = time.perf_counter() - start
print(f"{elapsed:.4f} {usage.ru_maxrss} {os.waitstatus_to_exitcode(status)}")
EOF

# A child started by python inherits python's own resident size into its
# peak figure (about 10 MB), which hides the peak of a small run. GNU time,
# itself small, started in between reports the solver's true peak; without
# it the python figure is used and its floor is noted with the table.
if [[ -x /usr/bin/time ]]; then
  via_time=(/usr/bin/time -f %M -o "$work/peak")
  rss_note="peak RSS from GNU time"
else
  via_time=()
  floor=$(python3 "$work/measure.py" /dev/null "$bin_dir/straight_itsolv" | cut -d' ' -f2)
  rss_note="peak RSS from wait4 (below $((floor / 1024)) MiB: the timer's own)"
fi

# Runs one solver on a problem; prints "seconds peak_rss_kb exit_status".
measure() {
  local prog=$1 file=$2 t kb status
  read -r t kb status < <(python3 "$work/measure.py" "$work/$prog.out" \
    "${via_time[@]}" "$bin_dir/$prog" "$file")
  [[ -n $status ]] || die "could not run and time $bin_dir/$prog"
  ((${#via_time[@]} == 0)) || kb=$(tail -n 1 "$work/peak")
  echo "$t $kb $status"
}

# Median of the numbers on standard input, one per line.
median() {
  sort -g | awk '{ v[NR] = $1 } END {
    if (NR % 2) printf "%.3f", v[(NR + 1) / 2]
    else printf "%.3f", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

load() { cut -d' ' -f1-3 /proc/loadavg; }

rows=()
bench_problem() {
  local label=$1 file=$2
  cat "$file" > /dev/null  # warm the page cache
  local times_ours=() times_straight=() rss_ours=0 rss_straight=0
  local run prog result t kb status
  for ((run = 1; run <= runs; run++)); do
    for prog in itsolv straight_itsolv; do
      result=$(measure "$prog" "$file")
      read -r t kb status <<< "$result"
      [[ $status == 0 ]] || {
        head -3 "$work/$prog.out" >&2
        die "$prog $label exited with status $status"
      }
      if [[ $prog == itsolv ]]; then
        times_ours+=("$t")
        ((kb > rss_ours)) && rss_ours=$kb
      else
        times_straight+=("$t")
        ((kb > rss_straight)) && rss_straight=$kb
      fi
    done
    cmp -s "$work/itsolv.out" "$work/straight_itsolv.out" ||
      die "$label: the outputs of itsolv and straight_itsolv differ (run $run)"
    echo "  $label run $run/$runs: itsolv ${times_ours[-1]} s, straight_itsolv ${times_straight[-1]} s" >&2
  done
  local med_ours med_straight
  med_ours=$(printf '%s\n' "${times_ours[@]}" | median)
  med_straight=$(printf '%s\n' "${times_straight[@]}" | median)
  rows+=("$(awk -v l="$label" -v to="$med_ours" -v ts="$med_straight" \
    -v mo="$rss_ours" -v ms="$rss_straight" -v it="$(tail -1 "$work/itsolv.out" | tr -dc 0-9)" 'BEGIN {
      printf "%-14s %6s %9.3f %10.3f %8.1fx %10.1f %10.1f %9.3f",
        l, it, to, ts, (to > 0 ? ts / to : 0), mo / 1024, ms / 1024, (ms > 0 ? mo / ms : 0) }')")
}

echo "load average at start: $(load)" >&2
start_dir=$PWD
cd "$work"
for n in 1000 5000 10000; do
  echo "generating mkprob $n 0.0001" >&2
  "$bin_dir/mkprob" "$n" 0.0001 > /dev/null || die "mkprob $n 0.0001 failed"
  [[ -f $n.txt ]] || die "mkprob $n 0.0001 wrote no $n.txt"
  bench_problem "mkprob $n" "$work/$n.txt"
  rm -f "$work/$n.txt"
done
echo "generating the decimal problem of 5000 variables" >&2
python3 "$script_dir/make_decimal_problem.py" 5000 "$work/decimal5000.txt"
bench_problem "decimal 5000" "$work/decimal5000.txt"
rm -f "$work/decimal5000.txt"
echo "generating the problem of 3000 variables of 17-digit decimals" >&2
python3 "$script_dir/make_decimal_problem.py" 3000 "$work/long3000.txt" --long
bench_problem "long 3000" "$work/long3000.txt"
rm -f "$work/long3000.txt"

echo
echo "itsolv vs straight_itsolv: median wall time of $runs runs (s), largest"
echo "$rss_note in MiB; outputs identical on every run."
echo "load average at end: $(load)"
printf '%-14s %6s %9s %10s %9s %10s %10s %9s\n' problem sweeps ours straight speedup \
  "MiB ours" "MiB str." "mem o/s"
printf '%s\n' "${rows[@]}"

if [[ -f $script_dir/bench_mkprob.sh ]]; then
  echo
  cd "$start_dir"
  if [[ ! -x $bin_dir/straight_mkprob ]]; then
    echo "generator benchmark skipped: build the target straight_mkprob first"
    exit 0
  fi
  bash "$script_dir/bench_mkprob.sh" "$bin_dir" "$runs" || die "the generator benchmark bench_mkprob.sh failed"
fi
