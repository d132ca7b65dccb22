#!/bin/bash
# Repository benchmark: the cost of walking a class of 10,000 and of 100,000
# objects through the WorldView API (wall time and peak resident memory of
# the walking process), and the median wall time of one reclass run.
#
#   bench/repo.sh [BIN]      BIN: the build's bin folder (default build/bin)
#
# Prints the figures; asserts nothing.
set -euo pipefail

BIN=$(cd "${1:-$(dirname "$0")/../build/bin}" && pwd)
export PATH="$BIN:$PATH"
export TNG_HOME
TNG_HOME=$(mktemp -d "${TMPDIR:-/tmp}/repo-bench.XXXXXX")
trap 'rm -rf "$TNG_HOME"' EXIT
unset TNG_FAULTS WV_REPOSITORY

wvrepo setup >/dev/null 2>&1
wvrepo create Bench >/dev/null
printf 'pw\n' | wvrepo user add Bench admin >/dev/null

# walk CLASS: "seconds peak-KiB" of one walk reading three properties.
walk() {
  local report
  report=$( { /usr/bin/time -v wvwalk Bench "$1" "name,address,status_no" 10 --quiet >/dev/null; } 2>&1 )
  local wall rss
  wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' <<<"$report")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' <<<"$report")
  # m:ss.cc -> seconds
  awk -v w="$wall" -v r="$rss" 'BEGIN { n = split(w, p, ":"); s = 0;
    for (i = 1; i <= n; i++) s = s * 60 + p[i]; printf "%.2f s, peak RSS %.1f MiB\n", s, r / 1024 }'
}

echo "filling: 10,000 objects in Linux, 100,000 in Host (through the API) ..."
t0=$(date +%s.%N)
wvfill Bench Linux 10000
wvfill Bench Host 100000
t1=$(date +%s.%N)
awk -v a="$t0" -v b="$t1" 'BEGIN { printf "fill: %.1f s\n", b - a }'

printf 'walk of  10,000 objects: %s' "$(walk Linux)"; echo
printf 'walk of 100,000 objects: %s' "$(walk Host)"; echo

runs=50
times=()
for i in $(seq 1 $runs); do
  a=$(date +%s%N)
  reclass /R=Bench /U=admin /W=pw /C=Linux "/O=obj$i" /T=Windows2000
  b=$(date +%s%N)
  times+=($(( (b - a) / 1000 )))
done
printf '%s\n' "${times[@]}" | sort -n | awk -v n=$runs '{ v[NR] = $1 } END {
  printf "reclass: median %.2f ms over %d runs (min %.2f, max %.2f)\n",
    (n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2) / 1000, n, v[1] / 1000, v[n] / 1000 }'
moved=$(wvrepo object list Bench Windows2000 | wc -l)
echo "objects moved: $moved"
