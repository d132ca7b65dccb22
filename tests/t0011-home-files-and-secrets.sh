#!/bin/bash
# The framework home at the edges: setup that runs out of room, half-made
# files, the modes of the repositories, passwords typed through a pipe or a
# terminal, JSON listings of whatever bytes a repository holds, and what a
# program holding a secret leaves behind: core dumps, inherited descriptors.
. "$(dirname "$0")/lib/test-lib.sh"
. "$(dirname "$0")/lib/recorders.sh"

# limited CMD...: runs CMD with a file-size limit of 1024 bytes, the way a
# full disk cuts a write short (SIGXFSZ ignored: the write fails instead).
limited() {
	bash -c 'trap "" XFSZ; ulimit -f 1; exec "$@"' limited "$@"
}

test_expect_success 'setup that runs out of room leaves no half-made file; setup again completes the home' '
	fresh_home && cp "$TNG_HOME/nsm/bin/cawto" cawto.before &&
	echo "#!/bin/sh" >"$TNG_HOME/nsm/bin/cawto" && cp "$TNG_HOME/nsm/bin/cawto" cawto.before &&
	run limited wvrepo setup && expect_rc 1 &&
	grep -q "cannot write .*/nsm/bin/cawto: file too large" err &&
	cmp cawto.before "$TNG_HOME/nsm/bin/cawto" &&
	test "$(ls -A "$TNG_HOME/nsm/bin")" = cawto &&
	rm -rf "$TNG_HOME" &&
	run limited wvrepo setup && expect_rc 1 &&
	test ! -e "$TNG_HOME/nsm/bin/cawto" && test -z "$(ls -A "$TNG_HOME/nsm/bin")" &&
	run wvrepo setup && expect_rc 0 &&
	cmp "$TNG_BIN/cawto" "$TNG_HOME/nsm/bin/cawto" && test -x "$TNG_HOME/nsm/bin/cawto"
'

test_expect_success 'setup writes anew a registry file cut short and an empty class list' '
	fresh_home && cp "$TNG_HOME/registry.ini" registry.whole &&
	gwclass="$TNG_HOME/agent/services/config/aws_wvgate/gwclass.dat" &&
	head -c 70 registry.whole >"$TNG_HOME/registry.ini" && : >"$gwclass" &&
	run wvrepo setup && expect_rc 0 &&
	cmp registry.whole "$TNG_HOME/registry.ini" &&
	printf "Host|WindowsNT_Server|Windows2000_Server|" | expect_file "$gwclass"
'

test_expect_embedded 'the repositories and their folder are the owner'"'"'s only, whatever the umask' '
	(umask 000 && fresh_home && make_repo R u pw && wvrepo object add R Host name=h >/dev/null) &&
	repos="$TNG_HOME/repositories" &&
	test "$(stat -c %a "$repos")" = 700 &&
	for f in R.db R.db-wal R.db-shm; do
		test ! -e "$repos/$f" || test "$(stat -c %a "$repos/$f")" = 600 || exit 1
	done &&
	chmod 755 "$repos" && chmod 644 "$repos/R.db" &&
	run wvrepo object list R && expect_rc 0 &&
	test "$(stat -c %a "$repos")" = 700 && test "$(stat -c %a "$repos/R.db")" = 600
'

# user add: what arrives on standard input, whether the user is made, the
# password that then logs in (- for none) and what stderr says (- nothing).
while IFS="|" read -r title input made password message; do
	test_expect_success "user add with $title" '
		fresh_home && wvrepo create R >/dev/null && wvrepo object add R Host name=h >/dev/null &&
		run_with_input "'"$input"'" wvrepo user add R u &&
		if [ "'"$made"'" = yes ]; then expect_rc 0; else expect_rc 1; fi &&
		if [ "'"$message"'" = - ]; then test ! -s err; else grep -q -F "'"$message"'" err; fi &&
		users=$(repo_sql R "SELECT count(*) FROM users") &&
		test "$users" = "$([ "'"$made"'" = yes ] && echo 1 || echo 0)" &&
		if [ "'"$password"'" != - ]; then
			reclass /R=R /U=u "/W='"$password"'" /C=Host /O=h /T=Linux
		fi
	'
done <<-\EOF
	no input at all||no|-|no password was given
	the password B|B\n|no|-|cannot be set: the tools read it as a blank password
	a Windows line end|s3cret\r\n|yes|s3cret|-
	an empty line|\n|yes||-
	EOF

test_expect_embedded 'every JSON listing is valid UTF-8 whatever bytes the repository holds' '
	fresh_home && make_repo R admin &&
	odd=$(printf "x\377\001\300\200y") &&
	wvrepo object add R Host "name=$odd" "note=$odd" >/dev/null &&
	reclass /R=R /U=admin "/C=Host" "/O=$odd" /T=Linux &&
	for listing in "object list R" "class list R" "status list R" "audit R"; do
		wvrepo $listing --json >listing || exit 1
		python3 -c "import json, sys
for line in open(sys.argv[1], encoding=\"utf-8\", errors=\"strict\"):
    json.loads(line)" listing || { echo "not valid: $listing"; exit 1; }
	done &&
	wvrepo object list R Linux --json | python3 -c "import json, sys
o = json.loads(sys.stdin.read())
assert o[\"name\"] == o[\"note\"] == \"x\ufffd\x01\ufffd\ufffdy\", o"
'

test_expect_embedded 'a password given to reclass is gone from its command line while it runs, and no core dump holds it' '
	fresh_home && make_repo R admin s3cret && wvrepo object add R Host name=h >/dev/null &&
	{ python3 -c "import sqlite3, sys, time
c = sqlite3.connect(sys.argv[1], isolation_level=None); c.execute(\"BEGIN IMMEDIATE\")
open(\"locked\", \"w\").close(); time.sleep(3)" "$TNG_HOME/repositories/R.db" & } &&
	for i in $(seq 100); do [ -e locked ] && break; sleep 0.05; done &&
	{ (ulimit -c unlimited && exec reclass /R=R /U=admin /W=s3cret /C=Host /O=h /T=Linux) & } &&
	pid=$! &&
	sleep 0.5 && tr "\0" " " </proc/$pid/cmdline >cmdline &&
	grep -E "^Max core file size +0 " /proc/$pid/limits &&
	wait $pid && cat cmdline &&
	grep -q "/W=\*\*\*\*\*\* " cmdline && ! grep -q s3cret cmdline
'

test_expect_success 'a tool ended by a signal during a hidden entry gives the terminal back as it was' '
	fresh_home && make_repo R &&
	python3 - "$TNG_BIN" <<-\PY
	import os, pty, signal, sys, termios, time
	bin = sys.argv[1]
	def wait_for(fd, text, seconds=10):
	    seen, end = b"", time.time() + seconds
	    while text not in seen and time.time() < end:
	        try:
	            seen += os.read(fd, 4096)
	        except OSError:
	            break
	    assert text in seen, (text, seen)
	for argv, prompt in (([bin + "/wvrepo", "user", "add", "R", "u"], b"Password for u"),
	                     ([bin + "/ClassLift", "inst-prompt"], b"Enter the password")):
	    # The tool starts once the terminal as it was is noted.
	    ready, go = os.pipe()
	    pid, master = pty.fork()
	    if pid == 0:
	        os.close(go)
	        os.read(ready, 1)
	        os.execv(argv[0], argv)
	    os.close(ready)
	    before = termios.tcgetattr(master)
	    os.write(go, b"x")
	    os.close(go)
	    if argv[1] == "inst-prompt":
	        wait_for(master, b"Repository to use:"); os.write(master, b"R\n")
	        wait_for(master, b"user name"); os.write(master, b"admin\n")
	    wait_for(master, prompt)
	    # Keys typed ahead, in one go: none of them may come back as echo.
	    os.write(master, b"typed")
	    time.sleep(0.3)
	    os.set_blocking(master, False)
	    try:
	        echoed = os.read(master, 4096)
	    except (BlockingIOError, OSError):
	        echoed = b""
	    os.set_blocking(master, True)
	    assert b"typed" not in echoed, echoed
	    os.kill(pid, signal.SIGTERM)
	    _, status = os.waitpid(pid, 0)
	    assert os.WIFSIGNALED(status) and os.WTERMSIG(status) == signal.SIGTERM, status
	    after = termios.tcgetattr(master)
	    mask = termios.ECHO | termios.ICANON | termios.ISIG
	    assert after[3] & mask == before[3] & mask, (argv, before[3], after[3])
	    os.close(master)
	PY
'

# --- core dumps and descriptors ---------------------------------------------

# A crash here leaves a file "core" in the crashing program's folder when
# the system writes core files at all (its core pattern may send them to a
# collector instead): then the cases below see that no core file is left.
mkdir -p "$TEST_ROOT/core-check" &&
	(cd "$TEST_ROOT/core-check" && ulimit -c unlimited && { sleep 30 & } &&
		kill -ABRT $! && wait $!) 2>/dev/null
cores_written_here() { [ -n "$(ls "$TEST_ROOT/core-check")" ]; }

# waiting_for_input PID: the program PID waits for its standard input (a
# pipe) within ten seconds, so it runs its own code by then.
waiting_for_input() {
	local i
	for ((i = 0; i < 200; i++)); do
		case $(cat "/proc/$1/wchan" 2>/dev/null) in *pipe_read*) return 0 ;; esac
		sleep 0.05
	done
	say "process $1 never waited for its input" >&2
	return 1
}

# Each program, ended by a crash while it waits for its input (a password,
# or the answers that lead to one), with no core size limit of its own.
while read -r command; do
	test_expect_success "$command: a crash leaves no core dump" '
		fresh_home && make_repo R &&
		mkfifo input && exec 8<>input &&
		{ (ulimit -c unlimited && exec '"$command"' <input >out 2>err) & } && pid=$! &&
		waiting_for_input $pid &&
		grep -E "^Max core file size +0 " /proc/$pid/limits &&
		kill -ABRT $pid && rc=0 && { wait $pid || rc=$?; } && test $rc = 134 &&
		if cores_written_here; then test -z "$(ls core* 2>/dev/null)"; fi
	'
done <<-\EOF
	orxdetect inst-prompt
	ClassLift inst-prompt
	orxpurge
	wvrepo user add R u
	EOF

# listing_program PATH: a stand-in at PATH that writes to $CASE_DIR/child
# its core file size limit (bytes, -1 for none) and every descriptor it was
# given beyond the standard three.
listing_program() {
	mkdir -p "$(dirname "$1")"
	cat >"$1" <<-EOF
	#!/usr/bin/env python3
	import os, resource
	lines = ["core %d" % resource.getrlimit(resource.RLIMIT_CORE)[0]]
	for fd in sorted(os.listdir("/proc/self/fd"), key=int):
	    if int(fd) > 2:
	        try:
	            lines.append(fd + " " + os.readlink("/proc/self/fd/" + fd))
	        except OSError:
	            pass  # the listing's own descriptor, closed by now
	with open("$CASE_DIR/child.tmp", "w") as out:
	    out.write("".join(line + "\\n" for line in lines))
	os.rename("$CASE_DIR/child.tmp", "$CASE_DIR/child")
	EOF
	chmod +x "$1"
}

# A program of the suite hands a child nothing but the standard streams:
# not its log, its repository, its sockets, nor a descriptor it was given
# itself (7, 9). The children it waits for inherit its core size limit of 0;
# a program it leaves to the shell gets the limit the suite's program was
# started with.
# an_event: the management server's variables of one event.
an_event() {
	export NOTICELABEL=Fan NOTICESTATE=New NOTICEPLAINTEXT=a NOTICERAWDATA=r \
		NOTICESEVERITYSTR=Critical NOTICESEVERITY=4 DEVICENAME=srv7 DEVICEIPADDRESS0=10.1.2.7 \
		SPECIFICTRAPID=6001 ZQ_TASKID=42
}
# The sanitizer build's runtime lowers a program's own core size limit to 0
# before the program starts: there the shell's programs get 0 as well.
handed_limit=1263616
if sanitized_build; then handed_limit=0; fi

# the child | its parent | fixture | the command | the child's core size
# limit (@HANDED@: the one the suite's program was started with)
while IFS="|" read -r child parent fixture command limit; do
	limit=${limit//@HANDED@/$handed_limit}
	test_expect_success "the $child that $parent starts inherits no descriptor" '
		fresh_home && make_repo R && '"$fixture"' &&
		ulimit -c 1234 &&
		echo extra >given && run env '"$command"' 7<given 9< <(:) &&
		wait_for "$CASE_DIR/child" &&
		echo "core '"$limit"'" | expect_file child
	'
done <<-\EOF
	reclass|ClassLift|load_classes R PLNAddClass.TNG ORXAddClass.TNG && wvrepo object add R Pellion_Linux name=tux >/dev/null && listing_program bin/reclass|PATH="$CASE_DIR/bin:$PATH" ClassLift R admin B|0
	trix|orxschema|listing_program bin/trix|PATH="$CASE_DIR/bin:$PATH" WV_REPOSITORY=R orxschema|0
	cawto|orxforward|an_event && listing_program nsm/bin/cawto|NSM_SERVER=nsm1 NSM_DIR="$CASE_DIR/nsm" orxforward|@HANDED@
	browser|orxconlink|listing_program bin/browser|BROWSER="$CASE_DIR/bin/browser" QMAddress=qm orxconlink 10.1.2.5|@HANDED@
	EOF

test_done
