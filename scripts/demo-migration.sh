#!/usr/bin/env bash
# Migration demo: a repository with Pellion objects, moved into the Orvex
# classes by ClassLift. Runs the build's programs (scripts/setup.sh) from a
# clone, those on PATH when installed.
set -euo pipefail
. "$(dirname "$0")/demo-home.sh"
demo_home demo-migration
wvrepo import demo PLNAddClass.TNG >/dev/null
wvrepo import demo ORXAddClass.TNG >/dev/null
i=0
for class in Pellion_Windows2000_Server Pellion_Windows2000_Server Pellion_Linux Pellion_Linux \
             Pellion_Novell Pellion_OS2 Pellion_Windows95 Pellion_Windows9x Pellion_RemoteVistrel \
             Pellion_RackEnclosure Pellion_Doralith Pellion_VistrelXE; do
  i=$((i + 1))
  wvrepo object add demo "$class" name="system$i" address="10.0.0.$i" >/dev/null
done

show() {
  wvrepo object list demo --json |
    python3 -c 'import sys, json, collections
c = collections.Counter(json.loads(l)["class_name"] for l in sys.stdin)
for k in sorted(c):
    if k.startswith(("Pellion_", "Orvex_")): print(f"  {k:28} {c[k]}")'
}
echo "== classes before =="
show
echo "== ClassLift demo admin B =="
ClassLift demo admin B || true
echo "== classes after =="
show
