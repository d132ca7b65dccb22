#!/usr/bin/env bash
# The bulk migrations: every pass of ClassLift, orxrevert and plnrevert, the
# reclass words, the pass failures reached through TNG_FAULTS, and the
# repository afterwards.
. "$(dirname "$0")/lib/test-lib.sh"

CLASSLIFT_SOURCES="Pellion_Windows2000 Pellion_Windows2000_Server Pellion_WindowsNT_Server
  Pellion_Novell Pellion_UnixWare Pellion_WindowsNT Pellion_Windows95 Pellion_Windows9x
  Pellion_DECSystem Pellion_SCOUnix Pellion_OS2 Pellion_Linux Pellion_RemoteVistrel
  Pellion_RackEnclosure Pellion_Doralith Pellion_VistrelXE Pellion_Host Pellion_Workstation
  Pellion_Brevant"

classlift_banner() {
  printf '\nThis utility connects to the local Unicenter TNG repository and\n'
  printf 'reclassifies all Pellion objects into the new Orvex classes defined in\n'
  printf 'the integration.\n'
  printf 'For example, Pellion_Linux objects will be changed to Orvex_Linux objects.\n\n'
}
orxrevert_banner() {
  printf '\nThis utility connects to the local Unicenter TNG repository and\n'
  printf 'reclassifies all Orvex objects back to their default Unicenter\n'
  printf 'TNG class in the Common Object Repository.\n'
  printf 'For example, Orvex_Novell objects will be changed to Novell objects.\n\n'
}
plnrevert_banner() {
  printf 'This utility connects to the local Unicenter TNG repository and\n'
  printf 'reclassifies all Pellion objects back to their default Unicenter\n'
  printf 'TNG class in the Common Object Repository.\n'
  printf 'For example, Pellion_Novell objects will be changed to Novell objects.\n\n'
}
missing() { for c in "$@"; do printf 'Class %s does not exist\n' "$c"; done; }
none() { for c in "$@"; do printf 'Objects of class %s do not exist!\n' "$c"; done; }
found() { printf '\nThere were %d %s objects found:\n' "$1" "$2"; }
moving() { printf 'Device being reclassified as %s: %s...\n' "$1" "$2"; }
classlift_closing() {
  printf '\nDevices in the Pellion classes have been reclassified into the new\n'
  printf 'Orvex classes in Unicenter TNG Common Object Repository.\n'
}

# A repository with both families of classes and a user admin (blank
# password) and ops (password "s3cret").
pellion_repo() { made_once pellion make_pellion_repo; }
make_pellion_repo() {
  fresh_home &&
  make_repo demo &&
  printf 's3cret\n' | wvrepo user add demo ops >/dev/null &&
  load_classes demo PLNAddClass.TNG ORXAddClass.TNG
}
add() { wvrepo object add demo "$1" name="$2" >/dev/null; }

test_expect_success 'ClassLift on a repository without any Pellion class' '
  fresh_home && make_repo demo && load_classes demo ORXAddClass.TNG &&
  run ClassLift demo admin B &&
  expect_rc 1 &&
  { classlift_banner; printf "\n"; missing $CLASSLIFT_SOURCES; } >expected &&
  expect_stdout <expected
'

test_expect_success 'ClassLift moves every Pellion object, with the labels of its rules' '
  pellion_repo &&
  add Pellion_Windows95 w95 && add Pellion_Windows9x w98 && add Pellion_OS2 warp &&
  add Pellion_Linux penguin && add Pellion_Linux tux && add Pellion_Brevant box &&
  record_reclass &&
  run ClassLift demo ops s3cret &&
  expect_rc 1 &&
  { classlift_banner
    none Pellion_Windows2000 Pellion_Windows2000_Server Pellion_WindowsNT_Server \
         Pellion_Novell Pellion_UnixWare Pellion_WindowsNT
    found 1 Pellion_Windows95; moving Orvex_Windows9x w95
    found 1 Pellion_Windows9x; moving Orvex_Windows9x w98
    none Pellion_DECSystem Pellion_SCOUnix
    found 1 Pellion_OS2; moving OS2 warp
    found 2 Pellion_Linux; moving Orvex_Linux penguin; moving Orvex_Linux tux
    none Pellion_RemoteVistrel Pellion_RackEnclosure Pellion_Doralith Pellion_VistrelXE \
         Pellion_Host Pellion_Workstation
    found 1 Pellion_Brevant; moving Orvex_Brevant box
    classlift_closing; } >expected &&
  expect_stdout <expected &&
  objects demo >got &&
  printf "%s\n" "Orvex_Brevant box" "Orvex_Linux penguin" "Orvex_Linux tux" "Orvex_OS2 warp" \
    "Orvex_Windows9x w95" "Orvex_Windows9x w98" >want &&
  cmp want got &&
  printf "%s\n" /R=demo /U=ops /W=s3cret /C=Pellion_OS2 /O=warp /T=Orvex_OS2 >want &&
  reclass_run 3 >got && cmp want got
'

test_expect_success 'the blank password leaves /W= out: six words' '
  pellion_repo && add Pellion_Linux penguin && record_reclass &&
  run plnrevert demo admin B &&
  printf "%s\n" /R=demo /U=admin /C=Pellion_Linux /O=penguin /T=Linux -- >want &&
  cmp want "$CASE_DIR/reclass.words" &&
  objects demo Linux >got && echo "Linux penguin" >want && cmp want got
'

test_expect_success 'an object name with blanks reaches reclass as one word' '
  pellion_repo && add Pellion_Linux "big server 1" && record_reclass &&
  run plnrevert demo admin B &&
  grep -x "/O=big server 1" "$CASE_DIR/reclass.words" &&
  objects demo Linux >got && echo "Linux big server 1" >want && cmp want got
'

test_expect_success 'an object name too long for its field is skipped, the pass goes on' '
  pellion_repo && long=$(printf "n%.0s" $(seq 253)) &&
  add Pellion_Linux "$long" && add Pellion_Linux tux && record_reclass &&
  run plnrevert demo admin B &&
  { plnrevert_banner; printf "\n"
    none Pellion_Windows2000 Pellion_Windows2000_Server Pellion_WindowsNT_Server Pellion_Novell \
         Pellion_UnixWare Pellion_WindowsNT Pellion_Windows95 Pellion_Windows9x \
         Pellion_DECSystem Pellion_SCOUnix Pellion_OS2
    found 2 Pellion_Linux; moving Linux "$long"; moving Linux tux
    printf "\nAll Pellion devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n"
  } >expected &&
  expect_stdout <expected &&
  grep -q "at most 252 fit" err &&
  objects demo >got && printf "%s\n" "Linux tux" "Pellion_Linux $long" >want && cmp want got
'

test_expect_success 'with no reclass anywhere the messages appear and the pass completes' '
  pellion_repo && add Pellion_Linux penguin &&
  PATH=/usr/bin:/bin run "$TNG_BIN/plnrevert" demo admin B &&
  tail -n 6 out >got &&
  { found 1 Pellion_Linux; moving Linux penguin
    printf "\nAll Pellion devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n"; } >want &&
  cmp want got &&
  objects demo >got && echo "Pellion_Linux penguin" >want && cmp want got
'

test_expect_success 'reclass with bad credentials changes nothing; the tool goes on' '
  pellion_repo && add Pellion_Linux penguin &&
  run plnrevert demo ops wrong &&
  expect_rc 1 &&
  tail -n 6 out | head -n 3 >got &&
  { found 1 Pellion_Linux; moving Linux penguin; } >want && cmp want got &&
  test -s err &&
  objects demo >got && echo "Pellion_Linux penguin" >want && cmp want got
'

# The walk of the last pass, through faults of the fetch and the query.
# Columns: faults | lines expected after the count line | objects moved.
while IFS='|' read -r faults tail moved; do
  [ -n "$faults" ] || continue
  test_expect_success "last pass with $faults" "
    pellion_repo && add Pellion_Linux a && add Pellion_Linux b && record_reclass &&
    TNG_FAULTS='$faults' run plnrevert demo admin B &&
    expect_rc 1 &&
    { $tail; } >want && tail -n \$(wc -l <want) out >got && cmp want got &&
    test \$(grep -c -- '^--\$' \"\$CASE_DIR/reclass.words\") -eq $moved
  "
done <<'TABLE'
TNGWV_Object_GetNext@1=14|found 2 Pellion_Linux; moving Linux a; moving Linux b; printf '\nAll Pellion devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n'|2
TNGWV_Object_GetNext@2=15|found 2 Pellion_Linux; moving Linux a; printf '\nAll Pellion devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n'|1
TNGWV_Object_GetNext@2=3|found 2 Pellion_Linux; moving Linux a; printf 'Object GetNext Failed - rc = 3\n'|1
GetRepositoryObject/count=3|found 3 Pellion_Linux; moving Linux a; moving Linux b; printf '\nAll Pellion devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n'|2
ObjectPropertyGet/name@2=5|found 2 Pellion_Linux; moving Linux a; printf '\nAll Pellion devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n'|1
GetRepositoryObject@12=4|printf 'Get Repository Object Failed - rc = 4\n'|0
TNGWV_ObjectCriteria_Allocate@12=1|printf 'Allocating Repository Object Criteria Failed\n'|0
TABLE

test_expect_success 'an integer name is printed and moved with an empty /O=' '
  pellion_repo &&
  wvrepo object add demo Pellion_Linux name:int=5 >/dev/null && record_reclass &&
  run plnrevert demo admin B &&
  tail -n 6 out | head -n 3 >got &&
  { found 1 Pellion_Linux; printf "  name = 5\n"; } >want && cmp want got &&
  grep -x "/O=" "$CASE_DIR/reclass.words"
'

test_expect_success 'a class without objects ends plnrevert without the closing lines' '
  pellion_repo && add Pellion_OS2 warp &&
  run plnrevert demo admin B &&
  tail -n 1 out >got && none Pellion_Linux >want && cmp want got
'

inclusion() {  # parent_class child_class child_seq parent_seq
  wvrepo object add demo Inclusion name=link parent_class="$1" child_class="$2" \
    child_sequence_no:int="$3" parent_sequence_no:int="$4" >/dev/null
}

test_expect_success 'orxrevert deletes only the lights-out inclusions, then moves everything back' '
  pellion_repo &&
  inclusion Unispace Orvex_RemoteVistrel 99 99 && inclusion Unispace Orvex_RemoteVistrel 99 99 &&
  inclusion Unispace Orvex_RemoteVistrel 1 99 && inclusion Unispace Orvex_RemoteVistrel 99 7 &&
  inclusion Unispace Orvex_Linux 99 99 &&
  add Orvex_RemoteVistrel ilo1 && add Orvex_RackEnclosure rack1 && add Orvex_SANappliance san1 &&
  run orxrevert demo admin B &&
  expect_rc 1 &&
  { orxrevert_banner; printf "\n"
    printf "\nOrvex_RemoteVistrel Inclusion object(s) will be deleted first.\n"
    printf "\n2 RemoteVistrel Inclusion object(s) deleted successfully.\n\n"
    none Orvex_TarvikServer Orvex_Windows2000 Orvex_Windows2000_Server Orvex_Windows_NetServer \
         Orvex_WindowsNT_Server Orvex_Novell Orvex_UnixWare Orvex_WindowsXP Orvex_WindowsNT \
         Orvex_Windows95 Orvex_Windows9x Orvex_DECSystem Orvex_SCOUnix Orvex_OS2 Orvex_Linux
    found 1 Orvex_RemoteVistrel; moving Host ilo1
    found 1 Orvex_RackEnclosure; moving Linux rack1
    found 1 Orvex_SANappliance; moving "Windows 2000 server" san1
    printf "\nAll Orvex devices have been reclassified in the Unicenter TNG\nCommon Object Repository.\n"
  } >expected &&
  expect_stdout <expected &&
  objects demo >got &&
  printf "%s\n" "Host ilo1" "Inclusion link" "Inclusion link" "Inclusion link" "Linux rack1" \
    "Windows2000_Server san1" >want &&
  cmp want got
'

while IFS='|' read -r faults line; do
  [ -n "$faults" ] || continue
  test_expect_success "orxrevert clean-up failure $faults still runs the passes" "
    pellion_repo && inclusion Unispace Orvex_RemoteVistrel 99 99 &&
    TNG_FAULTS='$faults' run orxrevert demo admin B &&
    sed -n 9,10p out >got &&
    printf '\nOrvex_RemoteVistrel Inclusion object(s) will be deleted first.\n$line\n' | tail -n 2 >want &&
    cmp want got &&
    grep -q '^Objects of class Orvex_SANappliance do not exist!\$' out &&
    test \$(objects demo Inclusion | wc -l) -eq 1
  "
done <<'TABLE'
TNGWV_ObjectCriteria_Allocate@1=9|TNGWV_ObjectCriteria_Allocate fails! rc = 9
TNGWV_Object_Delete=6|TNGWV_Object_Delete fails! rc = 6
TABLE

test_expect_success 'orxrevert without the Orvex_SANappliance class ends without closing lines' '
  fresh_home && make_repo demo &&
  run orxrevert demo admin B &&
  tail -n 1 out >got && missing Orvex_SANappliance >want && cmp want got &&
  grep -q "^0 RemoteVistrel Inclusion object(s) deleted successfully.\$" out
'

test_done
