# Problem files that the benchmarks keep between runs (sourced by them).
#
#   kept_problem BIN_DIR N TOLERANCE      mkprob N TOLERANCE
#   kept_decimals BIN_DIR N TOLERANCE     make_decimal_problem.py N
#
# each prints the path of its file, in $ITSOLV_BENCH_DATA (default
# BIN_DIR/../bench-data), one folder per tolerance. A file is written once:
# when present it is used as it is. Before writing, the space it needs is
# told, and when `df` shows less free (with 1 GiB to spare) nothing is
# written and the call fails with a message.

bench_data() {
  local dir=${ITSOLV_BENCH_DATA:-$1/../bench-data}
  mkdir -p "$dir" && (cd "$dir" && pwd)
}

# Refuses, with a message, to write BYTES into DIR when df shows too little.
need_space() {
  local dir=$1 bytes=$2 what=$3 free
  free=$(df -B1 --output=avail "$dir" | tail -n 1 | tr -d ' ')
  echo "writing $what: needs about $((bytes / 1000000)) MB in $dir ($((free / 1000000)) MB free)" >&2
  if ((free < bytes + (1 << 30))); then
    echo "not enough free space for $what in $dir: $((bytes / 1000000)) MB and 1 GiB to spare needed," \
      "$((free / 1000000)) MB free" >&2
    return 1
  fi
}

kept_problem() {
  local bin_dir=$1 n=$2 tolerance=$3 dir
  dir=$(bench_data "$bin_dir")/tol-$tolerance
  mkdir -p "$dir"
  if [[ ! -f $dir/$n.txt ]]; then
    # mkprob writes about 2.91 bytes a coefficient.
    need_space "$dir" $((n * n * 3 + 4096)) "mkprob $n $tolerance" || return 1
    (cd "$dir" && "$bin_dir/mkprob" "$n" "$tolerance" > /dev/null) || return 1
  fi
  echo "$dir/$n.txt"
}

kept_decimals() {
  local bin_dir=$1 n=$2 tolerance=$3 dir script_dir
  script_dir=$(dirname "${BASH_SOURCE[0]}")
  dir=$(bench_data "$bin_dir")/tol-$tolerance
  mkdir -p "$dir"
  if [[ ! -f $dir/decimals-$n.txt ]]; then
    # Decimals take about 9 bytes a coefficient.
    need_space "$dir" $((n * n * 10 + 4096)) "$n variables of decimals" || return 1
    python3 "$script_dir/make_decimal_problem.py" "$n" "$dir/decimals-$n.txt.part" --tolerance "$tolerance" &&
      mv "$dir/decimals-$n.txt.part" "$dir/decimals-$n.txt" || return 1
  fi
  echo "$dir/decimals-$n.txt"
}
