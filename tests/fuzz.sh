#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time:
# every parser of outside input — the launchers' event file reader, the
# forwarder's text stages, the registry file, class definition files, the
# gateway's class list file (gwclass.dat), the SNMPv3 credential file and
# object identifiers as text. The targets and their committed seeds come
# from the build's fuzz-targets.txt (tng_add_fuzz_target, cmake/TngFuzz.cmake).
#
#   tests/fuzz.sh [SECONDS]      (default 20 per target; build in build-fuzz/)
#
# What a run finds that is new is kept in build-fuzz/fuzz-corpus/TARGET for
# the next run; the seeds stay as committed. Exit code 0 when no target
# found a fault; a fault leaves its crash file in build-fuzz/fuzz-findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${TNG_FUZZ_BUILD:-build-fuzz}

generator=()
[ -e "$build/CMakeCache.txt" ] || generator=(-G Ninja)
CC=clang CXX=clang++ cmake -S . -B "$build" "${generator[@]}" -DTNG_FUZZ=ON -DTNG_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target tng_fuzz_targets

findings="$build/fuzz-findings"
mkdir -p "$findings"

status=0
while read -r program seeds; do
  corpus="$build/fuzz-corpus/$program"
  mkdir -p "$corpus"
  echo "fuzz: $program for ${seconds}s" >&2
  "$build/bin/$program" -max_total_time="$seconds" -max_len=131072 -print_final_stats=1 \
    -artifact_prefix="$findings/$program-" "$corpus" "$seeds" </dev/null 2>"$build/$program.log" || {
    status=1
    tail -n 40 "$build/$program.log" >&2
  }
  grep -E '^stat::number_of_executed_units' "$build/$program.log" >&2 || true
done <"$build/fuzz-targets.txt"
exit $status
