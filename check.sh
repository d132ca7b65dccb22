#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every check:
#
#   plain          the plain build's tests (unit tests and every script), on
#                  embedded repositories; t9010 builds the package and runs
#                  lintian on it
#   plain-pg       the scripts that make repositories (label "repository")
#                  once more, on server repositories (TNG_TEST_BACKEND=pg:
#                  each script starts its own throwaway PostgreSQL cluster)
#   sanitizer      the sanitizer build's tests (address and undefined
#                  behaviour), every script and unit test, embedded
#   sanitizer-pg   the sanitizer build's repository scripts on servers
#   fuzz           every libFuzzer target for 10 s from its committed seeds
#
# Both builds treat warnings as errors (TNG_WERROR). Much of a test's time is
# spent waiting (silent devices, agents, servers), so the runs go on side by
# side, three lines at a time (below), and the plain build's tests start
# while the sanitizer build compiles. Each run has a lane of its own
# (TNG_TEST_LANE), so that its agents never share an address with another
# run's. Each run's output is kept in build/check-logs/ and shown whole
# when it fails.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --werror

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
jobs=$(nproc)

# run NAME LANE COMMAND...: one run, its output in $logs/NAME.log and its
# exit code in $logs/NAME.rc, its time in $logs/NAME.time.
run() {
  local name=$1 lane=$2 start status=0
  shift 2
  start=$SECONDS
  TNG_TEST_LANE=$lane "$@" >"$logs/$name.log" 2>&1 || status=$?
  echo $((SECONDS - start)) >"$logs/$name.time"
  echo "$status" >"$logs/$name.rc"
}

# after NAME: waits for the run NAME to end; fails when it failed.
after() {
  while [ ! -e "$logs/$1.rc" ]; do sleep 1; done
  [ "$(cat "$logs/$1.rc")" = 0 ]
}

# report NAME...: a line for each run; the whole log of a run that failed.
# Fails when one did.
report() {
  local name status=0
  for name in "$@"; do
    if [ ! -e "$logs/$name.rc" ]; then
      echo "check: $name NOT RUN"
      status=1
    elif [ "$(cat "$logs/$name.rc")" = 0 ]; then
      echo "check: $name passed in $(cat "$logs/$name.time") s:" \
        "$(grep -E 'tests passed|executed_units' "$logs/$name.log" | tr '\n' ' ')"
    else
      echo "check: $name FAILED; its output:"
      cat "$logs/$name.log"
      status=1
    fi
  done
  return $status
}

# Three lines at once, each run in a lane of its own. A line goes on to its
# next run as soon as the one before ends; the sanitizer build's tests wait
# for that build. The sanitizer build and the fuzzers keep both cores busy,
# so they run at a lower priority: the tests' programs and agents, which
# answer within time-outs, come first.
( set +e
  run build-asan 0 nice -n 10 scripts/setup.sh --werror --sanitize-only
  after build-asan &&
    run sanitizer 2 ctest --test-dir build-asan -j "$jobs" --output-on-failure ) &
( set +e
  run plain 0 ctest --test-dir build -j "$jobs" --output-on-failure
  run fuzz 0 nice -n 10 tests/fuzz.sh 10
  after build-asan &&
    run sanitizer-pg 3 env TNG_TEST_BACKEND=pg \
      ctest --test-dir build-asan -L repository -j "$jobs" --output-on-failure ) &
( set +e
  run plain-pg 1 env TNG_TEST_BACKEND=pg ctest --test-dir build -L repository -j "$jobs" --output-on-failure ) &
wait
report build-asan plain plain-pg fuzz sanitizer sanitizer-pg
