#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test: the
# plain build, then the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh --sanitize
status=0
ctest --test-dir build -j "$(nproc)" --output-on-failure || status=1
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j "$(nproc)" --output-on-failure || status=1
exit $status
