#!/usr/bin/env bash
# orxforward: one management-server event, read from the environment, onto
# the NSM event console through the NSM directory's bin/cawto. A recording
# cawto shows the words it receives.
. "$(dirname "$0")/lib/test-lib.sh"
. "$(dirname "$0")/lib/recorders.sh"

# an_event: the management server's variables of one event, and the NSM.
an_event() {
  recording_nsm &&
  export NOTICELABEL="Fan failure" NOTICESTATE=New NOTICEPLAINTEXT="a|b|c|d|e|f|g|h|x|y|" \
    NOTICERAWDATA=raw NOTICESEVERITYSTR=Critical NOTICESEVERITY=4 DEVICENAME=srv7 \
    DEVICEIPADDRESS0=10.1.2.7 SPECIFICTRAPID=6001 ZQ_TASKID=42 \
    NSM_SERVER=nsm1 NSM_DIR="$CASE_DIR/nsm"
}

# stdout_line CAPTION: the value printed after CAPTION.
stdout_line() { grep "^$1" "$CASE_DIR/out" | sed "s/^$1//"; }

test_expect_success 'full form: the dump, the command and the words cawto receives' '
  an_event &&
  run orxforward /f && expect_rc 1 &&
  expect_stdout <<-EOF &&
	Notice Label          : Fan failure
	Notice State          : New
	Notice Plain Text     : a|b|c|d|e|f|g|h|x|y|
	Notice Raw Data       : raw
	Notice Severity String: Critical
	Notice Severity       : 4
	Device Name           : srv7
	Device IP Address     : 10.1.2.7
	Specific Trap ID      : 6001
	ZQ Task ID            : 42
	Variable 1            : |x|y|
	Variable 2            : x, y,${NOTHING-} 
	Final Variable String : x, y
	Command: $CASE_DIR/nsm/bin/cawto

	Parameters: -n nsm1 -cat KORVA -sev E -c red -k -s KORVA "srv7 Orvex - Fan failure x, y"

	Command execution called...


	EOF
  received -n nsm1 -cat KORVA -sev E -c red -k -s KORVA "srv7 Orvex - Fan failure x, y"
'

test_expect_success 'short form when there is no argument' '
  an_event &&
  run orxforward && expect_rc 1 &&
  test "$(stdout_line "Parameters: ")" = "-n nsm1 \"srv7 Orvex - Fan failure x, y\"" &&
  received -n nsm1 "srv7 Orvex - Fan failure x, y"
'

test_expect_success 'only exactly /f selects the full form' '
  an_event &&
  run orxforward /F && expect_rc 1 && received -n nsm1 "srv7 Orvex - Fan failure x, y"
'

# NOTICESEVERITYSTR ("-" for unset) | letter | colour
while IFS="|" read -r word letter colour; do
  test_expect_success "severity ${word}: -sev $letter -c $colour" '
    an_event &&
    if [ "'"$word"'" = - ]; then unset NOTICESEVERITYSTR; else NOTICESEVERITYSTR="'"$word"'"; fi &&
    run orxforward /f && expect_rc 1 &&
    received -n nsm1 -cat KORVA -sev '"$letter"' -c '"$colour"' -k -s KORVA "srv7 Orvex - Fan failure x, y"
  '
done <<'CASES'
Major|W|orange
Minor|W|yellow
Normal|S|green
critical|I|blue
Warning|I|blue
Informational|I|blue
-|I|blue
CASES

# NOTICEPLAINTEXT ~ Variable 1 ~ Variable 2 ~ variable text
while IFS="~" read -r plain v1 v2 text; do
  test_expect_success "plain text stages of $plain" '
    an_event && NOTICEPLAINTEXT='"$plain"' &&
    run orxforward && expect_rc 1 &&
    test "$(stdout_line "Variable 1            : ")" = '"$v1"' &&
    test "$(stdout_line "Variable 2            : ")" = '"$v2"' &&
    test "$(stdout_line "Final Variable String : ")" = '"$text"' &&
    received -n nsm1 "srv7 Orvex - Fan failure "'"$text"'
  '
done <<'CASES'
"a|b|c|d|e|f|g"~""~""~""
"a|b|c|d|e|f|g|h|\"x 1\"|\"y\"|"~"|\"x 1\"|\"y\"|"~"x 1, y, "~"x 1, y"
"a|b|c|d|e|f|g|h|x|y"~"|x|y"~"x, y"~"x, y"
"a|b|c|d|e|f|g|h||"~"||"~", "~""
CASES

test_expect_success 'unset variables print as (null) and add nothing to the message' '
  recording_nsm &&
  NOTICEPLAINTEXT=p NSM_SERVER=nsm1 NSM_DIR="$CASE_DIR/nsm" run orxforward && expect_rc 1 &&
  expect_stdout <<-EOF &&
	Notice Label          : (null)
	Notice State          : (null)
	Notice Plain Text     : p
	Notice Raw Data       : (null)
	Notice Severity String: (null)
	Notice Severity       : (null)
	Device Name           : (null)
	Device IP Address     : (null)
	Specific Trap ID      : (null)
	ZQ Task ID            : (null)
	Variable 1            : 
	Variable 2            : 
	Final Variable String : 
	Command: $CASE_DIR/nsm/bin/cawto

	Parameters: -n nsm1 " Orvex -  "

	Command execution called...


	EOF
  received -n nsm1 " Orvex -  "
'

# What is missing | how the forwarder is started
while IFS="|" read -r title unset_vars command; do
  test_expect_success "usage lines: $title" '
    an_event && unset '"$unset_vars"' &&
    run '"$command"' && expect_rc 0 &&
    expect_stdout <<-\EOF &&
	The environment variables NSM_SERVER and NSM_DIR must be set,
	or the values must be specified on the command line.
	For example: orxforward.exe NSMServerName NSMDirectory

	Additionally, the Systems Vistrel Manager environment variables
	must be set in order for this program to execute.
	EOF
    not_started
  '
done <<'CASES'
no NSM server|NSM_SERVER|orxforward /f
no NSM directory|NSM_DIR|orxforward /f nsmA
no plain text|NOTICEPLAINTEXT|orxforward /f nsmA dirA
the two words of the example|NSM_SERVER NSM_DIR|orxforward NSMServerName NSMDirectory
CASES

test_expect_success 'server and directory from the command line; the environment wins' '
  an_event && unset NSM_SERVER NSM_DIR &&
  run orxforward x nsmA "$CASE_DIR/nsm" && expect_rc 1 &&
  received -n nsmA "srv7 Orvex - Fan failure x, y" &&
  rm cawto.words && mkdir -p other && export NSM_SERVER=nsm1 NSM_DIR="$CASE_DIR/nsm" &&
  run orxforward x nsmA "$CASE_DIR/other" && expect_rc 1 &&
  received -n nsm1 "srv7 Orvex - Fan failure x, y"
'

test_expect_success 'an NSM directory ending in a separator is passed on unchanged' '
  an_event && NSM_DIR="$CASE_DIR/nsm/" &&
  run orxforward && expect_rc 1 &&
  test "$(stdout_line "Command: ")" = "$CASE_DIR/nsm//bin/cawto" &&
  received -n nsm1 "srv7 Orvex - Fan failure x, y"
'

test_expect_success 'event data cannot pose as options: the message stays one word' '
  an_event &&
  DEVICENAME="evil\" -sev E -n other -k \"x" NOTICELABEL="-c red" &&
  run orxforward && expect_rc 1 &&
  test "$(stdout_line "Parameters: ")" = "-n nsm1 \"evil\" -sev E -n other -k \"x Orvex - -c red x, y\"" &&
  received -n nsm1 "evil\" -sev E -n other -k \"x Orvex - -c red x, y"
'

test_expect_success 'a missing cawto is not detected' '
  an_event && NSM_DIR="$CASE_DIR/nowhere" &&
  run orxforward /f && expect_rc 1 && test ! -s err &&
  tail -n 3 out >tail.out && expect_file tail.out <<-\EOF
	Command execution called...


	EOF
'

# Input that would not fit the forwarder's strings is refused: nothing on
# standard output, nothing started.
while IFS="~" read -r title setting message; do
  test_expect_success "refused: $title" '
    an_event && '"$setting"' &&
    run orxforward /f && expect_rc 0 && expect_stdout_empty &&
    grep -qF "'"$message"'" err && not_started
  '
done <<'CASES'
variable text over 511 characters~NOTICEPLAINTEXT="a|b|c|d|e|f|g|h|$(printf "%0511d" 0)"~of NOTICEPLAINTEXT would be longer than 511
separators widening it past 511~NOTICEPLAINTEXT="a|b|c|d|e|f|g|h$(printf "%0257d" 0 | tr 0 "|")"~with its separators would be longer than 511
command path over 511 characters~NSM_DIR="$CASE_DIR/$(printf "%0500d" 0)"~path would be longer than 511
parameters over 2047 characters~NOTICELABEL="$(printf "%02000d" 0)"~parameters would be longer than 2047
CASES

test_expect_success 'with the platform cawto the event reaches the NSM console' '
  an_event && cp "$TNG_BIN/cawto" nsm/bin/cawto &&
  DEVICENAME="srv\"7" NOTICESEVERITYSTR=Minor run orxforward /f && expect_rc 1 &&
  wait_for nsm/logs/console.log &&
  python3 - nsm/logs/console.log <<-\PY
	import json, sys
	lines = open(sys.argv[1]).read().splitlines()
	assert len(lines) == 1, lines
	e = json.loads(lines[0])
	want = {"node": "nsm1", "category": "KORVA", "severity": "W", "colour": "yellow",
	        "source": "KORVA", "keep": True, "message": "srv\"7 Orvex - Fan failure x, y"}
	for k, v in want.items():
	    assert e[k] == v, (k, e[k], v)
	PY
'

test_expect_success 'an output that nobody reads does not stop the event' '
  an_event && cp "$TNG_BIN/cawto" nsm/bin/cawto &&
  { sleep 0.3; orxforward /f 2>err; echo $? >forward.rc; } | true &&
  test "$(cat forward.rc)" = 1 && test ! -s err &&
  wait_for nsm/logs/console.log && grep -q "srv7 Orvex - Fan failure x, y" nsm/logs/console.log
'

test_done
