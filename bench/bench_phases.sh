#!/usr/bin/env bash
# The machine's floors, then each phase of itsolv on a generated problem
# beside its floor and the ratio. The problem is kept (see kept_problem.sh):
# mkprob 50000, 7.3 GB, is written once.
#
# usage: bench/bench_phases.sh [BUILD_DIR (default build)] [N (default 10000)]
set -euo pipefail

build_dir=${1:-build}
n=${2:-10000}
bin_dir=$(cd "$build_dir/bin" && pwd)
for prog in mkprob phases floors; do
  [[ -x $bin_dir/$prog ]] || { echo "missing $bin_dir/$prog: build the target $prog" >&2; exit 1; }
done
source "$(dirname "${BASH_SOURCE[0]}")/kept_problem.sh"
file=$(kept_problem "$bin_dir" "$n" 0.0001)

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_phases.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cat "$file" > /dev/null  # warm the page cache
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin_dir/floors" "$file"
echo
"$bin_dir/phases" "$file"
