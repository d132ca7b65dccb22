# shellcheck shell=bash
# Recording stand-ins for programs the suite starts without waiting (the
# browser behind the shell's "open", the NSM console's cawto). Source after
# test-lib.sh.

# recording_program PATH WORDS: an executable at PATH that writes its argument
# words, one a line, to WORDS (whole, at once, so a reader never sees half).
recording_program() {
  cat >"$1" <<REC &&
#!/bin/sh
for w in "\$@"; do printf '%s\n' "\$w"; done >"$2.tmp.\$\$"
mv "$2.tmp.\$\$" "$2"
REC
  chmod +x "$1"
}

# wait_for FILE: the program was started without waiting; give it time to
# run, within a bound.
wait_for() {
  local i
  for ((i = 0; i < 600; i++)); do
    [ -e "$1" ] && return 0
    sleep 0.05
  done
  say "$1 never appeared" >&2
  return 1
}

# use_recording_browser: BROWSER records the URL words in $CASE_DIR/browser.words.
use_recording_browser() {
  recording_program "$CASE_DIR/browser" "$CASE_DIR/browser.words" &&
  export BROWSER="$CASE_DIR/browser"
}

# opened URL: the browser received exactly this one word.
opened() {
  wait_for "$CASE_DIR/browser.words" &&
  printf '%s\n' "$1" | expect_file "$CASE_DIR/browser.words"
}

not_opened() {
  [ ! -e "$CASE_DIR/browser.words" ] || { say "a page was opened:" >&2; cat "$CASE_DIR/browser.words" >&2; return 1; }
}

# recording_nsm: an NSM directory $CASE_DIR/nsm whose bin/cawto records its
# words in $CASE_DIR/cawto.words.
recording_nsm() {
  mkdir -p "$CASE_DIR/nsm/bin" &&
  recording_program "$CASE_DIR/nsm/bin/cawto" "$CASE_DIR/cawto.words"
}

# received WORD...: cawto received exactly these words.
received() {
  wait_for "$CASE_DIR/cawto.words" &&
  printf '%s\n' "$@" | expect_file "$CASE_DIR/cawto.words"
}

not_started() {
  [ ! -e "$CASE_DIR/cawto.words" ] || { say "cawto was started:" >&2; cat "$CASE_DIR/cawto.words" >&2; return 1; }
}
