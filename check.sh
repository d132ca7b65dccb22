#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every check:
#
#   build          the plain build (RelWithDebInfo, the tree the package is
#                  made from)
#   build-asan     the sanitizer build (clang; address and undefined
#                  behaviour) with the libFuzzer targets
#   plain          the plain build's tests: every unit test and script, the
#                  scripts that make repositories (label "repository") on
#                  server repositories (TNG_TEST_BACKEND=pg: each script
#                  starts its own throwaway PostgreSQL cluster); t9010 builds
#                  the package and runs lintian on it. The window scripts'
#                  repeats over SNMPv3 (label "repeat") are left to the
#                  sanitizer run.
#   sanitizer      the sanitizer build's tests: every unit test and script
#                  on embedded repositories, with the sanitizers watching
#                  every program (the API's unit suite also on a server, in
#                  t0020)
#   fuzz           every libFuzzer target for 5 s from its committed seeds
#
# So every script runs on both backends and under the sanitizers once.
# Both builds treat warnings as errors (TNG_WERROR). The two builds compile
# side by side, the plain one at a lower priority, as its tests take less
# time; each build's tests start when it is done: much of a test's time is
# spent waiting (silent devices, agents, servers), so the two test runs and
# the fuzzers share the cores well. Each test run has a lane
# of its own (TNG_TEST_LANE), so that its agents never share an address
# with the other's. Each run's output is kept in build/check-logs/ and
# shown whole when it fails.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --install-only

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
# The tests mostly wait (silent devices, time-outs, servers): each run
# keeps one more going than there are cores.
test_jobs=$((jobs + 1))

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

( set +e
  run build 0 nice -n 2 scripts/setup.sh --werror
  after build &&
    run plain 1 env TNG_TEST_BACKEND=pg ctest --test-dir build -LE repeat -j "$test_jobs" --output-on-failure ) &
( set +e
  run build-asan 0 scripts/setup.sh --werror --sanitize-only
  after build-asan &&
    run sanitizer 0 ctest --test-dir build-asan -j "$test_jobs" --output-on-failure ) &
# The fuzzers keep a core busy: they give way to the tests' programs and
# agents, which answer within time-outs.
( set +e
  after build-asan && run fuzz 0 nice -n 10 tests/fuzz.sh 5 ) &
wait
report build build-asan plain sanitizer fuzz
