#!/usr/bin/env bash
# plndetect probing many devices at once (ORX_SNMP_WINDOW): the same run
# with one device at a time and with 64 gives the same console, reclass
# words and repository; a silent device at the head of a long list does not
# hold back the devices behind it.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"

SERVER_OID=.1.3.6.1.4.1.232.11.2.2.4.0
WORKSTATION_OID=.1.3.6.1.4.1.232.1.1.1.0

server=$(agent_address 1)       # a server agent
workstation=$(agent_address 2)  # a workstation agent
bare=$(agent_address 3)         # an agent with nothing under the enterprise subtree
silent=$(agent_address 4)       # nobody listens
head=$(agent_address 5)         # the silent head of the long list (see below)
{ agent_start "$server" "$SERVER_OID integer 2" &&
  agent_start "$workstation" "$WORKSTATION_OID octet_str \"Pellion Workstation\"" &&
  agent_start "$bare"; } || { say "not ok - agents did not start"; exit 1; }

# Forty servers behind the silent head, on one agent of their own.
long_list=""
for n in $(seq 10 49); do long_list="${long_list:+$long_list,}$(agent_address "$n")"; done
agent_start "$long_list" "$SERVER_OID integer 2" || { say "not ok - agents did not start"; exit 1; }

# The head is a socket that never answers. Once armed, it stops the long
# list's agent when the head's GET comes the second time (the retry after
# the first time-out): whatever plndetect has not asked by then goes
# unanswered.
sink_dir="$TEST_ROOT/sink"
silent_head_start "$head" "$AGENTS_DIR/$(agent_address 10)/pid" "$sink_dir" ||
  { say "not ok - the silent head did not start"; exit 1; }

# Every pass of plndetect, in its order.
. "$TNG_SRC/tests/lib/passes.sh"
ALL_CLASSES=$(pass_classes plndetect-pass)

# add CLASS PROP=VALUE...: the object as a line of `wvrepo object load`.
add() { local IFS=$'\t'; printf '%s\n' "$*"; }

# A home with the repository demo and the Pellion classes; its objects
# follow from the lines of standard input (add).
pellion_home() {
  fresh_home && make_repo demo && load_classes demo PLNAddClass.TNG &&
  wvrepo object load demo - >/dev/null
}

# Every probe outcome in every class, a silent device first in each.
populate() {
  local class
  for class in $ALL_CLASSES; do
    add "$class" "name=$class-silent" "address=$silent"
    add "$class" "name=$class-server" "address=$server"
    add "$class" "name=$class-station" "address=$workstation"
    add "$class" "name=$class-bare" "address=$bare"
    add "$class" "name=$class-unresolved" "address=nosuch.invalid"
    add "$class" "name=$class-number" "address:int=7"
  done
}

# The SNMP settings every plndetect run of this script gets, from
# TNG_TEST_SNMP_ENV ("NAME=VALUE ..."); unset: the tool's defaults.
read -r -a snmp_env <<<"${TNG_TEST_SNMP_ENV:-}"
RUNS="$TEST_ROOT/runs"
mkdir -p "$RUNS"

# in_run NAME CMD...: CMD in a folder and framework home of the run's own.
in_run() {
  local name=$1
  shift
  ( export CASE_DIR="$RUNS/$name" TNG_HOME="$RUNS/$name/home"
    mkdir -p "$CASE_DIR" && cd "$CASE_DIR" && "$@" )
}

# windowed NAME K: one run on a fresh copy of the scenario with a window of
# K; its console, reclass words and repository go to $RUNS/NAME.*.
windowed() { in_run "$1" windowed_here "$@"; }
windowed_here() {
  local name=$1 k=$2
  made_once scenario scenario_home &&
  record_reclass &&
  ORX_SNMP_TIMEOUT_MS=300 ORX_SNMP_RETRIES=0 \
    run env "${snmp_env[@]}" ORX_SNMP_WINDOW="$k" plndetect demo admin B public Y &&
  expect_rc 0 &&
  cp out "$RUNS/$name.out" && cp err "$RUNS/$name.err" &&
  cp reclass.words "$RUNS/$name.reclass" &&
  objects demo >"$RUNS/$name.repository"
}

scenario_home() { populate | pellion_home; }

long_populate() {
  {
    add Windows2000_Server name=srv-00 "address=$head"
    for n in $(seq 10 49); do add Windows2000_Server "name=srv-$n" "address=$(agent_address "$n")"; done
  } | pellion_home
}

# long_run NAME K: plndetect over the long list with a window of K; its
# console goes to $RUNS/NAME.out.
long_run() { in_run "$1" long_run_here "$@"; }
long_run_here() {
  long_populate &&
  ORX_SNMP_TIMEOUT_MS=2000 ORX_SNMP_RETRIES=1 \
    run env "${snmp_env[@]}" ORX_SNMP_WINDOW="$2" plndetect demo admin B public N &&
  cp out "$RUNS/$1.out"
}

# The runs keep to themselves, one after the other: with no retries, an
# agent slowed by a run beside them would miss their short time-out.
test_expect_success '64 devices at once give what one at a time gives' '
  windowed one 1 && windowed 64 64 &&
  cd "$RUNS" &&
  for part in out err reclass repository; do diff -u one.$part 64.$part || exit 1; done &&
  grep -q "^Reclassify Linux-server as a Pellion Linux System" one.out &&
  grep -q "^Could not complete the SNMP request" one.out
'

test_expect_success 'a silent head does not hold back the forty devices behind it' '
  long_run long-one 1 &&
  : >"$sink_dir/armed" &&
  long_run long-64 64 &&
  diff -u "$RUNS/long-one.out" "$RUNS/long-64.out" &&
  test "$(grep -c "^Reclassify srv-.. as a Pellion Windows 2000 Server" "$RUNS/long-64.out")" = 40 &&
  echo 2 | diff - "$sink_dir/seen"
'

test_done
