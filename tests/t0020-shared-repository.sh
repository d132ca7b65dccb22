#!/usr/bin/env bash
# A repository on a PostgreSQL server, shared by two framework homes (two
# consoles): create and attach, the selection dialog, refusals that register
# nothing, a discovery and a migration at once, and the server lost in the
# middle of a migration. These cases always use a server repository; the
# throwaway cluster starts on first use, whatever TNG_TEST_BACKEND says.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
[ "$TNG_TEST_BACKEND" = pg ] || . "$TNG_SRC/tests/lib/pg.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

HOME_A="$TEST_ROOT/home-a"
HOME_B="$TEST_ROOT/home-b"

# in_home A|B CMD...: runs CMD with that console's home.
in_home() {
  local h=HOME_$1
  shift
  TNG_HOME=${!h} "$@"
}

# two_homes: both homes set up, "shared" made on the server from A and
# attached in B (user admin, blank password), the Orvex and Pellion classes
# loaded.
two_homes() {
  rm -rf "$HOME_A" "$HOME_B" &&
  in_home A command wvrepo setup >/dev/null && in_home B command wvrepo setup >/dev/null &&
  server=$(pg_conninfo) &&
  in_home A command wvrepo create shared --server "$server" >/dev/null &&
  in_home B command wvrepo attach shared --server "$server" >/dev/null &&
  printf "\n" | in_home A command wvrepo user add shared admin >/dev/null &&
  in_home B command wvrepo import shared "$TNG_BIN/ORXAddClass.TNG" >/dev/null &&
  in_home A command wvrepo import shared "$TNG_BIN/PLNAddClass.TNG" >/dev/null
}

# snapshot REPO: every object as "uuid properties-without-class" lines,
# sorted; and classes: "uuid class" lines.
snapshot() {
  command wvrepo object list "$1" --json | python3 -c '
import sys, json
for line in sys.stdin:
    o = json.loads(line); o.pop("class_name")
    print(o["uuid"], json.dumps(o, sort_keys=True))' | sort
}
classes_by_name() {
  command wvrepo object list "$1" --json | python3 -c '
import sys, json
for line in sys.stdin:
    o = json.loads(line); print(o["name"], o["class_name"])' | sort
}

test_expect_success 'a second console attaches; both see one repository and its changes at once' '
  two_homes &&
  grep -v "^#" "$HOME_B/repositories/shared.pg" >record &&
  echo "conninfo=$server" | expect_file record &&
  run in_home A command wvrepo object add shared Host name=seen-by-b &&
  in_home B objects shared >got && echo "Host seen-by-b" | expect_file got &&
  run in_home B reclass /R=shared /U=admin /C=Host /O=seen-by-b /T=Linux && expect_rc 0 &&
  in_home A objects shared >got && echo "Linux seen-by-b" | expect_file got &&
  in_home A command wvrepo audit shared --json | grep -q "\"to\":\"Linux\"" &&
  run in_home B command wvrepo attach shared --server "$server" &&
  expect_rc 1 && grep -q "exists already" err &&
  run in_home B command wvrepo create shared2 --server "$server" && expect_rc 0 &&
  run in_home A command wvrepo create shared2 --server "$server" &&
  expect_rc 1 && grep -q "exists already" err &&
  test ! -e "$HOME_A/repositories/shared2.pg"
'

test_expect_success 'the selection dialog lists embedded and server repositories alike' '
  two_homes &&
  in_home A command wvrepo create local >/dev/null &&
  printf "%s\n" "1" | in_home A wvwalk "?" Host name 10 --quiet >out 2>err &&
  grep -q "^  1. local$" err && grep -q "^  2. shared$" err &&
  printf "%s\n" "2" | in_home A wvwalk "?" Host name 10 --quiet >out 2>err &&
  expect_stdout <<-\EOF
	dialog rc=0
	chosen shared
	query rc=0 count=0
	end rc=15 delivered=0
	EOF
'

# server_schemas: how many repositories the case's database holds.
server_schemas() {
  psql "$(pg_conninfo)" -tAc "SELECT count(*) FROM pg_namespace WHERE nspname LIKE 'tng%'"
}

# Each refusal: a message on stderr, non-zero exit, nothing registered,
# nothing made on the server, no secret repeated.
while IFS="|" read -r title conninfo message; do
  test_expect_success "create and attach refuse $title and register nothing" '
    fresh_home &&
    socket=$(pg_socket) && conninfo=${conninfo//@SOCKET@/$socket} &&
    for verb in create attach; do
      run command wvrepo $verb R --server "$conninfo" &&
      expect_rc 1 && expect_stdout_empty &&
      grep -q "$message" err && ! grep -q s3cret err &&
      test -z "$(ls -A "$TNG_HOME/repositories")" || exit 1
    done &&
    ! grep -r -q s3cret "$TNG_HOME" &&
    test "$(server_schemas)" = 0
  '
done <<-\EOF
an unreachable server|host=@SOCKET@/nowhere dbname=postgres|cannot connect to the repository server
a database that does not exist|host=@SOCKET@ dbname=no_such_database|cannot connect to the repository server
a connection string libpq cannot read|host=@SOCKET@ dbname|cannot be read
a password in the connection string|host=@SOCKET@ dbname=postgres password=s3cret|carries a password
an unreadable string with a quoted password|host=@SOCKET@ dbname=postgres password='s3cret|cannot be read
an unreadable URI with a password|postgresql://u:s3cret@[::1/postgres|cannot be read
EOF

test_expect_success 'create refuses a line break in the connection string or a dangling link in place, making nothing' '
  fresh_home &&
  run command wvrepo create R --server "$(pg_conninfo)
options=-cx" &&
  expect_rc 1 && grep -q "line break" err &&
  ln -s nowhere "$TNG_HOME/repositories/R.pg" &&
  run command wvrepo create R --server "$(pg_conninfo)" &&
  expect_rc 1 && grep -q "exists already" err &&
  test "$(server_schemas)" = 0
'

test_expect_success 'a registration is written owner-only and refused when edited to hold a password' '
  fresh_home && (umask 022 && command wvrepo create R --server "$(pg_conninfo)" >/dev/null) &&
  test "$(stat -c %a "$TNG_HOME/repositories/R.pg")" = 600 &&
  run command wvrepo object list R && expect_rc 0 &&
  echo "conninfo=$(pg_conninfo) password=s3cret" >"$TNG_HOME/repositories/R.pg" &&
  run command wvrepo object list R && expect_rc 1 &&
  grep -q "carries a password" err && ! grep -q s3cret err
'

# api_suite_on_server: the API's unit suite, every case on a server
# repository in the case's database; its output is shown when it fails.
api_suite_on_server() {
  if TNG_TEST_PG_CONNINFO=$(pg_conninfo) "$TNG_BIN/tng_wvapi_test" --gtest_filter="*/Server" \
    >gtest.out 2>&1 && ! grep -q SKIPPED gtest.out; then
    return 0
  fi
  cat gtest.out >&2
  return 1
}

test_expect_success 'the repository API suite passes on a server repository' '
  fresh_home && api_suite_on_server
'

# A repository R on the server with user admin (blank password) and one
# object, Host x.
locked_fixture() {
  fresh_home && command wvrepo create R --server "$(pg_conninfo)" >/dev/null &&
  printf "\n" | command wvrepo user add R admin >/dev/null &&
  command wvrepo object add R Host name=x >/dev/null
}

# held_lock SECONDS: another session holds every object of R locked for
# that long, in the background ($locker).
held_lock() {
  psql "$(pg_conninfo)" -qc "BEGIN; SELECT 1 FROM \"tng_R\".objects FOR UPDATE; SELECT pg_sleep($1); COMMIT;" \
    >/dev/null 2>&1 &
  locker=$!
  local tries=50
  until [ "$(psql "$(pg_conninfo)" -tAc "SELECT count(*) FROM pg_stat_activity WHERE query LIKE '%pg_sleep%' AND pid <> pg_backend_pid()")" = 1 ]; do
    tries=$((tries - 1)) && [ $tries -gt 0 ] && kill -0 $locker || return 1
    sleep 0.1
  done
}

test_expect_success 'a move waits for a locked row only as long as the lock wait allows, and changes nothing' '
  locked_fixture && held_lock 5 &&
  PGOPTIONS="-c lock_timeout=300ms" run reclass /R=R /U=admin /C=Host /O=x /T=Linux &&
  expect_rc 2 && grep -q "^reclass: .*lock timeout" err &&
  wait $locker &&
  objects R >got && echo "Host x" | expect_file got &&
  test -z "$(command wvrepo audit R --json)"
'

test_expect_success 'a move whose client is killed while it waits never happens' '
  locked_fixture && held_lock 3 &&
  { reclass /R=R /U=admin /C=Host /O=x /T=Linux >mover.out 2>&1 & } && mover=$! &&
  sleep 1 && { kill -KILL $mover || { cat mover.out >&2; false; }; } &&
  { wait $mover; true; } && wait $locker && sleep 0.5 &&
  objects R >got && echo "Host x" | expect_file got &&
  test -z "$(command wvrepo audit R --json)"
'

test_expect_success 'attach refuses a database without that repository' '
  fresh_home &&
  run command wvrepo attach R --server "$(pg_conninfo)" &&
  expect_rc 1 && grep -q "holds no repository .R." err &&
  test -z "$(ls -A "$TNG_HOME/repositories")"
'

# A library that is no libpq: every program that names a repository on a
# server says why it cannot reach it; the embedded ones still work.
test_expect_success 'without a usable libpq a server repository is refused with the reason' '
  fresh_home && command wvrepo create R --server "$(pg_conninfo)" >/dev/null &&
  command wvrepo create local >/dev/null &&
  mkdir lib && gcc -shared -o lib/libpq.so.5 -x c /dev/null &&
  run env LD_LIBRARY_PATH="$PWD/lib" wvrepo object list R && expect_rc 1 &&
  echo "wvrepo: the libpq loaded lacks PQclear, which a repository on a server needs" | expect_file err &&
  run env LD_LIBRARY_PATH="$PWD/lib" wvrepo object list local && expect_rc 0
'

# The two consoles at once: discovery in A moves the Orvex servers that
# answer, ClassLift in B moves every Pellion object; both walk and move in
# the one repository at the same time.
test_expect_success 'a discovery in one console and a migration in the other, at once' '
  two_homes &&
  address=$(agent_address 1) &&
  agent_start "$address" "$oid_server integer 1" "$oid_kind integer 1" \
    "$oid_product octet_str \"Server\"" &&
  for i in $(seq 1 25); do
    in_home A command wvrepo object add shared Windows2000_Server name=srv$i address=$address \
      status_no:int=$i >/dev/null &&
    in_home B command wvrepo object add shared Pellion_Linux name=pln$i label=l$i >/dev/null || exit 1
  done &&
  in_home A snapshot shared >before &&
  { in_home A quick orxdetect shared admin B public S >discovery.out 2>discovery.err & } &&
  discovery=$! &&
  { in_home B ClassLift shared admin B >migration.out 2>migration.err & } &&
  migration=$! &&
  test_expect_code 0 wait $discovery &&
  test_expect_code 1 wait $migration &&
  split_summary discovery.err && split_summary migration.err &&
  test ! -s discovery.err && test ! -s migration.err &&
  in_home B snapshot shared >after && cmp before after &&
  in_home A classes_by_name shared >classes &&
  test "$(grep -c " Orvex_Windows2000_Server$" classes)" = 25 &&
  test "$(grep -c " Orvex_Linux$" classes)" = 25 &&
  test "$(wc -l <classes)" = 50 &&
  in_home A command wvrepo audit shared --json | python3 -c "
import sys, json, collections
moves = collections.Counter(json.loads(l)[\"uuid\"] for l in sys.stdin)
assert len(moves) == 50 and set(moves.values()) == {1}, moves"
'

# reclass_stopping_at N: a reclass first on PATH that stops the server
# before the N-th run (that run and the later ones find no server).
reclass_stopping_at() {
  mkdir -p "$CASE_DIR/stopbin" &&
  cat >"$CASE_DIR/stopbin/reclass" <<-REC &&
	#!/bin/bash
	n=\$(( \$(cat "$CASE_DIR/runs" 2>/dev/null || echo 0) + 1 ))
	echo \$n >"$CASE_DIR/runs"
	if [ \$n -eq $1 ]; then
	  (cd / && runuser -u "$PG_USER" -- "$PG_BIN/pg_ctl" -D "$(pg_folder)/data" -m fast -w -s stop)
	fi
	exec "$TNG_BIN/reclass" "\$@"
	REC
  chmod +x "$CASE_DIR/stopbin/reclass"
}

test_expect_success 'the server lost in a migration: usual failures, nothing half-done, a rerun finishes' '
  fresh_home && command wvrepo create demo --server "$(pg_conninfo)" >/dev/null &&
  printf "\n" | command wvrepo user add demo admin >/dev/null &&
  load_classes demo PLNAddClass.TNG ORXAddClass.TNG &&
  for i in 1 2 3 4 5 6; do wvrepo object add demo Pellion_Linux name=p$i >/dev/null || exit 1; done &&
  wvrepo object add demo Pellion_Brevant name=b1 >/dev/null &&
  snapshot demo >before &&
  reclass_stopping_at 3 &&
  PATH="$CASE_DIR/stopbin:$PATH" run ClassLift demo admin B &&
  expect_rc 1 &&
  cp out stopped.out &&
  grep -q "^Get Repository Object Failed - rc = 1$" out &&
  ! grep -q "Class .* does not exist\|do not exist!" <(sed -n "/Pellion_Linux objects found/,\$p" out) &&
  grep -q "reclass: cannot connect to the repository server" err &&
  pg_start &&
  snapshot demo >after && cmp before after &&
  objects demo >got && expect_file got <<-\EOF &&
	Orvex_Linux p1
	Orvex_Linux p2
	Pellion_Brevant b1
	Pellion_Linux p3
	Pellion_Linux p4
	Pellion_Linux p5
	Pellion_Linux p6
	EOF
  test "$(wvrepo audit demo --json | wc -l)" = 2 &&
  run ClassLift demo admin B && expect_rc 1 &&
  objects demo >got && expect_file got <<-\EOF &&
	Orvex_Brevant b1
	Orvex_Linux p1
	Orvex_Linux p2
	Orvex_Linux p3
	Orvex_Linux p4
	Orvex_Linux p5
	Orvex_Linux p6
	EOF
  test "$(wvrepo audit demo --json | wc -l)" = 7
'

test_done
