#!/usr/bin/env bash
# The harness itself: a case whose body is not one &&-chain is reported as
# broken without running; a failing chain, a failing loop, a crash and an
# exit code other than the one pinned fail their case; a case whose
# prerequisite does not hold is skipped.
. "$(dirname "$0")/lib/test-lib.sh"

# A script of one case, its body from the environment.
cat >"$TEST_ROOT/one-case.sh" <<'SCRIPT'
. "$TNG_SRC/tests/lib/test-lib.sh"
test_lazy_prereq NEVER 'false' 'never holds'
test_lazy_prereq ALWAYS 'true'
if [ -n "$ONE_CASE_PREREQ" ]; then
  test_expect_success "$ONE_CASE_PREREQ" case "$ONE_CASE_BODY"
else
  test_expect_success case "$ONE_CASE_BODY"
fi
test_done
SCRIPT

# result | prerequisite | body (\n: a line break): the first line the
# script prints. Only a case that runs touches the marker file: a broken
# chain is found before any of its commands runs.
while IFS="|" read -r result prereq body; do
  test_expect_success "$result: ${prereq:+$prereq: }${body//\\n/ ⏎ }" '
    printf -v body "%b" "$body" &&
    { MARKER=$CASE_DIR/marker ONE_CASE_BODY=$body ONE_CASE_PREREQ=$prereq TMPDIR=$CASE_DIR \
        bash "$TEST_ROOT/one-case.sh" >out 2>err; echo $? >rc; } &&
    head -n 1 out >first &&
    case $result in
      ok | ran) echo "ok 1 - case" | expect_file first && expect_rc 0 ;;
      skip) echo "ok 1 # skip case (never holds)" | expect_file first && expect_rc 0 ;;
      broken) grep -q "^not ok 1 - case # broken" first && expect_rc 1 ;;
      failed) echo "not ok 1 - case" | expect_file first && expect_rc 1 ;;
    esac &&
    if [ "$result" = ran ]; then test -e marker; else test ! -e marker; fi
  '
done <<'CASES'
ok||true && true
ok||true &&\ntrue
broken||true\ntrue
broken||false\ntrue
ran||true &&\ntouch "$MARKER"
broken||true\ntouch "$MARKER"
broken||true\n(touch "$MARKER")
broken||true\nx=$(touch "$MARKER")
broken||true; true
broken||false || true
broken||true &
broken||cat <<-\\EOF\nno end line
broken||true &&
failed||true && false
failed||for i in 1 2; do false || return 1; done && true
ok||for i in 1 2; do true || return 1; done
failed||run sh -c "exit 3" && test_must_fail expect_rc 0
failed||run sh -c "exit 3" && expect_rc 2
ok||run sh -c "exit 3" && expect_rc 3
failed||run sh -c "kill -SEGV \\$\\$"
failed||test_must_fail sh -c "kill -KILL \\$\\$"
failed||test_must_fail true
ok||test_must_fail false
failed||test_must_fail --rc=2 sh -c "exit 3"
ok||test_must_fail --rc=3 sh -c "exit 3"
failed||test_expect_code 0 sh -c "exit 3"
ok||test_expect_code 3 sh -c "exit 3"
skip|NEVER|false
failed|ALWAYS|false
ok|ALWAYS|true
broken|UNKNOWN|true
CASES

test_done
