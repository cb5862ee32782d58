#!/usr/bin/env bash
# vemo-convert --report and --update, checked against a plain run of the same files, sha256sum,
# and the record framing worked out here from the bytes; for -j 1 and -j 2, one output per input
# and one output for all.
#
#   report_check.sh VEMO_CONVERT AXEGEN
set -euo pipefail
convert=$1 axegen=$2
command -v python3 >/dev/null || { echo "report_check: needs python3"; exit 77; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

"$axegen" --size 300K --seed 1 -o small.dat
"$axegen" --size 6M --seed 2 -o large.dat # decoded in chunks at -j 2
"$axegen" --profile skips --size 64K -o skips.dat
"$axegen" --profile invalid --seed 4 -o text.dat
inputs=(small.dat large.dat skips.dat text.dat)
for f in small large skips; do "$convert" -q -j 1 -o "plain-$f.csv" "$f.dat"; done

# Every line of a report is JSON; each input's entry holds what the files say.
check() { # REPORT MODE(dir|one) JOBS
  python3 - "$@" <<'PY'
import hashlib, json, os, re, sys, time
report, mode, jobs = sys.argv[1:]
lines = open(report, encoding="utf-8").read().splitlines()
entries = [json.loads(l) for l in lines]
*inputs, run = entries
assert run["run"] == "vemo-convert" and run["exit_status"] == 1, run
assert run["options"]["jobs"] == int(jobs), run
def sha(path): return hashlib.sha256(open(path, "rb").read()).hexdigest()
def framing(data):  # (cut, skipped) from the length prefixes, block by block
    cut = skipped = 0
    for b in range(0, len(data), 2048):
        block = data[b:b + 2048].ljust(2048, b"\0")
        k = 0
        while k < 2047:
            m = re.match(rb" *(\d*)", block[k:k + 3])
            length = int(m.group(1)) if m.group(1) else 0
            if length < 1: break
            room = 2048 - k
            cut += length > room
            skipped += length not in (97, 105, 108, 109, 112, 113, 116, 119)
            k += min(length, room)
    return cut, skipped
call = re.compile(rb"^(\d{4}-\d\d-\d\d),(\d\d:\d\d:\d\d),", re.M)
by_name = {e["input"]: e for e in inputs}
assert sorted(by_name) == ["large.dat", "skips.dat", "small.dat", "text.dat"], by_name
assert by_name["text.dat"]["status"] == "skipped" and by_name["text.dat"]["reason"]
for name in ("small", "large", "skips"):
    e = by_name[name + ".dat"]
    plain = open("plain-%s.csv" % name, "rb").read()
    data = open(name + ".dat", "rb").read()
    calls = sorted(b" ".join(m) for m in call.findall(plain))
    st = os.stat(name + ".dat")
    want = {
        "status": "converted", "path": os.path.abspath(name + ".dat"), "size": st.st_size,
        "records": plain.count(b"\r\n"), "input_sha256": sha(name + ".dat"),
        "first_call": calls[0].decode() if calls else None,
        "last_call": calls[-1].decode() if calls else None,
    }
    want["cut_records"], want["skipped_records"] = framing(data)
    got = {k: e.get(k) for k in want}
    assert got == want, (name, got, want)
    assert e["mtime"] == time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(st.st_mtime_ns // 10**9)) + ".%09dZ" % (st.st_mtime_ns % 10**9), e
    if mode == "dir":
        assert e["output"] == "out/%s.csv" % name and open(e["output"], "rb").read() == plain, e
        assert e["output_sha256"] == sha(e["output"]) and e["output_bytes"] == len(plain), e
if mode == "one":
    assert run["output_sha256"] == sha("all.csv") and run["output_bytes"] == os.path.getsize("all.csv")
assert run["records"] == sum(e["records"] for e in inputs) and run["converted"] == 3
PY
}

for jobs in 1 2; do
  rm -rf out ./*.jsonl all.csv && mkdir out
  "$convert" -q -j "$jobs" --report dir.jsonl --output-dir out "${inputs[@]}" || [ $? -eq 1 ]
  check dir.jsonl dir "$jobs"
  "$convert" -q -j "$jobs" --report one.jsonl -o all.csv "${inputs[@]}" || [ $? -eq 1 ]
  check one.jsonl one "$jobs"
  # "--report -" puts the lines on standard error in place of the summary.
  "$convert" -j "$jobs" --report - -o all.csv "${inputs[@]}" 2>stderr.jsonl || [ $? -eq 1 ]
  grep -v '^vemo-convert: The Input File' stderr.jsonl >one.jsonl
  check one.jsonl one "$jobs"
done

# Without checksums the report has none.
"$convert" -q --no-checksums --report plain.jsonl --output-dir out small.dat
! grep -q sha256 plain.jsonl

# output_bytes is the length of the output file as written, with or without checksums, on every
# road; an input whose output cannot be written (a full disk: the output is /dev/full) is
# "stopped", never "converted", and the run's line says so with status 2.
# road | jobs | checksums | compression | the input whose output is /dev/full
while IFS='|' read -r road jobs sums kind full; do
  rm -rf out bytes.jsonl all.csv && mkdir out
  ext=$(case $kind in gzip) echo .gz ;; zstd) echo .zst ;; esac)
  target=(--output-dir out) && [ "$road" = dir ] || target=(-o all.csv)
  [ "$full" = - ] || ln -s /dev/full "out/$full.csv$ext"
  status=0
  "$convert" -q -j "$jobs" $sums --compress "$kind" --report bytes.jsonl "${target[@]}" \
    small.dat large.dat 2>/dev/null || status=$?
  python3 - "$status" "$road" "$full" <<'PY'
import json, os, sys
status, road, full = int(sys.argv[1]), sys.argv[2], sys.argv[3]
*inputs, run = [json.loads(l) for l in open("bytes.jsonl")]
if full == "-":
    assert status == 0 and run["exit_status"] == 0 and run["converted"] == 2, run
    outputs = inputs if road == "dir" else [dict(run, output="all.csv")]
    for e in outputs:
        assert e["output_bytes"] == os.path.getsize(e["output"]), e
else:
    [e] = inputs
    assert e["status"] == "stopped" and "output" not in e, e
    assert e["reason"] == "Could not write the output file: No space left on device", e
    assert status == 2 and run["exit_status"] == 2, run
    assert run["converted"] == 0 and run["stopped"] == 1, run
PY
done <<'CASES'
dir|1||none|-
dir|2|--no-checksums|none|-
dir|2|--no-checksums|gzip|-
one|1|--no-checksums|zstd|-
one|2|--no-checksums|none|-
dir|1|--no-checksums|none|small
dir|2||zstd|small
CASES

# --update: an unchanged input is left alone, a touched one converted again, a replaced one
# converted from its new bytes; one whose output was moved away stays done by the report.
statuses() { python3 -c 'import json,sys; print(" ".join(json.loads(l).get("status","run") for l in open(sys.argv[1]).read().splitlines()[-4:]))' "$1"; }
rm -rf out u.jsonl && mkdir out
"$convert" -q --report u.jsonl --output-dir out small.dat large.dat skips.dat
"$convert" -q --update --report u.jsonl --output-dir out small.dat large.dat skips.dat
[ "$(statuses u.jsonl)" = "up-to-date up-to-date up-to-date run" ]
sleep 0.01
touch small.dat
"$axegen" --size 6M --seed 3 -o new.dat && mv new.dat large.dat
mv out/skips.csv loaded.csv
"$convert" -q --update --report u.jsonl --output-dir out small.dat large.dat skips.dat
[ "$(statuses u.jsonl)" = "converted converted up-to-date run" ]
"$convert" -q -o plain-new.csv large.dat
cmp out/large.csv plain-new.csv
[ ! -e out/skips.csv ]
echo "report_check: ok"
