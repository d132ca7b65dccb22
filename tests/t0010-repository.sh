#!/bin/bash
# The repository stand-in: wvrepo, reclass, trix and the API as a walk sees it.
. "$(dirname "$0")/lib/test-lib.sh"

U1=11111111-2222-3333-4444-555555555555
U2=aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee
NL=$'\n'

# ---- wvrepo setup and create ----

test_expect_success 'setup makes a complete home and keeps existing repositories' '
	rm -rf "$TNG_HOME" &&
	run wvrepo setup && expect_rc 0 &&
	test -d "$TNG_HOME/repositories" && test -d "$TNG_HOME/install" && test -d "$TNG_HOME/nsm/bin" &&
	expect_file "$TNG_HOME/registry.ini" <<-EOF &&
	[SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion]
	InstallPath=$TNG_HOME/install

	[SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies]
	InstallPath=$TNG_HOME/agent
	EOF
	printf "Host|WindowsNT_Server|Windows2000_Server|" |
		expect_file "$TNG_HOME/agent/services/config/aws_wvgate/gwclass.dat" &&
	make_repo R &&
	wvrepo object add R Host name=kept >/dev/null &&
	echo "Host|Linux|" >"$TNG_HOME/agent/services/config/aws_wvgate/gwclass.dat" &&
	run wvrepo setup && expect_rc 0 &&
	test "$(objects R)" = "Host kept" &&
	echo "Host|Linux|" | expect_file "$TNG_HOME/agent/services/config/aws_wvgate/gwclass.dat"
'

test_expect_success 'setup copies the cawto that lies beside wvrepo' '
	mkdir bin && cp "$TNG_BIN/wvrepo" bin/ &&
	printf "#!/bin/sh\necho stand-in\n" >bin/cawto && chmod +x bin/cawto &&
	rm -rf "$TNG_HOME" && bin/wvrepo setup >/dev/null &&
	test "$("$TNG_HOME/nsm/bin/cawto")" = stand-in
'

test_expect_success 'setup warns when the install path is too long for the tools' '
	export TNG_HOME="$CASE_DIR/$(printf "%080d" 0)" &&
	run wvrepo setup && expect_rc 0 &&
	grep -q "longer than 79" err
'

test_expect_success 'create refuses a repository that exists, a bad name, and a home without setup' '
	fresh_home &&
	run wvrepo create R && expect_rc 0 &&
	run wvrepo create R && test_must_fail expect_rc 0 && grep -q "exists already" err &&
	for name in ../x .hidden "a b" "" 12345678901234567890123456789012; do
		run wvrepo create "$name" && test_must_fail expect_rc 0 || exit 1
	done &&
	rm -rf "$TNG_HOME" &&
	run wvrepo create R && test_must_fail expect_rc 0 && grep -q "wvrepo setup" err
'

test_expect_success 'objects keep their typed properties; list filters by class and value' '
	fresh_home && make_repo R &&
	run wvrepo object add R Host name=alpha "address=10.0.0.1" status_no:int=-4 uuid:uuid=$U1 &&
	expect_rc 0 && echo $U1 | expect_stdout &&
	wvrepo object add R Inclusion parent_uuid:uuid=$U1 child_sequence_no:int=99 uuid:uuid=$U2 >/dev/null &&
	wvrepo object add R Host name=beta >/dev/null &&
	run wvrepo object list R --json && expect_rc 0 &&
	sed "s/\"uuid\":\"[0-9a-f-]*\"}/\"uuid\":\"U\"}/" out >out.masked &&
	expect_file out.masked <<-EOF &&
	{"class_name":"Host","name":"alpha","uuid":"$U1","address":"10.0.0.1","status_no":-4}
	{"class_name":"Inclusion","uuid":"$U2","child_sequence_no":99,"parent_uuid":"$U1"}
	{"class_name":"Host","name":"beta","uuid":"U"}
	EOF
	run wvrepo object list R Host --where status_no:int=-4 --json &&
	test "$(cat out)" = "$(head -1 out.masked)" &&
	run wvrepo object list R Host --where status_no=-4 --json && expect_stdout_empty &&
	run wvrepo object list R Nothing --json && test_must_fail expect_rc 0
'

test_expect_success 'object add refuses bad values and a uuid in use' '
	fresh_home && make_repo R &&
	wvrepo object add R Host uuid:uuid=$U1 >/dev/null &&
	for a in "n:int=12x" "n:int=2147483648" "u:uuid=nope" "=x" "noequals"; do
		run wvrepo object add R Host "$a" && test_must_fail expect_rc 0 || exit 1
	done &&
	run wvrepo object add R Host uuid:uuid=$U1 && test_must_fail expect_rc 0 &&
	run wvrepo object add R NoClass name=x && test_must_fail expect_rc 0 &&
	test "$(objects R | wc -l)" = 1
'

test_expect_success 'object load adds every line in one change, or nothing and names the line' '
	fresh_home && make_repo R &&
	printf "Host\tname=big box\taddress=10.0.0.9\tuuid:uuid=$U1\n\nLinux\tname=l1\tn:int=7\n" >objects.tsv &&
	run wvrepo object load R objects.tsv && expect_rc 0 &&
	test "$(wc -l <out)" = 2 && test "$(head -1 out)" = $U1 &&
	run wvrepo object list R --json && expect_rc 0 &&
	sed "s/\"uuid\":\"[0-9a-f-]*\"/\"uuid\":\"U\"/" out >out.masked &&
	expect_file out.masked <<-EOF &&
	{"class_name":"Host","name":"big box","uuid":"U","address":"10.0.0.9"}
	{"class_name":"Linux","name":"l1","uuid":"U","n":7}
	EOF
	while IFS="|" read -r text rc message; do
		printf "Host\tname=fine\n$text\n" >bad.tsv &&
		run wvrepo object load R bad.tsv && expect_rc $rc &&
		grep -q "^wvrepo: bad.tsv:2: $message" err || { say "$text: $(cat err)" >&2; exit 1; }
	done <<-EOF &&
	NoClass\tname=x|1|class .NoClass. does not exist
	Host\tuuid:uuid=$U1|1|
	Host\tname=a\tname=b|2|property .name. given twice
	Host\tn:int=x|2|.x. is not a 32-bit integer
	\tname=x|2|no class
	Ho\000st\tname=x|2|the line holds a NUL byte
	Host\tna\000me=x|2|the line holds a NUL byte
	EOF
	printf "Host\tname=piped\n" | wvrepo object load R - >/dev/null &&
	test "$(objects R | wc -l)" = 3
'

# ---- reclass ----

reclass_fixture() {
	fresh_home && make_repo R admin s3cret &&
	printf "\n" | wvrepo user add R guest >/dev/null &&
	wvrepo object add R Host "name=big box" address=10.0.0.9 uuid:uuid=$U1 >/dev/null &&
	wvrepo object add R Host name=big >/dev/null
}

test_expect_success 'reclass moves the named object, keeping uuid and properties, and audits it' '
	reclass_fixture &&
	run reclass /R=R /U=admin /W=s3cret /C=Host "/O=big box" /T=Linux &&
	expect_rc 0 && expect_stdout_empty &&
	run wvrepo object list R Linux --json &&
	echo "{\"class_name\":\"Linux\",\"name\":\"big box\",\"uuid\":\"$U1\",\"address\":\"10.0.0.9\"}" |
		expect_stdout &&
	test "$(objects R Host)" = "Host big" &&
	wvrepo audit R --json | sed "s/\"time\":\"[0-9TZ:-]*\"/\"time\":\"T\"/" >audit &&
	expect_file audit <<-EOF
	{"time":"T","user":"admin","action":"reclass","uuid":"$U1","name":"big box","from":"Host","to":"Linux"}
	EOF
'

test_expect_success 'a missing /W= is the blank password' '
	reclass_fixture &&
	run reclass /R=R /U=guest /C=Host /O=big /T=Linux && expect_rc 0 &&
	run reclass /R=R /U=guest /W= /C=Linux /O=big /T=Host && expect_rc 0 &&
	run reclass /R=R /U=admin /C=Host /O=big /T=Linux && test_must_fail expect_rc 0 &&
	test "$(objects R | sort)" = "$(printf "Host big\nHost big box")"
'

# Every refusal: one line on stderr, non-zero exit, nothing moved, no audit.
while IFS="|" read -r title args; do
	test_expect_success "reclass refuses $title and changes nothing" '
		reclass_fixture &&
		eval "set -- $args" &&
		run reclass "$@" && test_must_fail expect_rc 0 &&
		test "$(wc -l <err)" = 1 &&
		test "$(objects R)" = "$(printf "Host big\nHost big box")" &&
		test -z "$(wvrepo audit R --json)"
	'
done <<-\EOF
a wrong password|/R=R /U=admin /W=wrong /C=Host /O=big /T=Linux
an unknown user|/R=R /U=nobody /W=s3cret /C=Host /O=big /T=Linux
an unknown object|/R=R /U=admin /W=s3cret /C=Host /O=small /T=Linux
a name cut at its blank|/R=R /U=admin /W=s3cret /C=Host /O=big box /T=Linux
the wrong source class|/R=R /U=admin /W=s3cret /C=Linux "/O=big box" /T=Host
an unknown target class|/R=R /U=admin /W=s3cret /C=Host /O=big /T=Orvex_Linux
an unknown repository|/R=Other /U=admin /W=s3cret /C=Host /O=big /T=Linux
a missing argument|/R=R /U=admin /W=s3cret /C=Host /O=big
an argument given twice|/R=R /U=admin /W=s3cret /C=Host /O=big /T=Linux /T=Linux
an unknown argument|/R=R /U=admin /W=s3cret /C=Host /O=big /T=Linux /X=1
EOF

test_expect_success 'a password is stored only as a salted hash' '
	reclass_fixture &&
	repo_bytes R >bytes && test -s bytes && ! grep -a -q s3cret bytes &&
	printf "s3cret\n" | wvrepo user add R other >/dev/null &&
	test "$(repo_sql R "SELECT count(DISTINCT hash) FROM users")" = 3
'

# ---- trix and class definition files ----

test_expect_success 'trix loads the shipped class files with both command lines' '
	fresh_home && make_repo R &&
	cp "$TNG_BIN"/*.TNG . &&
	run trix -Q -G -X /FILE=ORXAddClass.TNG /R=R && expect_rc 0 &&
	run trix /TYPE=IMPORT /FILE=PLNAddClass.TNG /R=R && expect_rc 0 &&
	wvrepo class list R >classes &&
	grep -q "^Orvex Host$" classes && grep -q "^Orvex_TarvikServer Orvex$" classes &&
	grep -q "^Pellion_Doralith Pellion$" classes &&
	run trix -Q -G -X /FILE=ORXAddClass.TNG /R=R && expect_rc 0 &&
	run trix /TYPE=IMPORT /FILE=PLNDeleteClass.TNG /R=R && expect_rc 0 &&
	run trix /TYPE=IMPORT /FILE=ORXDeleteClass.TNG /R=R && expect_rc 0 &&
	! grep -q "Orvex\|Pellion" <(wvrepo class list R) &&
	run trix /TYPE=IMPORT /FILE=ORXDeleteClass.TNG /R=R && expect_rc 0
'

test_expect_success 'every Orvex_ and Pellion_ class named by the suite is defined and removed' '
	fresh_home && make_repo R &&
	load_classes R ORXAddClass.TNG PLNAddClass.TNG &&
	for c in Orvex_Host Orvex_Workstation Orvex_Windows_NetServer Orvex_Windows2000_Server \
		Orvex_Windows2000 Orvex_WindowsNT_Server Orvex_WindowsNT Orvex_WindowsXP Orvex_Windows9x \
		Orvex_Windows95 Orvex_DECSystem Orvex_Linux Orvex_Novell Orvex_OS2 Orvex_SCOUnix \
		Orvex_UnixWare Orvex_RemoteVistrel Orvex_SANappliance Orvex_TarvikServer \
		Orvex_VistrelManager Orvex_RackEnclosure Orvex_Brevant Pellion_Windows2000 \
		Pellion_Windows2000_Server Pellion_WindowsNT_Server Pellion_Novell Pellion_UnixWare \
		Pellion_WindowsNT Pellion_Windows95 Pellion_Windows9x Pellion_DECSystem Pellion_SCOUnix \
		Pellion_OS2 Pellion_Linux Pellion_RemoteVistrel Pellion_RackEnclosure Pellion_Doralith \
		Pellion_VistrelXE Pellion_Host Pellion_Workstation Pellion_Brevant; do
		wvrepo class list R | grep -q "^$c " || { echo "missing $c"; exit 1; }
	done &&
	load_classes R PLNDeleteClass.TNG ORXDeleteClass.TNG &&
	test "$(wvrepo class list R | grep -c "Orvex\|Pellion")" = 0
'

test_expect_success 'a removal file is refused whole while a class holds objects' '
	fresh_home && make_repo R && load_classes R ORXAddClass.TNG &&
	wvrepo object add R Orvex_Linux name=srv >/dev/null &&
	wvrepo class list R >before &&
	run trix /TYPE=IMPORT /FILE="$TNG_BIN/ORXDeleteClass.TNG" /R=R && test_must_fail expect_rc 0 &&
	grep -q "Orvex_Linux.*holds 1 object" err &&
	wvrepo class list R | cmp - before &&
	test "$(objects R)" = "Orvex_Linux srv"
'

test_expect_success 'a bad class file changes nothing and names its line' '
	fresh_home && make_repo R &&
	printf "# test\nclass A under Host\n\nclass B under A # note\nclas C\n" >bad.TNG &&
	run trix /TYPE=IMPORT /FILE=bad.TNG /R=R && test_must_fail expect_rc 0 &&
	grep -q "bad.TNG:5:" err &&
	printf "class A under Host\nclass B under Nowhere\n" >orphan.TNG &&
	run wvrepo import R orphan.TNG && test_must_fail expect_rc 0 &&
	! wvrepo class list R | grep -q "^A " &&
	printf "class A under Host\nclass A under Linux\n" >twice.TNG &&
	run trix /FILE=twice.TNG /R=R && test_must_fail expect_rc 0 &&
	run trix /FILE=missing.TNG /R=R && test_must_fail expect_rc 0 &&
	run trix /FILE=bad.TNG && test_must_fail expect_rc 0 &&
	printf "class A under Host\nclass B under A\n" >good.TNG &&
	run trix /TYPE=IMPORT /FILE=good.TNG /R=R && expect_rc 0 &&
	wvrepo class list R | grep -q "^B A$"
'

test_expect_success 'class drop refuses a class with objects or subclasses' '
	fresh_home && make_repo R &&
	wvrepo object add R VistrelManager name=v >/dev/null &&
	run wvrepo class drop R VistrelManager && test_must_fail expect_rc 0 &&
	run wvrepo class drop R Agent && test_must_fail expect_rc 0 &&
	run wvrepo object del R VistrelManager && expect_rc 0 &&
	run wvrepo class drop R VistrelManager && expect_rc 0 &&
	run wvrepo class drop R VistrelManager && test_must_fail expect_rc 0
'

test_expect_success 'object del removes only what meets every test' '
	fresh_home && make_repo R &&
	wvrepo object add R Method name=TRM >/dev/null &&
	wvrepo object add R Method name=TRW >/dev/null &&
	wvrepo object add R Popup_Menu name=TRM >/dev/null &&
	wvrepo object add R VistrelManager name=a status_no:int=4 >/dev/null &&
	wvrepo object add R VistrelManager name=b status_no:int=1 >/dev/null &&
	run wvrepo object del R Method --where name=TRM && echo "1 object(s) deleted" | expect_stdout &&
	run wvrepo object del R VistrelManager --where status_no:int=4 --where name=b &&
	echo "0 object(s) deleted" | expect_stdout &&
	run wvrepo object del R VistrelManager --where status_no:int=4 &&
	objects R >left && expect_file left <<-\EOF
	Method TRW
	Popup_Menu TRM
	VistrelManager b
	EOF
'

test_expect_success 'the status list holds ANY:ABSENT' '
	fresh_home && make_repo R &&
	run wvrepo status list R --json && expect_rc 0 &&
	grep -q "^{\"name\":\"ANY:ABSENT\",\"number\":[1-9][0-9]*}$" out
'

# ---- the API as a walk sees it ----

walk_fixture() {
	fresh_home && make_repo R &&
	for i in 1 2 3 4 5 6 7; do
		wvrepo object add R Linux name=l$i address=10.0.0.$i >/dev/null || return 1
	done
}

test_expect_success 'a walk gets 14 at the end of every batch and 15 at the end' '
	walk_fixture &&
	run wvwalk R Linux "name, address" 3 && expect_rc 0 &&
	expect_stdout <<-\EOF
	query rc=0 count=7
	rc=0 name=l1 address=10.0.0.1
	rc=0 name=l2 address=10.0.0.2
	rc=14 name=l3 address=10.0.0.3
	rc=0 name=l4 address=10.0.0.4
	rc=0 name=l5 address=10.0.0.5
	rc=14 name=l6 address=10.0.0.6
	rc=14 name=l7 address=10.0.0.7
	end rc=15 delivered=7
	EOF
'

# Each run that opens the file reads the whole log beside it: a long log
# has to be copied back and emptied, not left for every later run.
test_expect_embedded 'the log beside the repository file is emptied once it grows long' '
	fresh_home && make_repo L &&
	wvfill L Host 4000 &&
	for n in 1 2 3; do wvrepo object add L Host name=late$n >/dev/null || return 1; done &&
	size=$(stat -c %s "$TNG_HOME/repositories/L.db-wal") &&
	test "$size" -lt $((256 * 4120)) || { say "log of $size bytes" >&2; return 1; }
'

test_expect_success 'a missing class answers 10, an empty one a count of 0' '
	walk_fixture &&
	run wvwalk R Orvex_Linux name 10 && echo "query rc=10 count=0" | expect_stdout &&
	run wvwalk R Novell name 10 && expect_stdout <<-\EOF
	query rc=0 count=0
	end rc=15 delivered=0
	EOF
'

test_expect_success 'the list is fixed at the query while reclass moves objects' '
	walk_fixture &&
	mkfifo go &&
	{ wvwalk R Linux name,address 10 --pause <go >walk.out 2>walk.err & } &&
	walker=$! &&
	exec 3>go &&
	until grep -q "^query" walk.out 2>/dev/null; do kill -0 $walker || break; sleep 0.05; done &&
	reclass /R=R /U=admin /C=Linux /O=l2 /T=Host &&
	reclass /R=R /U=admin /C=Linux /O=l5 /T=Host &&
	wvrepo object add R Linux name=l8 >/dev/null &&
	wvrepo object del R Linux --where name=l7 >/dev/null &&
	echo >&3 && exec 3>&- && wait &&
	expect_file walk.out <<-\EOF
	query rc=0 count=7
	rc=0 name=l1 address=10.0.0.1
	rc=0 name=l2 address=10.0.0.2
	rc=0 name=l3 address=10.0.0.3
	rc=0 name=l4 address=10.0.0.4
	rc=0 name=l5 address=10.0.0.5
	rc=0 name=l6 address=10.0.0.6
	rc=14 name=l7 address=10.0.0.7
	end rc=15 delivered=7
	EOF
'

test_expect_success 'injected faults: reported count, failed fetch, failed property read' '
	walk_fixture &&
	TNG_FAULTS="GetRepositoryObject/count=2" run wvwalk R Linux name 10 --quiet &&
	expect_stdout <<-\EOF &&
	query rc=0 count=2
	end rc=15 delivered=7
	EOF
	TNG_FAULTS="TNGWV_Object_GetNext@3=42" run wvwalk R Linux name 10 --quiet &&
	expect_stdout <<-\EOF &&
	query rc=0 count=7
	end rc=42 delivered=2
	EOF
	TNG_FAULTS="TNGWV_Object_GetNext@2=14" run wvwalk R Linux name 10 &&
	sed -n 3p out | grep -q "^rc=14 name=l2$" &&
	TNG_FAULTS="ObjectPropertyGet/address@2=7" run wvwalk R Linux name,address 10 &&
	sed -n 2,4p out >lines && expect_file lines <<-\EOF &&
	rc=0 name=l1 address=10.0.0.1
	rc=0 name=l2 address:rc=7
	rc=0 name=l3 address=10.0.0.3
	EOF
	TNG_FAULTS="GetRepositoryObject=10" run wvwalk R Linux name 10 &&
	echo "query rc=10 count=0" | expect_stdout &&
	TNG_FAULTS="TNGWV_Kernel_Start=3" run wvwalk R Linux name 10 &&
	echo "kernel start rc=3" | expect_stdout
'

test_expect_success 'handles whose release failed are reclaimed at exit' '
	walk_fixture &&
	TNG_FAULTS="ObjectListFree=5,ObjectCriteriaFree=5,RepositoryDisconnect=5,KernelStop=5" \
		run wvwalk R Linux name 10 --quiet &&
	expect_rc 0 && test ! -s err
'

test_expect_success 'a fault list naming no operation is refused before anything runs' '
	walk_fixture &&
	TNG_FAULTS="GetRepositoryObjects=1" run wvwalk R Linux name 10 &&
	expect_rc 125 && expect_stdout_empty
'

test_expect_success 'the platform tools ignore TNG_FAULTS' '
	walk_fixture &&
	export TNG_FAULTS="Bogus=1" &&
	run reclass /R=R /U=admin /C=Linux /O=l1 /T=Host && expect_rc 0 &&
	run wvrepo object list R Host --json && expect_rc 0 && grep -q l1 out
'

test_expect_success 'kernel start fails without an install; connect never creates a repository' '
	walk_fixture &&
	run wvwalk Missing Linux name 10 && echo "connect rc=4" | expect_stdout &&
	test ! -e "$TNG_HOME/repositories/Missing.db" &&
	rm -rf "$TNG_HOME/repositories" &&
	run wvwalk R Linux name 10 && echo "kernel start rc=1" | expect_stdout &&
	test "$(wc -l <err)" = 1
'

test_expect_success 'the selection dialog lists by number; empty answer or end of input cancels' '
	walk_fixture && make_repo Alpha &&
	run_with_input "2$NL" wvwalk "?" Linux name 10 --quiet &&
	expect_stdout <<-\EOF &&
	dialog rc=0
	chosen R
	query rc=0 count=7
	end rc=15 delivered=7
	EOF
	grep -q "1. Alpha" err && grep -q "2. R" err &&
	run_with_input "9$NL$NL" wvwalk "?" Linux name 10 && echo "dialog rc=2" | expect_stdout &&
	run_with_input "" wvwalk "?" Linux name 10 && echo "dialog rc=2" | expect_stdout &&
	WV_REPOSITORY=Nowhere run wvwalk "?" Linux name 10 &&
	printf "dialog rc=0\nchosen Nowhere\nconnect rc=4\n" | expect_stdout
'

test_done
