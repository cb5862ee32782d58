#!/usr/bin/env python3
"""The csv, tsv and jsonl outputs of vemo-convert, read back the way a loader reads them, against
the reference converter's columns, field by field.

    formats_check.py VEMO_CONVERT AXEGEN REFERENCE_ROWS

Inputs: axegen files of every profile, and files built here whose fields hold commas, quotes,
tabs, CR, LF, NUL, backslashes, spaces, bytes from 0x80 up and UTF-8 sequences. csv is read with
Python's csv module, tsv split at tabs and LFs with \\t \\r \\n \\\\ undone, jsonl with the json
module. Every row must carry its file and offset, every column must equal the reference's, and
the rows must be as many as the records. The outputs of -j 1, 2 and 4 must be the same bytes, and
--output-dir, standard input and --sample are checked on the same files.
"""

import csv
import io
import json
import os
import random
import subprocess
import sys
import tempfile

CONVERT, AXEGEN, REFERENCE_ROWS = sys.argv[1:4]
BLOCK = 2048
COLUMNS = ["date", "time", "number1", "number2", "elapsed_seconds", "counter", "text1", "text2"]
KNOWN = [97, 105, 108, 109, 112, 113, 116, 119]

failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message, file=sys.stderr)


# Bytes that mean something to one format or another, among ordinary ones.
ALPHABET = [b",", b'"', b"\t", b"\r", b"\n", b"\0", b" ", b" ", b"\\", b"A", b"F", b"\x80",
            b"\xe9", b"\xff", "é".encode(), "€".encode(), b"\x7f", b"\x1b", b"-", b"."] + \
           [bytes([c]) for c in b"0123456789" * 3]


def hostile_file(rng, blocks):
    data = bytearray()
    for _ in range(blocks):
        block = bytearray()
        while True:
            room = BLOCK - len(block)
            if room < 97:
                # A record cut short by the block end, or the end of the block's records.
                block += (b"119" if rng.random() < 0.6 else b"000")[:room]
                break
            length = rng.choice(KNOWN) if block == b"" or rng.random() < 0.9 else rng.choice(
                [100, 98, 120])
            body = bytearray()
            while len(body) < length - 3:
                body += rng.choice(ALPHABET) if rng.random() < 0.5 else b" "
            block += b"%03d" % length + body[:length - 3]
        block += bytes(rng.randrange(256) for _ in range(BLOCK - len(block)))
        data += block[:BLOCK]
    return bytes(data)


def make_inputs(folder):
    rng = random.Random(20240611)
    paths = []
    for profile, size, seeds in [("realistic", "300K", 2), ("edge", "300K", 3), ("random", "200K", 2),
                                 ("invalid", "64K", 1), ("skips", "64K", 1)]:
        for seed in range(1, seeds + 1):
            path = os.path.join(folder, f"{profile}-{seed}.dat")
            subprocess.run([AXEGEN, "--profile", profile, "--seed", str(seed), "--size", size,
                            "-o", path], check=True)
            paths.append(path)
    for i, blocks in enumerate([8, 30]):
        path = os.path.join(folder, f"hostile,\"{i}\".dat")  # a name csv must quote
        with open(path, "wb") as f:
            f.write(hostile_file(rng, blocks))
        paths.append(path)
    # Large enough to be decoded in parallel chunks with -j 2 (four chunks of 1 MiB and more).
    path = os.path.join(folder, "large.dat")
    subprocess.run([AXEGEN, "--profile", "edge", "--seed", "9", "--size", "5M", "-o", path],
                   check=True)
    paths.append(path)
    return paths


def reference(paths):
    """Per file index: a list of (offset, columns as bytes or None)."""
    out = subprocess.run([REFERENCE_ROWS] + paths, check=True, stdout=subprocess.PIPE).stdout
    rows = {i: [] for i in range(len(paths))}
    for line in out.decode("ascii").splitlines():
        parts = line.split(" ")
        columns = None if parts[2] == "1" else [bytes.fromhex(h) for h in parts[3].split(",")]
        rows[int(parts[0])].append((int(parts[1]), columns))
    return rows


def convert(args, stdin=None):
    return subprocess.run([CONVERT, "-q"] + args, stdin=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE)


# ---- reading the formats back; each gives a list of rows, a row a list of byte strings


def read_csv(data):
    text = data.decode("latin-1")  # one character per byte, so that nothing is lost
    return [[field.encode("latin-1") for field in row]
            for row in csv.reader(io.StringIO(text, newline=""), strict=True)]


def tsv_unescape(field):
    out, i = bytearray(), 0
    while i < len(field):
        if field[i:i + 1] == b"\\" and i + 1 < len(field):
            out += {b"t": b"\t", b"r": b"\r", b"n": b"\n", b"\\": b"\\"}[field[i + 1:i + 2]]
            i += 2
        else:
            out += field[i:i + 1]
            i += 1
    return bytes(out)


def read_tsv(data):
    if data and not data.endswith(b"\n"):
        fail("tsv output does not end with LF")
    return [[tsv_unescape(f) for f in line.split(b"\t")] for line in data.split(b"\n")[:-1]]


def json_text(raw):
    """What a JSON string of these bytes must hold: UTF-8 when it is, Latin-1 when not."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("latin-1")


def check_jsonl(data, expected, names, label):
    lines = data.split(b"\n")
    if lines[-1] != b"":
        fail(f"{label}: does not end with LF")
    lines = lines[:-1]
    if len(lines) != len(expected):
        fail(f"{label}: {len(lines)} rows, {len(expected)} records")
        return
    for n, (line, (index, offset, columns)) in enumerate(zip(lines, expected)):
        # Numbers kept as their digits, to compare them with the legacy line's.
        row = json.loads(line.decode("utf-8"), parse_int=str, parse_float=str)
        want = {"file": names[index], "offset": str(offset)}
        for i, name in enumerate(COLUMNS):
            if columns is None:
                want[name] = None if name in ("elapsed_seconds", "counter") else ""
            elif name in ("elapsed_seconds", "counter"):
                want[name] = columns[i].decode("ascii")
            else:
                want[name] = json_text(columns[i])
        want["skipped"] = columns is None
        if row != want or list(row) != list(want):
            fail(f"{label} row {n + 1}: {row!r}, expected {want!r}")
            return


def check_rows(rows, expected, names, label, header=True):
    head = ["file", "offset"] + COLUMNS + ["skipped"]
    if header:
        if not rows or [c.decode() for c in rows[0]] != head:
            fail(f"{label}: header {rows[:1]!r}")
            return
        rows = rows[1:]
    if len(rows) != len(expected):
        fail(f"{label}: {len(rows)} rows, {len(expected)} records")
        return
    for n, (row, (index, offset, columns)) in enumerate(zip(rows, expected)):
        want = [names[index].encode(), str(offset).encode()] + \
               (columns if columns is not None else [b""] * 8) + [b"1" if columns is None else b"0"]
        if row != want:
            fail(f"{label} row {n + 1}: {row!r}, expected {want!r}")
            return


def check(fmt, data, expected, names, label, header=True):
    if fmt == "csv":
        check_rows(read_csv(data), expected, names, label, header)
    elif fmt == "tsv":
        check_rows(read_tsv(data), expected, names, label, header)
    else:
        check_jsonl(data, expected, names, label)


def main():
    with tempfile.TemporaryDirectory(prefix="vemo-formats-") as folder:
        os.chdir(folder)
        paths = [os.path.basename(p) for p in make_inputs(folder)]
        rows = reference(paths)
        expected = [(i, off, cols) for i in range(len(paths)) for off, cols in rows[i]]
        records = len(expected)
        provenance = ["--with-filename", "--with-offset"]
        for fmt in ("csv", "tsv", "jsonl"):
            outputs = {}
            for jobs in ("1", "2", "4"):
                run = convert([f"--format={fmt}", "-j", jobs] + provenance + ["-o", "-"] + paths)
                outputs[jobs] = run.stdout
            for jobs in ("2", "4"):
                if outputs[jobs] != outputs["1"]:
                    fail(f"{fmt}: -j {jobs} differs from -j 1")
            check(fmt, outputs["1"], expected, paths, f"{fmt} -j 1")
            # The summary's record count is the row count.
            run = subprocess.run([CONVERT, f"--format={fmt}", "-o", os.devnull] + paths,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            if f"{records} Records Written".encode() not in run.stderr:
                fail(f"{fmt}: summary {run.stderr[-200:]!r}, expected {records} records")

            # Standard input: the file column is "-".
            hostile = next(p for p in paths if p.startswith("hostile"))
            index = paths.index(hostile)
            with open(hostile, "rb") as f:
                run = convert([f"--format={fmt}"] + provenance + ["-o", "-", "-"], stdin=f)
            check(fmt, run.stdout, [(0, off, cols) for off, cols in rows[index]], ["-"],
                  f"{fmt} from standard input")

            # One output per input, named with the format's extension, each with its header.
            os.mkdir(f"out-{fmt}")
            convert([f"--format={fmt}", "--output-dir", f"out-{fmt}"] + provenance + paths)
            for i, path in enumerate(paths):
                name = os.path.join(f"out-{fmt}", os.path.splitext(path)[0] + "." + fmt)
                if not rows[i]:
                    continue  # rejected: no output
                with open(name, "rb") as f:
                    check(fmt, f.read(), [(0, off, cols) for off, cols in rows[i]], [path],
                          f"{fmt} --output-dir {name}")

            # A trial run: the header and the first 50 records.
            run = convert([f"--format={fmt}", "--sample", "-o", "-"] + provenance + paths)
            check(fmt, run.stdout, expected[:50], paths, f"{fmt} --sample")

        run = convert(["--format=csv", "--no-header", "-o", "-"] + provenance + paths)
        check("csv", run.stdout, expected, paths, "csv --no-header", header=False)
        print(f"{records} records in {len(paths)} files, {len(failures)} failures")
    return 1 if failures else 0


sys.exit(main())
