# shellcheck shell=bash
# Sourced by the demo scripts. demo_home NAME: a fresh framework home for the
# demo NAME holding the repository "demo" with the user admin (blank
# password). From a clone it uses the build's programs (scripts/setup.sh) and
# a home under out/NAME; installed (share/<package>/demo) the programs on PATH
# and a fresh temporary folder.
demo_home() {
  local top
  top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  if [ -x "$top/build/bin/wvrepo" ]; then
    export PATH="$top/build/bin:$PATH"
    export TNG_HOME="$top/out/$1"
    rm -rf "$TNG_HOME"
    mkdir -p "$TNG_HOME"
  else
    TNG_HOME="$(mktemp -d "${TMPDIR:-/tmp}/orvex-$1.XXXXXX")"
    export TNG_HOME
  fi
  wvrepo setup >/dev/null
  wvrepo create demo >/dev/null
  printf '\n' | wvrepo user add demo admin >/dev/null
}
