#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time:
# every parser of outside input — the launchers' event file reader, the
# forwarder's text stages, the registry file, class definition files and
# the gateway's class list file (gwclass.dat).
#
#   tests/fuzz.sh [SECONDS]      (default 20 per target; build in build-fuzz/)
#
# Exit code 0 when no target found a fault; a fault leaves its crash file in
# build-fuzz/fuzz-findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
build=${TNG_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -DTNG_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target event_file_fuzz forwarder_stages_fuzz registry_fuzz \
  class_file_fuzz gateway_file_fuzz evtrecord

findings="$build/fuzz-findings"
mkdir -p "$findings"

# Seeds: well-formed inputs, so the fuzzers start from the real layouts.
corpus="$build/fuzz-corpus"
mkdir -p "$corpus/event_file" "$corpus/stages" "$corpus/registry" "$corpus/class_file" "$corpus/gateway"
"$build/bin/evtrecord" "$corpus/event_file/one" --slot 3="Node 10.1.2.7 down" --slot 0=10.1.2.3
"$build/bin/evtrecord" "$corpus/event_file/two" --slot 3="Node a"
"$build/bin/evtrecord" --append "$corpus/event_file/two" --slot 3="Node b" --size 300
printf 'a|b|c|d|e|f|g|h|"x"|y|' >"$corpus/stages/quoted"
printf 'a|b|c|d|e|f|g' >"$corpus/stages/few"
printf '[SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion]\nInstallPath=/opt/tng/install\n\n[SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies]\r\n ; note\r\nInstallPath = /opt/tng/agent \r\n' \
  >"$corpus/registry/setup"
cp platform/classes/*.TNG "$corpus/class_file/"
printf 'Host|WindowsNT_Server|Windows2000_Server|' >"$corpus/gateway/default"
printf '  Host|Linux|\n# forwarded\nport 7001\n' >"$corpus/gateway/rest"

status=0
for target in event_file:event_file_fuzz stages:forwarder_stages_fuzz registry:registry_fuzz \
  class_file:class_file_fuzz gateway:gateway_file_fuzz; do
  seeds=${target%%:*} program=${target#*:}
  echo "fuzz: $program for ${seconds}s" >&2
  "$build/bin/$program" -max_total_time="$seconds" -max_len=131072 -print_final_stats=1 \
    -artifact_prefix="$findings/$program-" "$corpus/$seeds" 2>"$build/$program.log" || {
    status=1
    tail -n 40 "$build/$program.log" >&2
  }
  grep -E '^stat::number_of_executed_units' "$build/$program.log" >&2 || true
done
exit $status
