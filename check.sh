#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test: the
# libFuzzer targets for a bounded time, the plain build's tests, the tests
# that make repositories once more against a server repository
# (TNG_TEST_BACKEND=pg: each script starts its own throwaway PostgreSQL
# cluster), then the sanitizer build's tests on both repository backends.
#
# Much of a test's time is spent waiting (silent devices, agents, servers),
# so the runs go on side by side, three at a time (below). Each run has a
# lane of its own (TNG_TEST_LANE), so that its agents never share an address
# with another run's. Each run's ctest output is kept in build/check-logs/
# and shown whole when the run fails.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --sanitize

# The tests' folders (homes, repository files, server clusters: under 1 GB
# at the peak) go to memory when /dev/shm has room for them: on the
# development machine's disk, making and removing their many small files
# took a fifth of the check's CPU time.
# The server clusters' user must be let through the folder.
if [ -z "${TMPDIR:-}" ] && [ "$(df -m --output=avail /dev/shm 2>/dev/null | tail -n 1)" -ge 2048 ] 2>/dev/null; then
  TMPDIR=$(mktemp -d /dev/shm/tng-check.XXXXXX)
  chmod 755 "$TMPDIR"
  export TMPDIR
  trap 'rm -rf "$TMPDIR"' EXIT
fi
logs=build/check-logs
rm -rf "$logs"
mkdir -p "$logs"
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1

# run NAME LANE COMMAND...: one run, its output in $logs/NAME.log and its
# exit code in $logs/NAME.rc.
run() {
  local name=$1 lane=$2
  shift 2
  TNG_TEST_LANE=$lane "$@" >"$logs/$name.log" 2>&1
  echo $? >"$logs/$name.rc"
}

# report NAME...: a line for each run that ended; the whole log of a run
# that failed. Fails when one did.
report() {
  local name status=0
  for name in "$@"; do
    if [ "$(cat "$logs/$name.rc")" = 0 ]; then
      echo "check: $name passed: $(grep -E 'tests passed|executed_units' "$logs/$name.log" | tr '\n' ' ')"
    else
      echo "check: $name FAILED; its output:"
      cat "$logs/$name.log"
      status=1
    fi
  done
  return $status
}

# Three lines of runs at once, each run in a lane of its own: the
# fuzzers, then the sanitizer build's tests; the plain build's tests on a
# server repository, then the sanitizer build's; the plain build's tests.
# A line goes on to its second run as soon as its first ends. The fuzzers
# get 10 s each here (they keep what they found in build-fuzz/fuzz-corpus
# for the next run); `tests/fuzz.sh SECONDS` fuzzes longer.
jobs=$(nproc)
( set +e
  run fuzz 0 tests/fuzz.sh 10
  run sanitizer 2 ctest --test-dir build-asan -j "$jobs" --output-on-failure ) &
( set +e
  run plain-pg 1 env TNG_TEST_BACKEND=pg ctest --test-dir build -L repository -j "$jobs" --output-on-failure
  run sanitizer-pg 3 env TNG_TEST_BACKEND=pg ctest --test-dir build-asan -L repository -j "$jobs" --output-on-failure ) &
( set +e
  run plain 0 ctest --test-dir build -j "$jobs" --output-on-failure ) &
wait
report fuzz plain plain-pg sanitizer sanitizer-pg
