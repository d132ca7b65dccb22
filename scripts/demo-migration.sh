#!/usr/bin/env bash
# Migration demo: a repository with Pellion objects, moved into the Orvex
# classes by ClassLift. Runs the build's programs (scripts/setup.sh) from a
# clone, those on PATH when installed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [ -x "$top/build/bin/wvrepo" ]; then
  # From a clone: the build's programs, and a home under out/.
  export PATH="$top/build/bin:$PATH"
  export TNG_HOME="$top/out/demo-migration"
  rm -rf "$TNG_HOME"
  mkdir -p "$TNG_HOME"
else
  # Installed (share/<package>/demo): the programs are on PATH; the home is
  # a fresh temporary folder.
  export TNG_HOME="$(mktemp -d "${TMPDIR:-/tmp}/orvex-demo-migration.XXXXXX")"
fi
wvrepo setup >/dev/null
wvrepo create demo >/dev/null
printf '\n' | wvrepo user add demo admin >/dev/null
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
