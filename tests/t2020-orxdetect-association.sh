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

{ agent_start "$carries_5" "$oid_server integer 1" "$oid_lights_out ipaddress 10.0.0.5" &&
  agent_start "$carries_7" "$oid_server integer 1" "$oid_lights_out ipaddress 10.0.0.7" &&
  agent_start "$no_board" "$oid_server integer 1"; } ||
  { say "not ok - agents did not start"; exit 1; }


# The fixture: two boards behind one server's address (10.0.0.5), one board
# named by two servers (10.0.0.7), one board no server names, a Unispace
# object without a server, an old link of this tool and a link that is not
# this tool's, a VistrelManager object that is absent and one that is not.
#
# The servers, in the order they are added: name | class | agent | board
# address the agent answers (- none) | what an all-systems pass prints after
# the device lines | class after an all-systems run.
server_rows() {
  cat <<-EOF
	srvA | Windows2000_Server | $carries_5 | 10.0.0.5 | as an Orvex Windows 2000 Server | Orvex_Windows2000_Server
	srvB | Linux              | $carries_7 | 10.0.0.7 | as an Orvex Linux Server        | Orvex_Linux
	srvC | Orvex_Novell       | $carries_7 | 10.0.0.7 | -                               | Orvex_Novell
	srvD | Orvex_SANappliance | $carries_5 | 10.0.0.5 | -                               | Orvex_SANappliance
	srvE | Novell             | $no_board  | -        | as an Orvex Novell Server       | Orvex_Novell
	EOF
}
# The boards (name, address), and the servers that have a Unispace object
# NAME-Unispace, in the order they are added.
board_rows="b5a 10.0.0.5
b5b 10.0.0.5
b7 10.0.0.7
b9 10.0.0.9"
unispace_servers="srvA srvB srvC srvD lonely"

# servers MODE: the server rows of a run in MODE (S or R), tab-separated,
# the blanks around the fields taken off. In lights-out-only mode no server
# moves and its pass prints nothing after the device lines.
servers() {
  server_rows | awk -F'|' -v OFS='\t' -v mode="$1" '
    { for (i = 1; i <= NF; i++) gsub(/^[ \t]+|[ \t]+$/, "", $i) }
    mode == "R" { $5 = "-"; $6 = $2 }
    { print }'
}

populate() {
  local name class address board
  {
    while read -r board address; do system_line Orvex_RemoteVistrel "$board" "$address"; done <<<"$board_rows"
    servers S | while IFS=$'\t' read -r name class address _; do system_line "$class" "$name" "$address"; done
    for name in $unispace_servers; do printf 'Unispace\tname=%s-Unispace\n' "$name"; done
  } | load_systems &&
  old_link 99 &&
  old_link 1 &&
  wvrepo object add demo VistrelManager name=vm-absent "status_no:int=$(status_number ANY:ABSENT)" >/dev/null &&
  wvrepo object add demo VistrelManager name=vm-normal "status_no:int=$(status_number ANY:NORMAL)" >/dev/null
}

status_number() {
  wvrepo status list demo --json | jq -r --arg name "$1" 'select(.name == $name) | .number'
}

# old_link SEQUENCE: an inclusion object between srvA-Unispace and b9; with
# the child sequence 99 it is one of this tool's.
old_link() {
  local parent child
  parent=$(wvrepo object list demo Unispace --where name=srvA-Unispace --json | jq -r .uuid) &&
  child=$(wvrepo object list demo Orvex_RemoteVistrel --where name=b9 --json | jq -r .uuid) &&
  wvrepo object add demo Inclusion "name=old-$1" class_name=Inclusion "parent_uuid:uuid=$parent" \
    "child_uuid:uuid=$child" parent_class=Unispace child_class=Orvex_RemoteVistrel \
    "child_sequence_no:int=$1" "parent_sequence_no:int=99" >/dev/null
}

# association_classes MODE: the classes of the association passes.
association_classes() {
  if [ "$1" = S ]; then echo "$orvex_association_classes $framework_association_classes"
  else echo "$framework_association_classes"; fi
}

# association_servers MODE: the servers the association asks, in its
# order: "class name address board", tab-separated.
association_servers() {
  local class
  for class in $(association_classes "$1"); do
    servers "$1" | awk -F'\t' -v OFS='\t' -v c="$class" '$6 == c { print c, $1, $3, $4 }'
  done
}

# matches MODE: "class server board address" for each board whose address a
# server the association asks answered, in the order they are found.
matches() {
  local class name address board b a
  association_servers "$1" | while IFS=$'\t' read -r class name address board; do
    while read -r b a; do
      [ "$a" != "$board" ] || printf '%s\t%s\t%s\t%s\n' "$class" "$name" "$b" "$a"
    done <<<"$board_rows"
  done
}

# transcript MODE console|log: the whole console or log of a run in MODE
# over the fixture, the uuids shown by the names of their objects.
transcript() {
  local mode=$1 to=$2 pass_classes class name address board prints b a
  if [ "$to" = console ]; then run_head; else log_head; fi
  if [ "$mode" = S ]; then pass_classes=$all_pass_classes; else pass_classes=$lights_out_pass_classes; fi
  for class in $pass_classes; do
    servers "$mode" | awk -F'\t' -v c="$class" '$2 == c' >"$CASE_DIR/pass.rows"
    found "$class" "$(wc -l <"$CASE_DIR/pass.rows")"
    while IFS=$'\t' read -r name _ address _ prints _; do
      device_lines "$name" "$address"
      [ "$prints" = - ] || reclassified "$name" "$prints"
    done <"$CASE_DIR/pass.rows"
  done
  if [ "$to" = console ]; then association_start; else association_start_log; fi
  found Orvex_RemoteVistrel "$(wc -l <<<"$board_rows")"
  if [ "$to" = console ]; then
    while read -r b a; do board_info "$b" "$a"; done <<<"$board_rows"
  fi
  for class in $(association_classes "$mode"); do
    association_servers "$mode" | awk -F'\t' -v c="$class" '$1 == c' >"$CASE_DIR/class.rows"
    found "$class" "$(wc -l <"$CASE_DIR/class.rows")"
    [ -s "$CASE_DIR/class.rows" ] || continue
    checking "$class"
    while IFS=$'\t' read -r _ name address board; do
      device_lines "$name" "$address"
      if [ "$board" = - ]; then not_reclassified; continue; fi
      lights_out_address "$board"
      if [ "$to" = console ] && [[ " $silent_match_classes " != *" $class "* ]]; then
        matches "$mode" | awk -F'\t' -v s="$name" '$2 == s' |
          while IFS=$'\t' read -r _ _ b a; do match_line "$class" "$name" "$b" "$a"; done
      fi
    done <"$CASE_DIR/class.rows"
  done
  unispace_start "$to"
  for name in $unispace_servers; do unispace_lines "$name-Unispace"; done
  old_links_deleted 1  # old-99; old-1 is not this tool's
  matches "$mode" | while IFS=$'\t' read -r _ name _ _; do link_created "$name-Unispace" "$to"; done
  managers_deleted 1   # vm-absent
  closing
}

# links MODE: the inclusion objects after a run in MODE, as `inclusions`
# shows them: one for each match, and old-1, which is not this tool's.
links() {
  {
    matches "$1" | while IFS=$'\t' read -r _ name b _; do
      echo "new Unispace $name-Unispace Orvex_RemoteVistrel $b 99 99 []"
    done
    echo "new Unispace srvA-Unispace Orvex_RemoteVistrel b9 99 1 []"
  } | sort
  echo "$(($(matches "$1" | wc -l) + 1)) distinct uuids"
}

# after MODE: the objects other than inclusions after a run in MODE.
after() {
  local name b a
  {
    servers "$1" | awk -F'\t' '{ print $6, $1 }'
    while read -r b a; do echo "Orvex_RemoteVistrel $b"; done <<<"$board_rows"
    for name in $unispace_servers; do echo "Unispace $name-Unispace"; done
    echo "VistrelManager vm-normal"
  } | sort
}

# check_mode MODE: one run in MODE over the fixture; its whole console, its
# whole log, its links and the objects after it.
check_mode() {
  local mode=$1
  discovery_home && populate &&
  quick run orxdetect demo admin B public "$mode" &&
  expect_rc 0 &&
  expect_file err </dev/null &&
  name_uuids out "$(install_dir)/orxdetect.log" &&
  transcript "$mode" console >expected.out &&
  expect_stdout <expected.out &&
  transcript "$mode" log >expected.log &&
  expect_log <expected.log &&
  inclusions >links.got && links "$mode" | expect_file links.got &&
  objects demo | grep -v "^Inclusion " >after.got &&
  after "$mode" | expect_file after.got
}

test_expect_success 'all-systems mode: boards linked to the Unispace objects of the servers that name their address' '
  check_mode S
'

test_expect_success 'lights-out-only mode: only the framework server classes are asked' '
  check_mode R
'

# inclusion_uuids: the uuids of the inclusion objects, sorted.
inclusion_uuids() {
  wvrepo object list demo Inclusion --json |
    python3 -c 'import sys, json
for line in sys.stdin: print(json.loads(line)["uuid"])' | sort
}

# relinked console|log: the deletions and creations of a second all-systems
# run: every link of the first run goes, the same links are made again, and
# no VistrelManager object is absent any more.
relinked() {
  local name
  {
    old_links_deleted "$(matches S | wc -l)"
    matches S | while IFS=$'\t' read -r _ name _ _; do link_created "$name-Unispace" "$1"; done
    managers_deleted 0
  } | sed '/^$/d'
}

test_expect_success 'a second run replaces every link of this tool with new objects of the same pairs' '
  discovery_home && populate &&
  quick run orxdetect demo admin B public S &&
  inclusions >first && inclusion_uuids >first.uuids &&
  quick run orxdetect demo admin B public S &&
  expect_rc 0 &&
  grep -E "deleted|created" out >counts &&
  relinked console | expect_file counts &&
  grep -E "deleted|created" "$(install_dir)/orxdetect.log" >logged &&
  relinked log | expect_file logged &&
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
