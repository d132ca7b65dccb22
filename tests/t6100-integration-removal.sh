#!/usr/bin/env bash
# plnpurge and orxpurge: the selection dialog, the listing, plnpurge's key
# presses and confirmation, each removal step with its messages and exit
# codes, and what the repository holds afterwards.
. "${TNG_SRC:-$(dirname "$0")/..}/tests/lib/test-lib.sh"

# The integration's objects, and one neighbour in each class that must stay.
seed_integration() {
  local repo=$1 o class name
  for o in "VistrelManager vm-a" "VistrelManager vm-b" "Popup_Menu TRMAgt" "Popup_Menu Other" \
           "Method TRM" "Method TRW" "Method TRMXE" "Method orvm7" "Method orvm72" "Method KeepMe"; do
    read -r class name <<<"$o"
    printf '%s\tname=%s\tlabel=%s label\n' "$class" "$name" "$name"
  done | wvrepo object load "$repo" - >/dev/null
}

# state REPO: the objects of the three classes, and whether the class
# VistrelManager is there.
state() {
  local c all
  all=$(wvrepo object list "$1" --json | jq -r '"\(.class_name) \(.name)"') || return 1
  for c in VistrelManager Popup_Menu Method; do grep "^$c " <<<"$all" | sort; done
  if wvrepo class list "$1" | awk '{print $1}' | grep -qx VistrelManager; then
    echo "class VistrelManager"
  fi
}

# What each removal target takes away, by its number.
TARGET=([1]='^VistrelManager ' [2]='^class VistrelManager$' [3]='^Popup_Menu TRMAgt$'
        [4]='^Method TRM$' [5]='^Method TRW$' [6]='^Method TRMXE$' [7]='^Method orvm7$'
        [8]='^Method orvm72$')

# expect_removed N...: the repository demo holds the fixture less targets N.
expect_removed() {
  local pattern='^$' t
  for t in "$@"; do pattern="$pattern|${TARGET[$t]}"; done
  grep -vE "$pattern" "$CASE_DIR/fixture" >"$CASE_DIR/want" || true
  state demo | expect_file "$CASE_DIR/want"
}

# fixture [drop|empty]: a home with the repository demo holding the
# integration (or without the class, or with the class but no objects); its
# state in $CASE_DIR/fixture.
fixture() {
  made_once "integration-${1:-whole}" integration_home "${1:-}" &&
  cp "$TNG_HOME/fixture.state" "$CASE_DIR/fixture"
}
integration_home() {
  fresh_home && make_repo demo && seed_integration demo &&
  case $1 in
    drop) wvrepo object del demo VistrelManager >/dev/null && wvrepo class drop demo VistrelManager >/dev/null ;;
    empty) wvrepo object del demo VistrelManager >/dev/null ;;
  esac &&
  state demo >"$TNG_HOME/fixture.state"
}

INTRO='This utility connects to the local Unicenter repository, and
deletes all objects under the VistrelManager Class.

The VistrelManager Class is located under TNGRoot - ManagedObject - Agent.
This utility deletes the VistrelManager Class and integration specific
menu items from the database.

This utility also deletes the integration methods defined in the database.

'
KEY='Hit any key to continue
'
LIST='There were 2 objects found:
Object 1:    name = vm-a
Object 2:    name = vm-b
'
ASK='Do you wish to delete these VistrelManager Objects, the
VistrelManager Class, and the menu items? (y=yes)
'
PL_DONE='2 VistrelManager object(s) deleted successfully.
Class VistrelManager deleted successfully.
1 Integration menu object(s) were deleted successfully.
Integration method TRM was deleted successfully.
Integration method TRW was deleted successfully.
Integration method TRMXE was deleted successfully.
Integration method ORVM7 was deleted successfully.
'
METHODS='Integration method TRM was deleted successfully.
Integration method TRW was deleted successfully.
Integration method TRMXE was deleted successfully.
Integration method ORVM7 was deleted successfully.
Integration method ORVM72 was deleted successfully.
'

# expand TEXT: TEXT with @INTRO@, @KEY@, @LIST@, @ASK@, @PL_DONE@, @METHODS@
# replaced and \n made a line break.
expand() {
  local t=$1
  t=${t//@INTRO@/$INTRO}; t=${t//@KEY@/$KEY}; t=${t//@LIST@/$LIST}; t=${t//@ASK@/$ASK}
  t=${t//@PL_DONE@/$PL_DONE}; t=${t//@METHODS@/$METHODS}
  printf '%b' "$t"
}

# --- both tools: the start of a run

# fault | plnpurge's message | orxpurge's message | exit code
while IFS="|" read -r fault pln orx code; do
  test_expect_success "start-up failure $fault ends with $code, nothing removed" '
    fixture &&
    WV_REPOSITORY=demo TNG_FAULTS=$fault run_with_input $'\''\n'\'' plnpurge &&
    expect_rc $code && expand "$pln\n@KEY@" | expect_stdout &&
    WV_REPOSITORY=demo TNG_FAULTS=$fault run orxpurge &&
    expect_rc $code && expand "$orx\n" | expect_stdout &&
    expect_removed
  '
done <<\CASES
TNGWV_Kernel_Start=3|TNGWV_Kernel_Start Fails! rc = 3|WorldView Kernel Start Failed: 3|1
TNGWV_RepositoryName_DisplaySelectDialog=7|TNGWV_RepositoryName_DisplaySelectDialog Fails! rc = 7|WorldView Repository Select Dialog Failed: 7|2
TNGWV_RepositoryName_GetFirst=9|TNGWV_RepositoryName_GetFirst Fails! rc = 9|WorldView Repository Name Get Failed: 9|3
TNGWV_Repository_Connect=12|TNGWV_Repository_Connect Repository Fails! rc = 12|Repository Connect Failed: 12|4
CASES

test_expect_success 'a repository that does not exist: connect failure, exit code 4' '
  fresh_home &&
  WV_REPOSITORY=nosuch run orxpurge &&
  expect_rc 4 && grep -qx "Repository Connect Failed: [0-9]*" out &&
  WV_REPOSITORY=nosuch run plnpurge &&
  expect_rc 4 && grep -qx "TNGWV_Repository_Connect Repository Fails! rc = [0-9]*" out
'

test_expect_success 'a cancelled selection ends with 0; plnpurge still waits for a key' '
  fixture &&
  run_with_input $'\''\n\n'\'' plnpurge &&
  expect_rc 0 && expand "@KEY@" | expect_stdout &&
  run orxpurge &&
  expect_rc 0 && expect_stdout_empty &&
  expect_removed
'

# --- plnpurge

test_expect_success 'plnpurge: the repository, the keys and "y" through one pipe' '
  fixture &&
  wvrepo create other >/dev/null &&
  run_with_input $'\''1\n\ny\n'\'' plnpurge &&
  expect_rc 0 &&
  expand "@INTRO@@KEY@@LIST@@ASK@@PL_DONE@@KEY@" | expect_stdout &&
  expect_removed 1 2 3 4 5 6 7
'

# confirmation keys | what they are
while IFS="|" read -r keys what; do
  test_expect_success "plnpurge: $what at the confirmation deletes nothing" '
    fixture &&
    printf -v input "\n$keys" &&
    WV_REPOSITORY=demo run_with_input "$input" plnpurge &&
    expect_rc 0 &&
    expand "@INTRO@@KEY@@LIST@@ASK@@KEY@" | expect_stdout &&
    expect_removed
  '
done <<\CASES
Y\n|an upper-case Y
\n\n|Enter
n\n|n
|end of input
CASES

# fixture | faults | exit code | output between the introduction's key and the last key | targets removed
while IFS="|" read -r kind faults code middle removed; do
  test_expect_success "plnpurge: ${kind:-integration} ${faults:-without faults} ends with $code" '
    fixture $kind &&
    WV_REPOSITORY=demo TNG_FAULTS=$faults run_with_input $'\''\ny\n'\'' plnpurge &&
    expect_rc $code &&
    expand "@INTRO@@KEY@$middle@KEY@" | expect_stdout &&
    expect_removed $removed
  '
done <<\CASES
drop||0|Class VistrelManager does not exist\n|
empty||0|Objects of class VistrelManager do not exist!\n|
|TNGWV_ObjectCriteria_Allocate@1=8|4|Allocate_REPOSITORY_OBJECT_CRITERIA Fails!\n|
|GetRepositoryObject=11|5|GetRepositoryObject Fails! tngwv_rc = 11\n|
|TNGWV_Object_GetNext@2=13|0|There were 2 objects found:\nObject 1:    name = vm-a\nTNGWV_Object_GetNext Fails! rc = 13\n|
|TNGWV_Object_GetNext@1=14|0|@LIST@@ASK@@PL_DONE@|1 2 3 4 5 6 7
|TNGWV_Object_GetNext@1=15|0|There were 2 objects found:\n@ASK@@PL_DONE@|1 2 3 4 5 6 7
|ObjectPropertyGet/name@2=12|0|There were 2 objects found:\nObject 1:    name = vm-a\nObject 2:  @ASK@@PL_DONE@|1 2 3 4 5 6 7
|GetRepositoryObject/count=1|0|There were 1 objects found:\nObject 1:    name = vm-a\n@ASK@@PL_DONE@|1 2 3 4 5 6 7
|TNGWV_ObjectCriteria_Allocate@2=8|5|@LIST@@ASK@TNGWV_ObjectCriteria_Allocate fails! rc = 8\n|
|TNGWV_Object_Delete@1=6|6|@LIST@@ASK@TNGWV_Object_Delete fails! rc = 6\n|
|DeleteRepositoryClass=13|5|@LIST@@ASK@2 VistrelManager object(s) deleted successfully.\nDeleteRepositoryClass Fails! rc = 13\n|1
|TNGWV_ObjectCriteria_Allocate@3=8|5|@LIST@@ASK@2 VistrelManager object(s) deleted successfully.\nClass VistrelManager deleted successfully.\nTNGWV_ObjectCriteria_Allocate fails! rc = 8\n|1 2
|TNGWV_Object_Delete@3=6|6|@LIST@@ASK@2 VistrelManager object(s) deleted successfully.\nClass VistrelManager deleted successfully.\n1 Integration menu object(s) were deleted successfully.\nTNGWV_Object_Delete fails! rc = 6\n|1 2 3
CASES

test_expect_success 'plnpurge: an integer or another type of name is shown as such' '
  fixture empty &&
  wvrepo object add demo VistrelManager "name:int=42" >/dev/null &&
  wvrepo object add demo VistrelManager "name:uuid=0f8fad5b-d9cb-469f-a165-70867728950e" >/dev/null &&
  WV_REPOSITORY=demo run_with_input $'\''\nn\n'\'' plnpurge &&
  expect_rc 0 &&
  expand "@INTRO@@KEY@There were 2 objects found:\nObject 1:    name = 42\nObject 2:    name has data type not handled\n@ASK@@KEY@" | expect_stdout
'

# --- orxpurge

# fixture | faults | exit code | output after the introduction | targets removed
while IFS="|" read -r kind faults code middle removed; do
  test_expect_success "orxpurge: ${kind:-integration} ${faults:-without faults} ends with $code" '
    fixture $kind &&
    WV_REPOSITORY=demo TNG_FAULTS=$faults run orxpurge &&
    expect_rc $code &&
    expand "@INTRO@$middle" | expect_stdout &&
    expect_removed $removed
  '
done <<\CASES
||0|@LIST@2 VistrelManager object(s) deleted successfully.\nClass VistrelManager deleted successfully.\n@METHODS@|1 2 3 4 5 6 7 8
drop||0|Class VistrelManager does not exist\n@METHODS@|3 4 5 6 7 8
empty||0|Objects of class VistrelManager do not exist!\n@METHODS@|3 4 5 6 7 8
|TNGWV_ObjectCriteria_Allocate@1=8|4|Allocate_REPOSITORY_OBJECT_CRITERIA Fails!\n@METHODS@|3 4 5 6 7 8
|GetRepositoryObject=11|5|GetRepositoryObject Fails! tngwv_rc = 11\n@METHODS@|3 4 5 6 7 8
|TNGWV_Object_GetNext@2=13|0|There were 2 objects found:\nObject 1:    name = vm-a\nTNGWV_Object_GetNext Fails! rc = 13\n@METHODS@|3 4 5 6 7 8
|TNGWV_Object_Delete@1=6|6|@LIST@TNGWV_Object_Delete fails! rc = 6\n@METHODS@|3 4 5 6 7 8
|TNGWV_ObjectCriteria_Allocate@2=8|5|@LIST@TNGWV_ObjectCriteria_Allocate fails! rc = 8\n@METHODS@|3 4 5 6 7 8
|DeleteRepositoryClass=13|5|@LIST@2 VistrelManager object(s) deleted successfully.\nDeleteRepositoryClass Fails! rc = 13\n@METHODS@|1 3 4 5 6 7 8
|TNGWV_Object_Delete@2=6|6|@LIST@2 VistrelManager object(s) deleted successfully.\nClass VistrelManager deleted successfully.\nWorldView Object Delete Failed: 6\n@METHODS@|1 2 4 5 6 7 8
|TNGWV_Object_Delete@1=6,TNGWV_ObjectCriteria_Allocate@5=8|5|@LIST@TNGWV_Object_Delete fails! rc = 6\nIntegration method TRM was deleted successfully.\nWorldView Object Criteria Allocate Failed: 8\nIntegration method TRMXE was deleted successfully.\nIntegration method ORVM7 was deleted successfully.\nIntegration method ORVM72 was deleted successfully.\n|3 4 6 7 8
|TNGWV_ObjectCriteria_Allocate@3=8,TNGWV_Object_Delete@4=6|6|@LIST@2 VistrelManager object(s) deleted successfully.\nClass VistrelManager deleted successfully.\nTNGWV_ObjectCriteria_Allocate fails! rc = 8\nIntegration method TRM was deleted successfully.\nIntegration method TRW was deleted successfully.\nWorldView Object Delete Failed: 6\nIntegration method ORVM7 was deleted successfully.\nIntegration method ORVM72 was deleted successfully.\n|1 2 4 5 7 8
CASES

test_done
