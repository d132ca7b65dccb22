#!/usr/bin/env bash
# orxdetect asking many devices at once (ORX_SNMP_WINDOW): the same runs
# with one device at a time and with 64 give the same console, log, reclass
# words and repository, in both modes; a silent device at the head of a long
# list does not hold back the devices behind it.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

board=$(agent_address 1)    # a lights-out board
server=$(agent_address 2)   # a server whose board is $board
tarvik=$(agent_address 3)   # a Tarvik server without a board
rack=$(agent_address 4)     # no server identity, lights-out kind 4
station=$(agent_address 5)  # a workstation
silent=$(agent_address 6)   # nothing listens
head=$(agent_address 7)     # the silent head of the long list (see below)

{ agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3" &&
  agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" \
    "$oid_lights_out ipaddress $board" &&
  agent_start "$tarvik" "$oid_server integer 1" "$oid_product octet_str \"Tarvik Servers-9\"" &&
  agent_start "$rack" "$oid_kind integer 4" &&
  agent_start "$station" "$oid_workstation integer 1"; } ||
  { say "not ok - agents did not start"; exit 1; }

# Forty boards behind the silent head, on one agent of their own.
long_list=""
for n in $(seq 10 49); do long_list="${long_list:+$long_list,}$(agent_address "$n")"; done
agent_start "$long_list" "$oid_server integer 1" "$oid_kind integer 3" ||
  { say "not ok - agents did not start"; exit 1; }

# The head is a socket that never answers. Once armed, it stops the long
# list's agent when the head's question comes the second time (the retry
# after the first time-out): whatever the tool has not asked the forty
# boards by then goes unanswered.
sink_dir="$TEST_ROOT/sink"
silent_head_start "$head" "$AGENTS_DIR/$(agent_address 10)/pid" "$sink_dir" ||
  { say "not ok - the silent head did not start"; exit 1; }

# The SNMP settings every orxdetect run of this script gets, from
# TNG_TEST_SNMP_ENV ("NAME=VALUE ..."); unset: the tool's defaults.
read -r -a snmp_env <<<"${TNG_TEST_SNMP_ENV:-}"

# Every kind of device in every class of the passes, silent ones between
# them (unless no_silent), an address that is an integer, and a Unispace
# object for each server, so that the association links the board.
populate() {
  local class n=0
  for class in $all_pass_classes; do
    n=$((n + 1))
    [ -n "${no_silent:-}" ] || system_line "$class" "$class-silent" "$silent"
    system_line "$class" "$class-board" "$board"
    system_line "$class" "$class-server" "$server"
    system_line "$class" "$class-tarvik" "$tarvik"
    system_line "$class" "$class-rack" "$rack"
    system_line "$class" "$class-station" "$station"
    printf '%s\tname=%s\taddress:int=%d\n' "$class" "$class-number" "$n"
    printf 'Unispace\tname=%s\n' "$class-server-Unispace"
  done | load_systems
}

# make_scenario SCENARIO: a home with the scenario "full" or "no-silent".
make_scenario() {
  if [ "$1" = full ]; then discovery_home && populate; else no_silent=1 discovery_home && no_silent=1 populate; fi
}

# The two scenarios, made once: every run starts from a copy of one.
RUNS="$TEST_ROOT/runs"
mkdir -p "$RUNS"
for scenario in full no-silent; do
  TNG_HOME="$TEST_ROOT/scenario-$scenario" make_scenario "$scenario" ||
    { say "not ok - scenario $scenario not made"; exit 1; }
done

# scenario_home SCENARIO: $TNG_HOME holds the scenario.
scenario_home() { home_like "$TEST_ROOT/scenario-$1" make_scenario "$1"; }

# timeout_for SCENARIO: how long a run of the scenario waits for an answer
# (ms). Where a device is silent, briefly; where none is, long enough that a
# loaded machine never turns a late answer into a silent device, as that
# would tell one run from another.
timeout_for() { if [ "$1" = full ]; then echo 400; else echo 5000; fi; }

# windowed NAME K MODE [SCENARIO]: one run on a fresh copy of the scenario
# (default: full) with a window of K; its console, log, reclass runs and
# repository go to $RUNS/NAME.*, the uuids of the objects shown by their
# names. TNG_FAULTS is $faults when set. A subshell: the run's folder and
# home are its own.
windowed() (
  name=$1 k=$2 mode=$3 scenario=${4:-full}
  CASE_DIR="$RUNS/$name" TNG_HOME="$RUNS/$name/home" && export CASE_DIR TNG_HOME &&
  mkdir -p "$CASE_DIR" && cd "$CASE_DIR" &&
  scenario_home "$scenario" && record_reclass &&
  ORX_SNMP_TIMEOUT_MS=$(timeout_for "$scenario") ORX_SNMP_RETRIES=1 \
    run env "${snmp_env[@]}" TNG_FAULTS="${faults:-}" ORX_SNMP_WINDOW="$k" \
    orxdetect demo admin B public "$mode" &&
  expect_rc 0 &&
  cp "$(install_dir)/orxdetect.log" "$RUNS/$name.log" &&
  name_uuids out "$RUNS/$name.log" &&
  cp out "$RUNS/$name.out" && cp err "$RUNS/$name.err" &&
  reclass_runs >"$RUNS/$name.reclass" &&
  { systems; inclusions; } >"$RUNS/$name.repository"
)

# same_as BASE NAME [PART...]: these records (default: all) of run NAME
# equal those of run BASE.
same_as() {
  local base=$1 name=$2 part parts=(out log reclass repository err)
  shift 2
  [ "$#" -eq 0 ] || parts=("$@")
  for part in "${parts[@]}"; do
    diff -u "$RUNS/$base.$part" "$RUNS/$name.$part" || return 1
  done
}

# longest: the Host pass with the silent head and the forty boards, then
# nothing else of the passes (lights-out-only mode, no servers).
long_populate() {
  local n
  {
    system_line Host host-00 "$head"
    for n in $(seq 10 49); do system_line Host "host-$n" "$(agent_address "$n")"; done
  } | load_systems
}

# long_run NAME K: orxdetect over the long list with a window of K; its
# console goes to $RUNS/NAME.out. A subshell, as windowed.
long_run() (
  CASE_DIR="$RUNS/$1" TNG_HOME="$RUNS/$1/home" && export CASE_DIR TNG_HOME &&
  mkdir -p "$CASE_DIR" && cd "$CASE_DIR" &&
  discovery_home && long_populate &&
  ORX_SNMP_TIMEOUT_MS=2000 ORX_SNMP_RETRIES=1 \
    run env "${snmp_env[@]}" ORX_SNMP_WINDOW="$2" orxdetect demo admin B public R &&
  name_uuids out && cp out "$RUNS/$1.out"
)

# The runs one device at a time wait out each silent device alone: they
# all start now and wait together, while the cases go on.
in_background one-S windowed one-S 1 S
in_background one-R windowed one-R 1 R
in_background many-R windowed many-R many R
in_background long-one long_run long-one 1

test_expect_success 'all-systems mode: 64 or all devices at once give what one at a time gives' '
  windowed 64-S 64 S && windowed 1000-S 1000 S && background_done one-S &&
  same_as one-S 64-S && same_as one-S 1000-S &&
  cd "$RUNS" &&
  grep -q "^Reclassify Linux-rack as an Orvex_RackEnclosure Device" one-S.out &&
  grep -q "^Remote Vistrel Orvex_Windows2000_Server: Windows2000_Server-server-Unispace" one-S.out &&
  grep -q "new inclusion object created successfully" one-S.out
'

test_expect_success 'lights-out-only mode: 64 devices at once give what one at a time gives' '
  windowed 64-R 64 R && background_done one-R &&
  same_as one-R 64-R &&
  grep -q "^Reclassify Host-board as an Orvex_RemoteVistrel Device" "$RUNS/one-R.out"
'

# Faults counted by call number hit the same object and the same pass
# whether the tool reads ahead or not.
test_expect_success 'repository faults by call number hit the same place with 64 at once' '
  n=0 &&
  while IFS="|" read -r faults message; do
    n=$((n + 1)) && export faults &&
    windowed "fault$n-1" 1 S no-silent && windowed "fault$n-64" 64 S no-silent &&
    grep -q "^$message" "$RUNS/fault$n-1.out" &&
    same_as "fault$n-1" "fault$n-64" || { say "with TNG_FAULTS=$faults" >&2; exit 1; }
  done <<-\EOF
	TNGWV_Object_GetNext@9=3|Object GetNext Failed - rc = 3
	ObjectPropertyGet/address@20=5|TNGWV returned unsuccessful: 5
	ObjectPropertyGet/name@12=5|Device address to use for SNMP query
	GetRepositoryObject@22=6|Get Repository Object Failed - rc = 6
	TNGWV_ObjectCriteria_Allocate@4=7|Allocating Repository Object Criteria Failed
	EOF
'

test_expect_success 'a window that is not a number is refused on stderr: one device at a time' '
  background_done one-R && background_done many-R &&
  same_as one-R many-R out log reclass repository &&
  echo "ORX_SNMP_WINDOW must be a whole number from 1 to 65536, not '\''many'\'': one device at a time is asked" |
    diff - "$RUNS/many-R.err"
'

test_expect_success 'an open-file limit too low for the window lowers it, with one line on stderr' '
  windowed limit-1 1 R no-silent &&
  ( ulimit -n 80 && windowed limit-4000 4000 R no-silent ) &&
  same_as limit-1 limit-4000 out log reclass repository &&
  echo "SNMP window of 4000 devices lowered to 512: the open-file limit is 80" |
    diff - "$RUNS/limit-4000.err"
'

test_expect_success 'reclass starts without the sockets of the questions under way' '
  export TNG_HOME="$CASE_DIR/home" &&
  scenario_home no-silent &&
  mkdir -p bin && cat >bin/reclass <<-EOF &&
	#!/bin/sh
	ls -l /proc/\$\$/fd | grep -c "socket:" >>"$CASE_DIR/sockets"
	exec "$TNG_BIN/reclass" "\$@"
	EOF
  chmod +x bin/reclass &&
  PATH="$CASE_DIR/bin:$PATH" quick run env "${snmp_env[@]}" ORX_SNMP_WINDOW=64 \
    orxdetect demo admin B public S &&
  test "$(sort -u sockets)" = 0 &&
  test "$(wc -l <sockets)" -gt 10
'

test_expect_success 'a silent head does not hold back the forty devices behind it' '
  background_done long-one &&
  : >"$sink_dir/armed" &&
  long_run long-64 64 &&
  diff -u "$RUNS/long-one.out" "$RUNS/long-64.out" &&
  test "$(grep -c "^Reclassify host-.. as an Orvex_RemoteVistrel Device" "$RUNS/long-64.out")" = 40 &&
  grep -q "^System host-00 not reclassified" "$RUNS/long-64.out" &&
  echo 2 | diff - "$sink_dir/seen"
'

test_done
