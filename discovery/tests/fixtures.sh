# Fixtures of the orxdetect black-box tests (tests/t2*.sh). Source it after
# test-lib.sh and agents.sh.

# The objects the devices answer for.
oid_server=.1.3.6.1.4.1.232.11.2.2.4.0
oid_workstation=.1.3.6.1.4.1.232.1.1.1.0
oid_kind=.1.3.6.1.4.1.232.9.2.2.10.0
oid_product=.1.3.6.1.4.1.232.11.2.2.1.0
oid_lights_out=.1.3.6.1.4.1.232.9.2.5.1.1.5.2

# The framework classes of the reclassification passes, in pass order (all,
# and those that also run in lights-out mode), and the classes the
# association visits, from the rule table.
. "$TNG_SRC/tests/lib/passes.sh"
all_pass_classes=$(pass_classes orxdetect-pass)
lights_out_pass_classes=$(pass_classes orxdetect-pass both)
orvex_association_classes=$(pass_classes orxdetect-association all-systems)
framework_association_classes=$(pass_classes orxdetect-association both)

# A silent device must not cost the default time-out and retries; an agent
# on a busy machine must still answer in time.
quick() { ORX_SNMP_TIMEOUT_MS=400 ORX_SNMP_RETRIES=1 "$@"; }

# discovery_home: a fresh install with the repository "demo" (user admin,
# blank password) and the Orvex classes loaded; a copy of the one made at
# the script's first call.
discovery_home() { made_once discovery make_discovery_home; }
make_discovery_home() { fresh_home && make_repo demo && load_classes demo ORXAddClass.TNG; }

# system CLASS NAME ADDRESS [PROP=VALUE...]: adds an object to "demo".
system() { system_line "$@" | load_systems; }

# system_line CLASS NAME ADDRESS [PROP=VALUE...]: the object as a line that
# load_systems reads; load_systems adds the objects of the lines it reads
# to "demo" in one change (one wvrepo run for a whole fixture).
system_line() {
  local class=$1 name=$2 address=$3
  shift 3
  local IFS=$'\t'
  printf '%s\n' "$class	name=$name	address=$address${*:+	$*}"
}
load_systems() { wvrepo object load demo - >/dev/null; }

install_dir() { printf '%s\n' "$TNG_HOME/install"; }
expect_log() { expect_file "$TNG_HOME/install/orxdetect.log"; }

# Blocks of the expected output.
banner() {
  printf '\nThis utility connects to the local Unicenter TNG repository and\n'
  printf 'checks all objects to see if they are Orvex objects.\n'
  printf 'Orvex objects will be reclassified as Orvex devices.\n\n'
}
opening() { printf 'Opening discovery log file: orxdetect.log\n\n'; }
verifying() { printf 'Verifying that the Orvex classes exist\n'; }
closing() {
  printf '\nOrvex devices have been reclassified in the Unicenter TNG\n'
  printf 'Common Object Repository.\n'
}
# none_of CLASS...: the no-objects line of each class.
none_of() {
  local class
  for class in "$@"; do printf 'Objects of class %s do not exist!\n' "$class"; done
}
association_start() {
  printf '\nPerforming association of Remote Vistrel devices...\n'
  printf 'Opening temporary files for qaros assocation: qaros1.log and qaros2.log\n\n'
}
association_start_log() { printf '\nPerforming association of Remote Vistrel Devices...\n'; }

# The start of every connected run up to the passes: console and log.
# (with the password B, whose line break follows the connection)
run_head() { banner; opening; printf "\n"; verifying; }
log_head() { verifying; }

# objects_of CLASS: the names of the objects of one class of "demo", sorted.
objects_of() {
  wvrepo object list demo "$1" --json | jq -r .name | sort
}

# inclusions: every Inclusion object of "demo" as one line, its uuids shown
# as the names of the objects they name ("new" for its own uuid when it is a
# fresh, well-formed uuid that no other object has).
inclusions() {
  wvrepo object list demo --json | python3 -c '
import sys, json, re
objects = [json.loads(line) for line in sys.stdin]
names = {}
for o in objects:
    if o["class_name"] != "Inclusion":
        names[o["uuid"]] = o.get("name")
form = re.compile(r"^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$")
rows = []
for o in objects:
    if o["class_name"] != "Inclusion":
        continue
    own = "new" if form.match(o["uuid"]) and o["uuid"] not in names else "BAD:" + o["uuid"]
    rows.append(" ".join(str(x) for x in [own, o.get("parent_class"),
        names.get(o.get("parent_uuid"), o.get("parent_uuid")), o.get("child_class"),
        names.get(o.get("child_uuid"), o.get("child_uuid")),
        o.get("parent_sequence_no"), o.get("child_sequence_no"),
        sorted(k for k in o if k not in ("class_name", "name", "uuid", "parent_class",
            "parent_uuid", "child_class", "child_uuid", "parent_sequence_no",
            "child_sequence_no"))]))
for r in sorted(rows): print(r)
print(len(set(o["uuid"] for o in objects if o["class_name"] == "Inclusion")), "distinct uuids")'
}

# name_uuids FILE...: replaces, in place, every uuid of an object of "demo"
# (other than the inclusion objects) by "{NAME}", the object's name.
name_uuids() {
  wvrepo object list demo --json |
    jq -r 'select(.class_name != "Inclusion") | "\(.uuid)\t{\(.name)}"' >"$CASE_DIR/uuid-map" || return 1
  local file
  for file in "$@"; do
    awk -F '\t' '
      NR == FNR { name[$1] = $2; next }
      { for (uuid in name) while ((at = index($0, uuid)) > 0)
          $0 = substr($0, 1, at - 1) name[uuid] substr($0, at + length(uuid))
        print }' "$CASE_DIR/uuid-map" "$file" >"$file.named" || return 1
    # awk ends every line; a file whose last line had no line break keeps it so.
    [ -z "$(tail -c 1 "$file")" ] || truncate -s -1 "$file.named"
    mv "$file.named" "$file" || return 1
  done
}

# reclass_runs: the recorded reclass runs, one line each.
reclass_runs() {
  awk '$0 == "--" { print line; line = ""; next } { line = line (line == "" ? "" : " ") $0 }' \
    "$CASE_DIR/reclass.words"
}

# Prints the objects of "demo" as "class name" lines, sorted (Unispace,
# Inclusion and VistrelManager objects left out).
systems() {
  objects demo | grep -v -E '^(Unispace|Inclusion|VistrelManager) ' || true
}
