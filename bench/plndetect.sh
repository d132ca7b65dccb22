#!/usr/bin/env bash
# Measures plndetect over many objects (default 1,000) against loopback
# agents, in two runs:
#   1. every object's agent answers (one snmpd listening on one address per
#      object, holding both probe objects), at the tool's own time-out;
#   2. half of them are silent (nothing listens at every second address),
#      with a 1-second time-out and no retries.
# Prints the wall time and the objects per second of each run.
#
#   bench/plndetect.sh [BIN]        BIN: the build's bin folder (default build/bin)
#   OBJECTS=200 bench/plndetect.sh  fewer objects (run 2 costs 1 s per silent one)
#
# The objects are spread over the eleven classes plndetect always walks, one
# device address each, from the bench's own block 127.250.0.0/16 upwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TNG_BIN=$(cd "${1:-${TNG_BIN:-$here/../build/bin}}" && pwd)
TNG_SRC=$(cd "$here/.." && pwd)
objects=${OBJECTS:-1000}
export TNG_BIN TNG_SRC

# The test library gives a private TNG_HOME, the agents and their clean-up.
# shellcheck source=../tests/lib/test-lib.sh
. "$TNG_SRC/tests/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
set +u

# plndetect's passes in their order, but the Novell pass (the runs say N).
. "$TNG_SRC/tests/lib/passes.sh"
novell_classes=" $(pass_classes plndetect-pass novell) "
classes=()
for class in $(pass_classes plndetect-pass); do
  [[ $novell_classes == *" $class "* ]] || classes+=("$class")
done

address_of() { printf '127.%d.%d.%d' $((250 + $1 / 62500)) $(($1 / 250 % 250)) $(($1 % 250 + 1)); }

# populate REPO: a new repository with $objects objects over the classes.
populate() {
  local repo=$1 i class
  make_repo "$repo"
  load_classes "$repo" PLNAddClass.TNG
  for ((i = 0; i < objects; i++)); do
    class=${classes[i % ${#classes[@]}]}
    wvrepo object add "$repo" "$class" name="dev$i" address="$(address_of "$i")" >/dev/null
  done
}

# listen STEP: one agent on every STEP-th object's address, holding both
# probe objects.
listen() {
  local step=$1 i list=""
  for ((i = 0; i < objects; i += step)); do list="${list:+$list,}$(address_of "$i")"; done
  agent_start "$list" '.1.3.6.1.4.1.232.11.2.2.4.0 integer 2' \
    '.1.3.6.1.4.1.232.1.1.1.0 octet_str "workstation"'
}

# measure TITLE REPO: runs plndetect once and prints its figures.
measure() {
  local title=$1 repo=$2 start end moved
  start=$(date +%s.%N)
  plndetect "$repo" admin B public N >"$TEST_ROOT/$repo.out"
  end=$(date +%s.%N)
  moved=$(grep -c '^Reclassify ' "$TEST_ROOT/$repo.out" || true)
  awk -v t="$title" -v n="$objects" -v m="$moved" -v s="$start" -v e="$end" 'BEGIN {
    w = e - s
    printf "%-34s %5d objects, %5d reclassified: %8.2f s, %8.1f objects/s\n", t, n, m, w, n / w
  }'
}

fresh_home 2>/dev/null
say "plndetect bench: populating two repositories of $objects objects..."
populate bench_all
populate bench_half

listen 1
measure "all answering" bench_all
agents_stop
listen 2
ORX_SNMP_TIMEOUT_MS=1000 ORX_SNMP_RETRIES=0 measure "half silent (1 s time-out, no retry)" bench_half
