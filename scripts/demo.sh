#!/usr/bin/env bash
# Discovery demo: a repository of about twenty systems, simulated SNMP
# agents on loopback addresses (127.251.0.x), and one orxdetect run in
# all-systems mode. Shows the classes before and after and the links made
# between lights-out boards and their servers. Runs the build's programs
# (scripts/setup.sh) from a clone, those on PATH when installed.
set -euo pipefail
. "$(dirname "$0")/demo-home.sh"
demo_home demo
wvrepo import demo ORXAddClass.TNG >/dev/null

net=127.251.0
server=.1.3.6.1.4.1.232.11.2.2.4.0
workstation=.1.3.6.1.4.1.232.1.1.1.0
kind=.1.3.6.1.4.1.232.9.2.2.10.0
product=.1.3.6.1.4.1.232.11.2.2.1.0
lights_out=.1.3.6.1.4.1.232.9.2.5.1.1.5.2

# agent NAME ADDRESSES OBJECT...: one snmpd answering for every address given.
agents=()
agent() {
  local name=$1 addresses=$2 dir="$TNG_HOME/agents/$1" listen="" a object oid type value
  shift 2
  mkdir -p "$dir/state"
  # snmpd's override knows no IP address type: a pass script answers those.
  printf '#!/bin/sh\n[ "$1" = -g ] || exit 0\ncase "$2" in\n' >"$dir/pass.sh"
  {
    echo "rocommunity public 127.0.0.0/8"
    echo "dontLogTCPWrappersConnects yes"
    for object in "$@"; do
      read -r oid type value <<<"$object"
      if [ "$type" = ipaddress ]; then
        printf '  %s) printf "%%s\\nipaddress\\n%%s\\n" "$2" %s ;;\n' "$oid" "$value" >>"$dir/pass.sh"
        echo "pass $oid /bin/sh $dir/pass.sh"
      else
        echo "override $object"
      fi
    done
  } >"$dir/snmpd.conf"
  echo "esac" >>"$dir/pass.sh"
  for a in $addresses; do listen="${listen:+$listen,}udp:$net.$a:161"; done
  SNMP_PERSISTENT_DIR="$dir/state" snmpd -f -C -c "$dir/snmpd.conf" -M /nonexistent -m "" \
    -I -smux -Lf "$dir/log" "$listen" </dev/null >/dev/null 2>&1 &
  agents+=($!)
  for _ in $(seq 100); do
    snmpget -v1 -c public -t 0.2 -r 0 -M /nonexistent -m "" "$net.${addresses%% *}" \
      .1.3.6.1.2.1.1.3.0 >/dev/null 2>&1 && return 0
    sleep 0.05
  done
  echo "demo: the agent $name does not answer; see $dir/log" >&2
  return 1
}
stop_agents() {
  local pid
  for pid in "${agents[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${agents[@]}"; do wait "$pid" 2>/dev/null || true; done
}
demo_at_end stop_agents

agent boards "11 12 13" "$server integer 1" "$kind integer 3"
agent alpha "1" "$server integer 1" "$kind integer 1" "$lights_out ipaddress $net.11"
agent beta "2" "$server integer 1" "$kind integer 1" "$lights_out ipaddress $net.12"
agent gamma "3" "$server integer 1" "$kind integer 1" "$lights_out ipaddress $net.13"
agent servers "21 22" "$server integer 1" "$kind integer 1"
agent rack "31" "$kind integer 4"
agent appliance "41" "$server integer 1" "$product octet_str \"orvex Quelnet storage management appliance\""
agent tarvik "42" "$server integer 1" "$product octet_str \"Tarvik Servers-9000\""
agent workstations "51 52" "$workstation integer 1"
# 61 to 64 are silent: nothing listens there.

while read -r class name address; do
  wvrepo object add demo "$class" "name=$name" "address=$net.$address" >/dev/null
done <<'SYSTEMS'
Host board-a 11
Windows2000_Server srv-alpha 1
Windows2000_Server srv-beta 2
Windows2000_Server san-1 41
Windows_NetServer srv-gamma 3
Windows_NetServer tarvik-1 42
Windows_NetServer board-b 12
Linux rack-1 31
Linux linux-web 21
Linux board-c 13
Novell nw-files 22
OS2 os2-print 21
WindowsNT_Server nt-old 61
DECSystem dec-1 62
SCOUnix sco-1 63
WindowsXP ws-1 51
Windows2000 ws-2 52
Windows95 old-pc 64
SYSTEMS
for name in srv-alpha srv-beta srv-gamma linux-web; do
  wvrepo object add demo Unispace "name=$name-Unispace" >/dev/null
done

show_classes() {
  wvrepo object list demo --json | python3 -c 'import sys, json, collections
by_class = collections.defaultdict(list)
for line in sys.stdin:
    o = json.loads(line)
    if o["class_name"] not in ("Unispace", "Inclusion"):
        by_class[o["class_name"]].append(o["name"])
for c in sorted(by_class): print("  %-26s %s" % (c, ", ".join(sorted(by_class[c]))))'
}
show_links() {
  wvrepo object list demo --json | python3 -c 'import sys, json
objects = [json.loads(l) for l in sys.stdin]
names = {o["uuid"]: o.get("name") for o in objects}
for o in objects:
    if o["class_name"] == "Inclusion":
        print("  %s includes %s" % (names.get(o["parent_uuid"]), names.get(o["child_uuid"])))'
}

echo "== classes before =="
show_classes
echo "== orxdetect demo admin B public S =="
ORX_SNMP_TIMEOUT_MS=300 ORX_SNMP_RETRIES=0 orxdetect demo admin B public S
echo "== classes after =="
show_classes
echo "== inclusion links =="
show_links
if demo_home_is_temporary; then
  echo "== log: orxdetect.log (the demo's temporary home goes now) =="
  cat "$TNG_HOME/install/orxdetect.log"
else
  echo "== log: $TNG_HOME/install/orxdetect.log =="
fi
