#!/usr/bin/env bash
# The machine's floors, then each phase of itsolv on a generated problem
# beside its floor and the ratio.
#
# usage: bench/bench_phases.sh [BUILD_DIR (default build)] [N (default 10000)]
set -euo pipefail

build_dir=${1:-build}
n=${2:-10000}
bin_dir=$(cd "$build_dir/bin" && pwd)
for prog in mkprob phases floors; do
  [[ -x $bin_dir/$prog ]] || { echo "missing $bin_dir/$prog: build the target $prog" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/bench_phases.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
"$bin_dir/mkprob" "$n" 0.0001
cat "$n.txt" > /dev/null  # warm the page cache
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
"$bin_dir/floors" "$n.txt"
echo
"$bin_dir/phases" "$n.txt"
