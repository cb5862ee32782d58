#!/usr/bin/env bash
# vemo-convert --watch as a service runs it, without systemd: files dropped by rename, by a slow
# writer, as .part then renamed, and one that is no data file; the watch killed with SIGKILL in
# the middle of a large file, started again, more files dropped, then stopped with SIGTERM. Every
# data file must be converted exactly once, as a one-shot run converts it, with no temporary or
# partial file left and a report of valid JSON lines.
#
#   watch_check.sh VEMO_CONVERT AXEGEN
set -euo pipefail
convert=$1 axegen=$2
command -v python3 >/dev/null || { echo "watch_check: needs python3"; exit 77; }
dir=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
  rm -rf "$dir"
}
trap cleanup EXIT
cd "$dir"
mkdir in out

fail() { echo "watch_check: $*" >&2; for f in log*.txt; do sed "s/^/$f: /" "$f" >&2; done; exit 1; }
start_watch() { # LOG [OPTION...]
  "$convert" --watch --output-dir out --report report.jsonl --settle 2 --scan 1 -j 1 "${@:2}" in \
    2>"$1" &
  watch_pid=$!
  pids+=("$watch_pid")
}
entries() { grep -c '"input"' report.jsonl 2>/dev/null || true; }
wait_for_entries() { # N SECONDS
  local n=0
  while [ "$(entries)" -lt "$1" ]; do
    n=$((n + 1))
    [ $n -le $(($2 * 20)) ] || fail "waited $2 s for $1 report entries, have $(entries)"
    sleep 0.05
  done
}

start_watch log1.txt
# Moved in whole.
"$axegen" --size 200K --seed 1 -o in/.a.tmp && mv in/.a.tmp in/a.dat
# Written in pieces over two seconds through one open file: taken once it is closed.
"$axegen" --size 600K --seed 2 -o slow.src
(
  exec 3>in/slow.dat
  for part in 0 1 2; do
    dd if=slow.src bs=200K skip=$part count=1 status=none >&3
    sleep 0.7
  done
) &
# Uploaded under .part, then renamed.
"$axegen" --size 300K --seed 3 -o in/c.dat.part
sleep 0.3
mv in/c.dat.part in/c.dat
echo "not an AXE data file" >in/notes.txt
wait_for_entries 4 15

# Killed in the middle of a large file: no entry and no output for it, and converted again
# after the restart.
"$axegen" --size 160M --seed 4 -o in/.big.tmp
mv in/.big.tmp in/big.dat
n=0
until compgen -G "out/.big.csv.*" >/dev/null; do
  n=$((n + 1))
  [ $n -le 1000 ] || fail "the large file's conversion never started"
  [ "$(entries)" -lt 5 ] || { echo "watch_check: the large file was done before the kill"; break; }
  sleep 0.01
done
kill -9 "$watch_pid"
wait "$watch_pid" 2>/dev/null || true

# Restarted without checksums: the outputs' lengths are still reported.
start_watch log2.txt --no-checksums
"$axegen" --size 100K --seed 5 -o in/.d.tmp && mv in/.d.tmp in/d.dat
wait_for_entries 6 20
kill -TERM "$watch_pid"
status=0
wait "$watch_pid" || status=$?
[ $status -eq 0 ] || fail "the watch ended with status $status after SIGTERM"

for f in a slow c big d; do "$convert" -q -j 1 -o "$f.one.csv" "in/$f.dat"; done
python3 - <<'PY' || fail "the report or the outputs are wrong"
import collections, json, os
lines = open("report.jsonl", encoding="utf-8").read().split("\n")
assert lines[-1] == "", "the report does not end with a line end"
entries = [json.loads(l) for l in lines[:-1]]
inputs = [e for e in entries if "input" in e]
runs = [e for e in entries if "run" in e]
assert len(runs) == 1 and runs[0]["exit_status"] == 0, runs
count = collections.Counter((os.path.basename(e["path"]), e["status"]) for e in inputs)
want = {(f + ".dat", "converted"): 1 for f in ("a", "slow", "c", "big", "d")}
want[("notes.txt", "skipped")] = 1
assert count == want, count
for e in inputs:
    if e["status"] == "converted":
        name = os.path.basename(e["path"])[:-4]
        assert open(e["output"], "rb").read() == open(name + ".one.csv", "rb").read(), name
        assert e["output_bytes"] == os.path.getsize(e["output"]), e
leftovers = [n for d in ("in", "out") for n in os.listdir(d) if n.startswith(".")]
assert not leftovers, leftovers
PY
grep -q 'removed the unfinished output' log2.txt || echo "watch_check: no unfinished output was left to remove"
echo "watch_check: ok"
