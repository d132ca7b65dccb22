# shellcheck shell=bash
# The discovery pass tables as the build wrote them from the programs' own
# tables (passes.txt: discovery/tests/pass_tables.cpp), for fixtures and
# benchmarks that walk every pass. Source it after TNG_BIN is set.
#
#   pass_classes KIND [WORD]: the classes of the rows of KIND (orxdetect-pass,
#   orxdetect-association, plndetect-pass) in table order, on one line; with
#   WORD only the rows that carry it (both, all-systems, server, workstation,
#   novell).
: "${TNG_PASSES:=$TNG_BIN/../passes.txt}"
[ -r "$TNG_PASSES" ] || { echo "passes.sh: $TNG_PASSES is missing: build the tree first" >&2; exit 1; }
pass_classes() {
  awk -v kind="$1" -v word="${2:-}" '
    $1 == kind { keep = word == ""; for (i = 3; i <= NF; i++) if ($i == word) keep = 1 }
    $1 == kind && keep { printf "%s%s", sep, $2; sep = " " }
    END { print "" }' "$TNG_PASSES"
}
