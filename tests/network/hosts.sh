#!/bin/sh
# Test hosts in network namespaces, for running itsolv-mpi over TCP:
#
#   hosts.sh up DIR NAME COUNT   makes the namespaces NAME-s (a switch: one
#                                bridge), NAME-0 (the head, where mpirun runs)
#                                and NAME-1 ... NAME-COUNT (node1 ...), each
#                                host joined to the bridge by a veth link
#                                (eth0, 10.89.0.K/24), the head giving up on
#                                a silent TCP link after 3 retries; writes
#                                DIR/hosts (the names), DIR/hostfile (one
#                                slot a node) and DIR/map (name, namespace)
#   hosts.sh down NAME           ends every process in those namespaces and
#                                deletes them, with their links
#   hosts.sh sweep PREFIX        does so for every NAME = PREFIX-PID whose
#                                process PID is gone (left by a killed run)
#
# Nothing is made in the machine's own network namespace: each link is made
# straight into the two namespaces it joins.
set -eu

down() {
  for ns in $(ip netns list | awk -v name="$1" 'index($1, name "-") == 1 { print $1 }'); do
    pids=$(ip netns pids "$ns" 2>/dev/null || true)
    # shellcheck disable=SC2086 # one word a process
    [ -z "$pids" ] || kill -9 $pids 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
  done
}

up() {
  dir=$1 name=$2 count=$3
  ip netns add "$name-s"
  ip -n "$name-s" link add br0 type bridge
  ip -n "$name-s" link set br0 up
  printf '127.0.0.1 localhost\n' >"$dir/hosts"
  : >"$dir/hostfile"
  : >"$dir/map"
  k=0
  while [ "$k" -le "$count" ]; do
    host=node$k
    [ "$k" -gt 0 ] || host="head"
    ip netns add "$name-$k"
    ip link add eth0 netns "$name-$k" type veth peer name p$k netns "$name-s"
    ip -n "$name-s" link set p$k master br0 up
    ip -n "$name-$k" addr add 10.89.0.$((k + 1))/24 dev eth0
    ip -n "$name-$k" link set eth0 up
    ip -n "$name-$k" link set lo up
    printf '10.89.0.%d %s\n' $((k + 1)) "$host" >>"$dir/hosts"
    printf '%s %s\n' "$host" "$name-$k" >>"$dir/map"
    [ "$k" -eq 0 ] || printf '%s slots=1\n' "$host" >>"$dir/hostfile"
    # mpirun waits for a cut-off host's daemon until TCP gives up on its
    # link to it: after 3 retries (seconds) there, not Linux's 15 (minutes).
    [ "$k" -gt 0 ] || ip netns exec "$name-0" sh -c 'echo 3 >/proc/sys/net/ipv4/tcp_retries2'
    k=$((k + 1))
  done
}

case ${1:-} in
  up) up "$2" "$3" "$4" ;;
  down) down "$2" ;;
  sweep)
    for name in $(ip netns list | awk -v prefix="$2" 'index($1, prefix "-") == 1 { sub(/-[^-]*$/, "", $1); print $1 }' | sort -u); do
      kill -0 "${name##*-}" 2>/dev/null || down "$name"
    done
    ;;
  *) echo "usage: hosts.sh up DIR NAME COUNT | down NAME | sweep PREFIX" >&2; exit 2 ;;
esac
