#!/usr/bin/env bash
# Checks load-calls.sh on generated outputs (the edge profile included): the rows against the
# report's record counts, a second load that adds nothing, failing loads that leave nothing,
# the calls per day (valid dates only), and how the odd fields arrive.
# Usage: test-load-calls.sh VEMO_CONVERT AXEGEN
# A missing sqlite3 ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../test-common.sh"
command -v sqlite3 >/dev/null || missing sqlite3
sql() { sqlite3 "$work/calls.db" "$1"; }
load() { "$here/load-calls.sh" "$work/calls.db" "$@"; }
counts() { sql "SELECT (SELECT count(*) FROM calls) || ' ' || (SELECT count(*) FROM calls_skipped)"; }
loader_outputs
check_loads

# The calls per day list every date that GNU date takes as a calendar day, and no other.
valid=$(sql "SELECT DISTINCT date FROM calls ORDER BY 1" | while IFS= read -r d; do
  [ "$(date -d "$d" +%F 2>/dev/null)" != "$d" ] || printf "'%s'," "$d"
done)
grep -qa ',20--,' out/edge.csv || fail "the edge output should hold cut dates"
load out/edge.csv | tail -n +4 | awk '{ print $1 "|" $2 }' >per-day
sql "SELECT date, count(*) FROM calls WHERE date IN (${valid%,}) GROUP BY 1 ORDER BY 1" |
  diff -u - per-day || fail "the calls per day are not those of the valid dates"

# How odd fields arrive: texts with a zero byte, a skipped record.
nul=$(tr -cd '\000' <out/edge.csv | wc -c)
[ "$nul" -gt 0 ] || fail "the edge output should hold zero bytes"
checks=$(sql "
  SELECT 'zero bytes ' || count(*) FROM calls WHERE text2 = 'AB' || char(65533) || 'CD'
  UNION ALL SELECT 'skipped at 795 ' || count(*) FROM calls_skipped
   WHERE file = 'edge-cases.dat' AND \"offset\" = 795
  ORDER BY 1")
diff -u - <(echo "$checks") <<END || fail "odd fields arrive wrong"
skipped at 795 1
zero bytes $nul
END
check_started_at
echo "load-calls.sh (SQLite): $records records, loaded twice, counts as reported"
