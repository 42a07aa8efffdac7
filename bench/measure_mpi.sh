#!/usr/bin/env bash
# Time per sweep, load time, bytes read and peak memory per process of
# itsolv-mpi against the number of processes, on one machine.
#
#   bench/measure_mpi.sh BUILD_DIR [N] [PROCESS_COUNTS...]
#
# Generates N.txt (default 10000) with mkprob in a scratch folder, and a copy
# whose tolerance makes the run stop after one sweep. For each process count
# K (default 1 2 3; more than the cores are started anyway) it runs both files
# five times (RUNS times, when set) with
#   mpirun --oversubscribe --bind-to none -np K itsolv-mpi-measure FILE
# (MPIRUN, when set, is the launcher's command and its options, e.g. to start
# on other hosts: bench/measure_mpi_delay.sh), which times each run
# in-process from the end of loading, and prints the time
# per sweep (the difference of the two files' best times over the sweeps after
# the first: the pre-check cancels out), the load time (the best of the runs
# of the slowest process to load), the bytes read by the process that read
# most (rchar, MPI's start-up included) and the largest peak resident memory
# (VmHWM) of any of the K processes.
set -euo pipefail

build=$(cd "${1:?usage: bench/measure_mpi.sh BUILD_DIR [N] [PROCESS_COUNTS...]}" && pwd)
n=${2:-10000}
shift $(($# < 2 ? $# : 2))
counts=("$@")
[ ${#counts[@]} -gt 0 ] || counts=(1 2 3)

read -ra mpirun <<<"${MPIRUN:-mpirun}"
mpirun_flags=(--oversubscribe --bind-to none)
[ "$(id -u)" -ne 0 ] || mpirun_flags+=(--allow-run-as-root)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
"$build/bin/mkprob" "$n" 0.0001
sed '2s/.*/1e30/' "$n.txt" > once.txt
cmp -s <("$build/bin/itsolv" "$n.txt") <("${mpirun[@]}" "${mpirun_flags[@]}" -np 2 "$build/bin/itsolv-mpi" "$n.txt") ||
  { echo "itsolv-mpi does not print what itsolv prints" >&2; exit 1; }

# "SWEEPS SECONDS PEAK_KB LOAD_S RCHAR" of the best of RUNS runs of FILE on K
# processes (peak, load time and bytes read: the largest of the processes').
best() {
  local k=$1 file=$2
  for _ in $(seq "${RUNS:-5}"); do
    "${mpirun[@]}" "${mpirun_flags[@]}" -np "$k" "$build/bin/itsolv-mpi-measure" "$file"
  done | awk -v k="$k" '{ m = 0; l = 0; r = 0
                for (i = 6; i < 6 + k; ++i) if ($i > m) m = $i
                for (i = 7 + k; i < 7 + 2 * k; ++i) if ($i > l) l = $i
                for (i = 8 + 2 * k; i < 8 + 3 * k; ++i) if ($i > r) r = $i
                if (best == "" || $4 < best) best = $4
                if (load == "" || l < load) load = l
                if (m > peak) peak = m; if (r > read) read = r; sweeps = $2 }
              END { print sweeps, best, peak, load, read }'
}

size=$(stat -c %s "$n.txt")
printf '%s variables, %s bytes\n' "$n" "$size"
printf '%-10s %-8s %-14s %-12s %-22s %s\n' processes sweeps 'ms per sweep' 'load ms' 'MB read per process' \
  'peak MB per process'
for k in "${counts[@]}"; do
  read -r sweeps all peak load read < <(best "$k" "$n.txt")
  read -r _ one _ _ _ < <(best "$k" once.txt)
  awk -v k="$k" -v s="$sweeps" -v all="$all" -v one="$one" -v peak="$peak" -v load="$load" -v read="$read" \
    'BEGIN { printf "%-10s %-8s %-14.1f %-12.0f %-22.1f %.0f\n", k, s, (all - one) * 1000 / (s - 1), load * 1000,
             read / 1e6, peak / 1024 }'
done
