#!/usr/bin/env bash
# Checks dask_convert.py on a local cluster of 2 worker processes: every file gives the output a
# single vemo-convert gives it, a file that is not a data file is reported and leaves no output,
# and the statuses and records are gathered.
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
mkdir "$work/in" "$work/out"
for seed in 1 2 3 4; do "$axegen" --size 300K --seed "$seed" -o "$work/in/TT000$seed.dat"; done
echo "not a data file" >"$work/in/notes.dat"
find "$work/in" -name '*.dat' | sort >"$work/list"

set +e
report=$(cd "$work" && "$python" "$here/dask_convert.py" --workers 2 --converter "$converter" \
  "$work/list" "$work/out" 2>"$work/dask.log")
status=$?
set -e
echo "$report"
[ "$status" -eq 1 ] || { cat "$work/dask.log" >&2; fail "status $status, expected 1 (one file skipped)"; }

check_outputs "$report"
tail -1 <<<"$report" | grep -qx "5 files: 4 converted, 1 with a skipped input, 0 failed; $records records" ||
  fail "the total is wrong"
echo "dask_convert.py: 5 files on a local cluster of 2 workers, outputs and statuses as expected"
