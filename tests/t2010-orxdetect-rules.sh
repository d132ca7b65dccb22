#!/usr/bin/env bash
# orxdetect's reclassification passes against real agents: every entry of
# the rule table in both modes, the rack enclosure that answers the server
# identity with an error, silent devices, and the reclass command line.
# The cases are rows (below); one runner builds the whole expected console
# and log of a run from them and compares both byte for byte.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

board=$(agent_address 1)       # a lights-out board
server=$(agent_address 2)      # a server with agent, no board (kind 1)
san=$(agent_address 3)         # storage appliance, product text less its "e"
tarvik=$(agent_address 4)      # Tarvik server, product text less its dash
board_san=$(agent_address 5)   # a board that also names the appliance
rack=$(agent_address 6)        # no server identity, lights-out kind 4
no_identity=$(agent_address 7) # no server identity, lights-out kind 1
station=$(agent_address 8)     # workstation identity only
silent=$(agent_address 9)      # nothing listens

{ agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3" &&
  agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" &&
  agent_start "$san" "$oid_server integer 1" \
    "$oid_product octet_str \"orvex Quelnet storage management applianc\"" &&
  agent_start "$tarvik" "$oid_server integer 1" "$oid_product octet_str \"Tarvik Servers\"" &&
  agent_start "$board_san" "$oid_server integer 1" "$oid_kind integer 3" \
    "$oid_product octet_str \"orvex Quelnet storage management appliance v2\"" &&
  agent_start "$rack" "$oid_kind integer 4" &&
  agent_start "$no_identity" "$oid_kind integer 1" &&
  agent_start "$station" "$oid_workstation integer 1"; } ||
  { say "not ok - agents did not start"; exit 1; }

# The rows: one device of every kind in every framework class, in the
# order they are added, and for each mode what the pass prints after the
# device's name and address lines and the class the object ends in.
#
# What is printed, console and log alike:
#   as ...   "Reclassify NAME as ..." and a blank line
#   not      "Device not reclassified." and a blank line
#   silent   "System NAME not reclassified" and a blank line
#   -        nothing
# A row whose class has no pass in the mode prints nothing at all.
#
# class             | name              | device      | S: prints                                   | S: ends in               | R: prints                          | R: ends in
rows() {
  cat <<-\EOF
	Host               | host-board        | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	Host               | host-server       | server      | as an Orvex Windows 2000 Server             | Orvex_Host               | -                                  | Host
	Windows2000_Server | w2k-board-san     | board_san   | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	Windows2000_Server | w2k-san           | san         | as an Orvex_SANappliance Device             | Orvex_SANappliance       | -                                  | Windows2000_Server
	Windows2000_Server | w2k-tarvik        | tarvik      | as an Orvex Windows 2000 Server             | Orvex_Windows2000_Server | -                                  | Windows2000_Server
	Windows_NetServer  | net-board         | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	Windows_NetServer  | net-san           | san         | as an Orvex_SANappliance Device             | Orvex_SANappliance       | -                                  | Windows_NetServer
	Windows_NetServer  | net-tarvik        | tarvik      | as an Orvex_TarvikServer Device             | Orvex_TarvikServer       | -                                  | Windows_NetServer
	Windows_NetServer  | net-server        | server      | as an Orvex Windows NetServer               | Orvex_Windows_NetServer  | -                                  | Windows_NetServer
	WindowsNT_Server   | nt-board          | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	WindowsNT_Server   | nt-server         | server      | as an Orvex Windows NT Server               | Orvex_WindowsNT_Server   | -                                  | WindowsNT_Server
	Linux              | linux-rack        | rack        | as an Orvex_RackEnclosure Device            | Orvex_RackEnclosure      | as an Orvex_RackEnclosure Device   | Orvex_RackEnclosure
	Linux              | linux-no-identity | no_identity | not                                         | Linux                    | not                                | Linux
	Linux              | linux-board       | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	Linux              | linux-server      | server      | as an Orvex Linux Server                    | Orvex_Linux              | -                                  | Linux
	DECSystem          | dec-server        | server      | as an Orvex DECSystem Server                | Orvex_DECSystem          | -                                  | DECSystem
	DECSystem          | dec-no-identity   | no_identity | not                                         | DECSystem                | -                                  | DECSystem
	SCOUnix            | SCOUnix-board     | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	SCOUnix            | SCOUnix-server    | server      | as an Orvex SCO Unix Server                 | Orvex_SCOUnix            | -                                  | SCOUnix
	UnixWare           | UnixWare-board    | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	UnixWare           | UnixWare-server   | server      | as an Orvex UnixWare Server                 | Orvex_UnixWare           | -                                  | UnixWare
	Novell             | Novell-board      | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	Novell             | Novell-server     | server      | as an Orvex Novell Server                   | Orvex_Novell             | -                                  | Novell
	OS2                | OS2-board         | board       | as an Orvex_RemoteVistrel Device            | Orvex_RemoteVistrel      | as an Orvex_RemoteVistrel Device   | Orvex_RemoteVistrel
	OS2                | OS2-server        | server      | as an Orvex OS2 Device                      | Orvex_OS2                | -                                  | OS2
	WindowsXP          | xp-station        | station     | as an Orvex Windows XP Workstation          | Orvex_WindowsXP          | -                                  | WindowsXP
	WindowsXP          | xp-silent         | silent      | silent                                      | WindowsXP                | -                                  | WindowsXP
	Windows2000        | w2kws-station     | station     | as an Orvex Windows 2000 Workstation        | Orvex_Windows2000        | -                                  | Windows2000
	Windows2000        | w2kws-server      | server      | not                                         | Windows2000              | -                                  | Windows2000
	WindowsNT          | WindowsNT-station | station     | as an Orvex Windows NT Workstation          | Orvex_WindowsNT          | -                                  | WindowsNT
	Windows9x          | Windows9x-station | station     | as an Orvex Windows 9x Workstation          | Orvex_Windows9x          | -                                  | Windows9x
	Windows95          | Windows95-station | station     | as an Orvex Windows 95 Workstation          | Orvex_Windows95          | -                                  | Windows95
	EOF
}

# each_row: the rows as "class name address S-prints S-ends R-prints R-ends",
# tab-separated, blanks around the fields taken off, devices as addresses.
each_row() {
  rows | awk -F'|' -v OFS='\t' '{ for (i = 1; i <= NF; i++) gsub(/^[ \t]+|[ \t]+$/, "", $i); print }' |
    while IFS=$'\t' read -r class name device s_prints s_ends r_prints r_ends; do
      printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$class" "$name" "${!device}" \
        "$s_prints" "$s_ends" "$r_prints" "$r_ends"
    done
}

populate() {
  local class name address rest
  while IFS=$'\t' read -r class name address rest; do
    system_line "$class" "$name" "$address"
  done < <(each_row) | load_systems
}

# The rows of one mode: "class name address prints ends".
rows_of_mode() {
  if [ "$1" = S ]; then each_row | cut -f1-5; else each_row | cut -f1-3,6,7; fi
}

# class_block CLASS FILE: the count line of a pass over CLASS whose objects
# are the lines of FILE, or its no-objects line when FILE is empty.
class_block() { found "$1" "$(wc -l <"$2")"; }

# passes MODE: the reclassification passes of the mode, console and log alike.
passes() {
  local mode=$1 pass_classes class name address prints ends
  if [ "$mode" = S ]; then pass_classes=$all_pass_classes; else pass_classes=$lights_out_pass_classes; fi
  for class in $pass_classes; do
    rows_of_mode "$mode" | awk -F'\t' -v c="$class" '$1 == c' >"$CASE_DIR/pass.rows"
    class_block "$class" "$CASE_DIR/pass.rows"
    while IFS=$'\t' read -r _ name address prints ends; do
      device_lines "$name" "$address"
      case $prints in
        -) ;;
        not) not_reclassified ;;
        silent) printf 'System %s not reclassified\n\n' "$name" ;;
        *) reclassified "$name" "$prints" ;;
      esac
    done <"$CASE_DIR/pass.rows"
  done
}

# association MODE console|log: the association after the passes. No
# server here has a board, so each server the association asks prints
# "Device not reclassified."; no Unispace object exists.
association() {
  local mode=$1 to=$2 classes class name address
  if [ "$to" = console ]; then association_start; else association_start_log; fi
  rows_of_mode "$mode" | awk -F'\t' '$5 == "Orvex_RemoteVistrel"' >"$CASE_DIR/boards.rows"
  class_block Orvex_RemoteVistrel "$CASE_DIR/boards.rows"
  if [ "$to" = console ]; then
    while IFS=$'\t' read -r _ name address _; do
      board_info "$name" "$address"
    done <"$CASE_DIR/boards.rows"
  fi
  classes=$framework_association_classes
  [ "$mode" = R ] || classes="$orvex_association_classes $classes"
  for class in $classes; do
    rows_of_mode "$mode" | awk -F'\t' -v c="$class" '$5 == c' >"$CASE_DIR/class.rows"
    class_block "$class" "$CASE_DIR/class.rows"
    [ -s "$CASE_DIR/class.rows" ] || continue
    checking "$class"
    while IFS=$'\t' read -r _ name address _; do
      device_lines "$name" "$address"
      not_reclassified
    done <"$CASE_DIR/class.rows"
  done
  none_of Unispace
  closing
}

# The objects after a run in MODE, as `systems` lists them.
ends_of_mode() { rows_of_mode "$1" | awk -F'\t' '{ print $5, $2 }' | sort; }

# check_mode MODE: one run in MODE over the rows; the whole console, the
# whole log and the repository after it are as the rows say.
check_mode() {
  local mode=$1
  discovery_home && populate &&
  quick run orxdetect demo admin B public "$mode" &&
  expect_rc 0 &&
  expect_file err </dev/null &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  { run_head; passes "$mode"; association "$mode" console; } >expected.out &&
  expect_stdout <expected.out &&
  { log_head; passes "$mode"; association "$mode" log; } >expected.log &&
  expect_log <expected.log &&
  systems >after &&
  ends_of_mode "$mode" | expect_file after
}

test_expect_success 'all-systems mode: every rule entry that holds moves its device' '
  check_mode S
'

test_expect_success 'lights-out-only mode: only boards and rack enclosures move; S-only passes are not visited' '
  check_mode R
'

test_expect_success 'reclass gets the credentials as given; "B" leaves the password out; "s" is not "S"' '
  for case in "s3cret S" "B S" "s3cret s" "s3cret R"; do
    set -- $case
    discovery_home &&
    printf "s3cret\n" | wvrepo user add demo operator >/dev/null &&
    system Host host-board "$board" &&
    system Host host-server "$server" &&
    record_reclass &&
    quick run orxdetect demo operator "$1" public "$2" &&
    expect_rc 0 &&
    reclass_runs >"runs.$1.$2" || exit 1
  done &&
  cat runs.s3cret.S runs.B.S runs.s3cret.s runs.s3cret.R >runs &&
  expect_file runs <<-\EOF
	/R=demo /U=operator /W=s3cret /C=Host /O=host-board /T=Orvex_RemoteVistrel
	/R=demo /U=operator /W=s3cret /C=Host /O=host-server /T=Orvex_Host
	/R=demo /U=operator /C=Host /O=host-board /T=Orvex_RemoteVistrel
	/R=demo /U=operator /C=Host /O=host-server /T=Orvex_Host
	/R=demo /U=operator /W=s3cret /C=Host /O=host-board /T=Orvex_RemoteVistrel
	/R=demo /U=operator /W=s3cret /C=Host /O=host-board /T=Orvex_RemoteVistrel
	EOF
'

test_done
