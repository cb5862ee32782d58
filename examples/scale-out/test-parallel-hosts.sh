#!/usr/bin/env bash
# Checks parallel-hosts.sh with the local login ":" (no network), and broken: a host that cannot
# be reached, a missing vemo-convert, a job killed. Every file must come out either converted as
# a single vemo-convert converts it, or named as not converted, and the status must say which.
# Usage: test-parallel-hosts.sh VEMO_CONVERT AXEGEN
# A missing GNU parallel ends it with 77 (skipped), or with 1 when CI=true.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../test-common.sh"
command -v parallel >/dev/null || missing "GNU parallel"
mkdir "$work/in"
for seed in 1 2 3 4; do "$axegen" --size 300K --seed "$seed" -o "$work/in/TT000$seed.dat"; done
echo "not a data file" >"$work/in/notes.dat"
# A name with a blank and a quote must reach the remote shell whole.
"$axegen" --profile edge --size 200K -o "$work/in/it's here.dat"
find "$work/in" -name '*.dat' | LC_ALL=C sort >"$work/list"
expect_outputs
dying_converter

# case | logins | converter | bytes a batch | status | the files that fail: none, all or one.
# One slot ("1/:") makes batches of two files: TT0001 and TT0002 first, so that the job killed
# after converting TT0001 must keep its result.
cases="converted or skipped|:|$converter|268435456|1|none
host down|nosuch.invalid|$converter|1|3|all
converter missing|:|$work/missing|1|3|all
job killed|1/:|$work/dies|268435456|3|$work/in/TT0002.dat"
while IFS='|' read -r name logins use bytes expected failed; do
  VEMO_CONVERT=$use VEMO_TASK_BYTES=$bytes run_recipe_case "$name" "$expected" "$failed" \
    "$here/parallel-hosts.sh" "$work/list" "$work/out" "$logins"
  [ -z "$(find "$work/out" -name '.parallel-hosts.*')" ] || fail "$name: its batches were left"
  echo "parallel-hosts.sh, $name: every file as expected"
done <<<"$cases"
