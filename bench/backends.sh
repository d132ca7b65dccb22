#!/usr/bin/env bash
# The two repository backends side by side, in one run: the embedded SQLite
# file and a repository on a PostgreSQL server on this machine (a cluster
# of its own, default durability, reached over its unix socket with peer
# login). For each backend:
#
#   - the median of 51 reclass runs (one move each, process start included);
#   - walking 100,000 objects through the API (wall time, peak RSS);
#   - ClassLift over 10,000 objects with the real reclass;
#   - two consoles (two homes on one repository) migrating two different
#     classes of 5,000 objects each at once (ClassLift on Pellion_Brevant
#     and orxrevert on Orvex_Linux), against each alone;
#   - discovery case C of bench/scale.sh (1,000 servers, all moved).
#
# With pgbouncer installed, the server repository is measured a second time
# through it ("pooled": session pooling, so that a run's connection finds a
# server process already open).
#
#   bench/backends.sh [BIN]     BIN: the build's bin folder (default build/bin)
#
# Environment: BIG (default 100000) objects walked, LIFT (default 10000)
# objects of the ClassLift run, PAIR (default 5000) objects per console,
# SKIP_C=1 leaves case C out. Prints the figures; asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TNG_BIN=$(cd "${1:-${TNG_BIN:-$here/../build/bin}}" && pwd)
TNG_SRC=$(cd "$here/.." && pwd)
big=${BIG:-100000}
lift=${LIFT:-10000}
pair=${PAIR:-5000}
export TNG_BIN TNG_SRC PG_DURABLE=1
# shellcheck source=../tests/lib/test-lib.sh
. "$TNG_SRC/tests/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/pg.sh"
set +u
export PATH="$TNG_BIN:$PATH"

# timed OUT CMD...: runs CMD under /usr/bin/time; OUT gets "seconds peak-KiB".
timed() {
  local out=$1 report
  shift
  /usr/bin/time -v -o "$out.time" "$@" >/dev/null 2>&1 || true
  report=$(cat "$out.time")
  awk -v w="$(sed -n 's/.*Elapsed (wall clock) time.*: //p' <<<"$report")" \
      -v r="$(sed -n 's/.*Maximum resident set size (kbytes): //p' <<<"$report")" \
      'BEGIN { n = split(w, p, ":"); s = 0; for (i = 1; i <= n; i++) s = s * 60 + p[i];
               printf "%.3f %d\n", s, r }' >"$out"
}
wall_of() { date +%s.%N; }

# fresh BACKEND HOME: a home with the repository Bench on that backend, the
# user admin (password pw) and both families of classes.
fresh() {
  local backend=$1 home=$2
  rm -rf "$home"
  TNG_HOME=$home command wvrepo setup >/dev/null 2>&1
  if [ "$backend" != sqlite ]; then
    local server
    server=$(TNG_HOME=$home pg_conninfo)
    [ "$backend" = pg ] || server=$(pg_pooled "$server")
    TNG_HOME=$home command wvrepo create Bench --server "$server" >/dev/null
  else
    TNG_HOME=$home command wvrepo create Bench >/dev/null
  fi
  printf 'pw\n' | TNG_HOME=$home command wvrepo user add Bench admin >/dev/null
  TNG_HOME=$home command wvrepo import Bench "$TNG_BIN/PLNAddClass.TNG" >/dev/null
  TNG_HOME=$home command wvrepo import Bench "$TNG_BIN/ORXAddClass.TNG" >/dev/null
}
# The fixture is filled without waiting for the server's disk at every
# object (the measured runs keep full durability).
fill() { PGOPTIONS="-c synchronous_commit=off" wvfill Bench "$1" "$2"; }

backends="sqlite pg"
! command -v pgbouncer >/dev/null || backends="$backends pool"
declare -A figure
for backend in $backends; do
  home="$TEST_ROOT/home-$backend"
  export TNG_HOME=$home
  say "[$backend] filling ..." >&2
  fresh "$backend" "$home"
  fill Linux 51
  fill Host "$big"
  fill Pellion_Linux "$lift"

  say "[$backend] reclass runs ..." >&2
  times=()
  for i in $(seq 1 51); do
    a=$(date +%s%N)
    reclass /R=Bench /U=admin /W=pw /C=Linux "/O=obj$i" /T=Windows2000
    b=$(date +%s%N)
    times+=($(( (b - a) / 1000 )))
  done
  figure[$backend.reclass]=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 26p | awk '{ printf "%.2f", $1 / 1000 }')

  say "[$backend] walk ..." >&2
  timed "$TEST_ROOT/walk" wvwalk Bench Host "name,address,status_no" 10 --quiet
  figure[$backend.walk]=$(cat "$TEST_ROOT/walk")

  say "[$backend] ClassLift over $lift ..." >&2
  timed "$TEST_ROOT/lift" ClassLift Bench admin pw
  figure[$backend.lift]=$(cat "$TEST_ROOT/lift")
  figure[$backend.lifted]=$(wvrepo object list Bench Orvex_Linux | wc -l)

  say "[$backend] two consoles ..." >&2
  pair_run() {  # pair_run WHICH: alone-a, alone-b or both
    fresh "$backend" "$home"
    rm -rf "$home-b" && TNG_HOME=$home-b command wvrepo setup >/dev/null 2>&1
    if [ "$backend" != sqlite ]; then
      TNG_HOME=$home-b command wvrepo attach Bench --server "$(sed -n 's/^conninfo=//p' "$home/repositories/Bench.pg")" >/dev/null
    else
      # the same file (a link by name, so that both use one write-ahead log)
      ln -s "$home/repositories/Bench.db" "$home-b/repositories/Bench.db"
    fi
    fill Pellion_Brevant "$pair"
    fill Orvex_Linux "$pair"
    local t0 t1
    t0=$(wall_of)
    case $1 in
      alone-a) ClassLift Bench admin pw >/dev/null 2>&1 || true ;;
      alone-b) TNG_HOME=$home-b orxrevert Bench admin pw >/dev/null 2>&1 || true ;;
      both) { ClassLift Bench admin pw >/dev/null 2>&1 & TNG_HOME=$home-b orxrevert Bench admin pw >/dev/null 2>&1 & wait; } || true ;;
    esac
    t1=$(wall_of)
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
  }
  figure[$backend.alone_a]=$(pair_run alone-a)
  figure[$backend.alone_b]=$(pair_run alone-b)
  figure[$backend.both]=$(pair_run both)
  figure[$backend.both_moved]=$(( $(wvrepo object list Bench Orvex_Brevant | wc -l) + $(wvrepo object list Bench Linux | wc -l) ))
done

if [ -z "${SKIP_C:-}" ]; then
  for backend in $backends; do
    say "[$backend] discovery case C ..." >&2
    TNG_TEST_BACKEND=$backend PG_DURABLE=1 CASES=C bash "$here/scale.sh" "$TNG_BIN" \
      >"$TEST_ROOT/c-$backend" 2>/dev/null || true
    figure[$backend.c]=$(awk '$1 == "K=default" { print $4 }' "$TEST_ROOT/c-$backend")
    figure[$backend.c_alone]=$(awk '/one reclass run alone/ { print $6 }' "$TEST_ROOT/c-$backend")
  done
fi

# row LABEL FIGURE-KEY [ratio]: the figure of each backend, and with "ratio"
# each server figure's ratio to the embedded one.
row() {
  local label=$1 key=$2 b line
  line=$(printf '%-46s' "$label")
  for b in $backends; do line+=$(printf ' %11s' "${figure[$b.$key]:-}"); done
  if [ "${3:-}" = ratio ]; then
    for b in $backends; do
      [ "$b" = sqlite ] || line+=$(printf ' %8s' "$(ratio "${figure[sqlite.$key]}" "${figure[$b.$key]}")")
    done
  fi
  echo "$line"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.2fx", b / a; else print "-" }'; }
mib() { awk -v r="$1" 'BEGIN { printf "%.1f", r / 1024 }'; }
for b in $backends; do
  read -r seconds rss <<<"${figure[$b.walk]}"
  figure[$b.walk_s]=$seconds figure[$b.walk_mib]=$(mib "$rss")
  read -r seconds _ <<<"${figure[$b.lift]}"
  figure[$b.lift_s]=$seconds
  figure[$b.lift_ms]=$(awk -v s="$seconds" -v n="$lift" 'BEGIN { printf "%.2f", s * 1000 / n }')
  slower=$(awk -v a="${figure[$b.alone_a]}" -v c="${figure[$b.alone_b]}" 'BEGIN { print (a > c ? a : c) }')
  figure[$b.pairratio]=$(ratio "$slower" "${figure[$b.both]}")
done

echo "Both repository backends, $(date -u '+%Y-%m-%d %H:%M') UTC"
echo "machine: $(nproc) cores; source tree at commit $(git -C "$TNG_SRC" rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "server: PostgreSQL on this machine, unix socket, peer login, default durability"
[[ $backends != *pool* ]] ||
  echo "pooled: the same server through PgBouncer, session pooling, on a socket only its user may reach"
# Each backend's column, and the column of its ratio to the embedded one.
declare -A column=([sqlite]=embedded [pg]=server [pool]=pooled) ratio_column=([pg]=srv/emb [pool]=pool/emb)
header=$(printf '%-46s' figure)
for b in $backends; do header+=$(printf ' %11s' "${column[$b]}"); done
for b in $backends; do [ "$b" = sqlite ] || header+=$(printf ' %8s' "${ratio_column[$b]}"); done
echo "$header"
row "reclass, median of 51 runs (ms)" reclass ratio
row "walk of $big objects, wall (s)" walk_s ratio
row "walk of $big objects, peak RSS (MiB)" walk_mib
row "ClassLift over $lift, real reclass, wall (s)" lift_s ratio
row "ClassLift, per moved object (ms)" lift_ms
row "ClassLift, objects moved" lifted
row "console A alone: ClassLift, $pair objects (s)" alone_a
row "console B alone: orxrevert, $pair objects (s)" alone_b
row "A and B at once (s)" both
row "  at once / slower alone (target < 1.2)" pairratio
row "  objects moved at once (of $((2 * pair)))" both_moved
if [ -z "${SKIP_C:-}" ]; then
  row "discovery case C, 1,000 servers moved (s)" c ratio
  row "  case C, one reclass run alone (ms)" c_alone
fi
