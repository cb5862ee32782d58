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

# $work/dies: a vemo-convert that dies, as a killed job does, when its batch names TT0002, and
# otherwise runs the real one. The batch is copied first, since it may come on standard input.
dying_converter() {
  cat >"$work/dies" <<EOF
#!/usr/bin/env bash
args=("\$@")
for ((i = 0; i < \$#; ++i)); do
  [ "\${args[i]}" = --files-from ] || continue
  batch=\$(mktemp -p "$work")
  cat -- "\${args[i + 1]}" >"\$batch"
  args[i + 1]=\$batch
  grep -q TT0002 "\$batch" && kill -9 \$\$
done
exec "$converter" "\${args[@]}"
EOF
  chmod +x "$work/dies"
}
