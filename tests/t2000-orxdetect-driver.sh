#!/usr/bin/env bash
# orxdetect's driver: usage, interactive answers, the install directory from
# the registry, the log file, kernel and connection failures, the class
# check, the test pauses and the refusal of a second run on one install.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

board=$(agent_address 1)
agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3" ||
  { say "not ok - agent did not start"; exit 1; }

usage() {
  printf '\nTo few arguments passed to ORXDETECT.EXE\n\n'
  printf 'Usage: ORXDETECT RepositoryName UserName Password CommunityString Server-RemoteVistrel\n\n'
  printf 'RepositoryName:  Name of the Unicenter TNG Repository\n'
  printf 'UserName:        User name for logging into the repository\n'
  printf 'Password:        Password for the specified user name\n'
  printf 'CommunityString: Community string to be used by SNMP during discovery\n'
  printf 'S or R:          Reclassify all systems(S) or only Remote Vistrel Objects(R)\n\n'
  printf 'Note: Enter B for the password if the password is blank.\n\n'
}

# The output of a run over one Host object that is a board, in lights-out-only
# mode, before the association.
host_board_pass() {
  cat <<-EOF

	There were 1 Host objects found:
	Device name to use for SNMP query: host-board
	Device address to use for SNMP query:$board:
	Reclassify host-board as an Orvex_RemoteVistrel Device

	EOF
}

# set_install_path PATH: the registry's InstallPath.
set_install_path() {
  printf '[SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion]\nInstallPath=%s\n' "$1" \
    >"$TNG_HOME/registry.ini"
}

test_expect_success 'fewer than five arguments print the usage text and end with 0' '
  discovery_home &&
  for args in "" "demo" "demo admin B public" "inst-prompt x"; do
    run orxdetect $args &&
    expect_rc 0 &&
    usage | expect_stdout || exit 1
  done &&
  test ! -e "$(install_dir)/orxdetect.log"
'

test_expect_success 'no readable InstallPath ends the run after the banner; standard error says why' '
  discovery_home &&
  for registry in missing-file missing-value too-long empty relative; do
    case $registry in
      missing-file) rm "$TNG_HOME/registry.ini"; why="registry key .* cannot be opened" ;;
      missing-value) printf "[SOFTWARE\\\\ComputerAssociates\\\\CA-Unicenter\\\\CurrentVersion]\n" >"$TNG_HOME/registry.ini"; why="InstallPath cannot be read" ;;
      too-long) set_install_path "/$(printf "%079d" 0)"; why="InstallPath is longer than 79 characters" ;;  # 81 bytes with the terminator
      empty) set_install_path ""; why="InstallPath \"\" is not an absolute path" ;;
      relative) mkdir -p rel && set_install_path rel; why="InstallPath \"rel\" is not an absolute path" ;;
    esac &&
    run orxdetect demo admin B public S &&
    expect_rc 0 &&
    banner | expect_stdout &&
    grep -q "$why" err &&
    test ! -e "$(install_dir)/orxdetect.log" && test ! -e rel/orxdetect.log || exit 1
  done
'

test_expect_success 'an InstallPath of exactly 80 bytes with its terminator is used' '
  discovery_home &&
  dir="$CASE_DIR/i" &&
  dir="$dir$(printf "%0$((79 - ${#dir}))d" 0)" &&
  mkdir "$dir" && test ${#dir} = 79 &&
  set_install_path "$dir" &&
  run orxdetect nosuch admin x public S &&
  expect_rc 0 &&
  test -f "$dir/orxdetect.log"
'

test_expect_success 'a log file that cannot be opened ends the run' '
  discovery_home &&
  mkdir "$(install_dir)/orxdetect.log" &&
  run orxdetect demo admin B public S &&
  expect_rc 0 &&
  { banner; opening; printf "Error: can'\''t open file.\n"; } | expect_stdout
'

test_expect_success 'a kernel that does not start ends the run without the closing message' '
  discovery_home &&
  TNG_FAULTS=TNGWV_Kernel_Start=5 run orxdetect demo admin B public S &&
  expect_rc 0 &&
  { banner; opening; printf "Kernel Start Failed\n"; } | expect_stdout &&
  expect_log </dev/null
'

test_expect_success 'a failed connection still closes with the closing message' '
  discovery_home &&
  run orxdetect nosuch admin B public S &&
  expect_rc 0 &&
  { banner; opening; printf "\nRepository Connect Failed\n"; closing; } | expect_stdout &&
  closing | expect_log &&
  run orxdetect nosuch admin secret public S &&
  { banner; opening; printf "Repository Connect Failed\n"; closing; } | expect_stdout
'

test_expect_success 'a missing Orvex class stops the run after the check' '
  discovery_home &&
  system Host host-board "$board" &&
  wvrepo class drop demo Orvex_TarvikServer >/dev/null &&
  run orxdetect demo admin B public S &&
  expect_rc 0 &&
  { run_head; cat <<-\EOF; } | expect_stdout &&
	Class Orvex_TarvikServer does not exist
	One or more Orvex classes are not loaded in the Unicenter repository
	Verify that the Orvex classes are loaded before running orxdetect.exe
	EOF
  { log_head; printf "Class Orvex_TarvikServer does not exist\n"; } | expect_log &&
  objects_of Host >hosts && echo host-board | expect_file hosts
'

test_expect_success 'no criteria set for the class check stops the run as a missing class' '
  discovery_home &&
  TNG_FAULTS=TNGWV_ObjectCriteria_Allocate@1=7 run orxdetect demo admin B public S &&
  expect_rc 0 &&
  { run_head; cat <<-\EOF; } | expect_stdout &&
	Allocating Repository Object Criteria Failed
	One or more Orvex classes are not loaded in the Unicenter repository
	Verify that the Orvex classes are loaded before running orxdetect.exe
	EOF
  log_head | expect_log
'

test_expect_success 'TEST as sixth argument pauses before every object; "test" does not' '
  discovery_home &&
  system Host host-board "$board" &&
  system Host host-two "$board" &&
  record_reclass &&
  printf "\n\n" >answers &&
  orxdetect demo admin B public R TEST <answers >out 2>err &&
  sed -n "1,/^Verifying/p" out >head &&
  { banner; opening; printf "\n"; cat <<-\EOF; } | expect_file head &&
	Test variable specified in command line input.
	Program execution will stop periodically so the user may
	verify program functionality and halt execution if necessary.

	Verifying that the Orvex classes exist
	EOF
  grep -c "^Press return to continue or CTRL-C to exit.$" out >pauses &&
  echo 2 | expect_file pauses &&
  grep -B1 "^Device name" out | grep -c "^Press return" >before && echo 2 | expect_file before &&
  ! grep -q Press "$(install_dir)/orxdetect.log" &&
  orxdetect demo admin B public R test </dev/null >out2 2>&1 &&
  ! grep -q -E "Press|Test variable" out2
'

test_expect_success 'interactive answers: prompts, the password asked again until both agree' '
  discovery_home &&
  system Host host-board "$board" &&
  record_reclass &&
  run_with_input "demo\nadmin\nsecret\nsecrex\nsecret\nsecret\npublic\nR\n" quick orxdetect inst-prompt &&
  expect_rc 0 &&
  sed -n "1,/^Opening/p" out >head &&
  cat >want <<-\EOF &&

	You will now be prompted for the Common Object Repository name,
	Username, Password, and Community String for the discovery
	process to utilize.


	Enter the name of the Repository to use:
	Enter the user name to log into the repository:
	Enter the password to log into the repository:
	Verify the password to log into the repository:
	Enter the password to log into the repository:
	Verify the password to log into the repository:

	Enter the SNMP community string to use for discovery:
	Enter S or R - reclassify all (S)ystems or (R)emote Vistrel Objects only:
	This utility connects to the local Unicenter TNG repository and
	checks all objects to see if they are Orvex objects.
	Orvex objects will be reclassified as Orvex devices.

	Opening discovery log file: orxdetect.log
	EOF
  expect_file head <want &&
  reclass_runs >runs &&
  echo "/R=demo /U=admin /W=secret /C=Host /O=host-board /T=Orvex_RemoteVistrel" | expect_file runs
'

test_expect_success 'a second run on the same install directory is refused and changes nothing' '
  discovery_home &&
  system Host host-board "$board" &&
  echo previous >"$(install_dir)/orxdetect.log" &&
  : >"$(install_dir)/qaros1.log" &&
  flock "$(install_dir)/orxdetect.lock" \
    sh -c "orxdetect demo admin B public S >out 2>err; echo \$? >rc" &&
  expect_rc 0 &&
  banner | expect_stdout &&
  grep -q "another orxdetect run is using" err &&
  echo previous | expect_log &&
  test -e "$(install_dir)/qaros1.log" &&
  objects_of Host >hosts && echo host-board | expect_file hosts &&
  quick run orxdetect demo admin B public R &&
  objects_of Orvex_RemoteVistrel >boards && echo host-board | expect_file boards
'

# wait_until FILE PATTERN: waits (up to 15 s) until FILE has a line matching PATTERN.
wait_until() {
  local i
  for ((i = 0; i < 300; i++)); do
    grep -q -- "$2" "$1" 2>/dev/null && return 0
    sleep 0.05
  done
  say "$1 never held $2" >&2
  return 1
}

test_expect_success 'a run stopped at a test pause keeps its log up to there, leaves no lock and hides its password' '
  discovery_home &&
  printf "s3cret\n" | wvrepo user add demo admin &&
  system Host host-board "$board" &&
  system Host host-two "$board" &&
  record_reclass &&
  mkfifo keys &&
  { orxdetect demo admin s3cret public R TEST <keys >out 2>err & } && pid=$! &&
  exec 3>keys &&
  wait_until out "^Press return" && echo >&3 &&
  wait_until reclass.words host-board &&
  for i in $(seq 300); do [ "$(grep -c "^Press return" out)" = 2 ] && break; sleep 0.05; done &&
  tr "\0" " " </proc/$pid/cmdline >cmdline && ! grep -q s3cret cmdline &&
  kill -TERM $pid && rc=0 && { wait $pid || rc=$?; } && exec 3>&- &&
  test "$rc" = 143 &&
  grep -q "^Reclassify host-board as an Orvex_RemoteVistrel Device$" "$(install_dir)/orxdetect.log" &&
  ls "$(install_dir)" >files && echo orxdetect.log | expect_file files
'

# While another writer holds the repository, the run waits at its first
# change, in the association, with its temporary files open.
test_expect_embedded 'a run stopped during the association removes its temporary files and only those' '
  discovery_home &&
  system Orvex_RemoteVistrel b1 10.0.0.5 &&
  wvrepo object add demo Unispace name=srv-Unispace >/dev/null &&
  { python3 -c "import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None); c.execute(\"BEGIN IMMEDIATE\")
open(\"locked\", \"w\").close(); time.sleep(20)" "$TNG_HOME/repositories/demo.db" & } &&
  holder=$! && cleanup() { kill $holder 2>/dev/null || true; } && trap cleanup EXIT &&
  for i in $(seq 300); do [ -e locked ] && break; sleep 0.05; done &&
  { orxdetect demo admin B public R </dev/null >out 2>err & } && pid=$! &&
  for i in $(seq 300); do [ -e "$(install_dir)/qaros2.log" ] && break; sleep 0.05; done &&
  sleep 0.3 && test -e "$(install_dir)/qaros1.log" && test -e "$(install_dir)/qaros2.log" &&
  kill -TERM $pid && rc=0 && { wait $pid || rc=$?; } && test "$rc" = 143 &&
  ls "$(install_dir)" >files && echo orxdetect.log | expect_file files &&
  grep -q "Performing association" "$(install_dir)/orxdetect.log"
'

test_expect_success 'temporary files of the same names that the run did not make stay' '
  discovery_home &&
  system Host host-board "$board" &&
  echo mine >"$(install_dir)/qaros1.log" && echo mine >"$(install_dir)/qaros2.log" &&
  quick run orxdetect demo admin B public S && expect_rc 0 &&
  test -e "$(install_dir)/qaros1.log" && test -e "$(install_dir)/qaros2.log"
'

test_done
