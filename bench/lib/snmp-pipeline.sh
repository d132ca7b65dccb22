#!/usr/bin/env bash
# The discovery an administrator would script by hand, the baseline of
# bench/scale.sh: for every object of CLASS in REPO, one snmpget of OID at
# the object's address (1 s time-out, no retry), and a reclass of the object
# into TARGET when the agent answers without error; 32 objects in flight.
#
#   snmp-pipeline.sh REPO CLASS OID TARGET
#
# reclass and wvrepo come from PATH; the repository user is admin with the
# blank password.
set -euo pipefail
if [ $# -ne 4 ]; then
  echo "usage: snmp-pipeline.sh REPO CLASS OID TARGET" >&2
  exit 2
fi
export REPO=$1 CLASS=$2 TARGET=$4
oid=$3

# One "name address" line per object (wvrepo lists name before address).
# shellcheck disable=SC2016  # the inner sh expands its own arguments
wvrepo object list "$REPO" "$CLASS" --json |
  sed -n 's/.*"name":"\([^"]*\)".*"address":"\([^"]*\)".*/\1 \2/p' |
  xargs -P 32 -n 2 sh -c '
    snmpget -v1 -c public -t 1 -r 0 "$2" "$0" >/dev/null 2>&1 || exit 0
    reclass "/R=$REPO" /U=admin "/C=$CLASS" "/O=$1" "/T=$TARGET"' "$oid"
