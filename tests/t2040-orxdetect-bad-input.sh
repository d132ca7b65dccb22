#!/usr/bin/env bash
# orxdetect with awkward data: names with blanks, names that do not fit the
# reclass argument field, lights-out answers that are not an address.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

board=$(agent_address 1)       # a lights-out board
carrier=$(agent_address 2)     # a server whose board has the address 10.0.0.5
garbled=$(agent_address 3)     # a server answering its board address as text

{ agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3" &&
  agent_start "$carrier" "$oid_server integer 1" "$oid_lights_out ipaddress 10.0.0.5" &&
  agent_start "$garbled" "$oid_server integer 1" "$oid_lights_out octet_str 10.0.0.5"; } ||
  { say "not ok - agents did not start"; exit 1; }

test_expect_success 'names with blanks are linked to the right objects and reach reclass as one word' '
  discovery_home &&
  system Host "Board One" "$board" &&
  wvrepo object add demo Orvex_RemoteVistrel "name=Board Two" address=10.0.0.5 >/dev/null &&
  system Windows2000_Server "Server A" "$carrier" &&
  wvrepo object add demo Unispace "name=Server A-Unispace" >/dev/null &&
  wvrepo object add demo Unispace "name=A-Unispace" >/dev/null &&
  record_reclass &&
  quick run orxdetect demo admin B public R &&
  expect_rc 0 &&
  reclass_runs >runs &&
  echo "/R=demo /U=admin /C=Host /O=Board One /T=Orvex_RemoteVistrel" | expect_file runs &&
  sed -n 4p "$CASE_DIR/reclass.words" >word && echo "/O=Board One" | expect_file word &&
  name_uuids out &&
  grep -E "^(Remote Vistrel|Unispace name|.*inclusion object)" out >lines &&
  expect_file lines <<-EOF &&
	Remote Vistrel Info: Board One, $board, {Board One}
	Remote Vistrel Info: Board Two, 10.0.0.5, {Board Two}
	Remote Vistrel Windows2000_Server: Server A-Unispace, Board Two, 10.0.0.5, {Board Two}
	Unispace name to use for query: Server A-Unispace
	Unispace name to use for query: A-Unispace
	Server A-Unispace: new inclusion object created successfully.
	EOF
  inclusions >links &&
  expect_file links <<-\EOF
	new Unispace Server A-Unispace Orvex_RemoteVistrel Board Two 99 99 []
	1 distinct uuids
	EOF
'

test_expect_success 'a name too long for the reclass argument is announced, refused and left in place' '
  discovery_home &&
  long=$(printf "n%.0s" $(seq 253)) &&
  system Host "$long" "$board" &&
  system Host short "$board" &&
  record_reclass &&
  quick run orxdetect demo admin B public R &&
  expect_rc 0 &&
  grep -c "^Reclassify .* as an Orvex_RemoteVistrel Device$" out >announced &&
  echo 2 | expect_file announced &&
  grep -q "the object name is 253 characters long; at most 252 fit" err &&
  reclass_runs >runs &&
  echo "/R=demo /U=admin /C=Host /O=short /T=Orvex_RemoteVistrel" | expect_file runs &&
  objects_of Host >hosts && echo "$long" | expect_file hosts
'

test_expect_success 'a lights-out address that is not four octets skips the server' '
  discovery_home &&
  wvrepo object add demo Orvex_RemoteVistrel name=b1 address=10.0.0.5 >/dev/null &&
  system Windows2000_Server garbled "$garbled" &&
  wvrepo object add demo Unispace name=garbled-Unispace >/dev/null &&
  quick run orxdetect demo admin B public R &&
  expect_rc 0 &&
  ! grep -q "Lights Out Address" out &&
  grep -q "garbled: the lights-out address answer is not four octets" err &&
  wvrepo object list demo Inclusion --json >links && test ! -s links
'

test_expect_success 'answers that do not fit their fields are refused before anything runs' '
  discovery_home &&
  run orxdetect "$(printf "r%.0s" $(seq 32))" admin B public S &&
  expect_rc 0 &&
  expect_stdout </dev/null &&
  grep -q "repository name is 32 characters long" err &&
  test ! -e "$(install_dir)/orxdetect.log"
'

test_done
