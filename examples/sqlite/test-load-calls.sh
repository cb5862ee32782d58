#!/usr/bin/env bash
# Checks load-calls.sh on a generated file: the table holds one row per record written minus the
# skip lines, with integer columns stored as integers, and the per-day query adds up to the rows.
# Usage: test-load-calls.sh VEMO_CONVERT AXEGEN
# A missing sqlite3 ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../test-common.sh"
command -v sqlite3 >/dev/null || missing sqlite3
"$axegen" --size 2M --seed 11 -o "$work/TT0142.dat"
summary=$("$converter" -o "$work/TT0142.csv" "$work/TT0142.dat" 2>&1)
written=$(sed -n 's/^vemo-convert: \([0-9]*\) Records Written from 1 Files$/\1/p' <<<"$summary")
[ -n "$written" ] || fail "no summary: $summary"
skipped=$(grep -c $'^Record Skipped\r$' "$work/TT0142.csv" || true)
[ "$skipped" -gt 0 ] || fail "the generated file should hold skip lines"

"$here/load-calls.sh" "$work/TT0142.csv" "$work/calls.db" >"$work/per-day"
rows=$(sqlite3 "$work/calls.db" "SELECT COUNT(*) FROM calls")
[ "$rows" -eq $((written - skipped)) ] ||
  fail "$rows rows, expected $written records - $skipped skip lines"
typed=$(sqlite3 "$work/calls.db" \
  "SELECT COUNT(*) FROM calls WHERE typeof(seconds) = 'integer' AND typeof(counter) = 'integer'")
[ "$typed" -eq "$rows" ] || fail "only $typed of $rows rows have integer seconds and counter"
per_day=$(awk 'NR > 2 { sum += $2 } END { print sum }' "$work/per-day")
[ "$per_day" -eq "$rows" ] || fail "the calls per day add up to $per_day, not $rows"
head -5 "$work/per-day"
echo "load-calls.sh: $rows rows ($written records, $skipped skip lines)"
