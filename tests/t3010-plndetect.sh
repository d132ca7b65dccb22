#!/usr/bin/env bash
# plndetect against real agents on loopback: the passes and their messages,
# the probe's outcomes, the reclass words, the closing lines after each way
# the Linux pass can end, the Novell switch, bad input and injected faults.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"

SERVER_OID=.1.3.6.1.4.1.232.11.2.2.4.0
WORKSTATION_OID=.1.3.6.1.4.1.232.1.1.1.0

server=$(agent_address 1)       # a server agent
workstation=$(agent_address 2)  # a workstation agent
bare=$(agent_address 3)         # an agent with nothing under the enterprise subtree
silent=$(agent_address 4)       # nobody listens
{ agent_start "$server" "$SERVER_OID integer 2" &&
  agent_start "$workstation" "$WORKSTATION_OID octet_str \"Pellion Workstation\"" &&
  agent_start "$bare"; } || { say "not ok - agents did not start"; exit 1; }

# A silent device costs 100 ms, not 16 seconds.
export ORX_SNMP_TIMEOUT_MS=100 ORX_SNMP_RETRIES=0

ALL_CLASSES="Windows2000_Server WindowsNT_Server Novell UnixWare Windows2000 WindowsNT
  Windows95 Windows9x DECSystem SCOUnix OS2 Linux"
NO_NOVELL="Windows2000_Server WindowsNT_Server UnixWare Windows2000 WindowsNT Windows95
  Windows9x DECSystem SCOUnix OS2 Linux"
BEFORE_LINUX="Windows2000_Server WindowsNT_Server UnixWare Windows2000 WindowsNT Windows95
  Windows9x DECSystem SCOUnix OS2"

banner() {
  printf 'This utility connects to the local Unicenter TNG repository and\n'
  printf 'checks all objects to see if they are Pellion objects.\n'
  printf 'Pellion objects will be reclassified as Pellion devices.\n\n'
}
usage() {
  printf '\nTo few arguments passed to PLNDETECT.EXE\n\n'
  printf 'Usage: PLNDETECT RepositoryName UserName Password CommunityString Y/N\n\n'
  printf 'RepositoryName:  Name of the Unicenter TNG Repository\n'
  printf 'UserName:        User name for logging into the repository\n'
  printf 'Password:        Password for the specified user name\n'
  printf 'CommunityString: Community string to be used by SNMP during discovery\n'
  printf 'Y or N:          Reclassify Novell Objects (Yes or No)\n\n'
  printf 'Note: Enter B for the password if the password is blank.\n\n'
}
closing() {
  printf '\nPellion devices have been reclassified in the Unicenter TNG\n'
  printf 'Common Object Repository.\n'
}
none() { for c in "$@"; do printf 'Objects of class %s do not exist!\n' "$c"; done; }
found() { printf '\nThere were %d %s objects found:\n' "$1" "$2"; }
device() { printf 'Device name to use for SNMP query: %s\nDevice address to use for SNMP query: %s\n' "$1" "$2"; }
reclassify() { printf 'Reclassify %s as a Pellion %s\n\n' "$1" "$2"; }
not_reclassified() { printf 'Device not reclassified.\n\n'; }
no_answer() { printf 'Could not complete the SNMP request\n\n'; }
unresolved() { printf 'Could not resolve hostname\n\n'; }

# A repository "demo" with the Pellion classes, user admin (blank password)
# and user ops (password "s3cret").
pellion_repo() {
  fresh_home &&
  make_repo demo &&
  printf 's3cret\n' | wvrepo user add demo ops >/dev/null &&
  load_classes demo PLNAddClass.TNG
}
add() {
  local class=$1
  shift
  wvrepo object add demo "$class" "$@" >/dev/null
}

test_expect_success 'fewer than five arguments print the usage block, exit code 0' '
  for args in "" "demo" "demo admin B public"; do
    run plndetect $args &&
    expect_rc 0 &&
    usage | expect_stdout || exit 1
  done
'

test_expect_success 'a full run: every pass in order, every probe outcome, the reclass words' '
  pellion_repo &&
  add Windows2000_Server name=srv1 address=$server &&
  add Windows2000_Server name=srv2 address=$bare &&
  add Novell name=nw1 address=$server &&
  add Windows2000 name=ws1 address=$workstation &&
  add Windows2000 name=ws2 address=$server &&
  add WindowsNT name:int=42 address=$workstation &&
  add Windows95 name=w95 address:int=5 &&
  add Windows9x name=w98 address= &&
  add DECSystem name=dec1 address=nosuch.invalid &&
  add SCOUnix name=sco1 address=$silent &&
  add Linux name=lin1 address=$server:161 &&
  record_reclass &&
  run plndetect demo admin B public N extra words &&
  expect_rc 0 &&
  {
    banner; printf "\n"
    found 2 Windows2000_Server
    device srv1 $server; reclassify srv1 "Windows 2000 Server"
    device srv2 $bare; not_reclassified
    none WindowsNT_Server UnixWare
    found 2 Windows2000
    device ws1 $workstation; reclassify ws1 "Windows 2000 Workstation"
    device ws2 $server; not_reclassified
    found 1 WindowsNT
    printf "  name = 42\nDevice address to use for SNMP query: %s\n" $workstation
    reclassify "" "NT Workstation"
    found 1 Windows95
    printf "Device name to use for SNMP query: w95\n  address = 5\n"; unresolved
    found 1 Windows9x
    device w98 ""; unresolved
    found 1 DECSystem
    device dec1 nosuch.invalid; unresolved
    found 1 SCOUnix
    device sco1 $silent; no_answer
    none OS2
    found 1 Linux
    device lin1 $server:161; reclassify lin1 "Linux System"
    closing
  } >expected &&
  expect_stdout <expected &&
  expect_file reclass.words <<-\EOF &&
	/R=demo
	/U=admin
	/C=Windows2000_Server
	/O=srv1
	/T=Pellion_Windows2000_Server
	--
	/R=demo
	/U=admin
	/C=Windows2000
	/O=ws1
	/T=Pellion_Windows2000
	--
	/R=demo
	/U=admin
	/C=WindowsNT
	/O=
	/T=Pellion_WindowsNT
	--
	/R=demo
	/U=admin
	/C=Linux
	/O=lin1
	/T=Pellion_Linux
	--
	EOF
  objects demo >after &&
  expect_file after <<-\EOF
	DECSystem dec1
	Novell nw1
	Pellion_Linux lin1
	Pellion_Windows2000 ws1
	Pellion_Windows2000_Server srv1
	SCOUnix sco1
	Windows2000 ws2
	Windows2000_Server srv2
	Windows95 w95
	Windows9x w98
	WindowsNT 42
	EOF
'

test_expect_success 'only a fifth argument of exactly Y runs the Novell pass' '
  pellion_repo &&
  add Novell name=nw1 address=$server &&
  for switch in y N yes Yes ""; do
    run plndetect demo admin B public "$switch" &&
    expect_rc 0 &&
    { banner; printf "\n"; none $NO_NOVELL; } | expect_stdout || { say "switch \"$switch\"" >&2; exit 1; }
  done &&
  objects demo Novell >still && expect_file still <<-\EOF &&
	Novell nw1
	EOF
  run plndetect demo admin B public Y &&
  expect_rc 0 &&
  {
    banner; printf "\n"; none Windows2000_Server WindowsNT_Server
    found 1 Novell; device nw1 $server; reclassify nw1 "Novell Server"
    none UnixWare Windows2000 WindowsNT Windows95 Windows9x DECSystem SCOUnix OS2 Linux
  } | expect_stdout &&
  objects demo Pellion_Novell >moved && expect_file moved <<-\EOF
	Pellion_Novell nw1
	EOF
'

test_expect_success 'a password other than B reaches reclass, and no blank line is printed' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  record_reclass &&
  run plndetect demo ops s3cret public N &&
  expect_rc 0 &&
  { banner; none $BEFORE_LINUX; found 1 Linux; device lin1 $server
    reclassify lin1 "Linux System"; closing; } | expect_stdout &&
  reclass_run 1 >words && expect_file words <<-\EOF &&
	/R=demo
	/U=ops
	/W=s3cret
	/C=Linux
	/O=lin1
	/T=Pellion_Linux
	EOF
  objects demo Pellion_Linux >moved && expect_file moved <<-\EOF
	Pellion_Linux lin1
	EOF
'

test_expect_success 'password B: the blank line comes after the kernel starts, even before a failed connect' '
  fresh_home &&
  run plndetect nosuchrepo admin B public N &&
  expect_rc 0 &&
  { banner; printf "\nRepository Connect Failed\n"; } | expect_stdout &&
  run plndetect nosuchrepo admin pw public N &&
  expect_rc 0 &&
  { banner; printf "Repository Connect Failed\n"; } | expect_stdout &&
  TNG_FAULTS=TNGWV_Kernel_Start=1 run plndetect nosuchrepo admin B public N &&
  expect_rc 0 &&
  { banner; printf "Kernel Start Failed\n"; } | expect_stdout
'

# TNG_FAULTS | count the queries report | what the Linux pass prints after
# its object-count message | closing lines? The only object is lin1 in
# Linux, answering at the server agent; a reported count of 3 makes every
# pass walk until the end of its list (return code 15).
linux_endings='
|1|device lin1 SERVER; reclassify lin1 "Linux System"|yes
GetRepositoryObject/count=3|3|device lin1 SERVER; reclassify lin1 "Linux System"|yes
ObjectPropertyGet/name=2|1||yes
ObjectPropertyGet/address=2|1|printf "Device name to use for SNMP query: lin1\nTNGWV returned unsuccessful: 2\n"|yes
TNGWV_Object_GetNext=5|1|printf "Object GetNext Failed - rc = 5\n"|no
'

test_expect_success 'the closing lines follow a Linux pass that walked its objects' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  printf "%s\n" "$linux_endings" | sed "/^$/d; s/SERVER/$server/" |
  while IFS="|" read -r faults count body closes; do
    wvrepo object del demo Pellion_Linux >/dev/null 2>&1 || true
    objects demo | grep -q "^Linux lin1$" || add Linux name=lin1 address=$server
    TNG_FAULTS=$faults run plndetect demo admin B public N &&
    expect_rc 0 &&
    { banner; printf "\n"
      if [ "$count" = 1 ]; then none $BEFORE_LINUX; else for c in $BEFORE_LINUX; do found $count $c; done; fi
      found $count Linux
      eval "$body"
      if [ "$closes" = yes ]; then closing; fi; } | expect_stdout ||
      { say "faults \"$faults\"" >&2; exit 1; }
  done
'

# TNG_FAULTS | what the Linux pass prints instead of its objects
linux_stops='
TNGWV_ObjectCriteria_Allocate@11=3|Allocating Repository Object Criteria Failed
GetRepositoryObject@11=7|Get Repository Object Failed - rc = 7
'

test_expect_success 'no closing lines when the Linux pass stops before its objects' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  printf "%s\n" "$linux_stops" | sed /^$/d |
  while IFS="|" read -r faults line; do
    TNG_FAULTS=$faults run plndetect demo admin B public N &&
    expect_rc 0 &&
    { banner; printf "\n"; none $BEFORE_LINUX; printf "%s\n" "$line"; } | expect_stdout ||
      { say "faults \"$faults\"" >&2; exit 1; }
  done &&
  wvrepo object del demo Linux >/dev/null &&
  run plndetect demo admin B public N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $NO_NOVELL; } | expect_stdout &&
  wvrepo class drop demo Linux >/dev/null &&
  run plndetect demo admin B public N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $BEFORE_LINUX; printf "Class Linux does not exist\n"; } | expect_stdout
'

test_expect_success 'an identifier that cannot be converted ends the run at once with exit code 1' '
  pellion_repo &&
  add Windows2000_Server name=srv1 address=$server &&
  add Linux name=lin1 address=$server &&
  TNG_FAULTS=SnmpMgrStrToOid=0 run plndetect demo admin B public N &&
  expect_rc 1 &&
  { banner; printf "\n"; found 1 Windows2000_Server; device srv1 $server
    printf "Error converting object identifier.\n"; } | expect_stdout &&
  objects demo >after && expect_file after <<-\EOF
	Linux lin1
	Windows2000_Server srv1
	EOF
'

test_expect_success 'a failing close is reported after the reclassification, and after a refusal' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  add Linux name=lin2 address=$bare &&
  record_reclass &&
  TNG_FAULTS=SnmpMgrClose=0 run plndetect demo admin B public N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $BEFORE_LINUX; found 2 Linux
    device lin1 $server; reclassify lin1 "Linux System"; printf "Error ending SNMP session\n"
    device lin2 $bare; not_reclassified; printf "Error ending SNMP session\n"
    closing; } | expect_stdout &&
  objects demo >after && expect_file after <<-\EOF
	Linux lin2
	Pellion_Linux lin1
	EOF
'

test_expect_success 'without memory for the list no request is sent and the device is skipped' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  add Linux name=lin2 address=$server &&
  TNG_FAULTS=SnmpUtilMemReAlloc@1=0 run plndetect demo admin B public N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $BEFORE_LINUX; found 2 Linux
    device lin1 $server; printf "Error Allocating Object Identifier\n"
    device lin2 $server; reclassify lin2 "Linux System"
    closing; } | expect_stdout &&
  objects demo >after && expect_file after <<-\EOF
	Linux lin1
	Pellion_Linux lin2
	EOF
'

test_expect_success 'SNMPv2c: an agent without the object is not reclassified either' '
  pellion_repo &&
  add Linux name=lin1 address=$bare &&
  ORX_SNMP_VERSION=2c run plndetect demo admin B public N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $BEFORE_LINUX; found 1 Linux; device lin1 $bare
    not_reclassified; closing; } | expect_stdout
'

test_expect_success 'a wrong community string gets no answer' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  run plndetect demo admin B private N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $BEFORE_LINUX; found 1 Linux; device lin1 $server
    no_answer; closing; } | expect_stdout
'

long() { head -c "$1" /dev/zero | tr "\0" "${2:-x}"; }

test_expect_success 'arguments that do not fit their fields are refused, nothing done, exit code 2' '
  pellion_repo &&
  add Linux name=lin1 address=$server &&
  for args in "$(long 29) admin B" "demo $(long 253) B" "demo admin $(long 253)"; do
    set -- $args
    run plndetect "$1" "$2" "$3" public N &&
    expect_rc 2 &&
    expect_stdout_empty &&
    grep -q "at most" err || { say "arguments: ${#1} ${#2} ${#3} characters" >&2; exit 1; }
  done &&
  objects demo Linux >still && expect_file still <<-\EOF &&
	Linux lin1
	EOF
  run plndetect $(long 28) $(long 252) $(long 252) public N &&
  expect_rc 0 &&
  { banner; printf "Repository Connect Failed\n"; } | expect_stdout
'

test_expect_success 'the longest repository and object names that fit are used in full' '
  pellion_repo &&
  repo=$(long 28 r) &&
  make_repo "$repo" &&
  load_classes "$repo" PLNAddClass.TNG &&
  wvrepo object add "$repo" Linux name=$(long 252 n) address=$server >/dev/null &&
  wvrepo object add "$repo" Linux name=$(long 253 m) address=$server >/dev/null &&
  record_reclass &&
  run plndetect "$repo" admin B public N &&
  expect_rc 0 &&
  { banner; printf "\n"; none $BEFORE_LINUX; found 2 Linux
    device $(long 252 n) $server; reclassify $(long 252 n) "Linux System"
    device $(long 253 m) $server; closing; } | expect_stdout &&
  grep -q "not reclassified: the object name is 253 characters long; at most 252 fit" err &&
  objects "$repo" >after &&
  { echo "Linux $(long 253 m)"; echo "Pellion_Linux $(long 252 n)"; } | expect_file after
'

test_done
