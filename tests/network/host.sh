#!/bin/sh
# Runs a command on a test host of hosts.sh, as Open MPI's rsh launcher runs
# it on a remote machine (this is its agent, plm_rsh_agent):
#
#   host.sh [OPTIONS] HOST COMMAND...
#
# in HOST's network namespace, with HOST as its host name, the names of
# $ITSOLV_NET_DIR/hosts as /etc/hosts and each file of $ITSOLV_NET_DIR/HOST/
# in place of the file of that name in $ITSOLV_NET_DIR/shared/ (the host's
# own copy). Options before HOST (an rsh's) are passed over.
set -eu
while [ "$#" -gt 0 ] && [ "${1#-}" != "$1" ]; do shift; done
host=$1
shift
dir=$ITSOLV_NET_DIR
ns=$(awk -v host="$host" '$1 == host { print $2 }' "$dir/map")
[ -n "$ns" ] || { echo "host.sh: no test host $host" >&2; exit 255; }
# shellcheck disable=SC2016 # expanded by the inner shell
exec ip netns exec "$ns" unshare --uts --mount sh -c '
  hostname "$1"
  mount --bind "$2/hosts" /etc/hosts
  for own in "$2/$1"/*; do
    [ ! -f "$own" ] || mount --bind "$own" "$2/shared/${own##*/}"
  done
  shift 2
  exec sh -c "$*"' host.sh "$host" "$dir" "$@"
