#!/usr/bin/env bash
# Checks dask_convert.py on a local cluster of 2 workers, and broken: a missing vemo-convert, a
# task killed, a scheduler that cannot be reached. Every file must come out either converted as
# a single vemo-convert converts it, or named as not converted, and the status must say which.
# Usage: test-dask.sh VEMO_CONVERT AXEGEN
# A missing Dask distributed (Debian's python3-distributed) ends it with 77 (skipped), or with 1
# when CI=true.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
. "$here/../test-common.sh"
python=""
for candidate in python3 /usr/bin/python3; do
  if command -v "$candidate" >/dev/null && "$candidate" -c 'import distributed' 2>/dev/null; then
    python=$candidate
    break
  fi
done
[ -n "$python" ] || missing "Dask distributed" python3-distributed
mkdir "$work/in"
for seed in 1 2 3 4; do "$axegen" --size 300K --seed "$seed" -o "$work/in/TT000$seed.dat"; done
echo "not a data file" >"$work/in/notes.dat"
find "$work/in" -name '*.dat' | LC_ALL=C sort >"$work/list"
expect_outputs
dying_converter

# case | converter | cluster | bytes a batch | status | the files that fail: none, all or one.
# One worker makes batches of two files: TT0001 and TT0002 first, so that the task killed after
# converting TT0001 must keep its result.
cases="converted or skipped|$converter|--workers 2|268435456|1|none
converter missing|$work/missing|--workers 2|1|3|all
task killed|$work/dies|--workers 1|268435456|3|$work/in/TT0002.dat
cluster down|$converter|--scheduler tcp://127.0.0.1:9 --timeout 1|1|3|all"
while IFS='|' read -r name use cluster bytes expected failed; do
  # shellcheck disable=SC2086 # $cluster is two or four words
  (cd "$work" && run_recipe_case "$name" "$expected" "$failed" "$python" "$here/dask_convert.py" \
    $cluster --task-bytes "$bytes" --converter "$use" "$work/list" "$work/out")
  ! grep -q Traceback "$work/errors" || { cat "$work/errors"; fail "$name: a traceback"; }
  echo "dask_convert.py, $name: every file as expected"
done <<<"$cases"
