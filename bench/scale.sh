#!/usr/bin/env bash
# Discovery at scale: orxdetect, plndetect and ClassLift over large
# repositories against loopback agents, every case in one run, and one table
# of figures next to their targets (pass or miss; the bench reports, it never
# fails because a target is missed).
#
#   A  orxdetect over 1,000 systems whose agents answer the identification
#      with noSuchName (nothing moves);
#   B  orxdetect over 1,000 systems, half of them silent, 1 s time-out, no
#      retry (K=1 is measured on a sample and scaled, a full sequential run
#      would wait about one second per silent system);
#   C  orxdetect over 1,000 Orvex servers that all move (one reclass each),
#      against one reclass run measured alone;
#   D  plndetect over 1,000 systems, half silent, with its own time-out and
#      retries, at the default window only (its sequential time is computed
#      from a measured run over the answering half);
#   E  ClassLift walking a class of 100,000 and of 10,000 objects with a
#      reclass that does nothing: wall time and peak memory;
#   G  the cost curve: A and B at 1,000, 10,000 and 100,000 systems (B with
#      90 % silent at every size, 1 s time-out, no retry), orxdetect with its
#      own time-outs and plndetect (case D, its own time-outs, 90 % silent)
#      at 100,000, with the growth from one size to the next (see below).
#   V  case A over SNMPv3 (authPriv, SHA-512, AES-256) beside case A over
#      SNMPv1, both at the default window, measured one after the other:
#      the cost per device of each.
#
# A to C run orxdetect with ORX_SNMP_WINDOW=1 (one device in flight), with
# the default window (variable unset), and the hand-written shell pipeline
# of bench/lib/snmp-pipeline.sh (snmpget and reclass under xargs -P 32).
#
#   bench/scale.sh [BIN]          BIN: the build's bin folder (default build/bin)
#
# Environment: OBJECTS (default 1000) systems per case, SAMPLE (default 100)
# systems of B's sequential run, BIG and SMALL (default 100000 and 10000)
# objects of E, CAP_B and CAP_D (default 60 and 120) seconds after which a
# default-window run of B or D is stopped and reported as such, CASES
# (default ABCDEV) the cases to run, e.g. CASES=A or CASES=BD, CASES=G the
# cost curve, CURVE (default "1000 10000 100000") its sizes.
#
# Agents: one snmpd per 250 addresses. The systems of A, B and D live in
# 127.253.0.0/16 (and 127.252.0.0/16 beyond 62,500 systems), those of C in
# 127.254.0.0/16; a silent system is an address where nothing listens. Progress goes to standard error, the table
# to standard output. Every agent and folder is removed at the end.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TNG_BIN=$(cd "${1:-${TNG_BIN:-$here/../build/bin}}" && pwd)
TNG_SRC=$(cd "$here/.." && pwd)
objects=${OBJECTS:-1000}
sample=${SAMPLE:-100}
big=${BIG:-100000}
small=${SMALL:-10000}
cap_b=${CAP_B:-60}
cap_d=${CAP_D:-120}
cases=${CASES:-ABCDEV}
curve=${CURVE:-1000 10000 100000}
export TNG_BIN TNG_SRC

# The test library gives a private TNG_HOME, the agents and their clean-up
# (every agent is stopped and the folder removed when the script ends).
# shellcheck source=../tests/lib/test-lib.sh
. "$TNG_SRC/tests/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
set +u

# wanted CASE: whether CASES names the case.
wanted() { [[ $cases == *"$1"* ]]; }
if [[ ! $cases =~ ^[A-EGV]+$ ]]; then
  say "scale: CASES must be letters from A to E, G or V, not '$cases'" >&2
  exit 2
fi
if [ "$objects" -gt 62500 ] || [ "$sample" -gt "$objects" ]; then
  say "scale: OBJECTS must be at most 62500 and SAMPLE at most OBJECTS" >&2
  exit 2
fi

readonly block_systems=253 block_servers=254 per_agent=250
readonly server_class=Windows2000_Server orvex_target=Orvex_Windows2000_Server
readonly pellion_target=Pellion_Windows2000_Server
readonly id_oid=.1.3.6.1.4.1.232.11.2.2.4.0
# plndetect's own SNMP settings: a silent system costs the time-out once and
# once more per retry.
readonly pln_timeout_s=4 pln_retries=3
# The agents' objects for each kind of system. A "nosuch" agent holds
# nothing under the enterprise subtree, so it answers noSuchName.
# shellcheck disable=SC2034  # read through the nameref of listen
agent_nosuch=()
# shellcheck disable=SC2034
agent_server=("$id_oid integer 1" '.1.3.6.1.4.1.232.9.2.2.10.0 integer 1'
              '.1.3.6.1.4.1.232.11.2.2.1.0 octet_str "Server"')
# shellcheck disable=SC2034
agent_pellion=("$id_oid integer 2")
noop_dir="$TEST_ROOT/noop"
has_time=$([ -x /usr/bin/time ] && echo 1 || echo 0)

progress() { say "scale: $*" >&2; }
# address_of BLOCK I: the I-th address of the block, 250 to a /24, going on
# below the block after 62,500 (as wvfill counts them).
address_of() { printf '127.%d.%d.%d' $(($1 - $2 / 62500)) $(($2 / 250 % 250)) $(($2 % 250 + 1)); }
# objects_in REPO CLASS: how many objects the class holds.
objects_in() { wvrepo object list "$1" "$2" | wc -l; }

# new_repo REPO CLASSFILE...: a repository with the user admin (blank
# password) and the class definition files given.
new_repo() {
  local repo=$1
  shift
  make_repo "$repo"
  load_classes "$repo" "$@"
}

# fill REPO BLOCK FROM TO STEP: objects devI of the server class for I from
# FROM to TO-1 in steps of STEP, each with its address in BLOCK; two at a
# time, as the machine has two cores.
fill() {
  local repo=$1 block=$2 from=$3 to=$4 step=$5 i
  for ((i = from; i < to; i += step)); do
    printf 'name=dev%d address=%s\n' "$i" "$(address_of "$block" "$i")"
  done | xargs -P 2 -L 1 wvrepo object add "$repo" "$server_class" >/dev/null
}

# listen KIND BLOCK FROM TO STEP: agents of KIND (nosuch, server, pellion) on
# the addresses of systems FROM to TO-1 in steps of STEP, 250 to an agent.
listen() {
  local -n held="agent_$1"
  local block=$2 from=$3 to=$4 step=$5 i list="" n=0
  for ((i = from; i < to; i += step)); do
    list="${list:+$list,}$(address_of "$block" "$i")"
    n=$((n + 1))
    if [ "$n" -eq "$per_agent" ]; then
      agent_start "$list" "${held[@]}"
      list="" n=0
    fi
  done
  [ -z "$list" ] || agent_start "$list" "${held[@]}"
}

# measure NAME CAP [VAR=VALUE...] CMD...: runs CMD from the script's folder
# with the variables given set, its output in $TEST_ROOT/NAME.out, stopped
# with everything it started after CAP seconds. Sets wall (seconds), rss
# (peak resident KiB of the largest process of the run, empty when unknown),
# stopped (1 when the cap ended it) and killed (the signal that ended it
# otherwise, else 0). The wall time is taken by a shell right around CMD,
# from just before it starts to just after it ends, so that the helpers
# that cap and watch the run (timeout, time, each a program start of its
# own) do not count as the tool's time; a run that the cap stops is timed
# from outside.
measure() {
  local name=$1 cap=$2 start end rc=0 settings=()
  shift 2
  while [[ $# -gt 0 && $1 =~ ^[A-Za-z_][A-Za-z0-9_]*= ]]; do
    settings+=("$1")
    shift
  done
  local timing=()
  [ "$has_time" = 0 ] || timing=(/usr/bin/time -f %M -o "$TEST_ROOT/$name.rss")
  rm -f "$TEST_ROOT/$name.clock"
  start=$EPOCHREALTIME
  # shellcheck disable=SC2016  # the inner shell expands its own variables
  (cd "$TEST_ROOT" && for setting in "${settings[@]}"; do export "${setting?}"; done &&
    "${timing[@]}" timeout -k 5 "$cap" bash -c \
      'start=$EPOCHREALTIME; "$@"; rc=$?; echo "$start $EPOCHREALTIME" >"$0"; exit "$rc"' \
      "$TEST_ROOT/$name.clock" "$@") \
    >"$TEST_ROOT/$name.out" 2>"$TEST_ROOT/$name.err" </dev/null || rc=$?
  end=$EPOCHREALTIME
  [ "$rc" = 124 ] || [ "$rc" = 137 ] || [ ! -s "$TEST_ROOT/$name.clock" ] ||
    read -r start end <"$TEST_ROOT/$name.clock"
  wall=$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }')
  rss=""
  [ "$has_time" = 0 ] || rss=$(tail -n 1 "$TEST_ROOT/$name.rss" 2>/dev/null || true)
  stopped=0 killed=0
  if [ "$rc" = 124 ] || [ "$rc" = 137 ]; then stopped=1
  elif [ "$rc" -gt 128 ]; then killed=$((rc - 128)); fi
}

# measure_median N NAME CAP CMD...: N measures of a run that changes
# nothing, keeping the figures of the run of median wall time (short runs
# vary from one to the next).
measure_median() {
  local n=$1 name=$2 i results=()
  shift 2
  for ((i = 1; i <= n; i++)); do
    measure "$name" "$@"
    results+=("$wall ${rss:-n/a} $stopped $killed")
  done
  read -r wall rss stopped killed < <(printf '%s\n' "${results[@]}" | sort -n | sed -n "$(((n + 1) / 2))p")
  [ "$rss" != n/a ] || rss=""
}

# The table: rows gathered while the cases run, printed at the end.
table=""
# line FORMAT ARGS...: a line of the table, as printf makes it.
# shellcheck disable=SC2059  # the format is the caller's
line() { table+="$(printf "$@")"$'\n'; }
heading() { line '\n%s\n' "$1"; }
mib() { [ -n "$1" ] && awk -v k="$1" 'BEGIN { printf "%.1f MiB", k / 1024 }' || printf 'n/a'; }

# row RUN COUNT MOVED EXPECTED [NOTE]: one measured run (wall, rss and
# stopped of the last measure). A count of moved objects other than the one
# the case expects is flagged: a fast but wrong run proves nothing.
row() {
  local run=$1 count=$2 moved=$3 expected=$4 note=${5:-} rate check=""
  rate=$(awk -v n="$count" -v w="$wall" 'BEGIN { if (n > 0 && w > 0) printf "%.1f", n / w; else printf "-" }')
  if [ "$stopped" = 1 ]; then note="stopped at the ${wall%.*} s cap${note:+; $note}"
  elif [ "${killed:-0}" != 0 ]; then check="  WRONG: ended by signal $killed"
  elif [ "$moved" != "$expected" ]; then check="  WRONG: expected $expected moved"; fi
  line '  %-34s %7s %6s %9s s %9s/s %10s  %s%s\n' "$run" "$count" "$moved" "$wall" "$rate" \
    "$(mib "$rss")" "$note" "$check"
}
columns() {
  line '  %-34s %7s %6s %11s %11s %10s\n' run objects moved wall objects/s "peak RSS"
}

# target TEXT FIGURE PASS: one target with the figure it is judged on; PASS
# is 1 or 0.
target() {
  line '  target: %-52s %-24s %s\n' "$1" "$2" "$([ "$3" = 1 ] && echo pass || echo miss)"
}
# holds EXPR: 1 when the awk expression holds, else 0.
holds() { awk "BEGIN { print ($1) ? 1 : 0 }"; }

# orxdetect_run NAME CAP WINDOW REPO [VAR=VALUE...]: orxdetect in all-systems
# mode, the median of $repeat runs; WINDOW is a number or "default"
# (ORX_SNMP_WINDOW unset).
repeat=1
orxdetect_run() {
  local name=$1 cap=$2 window=$3 repo=$4
  shift 4
  local setting=()
  [ "$window" = default ] || setting=("ORX_SNMP_WINDOW=$window")
  measure_median "$repeat" "$name" "$cap" "${setting[@]}" "$@" orxdetect "$repo" admin B public S
}

# --- set-up -----------------------------------------------------------------

started=$(date -u '+%Y-%m-%d %H:%M UTC')
fresh_home 2>/dev/null
mkdir -p "$noop_dir"
ln -s /bin/true "$noop_dir/reclass"
# Systems at even positions answer, those at odd ones are silent.
half=$(((objects + 1) / 2))
silent=$((objects / 2))

progress "filling the repositories ($objects systems per case)..."
if wanted A || wanted B; then
  new_repo systems ORXAddClass.TNG            # A and B: nothing moves
  fill systems $block_systems 0 "$objects" 1
fi
if wanted A; then
  new_repo empty ORXAddClass.TNG              # A: what a run costs without systems
fi
if wanted B; then
  new_repo sample ORXAddClass.TNG             # B's sequential sample
  fill sample $block_systems 0 "$sample" 1
fi
if wanted C; then
  for repo in servers_k1 servers_kd servers_sh; do  # C: everything moves, once per run
    new_repo "$repo" ORXAddClass.TNG
    fill "$repo" $block_servers 0 "$objects" 1
  done
  new_repo alone ORXAddClass.TNG              # C: reclass alone, same size (61 runs)
  wvfill alone "$server_class" $((objects > 61 ? objects : 61)) >/dev/null
fi
if wanted D; then
  new_repo legacy PLNAddClass.TNG             # D
  fill legacy $block_systems 0 "$objects" 1
  new_repo legacy_answering PLNAddClass.TNG   # D: the answering half alone
  fill legacy_answering $block_systems 0 "$objects" 2
fi

# --- A: every agent answers noSuchName -------------------------------------

if wanted A; then
  progress "A: $objects systems answering noSuchName..."
  listen nosuch $block_systems 0 "$objects" 1
  heading "A  orxdetect, $objects systems whose agents answer noSuchName (nothing moves)"
  columns
  repeat=5
  orxdetect_run a_k1 600 1 systems
  a_k1=$wall
  row "K=1, median of $repeat runs" "$objects" "$(objects_in systems $orvex_target)" 0
  orxdetect_run a_kd 600 default systems
  a_kd=$wall
  row "K=default, median of $repeat runs" "$objects" "$(objects_in systems $orvex_target)" 0
  orxdetect_run a_none 600 default empty
  row "K=default, no systems (fixed cost)" 0 "$(objects_in empty $orvex_target)" 0
  repeat=1
  measure_median 3 a_sh 600 "$here/lib/snmp-pipeline.sh" systems $server_class $id_oid $orvex_target
  a_sh=$wall
  row "shell pipeline, median of 3 runs" "$objects" "$(objects_in systems $orvex_target)" 0
  target "K=default at least 3x faster than K=1" \
    "$(awk -v a="$a_k1" -v b="$a_kd" 'BEGIN { printf "%.1fx", a / b }')" \
    "$(holds "$a_k1 >= 3 * $a_kd")"
  target "K=default faster than the shell pipeline" "$a_kd s vs $a_sh s" \
    "$(holds "$a_kd < $a_sh")"
  agents_stop
fi

# --- B: half of the systems silent -----------------------------------------

if wanted B; then
  progress "B: $objects systems, $silent of them silent (K=1 on $sample, about $((sample / 2)) s)..."
  listen nosuch $block_systems 0 "$objects" 2
  heading "B  orxdetect, $objects systems, $silent silent, 1 s time-out, no retry"
  columns
  quick=(ORX_SNMP_TIMEOUT_MS=1000 ORX_SNMP_RETRIES=0)
  orxdetect_run b_k1 600 1 sample "${quick[@]}"
  row "K=1, measured on $sample systems" "$sample" "$(objects_in sample $orvex_target)" 0
  wall=$(awk -v w="$wall" -v n="$objects" -v s="$sample" 'BEGIN { printf "%.2f", w * n / s }')
  b_k1=$wall rss="" stopped=0 killed=0
  row "K=1, extrapolated (x$(awk -v n="$objects" -v s="$sample" 'BEGIN { printf "%g", n / s }'))" "$objects" 0 0 "not run: $sample-system figure scaled"
  progress "B: default window (stopped after $cap_b s)..."
  orxdetect_run b_kd "$cap_b" default systems "${quick[@]}"
  b_kd=$wall b_kd_stopped=$stopped
  row "K=default" "$objects" "$(objects_in systems $orvex_target)" 0
  measure b_sh 600 "$here/lib/snmp-pipeline.sh" systems $server_class $id_oid $orvex_target
  row "shell pipeline (xargs -P 32)" "$objects" "$(objects_in systems $orvex_target)" 0
  b_ratio=$(awk -v a="$b_k1" -v b="$b_kd" 'BEGIN { printf "%.1f", a / b }')
  target "K=default under 10 s" "$b_kd s$([ "$b_kd_stopped" = 0 ] || echo ' (stopped)')" \
    "$(holds "$b_kd_stopped == 0 && $b_kd < 10")"
  target "K=default at least 50x faster than K=1" \
    "${b_ratio}x$([ "$b_kd_stopped" = 0 ] || echo ' at most')" \
    "$(holds "$b_kd_stopped == 0 && $b_k1 >= 50 * $b_kd")"
  agents_stop
fi

# --- C: every system is an Orvex server and moves --------------------------

if wanted C; then
  progress "C: $objects Orvex servers that all move..."
  listen server $block_servers 0 "$objects" 1
  # reclass_alone FROM TO: runs reclass alone on objects objFROM to objTO of a
  # repository of the same size, adding each wall time in ms to reclass.ms.
  # Half of the runs come before the case and half after it, so that a busy
  # spell of the shared machine weighs on both sides of the comparison.
  runs=61
  reclass_alone() {
    local i before after
    for ((i = $1; i <= $2; i++)); do
      before=$EPOCHREALTIME
      reclass /R=alone /U=admin /C=$server_class /O=obj$i /T=$orvex_target
      after=$EPOCHREALTIME
      echo "$before $after"
    done | awk '{ print ($2 - $1) * 1000 }' >>"$TEST_ROOT/reclass.ms"
  }
  reclass_alone 1 $((runs / 2))
  heading "C  orxdetect, $objects Orvex servers, all moved (one reclass each)"
  columns
  orxdetect_run c_k1 600 1 servers_k1
  c_k1=$wall
  row "K=1" "$objects" "$(objects_in servers_k1 $orvex_target)" "$objects"
  orxdetect_run c_kd 600 default servers_kd
  c_kd=$wall c_kd_stopped=$stopped
  row "K=default" "$objects" "$(objects_in servers_kd $orvex_target)" "$objects"
  measure c_sh 600 "$here/lib/snmp-pipeline.sh" servers_sh $server_class $id_oid $orvex_target
  row "shell pipeline (xargs -P 32)" "$objects" "$(objects_in servers_sh $orvex_target)" "$objects"
  reclass_alone $((runs / 2 + 1)) "$runs"
  reclass_ms=$(sort -n "$TEST_ROOT/reclass.ms" |
    awk -v n=$runs 'NR == (n + 1) / 2 { printf "%.2f", $1 }')
  line '  %-34s %7s %6s %9s ms (median of %d runs, half before and half after the others)\n' \
    "one reclass run alone" 1 "$(objects_in alone $orvex_target)" "$reclass_ms" "$runs"
  per_object=$(awk -v w="$c_kd" -v n="$objects" 'BEGIN { printf "%.2f", w * 1000 / n }')
  target "K=default per moved object <= 1.5x one reclass" \
    "$per_object ms vs $reclass_ms ms" \
    "$(holds "$c_kd_stopped == 0 && $per_object <= 1.5 * $reclass_ms")"
  line '  (K=1 per moved object: %s ms)\n' \
    "$(awk -v w="$c_k1" -v n="$objects" 'BEGIN { printf "%.2f", w * 1000 / n }')"
  agents_stop
fi

# --- D: plndetect, half silent, its own time-out and retries ---------------

if wanted D; then
  progress "D: plndetect over $objects systems, $silent silent (stopped after $cap_d s)..."
  heading "D  plndetect, $objects systems, $silent silent, own time-out ${pln_timeout_s} s and $pln_retries retries"
  columns
  listen pellion $block_systems 0 "$objects" 2
  measure d_ans 600 ORX_SNMP_WINDOW=1 plndetect legacy_answering admin B public N
  d_ans=$wall
  row "K=1, the $half answering alone" "$half" "$(objects_in legacy_answering $pellion_target)" "$half"
  measure d_kd "$cap_d" plndetect legacy admin B public N
  d_kd=$wall d_kd_stopped=$stopped
  row "K=default" "$objects" "$(objects_in legacy $pellion_target)" "$half"
  wall=$(awk -v s="$silent" -v a="$d_ans" -v t="$pln_timeout_s" -v r="$pln_retries" \
    'BEGIN { printf "%.2f", s * t * (1 + r) + a }')
  rss="" stopped=0 killed=0
  row "K=1, computed" "$objects" "$half" "$half" \
    "not run: $silent x $((pln_timeout_s * (1 + pln_retries))) s + the answering run"
  target "K=default under 40 s" "$d_kd s$([ "$d_kd_stopped" = 0 ] || echo ' (stopped)')" \
    "$(holds "$d_kd_stopped == 0 && $d_kd < 40")"
  agents_stop
fi

# --- E: ClassLift walking a large class -------------------------------------

if wanted E; then
  progress "E: filling $small and $big objects..."
  heading "E  ClassLift, one class of many objects, a reclass that does nothing"
  columns
  for count in "$small" "$big"; do
    new_repo "lift$count" PLNAddClass.TNG ORXAddClass.TNG
    wvfill "lift$count" Pellion_Linux "$count" >/dev/null
  done
  declare -A e_rss
  for count in "$small" "$big"; do
    progress "E: ClassLift over $count objects..."
    measure "e$count" 1800 PATH="$noop_dir:$PATH" ClassLift "lift$count" admin B
    e_rss[$count]=$rss
    row "$count objects" "$count" "$(objects_in "lift$count" Orvex_Linux)" 0
  done
  e_small=${e_rss[$small]} e_big=${e_rss[$big]}
  if [ -n "$e_big" ] && [ -n "$e_small" ]; then
    target "peak RSS for $big under 32 MiB" "$(mib "$e_big")" "$(holds "$e_big < 32768")"
    target "no more for $big than for $small (0.25 MiB slack)" \
      "$(mib "$e_big") vs $(mib "$e_small")" "$(holds "$e_big <= $e_small + 256")"
  else
    line '  targets on memory not judged: /usr/bin/time is not installed\n'
  fi
fi

# --- G: the cost curve -------------------------------------------------------
#
# A and B at each size of CURVE, then orxdetect with its own time-outs and
# plndetect (case D) at the largest. One set of agents serves every run:
# the first 500 addresses of the systems block (two snmpd), answering
# noSuchName (for plndetect, the same addresses answer with the
# predecessor's identity). In A every system answers, the systems sharing
# the agents' addresses in turn; in B every tenth system answers (on an
# agent's address) and the others are silent, each at an address of its
# own where nothing listens. Few agent sockets, because the kernel looks
# through every socket bound to port 161 for each datagram to that port
# that finds none: with 10,000 agent addresses a question to a silent
# device costs about 180 us of kernel time instead of 6. D's reclass does
# nothing (case C measures what a reclass costs); its console counts the
# devices it would move. Each row gives the growth from the size before:
# the ratio of wall times against the ratio of sizes.

# curve_row NAME RUN REPO COUNT SILENT [PREVIOUS-WALL PREVIOUS-COUNT]: a
# row of the curve (wall, rss of the last measure): nothing may move, and
# the console must report exactly SILENT systems as not answering.
curve_row() {
  local name=$1 run=$2 repo=$3 count=$4 expected=$5 growth="" silent
  [ -z "${6:-}" ] || growth=$(awk -v w="$wall" -v p="$6" -v n="$count" -v m="$7" \
    'BEGIN { printf "x%.2f for x%g systems", w / p, n / m }')
  silent=$(grep -c '^System dev[0-9]* not reclassified' "$TEST_ROOT/$name.out" || true)
  [ "$silent" = "$expected" ] || growth+="  WRONG: $silent silent, expected $expected"
  row "$run" "$count" "$(objects_in "$repo" $orvex_target)" 0 "$growth"
}

if wanted G; then
  read -r -a sizes <<<"$curve"
  largest=0
  for n in "${sizes[@]}"; do [ "$n" -le "$largest" ] || largest=$n; done
  if [ "$largest" -gt 120000 ]; then
    say "scale: CURVE sizes must be at most 120000" >&2
    exit 2
  fi
  agents=500
  progress "G: filling the curve's repositories (${sizes[*]} systems)..."
  for n in "${sizes[@]}"; do
    new_repo "curve_a$n" ORXAddClass.TNG
    wvfill "curve_a$n" $server_class "$n" 127.$block_systems "$agents" 1
    new_repo "curve_b$n" ORXAddClass.TNG PLNAddClass.TNG
    wvfill "curve_b$n" $server_class "$n" 127.$block_systems "$agents" 10
  done
  progress "G: $agents agents..."
  listen nosuch $block_systems 0 "$agents" 1
  heading "G  the cost curve: A and B at ${sizes[*]} systems; orxdetect and plndetect with their own time-outs at $largest"
  columns
  quick=(ORX_SNMP_TIMEOUT_MS=1000 ORX_SNMP_RETRIES=0)
  declare -A g_wall g_rss
  prev="" prev_n=""
  for n in "${sizes[@]}"; do
    progress "G: A over $n systems..."
    repeat=3
    orxdetect_run "ga$n" 600 default "curve_a$n"
    repeat=1
    g_wall[a$n]=$wall g_rss[a$n]=$rss
    curve_row "ga$n" "A, K=default, median of 3" "curve_a$n" "$n" 0 "$prev" "$prev_n"
    prev=$wall prev_n=$n
  done
  prev="" prev_n=""
  for n in "${sizes[@]}"; do
    progress "G: B over $n systems, 90 % silent..."
    orxdetect_run "gb$n" 120 default "curve_b$n" "${quick[@]}"
    g_wall[b$n]=$wall g_rss[b$n]=$rss
    curve_row "gb$n" "B (90 % silent), K=default" "curve_b$n" "$n" $((n - (n + 9) / 10)) \
      "$prev" "$prev_n"
    prev=$wall prev_n=$n
  done
  progress "G: orxdetect with its own time-outs over $largest systems..."
  orxdetect_run gown 120 default "curve_b$largest"
  g_wall[own]=$wall g_rss[own]=$rss
  curve_row gown "B, orxdetect's own 2 s, 2 retries" "curve_b$largest" "$largest" \
    $((largest - (largest + 9) / 10))
  agents_stop
  progress "G: plndetect over $largest systems (its agents first)..."
  listen pellion $block_systems 0 "$agents" 1
  measure gd 120 PATH="$noop_dir:$PATH" plndetect "curve_b$largest" admin B public N
  g_wall[d]=$wall g_rss[d]=$rss g_d_stopped=$stopped
  found=$(grep -c '^Reclassify ' "$TEST_ROOT/gd.out" || true)
  row "D, plndetect's own 4 s, 3 retries" "$largest" "$found" "$(((largest + 9) / 10))" \
    "moved: devices it would move"
  big=$largest small_b=""
  for n in "${sizes[@]}"; do [ "$n" -ge "$big" ] || small_b=$n; done
  if [ -n "${g_wall[b$big]:-}" ]; then
    target "B at $big under 5 s" "${g_wall[b$big]} s" "$(holds "${g_wall[b$big]} < 5")"
    [ -z "$small_b" ] || target "B at $big at most 3x B at $small_b" \
      "$(awk -v a="${g_wall[b$big]}" -v b="${g_wall[b$small_b]}" 'BEGIN { printf "%.2fx", a / b }')" \
      "$(holds "${g_wall[b$big]} <= 3 * ${g_wall[b$small_b]}")"
    target "orxdetect's own time-outs at $big under 15 s" "${g_wall[own]} s" \
      "$(holds "${g_wall[own]} < 15")"
    target "plndetect's own time-outs at $big under 30 s" "${g_wall[d]} s" \
      "$(holds "$g_d_stopped == 0 && ${g_wall[d]} < 30")"
    target "A at $big at least 50,000 systems/s" \
      "$(awk -v n="$big" -v w="${g_wall[a$big]}" 'BEGIN { printf "%.0f/s", n / w }')" \
      "$(holds "$big / ${g_wall[a$big]} >= 50000")"
    if [ -n "${g_rss[b$big]:-}" ]; then
      target "peak RSS of B at $big under 128 MiB" "$(mib "${g_rss[b$big]}")" \
        "$(holds "${g_rss[b$big]} < 131072")"
    fi
  fi
  agents_stop
fi

# --- V: case A over SNMPv3 beside SNMPv1 -----------------------------------

if wanted V; then
  progress "V: $objects systems answering noSuchName, over SNMPv1 and over SNMPv3..."
  new_repo systems_v ORXAddClass.TNG
  fill systems_v $block_systems 0 "$objects" 1
  heading "V  case A over SNMPv1 and over SNMPv3 authPriv (SHA-512, AES-256), default window"
  columns
  repeat=5
  listen nosuch $block_systems 0 "$objects" 1
  orxdetect_run v_v1 600 default systems_v
  v_v1=$wall
  row "SNMPv1, median of $repeat runs" "$objects" "$(objects_in systems_v $orvex_target)" 0
  agents_stop
  # The same agents knowing only the v3 user of the tests' switch, and the
  # community answer "public" naming that user's credential set.
  TNG_TEST_SNMP=v3 listen nosuch $block_systems 0 "$objects" 1
  credentials_file public "$v3_switch_user"
  orxdetect_run v_v3 600 default systems_v
  v_v3=$wall
  row "SNMPv3 authPriv, median of $repeat runs" "$objects" "$(objects_in systems_v $orvex_target)" 0
  rm -f "$TNG_HOME/snmp-credentials.ini"
  repeat=1
  per_device() { awk -v w="$1" -v n="$objects" 'BEGIN { printf "%.2f ms", w * 1000 / n }'; }
  line '  cost per device: SNMPv1 %s, SNMPv3 authPriv %s\n' "$(per_device "$v_v1")" "$(per_device "$v_v3")"
  target "SNMPv3 authPriv at most 2x SNMPv1" \
    "$(awk -v a="$v_v3" -v b="$v_v1" 'BEGIN { printf "%.2fx", a / b }')" \
    "$(holds "$v_v3 <= 2 * $v_v1")"
  agents_stop
fi

# --- the table --------------------------------------------------------------

cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)
# The commit the programs were built from, when they come from this tree.
built="programs from $TNG_BIN"
case $TNG_BIN/ in
  "$TNG_SRC"/*)
    if commit=$(git -C "$TNG_SRC" rev-parse --short HEAD 2>/dev/null); then
      [ -z "$(git -C "$TNG_SRC" status --porcelain --untracked-files=no)" ] ||
        commit+=" with uncommitted changes"
      built="source tree at commit $commit"
    fi ;;
esac
printf 'Discovery at scale, %s\n' "$started"
printf 'machine: %s cores, %s; %s\n' "$(nproc)" "${cpu:-unknown CPU}" "$built"
printf 'K is ORX_SNMP_WINDOW, the devices with fresh questions; K=default leaves it unset.\n'
printf '%s' "$table"
# KEEP_OUTPUT=DIR keeps every run's output there for a look afterwards.
[ -z "${KEEP_OUTPUT:-}" ] || cp "$TEST_ROOT"/*.out "$KEEP_OUTPUT"/
