#!/usr/bin/env bash
# Preview and apply: with TNG_PREVIEW=PLANFILE each bulk tool prints what
# its real run prints and leaves the repository as it was, writing the plan;
# `wvrepo plan apply` then gives what the real run gives, or refuses (objects
# changed since the preview, a wrong password, a plan edited, of another
# repository, or no plan at all) and changes nothing; an interrupted preview
# leaves nothing behind. TNG_TEST_BACKEND=pg runs every case on a server
# repository.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

server=$(agent_address 1)  # a server whose lights-out board answers at $board
board=$(agent_address 2)   # a lights-out board
silent=$(agent_address 3)  # nobody listens
if ! agent_start "$server" "$oid_server integer 1" "$oid_lights_out ipaddress $board" ||
  ! agent_start "$board" "$oid_server integer 1" "$oid_kind integer 3"; then
  say "not ok - agents did not start"
  exit 1
fi
# A silent device costs 200 ms; plndetect's own 4 s and 3 retries too.
export ORX_SNMP_TIMEOUT_MS=200 ORX_SNMP_RETRIES=0

# The world every tool finds work in: a server and its board in framework
# classes (discovery moves the board in the first pass and links it to the
# server's Unispace object in the association), a silent system, an old
# link and an absent manager to delete, objects of both vendors' classes
# to migrate, and the users admin (blank password) and ops ("s3cret").
world() { made_once world make_world; }
make_world() {
  fresh_home && make_repo demo && printf 's3cret\n' | wvrepo user add demo ops >/dev/null &&
  load_classes demo ORXAddClass.TNG PLNAddClass.TNG &&
  {
    system_line Windows2000_Server srvA "$server"
    system_line Host brd1 "$board"
    system_line Linux quiet "$silent"
    system_line Orvex_RemoteVistrel brd-old 10.0.0.9
    printf 'Unispace\tname=srvA-Unispace\nUnispace\tname=lonely-Unispace\n'
    for object in Pellion_Linux:pel1 Pellion_Linux:pel2 Pellion_Host:pel3 \
      Pellion_Windows2000_Server:pel4 Orvex_Novell:orx1 Orvex_Linux:orx2; do
      printf '%s\tname=%s\n' "${object%%:*}" "${object#*:}"
    done
  } | load_systems &&
  wvrepo object add demo Inclusion class_name=Inclusion \
    "parent_uuid:uuid=$(uuid_of Unispace srvA-Unispace)" "child_uuid:uuid=$(uuid_of Orvex_RemoteVistrel brd-old)" \
    parent_class=Unispace child_class=Orvex_RemoteVistrel child_sequence_no:int=99 \
    parent_sequence_no:int=99 >/dev/null &&
  wvrepo object add demo VistrelManager name=vm-absent "status_no:int=$(status_number ANY:ABSENT)" >/dev/null &&
  wvrepo object add demo VistrelManager name=vm-up "status_no:int=$(status_number ANY:NORMAL)" >/dev/null
}
uuid_of() { wvrepo object list demo "$1" --where "name=$2" --json | jq -r .uuid; }
status_number() { wvrepo status list demo --json | jq -r --arg n "$1" 'select(.name == $n) | .number'; }

# contents: the objects of "demo", one JSON line each, sorted; the uuid of
# an inclusion object (new in every real run) as "made".
contents() {
  wvrepo object list demo --json | jq -c 'if .class_name == "Inclusion" then .uuid = "made" else . end' | sort
}
# state: everything a preview must leave as it was: the objects with their
# uuids, the audit trail, the registered repositories and, on a server, the
# repositories' schemas.
state() {
  wvrepo object list demo --json | sort
  wvrepo audit demo
  ls "$TNG_HOME/repositories"
  copies_on_server
}
copies_on_server() {
  [ "$TNG_TEST_BACKEND" = pg ] || return 0
  repo_sql demo "SELECT nspname FROM pg_namespace WHERE nspname LIKE 'tng_%' ORDER BY 1"
}
# no_copy_left: no preview copy is registered or on the server.
no_copy_left() {
  ! compgen -G "$TNG_HOME/repositories/preview-*" >/dev/null &&
  ! copies_on_server | grep -q '^tng_preview-'
}
apply_plan() { printf '%s\n' "$2" | wvrepo plan apply demo "$1" --user ops "${@:3}"; }

# preview_is_the_run TOOL ARGS...: the preview's standard output, error
# (less its plan line) and log are those of the real run; it changes
# nothing, and its plan applied gives what the real run gives.
preview_is_the_run() {
  local log="$TNG_HOME/install/orxdetect.log"
  world && state >before &&
  TNG_PREVIEW=plan.json run "$@" &&
  for f in out err rc; do mv "$f" "preview.$f"; done &&
  if [ -e "$log" ]; then mv "$log" preview.log; fi &&
  state >after && expect_file after <before &&
  test "$(tail -n 1 preview.err)" = "preview: $(jq '.changes | length' plan.json) changes written to plan.json" &&
  sed -i '$d' preview.err &&
  ! grep -q -e s3cret -e public plan.json &&
  apply_plan plan.json s3cret >applied.out &&
  changes=$(jq ".changes | length" plan.json) &&
  echo "$changes of $changes changes applied to demo" | expect_file applied.out &&
  contents >applied &&
  # Each move's audit record names the user and the plan's digest.
  wvrepo audit demo --json | jq -r --arg plan "plan:$(jq -r .digest plan.json)" \
    'select(.action == $plan) | "\(.user) \(.uuid) \(.from) \(.to)"' >audited &&
  jq -r '.changes[] | select(.kind == "move") | "ops \(.uuid) \(.from) \(.to)"' plan.json |
    expect_file audited &&
  world && run "$@" &&
  expect_file out <preview.out && expect_file err <preview.err && expect_file rc <preview.rc &&
  if [ -e preview.log ]; then expect_file "$log" <preview.log; fi &&
  contents | expect_file applied
}

while read -r tool args; do
  test_expect_success "$tool: the preview prints what the run prints, changes nothing; its plan gives what the run gives" "
    preview_is_the_run $tool $args
  "
done <<-\EOF
	orxdetect demo ops s3cret public S
	plndetect demo ops s3cret public N
	ClassLift demo ops s3cret
	orxrevert demo ops s3cret
	plnrevert demo ops s3cret
EOF

test_expect_success 'a discovery plan: its changes in the order made, with their evidence, listed by kind and class' '
  world && TNG_PREVIEW=plan.json run orxdetect demo ops s3cret public S &&
  jq -r ".changes[] | [.kind, .name, .class, .to // \"\"] | join(\" \")" plan.json >changes &&
  expect_file changes <<-\EOF &&
	move brd1 Host Orvex_RemoteVistrel
	move srvA Windows2000_Server Orvex_Windows2000_Server
	unlink  Inclusion 
	link  Inclusion 
	delete vm-absent VistrelManager 
	EOF
  run wvrepo plan show plan.json --evidence && expect_rc 0 &&
  name_uuids out &&
  link=$(jq -r ".changes[3].uuid" plan.json) old=$(jq -r ".changes[2].uuid" plan.json) &&
  sed -i -e "s/$link/{new link}/" -e "s/$old/{old link}/" -e "s/^\(Plan of .*, written \).*/\1TIME/" \
    -e "s/^digest sha256:[0-9a-f]\{64\}$/digest DIGEST/" out &&
  expect_stdout <<-EOF
	Plan of orxdetect for repository demo, written TIME
	digest DIGEST
	5 changes: 2 moves, 1 link, 1 unlink, 1 delete

	move to Orvex_RemoteVistrel: 1
	  brd1  {brd1}  from Host
	      asked $board
	      identification (server) (1.3.6.1.4.1.232.11.2.2.4.0): integer 1
	      lights-out kind (1.3.6.1.4.1.232.9.2.2.10.0): integer 3
	      rule: Host, entry 1 of 2: to Orvex_RemoteVistrel when the device answered, lights-out kind board
	      read: address '\''$board'\''

	move to Orvex_Windows2000_Server: 1
	  srvA  {srvA}  from Windows2000_Server
	      asked $server
	      identification (server) (1.3.6.1.4.1.232.11.2.2.4.0): integer 1
	      lights-out kind (1.3.6.1.4.1.232.9.2.2.10.0): error status 2 (noSuchName)
	      product name (1.3.6.1.4.1.232.11.2.2.1.0): error status 2 (noSuchName)
	      rule: Windows2000_Server, entry 3 of 3: to Orvex_Windows2000_Server when the device answered, in all-systems mode
	      read: address '\''$server'\''

	link Inclusion: 1
	  -  {new link}  child_uuid Orvex_RemoteVistrel brd1, parent_uuid Unispace srvA-Unispace
	      asked $server
	      lights-out address (1.3.6.1.4.1.232.9.2.5.1.1.5.2): ip address $board
	      rule: Orvex_Windows2000_Server, the server'\''s lights-out address $board is the address of the board brd1

	unlink Inclusion: 1
	  -  {old link}
	      rule: Inclusion, the links of lights-out boards to their servers are made anew
	      read: parent_class '\''Unispace'\'', child_class '\''Orvex_RemoteVistrel'\'', child_sequence_no 99, parent_sequence_no 99

	delete VistrelManager: 1
	  vm-absent  {vm-absent}
	      rule: VistrelManager, status ANY:ABSENT
	      read: status_no $(status_number ANY:ABSENT)
	EOF
'

# hand_plan FILE CHANGES: a plan of "demo" with the JSON list CHANGES, its
# digest made as the README says (SHA-256 of the document without it, keys
# sorted, no blanks).
hand_plan() {
  python3 - "$1" "$2" <<-\PY
	import hashlib, json, sys
	doc = {"format": 1, "repository": "demo", "tool": "hand", "time": "2026-12-10T00:00:00Z",
	       "changes": json.loads(sys.argv[2])}
	canonical = json.dumps(doc, sort_keys=True, separators=(",", ":"), ensure_ascii=False)
	doc["digest"] = "sha256:" + hashlib.sha256(canonical.encode()).hexdigest()
	open(sys.argv[1], "w").write(json.dumps(doc, indent=1))
	PY
}

test_expect_success 'a plan made by hand to the documented form: an object moved twice, a link, a delete' '
  world &&
  pel1=$(uuid_of Pellion_Linux pel1) orx1=$(uuid_of Orvex_Novell orx1) vm=$(uuid_of VistrelManager vm-up) &&
  link=0f0e0d0c-0b0a-4908-8706-050403020100 &&
  hand_plan plan.json "[
    {\"kind\": \"move\", \"uuid\": \"$pel1\", \"name\": \"pel1\", \"class\": \"Pellion_Linux\",
     \"from\": \"Pellion_Linux\", \"to\": \"Orvex_Linux\"},
    {\"kind\": \"move\", \"uuid\": \"$pel1\", \"name\": \"pel1\", \"class\": \"Orvex_Linux\",
     \"from\": \"Orvex_Linux\", \"to\": \"Linux\"},
    {\"kind\": \"link\", \"uuid\": \"$link\", \"name\": \"\", \"class\": \"Inclusion\",
     \"properties\": {\"parent_uuid\": {\"uuid\": \"$orx1\"}, \"child_sequence_no\": 7},
     \"refers\": [{\"property\": \"parent_uuid\", \"uuid\": \"$orx1\", \"name\": \"orx1\",
                   \"class\": \"Orvex_Novell\"}]},
    {\"kind\": \"delete\", \"uuid\": \"$vm\", \"name\": \"vm-up\", \"class\": \"VistrelManager\"}
  ]" &&
  run apply_plan plan.json s3cret && expect_rc 0 &&
  echo "4 of 4 changes applied to demo" | expect_stdout &&
  test "$(objects demo Linux)" = "$(printf "Linux pel1\nLinux quiet")" &&
  wvrepo object list demo Inclusion --where "uuid:uuid=$link" --json >made &&
  test "$(jq -c "[.parent_uuid, .child_sequence_no]" made)" = "[\"$orx1\",7]" &&
  test -z "$(wvrepo object list demo VistrelManager --where name=vm-up)" &&
  wvrepo audit demo --json | jq -r "select(.action | startswith(\"plan:\")) | \"\(.from) \(.to)\"" >moves &&
  printf "Pellion_Linux Orvex_Linux\nOrvex_Linux Linux\n" | expect_file moves
'

# changed_by_hand: pel1 moved, pel2 renamed (the same uuid under another
# name), pel3 deleted, after the preview of ClassLift.
changed_by_hand() {
  local pel2
  pel2=$(uuid_of Pellion_Linux pel2) &&
  reclass /R=demo /U=admin /C=Pellion_Linux /O=pel1 /T=Linux 2>/dev/null &&
  wvrepo object del demo Pellion_Linux --where name=pel2 >/dev/null &&
  wvrepo object add demo Pellion_Linux name=pel2-renamed "uuid:uuid=$pel2" >/dev/null &&
  wvrepo object del demo Pellion_Host --where name=pel3 >/dev/null
}
# changed_lines PREFIX PEL3: what apply says of them (PEL3: pel3's uuid).
changed_lines() {
  local prefix=$1 pel3=$2
  cat <<-EOF
	wvrepo: ${prefix}pel1 ({pel1}): moved to class Linux since the preview (the plan saw it in Pellion_Linux)
	wvrepo: ${prefix}pel2 ({pel2-renamed}): renamed to 'pel2-renamed' since the preview (the plan saw 'pel2')
	wvrepo: ${prefix}pel3 ($pel3): deleted since the preview
	EOF
}

test_expect_success 'objects moved, renamed or deleted since the preview: refused, one line each; --skip-changed applies the rest' '
  world && TNG_PREVIEW=plan.json run ClassLift demo ops s3cret &&
  pel3=$(uuid_of Pellion_Host pel3) &&
  changed_by_hand && state >before &&
  run apply_plan plan.json s3cret && expect_rc 1 && expect_stdout_empty &&
  name_uuids err &&
  { changed_lines "" "$pel3"
    echo "wvrepo: 3 objects changed since the preview; nothing was applied (--skip-changed applies the rest)"
  } | expect_file err &&
  state | expect_file before &&
  run apply_plan plan.json s3cret --skip-changed && expect_rc 0 &&
  echo "1 of 4 changes applied to demo" | expect_stdout &&
  name_uuids err && changed_lines "skipped " "$pel3" | expect_file err &&
  objects demo >now &&
  expect_file now <<-\EOF
	Host brd1
	Inclusion null
	Linux pel1
	Linux quiet
	Orvex_Linux orx2
	Orvex_Novell orx1
	Orvex_RemoteVistrel brd-old
	Orvex_Windows2000_Server pel4
	Pellion_Linux pel2-renamed
	Unispace lonely-Unispace
	Unispace srvA-Unispace
	VistrelManager vm-absent
	VistrelManager vm-up
	Windows2000_Server srvA
	EOF
'

test_expect_success 'a wrong password, an unknown user or no password: exit 2, nothing changed' '
  world && TNG_PREVIEW=plan.json run ClassLift demo ops s3cret && state >before &&
  run apply_plan plan.json wrong && expect_rc 2 && expect_stdout_empty &&
  echo "wvrepo: access denied for user '\''ops'\'' to repository '\''demo'\''; nothing was applied" | expect_file err &&
  run_with_input "s3cret\n" wvrepo plan apply demo plan.json --user nobody && expect_rc 2 &&
  run wvrepo plan apply demo plan.json --user ops && expect_rc 2 &&
  echo "wvrepo: no password was given (end of input); nothing was applied" | expect_file err &&
  state | expect_file before
'

test_expect_success 'an edited plan, a plan of another repository and files that are no plan: refused, nothing changed' '
  world && TNG_PREVIEW=plan.json run ClassLift demo ops s3cret &&
  wvrepo create other >/dev/null && printf "\n" | wvrepo user add other ops >/dev/null &&
  state >before &&
  sed "s/\"pel1\"/\"pel9\"/" plan.json >edited.json &&
  head -c 200 plan.json >cut.json &&
  jq "del(.changes)" plan.json >nochanges.json &&
  printf "plan\n" >words.json && printf "[]\n" >list.json &&
  while IFS="|" read -r file repository message; do
    run apply_plan "$file" s3cret --skip-changed && expect_rc 1 && expect_stdout_empty &&
    echo "wvrepo: $message" | expect_file err &&
    run wvrepo plan show "$file" && expect_rc 1 || exit 1
  done <<-\EOF &&
	edited.json|demo|edited.json was changed after it was written: its digest does not match its content
	cut.json|demo|cut.json is not a plan: it is not JSON (parse error at line 8, column 1: syntax error while parsing value - unexpected end of input; expected '\''['\'', '\''{'\'', or a literal)
	nochanges.json|demo|nochanges.json was changed after it was written: its digest does not match its content
	words.json|demo|words.json is not a plan: it is not JSON (parse error at line 1, column 1: syntax error while parsing value - invalid literal; last read: '\''p'\'')
	list.json|demo|list.json is not a plan: it is not a JSON object
	EOF
  run sh -c "printf \"s3cret\\n\" | wvrepo plan apply other plan.json --user ops" && expect_rc 1 &&
  echo "wvrepo: plan.json is a plan for repository '\''demo'\'', not '\''other'\''; nothing was applied" | expect_file err &&
  state | expect_file before
'

# "${interruptible[@]}" CMD...: CMD with SIGINT and SIGQUIT at their
# default action (a script's background commands start with them ignored),
# in the same process.
# shellcheck disable=SC2034 # used in the cases' bodies
interruptible=(python3 -c 'import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)
signal.signal(signal.SIGQUIT, signal.SIG_DFL)
os.execvp(sys.argv[1], sys.argv[1:])')

# slow_reclass: a reclass first on PATH that takes its time before the real
# one, so that a run can be interrupted between its moves.
slow_reclass() {
  mkdir -p slow && cat >slow/reclass <<-EOF && chmod +x slow/reclass
	#!/bin/sh
	sleep 0.3
	exec "$TNG_BIN/reclass" "\$@"
	EOF
}

while read -r signal; do
  test_expect_success "a preview ended by SIG$signal leaves no copy and no plan behind" "
    world && slow_reclass && state >before &&
    { TNG_PREVIEW=plan.json PATH=\$PWD/slow:\$PATH \"\${interruptible[@]}\" ClassLift demo ops s3cret >out 2>err & } &&
    pid=\$! &&
    # Once the first move is under way, the copy exists.
    for i in \$(seq 100); do grep -q 'Device being' out && break; sleep 0.05; done &&
    compgen -G \"\$TNG_HOME/repositories/preview-*\" >/dev/null &&
    kill -$signal \$pid && ! wait \$pid &&
    for i in \$(seq 100); do no_copy_left && break; sleep 0.05; done &&
    no_copy_left && test ! -e plan.json && ! ls plan.json.* 2>/dev/null &&
    state | expect_file before
  "
done <<-\EOF
	INT
	TERM
	KILL
EOF

test_expect_success 'a program that cannot preview refuses to connect while TNG_PREVIEW is set; so does reclass alone' '
  world && state >before &&
  WV_REPOSITORY=demo TNG_PREVIEW=plan.json run orxpurge &&
  grep -q "TNG_PREVIEW is set, but .* cannot preview its changes; nothing was done" err &&
  TNG_PREVIEW=plan.json run reclass /R=demo /U=admin /C=Pellion_Linux /O=pel1 /T=Linux &&
  expect_rc 2 &&
  echo "reclass: TNG_PREVIEW is set, but no preview run has a copy of repository '\''demo'\'' open; nothing was done" | expect_file err &&
  test ! -e plan.json && state | expect_file before
'

test_expect_success 'a preview whose plan cannot be written is refused before it starts' '
  world && state >before &&
  TNG_PREVIEW=nowhere/plan.json run ClassLift demo ops s3cret &&
  grep -q "the plan file nowhere/plan.json cannot be written" err &&
  grep -q "^Repository Connect Failed$" out &&
  state | expect_file before
'

test_done
