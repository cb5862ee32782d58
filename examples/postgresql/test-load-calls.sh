#!/usr/bin/env bash
# Checks load-calls.sh against a real PostgreSQL server: a throw-away cluster in a temporary
# folder, reached only through its Unix socket there (no TCP port), stopped and removed at the
# end. Loads generated outputs (the edge profile included) and checks the rows against the
# report's record counts, that a second load adds nothing, that a failing load leaves nothing,
# and how the odd fields arrive.
# Usage: test-load-calls.sh VEMO_CONVERT AXEGEN
# A missing PostgreSQL ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../test-common.sh"
# Debian keeps the server programs out of PATH, one folder per major version.
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1 || true)
[ -n "$bin" ] && [ -x "$bin/initdb" ] && command -v psql >/dev/null ||
  missing PostgreSQL "it (postgresql)"

# The server refuses to run as root: there it runs as the user the Debian package made, postgres
# (or as nobody, which tests that limit nobody's processes would then share), in a folder of its
# own.
pg=$(mktemp -d)
as_server=()
if [ "$(id -u)" -eq 0 ]; then
  server_user=postgres
  id -u postgres >/dev/null 2>&1 || server_user=nobody
  chown "$server_user:" "$pg"
  as_server=(runuser -u "$server_user" --)
fi
cleanup() {
  "${as_server[@]}" "$bin/pg_ctl" -D "$pg/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$pg" "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM HUP  # so that the server is stopped then too
cd /
"${as_server[@]}" "$bin/initdb" -D "$pg/data" -U vemo --auth=trust -E UTF8 --locale=C --no-sync \
  >"$pg/initdb.log" 2>&1 || { cat "$pg/initdb.log" >&2; fail "initdb failed"; }
"${as_server[@]}" "$bin/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w \
  -o "-c listen_addresses='' -k $pg -c fsync=off" start >/dev/null ||
  { cat "$pg/server.log" >&2; fail "the server did not start"; }
export PGHOST=$pg PGUSER=vemo PGDATABASE=postgres
sql() { psql -X -At -v ON_ERROR_STOP=1 -c "$1"; }
load() { "$here/load-calls.sh" "$@"; }
counts() { sql "SELECT (SELECT count(*) FROM calls) || ' ' || (SELECT count(*) FROM calls_skipped)"; }
loader_outputs
check_loads

# How odd fields arrive: texts with a Latin-1 byte and a zero byte, a skipped record.
nul=$(tr -cd '\000' <out/edge.csv | wc -c)
[ "$nul" -gt 0 ] || fail "the edge output should hold zero bytes"
checks=$(sql "
  SELECT 'AB\\xc9D ' || count(*) FROM calls WHERE text2 = 'ABÉD'
  UNION ALL SELECT 'zero bytes ' || count(*) FROM calls WHERE text2 = 'AB' || U&'\FFFD' || 'CD'
  UNION ALL SELECT 'skipped at 795 ' || count(*) FROM calls_skipped
   WHERE file = 'edge-cases.dat' AND \"offset\" = 795
  ORDER BY 1")
diff -u - <(echo "$checks") <<END || fail "odd fields arrive wrong"
AB\\xc9D $(LC_ALL=C grep -ac $'\xc9' out/edge-cases.csv out/edge.csv | awk -F: '{ n += $2 } END { print n }')
skipped at 795 1
zero bytes $nul
END
check_started_at
echo "load-calls.sh (PostgreSQL $("$bin/postgres" --version | awk '{ print $3 }')): $records records, loaded twice, counts as reported"
