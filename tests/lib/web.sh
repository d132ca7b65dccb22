# shellcheck shell=bash
# The web view's test helpers (after test-lib.sh). Every server listens on
# 127.0.0.1 at a port the system chooses, and is stopped when its case ends
# (or, at the latest, when the script does).
#
#   serve REPO [ARGS...]     starts `wvrepo serve REPO --listen 127.0.0.1:0
#                            ARGS` in the background; URL is its address
#                            (without the final /), SERVE_PID its process
#   serve_stop               ends it with SIGTERM (or $1) and waits; its exit
#                            code in $CASE_DIR/serve.rc, stderr in serve.err
#   http METHOD PATH [CURL ARGS...]
#                            one request; prints the status code, keeps the
#                            headers in $CASE_DIR/head, the body in body
#   header NAME              a header's value in the last answer
#   login [USER [PASSWORD]]  logs in (admin, pw); the cookie in
#                            $CASE_DIR/cookies, to pass with $SESSION
#   tags_and_texts           the last body's elements as "tag<TAB>text"
#                            lines (text unescaped), for what a browser shows

SERVE_PID=
URL=
SESSION=()
CURL_TLS=()

serve() {
  local repo=$1 i
  shift
  # Emptied here, not only by the background command's redirection, which
  # may come after the first look for the address: a second server of a
  # case would else be taken to listen where the first one did.
  : >"$CASE_DIR/serve.err"
  # A command started in the background by a script ignores SIGINT; the
  # server is started as a terminal's foreground command would be.
  python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execvp(sys.argv[1], sys.argv[1:])' \
    wvrepo serve "$repo" --listen 127.0.0.1:0 "$@" 2>"$CASE_DIR/serve.err" &
  SERVE_PID=$!
  echo "$SERVE_PID" >>"$TEST_ROOT/web-servers"
  trap serve_stop EXIT
  for ((i = 0; i < 400; i++)); do
    URL=$(sed -n 's|^wvrepo: serving repository .* at \(https\{0,1\}://[^ ]*\)/ .*|\1|p' "$CASE_DIR/serve.err" 2>/dev/null)
    [ -z "$URL" ] || break
    kill -0 "$SERVE_PID" 2>/dev/null || { say "the server ended at start:" >&2; cat "$CASE_DIR/serve.err" >&2; return 1; }
    sleep 0.025
  done
  [ -n "$URL" ] || { say "the server did not start:" >&2; cat "$CASE_DIR/serve.err" >&2; return 1; }
  case $URL in https:*) CURL_TLS=(-k) ;; *) CURL_TLS=() ;; esac
}

serve_stop() {
  [ -n "$SERVE_PID" ] || return 0
  local rc=0
  kill "-${1:-TERM}" "$SERVE_PID" 2>/dev/null
  wait "$SERVE_PID" || rc=$?
  echo "$rc" >"$CASE_DIR/serve.rc"
  SERVE_PID=
}

# serve_stopped_cleanly: stops the server; it must end with code 0 (its
# stderr is shown when it does not).
serve_stopped_cleanly() {
  if serve_stop TERM && [ "$(cat "$CASE_DIR/serve.rc")" = 0 ]; then
    return 0
  fi
  cat "$CASE_DIR/serve.err" >&2
  return 1
}

# Servers a case left behind when it was cut short: only those this script
# started, and only while they are still wvrepo processes.
_web_cleanup() {
  local pid
  [ -s "$TEST_ROOT/web-servers" ] || return 0
  while read -r pid; do
    if grep -q wvrepo "/proc/$pid/cmdline" 2>/dev/null; then kill "$pid" 2>/dev/null; fi
  done <"$TEST_ROOT/web-servers"
}
cleanup_hooks+=(_web_cleanup)

http() {
  local method=$1 path=$2
  shift 2
  local how=(-X "$method" -o "$CASE_DIR/body")
  # curl shows the headers of a HEAD answer as its body.
  [ "$method" != HEAD ] || how=(-I -o /dev/null)
  curl -s --max-time 15 "${CURL_TLS[@]}" "${how[@]}" -D "$CASE_DIR/head" \
    -w '%{http_code}' "$@" "$URL$path"
}

header() {
  sed -n "s/^$1: //Ip" "$CASE_DIR/head" | tr -d '\r'
}

login() {
  local status
  status=$(http POST /login -c "$CASE_DIR/cookies" --data-urlencode "user=${1:-admin}" \
    --data-urlencode "password=${2-pw}")
  [ "$status" = 303 ] || { say "login: $status" >&2; cat "$CASE_DIR/body" >&2; return 1; }
  # shellcheck disable=SC2034  # for the scripts that source this file
  SESSION=(-b "$CASE_DIR/cookies")
}

tags_and_texts() {
  python3 -c '
import sys, html.parser, signal
signal.signal(signal.SIGPIPE, signal.SIG_DFL)
class P(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.stack = []
        self.texts = {}
    def handle_starttag(self, tag, attrs):
        if tag in ("meta", "link", "input", "br", "img"):
            print(tag + "\t")
            return
        self.stack.append([tag, ""])
    def handle_endtag(self, tag):
        while self.stack:
            t, text = self.stack.pop()
            print(t + "\t" + " ".join(text.split()))
            if self.stack: self.stack[-1][1] += " " + text + " "
            if t == tag: break
    def handle_data(self, data):
        if self.stack: self.stack[-1][1] += data
p = P()
p.feed(open(sys.argv[1], encoding="utf-8", errors="strict").read())
p.close()' "$CASE_DIR/body"
}
