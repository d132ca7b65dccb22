#!/usr/bin/env bash
# The web view in headless Chromium (tests/web/browser_test.py): log in,
# open a class, an object and the audit trail, check what a person sees, and
# keep a screenshot of each page in the build tree (web-screenshots/BACKEND/
# beside bin/). Needs chromium, chromium-driver and python3-selenium
# (scripts/setup.sh installs them).
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/web.sh"

# One folder for each backend: runs on both may go on at once in one build.
SHOTS=$(cd "$TNG_BIN/.." && pwd)/web-screenshots/$TNG_TEST_BACKEND

# browser_home: repository demo (admin/pw, ops/ops-pw) with three servers
# each carrying a board, the first board named like a script, 40 objects of
# Orvex_Linux, and 12 moves (3 boards, 5 and 4 servers; 4 of them by ops).
browser_home() {
  fresh_home && make_repo demo admin pw &&
  printf 'ops-pw\n' | wvrepo user add demo ops >/dev/null &&
  load_classes demo ORXAddClass.TNG PLNAddClass.TNG &&
  {
    for i in 1 2 3; do
      printf 'Unispace\tname=srv-%02d\taddress=10.0.0.%d\n' "$i" "$i"
      if [ "$i" = 1 ]; then name='<script>alert(1)</script>'; else name=$(printf 'brd-%02d' "$i"); fi
      printf 'Host\tname=%s\taddress=10.0.1.%d\n' "$name" "$i"
    done
    for i in $(seq 1 9); do printf 'WindowsNT_Server\tname=nt-%02d\taddress=10.0.2.%d\n' "$i" "$i"; done
    for i in $(seq 1 40); do printf 'Orvex_Linux\tname=lin-%02d\taddress=10.0.3.%d\n' "$i" "$i"; done
  } >"$TNG_HOME/objects.load" &&
  wvrepo object load demo "$TNG_HOME/objects.load" >/dev/null &&
  for i in 1 2 3; do
    if [ "$i" = 1 ]; then name='<script>alert(1)</script>'; else name=$(printf 'brd-%02d' "$i"); fi
    reclass /R=demo /U=admin /W=pw /C=Host "/O=$name" /T=Orvex_RemoteVistrel &&
    wvrepo object add demo Inclusion "parent_uuid:uuid=$(uuid_named "$(printf 'srv-%02d' "$i")")" \
      "child_uuid:uuid=$(uuid_named "$name")" parent_class=Unispace child_class=Orvex_RemoteVistrel \
      >/dev/null || return 1
  done &&
  for i in 1 2 3 4 5; do reclass /R=demo /U=admin /W=pw /C=WindowsNT_Server "/O=nt-0$i" /T=Orvex_WindowsNT_Server || return 1; done &&
  for i in 6 7 8 9; do reclass /R=demo /U=ops /W=ops-pw /C=WindowsNT_Server "/O=nt-0$i" /T=Pellion_WindowsNT_Server || return 1; done
}

uuid_named() {
  command wvrepo object list demo --json | jq -r --arg n "$1" 'select(.name == $n) | .uuid'
}

test_expect_success 'in a browser: log in, a class, an object, the audit trail, the chart, log out' '
  browser_home && serve demo &&
  rm -rf "$SHOTS" &&
  python3 "$TNG_SRC/tests/web/browser_test.py" "$URL" "$SHOTS" &&
  for page in overview class object audit chart links; do
    [ -s "$SHOTS/$page.png" ] || { say "no screenshot of $page" >&2; exit 1; }
  done &&
  rm -rf "$SHOTS/profile"
'

test_done
