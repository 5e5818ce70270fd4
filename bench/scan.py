"""A scan of the largest shared lockfile against an index of every shared
record, beside the interpreter's own start-up with ``import quorlen.scan``.

The start-up is a whole process: ``python -c "import quorlen.scan"``, timed
from outside. The scan proper is timed inside its process, after the
scanner's modules are imported (their import time is shown apart): reading
the file, looking every package up, matching, fixes. Each run is a child
process of its own, so its peak memory (RSS) is its own; runs alternate and
the best round is kept. Goal: the scan proper costs no more than the start-up.

  python bench/scan.py [--rounds N] [--shared DIR] [--file LOCKFILE]

The shared data is looked for at ../shared beside the repository, or in the
folder $QUORLEN_SHARED (or --shared) names.
"""
import argparse
import json
import os
import pathlib
import resource
import subprocess
import sys
import tempfile
import time

SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED")
                      or pathlib.Path(__file__).resolve().parents[1].parent / "shared") / "data"


def sources():
    zips = sorted(str(p) for p in (SHARED / "osv").glob("*.zip"))
    folder = SHARED / "osv-pypi"
    return zips + ([str(folder)] if folder.is_dir() else [])


def largest_lockfile():
    from quorlen.scan import readers
    files = [p for p in (SHARED / "lockfiles").rglob("*") if p.is_file() and readers.reader_for(str(p))]
    return str(max(files, key=lambda p: p.stat().st_size))


def child_scan(db_path, lockfile):
    start = time.perf_counter()
    import quorlen.scan.scan  # noqa: F401  (the scanner's modules, imported before the clock starts)
    import quorlen.scan.readers  # noqa: F401
    from quorlen.scan.database import Database
    from quorlen.scan.scan import scan_paths
    imports = time.perf_counter() - start
    start = time.perf_counter()
    with Database(db_path, readonly=True) as db:
        result = scan_paths([lockfile], db=db)
    elapsed = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print(json.dumps({"seconds": elapsed, "imports": imports, "peak": peak, "packages": result.packages,
                      "findings": len(result.findings), "errors": len(result.errors)}))


def startup():
    start = time.perf_counter()
    subprocess.run([sys.executable, "-c", "import quorlen.scan"], check=True)
    elapsed = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
    return {"seconds": elapsed, "peak": peak}


def scan(db_path, lockfile):
    out = subprocess.run([sys.executable, __file__, "--child", db_path, lockfile], check=True,
                         capture_output=True, text=True)
    return json.loads(out.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--shared", help="the shared data's folder (default: ../shared)")
    parser.add_argument("--file", help="the lockfile to scan (default: the largest shared one a reader knows)")
    parser.add_argument("--child", nargs=2, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.child:
        child_scan(*args.child)
        return 0
    global SHARED
    if args.shared:
        SHARED = pathlib.Path(args.shared) / "data"
    if not (SHARED / "osv").is_dir():
        print(f"the shared OSV data is absent ({SHARED / 'osv'}); nothing to measure", file=sys.stderr)
        return 1
    from quorlen.scan.database import Database
    lockfile = args.file or largest_lockfile()
    with tempfile.TemporaryDirectory() as tmp:
        db_path = os.path.join(tmp, "osv.sqlite3")
        with Database(db_path) as db:
            db.import_sources(sources())
        best_start, best_scan = None, None
        # The start-up's peak comes from RUSAGE_CHILDREN, the largest of all
        # children so far: it is measured first, before any scan child.
        for _ in range(args.rounds):
            s = startup()
            best_start = s if best_start is None or s["seconds"] < best_start["seconds"] else best_start
        for _ in range(args.rounds):
            r = scan(db_path, lockfile)
            best_scan = r if best_scan is None or r["seconds"] < best_scan["seconds"] else best_scan
    mib = 1 << 20
    print(f"lockfile: {os.path.relpath(lockfile, SHARED)} ({os.path.getsize(lockfile) / 1024:.0f} KiB, "
          f"{best_scan['packages']} packages, {best_scan['findings']} findings, {best_scan['errors']} errors)")
    print(f"start-up, python -c 'import quorlen.scan': {best_start['seconds'] * 1000:.0f} ms, "
          f"peak RSS {best_start['peak'] / mib:.0f} MiB")
    print(f"scan proper: {best_scan['seconds'] * 1000:.0f} ms (the scanner's imports before it: "
          f"{best_scan['imports'] * 1000:.0f} ms), peak RSS of the scanning process {best_scan['peak'] / mib:.0f} MiB")
    ratio = best_scan["seconds"] / best_start["seconds"]
    print(f"scan / start-up: {ratio:.2f}x (goal: at most 1x) -> {'met' if ratio <= 1 else 'MISSED'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
