#!/usr/bin/env bash
# orxdetect over long lists where silent devices are many and spread
# through the list: the window counts only the devices whose questions are
# fresh, so it grows past the silent ones (and past answered devices held
# behind a silent head) and the run still prints, logs, reclassifies and
# changes exactly what one device at a time does; with an open-file limit
# below the number of silent devices the run still completes, the same.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

# Addresses 10 to 249 of the block: a board at every third one (one agent
# for all of them), nothing at the others. The head (address 2) never
# answers; once armed it stops the boards' agent at its retry.
head=$(agent_address 2)
boards=""
for n in $(seq 10 3 249); do boards="${boards:+$boards,}$(agent_address "$n")"; done
agent_start "$boards" "$oid_server integer 1" "$oid_kind integer 3" ||
  { say "not ok - agents did not start"; exit 1; }
first_board=$(agent_address 10)
sink_dir="$TEST_ROOT/sink"
silent_head_start "$head" "$AGENTS_DIR/$first_board/pid" "$sink_dir" ||
  { say "not ok - the silent head did not start"; exit 1; }

# populate COUNT [head]: Host objects host-N at the addresses 10 to
# 10+COUNT-1, two silent ones after each board, after the silent head when
# asked for.
populate() {
  local count=$1 n
  {
    [ "${2:-}" != head ] || system_line Host host-000 "$head"
    for n in $(seq 10 $((10 + count - 1))); do
      system_line Host "$(printf 'host-%03d' "$n")" "$(agent_address "$n")"
    done
  } | load_systems
}

# discover NAME COUNT [head] [VAR=VALUE...]: orxdetect in lights-out-only
# mode on a fresh home holding COUNT systems, its records in $CASE_DIR/NAME.*
# (console, log, reclass words, repository, stderr).
discover() {
  local name=$1 count=$2 with_head=""
  shift 2
  if [ "${1:-}" = head ]; then with_head="head"; shift; fi
  export TNG_HOME="$CASE_DIR/home-$name"
  discovery_home && populate "$count" $with_head && record_reclass &&
  run env "$@" orxdetect demo admin B public R && expect_rc 0 &&
  name_uuids out && cp out "$CASE_DIR/$name.out" && cp err "$CASE_DIR/$name.err" &&
  cp "$(install_dir)/orxdetect.log" "$CASE_DIR/$name.log" &&
  reclass_runs >"$CASE_DIR/$name.reclass" &&
  systems >"$CASE_DIR/$name.repository"
}

# same NAME OTHER [PART...]: these records (default: all but stderr) agree.
same() {
  local a=$1 b=$2 part parts=(out log reclass repository)
  shift 2
  [ "$#" -eq 0 ] || parts=("$@")
  for part in "${parts[@]}"; do
    diff -u "$CASE_DIR/$a.$part" "$CASE_DIR/$b.$part" || return 1
  done
}

short=(ORX_SNMP_TIMEOUT_MS=150 ORX_SNMP_RETRIES=0)

test_expect_success 'a window of 4 grows past 40 silent devices and a silent head: as one at a time' '
  discover one 60 head "${short[@]}" ORX_SNMP_WINDOW=1 &&
  test "$(grep -c "^System host-... not reclassified" one.out)" = 41 &&
  test "$(grep -c "^Reclassify host-... as an Orvex_RemoteVistrel Device" one.out)" = 20 &&
  discover four 60 head "${short[@]}" ORX_SNMP_WINDOW=4 &&
  same one four out log reclass repository err &&
  : >"$sink_dir/armed" &&
  discover grown 60 head ORX_SNMP_TIMEOUT_MS=2000 ORX_SNMP_RETRIES=1 ORX_SNMP_WINDOW=4 &&
  echo 2 | diff - "$sink_dir/seen" &&
  same one grown out log reclass repository err
'

# The head stopped the boards agent: start it again for what follows.
agent_start "$boards" "$oid_server integer 1" "$oid_kind integer 3" ||
  { say "not ok - agents did not start"; exit 1; }

test_expect_success 'silent devices beyond the open-file limit: the window is lowered, nothing else changes' '
  discover open 240 "${short[@]}" &&
  test "$(grep -c "^System host-... not reclassified" open.out)" = 160 &&
  ( ulimit -n 70 && discover limited 240 "${short[@]}" ) &&
  same open limited &&
  echo "SNMP window of 1024 devices lowered to 192: the open-file limit is 70" |
    diff - limited.err
'

test_done
