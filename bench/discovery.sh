#!/usr/bin/env bash
# Measures orxdetect over many objects (default 1,000) against loopback
# agents, in all-systems mode, in two runs:
#   1. every object's agent answers, at the tool's own time-out;
#   2. half of them are silent (nothing listens at every second address),
#      with a 1-second time-out and no retries.
# Every tenth device is a lights-out board, the others are servers or
# workstations with an agent, so a run does the whole work: identification,
# the kind and product questions, one reclass run per device, the board
# list, the lights-out address of every server and the Unispace matching.
# Prints the wall time and the objects per second of each run.
#
#   bench/discovery.sh [BIN]        BIN: the build's bin folder (default build/bin)
#   OBJECTS=200 bench/discovery.sh  fewer objects (run 2 costs about 1 s per
#                                   silent object and pass that asks it)
#
# The objects are spread over the fifteen framework classes orxdetect walks,
# one device address each, from the bench's own block 127.252.0.0/16 upwards.
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

# orxdetect's passes in their order.
. "$TNG_SRC/tests/lib/passes.sh"
read -r -a classes <<<"$(pass_classes orxdetect-pass)"

address_of() { printf '127.%d.%d.%d' $((252 + $1 / 62500)) $(($1 / 250 % 250)) $(($1 % 250 + 1)); }
is_board() { [ $(($1 % 10)) = 0 ]; }

# populate REPO: a new repository with $objects objects over the classes, and
# a Unispace object for every server.
populate() {
  local repo=$1 i class
  make_repo "$repo"
  load_classes "$repo" ORXAddClass.TNG
  for ((i = 0; i < objects; i++)); do
    class=${classes[i % ${#classes[@]}]}
    wvrepo object add "$repo" "$class" name="dev$i" address="$(address_of "$i")" >/dev/null
    is_board "$i" || wvrepo object add "$repo" Unispace name="dev$i-Unispace" >/dev/null
  done
}

# listen STEP: agents on every STEP-th object's address: one for the boards,
# one for the others.
listen() {
  local step=$1 i boards="" others=""
  for ((i = 0; i < objects; i += step)); do
    if is_board "$i"; then boards="${boards:+$boards,}$(address_of "$i")"
    else others="${others:+$others,}$(address_of "$i")"; fi
  done
  agent_start "$boards" '.1.3.6.1.4.1.232.11.2.2.4.0 integer 1' \
    '.1.3.6.1.4.1.232.9.2.2.10.0 integer 3'
  agent_start "$others" '.1.3.6.1.4.1.232.11.2.2.4.0 integer 1' \
    '.1.3.6.1.4.1.232.1.1.1.0 integer 1' '.1.3.6.1.4.1.232.9.2.2.10.0 integer 1' \
    '.1.3.6.1.4.1.232.11.2.2.1.0 octet_str "Server"'
}

# measure TITLE REPO: runs orxdetect once and prints its figures.
measure() {
  local title=$1 repo=$2 start end moved
  start=$(date +%s.%N)
  orxdetect "$repo" admin B public S >"$TEST_ROOT/$repo.out"
  end=$(date +%s.%N)
  moved=$(grep -c '^Reclassify ' "$TEST_ROOT/$repo.out" || true)
  awk -v t="$title" -v n="$objects" -v m="$moved" -v s="$start" -v e="$end" 'BEGIN {
    w = e - s
    printf "%-38s %5d objects, %5d reclassified: %8.2f s, %8.1f objects/s\n", t, n, m, w, n / w
  }'
}

fresh_home 2>/dev/null
say "orxdetect bench: populating two repositories of $objects objects..."
populate bench_all
populate bench_half

listen 1
measure "all answering" bench_all
agents_stop
listen 2
ORX_SNMP_TIMEOUT_MS=1000 ORX_SNMP_RETRIES=0 measure "half silent (1 s time-out, no retry)" bench_half
