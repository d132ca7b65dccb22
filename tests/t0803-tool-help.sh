#!/usr/bin/env bash
# --help and --version of the platform's command tools: usage and version on
# standard output with exit code 0, and only when asked alone, so that an
# event text or an object name never turns into the option.
. "$(dirname "$0")/lib/test-lib.sh"

test_expect_success '--help and --version of every platform tool' '
  for tool in reclass trix cawto wvrepo; do
    run "$tool" --help && expect_rc 0 &&
    grep -qi "^usage: $tool" out && test ! -s err || { say "$tool --help" >&2; exit 1; }
    run "$tool" --version && expect_rc 0 && test ! -s err &&
    grep -qxE "$tool \(orvex-tng-suite\) [0-9]+\.[0-9]+\.[0-9]+" out ||
      { say "$tool --version" >&2; cat out >&2; exit 1; }
  done
'

test_expect_success 'with other words, --help is not the option' '
  run reclass --help /R=demo && expect_rc 2 && expect_stdout_empty &&
  grep -q "unexpected argument .--help." err &&
  run trix /FILE=ORXAddClass.TNG --help && expect_rc 2 && expect_stdout_empty &&
  mkdir -p nsm/bin && cp "$TNG_BIN/cawto" nsm/bin/ &&
  run nsm/bin/cawto -n n1 --help && expect_rc 0 && expect_stdout_empty &&
  grep -q "\"message\":\"--help\"" nsm/logs/console.log &&
  run nsm/bin/cawto -n n1 --version && expect_rc 0 &&
  grep -q "\"message\":\"--version\"" nsm/logs/console.log
'

# complete WORD...: what wvrepo's bash completion offers for the last word,
# sorted, on one line.
complete() {
  bash -c '. /usr/share/bash-completion/bash_completion && . "$1" && shift &&
    COMP_WORDS=("$@") && COMP_CWORD=$(($# - 1)) && COMP_LINE="$*" && COMP_POINT=${#COMP_LINE} &&
    _wvrepo && for w in "${COMPREPLY[@]}"; do printf "%s\n" "$w"; done | sort | tr "\n" " "' \
    complete "$TNG_SRC/platform/tools/wvrepo.bash-completion" "$@"
}

test_expect_success 'bash completion of wvrepo: commands, options, repository names' '
  fresh_home && make_repo alpha && make_repo beta &&
  while IFS="|" read -r words want; do
    got=$(complete $words "") &&
    test "$got" = "$want" || { say "$words: want [$want], got [$got]" >&2; exit 1; }
  done <<-\EOF &&
	wvrepo|--help --version attach audit class create import object plan serve setup status user 
	wvrepo object|add del list load 
	wvrepo plan|apply show 
	wvrepo plan apply|alpha beta 
	wvrepo class|add drop list 
	wvrepo object list|alpha beta 
	wvrepo create alpha|
	wvrepo object list alpha --where|
	EOF
  test "$(complete wvrepo object list alpha --)" = "--help --json --where " &&
  test "$(complete wvrepo attach alpha --)" = "--help --server " &&
  test "$(complete wvrepo audit al)" = "alpha " &&
  test "$(complete wvrepo serve alpha --)" = "--help --listen --tls-cert --tls-key " &&
  test "$(complete wvrepo serve al)" = "alpha " &&
  test "$(complete wvrepo plan apply alpha --)" = "--help --skip-changed --user "
'

test_done
