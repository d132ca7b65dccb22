#!/usr/bin/env bash
# The two SNMP interfaces against real agents on loopback, through
# snmp-driver: values, error status, address forms, time-outs, faults.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/agents.sh"

server=.1.3.6.1.4.1.232.11.2.2.4.0
product=.1.3.6.1.4.1.232.11.2.2.1.0
kind=.1.3.6.1.4.1.232.9.2.2.10.0
board=.1.3.6.1.4.1.232.9.2.5.1.1.5.2
missing=.1.3.6.1.4.1.232.1.1.1.0

device=$(agent_address 1)
silent=$(agent_address 2)
agent_start "$device" \
  "$server integer 7" \
  "$product octet_str \"Tarvik Servers-9\"" \
  "$kind integer -3" \
  "$board ipaddress 10.0.0.5" \
  ".1.3.6.1.4.1.232.11.2.2.5.0 object_id .1.3.6.1.4.1.232" \
  ".1.3.6.1.4.1.232.11.2.2.6.0 uinteger 4000000000" \
  ".1.3.6.1.4.1.232.11.2.2.7.0 octet_str 0x0A000005" ||
  { say "not ok - no agent"; exit 1; }

# Silent devices cost 100 ms each, not seconds.
quick() { ORX_SNMP_TIMEOUT_MS=100 ORX_SNMP_RETRIES=0 "$@"; }

test_expect_success 'snmpd holds none of its own objects under the enterprise subtree' '
  snmpwalk -v2c -c public -On -M /nonexistent -m "" "$device" .1.3.6.1.4.1.232 >walk &&
  snmpget -v2c -c public -On -M /nonexistent -m "" "$device" $board >>walk &&
  awk "{ print \$1 }" walk >names &&
  expect_file names <<-EOF
	.1.3.6.1.4.1.232.9.2.2.10.0
	.1.3.6.1.4.1.232.11.2.2.1.0
	.1.3.6.1.4.1.232.11.2.2.4.0
	.1.3.6.1.4.1.232.11.2.2.5.0
	.1.3.6.1.4.1.232.11.2.2.6.0
	.1.3.6.1.4.1.232.11.2.2.7.0
	.1.3.6.1.4.1.232.9.2.5.1.1.5.2
	EOF
'

test_expect_success 'both interfaces deliver every kind of value as it came' '
  for api in mgr tng; do
    run snmp-driver $api "$device" public $server $product $kind $board \
      .1.3.6.1.4.1.232.11.2.2.5.0 .1.3.6.1.4.1.232.11.2.2.6.0 .1.3.6.1.4.1.232.11.2.2.7.0 &&
    expect_rc 0 &&
    expect_stdout <<-EOF || exit 1
	error status 0 index 0
	$server type 0x02 7
	$product type 0x04 "Tarvik Servers-9"
	$kind type 0x02 -3
	$board type 0x40 10.0.0.5
	.1.3.6.1.4.1.232.11.2.2.5.0 type 0x06 .1.3.6.1.4.1.232
	.1.3.6.1.4.1.232.11.2.2.6.0 type 0x42 4000000000
	.1.3.6.1.4.1.232.11.2.2.7.0 type 0x04 "\\x0a\\x00\\x00\\x05"
	EOF
  done
'

test_expect_success 'SNMPv1: a missing object is error status noSuchName with its index' '
  for api in mgr tng; do
    run snmp-driver $api "$device" public $server $missing &&
    expect_rc 0 &&
    expect_stdout <<-EOF || exit 1
	error status 2 index 2
	$server type 0x05 no value
	$missing type 0x05 no value
	EOF
  done
'

test_expect_success 'v2c: an exception value counts as noSuchName' '
  for api in mgr tng; do
    ORX_SNMP_VERSION=2c run snmp-driver $api "$device" public $server $missing &&
    expect_rc 0 &&
    expect_stdout <<-EOF || exit 1
	error status 2 index 2
	$server type 0x02 7
	$missing type 0x80 no value
	EOF
  done
'

test_expect_success 'an address may name the port' '
  run snmp-driver mgr "$device:161" public $server &&
  expect_rc 0 &&
  expect_stdout <<-EOF &&
	error status 0 index 0
	$server type 0x02 7
	EOF
  quick run snmp-driver mgr "$device:1161" public $server &&
  expect_rc 1 &&
  expect_stdout <<-\EOF
	request not completed, error 40
	EOF
'

# address | what GetLastError says after the failed open
open_failures='
|11001
nosuch.invalid|11001
:161|11001
[::1|11001
HOST:|10022
HOST:0|10022
HOST:65536|10022
HOST:x161|10022
'

test_expect_success 'an open that cannot succeed fails at once, telling host-not-found apart' '
  printf "%s\n" "$open_failures" | sed "/^$/d; s/HOST/$device/g" |
  while IFS="|" read -r address code; do
    run snmp-driver mgr "$address" public $server &&
    expect_rc 1 &&
    printf "open failed, error %s\n" "$code" | expect_stdout &&
    run snmp-driver tng "$address" public $server &&
    expect_rc 1 &&
    expect_stdout <<-\EOF || { say "address: \"$address\"" >&2; exit 1; }
	open failed
	EOF
  done
'

test_expect_success 'a silent address or a wrong community gives no answer' '
  for target in "$silent public" "$device private"; do
    set -- $target
    quick run snmp-driver mgr "$1" "$2" $server &&
    expect_rc 1 &&
    expect_stdout <<-\EOF &&
	request not completed, error 40
	EOF
    quick run snmp-driver tng "$1" "$2" $server &&
    expect_rc 1 &&
    expect_stdout <<-\EOF || exit 1
	no response
	EOF
  done
'

test_expect_success 'a bad ORX_SNMP setting refuses every open, with a message' '
  for setting in ORX_SNMP_VERSION=3 ORX_SNMP_TIMEOUT_MS=0 ORX_SNMP_TIMEOUT_MS=1s ORX_SNMP_RETRIES=-1; do
    run env "$setting" snmp-driver mgr "$device" public $server && expect_rc 1 &&
    printf "open failed, error 10022\n" | expect_stdout &&
    grep -q "^${setting%%=*} must be" err || { say "setting $setting" >&2; exit 1; }
  done
'

# TNG_FAULTS | interface | what the driver prints
faults='
TNG_SNMP_113=1|tng|open failed
TNG_SNMP_112=1|tng|create failed
TNG_SNMP_106=0|tng|binding of OID not added
TNG_SNMP_109=1|tng|no response
TNG_SNMP_111=0|tng|error status 0 index 0;OID type 0x02 7;end failed
TNG_SNMP_104=1|tng|error status 0 index 0;OID type 0x02 7
SnmpMgrStrToOid=0|mgr|cannot convert OID
SnmpUtilMemReAlloc=0|mgr|no memory for the list
SnmpMgrOpen=11001|mgr|open failed, error 11001
SnmpMgrOpen=5|mgr|open failed, error 5
SnmpMgrRequest=0|mgr|request not completed, error 40
SnmpMgrClose=0|mgr|error status 0 index 0;OID type 0x02 7;close failed
SnmpUtilVarBindListFree=1|mgr|error status 0 index 0;OID type 0x02 7
'

test_expect_success 'an injected failure fails only its step and leaks nothing' '
  printf "%s\n" "$faults" | sed /^$/d |
  while IFS="|" read -r fault api want; do
    TNG_FAULTS=$fault run snmp-driver $api "$device" public $server &&
    printf "%s\n" "$want" | tr ";" "\n" | sed "s/OID/$server/" | expect_stdout ||
      { say "fault $fault" >&2; exit 1; }
  done
'

test_done
