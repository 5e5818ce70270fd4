"""Building the advisory index against reading the same records with json.loads.

The floor is what any index must do at the least: read every record of the
shared zips (and the PyPI folder) and parse it with json.loads. The build
reads, checks and stores the same records into a fresh SQLite index. Each
run goes in a child process of its own, so that its peak memory (RSS) is its
own; runs alternate and the best of the rounds is kept. Times are the
process's CPU time (wall time beside it), which a busy machine disturbs
less. Goal: the build takes at most twice the floor's time.

  python bench/scan_index.py [--rounds N] [--shared DIR]

The shared data is looked for at ../shared beside the repository, or in
the folder $QUORLEN_SHARED (or --shared) names.
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
import zipfile

GOAL = 2.0
SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED")
                      or pathlib.Path(__file__).resolve().parents[1].parent / "shared") / "data"


def sources():
    zips = sorted(str(p) for p in (SHARED / "osv").glob("*.zip"))
    folder = SHARED / "osv-pypi"
    return zips + ([str(folder)] if folder.is_dir() else [])


def floor(paths):
    count = 0
    for path in paths:
        if path.endswith(".zip"):
            with zipfile.ZipFile(path) as archive:
                for info in archive.infolist():
                    if info.filename.endswith(".json"):
                        json.loads(archive.read(info))
                        count += 1
        else:
            for parent, _dirs, names in os.walk(path):
                for name in names:
                    if name.endswith(".json"):
                        with open(os.path.join(parent, name), "rb") as f:
                            json.loads(f.read())
                        count += 1
    return count


def build(paths):
    from quorlen.scan.database import Database

    with tempfile.TemporaryDirectory() as tmp:
        with Database(os.path.join(tmp, "osv.sqlite3")) as db:
            report = db.import_sources(paths)
            size = os.path.getsize(db.path)
    return report.records, size


def child(mode):
    paths = sources()
    start, cpu = time.perf_counter(), time.process_time()
    if mode == "floor":
        count, size = floor(paths), 0
    else:
        count, size = build(paths)
    elapsed, cpu = time.perf_counter() - start, time.process_time() - cpu
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    print(json.dumps({"seconds": elapsed, "cpu": cpu, "records": count, "peak": peak, "size": size}))


def run(mode):
    out = subprocess.run([sys.executable, __file__, "--child", mode], check=True, capture_output=True, text=True)
    return json.loads(out.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--shared", help="the shared data's folder (default: ../shared)")
    parser.add_argument("--child", choices=["floor", "build"], help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.shared:
        # Children find it the same way.
        os.environ["QUORLEN_SHARED"] = args.shared
        global SHARED
        SHARED = pathlib.Path(args.shared) / "data"
    if args.child:
        child(args.child)
        return 0
    if not (SHARED / "osv").is_dir():
        print(f"the shared OSV data is absent ({SHARED / 'osv'}); nothing to measure", file=sys.stderr)
        return 1
    best = {}
    for _ in range(args.rounds):
        for mode in ("floor", "build"):
            result = run(mode)
            if mode not in best or result["cpu"] < best[mode]["cpu"]:
                best[mode] = result
    f, b = best["floor"], best["build"]
    mib = 1 << 20
    print(f"records: {b['records']} (json.loads read {f['records']})")
    print(f"json.loads floor: {f['cpu']:.2f} s CPU ({f['seconds']:.2f} s wall), peak RSS {f['peak'] / mib:.0f} MiB")
    print(f"index build:      {b['cpu']:.2f} s CPU ({b['seconds']:.2f} s wall), peak RSS {b['peak'] / mib:.0f} MiB, "
          f"index {b['size'] / mib:.1f} MiB")
    ratio = b["cpu"] / f["cpu"]
    print(f"build / floor: {ratio:.2f}x (goal: at most {GOAL:.0f}x) -> {'met' if ratio <= GOAL else 'MISSED'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
