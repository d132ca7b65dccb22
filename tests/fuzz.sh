#!/usr/bin/env bash
# Runs each libFuzzer target for a bounded time:
# every parser of outside input — the launchers' event file reader, the
# forwarder's text stages, the registry file, class definition files, the
# gateway's class list file (gwclass.dat), the SNMPv3 credential file and
# object identifiers as text. The targets live in the sanitizer build
# (build-asan/, clang: scripts/setup.sh --sanitize-only makes it when it is
# missing), and they and their committed seeds come from its
# fuzz-targets.txt (tng_add_fuzz_target, cmake/TngFuzz.cmake).
#
#   tests/fuzz.sh [SECONDS]      (default 20 per target)
#
# What a run finds that is new is kept in build-asan/fuzz-corpus/TARGET for
# the next run; the seeds stay as committed. Exit code 0 when no target
# found a fault; a fault leaves its crash file in build-asan/fuzz-findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build="build-asan"

if [ ! -e "$build/fuzz-targets.txt" ]; then
  scripts/setup.sh --werror --sanitize-only >&2
fi
cmake --build "$build" --target tng_fuzz_targets >&2

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
