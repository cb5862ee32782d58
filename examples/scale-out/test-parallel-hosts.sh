#!/usr/bin/env bash
# Checks parallel-hosts.sh with the local login ":" (no network): every file gives the output a
# single vemo-convert gives it, a file that is not a data file is reported and leaves no output,
# and the statuses and records are gathered.
# Usage: test-parallel-hosts.sh VEMO_CONVERT AXEGEN
# A missing GNU parallel ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../test-common.sh"
command -v parallel >/dev/null || missing "GNU parallel"
mkdir "$work/in" "$work/out"
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

check_outputs "$report"
tail -1 <<<"$report" | grep -qx "5 files: 4 converted, 1 with a skipped input, 0 failed, 0 not run; $records records" ||
  fail "the total is wrong"
echo "parallel-hosts.sh: 5 files over the local login, outputs and statuses as expected"
