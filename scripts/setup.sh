#!/usr/bin/env bash
# Installs what the suite needs from Debian's archive (when run as root and
# something is missing) and builds it.
#
#   scripts/setup.sh [--werror] [--sanitize | --sanitize-only | --install-only]
#
# Builds build/ (plain, RelWithDebInfo, the tree the package is made from);
# with --sanitize also build-asan/ (clang, with the address and
# undefined-behaviour sanitizers, and the libFuzzer targets beside the
# programs), with --sanitize-only build-asan/ alone; --install-only builds
# nothing. --werror makes compiler warnings errors (TNG_WERROR), as the
# project's checks do; without it a tree keeps what it was configured with
# (off in a fresh one).
set -euo pipefail
cd "$(dirname "$0")/.."

werror=() plain=1 sanitize=
for arg in "$@"; do
  case $arg in
    --werror) werror=(-DTNG_WERROR=ON) ;;
    --sanitize) sanitize=1 ;;
    --sanitize-only) sanitize=1 plain= ;;
    --install-only) sanitize='' plain='' ;;
    *) echo "usage: scripts/setup.sh [--werror] [--sanitize | --sanitize-only | --install-only]" >&2; exit 2 ;;
  esac
done

packages=(build-essential cmake pkg-config clang libclang-rt-dev libsqlite3-dev sqlite3
          libsnmp-dev snmpd snmp uuid-dev libssl-dev libgtest-dev nlohmann-json3-dev libcli11-dev
          python3 jq iproute2 procps time libpq-dev postgresql scdoc dpkg-dev bsdutils bash-completion
          libcpp-httplib-dev openssl curl wrk chromium chromium-driver python3-selenium fonts-dejavu-core
          lintian ninja-build)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: please install as root: apt-get install ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The package starts a system agent on port 161; the suite's tests and demo
# run their own agents on 127.0.0.x and need the port free. Only the system
# service is stopped (by its pid file if its script cannot): agents that
# other runs started are theirs.
if [ -f /run/snmpd.pid ] && [ -f /etc/init.d/snmpd ]; then
  /etc/init.d/snmpd stop >/dev/null 2>&1 ||
    kill "$(cat /run/snmpd.pid)" 2>/dev/null || true
fi

# configure TREE ARGS...: a fresh tree gets Ninja, which compiles a
# program's sources while the libraries it links are still being built; a
# tree configured before keeps its generator.
configure() {
  local tree=$1
  shift
  local generator=()
  [ -e "$tree/CMakeCache.txt" ] || generator=(-G Ninja)
  cmake -S . -B "$tree" "${generator[@]}" "$@" >/dev/null
}
jobs=$(nproc)
if [ -n "$plain" ]; then
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${werror[@]}"
  cmake --build build -j "$jobs"
fi
if [ -n "$sanitize" ]; then
  # clang builds the fuzz targets (libFuzzer) in the same tree and the same
  # libraries as the sanitized programs. A tree that another compiler
  # configured is made anew: CMake keeps a tree's compiler for its life.
  if [ -e build-asan/CMakeCache.txt ] && ! grep -q '^CMAKE_CXX_COMPILER:.*clang++' build-asan/CMakeCache.txt; then
    rm -rf build-asan
  fi
  CC=clang CXX=clang++ configure build-asan -DCMAKE_BUILD_TYPE=Debug -DTNG_SANITIZE=ON -DTNG_FUZZ=ON "${werror[@]}"
  cmake --build build-asan -j "$jobs"
fi
