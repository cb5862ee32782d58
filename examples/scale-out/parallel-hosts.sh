#!/usr/bin/env bash
# Converts the data files named in LIST on several hosts with GNU parallel: one
# `vemo-convert --output-dir OUT_DIR FILE` per file, spread over the logins given (ssh, as
# parallel's --sshlogin takes them; ":" is this machine). The files and OUT_DIR must be on a
# file system every host sees under the same path, and vemo-convert installed on every host
# (or VEMO_CONVERT naming it).
#
# Prints one line per file: its name, the exit status, and what vemo-convert said (the summary,
# or why the file was skipped or failed); then a total. Exits with the highest status of any file
# (0 all converted, 1 a file skipped, 2 an output failure or a usage error), or 3 when parallel
# could not run a job at all.
#
#   parallel-hosts.sh LIST OUT_DIR [LOGIN...]
#   parallel-hosts.sh files.txt /shared/csv 8/collector1 8/collector2
set -euo pipefail

if [ $# -lt 2 ]; then
  echo "usage: parallel-hosts.sh LIST OUT_DIR [LOGIN...]" >&2
  exit 2
fi
list=$1
out_dir=$2
shift 2
[ $# -gt 0 ] || set -- :
converter=${VEMO_CONVERT:-vemo-convert}

logins=()
for login in "$@"; do logins+=(--sshlogin "$login"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Each job prints "status<TAB>messages" on one line; --tag puts the file name in front. The
# converter and the folder are quoted here for the remote shell; parallel quotes the file name.
job="$(printf '%q' "$converter") --progress=never --output-dir $(printf '%q' "$out_dir") -- {}"
job="m=\$($job 2>&1); s=\$?; printf '%s\\t%s\\n' \"\$s\" \"\$(printf '%s' \"\$m\" | tr '\\n' ' ')\""
parallel "${logins[@]}" --tag --joblog "$work/joblog" -a "$list" "$job" \
  >"$work/results" || true
cat "$work/results"

# The job log has one row per file that parallel ran; a file missing there never ran.
files=$(grep -c . "$list" || true)
ran=$(($(wc -l <"$work/joblog") - 1))
awk -F'\t' -v files="$files" -v ran="$ran" '
  { status[$2]++; if (match($3, /[0-9]+ Records Written/)) records += substr($3, RSTART, RLENGTH - 16) + 0
    if ($2 > worst) worst = $2 }
  END {
    printf "%d files: %d converted, %d with a skipped input, %d failed, %d not run; %d records\n",
      files, status[0], status[1], status[2], files - ran, records
    exit (ran < files ? 3 : worst)
  }' "$work/results"
