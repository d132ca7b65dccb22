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
  if [ "$backend" = pg ]; then
    TNG_HOME=$home command wvrepo create Bench --server "$(TNG_HOME=$home pg_conninfo)" >/dev/null
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

declare -A figure
for backend in sqlite pg; do
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
    reclass /R=Bench /U=admin /W=pw /C=Linux /O=obj$i /T=Windows2000
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
    if [ "$backend" = pg ]; then
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
  for backend in sqlite pg; do
    say "[$backend] discovery case C ..." >&2
    TNG_TEST_BACKEND=$backend PG_DURABLE=1 CASES=C bash "$here/scale.sh" "$TNG_BIN" \
      >"$TEST_ROOT/c-$backend" 2>/dev/null || true
    figure[$backend.c]=$(awk '$1 == "K=default" { print $4 }' "$TEST_ROOT/c-$backend")
    figure[$backend.c_alone]=$(awk '/one reclass run alone/ { print $6 }' "$TEST_ROOT/c-$backend")
  done
fi

row() {  # row LABEL SQLITE PG [RATIO]
  printf '%-52s %14s %14s %8s\n' "$@"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a > 0) printf "%.2fx", b / a; else print "-" }'; }
set -- ${figure[sqlite.walk]}; sw=$1 srss=$2
set -- ${figure[pg.walk]}; pw=$1 prss=$2
set -- ${figure[sqlite.lift]}; sl=$1
set -- ${figure[pg.lift]}; pl=$1

echo "Both repository backends, $(date -u '+%Y-%m-%d %H:%M') UTC"
echo "machine: $(nproc) cores; source tree at commit $(git -C "$TNG_SRC" rev-parse --short HEAD 2>/dev/null || echo '?')"
echo "server: PostgreSQL on this machine, unix socket, peer login, default durability"
row "figure" "embedded" "server" "ratio"
row "reclass, median of 51 runs (ms)" "${figure[sqlite.reclass]}" "${figure[pg.reclass]}" "$(ratio "${figure[sqlite.reclass]}" "${figure[pg.reclass]}")"
row "walk of $big objects, wall (s)" "$sw" "$pw" "$(ratio "$sw" "$pw")"
row "walk of $big objects, peak RSS (MiB)" "$(awk -v r="$srss" 'BEGIN{printf "%.1f", r/1024}')" "$(awk -v r="$prss" 'BEGIN{printf "%.1f", r/1024}')" ""
row "ClassLift over $lift, real reclass, wall (s)" "$sl" "$pl" "$(ratio "$sl" "$pl")"
row "ClassLift, per moved object (ms)" "$(awk -v s="$sl" -v n="$lift" 'BEGIN{printf "%.2f", s*1000/n}')" "$(awk -v s="$pl" -v n="$lift" 'BEGIN{printf "%.2f", s*1000/n}')" ""
row "ClassLift, objects moved" "${figure[sqlite.lifted]}" "${figure[pg.lifted]}" ""
row "console A alone: ClassLift, $pair objects (s)" "${figure[sqlite.alone_a]}" "${figure[pg.alone_a]}" ""
row "console B alone: orxrevert, $pair objects (s)" "${figure[sqlite.alone_b]}" "${figure[pg.alone_b]}" ""
row "A and B at once (s)" "${figure[sqlite.both]}" "${figure[pg.both]}" ""
for b in sqlite pg; do
  slower=$(awk -v a="${figure[$b.alone_a]}" -v c="${figure[$b.alone_b]}" 'BEGIN { print (a > c ? a : c) }')
  figure[$b.pairratio]=$(ratio "$slower" "${figure[$b.both]}")
done
row "  at once / slower alone (target < 1.2 on the server)" "${figure[sqlite.pairratio]}" "${figure[pg.pairratio]}" ""
row "  objects moved at once (of $((2 * pair)))" "${figure[sqlite.both_moved]}" "${figure[pg.both_moved]}" ""
if [ -z "${SKIP_C:-}" ]; then
  row "discovery case C, 1,000 servers moved (s)" "${figure[sqlite.c]}" "${figure[pg.c]}" "$(ratio "${figure[sqlite.c]}" "${figure[pg.c]}")"
  row "  case C, one reclass run alone (ms)" "${figure[sqlite.c_alone]}" "${figure[pg.c_alone]}" ""
fi
