#!/usr/bin/env bash
# Preview and apply: what a plan costs, on the embedded repository and on a
# server repository (a cluster of its own on this machine, default
# durability), in one table.
#
#   - `wvrepo plan apply` of a plan of 10,000 moves (ClassLift's preview over
#     10,000 objects), against the same moves made by the real run, one
#     reclass each;
#   - ClassLift over 10,000 objects, preview against the real run;
#   - orxdetect over 10,000 systems of which 1,000 answer and move (the
#     other 9,000 are silent: 1 s time-out, no retry), preview against the
#     real run.
#
# A preview and its real run are measured twice each, in the order preview,
# real, real, preview, and the means compared; the other figures are one
# run each. The applied plan is checked to leave what the real
# run leaves (every object in the class the run put it in); a figure whose
# run went wrong is flagged.
#
#   bench/plan.sh [BIN]    BIN: the build's bin folder (default build/bin)
#
# Environment: OBJECTS (default 10000) objects of ClassLift and systems of
# the discovery, MOVES (default 1000) systems of the discovery that answer,
# BACKENDS (default "sqlite pg") where the repositories live.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TNG_BIN=$(cd "${1:-${TNG_BIN:-$here/../build/bin}}" && pwd)
TNG_SRC=$(cd "$here/.." && pwd)
objects=${OBJECTS:-10000}
moves=${MOVES:-1000}
backends=${BACKENDS:-sqlite pg}
export TNG_BIN TNG_SRC OBJECTS=$objects MOVES=$moves

if [ "${1:-}" != --one ] && [ "${2:-}" != --one ]; then
  # One run of this script for each backend, each printing "KEY VALUE" lines.
  results=$(mktemp -d "${TMPDIR:-/tmp}/plan-bench.XXXXXX")
  trap 'rm -rf "$results"' EXIT
  for backend in $backends; do
    echo "plan: $backend ..." >&2
    TNG_TEST_BACKEND=$backend PG_DURABLE=1 bash "$0" "$TNG_BIN" --one >"$results/$backend"
  done
  declare -A name=([sqlite]=embedded [pg]=server)
  figure() { sed -n "s/^$2 //p" "$results/$1"; }
  echo "Preview and apply, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "machine: $(nproc) cores; source tree at commit $(git -C "$TNG_SRC" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  printf '%-52s' figure
  for b in $backends; do printf ' %11s' "${name[$b]}"; done
  printf '\n'
  row() {
    printf '%-52s' "$1"
    for b in $backends; do printf ' %11s' "$(figure "$b" "$2")"; done
    printf '\n'
  }
  row "apply a plan of $objects moves (s)" apply
  row "  the same moves through reclass: ClassLift (s)" lift_real
  row "  apply against reclass" apply_ratio
  row "  target: apply under 5 s embedded, 10 s server" apply_target
  row "ClassLift over $objects objects, preview (s)" lift_preview
  row "  preview / real run (target <= 1.3)" lift_ratio
  row "discovery, $objects systems, $moves moved, real run (s)" disc_real
  row "  preview (s)" disc_preview
  row "  preview / real run (target <= 1.3)" disc_ratio
  row "plan sizes: ClassLift, discovery (MiB)" sizes
  for b in $backends; do
    if grep -q WRONG "$results/$b"; then
      echo "${name[$b]}: $(grep WRONG "$results/$b" | tr '\n' ' ')"
    fi
  done
  exit 0
fi

# ---- one backend ----
# shellcheck source=../tests/lib/test-lib.sh
. "$TNG_SRC/tests/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
set +u
export PATH="$TNG_BIN:$PATH"
unset TNG_PREVIEW

readonly block=253 agents=100
progress() { echo "plan: [$TNG_TEST_BACKEND] $*" >&2; }
# The fixture is filled without waiting for the server's disk at every
# object (the measured runs keep full durability).
fill() { PGOPTIONS="-c synchronous_commit=off" wvfill "$@" >/dev/null; }
new_repo() { make_repo "$1" admin pw && load_classes "$1" PLNAddClass.TNG ORXAddClass.TNG; }
# timed CMD...: runs CMD (its output in $TEST_ROOT/last.*) and sets `wall`.
timed() {
  local start end
  start=$EPOCHREALTIME
  "$@" >"$TEST_ROOT/last.out" 2>"$TEST_ROOT/last.err" </dev/null || true
  end=$EPOCHREALTIME
  wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2fx", a / b }'; }
count() { wvrepo object list "$1" "$2" | wc -l; }
check() { [ "$1" = "$2" ] || echo "WRONG $3: $1, expected $2"; }
mib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1048576 }'; }

# preview_and_real RUN PREVIEW_CMD... -- REAL_CMD...: the preview (on
# repository RUN) and the real run (on RUN_real1, then RUN_real2) twice
# each, in the order preview, real, real, preview, so that a machine whose
# load drifts weighs on both alike; prints RUN_preview and RUN_real (the
# means) and RUN_ratio. The commands name the repository as REPO.
preview_and_real() {
  local run=$1 preview=() real=() p=0 r=0
  shift
  while [ "$1" != -- ]; do preview+=("$1"); shift; done
  shift
  real=("$@")
  for step in preview real1 real2 preview; do
    progress "$run, ${step%[12]} ..."
    if [ "$step" = preview ]; then
      timed env TNG_PREVIEW="$TEST_ROOT/$run.plan" "${preview[@]/REPO/$run}"
      p=$(awk -v a="$p" -v w="$wall" 'BEGIN { print a + w / 2 }')
    else
      timed "${real[@]/REPO/${run}_$step}"
      r=$(awk -v a="$r" -v w="$wall" 'BEGIN { print a + w / 2 }')
    fi
  done
  printf '%s_preview %.3f\n%s_real %.3f\n' "$run" "$p" "$run" "$r"
  echo "${run}_ratio $(ratio "$p" "$r")"
  real_mean=$r
}

fresh_home
progress "filling ($objects objects three times, $objects systems three times) ..."
for repo in lift lift_real1 lift_real2; do new_repo $repo && fill $repo Pellion_Linux "$objects"; done
for repo in disc disc_real1 disc_real2; do
  new_repo $repo && fill $repo Windows2000_Server "$objects" 127.$block $agents $((objects / moves))
done
addresses=$(for ((i = 0; i < agents; i++)); do
  printf '127.%d.%d.%d\n' $block $((i / 250 % 250)) $((i % 250 + 1))
done | paste -sd,)
agent_start "$addresses" ".1.3.6.1.4.1.232.11.2.2.4.0 integer 1" \
  ".1.3.6.1.4.1.232.9.2.2.10.0 integer 1" '.1.3.6.1.4.1.232.11.2.2.1.0 octet_str "Server"'

preview_and_real lift ClassLift REPO admin pw -- ClassLift REPO admin pw
lift_real=$real_mean
check "$(jq '.changes | length' "$TEST_ROOT/lift.plan")" "$objects" "changes in the ClassLift plan"
check "$(count lift Pellion_Linux)" "$objects" "objects left in place by the previews"
check "$(count lift_real2 Orvex_Linux)" "$objects" "objects moved by ClassLift"

progress "plan apply ..."
# shellcheck disable=SC2016 # $0 is the plan file, expanded by the inner shell
timed sh -c 'printf "pw\n" | wvrepo plan apply lift "$0" --user admin' "$TEST_ROOT/lift.plan"
echo "apply $wall"
check "$(cat "$TEST_ROOT/last.out")" "$objects of $objects changes applied to lift" "apply's report"
check "$(count lift Orvex_Linux)" "$objects" "objects moved by the plan"
echo "apply_ratio $(awk -v a="$wall" -v r="$lift_real" 'BEGIN { printf "%.0fx faster", r / a }')"
limit=$([ "$TNG_TEST_BACKEND" = pg ] && echo 10 || echo 5)
echo "apply_target $(awk -v a="$wall" -v l="$limit" 'BEGIN { print (a < l ? "pass" : "miss") }')"

export ORX_SNMP_TIMEOUT_MS=1000 ORX_SNMP_RETRIES=0
preview_and_real disc orxdetect REPO admin pw public S -- orxdetect REPO admin pw public S
check "$(jq '[.changes[] | select(.kind == "move")] | length' "$TEST_ROOT/disc.plan")" "$moves" \
  "moves in the discovery plan"
check "$(count disc Windows2000_Server)" "$objects" "systems left in place by the previews"
check "$(count disc_real2 Orvex_Windows2000_Server)" "$moves" "systems moved by the discovery"
echo "sizes $(mib "$TEST_ROOT/lift.plan"), $(mib "$TEST_ROOT/disc.plan")"
