#!/usr/bin/env bash
# orxdetect's reclassification passes against real agents: every entry of
# the rule table in both modes, the rack enclosure that answers the server
# identity with an error, silent devices, and the reclass command line.
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

agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3" &&
agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" &&
agent_start "$san" "$oid_server integer 1" \
  "$oid_product octet_str \"orvex Quelnet storage management applianc\"" &&
agent_start "$tarvik" "$oid_server integer 1" "$oid_product octet_str \"Tarvik Servers\"" &&
agent_start "$board_san" "$oid_server integer 1" "$oid_kind integer 3" \
  "$oid_product octet_str \"orvex Quelnet storage management appliance v2\"" &&
agent_start "$rack" "$oid_kind integer 4" &&
agent_start "$no_identity" "$oid_kind integer 1" &&
agent_start "$station" "$oid_workstation integer 1" ||
  { say "not ok - agents did not start"; exit 1; }

# One repository with a device of every kind in every framework class.
populate() {
  system Host host-board "$board"
  system Host host-server "$server"
  system Windows2000_Server w2k-board-san "$board_san"
  system Windows2000_Server w2k-san "$san"
  system Windows2000_Server w2k-tarvik "$tarvik"
  system Windows_NetServer net-board "$board"
  system Windows_NetServer net-san "$san"
  system Windows_NetServer net-tarvik "$tarvik"
  system Windows_NetServer net-server "$server"
  system WindowsNT_Server nt-board "$board"
  system WindowsNT_Server nt-server "$server"
  system Linux linux-rack "$rack"
  system Linux linux-no-identity "$no_identity"
  system Linux linux-board "$board"
  system Linux linux-server "$server"
  system DECSystem dec-server "$server"
  system DECSystem dec-no-identity "$no_identity"
  local class
  for class in SCOUnix UnixWare Novell OS2; do
    system $class "$class-board" "$board"
    system $class "$class-server" "$server"
  done
  system WindowsXP xp-station "$station"
  system WindowsXP xp-silent "$silent"
  system Windows2000 w2kws-station "$station"
  system Windows2000 w2kws-server "$server"
  for class in WindowsNT Windows9x Windows95; do
    system $class "$class-station" "$station"
  done
}

test_expect_success 'all-systems mode: every rule entry that holds moves its device' '
  discovery_home && populate &&
  quick run orxdetect demo admin B public S &&
  expect_rc 0 &&
  expect_file err </dev/null &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  expect_stdout <<-\EOF &&

	This utility connects to the local Unicenter TNG repository and
	checks all objects to see if they are Orvex objects.
	Orvex objects will be reclassified as Orvex devices.

	Opening discovery log file: orxdetect.log


	Verifying that the Orvex classes exist

	There were 2 Host objects found:
	Device name to use for SNMP query: host-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify host-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: host-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify host-server as an Orvex Windows 2000 Server


	There were 3 Windows2000_Server objects found:
	Device name to use for SNMP query: w2k-board-san
	Device address to use for SNMP query:127.20.10.5:
	Reclassify w2k-board-san as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Reclassify w2k-san as an Orvex_SANappliance Device

	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Reclassify w2k-tarvik as an Orvex Windows 2000 Server


	There were 4 Windows_NetServer objects found:
	Device name to use for SNMP query: net-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify net-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Reclassify net-san as an Orvex_SANappliance Device

	Device name to use for SNMP query: net-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Reclassify net-tarvik as an Orvex_TarvikServer Device

	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify net-server as an Orvex Windows NetServer


	There were 2 WindowsNT_Server objects found:
	Device name to use for SNMP query: nt-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify nt-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify nt-server as an Orvex Windows NT Server


	There were 4 Linux objects found:
	Device name to use for SNMP query: linux-rack
	Device address to use for SNMP query:127.20.10.6:
	Reclassify linux-rack as an Orvex_RackEnclosure Device

	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Device name to use for SNMP query: linux-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify linux-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify linux-server as an Orvex Linux Server


	There were 2 DECSystem objects found:
	Device name to use for SNMP query: dec-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify dec-server as an Orvex DECSystem Server

	Device name to use for SNMP query: dec-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.


	There were 2 SCOUnix objects found:
	Device name to use for SNMP query: SCOUnix-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify SCOUnix-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify SCOUnix-server as an Orvex SCO Unix Server


	There were 2 UnixWare objects found:
	Device name to use for SNMP query: UnixWare-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify UnixWare-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify UnixWare-server as an Orvex UnixWare Server


	There were 2 Novell objects found:
	Device name to use for SNMP query: Novell-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify Novell-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify Novell-server as an Orvex Novell Server


	There were 2 OS2 objects found:
	Device name to use for SNMP query: OS2-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify OS2-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify OS2-server as an Orvex OS2 Device


	There were 2 WindowsXP objects found:
	Device name to use for SNMP query: xp-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify xp-station as an Orvex Windows XP Workstation

	Device name to use for SNMP query: xp-silent
	Device address to use for SNMP query:127.20.10.9:
	System xp-silent not reclassified


	There were 2 Windows2000 objects found:
	Device name to use for SNMP query: w2kws-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify w2kws-station as an Orvex Windows 2000 Workstation

	Device name to use for SNMP query: w2kws-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 WindowsNT objects found:
	Device name to use for SNMP query: WindowsNT-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify WindowsNT-station as an Orvex Windows NT Workstation


	There were 1 Windows9x objects found:
	Device name to use for SNMP query: Windows9x-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify Windows9x-station as an Orvex Windows 9x Workstation


	There were 1 Windows95 objects found:
	Device name to use for SNMP query: Windows95-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify Windows95-station as an Orvex Windows 95 Workstation


	Performing association of Remote Vistrel devices...
	Opening temporary files for qaros assocation: qaros1.log and qaros2.log


	There were 9 Orvex_RemoteVistrel objects found:
	Remote Vistrel Info: host-board, 127.20.10.1, {host-board}
	Remote Vistrel Info: w2k-board-san, 127.20.10.5, {w2k-board-san}
	Remote Vistrel Info: net-board, 127.20.10.1, {net-board}
	Remote Vistrel Info: nt-board, 127.20.10.1, {nt-board}
	Remote Vistrel Info: linux-board, 127.20.10.1, {linux-board}
	Remote Vistrel Info: SCOUnix-board, 127.20.10.1, {SCOUnix-board}
	Remote Vistrel Info: UnixWare-board, 127.20.10.1, {UnixWare-board}
	Remote Vistrel Info: Novell-board, 127.20.10.1, {Novell-board}
	Remote Vistrel Info: OS2-board, 127.20.10.1, {OS2-board}

	There were 1 Orvex_Windows2000_Server objects found:

	Checking Orvex_Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device not reclassified.


	There were 1 Orvex_Windows_NetServer objects found:

	Checking Orvex_Windows_NetServer objects found lights out devices.
	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_WindowsNT_Server objects found:

	Checking Orvex_WindowsNT_Server objects found lights out devices.
	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_Linux objects found:

	Checking Orvex_Linux objects found lights out devices.
	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_Novell objects found:

	Checking Orvex_Novell objects found lights out devices.
	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_UnixWare objects found:

	Checking Orvex_UnixWare objects found lights out devices.
	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 2 Orvex_SANappliance objects found:

	Checking Orvex_SANappliance objects found lights out devices.
	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Objects of class Orvex_VistrelManager do not exist!

	There were 1 Orvex_OS2 objects found:

	Checking Orvex_OS2 objects found lights out devices.
	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_SCOUnix objects found:

	Checking Orvex_SCOUnix objects found lights out devices.
	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.

	Objects of class Windows2000_Server do not exist!
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:

	Checking Linux objects found lights out devices.
	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Objects of class Novell do not exist!
	Objects of class UnixWare do not exist!
	Objects of class OS2 do not exist!
	Objects of class SCOUnix do not exist!
	Objects of class Unispace do not exist!

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  expect_log <<-\EOF &&
	Verifying that the Orvex classes exist

	There were 2 Host objects found:
	Device name to use for SNMP query: host-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify host-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: host-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify host-server as an Orvex Windows 2000 Server


	There were 3 Windows2000_Server objects found:
	Device name to use for SNMP query: w2k-board-san
	Device address to use for SNMP query:127.20.10.5:
	Reclassify w2k-board-san as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Reclassify w2k-san as an Orvex_SANappliance Device

	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Reclassify w2k-tarvik as an Orvex Windows 2000 Server


	There were 4 Windows_NetServer objects found:
	Device name to use for SNMP query: net-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify net-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Reclassify net-san as an Orvex_SANappliance Device

	Device name to use for SNMP query: net-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Reclassify net-tarvik as an Orvex_TarvikServer Device

	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify net-server as an Orvex Windows NetServer


	There were 2 WindowsNT_Server objects found:
	Device name to use for SNMP query: nt-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify nt-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify nt-server as an Orvex Windows NT Server


	There were 4 Linux objects found:
	Device name to use for SNMP query: linux-rack
	Device address to use for SNMP query:127.20.10.6:
	Reclassify linux-rack as an Orvex_RackEnclosure Device

	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Device name to use for SNMP query: linux-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify linux-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify linux-server as an Orvex Linux Server


	There were 2 DECSystem objects found:
	Device name to use for SNMP query: dec-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify dec-server as an Orvex DECSystem Server

	Device name to use for SNMP query: dec-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.


	There were 2 SCOUnix objects found:
	Device name to use for SNMP query: SCOUnix-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify SCOUnix-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify SCOUnix-server as an Orvex SCO Unix Server


	There were 2 UnixWare objects found:
	Device name to use for SNMP query: UnixWare-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify UnixWare-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify UnixWare-server as an Orvex UnixWare Server


	There were 2 Novell objects found:
	Device name to use for SNMP query: Novell-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify Novell-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify Novell-server as an Orvex Novell Server


	There were 2 OS2 objects found:
	Device name to use for SNMP query: OS2-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify OS2-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:
	Reclassify OS2-server as an Orvex OS2 Device


	There were 2 WindowsXP objects found:
	Device name to use for SNMP query: xp-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify xp-station as an Orvex Windows XP Workstation

	Device name to use for SNMP query: xp-silent
	Device address to use for SNMP query:127.20.10.9:
	System xp-silent not reclassified


	There were 2 Windows2000 objects found:
	Device name to use for SNMP query: w2kws-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify w2kws-station as an Orvex Windows 2000 Workstation

	Device name to use for SNMP query: w2kws-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 WindowsNT objects found:
	Device name to use for SNMP query: WindowsNT-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify WindowsNT-station as an Orvex Windows NT Workstation


	There were 1 Windows9x objects found:
	Device name to use for SNMP query: Windows9x-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify Windows9x-station as an Orvex Windows 9x Workstation


	There were 1 Windows95 objects found:
	Device name to use for SNMP query: Windows95-station
	Device address to use for SNMP query:127.20.10.8:
	Reclassify Windows95-station as an Orvex Windows 95 Workstation


	Performing association of Remote Vistrel Devices...

	There were 9 Orvex_RemoteVistrel objects found:

	There were 1 Orvex_Windows2000_Server objects found:

	Checking Orvex_Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device not reclassified.


	There were 1 Orvex_Windows_NetServer objects found:

	Checking Orvex_Windows_NetServer objects found lights out devices.
	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_WindowsNT_Server objects found:

	Checking Orvex_WindowsNT_Server objects found lights out devices.
	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_Linux objects found:

	Checking Orvex_Linux objects found lights out devices.
	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_Novell objects found:

	Checking Orvex_Novell objects found lights out devices.
	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_UnixWare objects found:

	Checking Orvex_UnixWare objects found lights out devices.
	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 2 Orvex_SANappliance objects found:

	Checking Orvex_SANappliance objects found lights out devices.
	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Objects of class Orvex_VistrelManager do not exist!

	There were 1 Orvex_OS2 objects found:

	Checking Orvex_OS2 objects found lights out devices.
	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Orvex_SCOUnix objects found:

	Checking Orvex_SCOUnix objects found lights out devices.
	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.

	Objects of class Windows2000_Server do not exist!
	Objects of class Windows_NetServer do not exist!
	Objects of class WindowsNT_Server do not exist!

	There were 1 Linux objects found:

	Checking Linux objects found lights out devices.
	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Objects of class Novell do not exist!
	Objects of class UnixWare do not exist!
	Objects of class OS2 do not exist!
	Objects of class SCOUnix do not exist!
	Objects of class Unispace do not exist!

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  systems >after &&
  expect_file after <<-\EOF
	DECSystem dec-no-identity
	Linux linux-no-identity
	Orvex_DECSystem dec-server
	Orvex_Host host-server
	Orvex_Linux linux-server
	Orvex_Novell Novell-server
	Orvex_OS2 OS2-server
	Orvex_RackEnclosure linux-rack
	Orvex_RemoteVistrel Novell-board
	Orvex_RemoteVistrel OS2-board
	Orvex_RemoteVistrel SCOUnix-board
	Orvex_RemoteVistrel UnixWare-board
	Orvex_RemoteVistrel host-board
	Orvex_RemoteVistrel linux-board
	Orvex_RemoteVistrel net-board
	Orvex_RemoteVistrel nt-board
	Orvex_RemoteVistrel w2k-board-san
	Orvex_SANappliance net-san
	Orvex_SANappliance w2k-san
	Orvex_SCOUnix SCOUnix-server
	Orvex_TarvikServer net-tarvik
	Orvex_UnixWare UnixWare-server
	Orvex_Windows2000 w2kws-station
	Orvex_Windows2000_Server w2k-tarvik
	Orvex_Windows95 Windows95-station
	Orvex_Windows9x Windows9x-station
	Orvex_WindowsNT WindowsNT-station
	Orvex_WindowsNT_Server nt-server
	Orvex_WindowsXP xp-station
	Orvex_Windows_NetServer net-server
	Windows2000 w2kws-server
	WindowsXP xp-silent
	EOF
'

test_expect_success 'lights-out-only mode: only boards and rack enclosures move; S-only passes are not visited' '
  discovery_home && populate &&
  quick run orxdetect demo admin B public R &&
  expect_rc 0 &&
  expect_file err </dev/null &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  expect_stdout <<-\EOF &&

	This utility connects to the local Unicenter TNG repository and
	checks all objects to see if they are Orvex objects.
	Orvex objects will be reclassified as Orvex devices.

	Opening discovery log file: orxdetect.log


	Verifying that the Orvex classes exist

	There were 2 Host objects found:
	Device name to use for SNMP query: host-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify host-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: host-server
	Device address to use for SNMP query:127.20.10.2:

	There were 3 Windows2000_Server objects found:
	Device name to use for SNMP query: w2k-board-san
	Device address to use for SNMP query:127.20.10.5:
	Reclassify w2k-board-san as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:

	There were 4 Windows_NetServer objects found:
	Device name to use for SNMP query: net-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify net-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Device name to use for SNMP query: net-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 WindowsNT_Server objects found:
	Device name to use for SNMP query: nt-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify nt-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:

	There were 4 Linux objects found:
	Device name to use for SNMP query: linux-rack
	Device address to use for SNMP query:127.20.10.6:
	Reclassify linux-rack as an Orvex_RackEnclosure Device

	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Device name to use for SNMP query: linux-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify linux-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 SCOUnix objects found:
	Device name to use for SNMP query: SCOUnix-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify SCOUnix-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 UnixWare objects found:
	Device name to use for SNMP query: UnixWare-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify UnixWare-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 Novell objects found:
	Device name to use for SNMP query: Novell-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify Novell-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 OS2 objects found:
	Device name to use for SNMP query: OS2-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify OS2-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:

	Performing association of Remote Vistrel devices...
	Opening temporary files for qaros assocation: qaros1.log and qaros2.log


	There were 9 Orvex_RemoteVistrel objects found:
	Remote Vistrel Info: host-board, 127.20.10.1, {host-board}
	Remote Vistrel Info: w2k-board-san, 127.20.10.5, {w2k-board-san}
	Remote Vistrel Info: net-board, 127.20.10.1, {net-board}
	Remote Vistrel Info: nt-board, 127.20.10.1, {nt-board}
	Remote Vistrel Info: linux-board, 127.20.10.1, {linux-board}
	Remote Vistrel Info: SCOUnix-board, 127.20.10.1, {SCOUnix-board}
	Remote Vistrel Info: UnixWare-board, 127.20.10.1, {UnixWare-board}
	Remote Vistrel Info: Novell-board, 127.20.10.1, {Novell-board}
	Remote Vistrel Info: OS2-board, 127.20.10.1, {OS2-board}

	There were 2 Windows2000_Server objects found:

	Checking Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device not reclassified.


	There were 3 Windows_NetServer objects found:

	Checking Windows_NetServer objects found lights out devices.
	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Device name to use for SNMP query: net-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device not reclassified.

	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 WindowsNT_Server objects found:

	Checking WindowsNT_Server objects found lights out devices.
	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 2 Linux objects found:

	Checking Linux objects found lights out devices.
	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Novell objects found:

	Checking Novell objects found lights out devices.
	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 UnixWare objects found:

	Checking UnixWare objects found lights out devices.
	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 OS2 objects found:

	Checking OS2 objects found lights out devices.
	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 SCOUnix objects found:

	Checking SCOUnix objects found lights out devices.
	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.

	Objects of class Unispace do not exist!

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  expect_log <<-\EOF &&
	Verifying that the Orvex classes exist

	There were 2 Host objects found:
	Device name to use for SNMP query: host-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify host-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: host-server
	Device address to use for SNMP query:127.20.10.2:

	There were 3 Windows2000_Server objects found:
	Device name to use for SNMP query: w2k-board-san
	Device address to use for SNMP query:127.20.10.5:
	Reclassify w2k-board-san as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:

	There were 4 Windows_NetServer objects found:
	Device name to use for SNMP query: net-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify net-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Device name to use for SNMP query: net-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 WindowsNT_Server objects found:
	Device name to use for SNMP query: nt-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify nt-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:

	There were 4 Linux objects found:
	Device name to use for SNMP query: linux-rack
	Device address to use for SNMP query:127.20.10.6:
	Reclassify linux-rack as an Orvex_RackEnclosure Device

	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Device name to use for SNMP query: linux-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify linux-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 SCOUnix objects found:
	Device name to use for SNMP query: SCOUnix-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify SCOUnix-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 UnixWare objects found:
	Device name to use for SNMP query: UnixWare-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify UnixWare-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 Novell objects found:
	Device name to use for SNMP query: Novell-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify Novell-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:

	There were 2 OS2 objects found:
	Device name to use for SNMP query: OS2-board
	Device address to use for SNMP query:127.20.10.1:
	Reclassify OS2-board as an Orvex_RemoteVistrel Device

	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:

	Performing association of Remote Vistrel Devices...

	There were 9 Orvex_RemoteVistrel objects found:

	There were 2 Windows2000_Server objects found:

	Checking Windows2000_Server objects found lights out devices.
	Device name to use for SNMP query: w2k-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Device name to use for SNMP query: w2k-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device not reclassified.


	There were 3 Windows_NetServer objects found:

	Checking Windows_NetServer objects found lights out devices.
	Device name to use for SNMP query: net-san
	Device address to use for SNMP query:127.20.10.3:
	Device not reclassified.

	Device name to use for SNMP query: net-tarvik
	Device address to use for SNMP query:127.20.10.4:
	Device not reclassified.

	Device name to use for SNMP query: net-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 WindowsNT_Server objects found:

	Checking WindowsNT_Server objects found lights out devices.
	Device name to use for SNMP query: nt-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 2 Linux objects found:

	Checking Linux objects found lights out devices.
	Device name to use for SNMP query: linux-no-identity
	Device address to use for SNMP query:127.20.10.7:
	Device not reclassified.

	Device name to use for SNMP query: linux-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 Novell objects found:

	Checking Novell objects found lights out devices.
	Device name to use for SNMP query: Novell-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 UnixWare objects found:

	Checking UnixWare objects found lights out devices.
	Device name to use for SNMP query: UnixWare-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 OS2 objects found:

	Checking OS2 objects found lights out devices.
	Device name to use for SNMP query: OS2-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.


	There were 1 SCOUnix objects found:

	Checking SCOUnix objects found lights out devices.
	Device name to use for SNMP query: SCOUnix-server
	Device address to use for SNMP query:127.20.10.2:
	Device not reclassified.

	Objects of class Unispace do not exist!

	Orvex devices have been reclassified in the Unicenter TNG
	Common Object Repository.
	EOF
  systems >after &&
  expect_file after <<-\EOF
	DECSystem dec-no-identity
	DECSystem dec-server
	Host host-server
	Linux linux-no-identity
	Linux linux-server
	Novell Novell-server
	OS2 OS2-server
	Orvex_RackEnclosure linux-rack
	Orvex_RemoteVistrel Novell-board
	Orvex_RemoteVistrel OS2-board
	Orvex_RemoteVistrel SCOUnix-board
	Orvex_RemoteVistrel UnixWare-board
	Orvex_RemoteVistrel host-board
	Orvex_RemoteVistrel linux-board
	Orvex_RemoteVistrel net-board
	Orvex_RemoteVistrel nt-board
	Orvex_RemoteVistrel w2k-board-san
	SCOUnix SCOUnix-server
	UnixWare UnixWare-server
	Windows2000 w2kws-server
	Windows2000 w2kws-station
	Windows2000_Server w2k-san
	Windows2000_Server w2k-tarvik
	Windows95 Windows95-station
	Windows9x Windows9x-station
	WindowsNT WindowsNT-station
	WindowsNT_Server nt-server
	WindowsXP xp-silent
	WindowsXP xp-station
	Windows_NetServer net-san
	Windows_NetServer net-server
	Windows_NetServer net-tarvik
	EOF
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
