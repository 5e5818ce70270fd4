"""An index of osv.dev's size: 500,000 records built, then scanned against.

The shared records (zips and the PyPI folder) are copied under new ids and
package names until there are --records of them, written as all.zip
archives of --per-zip records each (osv.dev's layout: one archive per
ecosystem). The first copy keeps the real names, so a scan finds the real
advisories among the copies. Each measurement runs in a child process of
its own, so that its peak memory (ru_maxrss) is its own:

  floor  read every member of the archives and json.loads it
  build  quorlen db build of the archives into a fresh index
  scan   quorlen scan of the largest shared lockfile against the index

Goals: build CPU at most twice the floor's, build peak memory under 300
MiB, scan under 1 s. Times are CPU seconds (wall beside them).

  python bench/index_load.py [--records N] [--per-zip N] [--keep DIR]
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

BUILD_GOAL = 2.0
MEMORY_GOAL = 300 << 20
SCAN_GOAL = 1.0
ROOT = pathlib.Path(__file__).resolve().parents[1]
SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED") or ROOT.parent / "shared") / "data"


def shared_records():
    found = []
    for path in sorted((SHARED / "osv").glob("*.zip")):
        with zipfile.ZipFile(path) as z:
            found.extend(json.loads(z.read(i)) for i in z.infolist() if i.filename.endswith(".json"))
    for path in sorted((SHARED / "osv-pypi").rglob("*.json")):
        found.append(json.loads(path.read_bytes()))
    return found


def copy(record, k):
    if k == 0:
        return record
    new = dict(record, id=f"{record['id']}-L{k}")
    new["affected"] = [dict(a, package=dict(a["package"], name=f"{a['package']['name']}-l{k}"))
                       if isinstance(a.get("package"), dict) and "name" in a["package"] else a
                       for a in record.get("affected", [])]
    return new


def make_archives(folder, count, per_zip):
    originals = shared_records()
    paths, written = [], 0
    while written < count:
        path = folder / f"part{len(paths):03}" / "all.zip"
        path.parent.mkdir()
        with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=1) as z:
            for n in range(written, min(count, written + per_zip)):
                record = copy(originals[n % len(originals)], n // len(originals))
                z.writestr(f"{record['id']}.json", json.dumps(record))
        written = min(count, written + per_zip)
        paths.append(str(path))
    return paths


def largest_lockfile():
    files = [p for p in (SHARED / "lockfiles").rglob("*") if p.is_file() and p.name != "README.md"]
    return max(files, key=lambda p: p.stat().st_size)


def floor(paths):
    count = 0
    for path in paths:
        with zipfile.ZipFile(path) as z:
            for info in z.infolist():
                json.loads(z.read(info))
                count += 1
    return count


def child(mode, args):
    start, cpu = time.perf_counter(), time.process_time()
    result = {}
    if mode == "make":
        result["paths"] = make_archives(pathlib.Path(args[0]), int(args[1]), int(args[2]))
    elif mode == "floor":
        result["records"] = floor(args)
    elif mode == "build":
        from quorlen.scan.database import Database
        with Database(args[0]) as db:
            result["records"] = db.import_sources(args[1:]).records
    else:
        from quorlen import cli
        with open(os.devnull, "w") as sys.stdout:
            result["status"] = cli.main(["scan", *args])
    result["seconds"], result["cpu"] = time.perf_counter() - start, time.process_time() - cpu
    result["peak"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
    sys.__stdout__.write(json.dumps(result) + "\n")


def run(mode, args):
    start = time.perf_counter()
    out = subprocess.run([sys.executable, __file__, "--child", mode, *args], check=True, capture_output=True,
                         text=True)
    result = json.loads(out.stdout.splitlines()[-1])
    result["process"] = time.perf_counter() - start  # with the interpreter's start and imports
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--records", type=int, default=500_000)
    parser.add_argument("--per-zip", type=int, default=25_000)
    parser.add_argument("--keep", metavar="DIR", help="make the archives and index in DIR and keep them")
    parser.add_argument("--child", help=argparse.SUPPRESS)
    args, rest = parser.parse_known_args()
    if args.child:
        child(args.child, rest)
        return 0
    if not (SHARED / "osv").is_dir():
        print(f"the shared OSV data is absent ({SHARED / 'osv'}); nothing to measure", file=sys.stderr)
        return 1
    with tempfile.TemporaryDirectory() as tmp:
        folder = pathlib.Path(args.keep or tmp)
        folder.mkdir(exist_ok=True)
        # Made in a child too: a child's ru_maxrss starts from its parent's
        # size when it was started, which must stay small.
        made = run("make", [str(folder), str(args.records), str(args.per_zip)])
        paths = made["paths"]
        print(f"{args.records} records in {len(paths)} archives made in {made['process']:.0f} s", flush=True)
        index = str(folder / "osv.sqlite3")
        f = run("floor", paths)
        b = run("build", [index, *paths])
        lockfile = largest_lockfile()
        scans = [run("scan", [str(lockfile), "--db", index, "--format", "json"]) for _ in range(3)]
        s = min(scans, key=lambda r: r["process"])
        size = os.path.getsize(index)
    mib = 1 << 20
    ratio = b["cpu"] / f["cpu"]
    print(f"json.loads floor: {f['cpu']:.1f} s CPU ({f['seconds']:.1f} s wall) for {f['records']} records")
    print(f"index build:      {b['cpu']:.1f} s CPU ({b['seconds']:.1f} s wall), peak RSS {b['peak'] / mib:.0f} MiB, "
          f"index {size / mib:.0f} MiB")
    print(f"build / floor:    {ratio:.2f}x (goal at most {BUILD_GOAL:.0f}x) -> {'met' if ratio <= BUILD_GOAL else 'MISSED'}")
    print(f"peak memory:      {'met' if b['peak'] < MEMORY_GOAL else 'MISSED'} (goal under {MEMORY_GOAL // mib} MiB)")
    print(f"scan of {lockfile.name} ({lockfile.stat().st_size // 1024} KiB): {s['process']:.2f} s for the "
          f"whole command, {s['seconds']:.2f} s of it scanning ({s['cpu']:.2f} s CPU), peak RSS "
          f"{s['peak'] / mib:.0f} MiB, exit {s['status']} -> {'met' if s['process'] < SCAN_GOAL else 'MISSED'} "
          f"(goal under {SCAN_GOAL:.0f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
