# shellcheck shell=bash
# A throwaway PostgreSQL cluster for one test script (or benchmark), started
# when it is first needed and stopped when the script ends.
#
#   . "$TNG_SRC/tests/lib/pg.sh"     (after test-lib.sh)
#   pg_conninfo                      a connection string for a database of
#                                    the current case, made on first use
#   pg_stop / pg_start               stop the server (fast shutdown) and
#                                    start it again on the same folder
#   pg_sql DB SQL                    runs SQL as the superuser (psql)
#
# The tests run as root, and the server refuses to run as root: the cluster
# belongs to an unprivileged system user (PG_USER, default nobody) and lives
# in its own folder under $TMPDIR (default /tmp; the user must be let
# through it). It listens on no TCP address, only on a unix socket in that
# folder, and lets in the local system user of the same name (peer login):
# root connects as the database superuser "root".
# PG_DURABLE=1 keeps the server's default durability (the benchmarks);
# otherwise the tests' cluster skips fsync, which only a crash of the
# machine would notice.
: "${PG_BIN:=$(printf '%s\n' /usr/lib/postgresql/*/bin | sort -V | tail -n 1)}"
: "${PG_USER:=nobody}"

_pg_state="$TEST_ROOT/pg.folder"

# psql: the server's own client. The system's psql is a wrapper, a Perl
# program that picks a cluster, and its start cost more than the queries.
psql() { "$PG_BIN/psql" "$@"; }

# pg_folder: the cluster's folder; starts the cluster when there is none.
pg_folder() {
  if [ ! -s "$_pg_state" ]; then
    local dir
    dir=$(mktemp -d "${TMPDIR:-/tmp}/tng-pg.XXXXXX") || return 1
    chown "$PG_USER" "$dir" && chmod 700 "$dir" || return 1
    (cd / && runuser -u "$PG_USER" -- "$PG_BIN/initdb" -D "$dir/data" -U root --auth-local=peer \
      --auth-host=reject -E UTF8 --locale=C -N) >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; rm -rf "$dir"; return 1; }
    mkdir "$dir/socket" && chown "$PG_USER" "$dir/socket"
    {
      echo "listen_addresses = ''"
      echo "unix_socket_directories = '$dir/socket'"
      echo "max_connections = 200"
      if [ -z "${PG_DURABLE:-}" ]; then
        echo "fsync = off"
        echo "synchronous_commit = off"
        echo "full_page_writes = off"
      fi
    } >>"$dir/data/postgresql.conf"
    echo "$dir" >"$_pg_state"
    pg_start || return 1
  fi
  cat "$_pg_state"
}

pg_start() {
  local dir
  dir=$(cat "$_pg_state")
  (cd / && runuser -u "$PG_USER" -- "$PG_BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -s start) ||
    { cat "$dir/server.log" >&2; return 1; }
}

pg_stop() {
  local dir
  [ -s "$_pg_state" ] || return 0
  dir=$(cat "$_pg_state")
  (cd / && runuser -u "$PG_USER" -- "$PG_BIN/pg_ctl" -D "$dir/data" -m fast -w -s stop)
}

# pg_socket: the folder of the server's socket (libpq's "host").
pg_socket() { echo "$(pg_folder)/socket"; }

pg_sql() {
  local db=$1
  shift
  psql -X -q -A -t -v ON_ERROR_STOP=1 -h "$(pg_socket)" -d "$db" -c "$*"
}

# pg_conninfo: a database of its own for each framework home, so that the
# repositories of a fresh home never meet those of an earlier one. The
# database's name is kept in the home (a home made again gets a new one),
# or in the case's folder while there is no home.
pg_conninfo() {
  local mark db
  if [ -d "$TNG_HOME" ]; then mark=$TNG_HOME/.pg-test-database; else mark=${CASE_DIR:-$TEST_ROOT}/pg.database; fi
  if [ ! -s "$mark" ]; then
    db=$(pg_new_database) || return 1
    echo "$db" >"$mark"
  fi
  echo "host=$(pg_socket) dbname=$(cat "$mark")"
}

# pg_new_database: a new, empty database of the case; prints its name.
# pg_copy_database TEMPLATE: the same, a copy of the database TEMPLATE (which
# no one may be connected to).
pg_new_database() { pg_make_database "TEMPLATE template0 STRATEGY file_copy"; }
pg_copy_database() { pg_make_database "TEMPLATE \"$1\""; }
pg_make_database() {
  local db="t${case_number:-0}_${BASHPID}_${RANDOM}"
  pg_sql postgres "CREATE DATABASE \"$db\" $1" || return 1
  echo "$db"
}

# pg_pooled CONNINFO: the same database reached through a connection pooler
# (PgBouncer, session pooling) that keeps the server's processes open
# between the tools' runs; the pooler starts on first use. Its socket lies
# in a folder only its user (and root) may enter, so it lets in whoever
# reaches the socket; it logs in to the server as its own system user,
# which the server's ident map lets in as the scripts' own user.
pg_pooled() {
  local dir
  dir=$(pg_folder) || return 1
  if [ ! -S "$dir/pool/.s.PGSQL.6432" ]; then
    command -v pgbouncer >/dev/null || { say "pg_pooled: pgbouncer is not installed" >&2; return 1; }
    mkdir -p "$dir/pool" && chown "$PG_USER" "$dir/pool" && chmod 700 "$dir/pool" || return 1
    {
      echo "[databases]"
      echo "* = host=$dir/socket"
      echo "[pgbouncer]"
      echo "listen_addr ="
      echo "unix_socket_dir = $dir/pool"
      echo "unix_socket_mode = 0700"
      echo "auth_type = trust"
      echo "auth_file = $dir/pool/users"
      echo "pool_mode = session"
      echo "ignore_startup_parameters = options"
      echo "max_client_conn = 200"
      echo "default_pool_size = 40"
      echo "logfile = $dir/pool/pooler.log"
      echo "pidfile = $dir/pool/pooler.pid"
    } >"$dir/pool/pooler.ini"
    # Trust still asks that the user be listed (with no password).
    printf '"%s" ""\n' "$(id -un)" >"$dir/pool/users"
    if ! grep -q "^pool " "$dir/data/pg_ident.conf"; then
      printf 'pool %s %s\npool /^(.*)$ \\1\n' "$PG_USER" "$(id -un)" >>"$dir/data/pg_ident.conf"
      sed -i 's/^\(local *all *all *peer\)$/\1 map=pool/' "$dir/data/pg_hba.conf"
      pg_sql postgres "SELECT pg_reload_conf()" >/dev/null || return 1
    fi
    # A daemon: none of the script's open files (its locks) go with it.
    (cd / && for fd in "/proc/$BASHPID/fd/"*; do
       fd=${fd##*/}; [ "$fd" -gt 2 ] && eval "exec $fd>&-"; done
     runuser -u "$PG_USER" -- pgbouncer -d -q "$dir/pool/pooler.ini") ||
      { cat "$dir/pool/pooler.log" >&2; return 1; }
    local tries=0
    until [ -S "$dir/pool/.s.PGSQL.6432" ]; do
      tries=$((tries + 1)); [ "$tries" -lt 100 ] || { say "pg_pooled: the pooler did not start" >&2; return 1; }
      sleep 0.05
    done
  fi
  local conninfo=$1
  [[ ! $conninfo =~ host=[^\ ]* ]] || conninfo=${conninfo/"${BASH_REMATCH[0]}"/host=$dir/pool port=6432}
  echo "$conninfo"
}

_pg_cleanup() {
  local dir
  [ -s "$_pg_state" ] || return 0
  dir=$(cat "$_pg_state")
  [ ! -s "$dir/pool/pooler.pid" ] || kill "$(cat "$dir/pool/pooler.pid")" 2>/dev/null
  (cd / && runuser -u "$PG_USER" -- "$PG_BIN/pg_ctl" -D "$dir/data" -m immediate -w -s stop) 2>/dev/null
  rm -rf "$dir"
}
cleanup_hooks+=(_pg_cleanup)
