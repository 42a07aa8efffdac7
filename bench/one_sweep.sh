#!/usr/bin/env bash
# itsolv against `cat FILE > /dev/null` on problems whose tolerance ends the
# run after one sweep: loading set against reading the file, timed from
# outside as whole processes, in pairs (itsolv, cat, itsolv, cat ...) so that
# a drift of the machine's speed falls on both; prints each command's
# median wall time and the median of the pairs' ratios.
#
# usage: bench/one_sweep.sh [BUILD_DIR (default build)] [RUNS (default 5)] [N ...]
#   N: mkprob sizes (default 10000 20000 50000); a 5,000-variable problem of
#   decimals (make_decimal_problem.py) comes last. The files are kept (see
#   kept_problem.sh): mkprob 50000 takes 7.3 GB.
set -euo pipefail

build_dir=${1:-build}
runs=${2:-5}
shift $(($# < 2 ? $# : 2))
sizes=("$@")
[[ ${#sizes[@]} -gt 0 ]] || sizes=(10000 20000 50000)
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "RUNS must be a positive integer, not '$runs'" >&2; exit 1; }
bin_dir=$(cd "$build_dir/bin" && pwd)
for prog in mkprob itsolv; do
  [[ -x $bin_dir/$prog ]] || { echo "missing $bin_dir/$prog: build the target $prog" >&2; exit 1; }
done
source "$(dirname "${BASH_SOURCE[0]}")/kept_problem.sh"
files=()
for n in "${sizes[@]}"; do files+=("$(kept_problem "$bin_dir" "$n" 1e30)"); done
files+=("$(kept_decimals "$bin_dir" 5000 1e30)")

echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-18s %10s %8s %10s %8s %8s\n' problem bytes sweeps 'itsolv s' 'cat s' ratio
for file in "${files[@]}"; do
  sweeps=$("$bin_dir/itsolv" "$file" | tail -n 1 | awk '{ print $NF }')  # warms the page cache too
  python3 - "$runs" "$file" "$sweeps" "$bin_dir/itsolv" << 'PY'
import os, statistics, sys, time
runs, path, sweeps, itsolv = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
null = os.open(os.devnull, os.O_WRONLY)
def timed(argv):
    start = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1)])
    _, status, _ = os.wait4(pid, 0)
    if os.waitstatus_to_exitcode(status) not in (0, 1):
        sys.exit(f"{argv} ended with status {status}")
    return time.perf_counter() - start
ours, cat = [], []
for _ in range(runs):
    ours.append(timed([itsolv, path]))
    cat.append(timed(["/bin/cat", path]))
ratio = statistics.median(a / b for a, b in zip(ours, cat))
name = os.path.basename(path)
print(f"{name:<18} {os.path.getsize(path):>10} {sweeps:>8} {statistics.median(ours):>10.3f} "
      f"{statistics.median(cat):>8.3f} {ratio:>7.2f}x")
PY
done
