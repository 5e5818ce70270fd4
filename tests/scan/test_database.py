"""The advisory index: what goes in comes out, re-imports, atomicity, hostile input."""

import json
import os
import pathlib
import sqlite3
import subprocess
import sys
import zipfile
import zlib

import pytest

from quorlen.scan import archive, database
from quorlen.scan.database import Database, DatabaseError

ROOT = pathlib.Path(__file__).resolve().parents[2]
SHARED = pathlib.Path(os.environ.get("QUORLEN_SHARED") or ROOT.parent / "shared") / "data"
OSV = SHARED / "osv"
OSV_PYPI = SHARED / "osv-pypi"
needs_shared = pytest.mark.skipif(not OSV.is_dir() or not OSV_PYPI.is_dir(),
                                  reason=f"the shared OSV records are absent ({SHARED})")


def record(rid, modified="2024-01-01T00:00:00Z", ecosystem="PyPI", name="demo", **extra):
    body = {"id": rid, "modified": modified,
            "affected": [{"package": {"ecosystem": ecosystem, "name": name},
                          "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": "1.0"}]}]}]}
    body.update(extra)
    return body


def write_zip(path, members, compress=zipfile.ZIP_DEFLATED):
    with zipfile.ZipFile(path, "w", compression=compress) as z:
        for name, data in members:
            z.writestr(name, data if isinstance(data, bytes) else json.dumps(data))
    return str(path)


def shared_records():
    """Every record of the shared data, read here without the index: id -> (parsed, ecosystem bases)."""
    found = {}
    for zpath in sorted(OSV.glob("*.zip")):
        with zipfile.ZipFile(zpath) as z:
            for info in z.infolist():
                found[info.filename[:-5]] = json.loads(z.read(info))
    for path in OSV_PYPI.rglob("*.json"):
        rec = json.loads(path.read_bytes())
        found[rec["id"]] = rec
    return found


@pytest.fixture(scope="module")
def shared_index(tmp_path_factory):
    path = tmp_path_factory.mktemp("index") / "osv.sqlite3"
    with Database(path) as db:
        report = db.import_sources(sorted(map(str, OSV.glob("*.zip"))) + [str(OSV_PYPI)])
    return path, report


@needs_shared
def test_build_from_shared_data_holds_every_record(shared_index):
    path, report = shared_index
    expected = shared_records()
    assert (report.added, report.invalid, report.refused) == (len(expected), 0, 0)
    per_ecosystem = {}
    for rec in expected.values():
        for eco in {a["package"]["ecosystem"].split(":")[0] for a in rec.get("affected", []) if "package" in a}:
            per_ecosystem[eco] = per_ecosystem.get(eco, 0) + 1
    with Database(path, readonly=True) as db:
        info = db.info()
        assert info.records == len(expected) == len(db.ids())
        assert info.withdrawn == sum(1 for r in expected.values() if r.get("withdrawn"))
        assert {k.lower(): v for k, v in info.ecosystems.items()} == {k.lower(): v for k, v in per_ecosystem.items()}
        # Stored bodies come back exactly, whichever way they were compressed.
        for rid in ("ALSA-2025:10073", "GO-2020-0001", "RUSTSEC-2019-0001", "PYSEC-2021-76"):
            if rid in expected:
                assert db.record(rid) == expected[rid]
        assert db.record("NO-SUCH-ID") is None


@needs_shared
@pytest.mark.parametrize("ecosystem, name", [
    ("PyPI", "Jinja2"), ("pypi", "jinja2"), ("PyPI", "JINJA2"),
    ("Go", "github.com/gin-gonic/gin"), ("crates.io", "smallvec"),
    ("AlmaLinux:9", "kernel"), ("almalinux", "kernel"), ("Debian:12", "nginx"), ("Alpine:v3.20", "mariadb"),
])
def test_records_of_a_package_match_a_plain_search(shared_index, ecosystem, name):
    path, _ = shared_index
    norm = (lambda n: n.replace("_", "-").replace(".", "-").lower()) if ecosystem.lower() == "pypi" else (lambda n: n)
    eco = ecosystem.split(":")[0].lower()
    expected = sorted(rid for rid, rec in shared_records().items()
                      if any(a.get("package", {}).get("ecosystem", "").split(":")[0].lower() == eco
                             and norm(a["package"]["name"]) == norm(name) for a in rec.get("affected", [])))
    with Database(path, readonly=True) as db:
        got = [r["id"] for r in db.records(ecosystem, name)]
    assert got == expected and expected


@needs_shared
def test_go_names_keep_their_case(shared_index):
    with Database(shared_index[0], readonly=True) as db:
        assert db.records("Go", "github.com/gin-gonic/gin")
        assert db.records("Go", "GitHub.com/Gin-Gonic/Gin") == []


@needs_shared
def test_reimport_writes_nothing(tmp_path, shared_index):
    path, first = shared_index
    copy = tmp_path / "copy.sqlite3"
    copy.write_bytes(path.read_bytes())
    with Database(copy) as db:
        report = db.import_sources(sorted(map(str, OSV.glob("*.zip"))) + [str(OSV_PYPI)])
    assert (report.added, report.updated, report.unchanged) == (0, 0, first.added)


def test_changed_records_replace_older_ones_only(tmp_path):
    folder = tmp_path / "recs"
    folder.mkdir()
    (folder / "A.json").write_text(json.dumps(record("A", "2024-01-01T00:00:00Z", name="old-name")))
    (folder / "B.json").write_text(json.dumps(record("B")))
    with Database(tmp_path / "db") as db:
        assert db.import_sources([folder]).added == 2
        (folder / "A.json").write_text(json.dumps(record("A", "2024-02-01T00:00:00Z", name="new-name")))
        report = db.import_sources([folder])
        assert (report.added, report.updated, report.unchanged) == (0, 1, 1)
        # The package the old copy named no longer leads to it.
        assert db.records("PyPI", "old-name") == []
        assert [r["modified"] for r in db.records("PyPI", "new_name")] == ["2024-02-01T00:00:00Z"]
        (folder / "A.json").write_text(json.dumps(record("A", "2023-06-01T00:00:00.5+02:00", name="older")))
        report = db.import_sources([folder])
        assert (report.updated, report.stale) == (0, 1)
        assert db.record("A")["modified"] == "2024-02-01T00:00:00Z"


def test_one_import_with_two_copies_keeps_the_newer(tmp_path):
    older = write_zip(tmp_path / "a.zip", [("X.json", record("X", "2024-01-01T00:00:00Z", name="p1"))])
    newer = write_zip(tmp_path / "b.zip", [("X.json", record("X", "2024-03-01T00:00:00Z", name="p2"))])
    for order in ([older, newer], [newer, older]):
        with Database(tmp_path / f"db{order[0][-5]}") as db:
            db.import_sources(order)
            assert db.record("X")["modified"] == "2024-03-01T00:00:00Z"
            assert (db.records("PyPI", "p1"), len(db.records("PyPI", "p2"))) == ([], 1)


def test_single_files_hold_a_record_or_a_list(tmp_path):
    one = tmp_path / "one.json"
    one.write_text(json.dumps(record("ONE")))
    many = tmp_path / "many.json"
    many.write_text(json.dumps([record("M1"), record("M2", name="other"), {"no": "id"}]))
    warnings = []
    with Database(tmp_path / "db") as db:
        report = db.import_sources([one, many], warn=warnings.append)
        assert db.ids() == ["M1", "M2", "ONE"]
        assert db.record("M2") == record("M2", name="other")
    assert report.invalid == 1 and any("no \"id\"" in w for w in warnings)


# --- atomicity -------------------------------------------------------------

def snapshot(path):
    with Database(path, readonly=True) as db:
        return db.ids(), [(s.location, s.records) for s in db.info().sources], [db.record(i) for i in db.ids()]


def corrupt_zip(path, good):
    """A zip whose members after the good ones fail their CRC check."""
    members = [(f"G{i}.json", record(f"G{i}")) for i in range(good)] + [("BAD.json", record("BAD"))]
    write_zip(path, members, compress=zipfile.ZIP_STORED)
    data = bytearray(path.read_bytes())
    at = data.rindex(b'"BAD"')
    data[at + 1] = ord("C")
    path.write_bytes(bytes(data))
    return str(path)


def test_a_source_failing_midway_leaves_the_index_whole(tmp_path):
    db_path = tmp_path / "db"
    first = write_zip(tmp_path / "first.zip", [("A.json", record("A")), ("B.json", record("B"))])
    with Database(db_path) as db:
        db.import_sources([first])
    before = snapshot(db_path)
    fine = write_zip(tmp_path / "fine.zip", [("C.json", record("C")), ("A.json", record("A", "2025-01-01T00:00:00Z"))])
    bad = corrupt_zip(tmp_path / "bad.zip", good=700)
    with Database(db_path) as db:
        with pytest.raises(DatabaseError, match="corrupt archive at 'BAD.json'"):
            db.import_sources([fine, bad])
        # Still usable after the failure.
        assert db.import_sources([fine]).added == 1
    with Database(db_path) as db:
        db.import_sources([first])
    assert snapshot(db_path)[0] == before[0] + ["C"]


@pytest.mark.parametrize("how", ["interrupt", "kill"])
def test_an_interrupted_import_leaves_the_index_whole(tmp_path, how):
    db_path = tmp_path / "db"
    with Database(db_path) as db:
        db.import_sources([write_zip(tmp_path / "first.zip", [("A.json", record("A"))])])
    before = snapshot(db_path)
    big = write_zip(tmp_path / "big.zip", [(f"R{i}.json", record(f"R{i}")) for i in range(database.BATCH * 3)]
                    + [("A.json", record("A", "2025-01-01T00:00:00Z"))])
    # Stop after the second batch has gone to the file.
    code = f"""
import os, sys
from quorlen.scan import database
flush, calls = database._Batch.flush, []
def stop(self):
    flush(self)
    calls.append(1)
    if len(calls) == 2:
        if {how == "kill"!r}:
            os._exit(3)
        raise KeyboardInterrupt
database._Batch.flush = stop
with database.Database({str(db_path)!r}) as db:
    try:
        db.import_sources([{big!r}])
    except KeyboardInterrupt:
        sys.exit(4)
"""
    result = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, cwd=tmp_path,
                            env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})
    assert result.returncode == (3 if how == "kill" else 4), result.stderr
    assert snapshot(db_path) == before


# --- hostile and malformed input -------------------------------------------

@pytest.mark.parametrize("name", ["../evil.json", "a/../../evil.json", "/abs/evil.json", "C:/evil.json",
                                  "..\\evil.json", "\\server\\evil.json"])
def test_members_leaving_the_folder_are_refused(tmp_path, name):
    path = write_zip(tmp_path / "all.zip", [("GOOD.json", record("GOOD")), (name, record("EVIL"))])
    warnings = []
    with Database(tmp_path / "db") as db:
        report = db.import_sources([path], warn=warnings.append)
        assert db.ids() == ["GOOD"]
    assert report.refused == 1
    assert any(name in w for w in warnings) and any("1 archive members refused" in w for w in warnings)


def test_names_with_colons_are_not_drive_letters():
    assert archive.unsafe_name("ALSA-2025:10073.json") is None
    assert archive.unsafe_name("c:evil.json") is not None


def bomb(size, rid="BOMB"):
    return b'{"id": "' + rid.encode() + b'", "pad": "' + b" " * size + b'"}'


@pytest.mark.parametrize("limits, members, refused", [
    # One member larger than allowed; its neighbours still come in.
    (archive.Limits(member=4096), [("BIG.json", bomb(5000))], 1),
    # A large member compressed far beyond any real record.
    (archive.Limits(ratio=50, ratio_floor=1 << 16), [("BOMB.json", bomb(1 << 20))], 1),
    # The archive's total, reached by members each within bounds: two of
    # about 930 bytes fit beside the small good record, three do not.
    (archive.Limits(total=2500), [(f"T{i}.json", bomb(900, f"T{i}")) for i in range(5)], 3),
])
def test_zip_bombs_are_refused(tmp_path, monkeypatch, limits, members, refused):
    monkeypatch.setattr(archive, "LIMITS", limits)
    path = write_zip(tmp_path / "all.zip", [("GOOD.json", record("GOOD"))] + members)
    warnings = []
    with Database(tmp_path / "db") as db:
        report = db.import_sources([path], warn=warnings.append)
        assert "GOOD" in db.ids()
    assert report.refused == refused
    assert any(f"{refused} archive members refused" in w for w in warnings)


def test_a_header_that_hides_a_bomb_fails_its_archive(tmp_path):
    path = tmp_path / "lie.zip"
    write_zip(path, [("LIE.json", bomb(1 << 20))])
    data = bytearray(path.read_bytes())
    # Claim 100 bytes uncompressed in the central directory.
    central = data.rindex(b"PK\x01\x02")
    data[central + 24:central + 28] = (100).to_bytes(4, "little")
    path.write_bytes(bytes(data))
    with Database(tmp_path / "db") as db:
        with pytest.raises(DatabaseError, match="where the header says 100"):
            db.import_sources([str(path)])
        assert db.ids() == []


@pytest.mark.parametrize("data, reason", [
    (b"not json", "bad JSON"),
    (b"\xff\xfe{}", "not UTF-8"),
    (b"[]", "not a JSON object"),
    (b'{"modified": "2024-01-01T00:00:00Z"}', "no \"id\""),
    (b'{"id": 5}', "no \"id\""),
    (b'{"id": "X", "modified": 20240101}', "\"modified\" is not a string"),
    (b'{"id": "X", "aliases": "CVE-1"}', "\"aliases\" is not a list"),
    (b'{"id": "X", "affected": {}}', "\"affected\" is not a list"),
    (b'{"id": "X", "affected": [1]}', "not an object"),
    (b'{"id": "X", "affected": [{"package": {"ecosystem": "PyPI", "name": 3}}]}', "a string ecosystem and name"),
    (b'{"id": "X", "affected": [{"versions": "1.0"}]}', "\"versions\" is not a list"),
    (b'{"id": "X", "affected": [{"ranges": [{"events": {"fixed": "1"}}]}]}', "\"events\""),
    (b"[" * 200000 + b"]" * 200000, "nested too deeply"),
])
def test_records_that_are_not_osv_are_skipped(tmp_path, data, reason):
    path = write_zip(tmp_path / "all.zip", [("GOOD.json", record("GOOD")), ("X.json", data)])
    warnings = []
    with Database(tmp_path / "db") as db:
        report = db.import_sources([path], warn=warnings.append)
        assert db.ids() == ["GOOD"]
    assert report.invalid == 1
    assert any(reason in w and "X.json" in w for w in warnings), warnings


def test_many_bad_records_are_counted_not_listed(tmp_path):
    folder = tmp_path / "recs"
    (folder / "deep").mkdir(parents=True)
    for i in range(database.NAMED_WARNINGS + 7):
        (folder / "deep" / f"bad{i}.json").write_text("{")
    (folder / "ok.json").write_text(json.dumps(record("OK")))
    warnings = []
    with Database(tmp_path / "db") as db:
        report = db.import_sources([folder], warn=warnings.append)
        assert db.ids() == ["OK"]
    assert report.invalid == database.NAMED_WARNINGS + 7
    assert len(warnings) == database.NAMED_WARNINGS + 1
    assert f"{report.invalid} inputs that are not OSV records skipped" in warnings[-1]


def test_unreadable_files_in_a_folder_are_skipped(tmp_path):
    folder = tmp_path / "recs"
    folder.mkdir()
    (folder / "dangling.json").symlink_to(tmp_path / "gone.json")
    (folder / "ok.json").write_text(json.dumps(record("OK")))
    warnings = []
    with Database(tmp_path / "db") as db:
        assert db.import_sources([folder], warn=warnings.append).invalid == 1
        assert db.ids() == ["OK"]
    assert any("dangling.json" in w and "cannot read" in w for w in warnings)


def test_sources_without_records_are_named(tmp_path):
    (tmp_path / "empty").mkdir()
    warnings = []
    with Database(tmp_path / "db") as db:
        db.import_sources([tmp_path / "empty"], warn=warnings.append)
    assert warnings == [f"{tmp_path / 'empty'}: no OSV records found"]


def test_oversized_files_in_a_folder_are_skipped(tmp_path, monkeypatch):
    monkeypatch.setattr(database, "MAX_RECORD_FILE", 200)
    folder = tmp_path / "recs"
    folder.mkdir()
    (folder / "big.json").write_text(json.dumps(record("BIG", summary="x" * 300)))
    (folder / "ok.json").write_text(json.dumps(record("OK")))
    with Database(tmp_path / "db") as db:
        assert db.import_sources([folder]).invalid == 1
        assert db.ids() == ["OK"]


@pytest.mark.parametrize("make, message", [
    (lambda p: p.write_bytes(b"this is no database at all" * 100), "not a readable advisory index"),
    (lambda p: sqlite3.connect(p).execute("CREATE TABLE t (x)").connection.commit(), "not an advisory index"),
    (lambda p: sqlite3.connect(p).execute("PRAGMA user_version = 99"), "layout 99"),
    (lambda p: p.mkdir(), "is a folder"),
])
def test_files_that_are_not_an_index_give_one_clear_error(tmp_path, make, message):
    path = tmp_path / "db"
    make(path)
    for readonly in (False, True):
        with pytest.raises(DatabaseError, match=message):
            Database(path, readonly=readonly)


def test_a_missing_index_is_created_only_for_writing(tmp_path):
    path = tmp_path / "sub" / "db"
    with pytest.raises(DatabaseError, match="no advisory index"):
        Database(path, readonly=True)
    assert not path.exists()
    Database(path).close()
    with Database(path, readonly=True) as db:
        assert db.info().records == 0
        with pytest.raises(DatabaseError, match="read-only"):
            db.import_sources([])


def test_unreadable_sources_fail_before_any_change(tmp_path):
    not_zip = tmp_path / "fake.zip"
    not_zip.write_bytes(b"PK no zip")
    with Database(tmp_path / "db") as db:
        for source, message in ((tmp_path / "absent", "No such file"), (not_zip, "not a readable zip")):
            with pytest.raises(DatabaseError, match=message):
                db.import_sources([source])
        assert db.info().sources == []


@pytest.mark.parametrize("env, expected", [
    ({"XDG_CACHE_HOME": "/cache/here"}, "/cache/here/quorlen/osv.sqlite3"),
    ({"XDG_CACHE_HOME": "", "HOME": "/srv/u"}, "/srv/u/.cache/quorlen/osv.sqlite3"),
])
def test_default_path(monkeypatch, env, expected):
    for key, value in env.items():
        monkeypatch.setenv(key, value)
    assert database.default_path() == expected


# --- the bundled sample ----------------------------------------------------

def test_the_sample_imports_whole(tmp_path):
    sources = database.sample_sources()
    assert sorted(pathlib.Path(s).name for s in sources) == ["Go.zip", "PyPI.zip", "crates.io.zip"]
    members = {}
    for source in sources:
        with zipfile.ZipFile(source) as z:
            members[pathlib.Path(source).stem] = [json.loads(z.read(i)) for i in z.infolist()]
    with Database(tmp_path / "db") as db:
        report = db.import_sources(sources)
        info = db.info()
        # Each example lockfile's ecosystem has records for a package it pins.
        assert db.records("PyPI", "urllib3") and db.records("Go", "golang.org/x/net")
        assert db.records("crates.io", "smallvec")
    assert (report.added, report.invalid, report.refused) == (sum(map(len, members.values())), 0, 0)
    assert {k: v for k, v in info.ecosystems.items()} == {
        eco: sum(1 for r in recs if any(a["package"]["ecosystem"] == eco for a in r["affected"]))
        for eco, recs in members.items()}
    # Only records whose licence allows bundling them as the README says.
    assert not any((r.get("database_specific") or {}).get("license") == "CC-BY-4.0" for r in members["crates.io"])


@needs_shared
def test_make_sample_recreates_the_bundle(tmp_path):
    result = subprocess.run([sys.executable, str(ROOT / "tools" / "make_sample.py"), "--shared", str(SHARED.parent),
                             "--out", str(tmp_path)], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
    made = tmp_path / "quorlen" / "scan" / "data"
    for name in ("Go.zip", "PyPI.zip", "crates.io.zip", "README.md"):
        assert (made / name).read_bytes() == (ROOT / "quorlen" / "scan" / "data" / name).read_bytes(), name
    for name in ("requirements.txt", "Cargo.lock", "Cargo.toml", "go.mod"):
        assert (tmp_path / "examples" / name).read_bytes() == (ROOT / "examples" / name).read_bytes(), name
    installed = {pathlib.Path(s).name: pathlib.Path(s).read_bytes() for s in database.sample_sources()}
    assert installed == {n: (made / n).read_bytes() for n in installed}


def test_stored_bodies_decode_in_every_encoding():
    text = json.dumps(record("E", summary="repeat " * 50)).encode()
    raw_deflate = zlib.compressobj(9, zlib.DEFLATED, -zlib.MAX_WBITS)
    deflated = raw_deflate.compress(text) + raw_deflate.flush()
    for deflate in (None, deflated):
        encoding, body = database._encode(text, deflate)
        assert database._decode(encoding, body) == json.loads(text)
    tiny = b'{"id":"T"}'
    assert database._decode(*database._encode(tiny, None)) == {"id": "T"}
