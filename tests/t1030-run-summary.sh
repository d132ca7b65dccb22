#!/usr/bin/env bash
# The account of a long run on standard error: one summary line at the end
# of every run of the migrations and the discoveries (objects moved, reclass
# runs that failed and how, devices silent, wall time), and a progress line
# redrawn in place only when standard error is a terminal.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

server=$(agent_address 1)
silent=$(agent_address 2)  # no agent listens there
agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" ||
  { say "not ok - agent did not start"; exit 1; }

# A repository with both families of classes, a user admin (blank password)
# and the objects given as CLASS:NAME words.
repo_with() {
  fresh_home && make_repo demo && load_classes demo PLNAddClass.TNG ORXAddClass.TNG &&
  local word
  for word in "$@"; do
    wvrepo object add demo "${word%%:*}" "name=${word#*:}" >/dev/null || return 1
  done
}

# expect_summary TEXT: standard error ended with "TEXT, N.N s" and held no
# progress line (no carriage return, no terminal control).
expect_summary() {
  { sed -E 's/, [0-9]+\.[0-9] s$/, T s/' "$CASE_DIR/err.summary" >summary &&
    printf '%s, T s\n' "$1" | expect_file summary &&
    ! grep -q "$(printf '[\r\033]')" "$CASE_DIR/err" "$CASE_DIR/err.summary"; } ||
    { cat "$CASE_DIR/err" "$CASE_DIR/err.summary" >&2; return 1; }
}

test_expect_success 'migrations: objects moved, and the failed reclass runs by exit code' '
  while IFS="|" read -r tool objects drop summary; do
    repo_with $objects &&
    if [ -n "$drop" ]; then wvrepo class drop demo "$drop" >/dev/null; fi &&
    run $tool demo admin B && expect_rc 1 &&
    expect_summary "$summary" || { say "$tool" >&2; exit 1; }
  done <<-\EOF
	ClassLift|Pellion_Linux:l1 Pellion_Linux:l2 Pellion_Novell:n1|Orvex_Novell|ClassLift: 2 objects moved, 1 reclass run failed (1 with exit code 2)
	orxrevert|Orvex_Linux:l1|Linux|orxrevert: 0 objects moved, 1 reclass run failed (1 with exit code 2)
	plnrevert|Pellion_Linux:l1 Pellion_OS2:o1||plnrevert: 2 objects moved, 0 reclass runs failed
	ClassLift|||ClassLift: 0 objects moved, 0 reclass runs failed
	EOF
'

test_expect_success 'a reclass that cannot be started counts as not started' '
  repo_with Pellion_Linux:l1 &&
  mkdir empty &&
  run env PATH="$CASE_DIR/empty" "$TNG_BIN/ClassLift" demo admin B && expect_rc 1 &&
  expect_summary "ClassLift: 0 objects moved, 1 reclass run failed (1 not started)"
'

test_expect_success 'discoveries: the device that answered is moved, the silent one counted' '
  repo_with &&
  wvrepo object add demo Windows2000_Server name=up "address=$server" >/dev/null &&
  wvrepo object add demo Windows2000_Server name=down "address=$silent" >/dev/null &&
  quick run orxdetect demo admin B public S && expect_rc 0 &&
  expect_summary "orxdetect: 1 object moved, 0 reclass runs failed, 1 device silent" &&
  wvrepo object add demo Windows2000_Server name=up2 "address=$server" >/dev/null &&
  quick run plndetect demo admin B public N && expect_rc 0 &&
  expect_summary "plndetect: 1 object moved, 0 reclass runs failed, 1 device silent"
'

test_expect_success 'a run that ends at its usage text prints no summary' '
  fresh_home &&
  for cmd in "ClassLift" "orxrevert" "plnrevert x" "orxdetect a b" "plndetect a b c d"; do
    run $cmd && test ! -s err && test ! -s err.summary || { say "$cmd" >&2; cat err >&2; exit 1; }
  done
'

test_expect_success 'on a terminal the progress line is redrawn in place; standard output is the same' '
  repo_with Pellion_Linux:l1 Pellion_Linux:l2 &&
  run ClassLift demo admin B && cp out plain &&
  repo_with Pellion_Linux:l1 Pellion_Linux:l2 &&
  test_expect_code 1 script -qec "ClassLift demo admin B >tty-out" typescript >/dev/null &&
  cmp plain tty-out &&
  grep -qF "$(printf "\rClassLift: Pellion_Linux 0/2, 0 moved, 0 failed, 0 s\033[K")" typescript &&
  grep -qF "$(printf "\rClassLift: Pellion_Linux 1/2, 1 moved, 0 failed, 0 s\033[K")" typescript &&
  grep -qF "$(printf "\r\033[KClassLift: 2 objects moved, 0 reclass runs failed, ")" typescript
'

test_done
