#!/usr/bin/env bash
# The Debian package: built from this build tree with CPack, unpacked into a
# fresh root, and used from there alone: a framework home, the class
# definitions, and a discovery against an agent.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"
. "$TNG_SRC/discovery/tests/fixtures.sh"

build=$(cd "$TNG_BIN/.." && pwd)
if sanitized_build; then
  say "t9010-package: skipped, the package is built from the plain tree"
  exit 77
fi

# The package, once for the whole script.
pkg="$TEST_ROOT/pkg"
mkdir -p "$pkg"
(cd "$build" && cpack -G DEB -B "$pkg" >"$pkg/cpack.log" 2>&1) ||
  { say "not ok - cpack failed"; cat "$pkg/cpack.log"; exit 1; }
deb=$(ls "$pkg"/*.deb)
root="$TEST_ROOT/root"
dpkg-deb -x "$deb" "$root"

# installed CMD ARGS...: runs CMD with the unpacked programs alone on PATH
# before the system's folders (the build tree is not on it).
installed() {
  PATH="$root/usr/bin:/usr/sbin:/usr/bin:/sbin:/bin" "$@"
}

test_expect_success 'Depends comes from the programs: the shared C++ runtime and the libraries' '
  dpkg-deb -f "$deb" Depends | tr "," "\n" | sed "s/^ *//; s/ .*//" | sort >got &&
  for lib in libc6 libgcc-s1 libpq5 libsnmp40 libsqlite3-0 libssl3 libstdc++6 libuuid1; do
    grep -qx "$lib" got || { say "Depends lacks $lib" >&2; exit 1; }
  done
'

test_expect_success 'the package holds the declared programs, each with its manual page' '
  cut -d " " -f 1 "$TNG_PROGRAMS" | sort >declared &&
  ls "$root/usr/bin" | sort >programs &&
  ls "$root/usr/share/man/man1" | sed "s/\.1\.gz$//" | sort >pages &&
  cmp declared programs && cmp programs pages &&
  for page in "$root"/usr/share/man/man1/*.gz; do
    zcat "$page" | grep -q "^\.SH EXIT STATUS" || { say "$page: no EXIT STATUS" >&2; exit 1; }
    zcat "$page" | grep -q "^\.SH EXAMPLE" || { say "$page: no EXAMPLE" >&2; exit 1; }
  done
'

# lintian_clean DEB: lintian finds no error; its report is shown when it does.
lintian_clean() {
  lintian --fail-on error "$1" >lintian.out 2>&1 || { cat lintian.out >&2; return 1; }
}

test_expect_success 'lintian finds no error in the package' '
  lintian_clean "$deb"
'

test_expect_success 'class files, demo, notes and completion are where the package puts them' '
  for f in ORXAddClass.TNG ORXDeleteClass.TNG PLNAddClass.TNG PLNDeleteClass.TNG demo/demo.sh; do
    test -s "$root/usr/share/orvex-tng-suite/$f" || { say "missing $f" >&2; exit 1; }
  done &&
  test -s "$root/usr/share/doc/orvex-tng-suite/README.md" &&
  test -s "$root/usr/share/doc/orvex-tng-suite/copyright" &&
  test -s "$root/usr/share/doc/orvex-tng-suite/changelog.gz" &&
  test -s "$root/usr/share/doc/orvex-tng-suite/platform/classes/README.md" &&
  test -s "$root/usr/share/bash-completion/completions/wvrepo"
'

test_expect_success 'the installed migration demo runs from the package and removes its home' '
  mkdir tmp &&
  TMPDIR=$PWD/tmp run installed bash "$root/usr/share/orvex-tng-suite/demo/demo-migration.sh" &&
  expect_rc 0 && grep -q "^== classes after ==" out &&
  test -z "$(ls -A tmp)"
'

server=$(agent_address 1)
agent_start "$server" "$oid_server integer 1" "$oid_kind integer 1" ||
  { say "not ok - agent did not start"; exit 1; }

test_expect_success 'setup, the class definitions from any folder, and a discovery, from the package alone' '
  installed wvrepo setup >/dev/null &&
  test -x "$TNG_HOME/nsm/bin/cawto" &&
  installed wvrepo create demo >/dev/null &&
  printf "\n" | installed wvrepo user add demo admin &&
  WV_REPOSITORY=demo run installed orxschema && expect_rc 0 &&
  grep -q "^Orvex_Linux" <(installed wvrepo class list demo) &&
  installed wvrepo object add demo Linux name=web-1 "address=$server" >/dev/null &&
  quick run installed orxdetect demo admin B public S && expect_rc 0 &&
  grep -qx "Reclassify web-1 as an Orvex Linux Server" out &&
  installed wvrepo object list demo Orvex_Linux >got && grep -q "web-1" got &&
  test -s "$TNG_HOME/install/orxdetect.log"
'

test_done
