#!/bin/bash
# Start-up cost of the shared and the linked-in C++ runtime: the median wall
# time of one reclass run (an object moved) and of an orxdetect run over an
# empty repository (its fixed cost), with the programs of two builds, the
# runs of both interleaved so that a busy machine weighs on both alike.
#
#   bench/runtime.sh [SHARED_BIN [STATIC_BIN]]
#     defaults: build/bin and build-static/bin, the latter made with
#     cmake -S . -B build-static -DTNG_STATIC_RUNTIME=ON
#     && cmake --build build-static --target reclass orxdetect
#
# Prints the figures; asserts nothing.
set -euo pipefail

top=$(cd "$(dirname "$0")/.." && pwd)
SHARED=$(cd "${1:-$top/build/bin}" && pwd)
STATIC=$(cd "${2:-$top/build-static/bin}" && pwd)
export TNG_HOME
TNG_HOME=$(mktemp -d "${TMPDIR:-/tmp}/runtime-bench.XXXXXX")
trap 'rm -rf "$TNG_HOME"' EXIT
unset TNG_FAULTS WV_REPOSITORY

runs=${RUNS:-101}
"$SHARED/wvrepo" setup >/dev/null 2>&1
"$SHARED/wvrepo" create Bench >/dev/null
printf 'pw\n' | "$SHARED/wvrepo" user add Bench admin >/dev/null
"$SHARED/wvrepo" import Bench ORXAddClass.TNG >/dev/null
"$SHARED/wvfill" Bench Linux $((2 * runs)) >/dev/null
"$SHARED/wvrepo" create Empty >/dev/null
"$SHARED/wvrepo" import Empty ORXAddClass.TNG >/dev/null

# micros CMD...: the wall time of one run in microseconds.
micros() {
  local a b
  a=$(date +%s%N)
  "$@" >/dev/null 2>&1 || true
  b=$(date +%s%N)
  echo $(( (b - a) / 1000 ))
}
median() { sort -n | awk '{ v[NR] = $1 } END { printf "%.2f ms", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) / 1000 }'; }

declare -a rs rt ds dt
for i in $(seq 1 "$runs"); do
  rs+=("$(micros "$SHARED/reclass" /R=Bench /U=admin /W=pw /C=Linux "/O=obj$((2 * i - 1))" /T=Orvex_Linux)")
  rt+=("$(micros "$STATIC/reclass" /R=Bench /U=admin /W=pw /C=Linux "/O=obj$((2 * i))" /T=Orvex_Linux)")
  ds+=("$(micros "$SHARED/orxdetect" Empty admin pw public S)")
  dt+=("$(micros "$STATIC/orxdetect" Empty admin pw public S)")
done

echo "C++ runtime at start-up, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, median of $runs runs each"
printf '  reclass, one object moved:      shared %s   linked in %s\n' \
  "$(printf '%s\n' "${rs[@]}" | median)" "$(printf '%s\n' "${rt[@]}" | median)"
printf '  orxdetect, empty repository:    shared %s   linked in %s\n' \
  "$(printf '%s\n' "${ds[@]}" | median)" "$(printf '%s\n' "${dt[@]}" | median)"
echo "  moved: $("$SHARED/wvrepo" object list Bench Orvex_Linux | wc -l) of $((2 * runs))"
