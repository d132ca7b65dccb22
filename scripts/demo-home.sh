# shellcheck shell=bash
# Sourced by the demo scripts. demo_home NAME: a fresh framework home for the
# demo NAME holding the repository "demo" with the user admin (blank
# password). From a clone it uses the build's programs (scripts/setup.sh) and
# a home under out/NAME, kept for a look afterwards; installed
# (share/<package>/demo) the programs on PATH and a fresh temporary folder,
# removed when the demo ends.
#
# demo_at_end CMD: CMD runs when the demo ends, before the home goes.
demo_end_hooks=()
demo_at_end() { demo_end_hooks+=("$1"); }
demo_end() {
  local hook
  for hook in "${demo_end_hooks[@]}"; do "$hook" || true; done
  if [ -n "${demo_temporary_home:-}" ]; then rm -rf "$demo_temporary_home"; fi
}
trap demo_end EXIT

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
    demo_temporary_home=$TNG_HOME
    export TNG_HOME
  fi
  wvrepo setup >/dev/null
  wvrepo create demo >/dev/null
  printf '\n' | wvrepo user add demo admin >/dev/null
}

# demo_home_is_temporary: true when the home goes at the end.
demo_home_is_temporary() { [ -n "${demo_temporary_home:-}" ]; }
