"""Advisory records for the scanner's tests: the shared real records, and a
small in-memory store that answers like the database does."""

from __future__ import annotations

import json
import os
import pathlib
import zipfile

import pytest

from quorlen.scan import ecosystems

# ../shared beside the repository; a worktree kept elsewhere names it in
# QUORLEN_SHARED (the folder that holds data/).
SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED") or pathlib.Path(__file__).resolve().parents[2].parent / "shared") / "data"
OSV_ZIPS = SHARED / "osv"
OSV_PYPI = SHARED / "osv-pypi"
LOCKFILES = SHARED / "lockfiles"


def need_shared():
    if not SHARED.is_dir():
        pytest.skip("the shared test data (../shared/data beside the repository) is not present")


def zip_records(name):
    with zipfile.ZipFile(OSV_ZIPS / name) as z:
        return [json.loads(z.read(n)) for n in z.namelist() if n.endswith(".json")]


def folder_records(folder):
    return [json.loads(p.read_text(encoding="utf-8")) for p in sorted(pathlib.Path(folder).rglob("*.json"))]


class MemoryRecords:
    """records(ecosystem, name): the records with an entry for the package,
    by ecosystem base (case ignored) and normalised name."""

    def __init__(self, records=()):
        self.index = {}
        for record in records:
            self.add(record)

    def add(self, record):
        keys = set()
        for entry in record.get("affected", []):
            package = entry.get("package") or {}
            eco, name = package.get("ecosystem"), package.get("name")
            if isinstance(eco, str) and isinstance(name, str):
                keys.add((ecosystems.base(eco).casefold(), ecosystems.normalize_name(eco, name)))
        for key in keys:
            self.index.setdefault(key, []).append(record)

    def records(self, ecosystem, name):
        return list(self.index.get((ecosystems.base(ecosystem).casefold(),
                                    ecosystems.normalize_name(ecosystem, name)), []))


def all_shared_records():
    need_shared()
    records = []
    for path in sorted(OSV_ZIPS.glob("*.zip")):
        records.extend(zip_records(path.name))
    records.extend(folder_records(OSV_PYPI))
    return records


@pytest.fixture(scope="session")
def shared_db(tmp_path_factory):
    """A database built from every shared record (the zips and osv-pypi)."""
    need_shared()
    from quorlen.scan.database import Database

    path = tmp_path_factory.mktemp("osvdb") / "osv.sqlite3"
    with Database(str(path)) as db:
        db.import_sources([str(p) for p in sorted(OSV_ZIPS.glob("*.zip"))] + [str(OSV_PYPI)])
    return str(path)


def lockfile(folder, prefix):
    need_shared()
    found = sorted((LOCKFILES / folder).glob(prefix + "*"))
    assert len(found) == 1, f"{folder}/{prefix}*: {found}"
    return str(found[0])
