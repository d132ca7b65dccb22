#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test: the
# libFuzzer targets for a bounded time, the plain build's tests, the tests
# that make repositories once more against a server repository
# (TNG_TEST_BACKEND=pg: each script starts its own throwaway PostgreSQL
# cluster), then the sanitizer build's tests on both backends.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --sanitize
status=0
tests/fuzz.sh 20 || status=1
ctest --test-dir build -j "$(nproc)" --output-on-failure || status=1
TNG_TEST_BACKEND=pg ctest --test-dir build -L repository -j "$(nproc)" --output-on-failure || status=1
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
ctest --test-dir build-asan -j "$(nproc)" --output-on-failure || status=1
TNG_TEST_BACKEND=pg ctest --test-dir build-asan -L repository -j "$(nproc)" --output-on-failure ||
  status=1
exit $status
