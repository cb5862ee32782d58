#!/usr/bin/env bash
# Checks parallel-hosts.sh with the local login ":" (no network): every file gives the output a
# single vemo-convert gives it, a file that is not a data file is reported and leaves no output,
# and the statuses and records are gathered.
# Usage: test-parallel-hosts.sh VEMO_CONVERT AXEGEN
# A missing GNU parallel ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail
converter=$(readlink -f "$1")
axegen=$(readlink -f "$2")
here=$(dirname "$(readlink -f "$0")")
if ! command -v parallel >/dev/null; then
  echo "GNU parallel is missing; scripts/install-deps.sh --test installs it" >&2
  [ "${CI:-}" = true ] && exit 1
  exit 77
fi
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out" "$work/expected"
for seed in 1 2 3; do "$axegen" --size 300K --seed "$seed" -o "$work/in/TT000$seed.dat"; done
echo "not a data file" >"$work/in/notes.dat"
# A name with a blank and a quote must reach the remote shell whole.
"$axegen" --profile edge --size 200K -o "$work/in/it's here.dat"
find "$work/in" -name '*.dat' | sort >"$work/list"

set +e
report=$(VEMO_CONVERT=$converter "$here/parallel-hosts.sh" "$work/list" "$work/out" : 2>&1)
status=$?
set -e
echo "$report"
[ "$status" -eq 1 ] || fail "status $status, expected 1 (one file skipped)"

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
tail -1 <<<"$report" | grep -qx "5 files: 4 converted, 1 with a skipped input, 0 failed, 0 not run; $records records" ||
  fail "the total is wrong"
echo "parallel-hosts.sh: 5 files over the local login, outputs and statuses as expected"
