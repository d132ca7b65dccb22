#!/usr/bin/env bash
# Both discovery tools over SNMPv3, against agents that know only v3 users:
# at every security level, orxdetect and plndetect print, log, hand to
# reclass and change what they do with v1 agents that give the same
# answers; agents that refuse the credentials count as silent devices, with
# one line on stderr per run; a credential file that others may read, and a
# set with a missing or unknown key, are refused before anything is done,
# and so is anything in the file's place that cannot be one (a FIFO, a
# sparse giant, another user's file, ...); without TNG_HOME and HOME the
# file is found in the same home as the repositories; no pass phrase
# reaches an output, a log, a command line or a child's environment, and
# reclass inherits no descriptor of the tool's.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

board=$(agent_address 1)    # a lights-out board
server=$(agent_address 2)   # a server whose board is $board (a Pellion server too)
station=$(agent_address 3)  # a workstation
silent=$(agent_address 4)   # nothing listens

board_objects=("$oid_server integer 1" "$oid_kind integer 3")
server_objects=("$oid_server integer 1" "$oid_kind integer 1" "$oid_lights_out ipaddress $board")
station_objects=("$oid_workstation integer 1")

# The users the v3 agents know, as credential sets of the same names.
users=(
  "lab-sha512 authPriv SHA-512 auth-pass-512 AES-256 priv-pass-512"
  "lab-sha1 authPriv SHA auth-pass-001 AES-256 priv-pass-001"
  "lab-sha256 authPriv SHA-256 auth-pass-256 AES priv-pass-256"
  "lab-auth authNoPriv SHA-256 auth-pass-aaa"
  "lab-none noAuthNoPriv"
)
# Sets the agents refuse, and the reason stderr gives once per run.
refused_sets=(
  "wrong-auth|lab-sha512 authPriv SHA-512 auth-pass-XXX AES-256 priv-pass-512|the authentication key is wrong (keys 'auth', 'auth_pass')"
  "wrong-priv|lab-sha512 authPriv SHA-512 auth-pass-512 AES-256 priv-pass-XXX|it answers engine discovery but not the question, as when it cannot decrypt it (keys 'priv', 'priv_pass')"
  "stranger|lab-nobody authNoPriv SHA auth-pass-zzz|it does not know the user (key 'user')"
  "low-level|lab-sha512 authNoPriv SHA-512 auth-pass-512|it grants the user no access at this level (key 'level')"
)
secrets="auth-pass- priv-pass-"

# The credential file of every home: a set per user, the refused sets, and
# no set "public".
all_sets() {
  local spec name set
  set --
  for spec in "${users[@]}"; do set -- "$@" "${spec%% *}" "$spec"; done
  for spec in "${refused_sets[@]}"; do
    name=${spec%%|*} set=${spec#*|}
    set -- "$@" "$name" "${set%%|*}"
  done
  credentials_file "$@"
}

# scenario: a fresh home with the credential file, the repository "demo"
# (orxdetect) and "legacy" (plndetect), and reclass recorded.
scenario() { made_once scenario scenario_home && record_reclass; }
scenario_home() {
  discovery_home && all_sets &&
  {
    system_line Host board-h "$board"
    system_line Windows2000_Server server-w "$server"
    printf 'Unispace\tname=server-w-Unispace\n'
    system_line Windows2000 station-w "$station"
    system_line Linux silent-l "$silent"
  } | load_systems &&
  make_repo legacy && load_classes legacy PLNAddClass.TNG &&
  {
    system_line Windows2000_Server srv "$server"
    system_line Windows2000 ws "$station"
    system_line Linux quiet "$silent"
  } | wvrepo object load legacy - >/dev/null
}

results="$TEST_ROOT/results"
mkdir -p "$results"

# both_tools NAME COMMUNITY [WRAPPER...]: both tools on a fresh scenario
# (started through WRAPPER); everything they print, log, hand to reclass and
# change goes to $results/NAME.*.
both_tools() {
  local name=$1 community=$2
  shift 2
  scenario &&
  quick run "$@" orxdetect demo admin B "$community" S && expect_rc 0 &&
  cp out "$results/$name.orx.out" && cp err "$results/$name.orx.err" &&
  cp "$(install_dir)/orxdetect.log" "$results/$name.orx.log" &&
  name_uuids "$results/$name.orx.out" "$results/$name.orx.log" &&
  quick run "$@" plndetect legacy admin B "$community" Y && expect_rc 0 &&
  cp out "$results/$name.pln.out" && cp err "$results/$name.pln.err" &&
  cp reclass.words "$results/$name.reclass" &&
  { systems; inclusions; objects legacy; } >"$results/$name.repository"
}

# same_as BASE NAME: the runs NAME did what BASE did (stderr aside).
same_as() {
  local part
  for part in orx.out orx.log pln.out reclass repository; do
    diff -u "$results/$1.$part" "$results/$2.$part" || return 1
  done
}

# descriptor_lister FILE: a python program in FILE that prints the
# descriptors it was given beyond the standard three, one "N TARGET" a line.
descriptor_lister() {
  cat >"$1" <<-\EOF
	import os
	for fd in sorted(os.listdir("/proc/self/fd"), key=int):
	    if int(fd) > 2:
	        try:
	            print(fd, os.readlink("/proc/self/fd/" + fd))
	        except OSError:
	            pass  # the listing's own descriptor, closed by now
	EOF
}

# --- v1 agents: what the v3 runs must equal --------------------------------

agent_start "$board" "${board_objects[@]}" &&
agent_start "$server" "${server_objects[@]}" &&
agent_start "$station" "${station_objects[@]}" ||
  { say "not ok - agents did not start"; exit 1; }

test_expect_success 'a community that names no credential set is a v1 community' '
  both_tools v1 public &&
  grep -q "^Reclassify board-h as an Orvex_RemoteVistrel Device" "$results/v1.orx.out" &&
  grep -q "^Reclassify srv as a Pellion" "$results/v1.pln.out" &&
  grep -q "^Could not complete the SNMP request" "$results/v1.pln.out" &&
  test ! -s "$results/v1.orx.err" && test ! -s "$results/v1.pln.err"
'

test_expect_success 'v1 agents with another community: every device silent' '
  both_tools silent another-community &&
  ! grep -q "^Reclassify" "$results/silent.orx.out" "$results/silent.pln.out"
'

# --- the same devices as agents that know only v3 users --------------------

v3_start() {
  local address=$1 spec options=()
  shift
  for spec in "${users[@]}"; do options+=(--v3 "$spec"); done
  agent_start "${options[@]}" "$address" "$@"
}
v3_start "$board" "${board_objects[@]}" &&
v3_start "$server" "${server_objects[@]}" &&
v3_start "$station" "${station_objects[@]}" ||
  { say "not ok - v3 agents did not start"; exit 1; }

test_expect_success 'every security level finds and changes what v1 does' '
  for spec in "${users[@]}"; do
    set=${spec%% *}
    both_tools "$set" "$set" &&
    same_as v1 "$set" &&
    test ! -s "$results/$set.orx.err" && test ! -s "$results/$set.pln.err" ||
      { say "with credential set $set" >&2; exit 1; }
  done
'

test_expect_success 'agents that refuse the credentials are silent devices, said once per run' '
  for spec in "${refused_sets[@]}"; do
    set=${spec%%|*} reason=${spec##*|}
    both_tools "$set" "$set" &&
    same_as silent "$set" &&
    for tool in orx pln; do
      sed "s/ 127\.[0-9]*\.[0-9]*\.[0-9]*:161 / ADDRESS /" "$results/$set.$tool.err" >said &&
      echo "SNMPv3: the agent at ADDRESS refuses credential set '\''$set'\'': $reason; every agent that refuses it counts as not answering" |
        diff - said ||
        { say "with credential set $set ($tool)" >&2; cat "$results/$set.$tool.err" >&2; exit 1; }
    done
  done
'

test_expect_success 'a v3 community that names no set reaches no v3 agent' '
  both_tools v3-public public && same_as silent v3-public
'

# The reclass the tools start also notes the descriptors it was given
# beyond the standard three (the tools hold a log, a lock, sockets, and a
# pipe they were given as 9) and the core size limit of the tool.
test_expect_success 'no pass phrase reaches an output, a log, reclass or its environment; no descriptor reaches reclass' '
  mkdir -p bin &&
  cat >bin/reclass <<-EOF &&
	#!/bin/sh
	env >>"$CASE_DIR/reclass.env"
	grep "^Max core file size" /proc/\$PPID/limits >>"$CASE_DIR/tool.limits"
	python3 "$CASE_DIR/list-descriptors.py" >>"$CASE_DIR/reclass.fds"
	exec "$CASE_DIR/recbin/reclass" "\$@"
	EOF
  chmod +x bin/reclass && descriptor_lister list-descriptors.py &&
  scenario && export PATH="$CASE_DIR/bin:$PATH" && ulimit -c unlimited &&
  quick run orxdetect demo admin B lab-sha512 S 9< <(:) &&
  cat out err "$(install_dir)/orxdetect.log" >seen &&
  quick run plndetect legacy admin B lab-sha512 Y 9< <(:) && cat out err >>seen &&
  test -s reclass.env && cat reclass.env reclass.words >>seen &&
  grep -q "^Reclassify srv as a Pellion" out &&
  for secret in $secrets; do ! grep -q -e "$secret" seen || exit 1; done &&
  test ! -s reclass.fds &&
  test -s tool.limits && ! grep -v -E "^Max core file size +0 " tool.limits
'

# --- credential files and sets that cannot be used -------------------------

# A refused run: the banner and nothing else on stdout, one line on stderr,
# no log and nothing changed; at once, even with a FIFO in the file's place
# (a run that waits for it is ended after a minute and fails the case).
# Another user's file can be made by root only: the row is left out for
# everyone else.
test_expect_success 'an unusable credential file or set is refused before anything is done' '
  file="$TNG_HOME/snmp-credentials.ini" &&
  while IFS="|" read -r community change message; do
    scenario && eval "$change" &&
    objects demo >before && objects legacy >>before &&
    quick run timeout 60 orxdetect demo admin B "$community" S && expect_rc 0 &&
    banner | expect_stdout &&
    echo "$file: $message: nothing was done" | diff - err &&
    test ! -e "$(install_dir)/orxdetect.log" &&
    quick run timeout 60 plndetect legacy admin B "$community" Y && expect_rc 2 &&
    printf "This utility connects to the local Unicenter TNG repository and\nchecks all objects to see if they are Pellion objects.\nPellion objects will be reclassified as Pellion devices.\n\n" |
      expect_stdout &&
    echo "$file: $message: nothing was done" | diff - err &&
    objects demo >after && objects legacy >>after && diff -u before after &&
    test ! -s reclass.words || { say "with $community after: $change" >&2; exit 1; }
  done <<-\EOF
	lab-sha512|chmod 640 "$file"|holds secrets but group or others may use it (mode 0640); allow its owner only (chmod 600)
	public|chmod 604 "$file"|holds secrets but group or others may use it (mode 0604); allow its owner only (chmod 600)
	lab-sha1|sed -i "/^priv_pass = priv-pass-001/d" "$file"|set '\''lab-sha1'\'': key '\''priv_pass'\'' is missing
	lab-auth|sed -i "s/^auth = SHA-256/authentication = SHA-256/" "$file"|set '\''lab-auth'\'': unknown key '\''authentication'\''
	lab-none|sed -i "s/^level = noAuthNoPriv/level = none/" "$file"|set '\''lab-none'\'': key '\''level'\'' must be noAuthNoPriv, authNoPriv or authPriv
	lab-auth|sed -i "s/^auth_pass = auth-pass-aaa/auth_pass = short/" "$file"|set '\''lab-auth'\'': key '\''auth_pass'\'' must be at least 8 characters long
	lab-sha512|rm "$file" && mkfifo -m 600 "$file"|is not a regular file
	lab-sha512|mv "$file" "$file.real" && ln -s "$file.real" "$file"|is not a regular file
	lab-sha512|truncate -s 8T "$file"|is larger than 1 MiB (1048576 bytes); a credential file is never that large
	lab-sha512|[ "$(id -u)" != 0 ] && continue; chown 65534 "$file"|holds secrets but belongs to another user (uid 65534); only a file of this user (uid 0) or of root is used
	lab-sha512|sed -i "1s/^/\xEF\xBB\xBF/" "$file"|begins with a byte-order mark; save it as plain text without one
	lab-sha1|sed -i "2i [lab-sha512]" "$file"|line 2 names set '\''lab-sha512'\'' a second time (first on line 1)
	EOF
'

# --- the home of the password database -------------------------------------

# in_passwd_home unset|empty CMD...: CMD without TNG_HOME, and with HOME
# unset or empty, where the home folder the password database names for
# the user holds .tng = $TNG_HOME (bound there in a mount namespace of
# its own, so the real folder is not touched).
pw_dir=$(getent passwd "$(id -u)" | cut -d: -f6)
unshare_options=-m
[ "$(id -u)" = 0 ] || unshare_options=-rm
in_passwd_home() {
  local home=(HOME=)
  [ "$1" = empty ] || home=(-u HOME)
  shift
  mkdir -p "$CASE_DIR/pw" && ln -sfn "$TNG_HOME" "$CASE_DIR/pw/.tng" &&
    unshare "$unshare_options" bash -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' - \
      "$CASE_DIR/pw" "$pw_dir" env -u TNG_HOME "${home[@]}" "$@"
}

if [ -d "$pw_dir" ] && [ "$pw_dir" != / ] && unshare "$unshare_options" true 2>/dev/null; then
  test_expect_success 'without TNG_HOME and HOME, the credential file is in the home of the password database' '
    for home in unset empty; do
      both_tools "home-$home" lab-sha512 in_passwd_home $home &&
      same_as v1 "home-$home" &&
      test ! -s "$results/home-$home.orx.err" && test ! -s "$results/home-$home.pln.err" ||
        { say "with HOME $home" >&2; exit 1; }
    done &&
    scenario && chmod 644 "$TNG_HOME/snmp-credentials.ini" &&
    quick run in_passwd_home empty orxdetect demo admin B public S && expect_rc 0 &&
    banner | expect_stdout &&
    echo "$pw_dir/.tng/snmp-credentials.ini: holds secrets but group or others may use it (mode 0644); allow its owner only (chmod 600): nothing was done" |
      diff - err
  '
else
  case_number=$((case_number + 1)) tests_skipped=$((tests_skipped + 1))
  say "ok $case_number # skip the home of the password database (no mount namespace here)"
fi

test_done
