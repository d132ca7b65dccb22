#!/usr/bin/env bash
# cawto: one event a line, as JSON, in logs/console.log of the NSM directory
# that holds the cawto that was started.
. "$(dirname "$0")/lib/test-lib.sh"

# nsm_with_cawto [link]: $CASE_DIR/nsm/bin/cawto, a copy of the platform's
# (or a symbolic link to it).
nsm_with_cawto() {
  mkdir -p "$CASE_DIR/nsm/bin" || return 1
  if [ "${1:-}" = link ]; then
    ln -s "$TNG_BIN/cawto" "$CASE_DIR/nsm/bin/cawto"
  else
    cp "$TNG_BIN/cawto" "$CASE_DIR/nsm/bin/cawto"
  fi
}

# console_json: the console's lines, each re-encoded with sorted keys and the
# time left out, to compare whole.
console_json() {
  python3 -c 'import json, sys
for line in open(sys.argv[1], encoding="utf-8"):
    e = json.loads(line)
    assert set(e) == {"time", "node", "category", "severity", "colour", "source", "keep", "message"}, e
    assert e["time"].endswith("Z") and len(e["time"]) == 20, e["time"]
    del e["time"]
    print(json.dumps(e, sort_keys=True, ensure_ascii=False))' "$CASE_DIR/nsm/logs/console.log"
}

test_expect_success 'every option, and the message words joined by one blank' '
  nsm_with_cawto &&
  run nsm/bin/cawto -n nsm1 -cat KORVA -sev E -c red -k -s KORVA "srv7 Orvex - label" "x, y" &&
  expect_rc 0 && expect_stdout_empty &&
  run nsm/bin/cawto -n nsm1 only words &&
  console_json >got && expect_file got <<-\EOF
	{"category": "KORVA", "colour": "red", "keep": true, "message": "srv7 Orvex - label x, y", "node": "nsm1", "severity": "E", "source": "KORVA"}
	{"category": null, "colour": null, "keep": false, "message": "only words", "node": "nsm1", "severity": null, "source": null}
	EOF
'

test_expect_success 'the NSM directory is the one named when started, link or not, from anywhere' '
  nsm_with_cawto link && mkdir elsewhere && cd elsewhere &&
  run ../nsm/bin/cawto -n n1 one && expect_rc 0 &&
  run "$CASE_DIR/nsm/bin/cawto" -n n2 two && expect_rc 0 &&
  cd .. && test "$(wc -l <nsm/logs/console.log)" -eq 2 && test ! -e elsewhere/logs
'

test_expect_success 'control characters, quotes and non-UTF-8 bytes stay valid JSON' '
  nsm_with_cawto &&
  run nsm/bin/cawto -n "a\"b\\c" "$(printf "tab\there\nnew\001 caf\303\251 \377")" &&
  expect_rc 0 && console_json >got &&
  printf "%s\n" "{\"category\": null, \"colour\": null, \"keep\": false, \"message\": \"tab\\there\\nnew\\u0001 café �\", \"node\": \"a\\\"b\\\\c\", \"severity\": null, \"source\": null}" >want &&
  cmp want got
'

test_expect_success 'words after the first non-option, or after --, are all message' '
  nsm_with_cawto &&
  run nsm/bin/cawto -n n1 hello -k -s x && expect_rc 0 &&
  run nsm/bin/cawto -n n1 -- -k && expect_rc 0 &&
  console_json >got && expect_file got <<-\EOF
	{"category": null, "colour": null, "keep": false, "message": "hello -k -s x", "node": "n1", "severity": null, "source": null}
	{"category": null, "colour": null, "keep": false, "message": "-k", "node": "n1", "severity": null, "source": null}
	EOF
'

# limited CMD...: runs CMD with a file-size limit of 1024 bytes, the way a
# full disk cuts a write short (SIGXFSZ ignored: the write fails instead).
limited() {
  bash -c 'trap "" XFSZ; ulimit -f 1; exec "$@"' limited "$@"
}

test_expect_success 'an event that does not fit leaves the console as it was; the next one has its own line' '
  nsm_with_cawto &&
  run nsm/bin/cawto -n n1 "$(printf "%0600d" 0)" && expect_rc 0 &&
  cp nsm/logs/console.log before &&
  run limited nsm/bin/cawto -n n1 "$(printf "%0300d" 1)" && expect_rc 1 &&
  grep -q "cannot write .*console.log: file too large; the event was not added" err &&
  cmp before nsm/logs/console.log &&
  run limited nsm/bin/cawto -n n1 short && expect_rc 0 &&
  console_json >got && test "$(wc -l <got)" -eq 2 && tail -n 1 got | grep -q "\"message\": \"short\""
'

# Bad command lines: a message on standard error, exit code 2, no event.
while IFS="|" read -r title arguments; do
  test_expect_success "bad usage: $title" '
    nsm_with_cawto &&
    run nsm/bin/cawto '"$arguments"' && expect_rc 2 && expect_stdout_empty &&
    grep -q "^usage: cawto" err && test ! -e nsm/logs/console.log
  '
done <<'CASES'
no arguments|
no node|-k hello
an option without its value|-n n1 -s
no message|-n n1 -cat KORVA -sev E
CASES

test_expect_success 'an unwritable console is reported' '
  nsm_with_cawto && mkdir -p nsm/logs/console.log &&
  run nsm/bin/cawto -n n1 hello && expect_rc 1 && grep -q "cannot open" err
'

test_expect_success 'TNG_FAULTS does not concern cawto' '
  nsm_with_cawto &&
  TNG_FAULTS=no_such_operation=1 run nsm/bin/cawto -n n1 hello && expect_rc 0 &&
  test "$(wc -l <nsm/logs/console.log)" -eq 1
'

test_done
