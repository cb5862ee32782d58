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

# The scale-out recipes' common check of a report ("INPUT<TAB>STATUS<TAB>LAST LINE" per file)
# over the files of $work/list written to $work/out: each output is what one vemo-convert run
# gives, the file notes.dat was skipped and left none. Sets `records` to the records written.
check_outputs() {
  local report=$1 input base n
  mkdir -p "$work/expected"
  records=0
  while read -r input; do
    base=$(basename "$input" .dat)
    if [ "$base" = notes ]; then
      [ ! -e "$work/out/notes.csv" ] || fail "a skipped input left an output"
      grep -qF "$input	1	vemo-convert: The Input File Selected is not AXE Data File" <<<"$report" ||
        fail "the skipped file is not reported"
      continue
    fi
    "$converter" -q -o "$work/expected/$base.csv" "$input"
    cmp -s "$work/expected/$base.csv" "$work/out/$base.csv" || fail "$base.csv differs"
    n=$("$converter" -o /dev/null "$input" 2>&1 | sed -n 's/^vemo-convert: \([0-9]*\) Records.*/\1/p')
    records=$((records + n))
    grep -qF "$input	0	vemo-convert: $n Records Written from 1 Files" <<<"$report" ||
      fail "no summary for $input"
  done <"$work/list"
}
