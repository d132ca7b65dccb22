#!/usr/bin/env bash
# The repository tools' front end: the mode decision, the usage texts, the
# prompts through a pipe and the answers that do not fit, seen through the
# three migration tools.
. "$(dirname "$0")/lib/test-lib.sh"

classlift_usage() {
  printf '\nTo few arguments passed to ClassLift.exe\n\n'
  printf 'Usage: ClassLift RepositoryName UserName Password\n\n'
  printf 'RepositoryName:   Name of the Unicenter TNG Repository\n'
  printf 'UserName:         User name for logging into the repository\n'
  printf 'Password:         Password for the specified user name\n\n'
  printf 'Note: Enter B for the password if the password is blank.\n\n'
}
revert_usage() {  # TOOL-WORD
  printf '\nTo few arguments passed to %s.EXE\n\n' "$1"
  printf 'Usage: %s RepositoryName UserName Password\n\n' "$1"
  printf 'RepositoryName:   Name of the Unicenter TNG Repository\n'
  printf 'UserName:         User name for logging into the repository\n'
  printf 'Password:         Password for the specified user name\n\n'
  printf 'Note: Enter B for the password if the password is blank.\n\n'
}
classlift_banner() {
  printf '\nThis utility connects to the local Unicenter TNG repository and\n'
  printf 'reclassifies all Pellion objects into the new Orvex classes defined in\n'
  printf 'the integration.\n'
  printf 'For example, Pellion_Linux objects will be changed to Orvex_Linux objects.\n\n'
}
prompts_classlift() {
  printf '\nOrvex Vistrel Integration object migration utility.\n\n'
  printf 'You will now be prompted for the Common Object Repository name,\n'
  printf 'Username, Password, and Community String for the discovery\n'
  printf 'process to utilize.\n\n'
  printf '\nEnter the name of the Repository to use:'
  printf '\nEnter the user name to log into the repository:'
}
password_pair() {
  printf '\nEnter the password to log into the repository:'
  printf '\nVerify the password to log into the repository:'
}

# Argument counts: tool, arguments, expected exit code, expected output.
while IFS='|' read -r tool args want_rc want; do
  [ -n "$tool" ] || continue
  test_expect_success "$tool $args" "
    fresh_home &&
    run $tool $args &&
    expect_rc $want_rc &&
    $want >expected && expect_file \"\$CASE_DIR/out\" <expected
  "
done <<'TABLE'
ClassLift||1|true
ClassLift|demo|1|classlift_usage
ClassLift|demo admin|1|classlift_usage
ClassLift|inst-prompt admin|1|classlift_usage
orxrevert||1|revert_usage ORXREVERT
orxrevert|demo admin|1|revert_usage ORXREVERT
plnrevert||1|revert_usage PLNREVERT
plnrevert|inst-prompt|1|revert_usage PLNREVERT
plnrevert|Inst-Prompt x|1|revert_usage PLNREVERT
TABLE

test_expect_success 'inst-prompt among enough arguments is a repository name' '
  fresh_home &&
  run ClassLift inst-prompt admin B &&
  expect_rc 1 &&
  { classlift_banner; printf "\nRepository Connect Failed\n"; } >expected &&
  expect_stdout <expected
'

test_expect_success 'Inst-Prompt in another case is not the marker' '
  fresh_home &&
  run ClassLift Inst-Prompt &&
  expect_rc 1 &&
  classlift_usage >expected && expect_stdout <expected
'

test_expect_success 'a failed kernel start ends the run after the banner' '
  fresh_home &&
  TNG_FAULTS=TNGWV_Kernel_Start=3 run ClassLift demo admin B &&
  expect_rc 1 &&
  { classlift_banner; printf "Kernel Start Failed\n"; } >expected &&
  expect_stdout <expected
'

test_expect_success 'a failed connect after the blank-password line break' '
  fresh_home &&
  make_repo demo &&
  TNG_FAULTS=TNGWV_Repository_Connect=7 run plnrevert demo admin B &&
  expect_rc 1 &&
  printf "This utility connects to the local Unicenter TNG repository and\nreclassifies all Pellion objects back to their default Unicenter\nTNG class in the Common Object Repository.\nFor example, Pellion_Novell objects will be changed to Novell objects.\n\n\nRepository Connect Failed\n" >expected &&
  expect_stdout <expected
'

test_expect_success 'a real password prints no blank line before the connect failure' '
  fresh_home &&
  run ClassLift nosuchrepo admin b &&
  expect_rc 1 &&
  { classlift_banner; printf "Repository Connect Failed\n"; } >expected &&
  expect_stdout <expected
'

test_expect_success 'an unknown fault name is refused before anything runs' '
  fresh_home &&
  TNG_FAULTS=NoSuchCall=1 run ClassLift demo admin B &&
  expect_rc 125 &&
  expect_stdout_empty &&
  grep -q NoSuchCall err
'

# Interactive answers through a pipe. The repository does not exist, so the
# run ends at the connect: what matters is the dialogue before it.
test_expect_success 'interactive: prompts in order, a mismatch asks the pair again silently' '
  fresh_home &&
  run_with_input "nosuch\nadmin\nsecret\nsecreT\nsecret\nsecret\n" ClassLift inst-prompt &&
  expect_rc 1 &&
  { prompts_classlift; password_pair; password_pair; classlift_banner;
    printf "Repository Connect Failed\n"; } >expected &&
  expect_stdout <expected
'

test_expect_success 'interactive: B typed at both prompts is the blank password' '
  fresh_home &&
  run_with_input "nosuch\nadmin\nB\nB\n" ClassLift inst-prompt &&
  { prompts_classlift; password_pair; classlift_banner;
    printf "\nRepository Connect Failed\n"; } >expected &&
  expect_stdout <expected
'

test_expect_success 'interactive: backspace edits the hidden entry, first backspace does nothing' '
  fresh_home &&
  make_repo demo admin ab &&
  load_classes demo PLNAddClass.TNG ORXAddClass.TNG &&
  wvrepo object add demo Pellion_Linux name=penguin >/dev/null &&
  record_reclass &&
  run_with_input "demo\nadmin\n\bax\bb\nab\n" ClassLift inst-prompt &&
  grep -x "/W=ab" "$CASE_DIR/reclass.words" &&
  objects demo Orvex_Linux >got && echo "Orvex_Linux penguin" >want && cmp want got
'

# The password field holds 127 characters: the 128th key ends the entry and
# is dropped. 124 is the longest password that fits reclass's "/W=" field.
test_expect_success 'interactive: the 128th key ends a hidden entry of ClassLift' '
  fresh_home &&
  p127=$(printf "%0127d" 0) &&
  run_with_input "nosuch\nadmin\n${p127}X${p127}Y" ClassLift inst-prompt &&
  expect_rc 1 &&
  { prompts_classlift; password_pair; } >expected &&
  expect_stdout <expected &&
  grep -q "password is 127 characters long; at most 124 fit" err
'

test_expect_success 'interactive: end of input stops the tool without doing anything' '
  fresh_home &&
  run_with_input "demo\n" orxrevert inst-prompt &&
  expect_rc 1 &&
  grep -q "end of input" err
'

# Answers that do not fit their fields are refused before anything is done.
while IFS='|' read -r what args; do
  [ -n "$what" ] || continue
  test_expect_success "refused: $what" "
    fresh_home &&
    run ClassLift $args &&
    expect_rc 1 &&
    expect_stdout_empty &&
    grep -q 'Nothing was done' err
  "
done <<TABLE
repository name of 32 characters|$(printf 'r%.0s' $(seq 32)) admin B
user name of 125 characters|demo $(printf 'u%.0s' $(seq 125)) B
password of 125 characters|demo admin $(printf 'p%.0s' $(seq 125))
TABLE

test_done
