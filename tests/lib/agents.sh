# shellcheck shell=bash
# Simulated SNMP devices for the black-box tests. Source it after
# test-lib.sh:
#
#   . "$TNG_SRC/tests/lib/agents.sh"
#   a=$(agent_address 1)
#   agent_start "$a" '.1.3.6.1.4.1.232.11.2.2.4.0 integer 2'
#
# Every device is one snmpd (net-snmp's agent) on its own loopback address,
# UDP port 161, answering SNMPv1 and v2c for the community "public" from
# 127.0.0.0/8, and holding, under the enterprise subtree 1.3.6.1.4.1.232,
# exactly the objects it is given (snmpd itself holds none there; its
# standard groups such as system answer as usual). It reads no configuration
# but the one generated here, loads no MIB, runs neither AgentX nor SMUX, and
# keeps its persistent file in the test's own folder. A silent device is an
# address where no agent listens: give the tool a short time-out with
# ORX_SNMP_TIMEOUT_MS and ORX_SNMP_RETRIES=0.
#
# Addresses: a script tABCD-... owns the block 127.AB.CD.0/24 (t3010 ->
# 127.30.10.N, t0051 -> 127.0.51.N), so that scripts run side by side
# without sharing an address. agent_address N gives the N-th address of the
# block (N from 1 to 254). TNG_TEST_LANE (0 to 5, default 0) moves every
# block, so that runs of the same scripts (another build, another repository
# backend) can go on at once: lane L adds 100 x (L / 2) to AB and
# 100 x (L % 2) to CD. Benches use 127.250.0.0 and above, where no test
# script reaches (bench/plndetect.sh: 127.250.0.0/16).
#
# Every agent a script starts is stopped when the script ends, pass or fail
# (agents_stop is one of test-lib's cleanup hooks).
#
# SNMPv3: `agent_start --v3 'USER LEVEL [AUTH AUTH_PASS [PRIV PRIV_PASS]]'`
# (repeatable; LEVEL, AUTH and PRIV as a credential file spells them) starts
# an agent that knows only these users (createUser, and rouser at the
# level) and no community. `credentials_file SET 'USER LEVEL ...' ...`
# writes $TNG_HOME/snmp-credentials.ini (mode 600) with those sets.
#
# The switch TNG_TEST_SNMP=v3 runs a whole script over SNMPv3 unchanged:
# every agent it starts knows only the user of $v3_switch_user, and every
# home fresh_home makes holds a credential file whose set "public" is that
# user, so that the runs with the community "public" ask over SNMPv3
# (authPriv) the agents that answered them over v1.

AGENTS_DIR="$TEST_ROOT/agents"
mkdir -p "$AGENTS_DIR"

# agent_address N: the N-th address of this script's block.
agent_address() {
  local n=$1 number
  number=${TEST_NAME#t}
  number=${number%%-*}
  case $number in
    [0-9][0-9][0-9][0-9]) ;;
    *) say "agent_address: script name $TEST_NAME has no four-digit number" >&2; return 1 ;;
  esac
  if [ "$n" -lt 1 ] || [ "$n" -gt 254 ]; then
    say "agent_address: $n is not from 1 to 254" >&2
    return 1
  fi
  local lane=${TNG_TEST_LANE:-0}
  case $lane in
    [0-5]) ;;
    *) say "agent_address: TNG_TEST_LANE must be from 0 to 5, not '$lane'" >&2; return 1 ;;
  esac
  printf '127.%d.%d.%d\n' "$((10#${number:0:2} + 100 * (lane / 2)))" \
    "$((10#${number:2:2} + 100 * (lane % 2)))" "$n"
}

# agent_start [--community NAME | --v3 'USER LEVEL ...'...] ADDRESS[,ADDRESS...] ['OID TYPE VALUE'...]
# Starts one agent listening on every address given, holding the objects
# given. TYPE is one of snmpd's override types: integer, uinteger (a
# Gauge32), counter, object_id, octet_str (a text, in double quotes when it
# has blanks: '.1.3.6.1.4.1.232.11.2.2.1.0 octet_str "Tarvik Servers-X"', or
# raw octets in hex: 0x0A000005), or ipaddress A.B.C.D, which override lacks
# and a small pass script answers instead. An agent already running on the
# first address is stopped first. Returns once the agent answers, or fails
# with its log.
agent_start() {
  local community=public v3_users=()
  while [ $# -gt 0 ]; do
    case $1 in
      --community) community=$2; shift 2 ;;
      --v3) v3_users+=("$2"); shift 2 ;;
      *) break ;;
    esac
  done
  [ "${#v3_users[@]}" -gt 0 ] || [ "${TNG_TEST_SNMP:-}" != v3 ] || v3_users=("$v3_switch_user")
  local addresses=$1 first listen="" address object oid type value dir pid i
  shift
  first=${addresses%%,*}
  dir="$AGENTS_DIR/$first"
  agent_stop "$first"
  mkdir -p "$dir/state"
  printf '#!/bin/sh\n[ "$1" = -g ] || exit 0\ncase "$2" in\n' >"$dir/pass.sh"
  {
    if [ "${#v3_users[@]}" -eq 0 ]; then
      printf 'rocommunity %s 127.0.0.0/8\n' "$community"
    else
      v3_agent_users "${v3_users[@]}"
    fi
    printf 'dontLogTCPWrappersConnects yes\n'
    for object in "$@"; do
      read -r oid type value <<<"$object"
      if [ "$type" = ipaddress ]; then
        printf '  %s) printf "%%s\\nipaddress\\n%%s\\n" "$2" %s ;;\n' "$oid" "$value" >>"$dir/pass.sh"
        printf 'pass %s /bin/sh %s\n' "$oid" "$dir/pass.sh"
      else
        printf 'override %s\n' "$object"
      fi
    done
  } >"$dir/snmpd.conf"
  printf 'esac\n' >>"$dir/pass.sh"
  for address in ${addresses//,/ }; do listen="${listen:+$listen,}udp:$address:161"; done
  SNMP_PERSISTENT_DIR="$dir/state" snmpd -f -C -c "$dir/snmpd.conf" -M /nonexistent -m "" \
    -I -smux -Lf "$dir/log" -p "$dir/snmpd.pid" "$listen" </dev/null >/dev/null 2>&1 &
  pid=$!
  echo "$pid" >"$dir/pid"
  for i in $(seq 100); do
    if [ "${#v3_users[@]}" -eq 0 ]; then
      if snmpget -v1 -c "$community" -t 0.2 -r 0 -M /nonexistent -m "" -On "$first" \
           .1.3.6.1.2.1.1.3.0 >/dev/null 2>&1; then
        return 0
      fi
    # A v3 agent is up once it refuses a user it does not know (no pass
    # phrase goes on a command line; snmpget fails then, whatever pipefail
    # says).
    elif { snmpget -v3 -l noAuthNoPriv -u tng-nobody -t 0.2 -r 0 -M /nonexistent -m "" "$first" \
             .1.3.6.1.2.1.1.3.0 2>&1 || true; } | grep -q "Unknown user name"; then
      return 0
    fi
    if ! agent_alive "$pid"; then break; fi
    sleep 0.05
  done
  say "agent_start: no agent answers at $first; its log:" >&2
  cat "$dir/log" >&2 2>/dev/null || true
  agent_stop "$first"
  return 1
}

# The user of the SNMPv3 switch.
v3_switch_user="tng-v3 authPriv SHA-512 tng-auth-pass-1 AES-256 tng-priv-pass-1"

# v3_agent_users 'USER LEVEL [AUTH AUTH_PASS [PRIV PRIV_PASS]]'...: the
# configuration lines of an agent that knows these users.
v3_agent_users() {
  local spec user level auth auth_pass priv priv_pass
  for spec in "$@"; do
    read -r user level auth auth_pass priv priv_pass <<<"$spec"
    case $level in
      noAuthNoPriv) printf 'createUser %s\nrouser %s noauth\n' "$user" "$user" ;;
      authNoPriv) printf 'createUser %s %s "%s"\nrouser %s auth\n' "$user" "$auth" "$auth_pass" "$user" ;;
      authPriv)
        printf 'createUser %s %s "%s" %s "%s"\nrouser %s priv\n' \
          "$user" "$auth" "$auth_pass" "$priv" "$priv_pass" "$user" ;;
    esac
  done
}

# credentials_file SET 'USER LEVEL [AUTH AUTH_PASS [PRIV PRIV_PASS]]' ...:
# $TNG_HOME/snmp-credentials.ini, readable by its owner only, with these
# sets.
credentials_file() {
  local file="$TNG_HOME/snmp-credentials.ini" user level auth auth_pass priv priv_pass
  (umask 077 && : >"$file")
  while [ $# -ge 2 ]; do
    read -r user level auth auth_pass priv priv_pass <<<"$2"
    {
      printf '[%s]\nuser = %s\nlevel = %s\n' "$1" "$user" "$level"
      [ -z "$auth" ] || printf 'auth = %s\nauth_pass = %s\n' "$auth" "$auth_pass"
      [ -z "$priv" ] || printf 'priv = %s\npriv_pass = %s\n' "$priv" "$priv_pass"
    } >>"$file"
    shift 2
  done
}

v3_switch_home() { credentials_file public "$v3_switch_user"; }
[ "${TNG_TEST_SNMP:-}" != v3 ] || fresh_home_hooks+=(v3_switch_home)

# agent_alive PID: the process runs (a zombie that nobody reaped counts as
# gone: it holds no socket any more).
agent_alive() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 1
  [ -n "$state" ] && [ "$state" != Z ] && [ "$state" != X ]
}

# agent_stop ADDRESS: stops the agent whose first address is ADDRESS, if
# any, and waits until it is gone.
agent_stop() {
  local dir="$AGENTS_DIR/$1" pid i
  [ -f "$dir/pid" ] || return 0
  pid=$(cat "$dir/pid")
  rm -f "$dir/pid"
  kill -TERM "$pid" 2>/dev/null || true
  for i in $(seq 100); do
    agent_alive "$pid" || break
    sleep 0.05
  done
  if agent_alive "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
  wait "$pid" 2>/dev/null || true
  for i in $(seq 100); do
    agent_alive "$pid" || return 0
    sleep 0.05
  done
  say "agent_stop: agent $pid at $1 does not end" >&2
  return 1
}

# agents_stop: stops every agent of this script.
agents_stop() {
  local pidfile
  for pidfile in "$AGENTS_DIR"/*/pid; do
    [ -f "$pidfile" ] || continue
    agent_stop "$(basename "$(dirname "$pidfile")")" || true
  done
}
cleanup_hooks+=(agents_stop)

# silent_head_start ADDRESS AGENT_PID_FILE FOLDER: a socket on ADDRESS:161
# that never answers. Once FOLDER/armed exists it counts the questions it
# receives in FOLDER/seen and, at the second (the retry after the first
# time-out), stops the agent whose pid file is given: whatever a tool has not
# asked that agent by then goes unanswered. Stopped at the end of the script.
silent_head_start() {
  local address=$1 agent_pid_file=$2 folder=$3 i
  mkdir -p "$folder"
  python3 - "$address" "$agent_pid_file" "$folder" <<-\PY &
	import os, signal, socket, sys
	address, agent_pid_file, folder = sys.argv[1:4]
	s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
	s.bind((address, 161))
	open(os.path.join(folder, "ready"), "w").close()
	seen = 0
	while True:
	    s.recvfrom(4096)
	    if not os.path.exists(os.path.join(folder, "armed")):
	        continue
	    seen += 1
	    with open(os.path.join(folder, "seen"), "w") as f:
	        f.write("%d\n" % seen)
	    if seen == 2:
	        os.kill(int(open(agent_pid_file).read()), signal.SIGTERM)
	PY
  silent_head_pid=$!
  cleanup_hooks+=(silent_head_stop)
  for i in $(seq 600); do [ -f "$folder/ready" ] && return 0; sleep 0.05; done
  return 1
}
silent_head_stop() { kill "$silent_head_pid" 2>/dev/null; wait "$silent_head_pid" 2>/dev/null; return 0; }
