#!/usr/bin/env bash
# The web view (`wvrepo serve`) with 100,000 objects in one class, on both
# repository backends: the embedded file and a repository on a PostgreSQL
# server on this machine (a cluster of its own, default durability, unix
# socket, peer login). For each backend:
#
#   - the time of one request (median of 21, curl's total time, logged in
#     by cookie): the overview, the class's first page, its page at object
#     50,001, its last page, and a filter that few objects meet;
#   - 32 clients at once (wrk, 10 s each) on the overview and on the three
#     class pages in turn: the 50th and 99th percentiles and requests/s;
#   - the server's peak resident memory over all of it.
#
#   bench/web.sh [BIN]     BIN: the build's bin folder (default build/bin)
#
# Environment: BIG (default 100000) objects, MOVES (default 200) moves in
# the audit trail, CLIENTS (default 32), LOAD_SECONDS (default 10) per wrk
# run. Prints the figures and the targets (each figure under 100 ms, the
# 99th percentile under 250 ms, under 64 MiB); asserts nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
TNG_BIN=$(cd "${1:-${TNG_BIN:-$here/../build/bin}}" && pwd)
TNG_SRC=$(cd "$here/.." && pwd)
big=${BIG:-100000}
moves=${MOVES:-200}
clients=${CLIENTS:-32}
load_seconds=${LOAD_SECONDS:-10}
export TNG_BIN TNG_SRC PG_DURABLE=1
# shellcheck source=../tests/lib/test-lib.sh
. "$TNG_SRC/tests/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/pg.sh"
set +u
export PATH="$TNG_BIN:$PATH"
command -v wrk >/dev/null || { echo "bench/web.sh: wrk is not installed (scripts/setup.sh)" >&2; exit 1; }

server_pid=
stop_server() {
  [ -z "$server_pid" ] || { kill "$server_pid" 2>/dev/null; wait "$server_pid" 2>/dev/null || true; }
  server_pid=
}
cleanup_hooks=(stop_server "${cleanup_hooks[@]}")

# fresh BACKEND: the home $TNG_HOME with repository Bench on that backend,
# user admin (password pw), both families of classes, $big objects of
# Orvex_Linux and $moves of them moved to Orvex_Host by reclass.
fresh() {
  rm -rf "$TNG_HOME"
  command wvrepo setup >/dev/null
  if [ "$1" = pg ]; then
    command wvrepo create Bench --server "$(pg_conninfo)" >/dev/null
  else
    command wvrepo create Bench >/dev/null
  fi
  printf 'pw\n' | command wvrepo user add Bench admin >/dev/null
  command wvrepo import Bench "$TNG_BIN/ORXAddClass.TNG" >/dev/null
  command wvrepo import Bench "$TNG_BIN/PLNAddClass.TNG" >/dev/null
  python3 -c "
for i in range($big):
    print('Orvex_Linux\tname=host-%06d\taddress=10.%d.%d.%d' % (i, i >> 16, (i >> 8) & 255, i & 255))
" >"$TEST_ROOT/objects.load"
  # Filled without waiting for the server's disk at every row; the measured
  # runs keep full durability.
  PGOPTIONS="-c synchronous_commit=off" command wvrepo object load Bench "$TEST_ROOT/objects.load" >/dev/null
  local i
  for ((i = 0; i < moves; i++)); do
    reclass /R=Bench /U=admin /W=pw /C=Orvex_Linux "/O=$(printf 'host-%06d' $((i * 7)))" /T=Orvex_Host
  done
  # The server's planner statistics, as its autovacuum makes them within a
  # minute or so of a large load: without them it plans a page's read as a
  # scan of every property.
  [ "$1" != pg ] || repo_sql Bench "ANALYZE" >/dev/null
}

# start_server: `wvrepo serve Bench` on a free port; URL, server_pid, and a
# session cookie in COOKIE.
start_server() {
  local err="$TEST_ROOT/serve.err" i
  command wvrepo serve Bench --listen 127.0.0.1:0 2>"$err" &
  server_pid=$!
  URL=
  for ((i = 0; i < 400; i++)); do
    sleep 0.025
    URL=$(sed -n 's|^wvrepo: serving repository .* at \(http://[^ ]*\)/ .*|\1|p' "$err")
    [ -z "$URL" ] || break
  done
  [ -n "$URL" ] || { cat "$err" >&2; exit 1; }
  COOKIE=$(curl -s -D - -o /dev/null -d user=admin -d password=pw "$URL/login" |
    sed -n 's/^Set-Cookie: \(tng_session=[0-9a-f]*\);.*/\1/p')
}

# median_ms PATH: the median of 21 requests' total times, in ms.
median_ms() {
  local i
  for ((i = 0; i < 21; i++)); do
    curl -s -o /dev/null -H "Cookie: $COOKIE" -w '%{time_total}\n' "$URL$1"
  done | sort -g | awk '{ t[NR] = $1 } END { printf "%.2f", t[11] * 1000 }'
}

# cursor_at N: the cursor after the N-th object of Orvex_Linux.
cursor_at() {
  local after=0 left=$1 n
  while [ "$left" -gt 0 ]; do
    n=$((left < 1000 ? left : 1000))
    after=$(curl -s -H "Cookie: $COOKIE" "$URL/api/classes/Orvex_Linux/objects?limit=$n&after=$after" | jq -r .next)
    left=$((left - n))
  done
  echo "$after"
}

# load NAME PATH...: $clients clients for $load_seconds s, each request the
# next of the paths in turn; "p50 p99 requests/s errors".
load() {
  local name=$1 script="$TEST_ROOT/paths.lua"
  shift
  {
    printf 'paths = {'
    printf '"%s", ' "$@"
    printf '}\nn = 0\nrequest = function()\n  n = n %% #paths + 1\n  return wrk.format("GET", paths[n])\nend\n'
  } >"$script"
  wrk -t2 -c"$clients" -d"${load_seconds}s" --latency -H "Cookie: $COOKIE" -s "$script" "$URL" >"$TEST_ROOT/wrk-$name.out" 2>&1
  awk '
    function ms(v) { if (v ~ /us$/) return v / 1000; if (v ~ /ms$/) return v + 0; if (v ~ /s$/) return v * 1000; return v }
    $1 == "50%" { p50 = ms($2) } $1 == "99%" { p99 = ms($2) }
    /^Requests\/sec:/ { rps = $2 }
    /Non-2xx/ { errors += $NF } /Socket errors/ { gsub(",", ""); errors += $4 + $6 + $8 + $10 }
    END { printf "%.1f %.1f %.0f %d\n", p50, p99, rps, errors }' "$TEST_ROOT/wrk-$name.out"
}

declare -A figure
for backend in sqlite pg; do
  export TNG_HOME="$TEST_ROOT/home-$backend"
  say "[$backend] filling $big objects ..." >&2
  fresh "$backend"
  start_server
  middle=$(cursor_at $((big / 2)))
  last=$(cursor_at $((big - moves - 50)))
  say "[$backend] measuring ..." >&2
  figure[$backend,overview]=$(median_ms /)
  figure[$backend,first]=$(median_ms /classes/Orvex_Linux)
  figure[$backend,middle]=$(median_ms "/classes/Orvex_Linux?after=$middle")
  figure[$backend,last]=$(median_ms "/classes/Orvex_Linux?after=$last")
  figure[$backend,filter]=$(median_ms "/classes/Orvex_Linux?q=host-0999")
  figure[$backend,api]=$(median_ms "/api/classes/Orvex_Linux/objects?limit=1000&after=$middle")
  read -r "figure[$backend,o50]" "figure[$backend,o99]" "figure[$backend,orps]" oerr < <(load overview /)
  read -r "figure[$backend,c50]" "figure[$backend,c99]" "figure[$backend,crps]" cerr \
    < <(load classes /classes/Orvex_Linux "/classes/Orvex_Linux?after=$middle" "/classes/Orvex_Linux?after=$last")
  figure[$backend,errors]=$((oerr + cerr))
  figure[$backend,rss]=$(awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' "/proc/$server_pid/status")
  stop_server
done

verdict() { awk -v a="$1" -v b="$2" 'BEGIN { print (a + 0 < b + 0) ? "pass" : "FAIL" }'; }
row() { printf '%-52s %10s %10s\n' "$1" "${figure[sqlite,$2]}" "${figure[pg,$2]}"; }
echo "The web view, $(date -u '+%Y-%m-%d %H:%M') UTC"
echo "machine: $(nproc) cores; source tree at commit $(git -C "$TNG_SRC" rev-parse --short HEAD 2>/dev/null || echo unknown)"
echo "server: PostgreSQL on this machine, unix socket, peer login, default durability"
echo "$big objects in Orvex_Linux, $moves moves in the audit trail; $clients clients, ${load_seconds} s a run"
printf '%-52s %10s %10s\n' figure embedded server
row "overview, median of 21 (ms)" overview
row "class page 1, median of 21 (ms)" first
row "class page at object $((big / 2 + 1)), median of 21 (ms)" middle
row "class page, the last, median of 21 (ms)" last
row "class page filtered (few objects meet it) (ms)" filter
row "API, 1000 objects at object $((big / 2 + 1)) (ms)" api
row "$clients clients, overview: 50th percentile (ms)" o50
row "$clients clients, overview: 99th percentile (ms)" o99
row "$clients clients, overview: requests/s" orps
row "$clients clients, class pages: 50th percentile (ms)" c50
row "$clients clients, class pages: 99th percentile (ms)" c99
row "$clients clients, class pages: requests/s" crps
row "$clients clients: errors and answers other than 2xx" errors
row "server's peak resident memory (MiB)" rss
for backend in sqlite pg; do
  worst=0
  for f in overview first middle last filter; do
    worst=$(awk -v a="$worst" -v b="${figure[$backend,$f]}" 'BEGIN { print (b > a) ? b : a }')
  done
  worst99=$(awk -v a="${figure[$backend,o99]}" -v b="${figure[$backend,c99]}" 'BEGIN { print (b > a) ? b : a }')
  echo "target ($backend): every page under 100 ms: ${worst} ms $(verdict "$worst" 100);" \
    "99th percentile under 250 ms: ${worst99} ms $(verdict "$worst99" 250);" \
    "memory under 64 MiB: ${figure[$backend,rss]} MiB $(verdict "${figure[$backend,rss]}" 64)"
done
