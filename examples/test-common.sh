# Sourced by the examples' tests: their arguments (VEMO_CONVERT AXEGEN), fail(), skipping when a
# tool is missing, and a scratch folder `work` removed when the test ends.
converter=$(readlink -f "$1")
axegen=$(readlink -f "$2")

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Ends the test as skipped (77) when `what` is missing, or as failed under CI=true, where a
# skipped example must not pass for a run one.
missing() {
  echo "$1 is missing; scripts/install-deps.sh --test installs ${2:-it}" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT


# The scale-out recipes' tests. expect_outputs converts each file of $work/list alone into
# $work/expected and notes its records; check_outputs then checks one recipe run, whose lines
# ("INPUT<TAB>STATUS<TAB>DETAIL" per file, then a total) are in $work/report and its standard
# error in $work/errors: every file has one line; the files named in $failed (one a line)
# failed, left no output and are named on standard error; notes.dat was skipped; every other
# file was converted into $work/out as one vemo-convert run converts it.
expect_outputs() {
  local input base
  mkdir -p "$work/expected"
  while read -r input; do
    base=$(basename "$input" .dat)
    [ "$base" = notes ] && continue
    "$converter" -q -o "$work/expected/$base.csv" "$input"
    "$converter" -o /dev/null "$input" 2>&1 |
      sed -n 's/^vemo-convert: \([0-9]*\) Records.*/\1/p' >"$work/expected/$base.records"
  done <"$work/list"
}

check_outputs() {
  local input base line n=0 records=0 lost=0 skipped=0
  while read -r input; do
    base=$(basename "$input" .dat)
    n=$((n + 1))
    [ "$(grep -cF "$input	" "$work/report")" -eq 1 ] || fail "$input: not one line"
    line=$(grep -F "$input	" "$work/report" | cut -f2-)
    if grep -qxF "$input" <<<"$failed"; then
      [ "${line%%	*}" = failed ] || fail "$input: $line, not failed"
      lost=$((lost + 1))
    elif [ "$base" = notes ]; then
      [ "${line%%	*}" = skipped ] || fail "$input: $line, not skipped"
      skipped=1
    else
      [ "$line" = "converted	$(cat "$work/expected/$base.records") records" ] ||
        fail "$input: $line"
      cmp -s "$work/expected/$base.csv" "$work/out/$base.csv" || fail "$base.csv differs"
      records=$((records + $(cat "$work/expected/$base.records")))
      continue
    fi
    [ ! -e "$work/out/$base.csv" ] || fail "$input: not converted, yet it has an output"
    grep -qF ": not converted: $input: " "$work/errors" || fail "$input: not named on stderr"
  done <"$work/list"
  tail -1 "$work/report" | grep -qx "$n files: $((n - lost - skipped)) converted, $skipped skipped, 0 unreadable, $lost failed; $records records" ||
    fail "the total is wrong: $(tail -1 "$work/report")"
}

# Runs one case of a recipe's table: run_recipe_case NAME STATUS FAILED COMMAND... runs COMMAND
# into an emptied $work/out with its lines in $work/report and its standard error in
# $work/errors, then checks its exit status against STATUS and every file with check_outputs.
# FAILED names the files that must fail: "none", "all" (the list) or one file.
run_recipe_case() {
  local name=$1 expected=$2 status
  case $3 in
    none) failed= ;;
    all) failed=$(cat "$work/list") ;;
    *) failed=$3 ;;
  esac
  shift 3
  rm -rf "$work/out" && mkdir "$work/out"
  set +e
  "$@" >"$work/report" 2>"$work/errors"
  status=$?
  set -e
  [ "$status" -eq "$expected" ] || { cat "$work/report" "$work/errors"; fail "$name: status $status"; }
  (check_outputs) || { cat "$work/report" "$work/errors"; fail "$name"; }
}

# $work/dies: a vemo-convert that, given a batch naming TT0002, converts the batch's first file
# and then dies as a killed job does; other batches it hands to the real one. The batch is
# copied first, since it may come on standard input (names ending in NUL with --null).
dying_converter() {
  cat >"$work/dies" <<EOF
#!/usr/bin/env bash
args=("\$@")
for ((i = 0; i < \$#; ++i)); do
  [ "\${args[i]}" = --files-from ] || continue
  batch=\$(mktemp -p "$work")
  cat -- "\${args[i + 1]}" >"\$batch"
  args[i + 1]=\$batch
  grep -q TT0002 "\$batch" || continue
  [[ " \$* " = *" --null "* ]] && z=-z
  head \$z -n 1 "\$batch" >"\$batch.first"
  args[i + 1]=\$batch.first
  "$converter" "\${args[@]}"
  kill -9 \$\$
done
exec "$converter" "\${args[@]}"
EOF
  chmod +x "$work/dies"
}

# The loaders' tests. Converts a realistic file, an edge profile file and samples/edge-cases.dat
# to csv with the file and offset columns into $work/out, in $work, and sets `records` and
# `skipped` to the totals of the run's report.
loader_outputs() {
  cd "$work"
  "$axegen" --size 2M --seed 11 -o TT0142.dat
  "$axegen" --profile edge --size 1M --seed 5 -o edge.dat
  cp "$samples/edge-cases.dat" .
  mkdir out
  to_csv --output-dir out --report report.jsonl TT0142.dat edge.dat edge-cases.dat
  local run
  run=$(grep '"run":' report.jsonl)
  records=$(sed 's/.*,"records":\([0-9]*\).*/\1/' <<<"$run")
  skipped=$(sed 's/.*,"skipped_records":\([0-9]*\).*/\1/' <<<"$run")
}
samples=$(readlink -f "$(dirname "${BASH_SOURCE[0]}")/../samples")
to_csv() { "$converter" -q --format=csv --with-filename --with-offset "$@"; }

# With the test's `load` (the loader on its database) and `counts` (the rows of calls and of
# calls_skipped): loads every output twice; each time the tables must hold the records of the
# report, and the second load must add nothing. Then loads that must change nothing: a bad row
# after a good output (status 1, since a load is one transaction) and an output cut short
# (status 2).
check_loads() {
  local expected="$((records - skipped)) $skipped" pass out status=0
  for pass in first second; do
    out=$(load out/*.csv)
    echo "$out" | head -1
    [ "$(counts)" = "$expected" ] || fail "$pass load: $(counts) rows, expected $expected"
  done
  grep -qx "load-calls.sh: $records rows read, 0 calls and 0 skipped records added" <<<"$out" ||
    fail "the second load added rows"
  to_csv -o new.csv "$samples/switch-b.dat"
  { head -2 out/edge.csv; printf 'edge.dat,notanumber,,,,,,,,,1\r\n'; } >bad.csv
  load new.csv bad.csv >/dev/null 2>&1 && fail "a bad row did not fail the load"
  [ "$(counts)" = "$expected" ] || fail "a failed load left rows: $(counts)"
  head -c 100 new.csv >cut.csv
  load cut.csv 2>/dev/null || status=$?
  [ "$status" -eq 2 ] || fail "an output cut short gave status $status, expected 2"
}

# With the test's `load` and `sql`: started_at of made-up rows, NULL where the date and time as
# written are no valid date-time.
check_started_at() {
  local i=0 date time want expected=""
  printf 'file,offset,date,time,number1,number2,elapsed_seconds,counter,text1,text2,skipped\r\n' >dates.csv
  while IFS='|' read -r date time want; do
    printf 'dates.dat,%d,%s,%s,1,2,3,4,a,b,0\r\n' $i "$date" "$time" >>dates.csv
    expected+="$i|$want"$'\n'
    i=$((i + 1))
  done <<'END'
2024-02-29|23:59:59|2024-02-29 23:59:59
2022-12-31|00:00:00|2022-12-31 00:00:00
2023-02-29|10:00:00|
2022-04-31|10:00:00|
2022-08-32|10:00:00|
2022-13-01|10:00:00|
2022-00-01|10:00:00|
2022-08-12|24:00:00|
2022-08-12|13:60:00|
2022-08-12|13:08:60|
2022-08-12| 7:13:25|
20--|::|
20  -08-12|13:08:02|
END
  load dates.csv >/dev/null || fail "the made-up dates did not load"
  sql "SELECT \"offset\" || '|' || coalesce(CAST(started_at AS TEXT), '') FROM calls
       WHERE file = 'dates.dat' ORDER BY \"offset\"" | diff -u <(printf %s "$expected") - ||
    fail "started_at is wrong"
}
