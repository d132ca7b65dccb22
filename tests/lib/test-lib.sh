# shellcheck shell=bash
# Shared by the black-box test scripts. Source it first:
#
#   . "$TNG_SRC/tests/lib/test-lib.sh"
#
# Each script is a list of cases:
#
#   test_expect_success 'title' '
#       fresh_home &&
#       run ClassLift demo admin B &&
#       expect_rc 1 &&
#       expect_stdout <<-\EOF
#       ...
#       EOF
#   '
#   test_done
#
# A case runs in a subshell inside its own empty folder ($CASE_DIR); it
# passes when its commands succeed. `run` keeps the whole standard output in
# $CASE_DIR/out, standard error in err and the exit code in rc.
#
# The commands of a case's body form one chain joined by && (a loop inside
# it ends each pass with `|| return 1`): a body where a command stands
# outside the chain is reported as broken and not run (test_chain_intact).
# A case may name a prerequisite first: `test_expect_success ROOT 'title'
# 'body'` is skipped unless the prerequisite holds (test_lazy_prereq).
set -u

: "${TNG_BIN:?TNG_BIN must name the bin folder of a build}"
: "${TNG_SRC:=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export TNG_BIN TNG_SRC

TEST_NAME=$(basename "$0" .sh)
# Named by the script's number only: the tools hold an install path of at
# most 79 characters, and the homes lie a few folders down.
TEST_ROOT=$(mktemp -d "${TMPDIR:-/tmp}/${TEST_NAME%%-*}.XXXXXX")
export TNG_HOME="$TEST_ROOT/home"
export HOME="$TEST_ROOT"
export PATH="$TNG_BIN:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
unset TNG_FAULTS TNG_REGISTRY WV_REPOSITORY BROWSER QMAddress KTPServer NSM_SERVER NSM_DIR \
      ORX_SNMP_TIMEOUT_MS ORX_SNMP_RETRIES ORX_SNMP_VERSION ORX_SNMP_WINDOW 2>/dev/null || true

tests_passed=0
tests_failed=0
case_number=0
# Functions a script registers here run at exit, before the folder goes.
cleanup_hooks=()

test_cleanup() {
  local hook
  for hook in "${cleanup_hooks[@]}"; do "$hook" || true; done
  if [ "$tests_failed" -eq 0 ] || [ -z "${TNG_KEEP:-}" ]; then rm -rf "$TEST_ROOT"; fi
}
trap test_cleanup EXIT
trap 'exit 130' INT TERM

say() { printf '%s\n' "$*"; }

test_expect_success() {
  # Its own names are long: a body sees them (dynamic scope) and must not
  # find its script's variables hidden behind them.
  local test_case_prereq="" test_case_title test_case_body test_case_log test_case_holds=0
  [ "$#" -ne 3 ] || { test_case_prereq=$1; shift; }
  test_case_title=${1:-} test_case_body=${2:-}
  case_number=$((case_number + 1))
  [ -z "$test_case_prereq" ] || test_have_prereq "$test_case_prereq" || test_case_holds=$?
  if [ "$#" -ne 2 ] || [ "$test_case_holds" -gt 1 ]; then
    tests_failed=$((tests_failed + 1))
    say "not ok $case_number - $test_case_title # broken: test_expect_success [PREREQ] TITLE BODY, with a known PREREQ"
    return
  fi
  if [ "$test_case_holds" -eq 1 ]; then
    tests_skipped=$((tests_skipped + 1))
    say "ok $case_number # skip $test_case_title (${test_prereq_why[$test_case_prereq]})"
    return
  fi
  export CASE_DIR="$TEST_ROOT/case-$case_number"
  test_case_log="$TEST_ROOT/case-$case_number.log"
  mkdir -p "$CASE_DIR"
  if ! test_chain_intact "$test_case_body" >"$test_case_log" 2>&1; then
    tests_failed=$((tests_failed + 1))
    say "not ok $case_number - $test_case_title # broken"
    sed 's/^/#   /' "$test_case_log"
    return
  fi
  # The body's status is that of its one chain: errexit would add nothing
  # (bash ignores it in a command whose status is tested). A function, so
  # that a loop in the body may `return 1`.
  if (cd "$CASE_DIR" && test_run_body "$test_case_body") >"$test_case_log" 2>&1; then
    tests_passed=$((tests_passed + 1))
    say "ok $case_number - $test_case_title"
  else
    tests_failed=$((tests_failed + 1))
    say "not ok $case_number - $test_case_title"
    sed 's/^/#   /' "$test_case_log"
  fi
}
test_run_body() { eval "$1"; }

# test_chain_intact BODY: the body is one chain of commands joined by &&, so
# that its status is the status of the first command that failed. It is
# evaluated behind a first command that fails (the sentinel): when the chain
# holds, nothing after the sentinel runs. A trap that runs before every
# command, in functions and subshells too, ends the check at the first
# command that would run after it, before that command runs, so a broken
# chain has no effect. A here-document without its end line swallows the
# rest of the body; bash's warning about it counts as broken too.
test_chain_sentinel='false test-chain-sentinel'
test_chain_intact() {
  local rc=0 warnings="$TEST_ROOT/chain-check.err"
  (
    set -T
    eval "trap '[ \"\$BASH_COMMAND\" = \"$test_chain_sentinel\" ] ||
      { printf \"runs after the chain: %s\\n\" \"\$BASH_COMMAND\" >&3; exit 118; }' DEBUG
$test_chain_sentinel && $1"
  ) 3>&1 2>"$warnings" || rc=$?
  if [ "$rc" = 1 ] && ! grep -q 'here-document' "$warnings"; then return 0; fi
  case $rc in
    1) say "a here-document runs to the end of the body (its end line is missing)" ;;
    118) ;;
    2) say "the body does not parse" ;;
    *) say "a command of the body is not joined to the chain by &&" ;;
  esac
  say "broken &&-chain: every command of a case's body must be joined by &&"
  cat "$warnings"
  return 1
}

# test_lazy_prereq NAME 'commands' [why]: the prerequisite NAME holds when
# the commands succeed (run once, in a subshell, on first use); "why" is
# what a skipped case says. test_have_prereq NAME: 0 when it holds, 1 when
# not, 2 when there is no such prerequisite (a case naming it fails).
declare -gA test_prereq_script test_prereq_state test_prereq_why
test_lazy_prereq() {
  test_prereq_script[$1]=$2
  test_prereq_why[$1]=${3:-needs $1}
}
test_have_prereq() {
  local name=$1
  [ -n "${test_prereq_script[$name]+set}" ] || return 2
  if [ -z "${test_prereq_state[$name]:-}" ]; then
    if (eval "${test_prereq_script[$name]}") >/dev/null 2>&1; then
      test_prereq_state[$name]=yes
    else
      test_prereq_state[$name]=no
    fi
  fi
  [ "${test_prereq_state[$name]}" = yes ]
}
test_lazy_prereq ROOT '[ "$(id -u)" = 0 ]' 'needs root'
test_lazy_prereq EMBEDDED '[ "$TNG_TEST_BACKEND" != pg ]' 'embedded repository only'

# sanitized_build: the programs under test come from the sanitizer build.
sanitized_build() { grep -q '^TNG_SANITIZE:BOOL=ON' "$TNG_BIN/../CMakeCache.txt" 2>/dev/null; }

# test_expect_embedded 'title' 'body': a case about the embedded repository
# file itself (its modes, its locks, the bytes it keeps as given); skipped
# when the tests' repositories live on a server.
test_expect_embedded() { test_expect_success EMBEDDED "$@"; }
tests_skipped=0

test_done() {
  if [ "$tests_skipped" -gt 0 ]; then
    say "$TEST_NAME: $tests_passed passed, $tests_failed failed, $tests_skipped skipped"
  else
    say "$TEST_NAME: $tests_passed passed, $tests_failed failed"
  fi
  [ "$tests_failed" -eq 0 ]
}

# The installed programs, a line each with their attributes (the build's
# programs.txt, from cmake/Install.cmake); those marked "summary" end a run
# with a summary line.
export TNG_PROGRAMS="${TNG_PROGRAMS:-$TNG_BIN/../programs.txt}"
[ -r "$TNG_PROGRAMS" ] || { echo "test-lib: $TNG_PROGRAMS is missing: configure the build" >&2; exit 1; }
summary_programs=$(awk '/ summary( |$)/ { printf "%s%s", sep, $1; sep = "|" }' "$TNG_PROGRAMS")

# split_summary FILE: the migrations and discoveries end their standard
# error with one summary line of the run; it is moved from FILE into
# FILE.summary, so that FILE holds what else the run said there.
split_summary() {
  local file=$1
  : >"$file.summary"
  if tail -n 1 "$file" | grep -qE "^($summary_programs): [0-9]+ objects? moved, "; then
    tail -n 1 "$file" >"$file.summary"
    sed -i '$d' "$file"
  fi
}

# run CMD ARGS...: runs a program; keeps out, err and rc in the case folder
# (err without the run's summary line: that is in err.summary). Never fails
# by itself; a crash (killed by a signal, sanitizer report) is reported so
# that it cannot pass for a refusal.
run() {
  local rc=0
  "$@" >"$CASE_DIR/out" 2>"$CASE_DIR/err" </dev/null || rc=$?
  echo "$rc" >"$CASE_DIR/rc"
  check_no_crash && split_summary "$CASE_DIR/err"
}

# run_with_input TEXT CMD ARGS...: as run, with TEXT on standard input
# through a pipe; backslash escapes in TEXT (\n, \b, \r) are expanded.
run_with_input() {
  local input=$1 rc=0
  shift
  printf '%b' "$input" | "$@" >"$CASE_DIR/out" 2>"$CASE_DIR/err" || rc=$?
  echo "$rc" >"$CASE_DIR/rc"
  check_no_crash && split_summary "$CASE_DIR/err"
}

# crashed RC: the exit code of a program that did not end by itself (killed
# by a signal: 128 + its number) or never ran (126: not executable, 127: not
# found). 125 is a program's own: a fault list it refuses.
crashed() { [ "$1" -ge 126 ]; }

check_no_crash() {
  local rc
  rc=$(cat "$CASE_DIR/rc")
  if crashed "$rc" || grep -q -E 'runtime error:|AddressSanitizer|LeakSanitizer' "$CASE_DIR/err"; then
    say "crash: exit code $rc" >&2
    cat "$CASE_DIR/err" >&2
    return 1
  fi
}

# test_must_fail [--rc=N] CMD...: CMD must fail, and not by a crash; with
# --rc=N, with exactly that exit code. Give --rc wherever the program
# defines the code of this failure. Only for programs and commands: the
# checks of this library fail by themselves (a run's exit code is pinned
# with expect_rc).
test_must_fail() {
  local want="" rc=0
  case ${1:-} in
    --rc=*) want=${1#--rc=}; shift ;;
  esac
  case ${1:-} in
    expect_* | test_* | run | run_with_input | "")
      say "test_must_fail: \"${1:-}\" is no program; give the exit code to expect_rc instead" >&2
      return 1 ;;
  esac
  "$@" || rc=$?
  if [ "$rc" -eq 0 ]; then say "expected failure: $*" >&2; return 1; fi
  if crashed "$rc"; then say "crashed ($rc): $*" >&2; return 1; fi
  if [ -n "$want" ] && [ "$rc" != "$want" ]; then
    say "exit code: want $want, got $rc: $*" >&2
    return 1
  fi
}

# test_expect_code N CMD...: CMD ends with exit code N (for a command run
# outside `run`, such as `wait` for a run in the background).
test_expect_code() {
  local want=$1 rc=0
  shift
  "$@" || rc=$?
  [ "$rc" = "$want" ] || { say "exit code: want $want, got $rc: $*" >&2; return 1; }
}

# expect_rc N: the last run ended with exit code N.
expect_rc() {
  local want=$1 got
  case $want in
    '' | *[!0-9]*) say "expect_rc: \"$want\" is not an exit code" >&2; return 1 ;;
  esac
  got=$(cat "$CASE_DIR/rc")
  [ "$got" = "$want" ] || { say "exit code: want $want, got $got" >&2; cat "$CASE_DIR/err" >&2; return 1; }
}

# expect_file FILE < expected: FILE must hold exactly the expected bytes.
# Heredoc text ends with a line break, which is part of the comparison.
expect_file() {
  local file=$1
  cat >"$CASE_DIR/expect"
  if ! cmp -s "$CASE_DIR/expect" "$file"; then
    say "--- $file differs (expected vs actual):" >&2
    diff -u "$CASE_DIR/expect" "$file" >&2 || true
    return 1
  fi
}
expect_stdout() { expect_file "$CASE_DIR/out"; }

# expect_stdout_printf FORMAT ARGS...: standard output must equal the printf
# expansion exactly (for output without a final line break).
expect_stdout_printf() {
  # shellcheck disable=SC2059
  printf "$@" | expect_file "$CASE_DIR/out"
}

expect_stdout_empty() {
  [ ! -s "$CASE_DIR/out" ] || { say "stdout not empty:" >&2; cat "$CASE_DIR/out" >&2; return 1; }
}

# ---- the repository backend ----
#
# TNG_TEST_BACKEND chooses where the tests' repositories live: "sqlite"
# (the default, the embedded file) or "pg" (a server repository in a
# throwaway PostgreSQL cluster that the script starts on first use, see
# pg.sh). With "pg", `wvrepo create REPO` without --server, as the tests
# write it, creates the repository in a database of the case's own.
# "pool" is "pg" with the repositories reached through a connection pooler
# (pg_pooled in pg.sh).
TNG_TEST_BACKEND=${TNG_TEST_BACKEND:-sqlite}
case $TNG_TEST_BACKEND in
  sqlite) ;;
  pool | pg)
    [ "$TNG_TEST_BACKEND" = pg ] || { TNG_TEST_POOLED=1 TNG_TEST_BACKEND=pg; }
    . "$TNG_SRC/tests/lib/pg.sh"
    wvrepo() {
      if [ "$#" -eq 2 ] && [ "$1" = create ]; then
        local server
        server=$(pg_conninfo) || return 1
        [ -z "${TNG_TEST_POOLED:-}" ] || server=$(pg_pooled "$server") || return 1
        command wvrepo create "$2" --server "$server"
      else
        command wvrepo "$@"
      fi
    }
    ;;
  *) say "TNG_TEST_BACKEND must be sqlite, pg or pool, not '$TNG_TEST_BACKEND'" >&2; exit 2 ;;
esac

# repo_sql REPO SQL: runs SQL on the repository's own tables, whichever
# backend holds them.
repo_sql() {
  if [ -e "$TNG_HOME/repositories/$1.db" ]; then
    sqlite3 "$TNG_HOME/repositories/$1.db" "$2"
  else
    psql -X -q -A -t -v ON_ERROR_STOP=1 "$(sed -n 's/^conninfo=//p' "$TNG_HOME/repositories/$1.pg")" \
      -c "SET search_path = \"tng_$1\"" -c "$2"
  fi
}

# repo_bytes REPO: every byte the repository keeps (its files, or a dump of
# its schema on the server).
repo_bytes() {
  if [ -e "$TNG_HOME/repositories/$1.db" ]; then
    cat "$TNG_HOME/repositories/$1.db"*
  else
    pg_dump -n "\"tng_$1\"" "$(sed -n 's/^conninfo=//p' "$TNG_HOME/repositories/$1.pg")"
  fi
}

# fresh_home: an empty framework install with `wvrepo setup`, then every
# function of fresh_home_hooks (agents.sh adds one for its SNMPv3 switch).
fresh_home_hooks=()
fresh_home() {
  rm -rf "$TNG_HOME"
  wvrepo setup >/dev/null || return 1
  local hook
  for hook in "${fresh_home_hooks[@]}"; do "$hook" || return 1; done
}

# make_repo NAME [USER [PASSWORD]]: a new repository with one user (default
# admin with the blank password).
make_repo() {
  local name=$1 user=${2:-admin} password=${3:-}
  wvrepo create "$name" >/dev/null &&
  printf '%s\n' "$password" | wvrepo user add "$name" "$user" >/dev/null
}

# load_classes REPO FILE...: imports class definition files shipped in bin/.
load_classes() {
  local repo=$1 f
  shift
  for f in "$@"; do wvrepo import "$repo" "$TNG_BIN/$f" >/dev/null || return 1; done
}

# record_reclass: puts a reclass first on PATH that writes its argument words
# to $CASE_DIR/reclass.words (one word a line, "--" after each run) and then
# runs the real one.
record_reclass() {
  mkdir -p "$CASE_DIR/recbin" &&
  cat >"$CASE_DIR/recbin/reclass" <<REC &&
#!/bin/sh
for w in "\$@"; do printf '%s\n' "\$w"; done >>"$CASE_DIR/reclass.words"
echo -- >>"$CASE_DIR/reclass.words"
exec "$TNG_BIN/reclass" "\$@"
REC
  chmod +x "$CASE_DIR/recbin/reclass" &&
  : >"$CASE_DIR/reclass.words" &&
  export PATH="$CASE_DIR/recbin:$PATH"
}

# objects REPO [CLASS]: the repository's objects as "class name" lines, sorted.
objects() {
  wvrepo object list "$@" --json | jq -r '"\(.class_name) \(.name)"' | sort
}

# reclass_run N: the argument words of the N-th recorded reclass run.
reclass_run() {
  awk -v n="$1" 'BEGIN { run = 1 } /^--$/ { run++; next } run == n' "$CASE_DIR/reclass.words"
}

# home_like TEMPLATE CMD...: a framework home at $TNG_HOME like the home
# TEMPLATE that CMD made: a copy of it, its registry pointing into the copy.
# On a server repository the copy gets a database of its own, made from the
# template's (the server copies it; no tool may be connected to it then).
# Through the pooler, which keeps connections to the template's database
# open, CMD makes the home again instead.
home_like() {
  local template=$1 from to
  shift
  if [ -n "${TNG_TEST_POOLED:-}" ]; then "$@"; return; fi
  rm -rf "$TNG_HOME"
  cp -a "$template" "$TNG_HOME" || return 1
  home_renamed "$TNG_HOME" "$template" "$TNG_HOME"
  [ -s "$template/.pg-test-database" ] || return 0
  from=$(cat "$template/.pg-test-database")
  to=$(pg_copy_database "$from") || return 1
  echo "$to" >"$TNG_HOME/.pg-test-database"
  sed -i "s|dbname=$from\\b|dbname=$to|" "$TNG_HOME"/repositories/*.pg
}

# home_renamed HOME FROM TO: the home at HOME names its folder TO where it
# named FROM (only its registry names it).
home_renamed() { sed -i "s|$2|$3|g" "$1/registry.ini"; }

# made_once NAME CMD...: a home at $TNG_HOME like the one CMD makes: a copy
# (home_like) of the home CMD made at the script's first call for NAME.
made_once() {
  local name=$1 template="$TEST_ROOT/home-$1" made
  shift
  if [ ! -d "$template" ]; then
    # Made aside and moved in whole, as runs in the background may ask at once.
    made="$template.$BASHPID"
    TNG_HOME="$made" "$@" || return 1
    home_renamed "$made" "$made" "$template"
    mv -T "$made" "$template" 2>/dev/null || rm -rf "$made"
  fi
  home_like "$template" "$@"
}

# in_background NAME CMD...: runs CMD in the background, out of any case,
# so that runs that mostly wait (silent devices, one at a time) wait
# together. Its output goes to $TEST_ROOT/background/NAME.trace; a case
# takes its result with background_done. The script waits for its
# background runs before it ends (each is bounded by its time-outs).
in_background() {
  local name=$1
  shift
  mkdir -p "$TEST_ROOT/background"
  # A server repository's cluster starts here, once, not in each run.
  [ "$TNG_TEST_BACKEND" != pg ] || pg_folder >/dev/null
  ( "$@" >"$TEST_ROOT/background/$name.trace" 2>&1
    echo $? >"$TEST_ROOT/background/$name.rc.tmp"
    mv "$TEST_ROOT/background/$name.rc.tmp" "$TEST_ROOT/background/$name.rc" ) &
  background_pids+=($!)
}
background_pids=()
background_wait() {
  local pid
  for pid in "${background_pids[@]}"; do wait "$pid" 2>/dev/null; done
  return 0
}
cleanup_hooks+=(background_wait)

# background_done NAME: waits (within ten minutes) for the background run
# NAME; succeeds when it did, else shows its output.
background_done() {
  local rc_file="$TEST_ROOT/background/$1.rc" i
  for ((i = 0; i < 12000; i++)); do
    [ -f "$rc_file" ] && break
    sleep 0.05
  done
  if [ "$(cat "$rc_file" 2>/dev/null)" != 0 ]; then
    say "background run $1 failed:" >&2
    cat "$TEST_ROOT/background/$1.trace" >&2 2>/dev/null
    return 1
  fi
}
