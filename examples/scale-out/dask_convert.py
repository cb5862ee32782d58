#!/usr/bin/env python3
"""Converts the data files named in a list on a Dask cluster: one
`vemo-convert --output-dir OUT_DIR FILE` per file, mapped over the cluster's workers, with the
exit statuses and summaries gathered.

The files and OUT_DIR must be on a file system every worker sees under the same path, and
vemo-convert installed on every worker (or --converter naming it). Without --scheduler a local
cluster of --workers processes is started, which is how the test runs it; in production pass the
cluster's scheduler address.

Prints one line per file (name, exit status, what vemo-convert said) and a total; exits with the
highest status of any file (0 all converted, 1 a file skipped, 2 an output failure).

    dask_convert.py LIST OUT_DIR [--scheduler tcp://scheduler:8786 | --workers N]
"""

import argparse
import re
import subprocess
import sys


def convert(path, out_dir, converter):
    """Runs on a worker: converts one file, returns (path, status, messages)."""
    done = subprocess.run(
        [converter, "--progress=never", "--output-dir", out_dir, "--", path],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE,
        check=False,
    )
    messages = done.stderr.decode("utf-8", "backslashreplace").strip().replace("\n", " ")
    # A converter ended by a signal reports 128 + its number, as a shell would.
    status = done.returncode if done.returncode >= 0 else 128 - done.returncode
    return path, status, messages


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("list", help="file naming the data files, one per line")
    parser.add_argument("out_dir", help="folder for the outputs, one per input")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler")
    parser.add_argument("--workers", type=int, default=2, help="local workers (default 2)")
    parser.add_argument("--converter", default="vemo-convert", help="vemo-convert to run")
    args = parser.parse_args()

    with open(args.list, "rb") as f:
        names = [line.decode("utf-8", "surrogateescape") for line in f.read().split(b"\n") if line]

    # Imported here so that --help works without Dask.
    from dask.distributed import Client, LocalCluster

    if args.scheduler:
        client = Client(args.scheduler)
        cluster = None
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1,
                               dashboard_address=None, processes=True)
        client = Client(cluster)
    try:
        futures = client.map(convert, names, out_dir=args.out_dir, converter=args.converter,
                             pure=False)
        results = client.gather(futures)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    counts = {0: 0, 1: 0, 2: 0}
    records = 0
    for path, status, messages in results:
        print(f"{path}\t{status}\t{messages}")
        counts[min(status, 2)] = counts.get(min(status, 2), 0) + 1
        found = re.search(r"(\d+) Records Written", messages)
        if found:
            records += int(found.group(1))
    print(f"{len(results)} files: {counts[0]} converted, {counts[1]} with a skipped input, "
          f"{counts[2]} failed; {records} records")
    return max((status for _, status, _ in results), default=0)


if __name__ == "__main__":
    sys.exit(main())
