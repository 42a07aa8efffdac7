#!/usr/bin/env bash
# Time per sweep of itsolv-mpi on two hosts a delay apart: two network
# namespaces (node1, node2) joined only by delay-link, which forwards the
# packets between their TUN devices after a one-way delay and at a rate.
# For each delay, bench/measure_mpi.sh runs 2 processes, one a host, with
# mpirun started on node1 and node2's started by Open MPI's rsh launcher
# (tests/network/host.sh as its agent), over TCP alone.
#
#   bench/measure_mpi_delay.sh BUILD_DIR [N] [RATE_MBIT] [DELAYS_MS...]
#
# N defaults to 5000, the rate to 1000 (a gigabit link), the delays to 0 1 5.
# Needs root (network namespaces); leaves no namespace behind.
set -euo pipefail

build=$(cd "${1:?usage: bench/measure_mpi_delay.sh BUILD_DIR [N] [RATE_MBIT] [DELAYS_MS...]}" && pwd)
n=${2:-5000}
rate=${3:-1000}
shift $(($# < 3 ? $# : 3))
delays=("$@")
[ ${#delays[@]} -gt 0 ] || delays=(0 1 5)
here=$(cd "$(dirname "$0")" && pwd)
hosts=$here/../tests/network

export ITSOLV_NET_DIR
ITSOLV_NET_DIR=$(mktemp -d)
name=itsolvbench-$$
trap '"$hosts/hosts.sh" down "$name"; rm -rf "$ITSOLV_NET_DIR"' EXIT
printf '127.0.0.1 localhost\n10.89.0.2 node1\n10.89.0.3 node2\n' >"$ITSOLV_NET_DIR/hosts"
printf 'node1 slots=1\nnode2 slots=1\n' >"$ITSOLV_NET_DIR/hostfile"
printf 'node1 %s-1\nnode2 %s-2\n' "$name" "$name" >"$ITSOLV_NET_DIR/map"
for k in 1 2; do
  ip netns add "$name-$k"
  ip -n "$name-$k" tuntap add dev tun0 mode tun
  ip -n "$name-$k" addr add "10.89.0.$((k + 1))" peer "10.89.0.$((4 - k))" dev tun0
  ip -n "$name-$k" link set tun0 up
  ip -n "$name-$k" link set lo up
done

export MPIRUN="$hosts/host.sh node1 mpirun --hostfile $ITSOLV_NET_DIR/hostfile --mca plm_rsh_agent $hosts/host.sh
  --mca btl tcp,self --mca btl_tcp_if_include 10.89.0.0/24 --mca oob_tcp_if_include 10.89.0.0/24"
for delay in "${delays[@]}"; do
  "$build/bin/delay-link" "$name-1" "$name-2" "$delay" "$rate" &
  link=$!
  printf '%s ms one-way delay, %s Mb/s\n' "$delay" "$rate"
  "$here/measure_mpi.sh" "$build" "$n" 2
  kill "$link"
  wait "$link" 2>/dev/null || true
done
