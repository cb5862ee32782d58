#!/usr/bin/env bash
# Loads vemo-convert outputs into PostgreSQL: the table "calls" (one row per record) and the
# table "calls_skipped" (the position of every record without a layout), both created when
# missing. All the given outputs go in one transaction: either every row is loaded or none.
#
#   vemo-convert --format=csv --with-filename --with-offset --output-dir out *.dat
#   load-calls.sh [-d DATABASE] out/*.csv
#
# -d takes a database name or a connection string; without it, psql's PG* environment variables
# apply (PGHOST, PGDATABASE, PGUSER...). Each output must be a csv with the file and offset
# columns: a row is keyed on (file, offset), so loading the same output again adds nothing,
# and a load that failed half-way can simply be run again. `file` is the input's name as given to
# vemo-convert: convert with the same names to keep that key.
#
# Column types: the date and time as written (text), and `started_at`, a timestamp that is NULL
# where they make no valid date-time (hour 24, minute 60, day 32, records cut short); the
# number fields as text (a leading zero is part of a number); elapsed_seconds and counter as
# numeric (they may have a fraction). A text that is not UTF-8 is read as Latin-1, one character
# per byte, as the jsonl format does; a zero byte, which PostgreSQL cannot store in a text,
# becomes U+FFFD.
#
# Exit status: 0 loaded; 1 psql failed, its message says why (a load is one transaction: one
# that fails leaves nothing); 2 usage, or an output that is unreadable or not such a csv (nothing
# loaded).
set -euo pipefail

me=load-calls.sh
usage() {
  echo "usage: $me [-d DATABASE] OUTPUT.csv..." >&2
  exit 2
}
db=()
while getopts d: opt; do
  case $opt in
    d) db=(-d "$OPTARG") ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[ $# -gt 0 ] || usage
command -v psql >/dev/null || { echo "$me: psql is missing" >&2; exit 2; }

. "$(dirname "${BASH_SOURCE[0]}")/../loadable-csv.sh"
require_loadable_csv "$me" "$@"

# The psql script, the data in line after each COPY. COMMIT comes last, so an output that fails
# to be read ends the script before it, and psql's session ends rolled back.
script() {
  cat <<'SQL'
\set ON_ERROR_STOP on
SET client_min_messages = warning;
BEGIN;
CREATE TABLE IF NOT EXISTS calls (
  file            text      NOT NULL,
  "offset"        bigint    NOT NULL,
  date            text      NOT NULL,  -- as written: 20yy-mm-dd, or what a cut record holds
  time            text      NOT NULL,  -- as written: hh:mm:ss
  started_at      timestamp,           -- NULL where date and time are no valid date-time
  number1         text      NOT NULL,
  number2         text      NOT NULL,
  elapsed_seconds numeric   NOT NULL,
  counter         numeric   NOT NULL,
  text1           text      NOT NULL,
  text2           text      NOT NULL,
  PRIMARY KEY (file, "offset")
);
CREATE TABLE IF NOT EXISTS calls_skipped (
  file     text   NOT NULL,
  "offset" bigint NOT NULL,
  PRIMARY KEY (file, "offset")
);
CREATE TEMPORARY TABLE staging (
  file text, "offset" text, date text, time text, number1 text, number2 text,
  elapsed_seconds text, counter text, text1 text, text2 text, skipped text
) ON COMMIT DROP;

-- COPY reads the bytes as Latin-1, so that any byte passes; a text whose bytes are valid UTF-8
-- is then decoded as such.
CREATE FUNCTION pg_temp.utf8_or_latin1(t text) RETURNS text LANGUAGE plpgsql STABLE AS $$
BEGIN
  RETURN convert_from(convert_to(t, 'LATIN1'), 'UTF8');
EXCEPTION WHEN character_not_in_repertoire OR untranslatable_character THEN
  RETURN t;
END $$;
CREATE FUNCTION pg_temp.field(t text) RETURNS text LANGUAGE sql STABLE AS $$
  SELECT CASE WHEN t ~ '[^\x01-\x7f]' THEN pg_temp.utf8_or_latin1(t) ELSE t END
$$;
-- The patterns come first, so that only well-formed text reaches the casts; a day past 28 is
-- then checked against its month's length. STABLE like the casts it uses, so that it is inlined.
CREATE FUNCTION pg_temp.started_at(d text, t text) RETURNS timestamp LANGUAGE sql STABLE AS $$
  SELECT CASE
    WHEN d !~ '^20[0-9]{2}-(0[1-9]|1[0-2])-(0[1-9]|[12][0-9]|3[01])$'
      OR t !~ '^([01][0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$' THEN NULL
    WHEN right(d, 2) > '28' AND date_part('month', (left(d, 8) || '01')::date
                                          + (right(d, 2)::int - 1)) <> substr(d, 6, 2)::int THEN NULL
    ELSE (d || ' ' || t)::timestamp
  END
$$;
SQL
  for csv; do
    echo "COPY staging FROM STDIN (FORMAT csv, HEADER, ENCODING 'LATIN1',"
    echo "  FORCE_NOT_NULL (file, \"offset\", date, time, number1, number2, text1, text2, skipped));"
    LC_ALL=C sed 's/\x00/\xef\xbf\xbd/g' "$csv" || exit 1
    printf '\\.\r\n'  # the end of the data, its line ended as the rows are
  done
  cat <<'SQL'
-- A row the loader does not know stops the load rather than being left out.
DO $$
BEGIN
  IF EXISTS (SELECT FROM staging WHERE skipped NOT IN ('0', '1')) THEN
    RAISE 'a row whose skipped column is neither 0 nor 1: not a vemo-convert output';
  END IF;
END $$;
SELECT count(*) AS rows_read FROM staging \gset
WITH added AS (
  INSERT INTO calls
  SELECT pg_temp.field(file), "offset"::bigint, pg_temp.field(date), pg_temp.field(time),
         pg_temp.started_at(date, time), pg_temp.field(number1), pg_temp.field(number2),
         elapsed_seconds::numeric, counter::numeric, pg_temp.field(text1), pg_temp.field(text2)
  FROM staging WHERE skipped = '0'
  ON CONFLICT DO NOTHING
  RETURNING 1)
SELECT count(*) AS calls_added FROM added \gset
WITH added AS (
  INSERT INTO calls_skipped
  SELECT pg_temp.field(file), "offset"::bigint FROM staging WHERE skipped = '1'
  ON CONFLICT DO NOTHING
  RETURNING 1)
SELECT count(*) AS skipped_added FROM added \gset
COMMIT;
\echo load-calls.sh: :rows_read rows read, :calls_added calls and :skipped_added skipped records added
SQL
}

set +e
script "$@" | psql -X -q -v ON_ERROR_STOP=1 "${db[@]}" -f -
status=("${PIPESTATUS[@]}")
set -e
if [ "${status[0]}" -ne 0 ] || [ "${status[1]}" -ne 0 ]; then
  echo "$me: psql failed (exit status ${status[1]})" >&2
  exit 1
fi
