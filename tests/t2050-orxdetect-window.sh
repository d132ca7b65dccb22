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

agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3" &&
agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" \
  "$oid_lights_out ipaddress $board" &&
agent_start "$tarvik" "$oid_server integer 1" "$oid_product octet_str \"Tarvik Servers-9\"" &&
agent_start "$rack" "$oid_kind integer 4" &&
agent_start "$station" "$oid_workstation integer 1" ||
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

# Every kind of device in every class of the passes, silent ones between
# them, an address that is an integer, and a Unispace object for each
# server, so that the association links the board.
populate() {
  local class n=0
  for class in $all_pass_classes; do
    n=$((n + 1))
    [ -n "${no_silent:-}" ] || system "$class" "$class-silent" "$silent"
    system "$class" "$class-board" "$board"
    system "$class" "$class-server" "$server"
    system "$class" "$class-tarvik" "$tarvik"
    system "$class" "$class-rack" "$rack"
    system "$class" "$class-station" "$station"
    wvrepo object add demo "$class" "name=$class-number" "address:int=$n" >/dev/null
    wvrepo object add demo Unispace "name=$class-server-Unispace" >/dev/null
  done
}

# windowed K MODE: one run on a fresh copy of the scenario with a window of
# K; its console, log, reclass runs and repository go to $CASE_DIR/K.*, the
# uuids of the objects shown by their names.
windowed() {
  local k=$1 mode=$2
  export TNG_HOME="$CASE_DIR/home-$k"
  discovery_home && populate && record_reclass &&
  TNG_FAULTS=${faults:-} ORX_SNMP_WINDOW=$k quick run orxdetect demo admin B public "$mode" &&
  expect_rc 0 &&
  cp "$(install_dir)/orxdetect.log" "$CASE_DIR/$k.log" &&
  name_uuids out "$CASE_DIR/$k.log" &&
  cp out "$CASE_DIR/$k.out" && cp err "$CASE_DIR/$k.err" &&
  reclass_runs >"$CASE_DIR/$k.reclass" &&
  { systems; inclusions; } >"$CASE_DIR/$k.repository"
}

# same_as_one_at_a_time K [PART...]: these records (default: all) of the
# run with window K equal those of the run with window 1.
same_as_one_at_a_time() {
  local k=$1 part
  shift
  for part in "${@:-out log reclass repository err}"; do
    for part in $part; do diff -u "$CASE_DIR/1.$part" "$CASE_DIR/$k.$part" || return 1; done
  done
}

test_expect_success 'all-systems mode: 64 or all devices at once give what one at a time gives' '
  windowed 1 S && windowed 64 S && windowed 1000 S &&
  same_as_one_at_a_time 64 && same_as_one_at_a_time 1000 &&
  grep -q "^Reclassify Linux-rack as an Orvex_RackEnclosure Device" 1.out &&
  grep -q "^Remote Vistrel Orvex_Windows2000_Server: Windows2000_Server-server-Unispace" 1.out &&
  grep -q "new inclusion object created successfully" 1.out
'

test_expect_success 'lights-out-only mode: 64 devices at once give what one at a time gives' '
  windowed 1 R && windowed 64 R &&
  same_as_one_at_a_time 64 &&
  grep -q "^Reclassify Host-board as an Orvex_RemoteVistrel Device" 1.out
'

# Faults counted by call number hit the same object and the same pass
# whether the tool reads ahead or not.
test_expect_success 'repository faults by call number hit the same place with 64 at once' '
  export no_silent=1 &&
  while IFS="|" read -r faults message; do
    export faults &&
    windowed 1 S && windowed 64 S &&
    grep -q "^$message" 1.out &&
    same_as_one_at_a_time 64 || { say "with TNG_FAULTS=$faults" >&2; exit 1; }
  done <<-\EOF
	TNGWV_Object_GetNext@9=3|Object GetNext Failed - rc = 3
	ObjectPropertyGet/address@20=5|TNGWV returned unsuccessful: 5
	ObjectPropertyGet/name@12=5|Device address to use for SNMP query
	GetRepositoryObject@22=6|Get Repository Object Failed - rc = 6
	TNGWV_ObjectCriteria_Allocate@4=7|Allocating Repository Object Criteria Failed
	EOF
'

test_expect_success 'a window that is not a number is refused on stderr: one device at a time' '
  windowed 1 R && windowed many R &&
  same_as_one_at_a_time many out log reclass repository &&
  echo "ORX_SNMP_WINDOW must be a whole number from 1 to 65536, not '\''many'\'': one device at a time is asked" |
    diff - "$CASE_DIR/many.err"
'

test_expect_success 'an open-file limit too low for the window lowers it, with one line on stderr' '
  export no_silent=1 &&
  windowed 1 R &&
  ( ulimit -n 80 && windowed 4000 R ) &&
  same_as_one_at_a_time 4000 out log reclass repository &&
  echo "SNMP window of 4000 devices lowered to 512: the open-file limit is 80" |
    diff - "$CASE_DIR/4000.err"
'

test_expect_success 'reclass starts without the sockets of the questions under way' '
  export no_silent=1 TNG_HOME="$CASE_DIR/home" &&
  discovery_home && populate &&
  mkdir -p bin && cat >bin/reclass <<-EOF &&
	#!/bin/sh
	ls -l /proc/\$\$/fd | grep -c "socket:" >>"$CASE_DIR/sockets"
	exec "$TNG_BIN/reclass" "\$@"
	EOF
  chmod +x bin/reclass &&
  PATH="$CASE_DIR/bin:$PATH" ORX_SNMP_WINDOW=64 quick run orxdetect demo admin B public S &&
  test "$(sort -u sockets)" = 0 &&
  test "$(wc -l <sockets)" -gt 10
'

# longest: the Host pass with the silent head and the forty boards, then
# nothing else of the passes (lights-out-only mode, no servers).
long_populate() {
  system Host host-00 "$head"
  local n
  for n in $(seq 10 49); do system Host "host-$n" "$(agent_address "$n")"; done
}

test_expect_success 'a silent head does not hold back the forty devices behind it' '
  export TNG_HOME="$CASE_DIR/home-1" &&
  discovery_home && long_populate &&
  ORX_SNMP_TIMEOUT_MS=2000 ORX_SNMP_RETRIES=1 ORX_SNMP_WINDOW=1 run orxdetect demo admin B public R &&
  name_uuids out && cp out expected &&
  export TNG_HOME="$CASE_DIR/home-64" &&
  discovery_home && long_populate &&
  : >"$sink_dir/armed" &&
  ORX_SNMP_TIMEOUT_MS=2000 ORX_SNMP_RETRIES=1 ORX_SNMP_WINDOW=64 run orxdetect demo admin B public R &&
  name_uuids out &&
  diff -u expected out &&
  test "$(grep -c "^Reclassify host-.. as an Orvex_RemoteVistrel Device" out)" = 40 &&
  grep -q "^System host-00 not reclassified" out &&
  echo 2 | diff - "$sink_dir/seen"
'

test_done
