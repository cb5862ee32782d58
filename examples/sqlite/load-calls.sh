#!/usr/bin/env bash
# Loads one vemo-convert output into an SQLite database, into the table "calls" with typed
# columns (created when missing), and prints the calls per day.
#
#   load-calls.sh OUTPUT.csv DATABASE
#
# The output's lines end with CR LF and hold no header; "Record Skipped" lines stand for records
# of an unknown length and carry no call, so they are left out. The two numbers stay text: a
# leading zero is part of a number.
set -euo pipefail
if [ $# -ne 2 ]; then
  echo "usage: load-calls.sh OUTPUT.csv DATABASE" >&2
  exit 2
fi
csv=$1
db=$2
[ -r "$csv" ] || { echo "load-calls.sh: cannot read $csv" >&2; exit 1; }

sqlite3 -bail "$db" <<'SQL'
CREATE TABLE IF NOT EXISTS calls (
  call_date  TEXT    NOT NULL,  -- as the record holds it
  call_time  TEXT    NOT NULL,  -- hh:mm:ss
  number_1   TEXT    NOT NULL,
  number_2   TEXT    NOT NULL,
  seconds    INTEGER NOT NULL,  -- elapsed time
  counter    INTEGER NOT NULL,
  text_1     TEXT    NOT NULL,
  text_2     TEXT    NOT NULL
);
SQL

# sqlite3 reads the cleaned lines from standard input; the table exists, so every line is a row.
sed -e 's/\r$//' -e '/^Record Skipped$/d' "$csv" |
  sqlite3 -bail "$db" ".import --csv /dev/stdin calls"

sqlite3 -header -column "$db" <<'SQL'
SELECT call_date, COUNT(*) AS calls, SUM(seconds) AS seconds
FROM calls
GROUP BY call_date
ORDER BY call_date;
SQL
