#!/usr/bin/env bash
# The address launchers: orxconlink, orxprnlink, orvm7, orvm7home,
# orxagentlink, orxqaros. Each hands one URL, built from its argument and a
# server variable, to the desktop shell; a recording browser shows it.
. "$(dirname "$0")/lib/test-lib.sh"
. "$(dirname "$0")/lib/recorders.sh"

# title | environment | command line (shell words) | URL
while IFS="|" read -r title environment command url; do
  test_expect_success "$title" '
    use_recording_browser &&
    eval "set -- $command" &&
    run env $environment "$@" &&
    expect_rc 1 && expect_stdout_empty &&
    opened "$url"
  '
done <<'CASES'
orxconlink: context page|QMAddress=qm.example|orxconlink 10.1.2.5|http://qm.example:280/zqportal/ZqContextLaunch.jsp?systems=10.1.2.5&tool=DEFAULT
orxprnlink: printer server page|KTPServer=10.1.2.9|orxprnlink 10.1.2.5|http://10.1.2.9/device/10.1.2.5
orvm7: device page|QMAddress=qm.example|orvm7 10.1.2.5|https://qm.example:50000/ui/jsp/XeHdr.jsp?PageName=pageDeviceUrls&deviceIP=10.1.2.5
orvm7home: start page|QMAddress=qm.example|orvm7home|https://qm.example:50000
orvm7home: arguments are ignored|QMAddress=qm.example|orvm7home a b c|https://qm.example:50000
orvm7home: an empty QMAddress counts as set|QMAddress=|orvm7home|https://:50000
orxagentlink: port 2301 of the device|-u QMAddress|orxagentlink 10.1.2.3|http://10.1.2.3:2301
orxqaros: the board itself|-u QMAddress|orxqaros 10.1.2.4|http://10.1.2.4
orxqaros: the argument goes in verbatim, as one word|-u QMAddress|orxqaros "a b&c=d?"|http://a b&c=d?
CASES

test_expect_success 'an argument with blanks reaches the browser as part of one word' '
  use_recording_browser &&
  run orxagentlink "host name" && expect_rc 1 && opened "http://host name:2301"
'

# program | usage line as printf format
while IFS="|" read -r program usage; do
  test_expect_success "$program: wrong argument counts give the usage line" '
    use_recording_browser &&
    export QMAddress=qm KTPServer=ktp &&
    run '"$program"' && expect_rc 0 && expect_stdout_printf "'"$usage"'" &&
    run '"$program"' a b && expect_rc 0 && expect_stdout_printf "'"$usage"'" &&
    not_opened
  '
done <<'CASES'
orxconlink|Usage: orxconlink.exe IP_Address\n
orxprnlink|Usage: orxprnlink.exe hostname/IP Address
orvm7|Usage: orvm7.exe IP_Address\n
orxagentlink|Usage: orxagentlink.exe IP_Address or Hostname\n
orxqaros|Usage: orxqaros QAROS or Bexo Address\n
CASES

# program | arguments | message
while IFS="|" read -r program arguments message; do
  test_expect_success "$program: a missing server variable" '
    use_recording_browser &&
    run '"$program"' '"$arguments"' && expect_rc 0 &&
    expect_stdout_printf "'"$message"'" && not_opened
  '
done <<'CASES'
orxconlink|10.1.2.5|Environment variable QMAddress not set.\n
orvm7|10.1.2.5|Environment variable QMAddress not set.\n
orvm7home||Environment variable QMAddress not set.\n
orxprnlink|10.1.2.5|Environment variable KTPServer not set.\n
CASES

test_expect_success 'the argument count is checked before the variable' '
  run orxconlink && expect_rc 0 && expect_stdout_printf "Usage: orxconlink.exe IP_Address\n"
'

# A URL that would not fit its capacity (511 or 255 characters) is refused,
# not cut. program | environment | longest argument | longest URL
while IFS="|" read -r program environment fits longest; do
  test_expect_success "$program: a URL of $longest characters opens, one more is refused" '
    use_recording_browser &&
    arg=$(printf "%0'"$fits"'d" 0) &&
    run env '"$environment"' '"$program"' "$arg" && expect_rc 1 && wait_for browser.words &&
    test "$(wc -c <browser.words)" -eq $(('"$longest"' + 1)) &&
    rm browser.words &&
    run env '"$environment"' '"$program"' "${arg}0" && expect_rc 0 && expect_stdout_empty &&
    grep -qF "the URL would be longer than '"$longest"' characters" err && not_opened
  '
done <<'CASES'
orxconlink|QMAddress=q|448|511
orxprnlink|KTPServer=k|495|511
orvm7|QMAddress=q|445|511
orxagentlink|-u QMAddress|243|255
orxqaros|-u QMAddress|248|255
CASES

test_expect_success 'orvm7home refuses a server name that makes the URL too long' '
  use_recording_browser &&
  QMAddress=$(printf "%0497d" 0) run orvm7home && expect_rc 1 && wait_for browser.words &&
  rm browser.words &&
  QMAddress=$(printf "%0498d" 0) run orvm7home && expect_rc 0 && grep -qF "longer than 511" err && not_opened
'

test_done
