#!/usr/bin/env bash
# Sets everything up and runs discovery on a demo repository against
# simulated agents on loopback.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
exec scripts/demo.sh
