#!/usr/bin/env bash
# orxdetect's association of lights-out boards with their servers: the board
# list, the association passes, the Unispace matching, the inclusion objects
# with all their properties, and the deletion of old links and of absent
# VistrelManager objects.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

carries_5=$(agent_address 1)  # a server whose board has the address 10.0.0.5
carries_7=$(agent_address 2)  # a server whose board has the address 10.0.0.7
no_board=$(agent_address 3)   # a server without a board

agent_start "$carries_5" "$oid_server integer 1" "$oid_lights_out ipaddress 10.0.0.5" &&
agent_start "$carries_7" "$oid_server integer 1" "$oid_lights_out ipaddress 10.0.0.7" &&
agent_start "$no_board" "$oid_server integer 1" ||
  { say "not ok - agents did not start"; exit 1; }


# Two boards behind one server (10.0.0.5), one board named by two servers
# (10.0.0.7), one board no server names, a Unispace object without a match,
# an old link of this tool and a link that is not this tool's.
populate() {
  local board name
  {
    for board in "b5a 10.0.0.5" "b5b 10.0.0.5" "b7 10.0.0.7" "b9 10.0.0.9"; do
      set -- $board
      system_line Orvex_RemoteVistrel "$1" "$2"
    done
    system_line Windows2000_Server srvA "$carries_5"
    system_line Linux srvB "$carries_7"
    system_line Orvex_Novell srvC "$carries_7"
    system_line Orvex_SANappliance srvD "$carries_5"
    system_line Novell srvE "$no_board"
    for name in srvA srvB srvC srvD lonely; do printf 'Unispace\tname=%s-Unispace\n' "$name"; done
  } | load_systems
  old_link 99
  old_link 1
  wvrepo object add demo VistrelManager name=vm-absent "status_no:int=$(status_number ANY:ABSENT)" >/dev/null
  wvrepo object add demo VistrelManager name=vm-normal "status_no:int=$(status_number ANY:NORMAL)" >/dev/null
}

status_number() {
  wvrepo status list demo --json | jq -r --arg name "$1" 'select(.name == $name) | .number'
}

# old_link SEQUENCE: an inclusion object between srvA-Unispace and b9.
old_link() {
  local parent child
  parent=$(wvrepo object list demo Unispace --where name=srvA-Unispace --json | jq -r .uuid)
  child=$(wvrepo object list demo Orvex_RemoteVistrel --where name=b9 --json | jq -r .uuid)
  wvrepo object add demo Inclusion "name=old-$1" class_name=Inclusion "parent_uuid:uuid=$parent" \
    "child_uuid:uuid=$child" parent_class=Unispace child_class=Orvex_RemoteVistrel \
    "child_sequence_no:int=$1" "parent_sequence_no:int=99" >/dev/null
}

test_expect_success 'all-systems mode: boards linked to the Unispace objects of the servers that name their address' '
  discovery_home && populate &&
  quick run orxdetect demo admin B public S &&
  expect_rc 0 &&
  expect_file err </dev/null &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  expect_stdout <<-EOF &&

	This utility connects to the local Unicenter TNG repository and
	checks all objects to see if they are Orvex objects.
	Orvex objects will be reclassified as Orvex devices.

	Opening discovery log file: orxdetect.log


	Verifying that the Orvex classes exist
	Objects of class Host do not exist!

	There were 1 Windows2000_Server objects found:
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Reclassify srvA as an Orvex Windows 2000 Server

	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Reclassify srvB as an Orvex Linux Server

	Objects of class DECSystem do not exist!
	Objects of class SCOUnix do not exist!
	Objects of class UnixWare do not exist!

	There were 1 Novell objects found:
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Reclassify srvE as an Orvex Novell Server

	Objects of class OS2 do not exist!
	Objects of class WindowsXP do not exist!
	Objects of class Windows2000 do not exist!
	Objects of class WindowsNT do not exist!
	Objects of class Windows9x do not exist!
	Objects of class Windows95 do not exist!

	Performing association of Remote Vistrel devices...
	Opening temporary files for qaros assocation: qaros1.log and qaros2.log


	There were 4 Orvex_RemoteVistrel objects found:
	Remote Vistrel Info: b5a, 10.0.0.5, {b5a}
	Remote Vistrel Info: b5b, 10.0.0.5, {b5b}
	Remote Vistrel Info: b7, 10.0.0.7, {b7}
	Remote Vistrel Info: b9, 10.0.0.9, {b9}

	There were 1 Orvex_Windows2000_Server objects found:

	Checking Orvex_Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Server'\''s Lights Out Address: 10.0.0.5

	Remote Vistrel Orvex_Windows2000_Server: srvA-Unispace, b5a, 10.0.0.5, {b5a}
	Remote Vistrel Orvex_Windows2000_Server: srvA-Unispace, b5b, 10.0.0.5, {b5b}
	Objects of class Orvex_Windows_NetServer do not exist!
	Objects of class Orvex_WindowsNT_Server do not exist!

	There were 1 Orvex_Linux objects found:

	Checking Orvex_Linux objects found lights out devices.
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Server'\''s Lights Out Address: 10.0.0.7

	Remote Vistrel Orvex_Linux: srvB-Unispace, b7, 10.0.0.7, {b7}

	There were 2 Orvex_Novell objects found:

	Checking Orvex_Novell objects found lights out devices.
	Device name to use for SNMP query: srvC
	Device address to use for SNMP query:$carries_7:
	Server'\''s Lights Out Address: 10.0.0.7

	Remote Vistrel Orvex_Novell: srvC-Unispace, b7, 10.0.0.7, {b7}
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Device not reclassified.

	Objects of class Orvex_UnixWare do not exist!

	There were 1 Orvex_SANappliance objects found:

	Checking Orvex_SANappliance objects found lights out devices.
	Device name to use for SNMP query: srvD
	Device address to use for SNMP query:$carries_5:
	Server'\''s Lights Out Address: 10.0.0.5

	Objects of class Orvex_VistrelManager do not exist!
	Objects of class Orvex_OS2 do not exist!
	Objects of class Orvex_SCOUnix do not exist!
	Objects of class Windows2000_Server do not exist!
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!
	Objects of class Linux do not exist!
	Objects of class Novell do not exist!
	Objects of class UnixWare do not exist!
	Objects of class OS2 do not exist!
	Objects of class SCOUnix do not exist!

	Checking Unispace objects...
	Unispace name to use for query: srvA-Unispace
	Unispace UUID: {srvA-Unispace}
	Unispace name to use for query: srvB-Unispace
	Unispace UUID: {srvB-Unispace}
	Unispace name to use for query: srvC-Unispace
	Unispace UUID: {srvC-Unispace}
	Unispace name to use for query: srvD-Unispace
	Unispace UUID: {srvD-Unispace}
	Unispace name to use for query: lonely-Unispace
	Unispace UUID: {lonely-Unispace}

	1 old RemoteVistrel Inclusion object(s) deleted successfully.
	srvA-Unispace: new inclusion object created successfully.
	srvA-Unispace: new inclusion object created successfully.
	srvB-Unispace: new inclusion object created successfully.
	srvC-Unispace: new inclusion object created successfully.
	srvD-Unispace: new inclusion object created successfully.
	srvD-Unispace: new inclusion object created successfully.

	There were 1 down VistrelManager object(s) deleted.

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  expect_log <<-EOF &&
	Verifying that the Orvex classes exist
	Objects of class Host do not exist!

	There were 1 Windows2000_Server objects found:
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Reclassify srvA as an Orvex Windows 2000 Server

	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Reclassify srvB as an Orvex Linux Server

	Objects of class DECSystem do not exist!
	Objects of class SCOUnix do not exist!
	Objects of class UnixWare do not exist!

	There were 1 Novell objects found:
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Reclassify srvE as an Orvex Novell Server

	Objects of class OS2 do not exist!
	Objects of class WindowsXP do not exist!
	Objects of class Windows2000 do not exist!
	Objects of class WindowsNT do not exist!
	Objects of class Windows9x do not exist!
	Objects of class Windows95 do not exist!

	Performing association of Remote Vistrel Devices...

	There were 4 Orvex_RemoteVistrel objects found:

	There were 1 Orvex_Windows2000_Server objects found:

	Checking Orvex_Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Server'\''s Lights Out Address: 10.0.0.5

	Objects of class Orvex_Windows_NetServer do not exist!
	Objects of class Orvex_WindowsNT_Server do not exist!

	There were 1 Orvex_Linux objects found:

	Checking Orvex_Linux objects found lights out devices.
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Server'\''s Lights Out Address: 10.0.0.7


	There were 2 Orvex_Novell objects found:

	Checking Orvex_Novell objects found lights out devices.
	Device name to use for SNMP query: srvC
	Device address to use for SNMP query:$carries_7:
	Server'\''s Lights Out Address: 10.0.0.7

	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Device not reclassified.

	Objects of class Orvex_UnixWare do not exist!

	There were 1 Orvex_SANappliance objects found:

	Checking Orvex_SANappliance objects found lights out devices.
	Device name to use for SNMP query: srvD
	Device address to use for SNMP query:$carries_5:
	Server'\''s Lights Out Address: 10.0.0.5

	Objects of class Orvex_VistrelManager do not exist!
	Objects of class Orvex_OS2 do not exist!
	Objects of class Orvex_SCOUnix do not exist!
	Objects of class Windows2000_Server do not exist!
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!
	Objects of class Linux do not exist!
	Objects of class Novell do not exist!
	Objects of class UnixWare do not exist!
	Objects of class OS2 do not exist!
	Objects of class SCOUnix do not exist!

	Checking Unispace Objects...Unispace name to use for query: srvA-Unispace
	Unispace UUID: {srvA-Unispace}
	Unispace name to use for query: srvB-Unispace
	Unispace UUID: {srvB-Unispace}
	Unispace name to use for query: srvC-Unispace
	Unispace UUID: {srvC-Unispace}
	Unispace name to use for query: srvD-Unispace
	Unispace UUID: {srvD-Unispace}
	Unispace name to use for query: lonely-Unispace
	Unispace UUID: {lonely-Unispace}

	1 old RemoteVistrel Inclusion object(s) deleted successfully.
	srvA-Unispace: new QAROS inclusion object created successfully.
	srvA-Unispace: new QAROS inclusion object created successfully.
	srvB-Unispace: new QAROS inclusion object created successfully.
	srvC-Unispace: new QAROS inclusion object created successfully.
	srvD-Unispace: new QAROS inclusion object created successfully.
	srvD-Unispace: new QAROS inclusion object created successfully.

	There were 1 down VistrelManager object(s) deleted.

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  inclusions >links &&
  expect_file links <<-\EOF &&
	new Unispace srvA-Unispace Orvex_RemoteVistrel b5a 99 99 []
	new Unispace srvA-Unispace Orvex_RemoteVistrel b5b 99 99 []
	new Unispace srvA-Unispace Orvex_RemoteVistrel b9 99 1 []
	new Unispace srvB-Unispace Orvex_RemoteVistrel b7 99 99 []
	new Unispace srvC-Unispace Orvex_RemoteVistrel b7 99 99 []
	new Unispace srvD-Unispace Orvex_RemoteVistrel b5a 99 99 []
	new Unispace srvD-Unispace Orvex_RemoteVistrel b5b 99 99 []
	7 distinct uuids
	EOF
  objects demo | grep -v "^Inclusion " >after &&
  expect_file after <<-\EOF
	Orvex_Linux srvB
	Orvex_Novell srvC
	Orvex_Novell srvE
	Orvex_RemoteVistrel b5a
	Orvex_RemoteVistrel b5b
	Orvex_RemoteVistrel b7
	Orvex_RemoteVistrel b9
	Orvex_SANappliance srvD
	Orvex_Windows2000_Server srvA
	Unispace lonely-Unispace
	Unispace srvA-Unispace
	Unispace srvB-Unispace
	Unispace srvC-Unispace
	Unispace srvD-Unispace
	VistrelManager vm-normal
	EOF
'

test_expect_success 'lights-out-only mode: only the framework server classes are asked' '
  discovery_home && populate &&
  quick run orxdetect demo admin B public R &&
  expect_rc 0 &&
  expect_file err </dev/null &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  expect_stdout <<-EOF &&

	This utility connects to the local Unicenter TNG repository and
	checks all objects to see if they are Orvex objects.
	Orvex objects will be reclassified as Orvex devices.

	Opening discovery log file: orxdetect.log


	Verifying that the Orvex classes exist
	Objects of class Host do not exist!

	There were 1 Windows2000_Server objects found:
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Objects of class SCOUnix do not exist!
	Objects of class UnixWare do not exist!

	There were 1 Novell objects found:
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Objects of class OS2 do not exist!

	Performing association of Remote Vistrel devices...
	Opening temporary files for qaros assocation: qaros1.log and qaros2.log


	There were 4 Orvex_RemoteVistrel objects found:
	Remote Vistrel Info: b5a, 10.0.0.5, {b5a}
	Remote Vistrel Info: b5b, 10.0.0.5, {b5b}
	Remote Vistrel Info: b7, 10.0.0.7, {b7}
	Remote Vistrel Info: b9, 10.0.0.9, {b9}

	There were 1 Windows2000_Server objects found:

	Checking Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Server'\''s Lights Out Address: 10.0.0.5

	Remote Vistrel Windows2000_Server: srvA-Unispace, b5a, 10.0.0.5, {b5a}
	Remote Vistrel Windows2000_Server: srvA-Unispace, b5b, 10.0.0.5, {b5b}
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:

	Checking Linux objects found lights out devices.
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Server'\''s Lights Out Address: 10.0.0.7

	Remote Vistrel Linux: srvB-Unispace, b7, 10.0.0.7, {b7}

	There were 1 Novell objects found:

	Checking Novell objects found lights out devices.
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Device not reclassified.

	Objects of class UnixWare do not exist!
	Objects of class OS2 do not exist!
	Objects of class SCOUnix do not exist!

	Checking Unispace objects...
	Unispace name to use for query: srvA-Unispace
	Unispace UUID: {srvA-Unispace}
	Unispace name to use for query: srvB-Unispace
	Unispace UUID: {srvB-Unispace}
	Unispace name to use for query: srvC-Unispace
	Unispace UUID: {srvC-Unispace}
	Unispace name to use for query: srvD-Unispace
	Unispace UUID: {srvD-Unispace}
	Unispace name to use for query: lonely-Unispace
	Unispace UUID: {lonely-Unispace}

	1 old RemoteVistrel Inclusion object(s) deleted successfully.
	srvA-Unispace: new inclusion object created successfully.
	srvA-Unispace: new inclusion object created successfully.
	srvB-Unispace: new inclusion object created successfully.

	There were 1 down VistrelManager object(s) deleted.

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  expect_log <<-EOF &&
	Verifying that the Orvex classes exist
	Objects of class Host do not exist!

	There were 1 Windows2000_Server objects found:
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Objects of class SCOUnix do not exist!
	Objects of class UnixWare do not exist!

	There were 1 Novell objects found:
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Objects of class OS2 do not exist!

	Performing association of Remote Vistrel Devices...

	There were 4 Orvex_RemoteVistrel objects found:

	There were 1 Windows2000_Server objects found:

	Checking Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: srvA
	Device address to use for SNMP query:$carries_5:
	Server'\''s Lights Out Address: 10.0.0.5

	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:

	Checking Linux objects found lights out devices.
	Device name to use for SNMP query: srvB
	Device address to use for SNMP query:$carries_7:
	Server'\''s Lights Out Address: 10.0.0.7


	There were 1 Novell objects found:

	Checking Novell objects found lights out devices.
	Device name to use for SNMP query: srvE
	Device address to use for SNMP query:$no_board:
	Device not reclassified.

	Objects of class UnixWare do not exist!
	Objects of class OS2 do not exist!
	Objects of class SCOUnix do not exist!

	Checking Unispace Objects...Unispace name to use for query: srvA-Unispace
	Unispace UUID: {srvA-Unispace}
	Unispace name to use for query: srvB-Unispace
	Unispace UUID: {srvB-Unispace}
	Unispace name to use for query: srvC-Unispace
	Unispace UUID: {srvC-Unispace}
	Unispace name to use for query: srvD-Unispace
	Unispace UUID: {srvD-Unispace}
	Unispace name to use for query: lonely-Unispace
	Unispace UUID: {lonely-Unispace}

	1 old RemoteVistrel Inclusion object(s) deleted successfully.
	srvA-Unispace: new QAROS inclusion object created successfully.
	srvA-Unispace: new QAROS inclusion object created successfully.
	srvB-Unispace: new QAROS inclusion object created successfully.

	There were 1 down VistrelManager object(s) deleted.

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  inclusions >links &&
  expect_file links <<-\EOF &&
	new Unispace srvA-Unispace Orvex_RemoteVistrel b5a 99 99 []
	new Unispace srvA-Unispace Orvex_RemoteVistrel b5b 99 99 []
	new Unispace srvA-Unispace Orvex_RemoteVistrel b9 99 1 []
	new Unispace srvB-Unispace Orvex_RemoteVistrel b7 99 99 []
	4 distinct uuids
	EOF
  objects demo | grep -v "^Inclusion " >after &&
  expect_file after <<-\EOF
	Linux srvB
	Novell srvE
	Orvex_Novell srvC
	Orvex_RemoteVistrel b5a
	Orvex_RemoteVistrel b5b
	Orvex_RemoteVistrel b7
	Orvex_RemoteVistrel b9
	Orvex_SANappliance srvD
	Unispace lonely-Unispace
	Unispace srvA-Unispace
	Unispace srvB-Unispace
	Unispace srvC-Unispace
	Unispace srvD-Unispace
	VistrelManager vm-normal
	Windows2000_Server srvA
	EOF
'

# inclusion_uuids: the uuids of the inclusion objects, sorted.
inclusion_uuids() {
  wvrepo object list demo Inclusion --json |
    python3 -c 'import sys, json
for line in sys.stdin: print(json.loads(line)["uuid"])' | sort
}

test_expect_success 'a second run replaces every link of this tool with new objects of the same pairs' '
  discovery_home && populate &&
  quick run orxdetect demo admin B public S &&
  inclusions >first && inclusion_uuids >first.uuids &&
  quick run orxdetect demo admin B public S &&
  expect_rc 0 &&
  grep -E "deleted|created" out >counts &&
  expect_file counts <<-\EOF &&
	6 old RemoteVistrel Inclusion object(s) deleted successfully.
	srvA-Unispace: new inclusion object created successfully.
	srvA-Unispace: new inclusion object created successfully.
	srvB-Unispace: new inclusion object created successfully.
	srvC-Unispace: new inclusion object created successfully.
	srvD-Unispace: new inclusion object created successfully.
	srvD-Unispace: new inclusion object created successfully.
	There were 0 down VistrelManager object(s) deleted.
	EOF
  grep -E "deleted|created" "$(install_dir)/orxdetect.log" >logged &&
  expect_file logged <<-\EOF &&
	6 old RemoteVistrel Inclusion object(s) deleted successfully.
	srvA-Unispace: new QAROS inclusion object created successfully.
	srvA-Unispace: new QAROS inclusion object created successfully.
	srvB-Unispace: new QAROS inclusion object created successfully.
	srvC-Unispace: new QAROS inclusion object created successfully.
	srvD-Unispace: new QAROS inclusion object created successfully.
	srvD-Unispace: new QAROS inclusion object created successfully.
	There were 0 down VistrelManager object(s) deleted.
	EOF
  inclusions >second && inclusion_uuids >second.uuids &&
  cmp first second &&
  comm -12 first.uuids second.uuids >kept &&
  wvrepo object list demo Inclusion --where name=old-1 --json >old-1 &&
  test "$(wc -l <kept)" = 1 && grep -q "$(cat kept)" old-1
'

test_expect_success 'without boards nothing is associated, deleted or created' '
  discovery_home &&
  system Windows2000_Server srvA "$carries_5" &&
  wvrepo object add demo Unispace name=srvA-Unispace >/dev/null &&
  wvrepo object add demo VistrelManager name=vm-absent "status_no:int=$(status_number ANY:ABSENT)" >/dev/null &&
  quick run orxdetect demo admin B public R &&
  expect_rc 0 &&
  sed -n "/^Performing/,\$p" out >tail &&
  expect_file tail <<-\EOF &&
	Performing association of Remote Vistrel devices...
	Opening temporary files for qaros assocation: qaros1.log and qaros2.log

	Objects of class Orvex_RemoteVistrel do not exist!

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  objects demo >after &&
  expect_file after <<-\EOF
	Unispace srvA-Unispace
	VistrelManager vm-absent
	Windows2000_Server srvA
	EOF
'

test_done
