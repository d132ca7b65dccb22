#!/usr/bin/env bash
# The event-file launchers: orxconlink2, orxevtlink, orxevtlink1. Each reads
# the event file named on its command line, deletes it and hands one URL to
# the desktop shell; a recording browser shows the URL received.
. "$(dirname "$0")/lib/test-lib.sh"
. "$(dirname "$0")/lib/recorders.sh"

# event FILE ARGS...: writes one event record (evtrecord's options).
event() { evtrecord "$@"; }

test_expect_success 'orxevtlink opens port 2301 of the second word of slot 3 and deletes the file' '
  use_recording_browser &&
  event ev --slot 3="Node 10.1.2.7 is not responding" --slot 0=10.9.9.9 &&
  run orxevtlink ev &&
  expect_rc 1 && expect_stdout_empty &&
  opened "http://10.1.2.7:2301" &&
  test ! -e ev
'

test_expect_success 'orxconlink2 opens the management server context page for the device' '
  use_recording_browser &&
  event ev --slot 3="Node 10.1.2.7 is not responding" &&
  QMAddress=qm.example run orxconlink2 ev &&
  expect_rc 1 && expect_stdout_empty &&
  opened "http://qm.example:280/zqportal/ZqContextLaunch.jsp?systems=10.1.2.7&tool=DEFAULT" &&
  test ! -e ev
'

test_expect_success 'orxconlink2 with an empty QMAddress opens a URL with an empty host' '
  use_recording_browser &&
  event ev --slot 3="Node srv1" &&
  QMAddress= run orxconlink2 ev &&
  expect_rc 1 &&
  opened "http://:280/zqportal/ZqContextLaunch.jsp?systems=srv1&tool=DEFAULT"
'

test_expect_success 'orxevtlink1 takes the whole text of slot 0, blanks included' '
  use_recording_browser &&
  event ev --slot 0=10.1.2.3 --slot 3="Node 10.1.2.7" &&
  run orxevtlink1 ev && expect_rc 1 && opened "http://10.1.2.3:2301" && test ! -e ev &&
  rm -f "$CASE_DIR/browser.words" &&
  event ev --slot 0="host one two" &&
  run orxevtlink1 ev && expect_rc 1 && opened "http://host one two:2301"
'

# program, slot-3 or slot-0 options, URL expected
while IFS="|" read -r title program text url; do
  test_expect_success "$title" '
    use_recording_browser &&
    event ev '"$text"' &&
    run '"$program"' ev &&
    expect_rc 1 && expect_stdout_empty &&
    opened "'"$url"'" && test ! -e ev
  '
done <<'CASES'
a one-word text gives an empty device|orxevtlink|--slot 3=Node|http://:2301
an absent slot gives an empty device|orxevtlink|--slot 0=10.1.2.3|http://:2301
an absent slot 0 gives an empty device to orxevtlink1|orxevtlink1|--slot 3=x|http://:2301
white space of any kind splits the words|orxevtlink|--slot 3=$'\t Node\n\t10.1.2.8\rrest'|http://10.1.2.8:2301
CASES

test_expect_success 'of two records the second decides' '
  use_recording_browser &&
  event ev --slot 3="Node first" && event --append ev --slot 3="Node second" &&
  run orxevtlink ev && expect_rc 1 && opened "http://second:2301" && test ! -e ev
'

test_expect_success 'a record of 61440 bytes is read' '
  use_recording_browser &&
  event ev --slot 3="Node first" && event --append ev --slot 3="Node big" --size 61440 &&
  run orxevtlink ev && expect_rc 1 && opened "http://big:2301"
'

# What ends the reading early: the record read whole before it decides, and
# the file is deleted as on any run that opens a page.
while IFS="|" read -r title second; do
  test_expect_success "$title" '
    use_recording_browser &&
    event ev --slot 3="Node first" && event --append ev '"$second"' &&
    run orxevtlink ev && expect_rc 1 && opened "http://first:2301" && test ! -e ev
  '
done <<'CASES'
a length word of 61441 stops the reading|--slot 3="Node big" --size 61441
a length word of 0 stops the reading|--slot 3="Node zero" --length-word 0
a length below the record header stops the reading|--slot 3="Node short" --length-word 111
a record cut short leaves the one before it whole|--slot 3="Node cut" --size 400 --cut 300
a length word cut short stops the reading|--slot 3="Node cut" --cut 3
CASES

test_expect_success 'wrong argument counts give the usage line and leave the file' '
  event ev --slot 3="Node 10.1.2.7" &&
  export QMAddress=qm &&
  for args in "" "ev ev"; do
    run orxconlink2 $args && expect_rc 0 &&
    expect_stdout_printf "Usage: orxconlink2.exe filename\n" || return 1
    for program in orxevtlink orxevtlink1; do
      run $program $args && expect_rc 0 &&
      expect_stdout_printf "Usage: orxevtlink.exe filename\n" || return 1
    done
  done &&
  test -e ev
'

test_expect_success 'orxconlink2 without QMAddress stops before the file' '
  use_recording_browser &&
  event ev --slot 3="Node 10.1.2.7" &&
  run orxconlink2 ev && expect_rc 0 &&
  expect_stdout_printf "Environment variable QMAddress not set.\n" &&
  test -e ev && not_opened
'

test_expect_success 'a file that cannot be opened' '
  use_recording_browser &&
  for program in orxconlink2 orxevtlink orxevtlink1; do
    QMAddress=qm run $program missing && expect_rc 0 &&
    expect_stdout_printf "Could not open temporary file\n" || return 1
  done &&
  not_opened
'

test_expect_success 'an event file that is not a regular file is refused at once and stays' '
  use_recording_browser &&
  mkfifo fifo && mkdir folder &&
  for program in orxconlink2 orxevtlink orxevtlink1; do
    for file in fifo folder /dev/zero; do
      QMAddress=qm run timeout 5 $program $file && expect_rc 0 && expect_stdout_empty &&
      grep -q "the event file $file is not a regular file; no page opened" err || return 1
    done
  done &&
  test -p fifo && test -d folder && not_opened
'

test_expect_success 'no record buffer: nothing printed, the file stays' '
  use_recording_browser &&
  event ev --slot 3="Node 10.1.2.7" &&
  TNG_FAULTS=malloc=1 run orxevtlink ev && expect_rc 0 && expect_stdout_empty &&
  test -e ev && not_opened
'

# Event files that cannot name a device are refused: a message on standard
# error, no page, and the file stays for inspection.
while IFS="|" read -r title program options message; do
  test_expect_success "refused: $title" '
    use_recording_browser &&
    event ev '"$options"' &&
    QMAddress=qm run '"$program"' ev &&
    expect_rc 0 && expect_stdout_empty &&
    grep -qF "'"$message"'" err && test -e ev && not_opened
  '
done <<'CASES'
an empty file|orxevtlink|--slot 3=x --cut 0|holds no complete event record
a file with only part of a record|orxevtlink|--slot 3="Node a" --cut 100|holds no complete event record
a slot pointing past the record|orxevtlink|--slot 3="Node a" --offset 3=119|string slot 3 of the event record points outside the record
a slot pointing far away|orxevtlink1|--offset 0=4000000000|string slot 0 of the event record points outside the record
a text without its terminator|orxconlink2|--slot 3="Node a" --unterminated|has no terminator inside its record
a slot text over 511 characters|orxevtlink|--slot 3="Node a $(printf "%0505d" 0)"|longer than 511 characters
a first word over 63 characters|orxevtlink|--slot 3="$(printf "%064d" 0) a"|first word
a device over 255 characters|orxevtlink|--slot 3="Node $(printf "%0256d" 0)"|longer than 255 characters
a slot-0 device over 255 characters|orxevtlink1|--slot 0="$(printf "%0256d" 0)"|longer than 255 characters
a URL over 255 characters|orxevtlink|--slot 3="Node $(printf "%0250d" 0)"|the URL would be longer than 255 characters
CASES

test_expect_success 'a device that just fits: URL of 255 characters' '
  use_recording_browser &&
  device=$(printf "%0243d" 0) &&
  event ev --slot 3="Node $device" &&
  run orxevtlink ev && expect_rc 1 && opened "http://$device:2301"
'

test_expect_success 'orxconlink2 refuses a URL that the server name makes too long' '
  use_recording_browser &&
  event ev --slot 3="Node 10.1.2.7" &&
  QMAddress=$(printf "%0200d" 0) run orxconlink2 ev &&
  expect_rc 0 && grep -qF "URL would be longer than 255" err && test -e ev && not_opened
'

test_expect_success 'a file name over 255 characters is refused' '
  dir=$(printf "%0250d" 0) && mkdir "$dir" && name=$dir/event && event "$name" --slot 3="Node a" &&
  run orxevtlink "$name" && expect_rc 0 && expect_stdout_empty &&
  grep -qF "name is longer than 255" err && test -e "$name"
'

test_expect_success 'without BROWSER, or with it empty, the URL goes to xdg-open' '
  use_recording_browser && unset BROWSER &&
  mkdir bin && cp "$CASE_DIR/browser" bin/xdg-open &&
  event ev --slot 3="Node srv1" &&
  PATH="$CASE_DIR/bin:$PATH" run orxevtlink ev && expect_rc 1 && opened "http://srv1:2301" &&
  rm browser.words && event ev --slot 3="Node srv2" &&
  BROWSER= PATH="$CASE_DIR/bin:$PATH" run orxevtlink ev && expect_rc 1 && opened "http://srv2:2301"
'

test_expect_success 'a browser that cannot be started is not reported' '
  event ev --slot 3="Node srv1" &&
  BROWSER="$CASE_DIR/no-such-browser" run orxevtlink ev &&
  expect_rc 1 && expect_stdout_empty && test ! -s err && test ! -e ev
'

test_done
