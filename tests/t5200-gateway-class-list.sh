#!/usr/bin/env bash
# orxgwclass: the install path from the registry, the gateway's class list
# before and after, the file it leaves, and its reversed exit codes.
. "${TNG_SRC:-$(dirname "$0")/..}/tests/lib/test-lib.sh"

ADDED="Orvex_Host|Orvex_Workstation|"

# install_at DIR: a registry of our own whose gateway key names DIR, and the
# gateway's folder below DIR (no gwclass.dat yet).
install_at() {
  export TNG_REGISTRY="$CASE_DIR/registry.ini"
  printf '[SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies]\nInstallPath=%s\n' \
    "$1" >"$TNG_REGISTRY"
  mkdir -p "$1/services/config/aws_wvgate"
  GWFILE="$1/services/config/aws_wvgate/gwclass.dat"
}

# path_of_length N: a folder name under the case folder exactly N bytes long.
path_of_length() {
  local p="$CASE_DIR/i"
  while [ ${#p} -lt "$1" ]; do p="${p}x"; done
  printf '%s' "$p"
}

# first_word FILE: the file's first white-space-delimited word.
first_word() { awk '{ for (i = 1; i <= NF; i++) { print $i; exit } }' "$1"; }

# expect_update INSTALL CURRENT: the output of a successful run.
expect_update() {
  expect_rc 1 &&
  expect_stdout_printf 'Unicenter Install Path: %s\n\nGWCLASS.DAT Current=%s\n\nGWCLASS.DAT New=%s%s\n\nFile gwclass.dat successfully updated.\n' \
    "$1" "$2" "$2" "$ADDED"
}

test_expect_success 'the home made by setup: each run appends the two classes' '
  fresh_home &&
  install=$(sed -n "/Agent Technologies\]/,/^\[/s/^InstallPath=//p" "$TNG_HOME/registry.ini") &&
  test -n "$install" &&
  gw="$install/services/config/aws_wvgate/gwclass.dat" &&
  first=$(first_word "$gw") &&
  run orxgwclass && expect_update "$install" "$first" &&
  run orxgwclass && expect_update "$install" "$first$ADDED" &&
  test "$(first_word "$gw")" = "$first$ADDED$ADDED"
'

test_expect_success 'an empty file becomes exactly the two classes' '
  install_at "$CASE_DIR/inst" && : >"$GWFILE" &&
  run orxgwclass && expect_update "$CASE_DIR/inst" "" &&
  printf %s "$ADDED" | expect_file "$GWFILE"
'

test_expect_success 'the rest of the file, its mode and a link to it are kept' '
  install_at "$CASE_DIR/inst" &&
  printf "Host|WindowsNT|\n# forwarded to the gateway\nport 7001\n" >real.dat &&
  chmod 640 real.dat && ln -s "$CASE_DIR/real.dat" "$GWFILE" &&
  run orxgwclass && expect_update "$CASE_DIR/inst" "Host|WindowsNT|" &&
  expect_file real.dat <<-\EOF &&
	Host|WindowsNT|Orvex_Host|Orvex_Workstation|
	# forwarded to the gateway
	port 7001
	EOF
  test -L "$GWFILE" &&
  test "$(stat -c %a real.dat)" = 640 &&
  test -z "$(find "$CASE_DIR" -name "*.dat.*")"
'

# registry content (printf format) | faults | what it is
while IFS="|" read -r registry faults what; do
  test_expect_success "no output and exit code 0: $what" '
    install_at "$CASE_DIR/inst" && printf "Host|" >"$GWFILE" &&
    case $registry in
      none) rm "$TNG_REGISTRY" ;;
      keep) ;;
      *) printf "$registry" >"$TNG_REGISTRY" ;;
    esac &&
    TNG_FAULTS=$faults run orxgwclass &&
    expect_rc 0 && expect_stdout_empty &&
    printf "Host|" | expect_file "$GWFILE"
  '
done <<CASES
none||no registry file
[SOFTWARE\\\\ComputerAssociates\\\\CA-Unicenter\\\\CurrentVersion]\nInstallPath=$TEST_ROOT\n||the key is missing
[SOFTWARE\\\\ComputerAssociates\\\\CA-Unicenter/TNG\\\\Agent Technologies]\nOther=1\n||the value is missing
keep|RegOpenKeyExA=2|the key cannot be opened
keep|RegQueryValueExA=5|the value cannot be read
CASES

test_expect_success 'the registry key is matched without regard to case' '
  install_at "$CASE_DIR/inst" && : >"$GWFILE" &&
  printf "[software\\\\computerassociates\\\\ca-unicenter/tng\\\\agent technologies]\nInstallPath=%s\n" \
    "$CASE_DIR/inst" >"$TNG_REGISTRY" &&
  run orxgwclass && expect_update "$CASE_DIR/inst" ""
'

test_expect_success 'an install path of 79 bytes fits; one of 80 is refused on stderr' '
  fits=$(path_of_length 79) && install_at "$fits" && printf "Host|" >"$GWFILE" &&
  run orxgwclass && expect_update "$fits" "Host|" &&
  long=$(path_of_length 80) && install_at "$long" && printf "Host|" >"$GWFILE" &&
  run orxgwclass &&
  expect_rc 0 && expect_stdout_empty &&
  grep -q "install path .* 80 characters long; at most 79" err &&
  printf "Host|" | expect_file "$GWFILE"
'

test_expect_success 'a missing gateway file' '
  install_at "$CASE_DIR/inst" &&
  run orxgwclass &&
  expect_rc 0 &&
  expect_stdout_printf "Unicenter Install Path: %s\nCould not open file gwclass.dat\n" "$CASE_DIR/inst" &&
  test ! -e "$GWFILE"
'

test_expect_success 'a class list that would not fit is refused and the file is left as it was' '
  install_at "$CASE_DIR/inst" &&
  longest=$(head -c 226 /dev/zero | tr "\0" A) &&
  printf "%s\nrest\n" "$longest" >"$GWFILE" &&
  run orxgwclass && expect_update "$CASE_DIR/inst" "$longest" &&
  printf "%s%s\nrest\n" "$longest" "$ADDED" | expect_file "$GWFILE" &&
  printf "B%s\nrest\n" "$longest" >"$GWFILE" &&
  run orxgwclass &&
  expect_rc 0 &&
  expect_stdout_printf "Unicenter Install Path: %s\n\nGWCLASS.DAT Current=B%s\n\n" "$CASE_DIR/inst" "$longest" &&
  grep -q "would be 256 characters long .* at most 255 fit" err &&
  printf "B%s\nrest\n" "$longest" | expect_file "$GWFILE"
'

test_lazy_prereq PROC_VERSION 'test -r /proc/version' 'needs a readable /proc/version'
test_expect_success PROC_VERSION 'a file that cannot be replaced is left as it was' '
  install_at "$CASE_DIR/inst" &&
  ln -s /proc/version "$GWFILE" &&
  cp /proc/version before &&
  first=$(first_word before) &&
  run orxgwclass &&
  expect_rc 0 &&
  expect_stdout_printf "Unicenter Install Path: %s\n\nGWCLASS.DAT Current=%s\n\nGWCLASS.DAT New=%s%s\n\nCould not open gwclass.dat for writing.\n" \
    "$CASE_DIR/inst" "$first" "$first" "$ADDED" &&
  cat /proc/version >after && expect_file after <before
'

# as_user CMD...: runs CMD as an ordinary user (nobody when the tests run as
# root, whom permissions do not stop), in folders that user may enter.
as_user() {
  if [ "$(id -u)" = 0 ]; then
    chmod 755 "$TEST_ROOT" "$CASE_DIR" &&
    setpriv --reuid=65534 --regid=65534 --clear-groups "$@"
  else
    "$@"
  fi
}
# own FILE...: gives the files to the user as_user runs as.
own() { if [ "$(id -u)" = 0 ]; then chown 65534:65534 "$@"; fi; }

# folder mode | file mode | what happens
while IFS="|" read -r folder file what; do
  test_expect_success "the file's own permissions decide: $what" '
    install_at "$CASE_DIR/inst" && gwdir=$(dirname "$GWFILE") &&
    printf "Host|\nrest\n" >"$GWFILE" && own "$GWFILE" "$gwdir" &&
    chmod '"$file"' "$GWFILE" && chmod '"$folder"' "$gwdir" && chmod o+r "$TNG_REGISTRY" &&
    run as_user orxgwclass && chmod 755 "$gwdir" &&
    test "$(stat -c %a "$GWFILE")" = '"$file"' && test -z "$(find "$gwdir" -name "*.dat.*")" &&
    case "'"$what"'" in
      refused*)
        expect_rc 0 && grep -q "Could not open gwclass.dat for writing." out &&
        grep -q "gwclass.dat: permission denied" err &&
        printf "Host|\nrest\n" | expect_file "$GWFILE" ;;
      *)
        expect_update "$CASE_DIR/inst" "Host|" &&
        printf "Host|%s\nrest\n" "$ADDED" | expect_file "$GWFILE" ;;
    esac
  '
done <<CASES
755|444|refused: a read-only file in a writable folder
555|444|refused: a read-only file in a read-only folder
555|644|updated: a writable file in a folder the user may not write
755|640|updated: a writable file in a writable folder
CASES

test_expect_success ROOT 'owner and group of the file stay when another user updates it' '
  install_at "$CASE_DIR/inst" && printf "Host|" >"$GWFILE" &&
  chown 65534:65534 "$GWFILE" && chmod 664 "$GWFILE" &&
  run orxgwclass && expect_update "$CASE_DIR/inst" "Host|" &&
  test "$(stat -c %u:%g:%a "$GWFILE")" = 65534:65534:664
'

test_done
