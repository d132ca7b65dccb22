#!/bin/bash
# ClassLift over a class of 10,000 objects: wall time and peak resident
# memory of the whole run, once with the real reclass (one child process per
# object) and once with a reclass that does nothing (the walk and the spawns
# alone). Prints the figures; asserts nothing.
#
#   bench/classlift.sh [BIN] [COUNT]   BIN: the build's bin folder (default build/bin)
set -euo pipefail

BIN=$(cd "${1:-$(dirname "$0")/../build/bin}" && pwd)
COUNT=${2:-10000}
export PATH="$BIN:$PATH"
export TNG_HOME
TNG_HOME=$(mktemp -d "${TMPDIR:-/tmp}/classlift-bench.XXXXXX")
trap 'rm -rf "$TNG_HOME"' EXIT
unset TNG_FAULTS WV_REPOSITORY

wvrepo setup >/dev/null 2>&1
wvrepo create Bench >/dev/null
printf 'pw\n' | wvrepo user add Bench admin >/dev/null
wvrepo import Bench "$BIN/PLNAddClass.TNG" >/dev/null
wvrepo import Bench "$BIN/ORXAddClass.TNG" >/dev/null

# measure LABEL: runs ClassLift and prints wall time, peak RSS and the rate.
measure() {
  local label=$1 report wall rss
  # ClassLift ends with exit code 1 on every path.
  report=$( { /usr/bin/time -v ClassLift Bench admin pw >/dev/null; } 2>&1 || true)
  wall=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' <<<"$report")
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' <<<"$report")
  awk -v l="$label" -v w="$wall" -v r="$rss" -v n="$COUNT" 'BEGIN {
    k = split(w, p, ":"); s = 0; for (i = 1; i <= k; i++) s = s * 60 + p[i];
    printf "%-34s %8.2f s  %8.0f objects/s  peak RSS %5.1f MiB\n", l, s, n / s, r / 1024 }'
}

wvfill Bench Pellion_Linux "$COUNT" >/dev/null
noop=$(mktemp -d)
printf '#!/bin/sh\nexit 0\n' >"$noop/reclass" && chmod +x "$noop/reclass"
PATH="$noop:$PATH" measure "ClassLift, reclass doing nothing"
rm -rf "$noop"
measure "ClassLift, real reclass"
echo "objects moved: $(wvrepo object list Bench Orvex_Linux | wc -l) of $COUNT"
