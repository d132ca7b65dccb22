#!/usr/bin/env bash
# The web view, `wvrepo serve`, as a browser and a script meet it over HTTP:
# the refusals at start, the login and its brake, every page and API
# document against what wvrepo itself says, hostile names shown as text,
# paging through 2,500 objects, requests that are slow, half-sent or too
# large, HTTPS, a lost database server, and the end by a signal. With
# TNG_TEST_BACKEND=pg the same cases run on a server repository.
. "$(dirname "$0")/lib/test-lib.sh"
. "$TNG_SRC/tests/lib/web.sh"

CSP="default-src 'none'; style-src 'self'; img-src 'self'; form-action 'self'; frame-ancestors 'none'; base-uri 'none'"
BOARD='<script>alert(1)</script>'
QUOTED='q"uo'"'"'te&amp;'
# A name that is not UTF-8; a server repository keeps only UTF-8 text, so
# there it holds two control characters (ESC, DEL) instead. Pages show each
# such byte as U+FFFD; the API does so for bytes that are not UTF-8 and
# carries control characters as they are (escaped, as JSON does).
BAD_SHOWN=$(printf 'bad\xef\xbf\xbd\xef\xbf\xbdname')
if [ "$TNG_TEST_BACKEND" = pg ]; then
  BAD_NAME=$(printf 'bad\x1b\x7fname') BAD_JSON=$BAD_NAME
else
  BAD_NAME=$(printf 'bad\xff\x80name') BAD_JSON=$BAD_SHOWN
fi
TODAY=$(date -u +%F)

# web_home: repository demo with the users admin (pw) and ops (ops-pw), both
# families of classes, the server srv1 carrying the board named $BOARD (an
# Inclusion object), the objects $QUOTED and $BAD_NAME, 2,500 objects of
# Orvex_Linux (linux-0001 ...), and five moves: three by admin, two by ops.
web_home() {
  fresh_home && make_repo demo admin pw &&
  printf 'ops-pw\n' | wvrepo user add demo ops >/dev/null &&
  load_classes demo ORXAddClass.TNG PLNAddClass.TNG &&
  {
    printf 'Unispace\tname=srv1\taddress=10.0.0.1\n'
    printf 'Orvex_RemoteVistrel\tname=%s\taddress=10.0.0.2\n' "$BOARD"
    printf 'WindowsNT_Server\tname=%s\taddress=10.0.0.3\n' "$QUOTED" "$BAD_NAME"
    printf 'WindowsNT_Server\tname=moved-%s\taddress=10.0.1.%s\n' 1 1 2 2 3 3 4 4
    for i in $(seq 1 2500); do
      printf 'Orvex_Linux\tname=linux-%04d\taddress=10.1.%d.%d\n' "$i" $((i / 256)) $((i % 256))
    done
  } >"$TNG_HOME/objects.load" &&
  wvrepo object load demo "$TNG_HOME/objects.load" >/dev/null &&
  wvrepo object add demo Inclusion "parent_uuid:uuid=$(uuid_of srv1)" \
    "child_uuid:uuid=$(uuid_of "$BOARD")" parent_class=Unispace child_class=Orvex_RemoteVistrel \
    parent_sequence_no:int=99 child_sequence_no:int=99 >/dev/null &&
  reclass /R=demo /U=admin /W=pw /C=WindowsNT_Server "/O=$BAD_NAME" /T=Orvex_WindowsNT_Server &&
  reclass /R=demo /U=admin /W=pw /C=WindowsNT_Server /O=moved-1 /T=Orvex_WindowsNT_Server &&
  reclass /R=demo /U=ops /W=ops-pw /C=WindowsNT_Server /O=moved-2 /T=Orvex_Windows2000_Server &&
  reclass /R=demo /U=ops /W=ops-pw /C=WindowsNT_Server /O=moved-3 /T=Pellion_WindowsNT_Server &&
  reclass /R=demo /U=admin /W=pw /C=WindowsNT_Server /O=moved-4 /T=Orvex_WindowsNT_Server
}

uuid_of() {
  command wvrepo object list demo --json | jq -r --arg n "$1" 'select(.name == $n) | .uuid'
}

# test_expect_server 'title' 'body': a case about a repository on a server;
# skipped on the embedded file.
test_expect_server() {
  if [ "$TNG_TEST_BACKEND" != pg ]; then
    case_number=$((case_number + 1))
    tests_skipped=$((tests_skipped + 1))
    say "ok $case_number # skip $1 (server repository only)"
    return
  fi
  test_expect_success "$@"
}

# no_script: the last body holds no script and no script URL.
no_script() {
  ! grep -qiE '<script|javascript:' "$CASE_DIR/body" || { say "a script in:" >&2; cat "$CASE_DIR/body" >&2; return 1; }
}

test_expect_success 'serve refuses what it cannot serve safely, with a message' '
  made_once web web_home &&
  while IFS="|" read -r rc message args; do
    # shellcheck disable=SC2086
    run wvrepo serve $args && expect_rc "$rc" &&
    grep -qF -- "$message" err || { say "serve $args: want rc $rc and \"$message\"" >&2; cat err >&2; exit 1; }
  done <<-\EOF &&
	2|is not a loopback address: the view is served there only over HTTPS|demo --listen 192.0.2.1:8321
	2|is not a loopback address|demo --listen 0.0.0.0:8321
	2|is not a loopback address|demo --listen [::]:8321
	2|is not an address to listen on|demo --listen example.net:8321
	2|is not an address to listen on|demo --listen 127.0.0.1:99999
	2|--tls-cert and --tls-key go together|demo --listen 127.0.0.1:0 --tls-cert x.pem
	1|cannot use the certificate|demo --listen 127.0.0.1:0 --tls-cert none.pem --tls-key none.pem
	1|nosuch|nosuch --listen 127.0.0.1:0
	EOF
  serve demo && port=${URL##*:} &&
  run wvrepo serve demo --listen "127.0.0.1:$port" && expect_rc 1 &&
  grep -q "cannot listen on 127.0.0.1:$port: Address already in use" err
'

test_expect_success 'without a session a page leads to the login page and the API asks for credentials' '
  made_once web web_home && serve demo &&
  board=$(uuid_of "$BOARD") &&
  while read -r path location; do
    status=$(http GET "$path") && [ "$status" = 303 ] && [ "$(header Location)" = "$location" ] ||
      { say "$path: $status $(header Location), want 303 $location" >&2; exit 1; }
  done <<-EOF &&
	/ /login
	/classes/Unispace /login?next=%2Fclasses%2FUnispace
	/objects/$board /login?next=%2Fobjects%2F$board
	/audit?user=a&class=b /login?next=%2Faudit%3Fuser%3Da%26class%3Db
	/links /login?next=%2Flinks
	/chart /login?next=%2Fchart
	/chart.svg /login?next=%2Fchart.svg
	/no/such/page /login?next=%2Fno%2Fsuch%2Fpage
	EOF
  for path in /api/classes /api/classes/Unispace/objects "/api/objects/$board" /api/audit /api/links /api/moves /api/nosuch; do
    status=$(http GET "$path") && [ "$status" = 401 ] &&
    [ "$(header WWW-Authenticate)" = "Basic realm=\"wvrepo\", charset=\"UTF-8\"" ] &&
    jq -e ".error | test(\"authentication required\")" body >/dev/null ||
      { say "$path: $status" >&2; cat head body >&2; exit 1; }
  done &&
  [ "$(http GET /login)" = 200 ] && tags_and_texts >tags &&
  grep -qx "button	Log in" tags && grep -c "^input" tags | grep -qx 3 &&
  [ "$(http GET /style.css)" = 200 ] && [ "$(header Content-Type)" = "text/css; charset=utf-8" ]
'

test_expect_success 'login: wrong passwords are refused and then slowed down; the right one opens a session' '
  made_once web web_home && serve demo &&
  for i in 1 2 3; do
    [ "$(http POST /login -d user=admin -d password=wrong)" = 401 ] || exit 1
  done &&
  grep -q "Wrong user name or password." body && grep -q "name=\"user\" value=\"admin\"" body &&
  [ "$(http POST /login -d user=admin -d password=pw)" = 429 ] &&
  [ "$(header Retry-After)" = 1 ] && grep -q "Too many wrong passwords for this user: try again in 1 s." body &&
  [ "$(http POST /login -d user=ops -d password=ops-pw)" = 303 ] &&
  sleep 1.1 &&
  [ "$(http POST /login -c cookies -d user=admin -d password=pw)" = 303 ] &&
  [ "$(header Location)" = / ] &&
  header Set-Cookie | grep -qxE "tng_session=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict" &&
  [ "$(http GET / -b cookies)" = 200 ] &&
  while read -r next location; do
    [ "$(http POST /login --data-urlencode "next=$next" -d user=admin -d password=pw)" = 303 ] &&
    [ "$(header Location)" = "$location" ] || { say "next=$next: $(header Location)" >&2; exit 1; }
  done <<-\EOF &&
	/classes/Unispace?q=a%20b /classes/Unispace?q=a%20b
	//evil.example/ /
	/\evil.example/ /
	https://evil.example/ /
	EOF
  [ "$(http POST /login -H "Origin: http://evil.example" -d user=admin -d password=pw)" = 403 ] &&
  [ -z "$(header Set-Cookie)" ] &&
  [ "$(http POST /login -H "Origin: $URL" -d user=admin -d password=pw)" = 303 ] &&
  for i in 1 2 3; do
    [ "$(http GET /api/classes -u ops:wrong)" = 401 ] || exit 1
  done &&
  [ "$(http GET /api/classes -u ops:ops-pw)" = 429 ] && [ "$(header Retry-After)" = 1 ] &&
  jq -e ".error | test(\"too many wrong passwords\")" body >/dev/null &&
  [ "$(http GET /api/classes -u admin:pw)" = 200 ]
'

test_expect_success 'the pages show the repository, hostile names as text, under the security policy' '
  made_once web web_home && serve demo && login &&
  board=$(uuid_of "$BOARD") && srv=$(uuid_of srv1) && bad=$(uuid_of "$BAD_NAME") &&
  for path in / /classes/Orvex_RemoteVistrel /classes/WindowsNT_Server "/objects/$board" \
      "/objects/$srv" "/objects/$bad" /links /audit "/audit?user=ops" /chart; do
    [ "$(http GET "$path" "${SESSION[@]}")" = 200 ] && [ "$(header Content-Security-Policy)" = "$CSP" ] &&
    [ "$(header Content-Type)" = "text/html; charset=utf-8" ] &&
    [ "$(header X-Content-Type-Options)" = nosniff ] && no_script &&
    tags_and_texts >"tags.${path//\//_}" || { say "$path" >&2; cat head >&2; exit 1; }
  done &&
  ! grep -q "^script" tags.* &&
  grep -qxF "tr	Orvex_Linux 2500" tags._ &&
  grep -qxF "h2	Orvex classes" tags._ && grep -qxF "h2	Pellion classes" tags._ &&
  grep -qxF "h2	Other classes" tags._ && grep -qxF "a	$BAD_SHOWN" tags._ &&
  grep -qxF "a	$BOARD" tags._classes_Orvex_RemoteVistrel &&
  grep -qxF "a	$QUOTED" tags._classes_WindowsNT_Server &&
  grep -qF "q&quot;uo&#39;te&amp;amp;" <(http GET /classes/WindowsNT_Server "${SESSION[@]}" >/dev/null; cat body) &&
  grep -qxF "h1	Object $BOARD" "tags._objects_$board" &&
  grep -qxF "tr	is carried by srv1 Unispace" "tags._objects_$board" &&
  grep -qxF "tr	carries $BOARD Orvex_RemoteVistrel" "tags._objects_$srv" &&
  grep -qxF "td	$BAD_SHOWN" "tags._objects_$bad" &&
  grep -qE "^tr	${TODAY}T[0-9:]+Z admin reclass WindowsNT_Server Orvex_WindowsNT_Server\$" "tags._objects_$bad" &&
  grep -qxF "tr	srv1 Unispace $BOARD Orvex_RemoteVistrel" tags._links &&
  [ "$(grep -c "^tr	$TODAY" tags._audit)" = 5 ] &&
  [ "$(grep -c "^tr	$TODAY.* ops reclass " "tags._audit?user=ops")" = 2 ] &&
  [ "$(grep -c "^tr	$TODAY" "tags._audit?user=ops")" = 2 ] &&
  grep -qxF "title	$TODAY: 3 moved to Orvex_WindowsNT_Server" tags._chart &&
  [ "$(http GET /chart.svg "${SESSION[@]}")" = 200 ] && [ "$(header Content-Type)" = image/svg+xml ] &&
  python3 -c "import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])" body &&
  grep -q "Pellion_WindowsNT_Server" body &&
  http GET / "${SESSION[@]}" >/dev/null && length=$(wc -c <body) &&
  [ "$(http HEAD / "${SESSION[@]}")" = 200 ] && [ "$(header Content-Length)" = "$length" ] &&
  while read -r path; do
    [ "$(http GET "$path" "${SESSION[@]}")" = 404 ] && no_script || { say "$path" >&2; exit 1; }
  done <<-\EOF &&
	/classes/NoSuchClass
	/objects/not-a-uuid
	/objects/00000000-0000-0000-0000-000000000000
	/no/such/page
	/classes/%3Cscript%3E
	EOF
  grep -qF "class &#39;&lt;script&gt;&#39; does not exist" body
'

test_expect_success 'the JSON API gives what wvrepo gives' '
  made_once web web_home && serve demo &&
  A=(-u admin:pw) &&
  [ "$(http GET /api/classes "${A[@]}")" = 200 ] && [ "$(header Content-Type)" = application/json ] &&
  [ "$(header Content-Security-Policy)" = "$CSP" ] &&
  jq -c ".[]" body >got &&
  { wvrepo class list demo --json | jq -r .name; wvrepo object list demo --json | jq -r .class_name; } |
    LC_ALL=C sort | uniq -c |
    jq -Rc "capture(\"^ *(?<n>[0-9]+) (?<name>.*)\$\") | {name, count: ((.n | tonumber) - 1)}" |
    expect_file got &&
  [ "$(http GET "/api/classes/WindowsNT_Server/objects?limit=1000" "${A[@]}")" = 200 ] &&
  jq -e ".next == null" body >/dev/null && jq -c ".objects[]" body >got &&
  wvrepo object list demo WindowsNT_Server --json | jq -c . | expect_file got &&
  bad=$(uuid_of "$BAD_NAME") &&
  [ "$(http GET "/api/objects/$bad" "${A[@]}")" = 200 ] &&
  jq -c "del(.history, .links)" body >got &&
  wvrepo object list demo Orvex_WindowsNT_Server --json | jq -c "select(.uuid == \"$bad\")" | expect_file got &&
  jq -c ".history[]" body >got &&
  wvrepo audit demo --json | jq -c "select(.uuid == \"$bad\")" | expect_file got &&
  jq -e --arg n "$BAD_JSON" ".name == \$n and .links == []" body >/dev/null &&
  [ "$(http GET "/api/objects/$(uuid_of "$BOARD")" "${A[@]}")" = 200 ] &&
  jq -c ".links[] | del(.inclusion)" body >got &&
  echo "{\"uuid\":\"$(uuid_of srv1)\",\"class_name\":\"Unispace\",\"name\":\"srv1\",\"role\":\"parent\"}" | expect_file got &&
  [ "$(http GET /api/audit "${A[@]}")" = 200 ] && jq -c ".records[]" body >got &&
  wvrepo audit demo --json | jq -c . | tac | expect_file got &&
  [ "$(http GET /api/links "${A[@]}")" = 200 ] &&
  jq -c ".links[] | [.parent.name, .child.name, .child.class_name]" body >got &&
  jq -nc --arg b "$BOARD" "[\"srv1\", \$b, \"Orvex_RemoteVistrel\"]" | expect_file got &&
  [ "$(http GET "/api/moves?days=2" "${A[@]}")" = 200 ] && jq -c ".days[1]" body >got &&
  echo "{\"day\":\"$TODAY\",\"to\":{\"Orvex_Windows2000_Server\":1,\"Orvex_WindowsNT_Server\":3,\"Pellion_WindowsNT_Server\":1}}" |
    expect_file got &&
  login && [ "$(http GET /api/classes "${SESSION[@]}")" = 200 ]
'

test_expect_success 'requests the view does not serve get 400, 404 or 405 and change nothing' '
  made_once web web_home && serve demo && login &&
  { wvrepo object list demo --json; wvrepo audit demo --json; } >before &&
  board=$(uuid_of "$BOARD") &&
  while read -r method path want; do
    status=$(http "$method" "$path" -u admin:pw "${SESSION[@]}") &&
    [ "$status" = "$want" ] || { say "$method $path: $status, want $want" >&2; cat body >&2; exit 1; }
    case $path in
      /api/*) jq -e ".error | type == \"string\"" body >/dev/null ;;
      *) tags_and_texts | grep -q "^p	" ;;
    esac || { say "$method $path: no message" >&2; cat body >&2; exit 1; }
  done <<-EOF &&
	GET /api/classes/NoSuchClass/objects 404
	GET /api/objects/00000000-0000-0000-0000-000000000000 404
	GET /api/objects/not-a-uuid 404
	GET /api/nosuch 404
	GET /api/classes/Orvex_Linux/objects?limit=0 400
	GET /api/classes/Orvex_Linux/objects?limit=1001 400
	GET /api/classes/Orvex_Linux/objects?limit=ten 400
	GET /api/classes/Orvex_Linux/objects?after=-1 400
	GET /api/classes/Orvex_Linux/objects?after=99999999999999999999 400
	GET /api/audit?since=2023-02-30 400
	GET /api/audit?until=yesterday 400
	GET /api/audit?before=x 400
	GET /api/moves?days=367 400
	GET /classes/Orvex_Linux?after=x 400
	GET /chart?days=0 400
	POST /api/classes 405
	PUT /api/classes 405
	DELETE /api/objects/$board 405
	PATCH /api/objects/$board 405
	OPTIONS /api/classes 405
	POST / 405
	PUT /classes/Unispace 405
	DELETE /objects/$board 405
	GET /logout 405
	EOF
  [ "$(http DELETE /objects/$board "${SESSION[@]}")" = 405 ] && [ "$(header Allow)" = "GET, HEAD" ] &&
  { wvrepo object list demo --json; wvrepo audit demo --json; } | expect_file before &&
  serve_stopped_cleanly
'

test_expect_success 'paging through 2,500 objects returns each exactly once, in pages and the API' '
  made_once web web_home && serve demo && login &&
  wvrepo object list demo Orvex_Linux --json | jq -r .uuid | sort >want &&
  for limit in 1000 100; do
    : >got && after= && pages=0 &&
    while :; do
      [ "$(http GET "/api/classes/Orvex_Linux/objects?limit=$limit${after:+&after=$after}" "${SESSION[@]}")" = 200 ] || exit 1
      jq -r ".objects[].uuid" body >>got && pages=$((pages + 1))
      after=$(jq -r ".next // empty" body) && [ -n "$after" ] || break
    done &&
    [ "$pages" = $(((2500 + limit - 1) / limit)) ] || { say "limit $limit: $pages pages" >&2; exit 1; }
    sort got | expect_file want || exit 1
  done &&
  : >got && next=/classes/Orvex_Linux && pages=0 &&
  while [ -n "$next" ]; do
    [ "$(http GET "$next" "${SESSION[@]}")" = 200 ] || exit 1
    sed -n "s|.*<td class=\"uuid\">\([0-9a-f-]*\)</td>.*|\1|p" body >>got && pages=$((pages + 1))
    next=$(sed -n "s|.*<a rel=\"next\" href=\"\([^\"]*\)\".*|\1|p" body | sed "s/&amp;/\&/g")
  done &&
  [ "$pages" = 25 ] && sort got | expect_file want &&
  for filter in linux-01 10.1.9. linux-2500 nothing; do
    : >got && next="/classes/Orvex_Linux?q=$filter" &&
    while [ -n "$next" ]; do
      [ "$(http GET "$next" "${SESSION[@]}")" = 200 ] || exit 1
      sed -n "s|.*<td class=\"uuid\">\([0-9a-f-]*\)</td>.*|\1|p" body >>got
      next=$(sed -n "s|.*<a rel=\"next\" href=\"\([^\"]*\)\".*|\1|p" body | sed "s/&amp;/\&/g")
    done &&
    wvrepo object list demo Orvex_Linux --json |
      jq -r --arg f "$filter" "select((.name | contains(\$f)) or (.address | contains(\$f))) | .uuid" |
      sort >want-filtered &&
    sort got | expect_file want-filtered || exit 1
  done &&
  : >got && after= &&
  while :; do
    [ "$(http GET "/api/classes/Orvex_Linux/objects?contains=10.1.9.&limit=7${after:+&after=$after}" "${SESSION[@]}")" = 200 ] || exit 1
    jq -r ".objects[].name" body >>got
    after=$(jq -r ".next // empty" body) && [ -n "$after" ] || break
  done &&
  wvrepo object list demo Orvex_Linux --json | jq -r "select(.address | contains(\"10.1.9.\")) | .name" | expect_file got
'

test_expect_success 'the audit trail filters by user, class and period and pages newest first' '
  made_once web web_home && serve demo &&
  A=(-u admin:pw) &&
  wvrepo audit demo --json | jq -c . | tac >all &&
  audit() { [ "$(http GET "/api/audit?$1" "${A[@]}")" = 200 ] && jq -c ".records[]" body; } &&
  audit "user=ops" >got && jq -c "select(.user == \"ops\")" all | expect_file got &&
  audit "class=Orvex_WindowsNT_Server" >got &&
  jq -c "select(.to == \"Orvex_WindowsNT_Server\" or .from == \"Orvex_WindowsNT_Server\")" all | expect_file got &&
  audit "class=WindowsNT_Server&user=admin" >got && jq -c "select(.user == \"admin\")" all | expect_file got &&
  audit "since=$TODAY&until=$TODAY" >got && expect_file got <all &&
  yesterday=$(date -u -d yesterday +%F) && tomorrow=$(date -u -d tomorrow +%F) &&
  audit "until=$yesterday" >got && expect_file got </dev/null &&
  audit "since=$tomorrow" >got && expect_file got </dev/null &&
  : >got && before= &&
  while :; do
    [ "$(http GET "/api/audit?limit=2${before:+&before=$before}" "${A[@]}")" = 200 ] || exit 1
    jq -c ".records[]" body >>got
    before=$(jq -r ".next // empty" body) && [ -n "$before" ] || break
  done &&
  expect_file got <all
'

test_expect_success 'logging out ends the session' '
  made_once web web_home && serve demo && login &&
  [ "$(http GET / "${SESSION[@]}")" = 200 ] &&
  [ "$(http POST /logout "${SESSION[@]}")" = 303 ] && [ "$(header Location)" = /login ] &&
  header Set-Cookie | grep -qx "tng_session=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict" &&
  [ "$(http GET / "${SESSION[@]}")" = 303 ] && [ "$(header Location)" = /login ] &&
  [ "$(http GET /api/classes "${SESSION[@]}")" = 401 ]
'

test_expect_success 'half-sent, slow and oversized requests are cut off while others are served, by one thread' '
  made_once web web_home && serve demo && login &&
  port=${URL##*:} &&
  exec 3<>"/dev/tcp/127.0.0.1/$port" 4<>"/dev/tcp/127.0.0.1/$port" 5<>"/dev/tcp/127.0.0.1/$port" &&
  printf "GET / HTTP/1.1\r\nHost: x\r\n" >&3 && printf "GE" >&4 &&
  start=$(date +%s.%N) &&
  [ "$(http GET / "${SESSION[@]}")" = 200 ] &&
  python3 -c "import sys; assert float(sys.argv[2]) - float(sys.argv[1]) < 1.5" "$start" "$(date +%s.%N)" &&
  [ "$(ls "/proc/$SERVE_PID/task" | wc -l)" = 1 ] &&
  printf "GET / HTTP/1.1\r\n" >&5 &&
  (trap "" PIPE; for i in 1 2 3 4 5 6; do printf "X-Slow-$i: y\r\n" >&5 || exit 0; sleep 1; done) 2>/dev/null &&
  timeout 10 cat <&3 >half.out && timeout 10 cat <&4 >part.out && timeout 10 cat <&5 >slow.out &&
  elapsed=$(python3 -c "import sys; print(round(float(sys.argv[2]) - float(sys.argv[1])))" "$start" "$(date +%s.%N)") &&
  [ "$elapsed" -ge 4 ] && [ "$elapsed" -le 8 ] &&
  for f in half.out part.out slow.out; do head -n 1 $f | grep -q "^HTTP/1.1 408 Request Timeout" || exit 1; done &&
  exec 3>&- 4>&- 5>&- &&
  big=$(head -c 20000 /dev/zero | tr "\0" a) &&
  [ "$(http GET / "${SESSION[@]}" -H "X-Big: $big")" = 431 ] &&
  many=() && for i in $(seq 1 300); do many+=(-H "X-Many-$i: $(head -c 80 /dev/zero | tr "\0" b)"); done &&
  [ "$(http GET / "${SESSION[@]}" "${many[@]}")" = 431 ] &&
  [ "$(http GET "/?q=$big" "${SESSION[@]}")" = 431 ] &&
  [ "$(http POST /login --data-binary "user=admin&password=$big")" = 413 ] &&
  [ "$(http GET / "${SESSION[@]}")" = 200 ] &&
  serve_stopped_cleanly
'

test_expect_success 'a login body is read at once however its length is told; a length that cannot be read is refused' '
  made_once web web_home && serve demo &&
  port=${URL##*:} && pad=$(head -c 2000 /dev/zero | tr "\0" a) &&
  while read -r args; do
    start=$(date +%s.%N) &&
    # shellcheck disable=SC2086
    status=$(http POST /login $args --data-binary "user=admin&password=pw&pad=$pad") &&
    [ "$status" = 303 ] &&
    python3 -c "import sys; assert float(sys.argv[2]) - float(sys.argv[1]) < 0.9" "$start" "$(date +%s.%N)" ||
      { say "POST /login $args: $status, or too slow" >&2; exit 1; }
  done <<-\EOF &&
	-H X-Plain:1
	-H Transfer-Encoding:chunked
	-H Expect:100-continue
	EOF
  while IFS="|" read -r want header; do
    exec 3<>"/dev/tcp/127.0.0.1/$port" &&
    printf "POST /login HTTP/1.1\r\nHost: x\r\n$header\r\n\r\nuser=admin" >&3 &&
    timeout 5 cat <&3 >raw.out && exec 3>&- &&
    head -n 1 raw.out | grep -q "^HTTP/1.1 $want " || { say "$header: want $want" >&2; cat raw.out >&2; exit 1; }
  done <<-\EOF
	400|Content-Length: 1x
	400|Content-Length: 10\r\nContent-Length: 11
	400|Transfer-Encoding: gzip
	411|X-None: 1
	EOF
'

test_expect_success 'with a certificate the view speaks HTTPS only and its cookie is Secure' '
  made_once web web_home &&
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=localhost \
    -days 2 -keyout key.pem -out cert.pem 2>/dev/null &&
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj /CN=other \
    -days 2 -keyout other.pem -out other-cert.pem 2>/dev/null &&
  run wvrepo serve demo --listen 127.0.0.1:0 --tls-cert cert.pem --tls-key other.pem && expect_rc 1 &&
  grep -q "cannot use the key other.pem: .*key values mismatch" err &&
  serve demo --tls-cert cert.pem --tls-key key.pem &&
  case $URL in https://127.0.0.1:*) ;; *) exit 1 ;; esac &&
  login && header Set-Cookie | grep -qxE "tng_session=[0-9a-f]{64}; Path=/; HttpOnly; SameSite=Strict; Secure" &&
  [ "$(http GET / "${SESSION[@]}")" = 200 ] && [ "$(header Content-Security-Policy)" = "$CSP" ] &&
  [ "$(http GET /logout)" = 405 ] &&
  [ "$(curl -s --max-time 10 -o /dev/null -w "%{http_code}" "http://${URL#https://}/login")" = 000 ] &&
  [ "$(http POST /login -H "Origin: http://${URL#https://}" -d user=admin -d password=pw)" = 403 ] &&
  [ "$(http GET /api/classes -u admin:pw)" = 200 ]
'

test_expect_server 'a lost database server gives 503 pages and the view comes back by itself' '
  made_once web web_home && serve demo && login &&
  [ "$(http GET / "${SESSION[@]}")" = 200 ] &&
  pg_stop &&
  [ "$(http GET / "${SESSION[@]}")" = 503 ] && [ "$(header Retry-After)" = 5 ] &&
  tags_and_texts | grep -q "^p	the repository cannot be reached just now" &&
  [ "$(http GET /classes/Unispace "${SESSION[@]}")" = 503 ] &&
  [ "$(http GET /api/classes -u admin:pw)" = 503 ] && jq -e .error body >/dev/null &&
  [ "$(http POST /login -d user=admin -d password=pw)" = 503 ] &&
  pg_start &&
  [ "$(http GET / "${SESSION[@]}")" = 200 ] &&
  [ "$(http GET /api/classes -u admin:pw)" = 200 ] &&
  grep -q "^wvrepo: serve: the repository cannot be read: " serve.err &&
  grep -qx "wvrepo: serve: the repository can be read again" serve.err
'

test_expect_success 'SIGINT and SIGTERM end the server cleanly' '
  made_once web web_home &&
  serve demo && serve_stop INT && [ "$(cat serve.rc)" = 0 ] &&
  grep -qx "wvrepo: stopped serving repository demo (Interrupt)" serve.err &&
  serve demo && login && serve_stop TERM && [ "$(cat serve.rc)" = 0 ] &&
  grep -qx "wvrepo: stopped serving repository demo (Terminated)" serve.err &&
  [ "$(curl -s --max-time 5 -o /dev/null -w "%{http_code}" "$URL/")" = 000 ]
'

test_done
