#!/usr/bin/env python3
"""Converts the data files named in a list on a Dask cluster, a batch of files a task.

The list is cut into batches by the files' sizes (about --task-bytes of input each, default
1 GiB, and at least three batches per worker thread); each task runs one
`vemo-convert --output-dir OUT_DIR --report - --null --files-from -` on its batch, and what
became of each file is read from the report lines the task hands back.

The files and OUT_DIR must be on a file system every worker sees under the same path, and
vemo-convert installed on every worker (or --converter naming it). Without --scheduler a local
cluster of --workers threads is started (each only waits on its vemo-convert, so threads do);
in production pass the cluster's scheduler address. --option adds an option to every
vemo-convert (--option=--format=csv); each decodes on one thread (-j1) unless an option says
otherwise, and the report's checksums are left out.

Prints one line per file: its name, what became of it (converted, skipped, unreadable, stopped,
or failed: its batch did not convert it), and the records written or why not; then a total.
Every file that was not converted is also named on standard error, with the reason.
Exit status:
  0  every file converted
  1  a file was skipped: not a data file, or unreadable
  2  a usage error, or an output failure (the files it left unconverted are named)
  3  a batch did not finish: a cluster that could not be reached, a vemo-convert that is
     missing, a task killed (the files it left unconverted are named); the results of the
     batches that finished are kept

    dask_convert.py LIST OUT_DIR [--scheduler tcp://scheduler:8786 | --workers N]
"""

import argparse
import json
import os
import socket
import subprocess
import sys

ME = "dask_convert.py"


def convert_batch(names, out_dir, converter, options):
    """Runs on a worker: converts a batch with one vemo-convert. Returns its exit status (128 + N
    when signal N ended it, as a shell says), its report lines, its last message and the host."""
    # A worker thread stands for a processor, so vemo-convert decodes on one thread (-j1; the
    # options given may say otherwise).
    command = [converter, "--progress=never", "--no-checksums", "-j1", *options, "--output-dir",
               out_dir, "--report", "-", "--null", "--files-from", "-"]
    host = socket.gethostname()
    # A worker's nanny sets MALLOC_TRIM_THRESHOLD_=65536 for its Python; inherited, it makes
    # vemo-convert hand its buffers back to the system after every file, and run 2.5 times slower.
    env = {key: value for key, value in os.environ.items() if key != "MALLOC_TRIM_THRESHOLD_"}
    try:
        done = subprocess.run(command, input=b"".join(os.fsencode(n) + b"\0" for n in names),
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=env,
                              check=False)
    except OSError as error:
        return 127, [], f"cannot run {converter}: {error.strerror}", host
    lines = done.stderr.decode("utf-8", "surrogateescape").splitlines()
    # The last message says why it ended, but for the hint after a usage error.
    said = [line for line in lines if not line.startswith(("{", "Try 'vemo-convert --help'"))]
    status = done.returncode if done.returncode >= 0 else 128 - done.returncode
    return status, [line for line in lines if line.startswith("{")], said[-1] if said else "", host


def read_list(path):
    """The names in a list, one a line; empty lines and a CR ending a line dropped."""
    with open(path, "rb") as f:
        lines = f.read().split(b"\n")
    return [os.fsdecode(line.removesuffix(b"\r")) for line in lines if line.removesuffix(b"\r")]


def output_name(name):
    """The output name vemo-convert gives an input, without the format's extension."""
    base = name.rstrip("/") or name
    base = base.rsplit("/", 1)[-1]
    for suffix in (".gz", ".zst"):
        if len(base) > len(suffix) and base.endswith(suffix):
            base = base[:-len(suffix)]
    dot = base.rfind(".")
    return base[:dot] if dot > 0 else base


def batches(names, slots, most):
    """Cuts the names, in their order, into batches of about a third of each slot's share of the
    bytes, at most `most` bytes each (a file larger than that is a batch alone)."""
    sizes = []
    for name in names:
        try:
            sizes.append(os.stat(name).st_size)
        except OSError:
            sizes.append(0)
    target = min(most, sum(sizes) // (3 * max(slots, 1)))
    cut, batch, size = [], [], 0
    for name, n in zip(names, sizes):
        batch.append(name)
        size += n
        if size >= target:
            cut.append(batch)
            batch, size = [], 0
    if batch:
        cut.append(batch)
    return cut


def outcomes(batch, result, failure):
    """(name, status, detail, worst exit status) of each name of a batch, from what its task
    returned, or from why it failed."""
    if failure is not None:
        return [(name, "failed", failure, 3) for name in batch]
    status, lines, said, host = result
    entries, finished = [], None
    for line in lines:
        try:
            entry = json.loads(line)
        except ValueError:
            continue
        if "run" in entry:
            finished = entry.get("exit_status", 2)
        elif "input" in entry:
            entries.append(entry)
    # The process's end first: one killed after its run's last line is still killed.
    if status > 128 and status < 160:
        why, worst = f"its batch was killed (signal {status - 128}) on {host}", 3
    elif status == 127:
        why, worst = f"vemo-convert is missing on {host}: {said}", 3
    elif finished is not None:
        why, worst = f"its batch stopped: {said}", 2
    else:
        # A usage error (options given that vemo-convert refuses) ends it before its report.
        why = f"its batch ended with status {status} on {host}: {said}"
        worst = 2 if status == 2 else 3
    # The report's entries are in the order of the batch's names.
    out = []
    for i, name in enumerate(batch):
        if i >= len(entries):
            out.append((name, "failed", why, worst))
            continue
        entry = entries[i]
        state = entry.get("status", "failed")
        if state == "converted" and "output" not in entry:
            out.append((name, "failed", "its output was not completed", 2))
        elif state == "stopped" and finished == 2:
            # The run ended with an output failure inside this file.
            out.append((name, "failed", entry.get("reason", ""), 2))
        elif state in ("converted", "up-to-date"):
            out.append((name, state, f"{entry.get('records', 0)} records", 0))
        else:
            out.append((name, state, entry.get("reason", ""), 1))
    return out


def run(args):
    names = read_list(args.list)
    taken = {}
    for name in names:
        base = output_name(name)
        if base in taken:
            print(f"{ME}: {taken[base]} and {name} would both be written to {base}",
                  file=sys.stderr)
            return 2
        taken[base] = name

    # Imported here so that --help works without Dask.
    from dask.distributed import Client, LocalCluster

    client = cluster = None
    results = []
    try:
        if args.scheduler:
            client = Client(args.scheduler, timeout=args.timeout)
        else:
            cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=False,
                                   dashboard_address=None)
            client = Client(cluster)
        cut = batches(names, sum(client.nthreads().values()), args.task_bytes)
        futures = client.map(convert_batch, cut, out_dir=args.out_dir, converter=args.converter,
                             options=args.option, pure=False)
        for batch, future in zip(cut, futures):
            try:
                results.append((batch, future.result(), None))
            except Exception as error:  # a task lost with its worker, or one that raised
                results.append((batch, None, f"its task failed: {type(error).__name__}: {error}"))
    except (OSError, TimeoutError) as error:
        done = {name for batch, _, _ in results for name in batch}
        rest = [name for name in names if name not in done]
        results.append((rest, None, f"the cluster could not be reached: {error}"))
    finally:
        if client is not None:
            client.close()
        if cluster is not None:
            cluster.close()

    count = dict.fromkeys(("converted", "skipped", "unreadable", "failed"), 0)
    records = worst = 0
    for batch, result, failure in results:
        for name, state, detail, status in outcomes(batch, result, failure):
            print(f"{name}\t{state}\t{detail}")
            if state in ("converted", "up-to-date"):
                records += int(detail.split()[0])
                count["converted"] += 1
            else:
                count["skipped" if state == "stopped" else state] += 1
                print(f"{ME}: not converted: {name}: {detail}", file=sys.stderr)
            worst = max(worst, status)
    print(f"{len(names)} files: {count['converted']} converted, {count['skipped']} skipped, "
          f"{count['unreadable']} unreadable, {count['failed']} failed; {records} records")
    return worst


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("list", help="file naming the data files, one per line")
    parser.add_argument("out_dir", help="folder for the outputs, one per input")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--timeout", type=float, default=30,
                        help="seconds to wait for the scheduler (default 30)")
    parser.add_argument("--workers", type=int, default=2, help="local workers (default 2)")
    parser.add_argument("--converter", default="vemo-convert", help="vemo-convert to run")
    parser.add_argument("--task-bytes", type=int, default=1 << 30,
                        help="input bytes a batch aims at (default 1 GiB)")
    parser.add_argument("--option", action="append", default=[],
                        help="an option for every vemo-convert (repeat for more)")
    args = parser.parse_args()
    # Names are bytes on Linux: those that are no UTF-8 are printed back as they came.
    sys.stdout.reconfigure(errors="surrogateescape")
    sys.stderr.reconfigure(errors="surrogateescape")
    if not os.path.isdir(args.out_dir):
        print(f"{ME}: the output folder {args.out_dir} is not a folder", file=sys.stderr)
        return 2
    try:
        return run(args)
    except OSError as error:
        print(f"{ME}: {error.filename}: {error.strerror}", file=sys.stderr)
        return 2
    except KeyboardInterrupt:
        print(f"{ME}: interrupted", file=sys.stderr)
        return 130


if __name__ == "__main__":
    sys.exit(main())
