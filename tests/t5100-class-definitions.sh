#!/usr/bin/env bash
# orxschema and orxschemadrop: the selection dialog, the trix runs and their
# words, the messages around them, and the classes the repository holds
# afterwards.
. "${TNG_SRC:-$(dirname "$0")/..}/tests/lib/test-lib.sh"

# Every Orvex and Pellion class that a tool of the suite names.
ORVEX_CLASSES="Orvex_Brevant Orvex_DECSystem Orvex_Host Orvex_Linux Orvex_Novell Orvex_OS2
Orvex_RackEnclosure Orvex_RemoteVistrel Orvex_SANappliance Orvex_SCOUnix Orvex_TarvikServer
Orvex_UnixWare Orvex_VistrelManager Orvex_Windows2000 Orvex_Windows2000_Server Orvex_Windows95
Orvex_Windows9x Orvex_WindowsNT Orvex_WindowsNT_Server Orvex_WindowsXP Orvex_Windows_NetServer
Orvex_Workstation"
PELLION_CLASSES="Pellion_Brevant Pellion_DECSystem Pellion_Doralith Pellion_Host Pellion_Linux
Pellion_Novell Pellion_OS2 Pellion_RackEnclosure Pellion_RemoteVistrel Pellion_SCOUnix
Pellion_UnixWare Pellion_VistrelXE Pellion_Windows2000 Pellion_Windows2000_Server
Pellion_Windows95 Pellion_Windows9x Pellion_WindowsNT Pellion_WindowsNT_Server
Pellion_Workstation"

# The case folder as the tools' working directory: the class definition
# files beside them, and a trix there (found before the one on PATH) that
# writes its words to trix.words, "--" after each run, then runs the real one.
tool_folder() {
  local f
  for f in ORXAddClass.TNG ORXDeleteClass.TNG PLNDeleteClass.TNG; do
    ln -s "$TNG_BIN/$f" "$CASE_DIR/$f" || return 1
  done
  cat >"$CASE_DIR/trix" <<REC &&
#!/bin/sh
for w in "\$@"; do printf '%s\n' "\$w"; done >>"$CASE_DIR/trix.words"
echo -- >>"$CASE_DIR/trix.words"
exec "$TNG_BIN/trix" "\$@"
REC
  chmod +x "$CASE_DIR/trix" &&
  : >"$CASE_DIR/trix.words"
}

# suite_classes REPO: the repository's Orvex and Pellion classes, sorted;
# "(no class list)" when wvrepo cannot list them, so that a check for none
# cannot pass on a listing that failed.
suite_classes() {
  local list
  list=$(wvrepo class list "$1") || { echo "(no class list)"; return 1; }
  awk '$1 ~ /^(Orvex|Pellion)_/ { print $1 }' <<<"$list" | sort
}
# sorted_words WORDS: the blank-separated words, one a line, sorted.
sorted_words() {
  local word
  for word in $1; do echo "$word"; done | sort
}

ADD_INTRO='This utility connects to the local Unicenter repository and
loads the Orvex Vistrel Integration classes into the database.
'
DROP_INTRO='This utility connects to the local Unicenter repository and
removes the Orvex Vistrel Integration classes from the database.
'

test_expect_success 'orxschema loads every Orvex class through trix' '
  fresh_home && make_repo demo && tool_folder &&
  WV_REPOSITORY=demo run orxschema &&
  expect_rc 0 &&
  expect_stdout <<-\EOF &&
	This utility connects to the local Unicenter repository and
	loads the Orvex Vistrel Integration classes into the database.

	Successfully connected to repository demo
	Importing the Orvex Class definitions...

	Importing the Orvex classes into the Common Object Repository

	Orvex classes imported into the Common Object Repository
	The Orvex classes were created under TNGRoot-ManagedObject-Host-Orvex

	EOF
  expect_file trix.words <<-\EOF &&
	-Q
	-G
	-X
	/FILE=ORXAddClass.TNG
	/R=demo
	--
	EOF
  suite_classes demo | grep "^Orvex_" >classes &&
  sorted_words "$ORVEX_CLASSES" | expect_file classes
'

test_expect_success 'run from the build folder, the shipped trix and files load and remove the classes' '
  fresh_home && make_repo demo &&
  wvrepo class list demo | sort >before &&
  (cd "$TNG_BIN" && WV_REPOSITORY=demo run ./orxschema) &&
  expect_rc 0 &&
  sorted_words "$ORVEX_CLASSES" >want &&
  suite_classes demo | expect_file want &&
  (cd "$TNG_BIN" && WV_REPOSITORY=demo run ./orxschemadrop) &&
  expect_rc 0 && ! grep -q "^orxschemadrop:" err &&
  wvrepo class list demo | sort | expect_file before
'

test_expect_success 'the repository is chosen at the prompt through standard input' '
  fresh_home && make_repo alpha && make_repo beta && tool_folder &&
  run_with_input $'\''2\n'\'' orxschema &&
  expect_rc 0 &&
  grep -qx "Successfully connected to repository beta" out &&
  grep -qx "/R=beta" trix.words &&
  test -n "$(suite_classes beta)" &&
  test -z "$(suite_classes alpha)"
'

test_expect_success 'a cancelled selection prints only the introduction' '
  fresh_home && make_repo demo && tool_folder &&
  run_with_input $'\''\n'\'' orxschema &&
  expect_rc 0 &&
  printf "%s\n" "$ADD_INTRO" | expect_stdout &&
  expect_file trix.words </dev/null &&
  run orxschemadrop &&
  expect_rc 0 &&
  printf "%s\n" "$DROP_INTRO" | expect_stdout &&
  expect_file trix.words </dev/null
'

# fault | the message after the introduction
while IFS="|" read -r fault message; do
  test_expect_success "start-up failure $fault: \"$message\", no trix run" '
    fresh_home && make_repo demo && tool_folder &&
    for tool in orxschema orxschemadrop; do
      WV_REPOSITORY=demo TNG_FAULTS="$fault" run $tool &&
      expect_rc 0 &&
      intro=$ADD_INTRO && if [ $tool = orxschemadrop ]; then intro=$DROP_INTRO; fi &&
      printf "%s\n%s\n" "$intro" "$message" | expect_stdout || exit 1
    done &&
    expect_file trix.words </dev/null &&
    test -z "$(suite_classes demo)"
  '
done <<\CASES
TNGWV_Kernel_Start=3|Kernel Start Failed
TNGWV_RepositoryName_DisplaySelectDialog=7|Repository Selection Failed: 7
TNGWV_RepositoryName_DisplaySelectDialog=-1|Repository Selection Failed: -1
TNGWV_RepositoryName_GetFirst=9|Repository Name Get Failed: 9
CASES

test_expect_success 'a failed connect still imports and is reported last' '
  fresh_home && make_repo demo && tool_folder &&
  WV_REPOSITORY=demo TNG_FAULTS=TNGWV_Repository_Connect=12 run orxschema &&
  expect_rc 0 &&
  expect_stdout <<-\EOF &&
	This utility connects to the local Unicenter repository and
	loads the Orvex Vistrel Integration classes into the database.

	Importing the Orvex Class definitions...

	Importing the Orvex classes into the Common Object Repository

	Orvex classes imported into the Common Object Repository
	The Orvex classes were created under TNGRoot-ManagedObject-Host-Orvex

	Repository Connect Failed
	EOF
  sorted_words "$ORVEX_CLASSES" >want &&
  suite_classes demo | expect_file want
'

test_expect_success 'a repository that does not exist: trix runs, connect failure last' '
  fresh_home && tool_folder &&
  WV_REPOSITORY=nosuch run orxschemadrop &&
  expect_rc 0 &&
  expect_stdout <<-\EOF &&
	This utility connects to the local Unicenter repository and
	removes the Orvex Vistrel Integration classes from the database.

	Removing the Integration Class definitions...

	Removing the Pellion Class definitions
	Removing the Orvex Class definitions
	Classes removed from the Common Object Repository
	Repository Connect Failed
	EOF
  grep -c "^--$" trix.words >runs && echo 2 | expect_file runs
'

test_expect_success 'orxschemadrop removes the Pellion, then the Orvex classes' '
  fresh_home && make_repo demo && tool_folder &&
  wvrepo class list demo | awk "{print \$1}" | sort >before &&
  load_classes demo PLNAddClass.TNG ORXAddClass.TNG &&
  sorted_words "$ORVEX_CLASSES $PELLION_CLASSES" >all &&
  suite_classes demo | expect_file all &&
  WV_REPOSITORY=demo run orxschemadrop &&
  expect_rc 0 &&
  expect_stdout <<-\EOF &&
	This utility connects to the local Unicenter repository and
	removes the Orvex Vistrel Integration classes from the database.

	Successfully connected to repository demo
	Removing the Integration Class definitions...

	Removing the Pellion Class definitions
	Removing the Orvex Class definitions
	Classes removed from the Common Object Repository
	EOF
  expect_file trix.words <<-\EOF &&
	/TYPE=IMPORT
	/FILE=PLNDeleteClass.TNG
	/R=demo
	--
	/TYPE=IMPORT
	/FILE=ORXDeleteClass.TNG
	/R=demo
	--
	EOF
  wvrepo class list demo | awk "{print \$1}" | sort | expect_file before
'

test_expect_success 'a class still holding objects: trix refuses, stderr says so' '
  fresh_home && make_repo demo && tool_folder &&
  load_classes demo PLNAddClass.TNG ORXAddClass.TNG &&
  wvrepo object add demo Orvex_Linux name=web1 >/dev/null &&
  suite_classes demo >before &&
  WV_REPOSITORY=demo run orxschemadrop &&
  expect_rc 0 &&
  tail -n 3 out >closing &&
  expect_file closing <<-\EOF &&
	Removing the Pellion Class definitions
	Removing the Orvex Class definitions
	Classes removed from the Common Object Repository
	EOF
  grep -q "^orxschemadrop: trix ended with exit code 2$" err &&
  sorted_words "$ORVEX_CLASSES" >want &&
  suite_classes demo | expect_file want
'

test_expect_success 'orxschemadrop runs the second removal when the first fails' '
  fresh_home && make_repo demo &&
  cat >trix <<-EOF &&
	#!/bin/sh
	echo "\$*" >>"$CASE_DIR/trix.words"
	exit 3
	EOF
  chmod +x trix &&
  WV_REPOSITORY=demo run orxschemadrop &&
  expect_rc 0 &&
  grep -q "^Classes removed from the Common Object Repository$" out &&
  expect_file trix.words <<-\EOF
	/TYPE=IMPORT /FILE=PLNDeleteClass.TNG /R=demo
	/TYPE=IMPORT /FILE=ORXDeleteClass.TNG /R=demo
	EOF
'

test_expect_success 'without trix the messages are printed all the same, with a note on stderr' '
  fresh_home && make_repo demo &&
  WV_REPOSITORY=demo PATH=/usr/bin:/bin run "$TNG_BIN/orxschema" &&
  expect_rc 0 &&
  tail -n 3 out >closing &&
  expect_file closing <<-\EOF &&
	Orvex classes imported into the Common Object Repository
	The Orvex classes were created under TNGRoot-ManagedObject-Host-Orvex

	EOF
  grep -q "trix could not be started" err &&
  test -z "$(suite_classes demo)"
'

test_done
