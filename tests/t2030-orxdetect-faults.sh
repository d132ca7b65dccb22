#!/usr/bin/env bash
# orxdetect's failure paths, reached through TNG_FAULTS and through devices
# that fail: SNMP sessions, repository reads and queries in the passes, the
# board list, the Unispace matching, the creation of inclusion objects and
# the deletions.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

server=$(agent_address 1)       # identity, lights-out kind 1, board address 10.0.0.5
rack=$(agent_address 2)         # no server identity, lights-out kind 4

{ agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" \
    "$oid_lights_out ipaddress 10.0.0.5" &&
  agent_start "$rack" "$oid_kind integer 4"; } ||
  { say "not ok - agents did not start"; exit 1; }

# The whole output of an all-systems run over one object of CLASS (Host or
# Linux), with the object's own lines given on standard input.
one_object_run() {
  local class=$1 pass
  run_head
  for pass in $all_pass_classes; do
    if [ "$pass" = "$class" ]; then cat; else none_of "$pass"; fi
  done
  association_start
  none_of Orvex_RemoteVistrel
  closing
}

test_expect_success 'SNMP and repository failures in a pass end the object or the pass, never the run' '
  while IFS="|" read -r faults lines; do
    discovery_home &&
    system Host h1 "$server" &&
    TNG_FAULTS=$faults quick run orxdetect demo admin B public S &&
    expect_rc 0 &&
    printf "$lines" | one_object_run Host | expect_stdout || { say "with TNG_FAULTS=$faults" >&2; exit 1; }
  done <<-EOF
	|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\nReclassify h1 as an Orvex Windows 2000 Server\n\n
	TNG_SNMP_113@1=0|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\nCould not establish SNMP connection\n\n
	TNG_SNMP_112@1=0|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\n
	TNG_SNMP_106@1=0|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\n
	TNG_SNMP_109@1=0|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\nSystem h1 not reclassified\n\n
	TNG_SNMP_111@1=0|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\nError ending SNMP session\nReclassify h1 as an Orvex Windows 2000 Server\n\n
	TNG_SNMP_113@2=0|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\nCould not establish SNMP connection\n\nReclassify h1 as an Orvex Windows 2000 Server\n\n
	ObjectPropertyGet/name=5|\nThere were 1 Host objects found:\n
	ObjectPropertyGet/address=5|\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nTNGWV returned unsuccessful: 5\n
	TNGWV_Object_GetNext@1=3|\nThere were 1 Host objects found:\nObject GetNext Failed - rc = 3\n
	GetRepositoryObject@21=9|Get Repository Object Failed - rc = 9\n
	TNGWV_ObjectCriteria_Allocate@2=7|Allocating Repository Object Criteria Failed\n
	EOF
'

test_expect_success 'the console-only failures stay out of the log' '
  discovery_home &&
  system Host h1 "$server" &&
  TNG_FAULTS=TNG_SNMP_111@1=0,TNG_SNMP_113@2=0 quick run orxdetect demo admin B public S &&
  { log_head; printf "\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\nDevice address to use for SNMP query:$server:\nReclassify h1 as an Orvex Windows 2000 Server\n\n"
    none_of $(echo $all_pass_classes | sed "s/^Host //")
    association_start_log; none_of Orvex_RemoteVistrel; closing; } | expect_log
'

test_expect_success 'an address of integer type is shown and the device is asked at no address' '
  discovery_home &&
  wvrepo object add demo Host name=h1 address:int=7 >/dev/null &&
  quick run orxdetect demo admin B public S &&
  printf "\nThere were 1 Host objects found:\nDevice name to use for SNMP query: h1\n  address = 7\nCould not establish SNMP connection\n\n" |
    one_object_run Host | expect_stdout
'

test_expect_success 'Linux: the rack enclosure is asked while the identification session is open' '
  while IFS="|" read -r faults lines; do
    discovery_home &&
    system Linux rack1 "$rack" &&
    TNG_FAULTS=$faults quick run orxdetect demo admin B public R &&
    expect_rc 0 &&
    { run_head; none_of Host Windows2000_Server Windows_NetServer WindowsNT_Server
      printf "\nThere were 1 Linux objects found:\nDevice name to use for SNMP query: rack1\nDevice address to use for SNMP query:$rack:\n$lines"
      none_of SCOUnix UnixWare Novell OS2; association_start; none_of Orvex_RemoteVistrel; closing
    } | expect_stdout || { say "with TNG_FAULTS=$faults" >&2; exit 1; }
  done <<-\EOF
	|Reclassify rack1 as an Orvex_RackEnclosure Device\n\n
	TNG_SNMP_111@2=0|Reclassify rack1 as an Orvex_RackEnclosure Device\n\nError ending SNMP session\n
	TNG_SNMP_113@2=0|Could not establish SNMP connection\n\nDevice not reclassified.\n\n
	TNG_SNMP_109@2=0|Device not reclassified.\n\n
	EOF
'

# The association fixture: one board, its server and the server's Unispace
# object, one absent VistrelManager. Runs in lights-out-only mode.
association_fixture() { made_once association association_home; }
association_home() {
  discovery_home &&
  {
    system_line Orvex_RemoteVistrel b1 10.0.0.5
    system_line Windows2000_Server srvA "$server"
    printf 'Unispace\tname=srvA-Unispace\n'
    printf 'VistrelManager\tname=vm-absent\tstatus_no:int=4\n'
  } | load_systems
}

# Blocks of the association's output for this fixture.
passes() {
  run_head; none_of Host
  found Windows2000_Server 1; device_lines srvA "$server"
  none_of Windows_NetServer WindowsNT_Server Linux SCOUnix UnixWare Novell OS2
  association_start
}
board_count() { found Orvex_RemoteVistrel 1; }
boards() { board_count; board_info b1 10.0.0.5; }
server_lines() {
  found Windows2000_Server 1; checking Windows2000_Server
  device_lines srvA "$server"; lights_out_address 10.0.0.5
}
other_servers() { none_of Windows_NetServer WindowsNT_Server Linux Novell UnixWare OS2 SCOUnix; }
servers() { server_lines; match_line Windows2000_Server srvA b1 10.0.0.5; other_servers; }
unmatched() { server_lines; other_servers; }
unispace_count() { unispace_start console; }
unispace_name() { printf 'Unispace name to use for query: srvA-Unispace\n'; }
unispace() { unispace_count; unispace_lines srvA-Unispace; }
old() { old_links_deleted 0; }
created() { link_created srvA-Unispace console; }
managers() { managers_deleted 1; }

# association_output BLOCKS: the whole output, BLOCKS being ";"-separated
# block names and "=TEXT" lines of their own.
association_output() {
  local IFS=";" part
  passes
  for part in $1; do
    case $part in
      =*) printf '%s\n' "${part#=}" ;;
      *) $part ;;
    esac
  done
  closing
}

# count_of CLASS: how many objects CLASS holds ("no count" when they cannot
# be listed, which no expected count matches).
count_of() {
  local list
  list=$(wvrepo object list demo "$1" --json) || { echo "no count"; return 1; }
  if [ -z "$list" ]; then echo 0; else wc -l <<<"$list"; fi
}

test_expect_success 'association failures end the association at the closing steps' '
  while IFS="|" read -r faults blocks links managers; do
    association_fixture &&
    TNG_FAULTS=$faults quick run orxdetect demo admin B public R &&
    expect_rc 0 &&
    name_uuids out &&
    association_output "$blocks" | expect_stdout &&
    test "$(count_of Inclusion) $(count_of VistrelManager)" = "$links $managers" ||
      { say "with TNG_FAULTS=$faults" >&2; exit 1; }
  done <<-\EOF
	|boards;servers;unispace;old;created;managers|1|0
	UuidCreate=1824|boards;servers;unispace;old;created;managers|1|0
	TNGWV_ObjectCriteria_Allocate@11=7|=Allocating Repository Object Criteria Failed|0|1
	GetRepositoryObject@30=9|=Get Repository Object Failed - rc = 9|0|1
	TNGWV_Object_GetNext@2=3|board_count;=Object GetNext Failed - rc = 3|0|1
	ObjectPropertyGet/uuid@1=6|board_count;=TNGWV returned unsuccessful: 6;unmatched;unispace;old;managers|0|0
	GetRepositoryObject@39=9|boards;servers;=Get Repository Object Failed - rc = 9|0|1
	TNGWV_Object_GetNext@4=3|boards;servers;unispace_count;=Object GetNext Failed - rc = 3|0|1
	ObjectPropertyGet/uuid@2=6|boards;servers;unispace_count;unispace_name;=TNGWV returned unsuccessful: 6;old;managers|0|0
	TNGWV_ObjectCriteria_Allocate@21=7|boards;servers;unispace;=TNGWV_ObjectCriteria_Allocate fails! rc = 7|0|1
	TNGWV_Object_Delete@1=4|boards;servers;unispace;=TNGWV_Object_Delete fails! rc = 4|0|1
	TNGWV_ObjectPropertyList_Allocate=3|boards;servers;unispace;old;=TNGWV_ObjectPropertyList_Allocate fails! rc = 3|0|1
	UuidCreate=1739|boards;servers;unispace;old;=Could not create UUID!|0|1
	TNGWV_Object_Create=8|boards;servers;unispace;old;=TNGWV_Object_Create Fails! rc = 8|0|1
	TNGWV_ObjectCriteria_Allocate@22=7|boards;servers;unispace;old;created;=TNGWV_ObjectCriteria_Allocate fails! rc = 7|1|1
	TNGWV_Object_Delete@2=4|boards;servers;unispace;old;created;=TNGWV_Object_Delete fails! rc = 4|1|1
	EOF
'

test_expect_success 'a uuid without text form: the board or Unispace object is shown but not linked' '
  association_fixture &&
  TNG_FAULTS=UuidToStringA@1=5 quick run orxdetect demo admin B public R &&
  name_uuids out &&
  association_output "board_count;=Bad Uuid.;=Remote Vistrel Info: b1, 10.0.0.5, ;unmatched;unispace;old;managers" |
    expect_stdout &&
  grep -q "board b1 has no usable uuid" err &&
  test "$(count_of Inclusion)" = 0 &&
  association_fixture &&
  TNG_FAULTS=UuidToStringA@2=5 quick run orxdetect demo admin B public R &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  association_output "boards;servers;unispace_count;unispace_name;=Bad UUID.;=Unispace UUID: ;old;managers" |
    expect_stdout &&
  grep -q "Unispace object srvA-Unispace has no usable uuid" err &&
  test "$(count_of Inclusion)" = 0 &&
  sed -n "/Unispace Objects/,\$p" "$(install_dir)/orxdetect.log" >log-tail &&
  expect_file log-tail <<-\EOF
	Checking Unispace Objects...Unispace name to use for query: srvA-Unispace
	Bad UUID.
	Unispace UUID: 
	
	0 old RemoteVistrel Inclusion object(s) deleted successfully.
	
	There were 1 down VistrelManager object(s) deleted.
	
	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
'

test_expect_success 'a link whose uuid texts do not convert back is not made; the rest goes on' '
  association_fixture &&
  TNG_FAULTS=UuidFromStringA@1=1705 quick run orxdetect demo admin B public R &&
  name_uuids out &&
  association_output "boards;servers;unispace;old;managers" | expect_stdout &&
  grep -q "no inclusion object was made" err &&
  test "$(count_of Inclusion) $(count_of VistrelManager)" = "0 0"
'

test_expect_success 'an unknown absent status deletes no VistrelManager object' '
  association_fixture &&
  TNG_FAULTS=StatusNameToNumber=3 quick run orxdetect demo admin B public R &&
  name_uuids out &&
  association_output "boards;servers;unispace;old;created" | expect_stdout &&
  grep -q "no VistrelManager objects were deleted" err &&
  test "$(count_of VistrelManager)" = 1
'

test_expect_success 'temporary files that cannot be created end the association' '
  association_fixture &&
  mkdir "$(install_dir)/qaros2.log" &&
  quick run orxdetect demo admin B public R &&
  association_output "=Error: can'\''t open file." | expect_stdout &&
  test ! -e "$(install_dir)/qaros1.log" &&
  test "$(count_of VistrelManager)" = 1
'

test_expect_success 'no Unispace objects: nothing is deleted or created' '
  discovery_home &&
  system Orvex_RemoteVistrel b1 10.0.0.5 &&
  system Windows2000_Server srvA "$server" &&
  wvrepo object add demo VistrelManager name=vm-absent status_no:int=4 >/dev/null &&
  quick run orxdetect demo admin B public R &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  association_output "boards;servers;=Objects of class Unispace do not exist!" | expect_stdout &&
  tail -n 4 "$(install_dir)/orxdetect.log" >log-tail &&
  { none_of Unispace; closing; } | expect_file log-tail &&
  test "$(count_of VistrelManager)" = 1 &&
  ls "$(install_dir)" >files && echo orxdetect.log | expect_file files
'

test_done
