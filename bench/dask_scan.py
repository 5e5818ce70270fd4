"""Throughput of a scan on a local Dask cluster of one and of two worker
processes: 1,000 inputs (the shared lockfiles, repeated under other folder
names) against an index of every shared record.

Each cluster is started and warmed (modules imported, the index opened) by a
small scan before the clock starts; the timed scan's report must equal the
one-process scan's. Goal: two workers give at least 1.6 times the throughput
of one (on a machine with two free cores).

  python bench/dask_scan.py [--inputs N] [--db INDEX] [--shared DIR]
"""
import argparse
import os
import pathlib
import sys
import tempfile
import time

SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED")
                      or pathlib.Path(__file__).resolve().parents[1].parent / "shared") / "data"


def build_index(folder):
    from quorlen.scan.database import Database
    path = os.path.join(folder, "osv.sqlite3")
    sources = sorted(str(p) for p in (SHARED / "osv").glob("*.zip")) + [str(SHARED / "osv-pypi")]
    with Database(path) as db:
        db.import_sources(sources)
    return path


def inputs(folder, count):
    """``count`` input paths: links to the shared lockfiles, round after round."""
    from quorlen.scan import readers
    files = sorted(readers.find_inputs(str(SHARED / "lockfiles")))
    paths = []
    for i in range(count):
        source = files[i % len(files)]
        where = pathlib.Path(folder) / f"round{i // len(files)}" / f"{i % len(files)}"
        where.mkdir(parents=True, exist_ok=True)
        link = where / os.path.basename(source)
        if not link.exists():
            link.symlink_to(source)
        paths.append(str(link))
    return paths


def timed_local(db_path, paths):
    from quorlen.scan.database import Database
    from quorlen.scan.scan import scan_paths
    with Database(db_path, readonly=True) as db:
        start = time.perf_counter()
        result = scan_paths(paths, db=db)
        return time.perf_counter() - start, result


def timed_cluster(workers, db_path, paths):
    from quorlen.dask import connect, scan_paths
    with connect(workers=workers) as client:
        client.wait_for_workers(workers)
        scan_paths(paths[:workers * 8], db=db_path, client=client)
        start = time.perf_counter()
        result = scan_paths(paths, db=db_path, client=client)
        return time.perf_counter() - start, result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--inputs", type=int, default=1000)
    parser.add_argument("--db", help="an index to use instead of building one from the shared records")
    parser.add_argument("--shared", help="the folder that holds data/ (default: ../shared)")
    args = parser.parse_args()
    global SHARED
    if args.shared:
        SHARED = pathlib.Path(args.shared) / "data"
    if not SHARED.is_dir():
        sys.exit(f"the shared data is not at {SHARED}; name it with --shared or QUORLEN_SHARED")
    from quorlen.scan import formats
    with tempfile.TemporaryDirectory() as folder:
        db_path = args.db or build_index(folder)
        paths = inputs(folder, args.inputs)
        seconds, want = timed_local(db_path, paths)
        print(f"{len(paths)} inputs, {want.packages} packages, {len(want.findings)} findings")
        print(f"one process, no cluster: {seconds:7.2f} s  {len(paths) / seconds:7.1f} inputs/s")
        rates = {}
        for workers in (1, 2):
            seconds, got = timed_cluster(workers, db_path, paths)
            if formats.render(got, "json") != formats.render(want, "json"):
                sys.exit(f"the scan on {workers} worker(s) differs from the one-process scan")
            rates[workers] = len(paths) / seconds
            print(f"{workers} worker{'s' if workers > 1 else ' '}:                {seconds:7.2f} s  "
                  f"{rates[workers]:7.1f} inputs/s")
        ratio = rates[2] / rates[1]
        print(f"two workers / one: {ratio:.2f}x (goal: at least 1.6x)")


if __name__ == "__main__":
    main()
