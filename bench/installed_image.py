"""An image of 1,000 Python packages over 5 layers against the same packages
as one lockfile: both scanned against the shared PyPI records. The image is
an OCI layout with gzip layers; each package is a real ``.dist-info``
folder (METADATA, RECORD and a module file), so the layers are read as an
engine writes them. Goal: the image scans within twice the lockfile's time.

  python bench/installed_image.py [--rounds N] [--packages N] [--layers N] [--shared DIR]
"""
import argparse
import gzip
import hashlib
import io
import json
import os
import pathlib
import sys
import tarfile
import tempfile
import time

SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED")
                      or pathlib.Path(__file__).resolve().parents[1].parent / "shared") / "data"
GOAL = 2.0


def names(count):
    """Package names that have advisories (so each is looked up and matched), repeated as needed."""
    folder = SHARED / "osv-pypi"
    found = sorted(p.name for p in folder.iterdir() if p.is_dir()) if folder.is_dir() else []
    found = found or [f"package{i}" for i in range(count)]
    return [found[i % len(found)] if i < len(found) else f"{found[i % len(found)]}-copy{i}" for i in range(count)]


def layer(packages):
    buffer = io.BytesIO()
    with tarfile.open(fileobj=buffer, mode="w") as tar:
        for name, version in packages:
            folder = f"usr/lib/python3/dist-packages/{name}-{version}.dist-info"
            files = {f"{folder}/METADATA": f"Metadata-Version: 2.1\nName: {name}\nVersion: {version}\n\nText\n",
                     f"{folder}/RECORD": f"{name}/__init__.py,,\n",
                     f"usr/lib/python3/dist-packages/{name}/__init__.py": "VALUE = 1\n" * 50}
            for path, text in files.items():
                data = text.encode()
                info = tarfile.TarInfo(path)
                info.size = len(data)
                tar.addfile(info, io.BytesIO(data))
    return buffer.getvalue()


def write_image(folder, packages, layers):
    per = -(-len(packages) // layers)
    tars = [layer(packages[i:i + per]) for i in range(0, len(packages), per)]
    blobs = [gzip.compress(t, 6, mtime=0) for t in tars]
    digest = lambda b: "sha256:" + hashlib.sha256(b).hexdigest()  # noqa: E731
    config = json.dumps({"os": "linux", "architecture": "amd64",
                         "rootfs": {"type": "layers", "diff_ids": [digest(t) for t in tars]}}).encode()
    manifest = json.dumps({"schemaVersion": 2, "config": {"digest": digest(config), "size": len(config)},
                           "layers": [{"digest": digest(b), "size": len(b)} for b in blobs]}).encode()
    for blob in [*blobs, config, manifest]:
        path = folder / "blobs/sha256" / digest(blob)[7:]
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(blob)
    (folder / "oci-layout").write_text('{"imageLayoutVersion": "1.0.0"}')
    (folder / "index.json").write_text(json.dumps({"schemaVersion": 2, "manifests": [
        {"digest": digest(manifest), "size": len(manifest)}]}))
    return folder


def best(rounds, run):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        result = run()
        times.append(time.perf_counter() - start)
    return min(times), result


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rounds", type=int, default=5)
    ap.add_argument("--packages", type=int, default=1000)
    ap.add_argument("--layers", type=int, default=5)
    ap.add_argument("--shared", help="the folder that holds data/ (default: ../shared)")
    args = ap.parse_args(argv)
    global SHARED
    if args.shared:
        SHARED = pathlib.Path(args.shared) / "data"
    from quorlen.scan.database import Database
    from quorlen.scan.scan import scan_paths

    packages = [(name, "1.0") for name in names(args.packages)]
    with tempfile.TemporaryDirectory() as tmp:
        t = pathlib.Path(tmp)
        db_path = str(t / "osv.sqlite3")
        with Database(db_path) as db:
            if (SHARED / "osv-pypi").is_dir():
                db.import_sources([str(SHARED / "osv-pypi")])
        lockfile = t / "requirements.txt"
        lockfile.write_text("".join(f"{n}=={v}\n" for n, v in packages))
        image = write_image(t / "image", packages, args.layers)
        with Database(db_path, readonly=True) as db:
            lock_time, lock_result = best(args.rounds, lambda: scan_paths([str(lockfile)], db=db))
            image_time, image_result = best(args.rounds, lambda: scan_paths([str(image)], db=db))
    from quorlen.scan.ecosystems import normalize_name
    keys = [{(normalize_name("PyPI", f.package.name), f.id) for f in r.findings} for r in (lock_result, image_result)]
    same = keys[0] == keys[1]
    ratio = image_time / lock_time
    print(f"lockfile: {lock_result.packages} packages, {len(lock_result.findings)} findings, {lock_time * 1000:.0f} ms")
    print(f"image ({args.layers} layers): {image_result.packages} packages, {len(image_result.findings)} findings, "
          f"{image_time * 1000:.0f} ms")
    print(f"image / lockfile: {ratio:.2f} (goal: at most {GOAL}); same findings: {same}")
    return 0 if ratio <= GOAL and same and not image_result.errors else 1


if __name__ == "__main__":
    sys.exit(main())
