#!/usr/bin/env bash
# Loads vemo-convert outputs into an SQLite database: the table "calls" (one row per record) and
# the table "calls_skipped" (the position of every record without a layout), both created when
# missing; then prints the calls per day. All the given outputs go in one transaction: either
# every row is loaded or none.
#
#   vemo-convert --format=csv --with-filename --with-offset --output-dir out *.dat
#   load-calls.sh calls.db out/*.csv
#
# Each output must be a csv with the file and offset columns: a row is keyed on (file, offset),
# so loading the same output again adds nothing, and a load that failed can simply be run again.
# `file` is the input's name as given to vemo-convert: convert with the same names to keep that
# key.
#
# Columns: the date and time as written (text), and `started_at` ("YYYY-MM-DD HH:MM:SS"), NULL
# where they make no valid date-time (hour 24, minute 60, day 32, records cut short); the number
# fields as text (a leading zero is part of a number); elapsed_seconds and counter as numbers.
# Texts keep their bytes, except a zero byte, which the sqlite3 shell would cut a text at: it
# becomes U+FFFD. The calls per day count only records with a valid date.
#
# Exit status: 0 loaded; 1 sqlite3 failed, its message says why (a load is one transaction: one
# that fails leaves nothing); 2 usage, or an output that is unreadable or not such a csv (nothing
# loaded).
set -euo pipefail

me=load-calls.sh
if [ $# -lt 2 ]; then
  echo "usage: $me DATABASE OUTPUT.csv..." >&2
  exit 2
fi
db=$1
shift
command -v sqlite3 >/dev/null || { echo "$me: sqlite3 is missing" >&2; exit 2; }

. "$(dirname "${BASH_SOURCE[0]}")/../loadable-csv.sh"
require_loadable_csv "$me" "$@"

# sqlite3 imports the rows of all outputs from standard input, their headers left out. The shell
# ends an import quietly at the end of its input, so the stream ends with a marker row that only
# comes when every output was read whole; without it, nothing is committed.
rows() {
  for csv; do
    tail -n +2 "$csv" || exit 1
  done
  printf ',,,,,,,,,,end\r\n'
}

set +e
rows "$@" | LC_ALL=C sed 's/\x00/\xef\xbf\xbd/g' | sqlite3 -bail "$db" ".read /dev/fd/3" 3<<'SQL'
-- Another load in progress is waited for, up to a minute.
.timeout 60000
BEGIN IMMEDIATE;
CREATE TABLE IF NOT EXISTS calls (
  file            TEXT    NOT NULL,
  "offset"        INTEGER NOT NULL,
  date            TEXT    NOT NULL,  -- as written: 20yy-mm-dd, or what a cut record holds
  time            TEXT    NOT NULL,  -- as written: hh:mm:ss
  started_at      TEXT,              -- NULL where date and time are no valid date-time
  number1         TEXT    NOT NULL,
  number2         TEXT    NOT NULL,
  elapsed_seconds NUMERIC NOT NULL,
  counter         NUMERIC NOT NULL,
  text1           TEXT    NOT NULL,
  text2           TEXT    NOT NULL,
  PRIMARY KEY (file, "offset")
);
CREATE TABLE IF NOT EXISTS calls_skipped (
  file     TEXT    NOT NULL,
  "offset" INTEGER NOT NULL,
  PRIMARY KEY (file, "offset")
);
CREATE TEMP TABLE staging (
  file, "offset", date, time, number1, number2, elapsed_seconds, counter, text1, text2, skipped
);
.import --csv --schema temp /dev/stdin staging
-- The shell fills a short row with NULLs and only warns: such rows, a row the loader does not
-- know, or a missing end marker stop the load here.
CREATE TEMP TABLE load_check (
  input_complete INTEGER CHECK (input_complete),
  rows_from_vemo_convert INTEGER CHECK (rows_from_vemo_convert)
);
INSERT INTO load_check SELECT
  (SELECT skipped = 'end' FROM staging ORDER BY rowid DESC LIMIT 1)
    AND (SELECT count(*) FROM staging WHERE skipped = 'end') = 1,
  NOT EXISTS (SELECT 1 FROM staging WHERE skipped NOT IN ('0', '1', 'end') OR text2 IS NULL
              OR (skipped != 'end' AND ("offset" = '' OR "offset" GLOB '*[^0-9]*')));
CREATE TEMP TABLE added (what TEXT, n INTEGER);
-- started_at is kept where turning it into a day number and back gives the same text: that
-- refuses hour 24, minute or second 60 and over, and days past their month's end.
INSERT INTO calls
SELECT file, CAST("offset" AS INTEGER), date, time,
       CASE WHEN datetime(julianday(date || ' ' || time)) IS date || ' ' || time
            THEN date || ' ' || time END,
       number1, number2, elapsed_seconds, counter, text1, text2
FROM staging WHERE skipped = '0'
ON CONFLICT (file, "offset") DO NOTHING;
INSERT INTO added VALUES ('calls', changes());
INSERT INTO calls_skipped
SELECT file, CAST("offset" AS INTEGER) FROM staging WHERE skipped = '1'
ON CONFLICT (file, "offset") DO NOTHING;
INSERT INTO added VALUES ('skipped', changes());
COMMIT;
SELECT 'load-calls.sh: ' || (SELECT count(*) - 1 FROM staging) || ' rows read, '
       || (SELECT n FROM added WHERE what = 'calls') || ' calls and '
       || (SELECT n FROM added WHERE what = 'skipped') || ' skipped records added';
.headers on
.mode column
SELECT date, COUNT(*) AS calls, SUM(elapsed_seconds) AS seconds
FROM calls
WHERE date(julianday(date)) IS date
GROUP BY date
ORDER BY date;
SQL
status=("${PIPESTATUS[@]}")
set -e
if [ "${status[0]}" -ne 0 ] || [ "${status[1]}" -ne 0 ] || [ "${status[2]}" -ne 0 ]; then
  echo "$me: sqlite3 failed (exit status ${status[2]})" >&2
  exit 1
fi
