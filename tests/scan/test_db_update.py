"""`db update` against a mirror served on 127.0.0.1 by the test itself."""

import hashlib
import http.server
import io
import json
import os
import pathlib
import threading
import zipfile

import pytest

from quorlen import cli
from quorlen.scan import download
from quorlen.scan.database import Database, DatabaseError

ROOT = pathlib.Path(__file__).resolve().parents[2]
OSV = pathlib.Path(os.environ.get("QUORLEN_SHARED") or ROOT.parent / "shared") / "data" / "osv"
needs_shared = pytest.mark.skipif(not (OSV / "Go.zip").is_file(), reason=f"the shared OSV zips are absent ({OSV})")


class Mirror:
    """Files by URL path, served with an ETag or a Last-Modified time (or both)."""

    def __init__(self):
        self.files = {}  # path -> bytes
        self.redirects = {}  # path -> location
        self.short = set()  # paths whose body breaks off
        self.validators = ("etag", "last-modified")
        self.requests = []  # (path, headers)
        self.version = 0

    def put(self, path, data):
        self.files[path] = data
        self.version += 1


def make_handler(mirror):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            mirror.requests.append((self.path, dict(self.headers)))
            if self.path in mirror.redirects:
                self.send_response(302)
                self.send_header("Location", mirror.redirects[self.path])
                self.end_headers()
                return
            data = mirror.files.get(self.path)
            if data is None:
                self.send_error(404)
                return
            etag = '"' + hashlib.sha256(data).hexdigest()[:16] + '"'
            stamp = f"Tue, 0{mirror.version % 9 + 1} Dec 2026 10:00:00 GMT"
            fresh = ("etag" in mirror.validators and self.headers.get("If-None-Match") == etag) or (
                "etag" not in mirror.validators and self.headers.get("If-Modified-Since") == stamp)
            if fresh:
                self.send_response(304)
                self.end_headers()
                return
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            if "etag" in mirror.validators:
                self.send_header("ETag", etag)
            if "last-modified" in mirror.validators:
                self.send_header("Last-Modified", stamp)
            self.end_headers()
            self.wfile.write(data[:len(data) // 2] if self.path in mirror.short else data)

        def log_message(self, *args):
            pass

    return Handler


@pytest.fixture
def mirror():
    served = Mirror()
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), make_handler(served))
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    served.url = f"http://127.0.0.1:{server.server_address[1]}"
    yield served
    server.shutdown()
    server.server_close()


def zip_of(records):
    buf = io.BytesIO()
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_DEFLATED) as z:
        for rec in records:
            z.writestr(f"{rec['id']}.json", json.dumps(rec))
    return buf.getvalue()


def rec(rid, modified="2024-01-01T00:00:00Z", name="pkg"):
    return {"id": rid, "modified": modified, "affected": [{"package": {"ecosystem": "PyPI", "name": name}}]}


def members(path):
    with zipfile.ZipFile(path) as z:
        return sum(1 for i in z.infolist() if i.filename.endswith(".json"))


@needs_shared
@pytest.mark.parametrize("validators", [("etag",), ("last-modified",)])
def test_update_downloads_only_what_changed(tmp_path, mirror, validators):
    mirror.validators = validators
    mirror.put("/Go/all.zip", (OSV / "Go.zip").read_bytes())
    mirror.put("/crates.io/all.zip", (OSV / "crates.io.zip").read_bytes())
    with Database(tmp_path / "db") as db:
        results = db.update(["Go", "crates.io"], mirror.url)
        assert [(r.ecosystem, r.status) for r in results] == [("Go", "updated"), ("crates.io", "updated")]
        assert [r.report.added for r in results] == [members(OSV / "Go.zip"), members(OSV / "crates.io.zip")]
        assert db.info().records == members(OSV / "Go.zip") + members(OSV / "crates.io.zip")
        sent = len(mirror.requests)

        # Nothing changed: the mirror answers 304 and no import happens.
        results = db.update([], mirror.url)  # the ecosystems downloaded before
        assert [(r.ecosystem, r.status) for r in results] == [("Go", "unchanged"), ("crates.io", "unchanged")]
        header = "If-None-Match" if validators == ("etag",) else "If-Modified-Since"
        assert all(header in headers for _, headers in mirror.requests[sent:])

        # A changed archive is downloaded and imported again.
        with zipfile.ZipFile(OSV / "crates.io.zip") as z:
            first = json.loads(z.read(z.infolist()[0]))
        first["modified"] = "2099-01-01T00:00:00Z"
        mirror.put("/crates.io/all.zip", zip_of([first, rec("NEW-1")]))
        [result] = db.update(["crates.io"], mirror.url)
        assert result.status == "updated"
        assert (result.report.added, result.report.updated) == (1, 1)
        assert db.record(first["id"])["modified"] == "2099-01-01T00:00:00Z"
        assert f"{mirror.url}/crates.io/all.zip" in [s.location for s in db.info().sources]
    # No download leaves files behind.
    assert sorted(p.name for p in tmp_path.iterdir()) == ["db", "db.lock"]  # the writers' lock stays


def test_failures_of_one_ecosystem_leave_the_others_done(tmp_path, mirror):
    mirror.put("/PyPI/all.zip", zip_of([rec("PY-1"), rec("PY-2")]))
    mirror.put("/npm/all.zip", b"this is not a zip archive")
    mirror.put("/Hex/all.zip", zip_of([rec("HEX-1")]))
    mirror.short.add("/Hex/all.zip")
    mirror.redirects["/Go/all.zip"] = "ftp://127.0.0.1/Go/all.zip"
    with Database(tmp_path / "db") as db:
        results = {r.ecosystem: r for r in db.update(["PyPI", "NuGet", "npm", "Hex", "Go"], mirror.url)}
        assert {e: r.status for e, r in results.items()} == {
            "PyPI": "updated", "NuGet": "failed", "npm": "failed", "Hex": "failed", "Go": "failed"}
        assert "HTTP 404" in results["NuGet"].message
        assert "not a readable zip" in results["npm"].message
        assert "broke off" in results["Hex"].message
        assert "not http or https" in results["Go"].message
        assert db.ids() == ["PY-1", "PY-2"]
        # A failed download is tried in full next time, not taken as unchanged.
        assert db.source(f"{mirror.url}/npm/all.zip") is None
    assert sorted(p.name for p in tmp_path.iterdir()) == ["db", "db.lock"]  # the writers' lock stays


@pytest.mark.parametrize("mirror_url, ecosystem, message", [
    ("file:///srv/osv", "PyPI", "not an http or https URL"),
    ("ftp://example.org", "PyPI", "not an http or https URL"),
    ("http://127.0.0.1:1", "..", "not an ecosystem name"),
])
def test_bad_mirrors_and_names_are_refused_before_any_request(tmp_path, mirror_url, ecosystem, message):
    with Database(tmp_path / "db") as db:
        with pytest.raises(DatabaseError, match=message):
            db.update([ecosystem], mirror_url)


def test_ecosystem_names_are_quoted_into_the_url():
    assert download.archive_url("https://m.example/osv/", "Red Hat") == "https://m.example/osv/Red%20Hat/all.zip"
    assert download.archive_url("https://m.example", "a/b") == "https://m.example/a%2Fb/all.zip"


def run(argv, capsys):
    try:
        status = cli.main(argv)
    except SystemExit as e:
        status = e.code
    out, err = capsys.readouterr()
    return status, out, err


def test_update_command(tmp_path, mirror, capsys):
    mirror.put("/PyPI/all.zip", zip_of([rec("PY-1")]))
    db = str(tmp_path / "db")
    status, out, err = run(["db", "update", "-e", "PyPI", "--mirror", mirror.url, "--db", db], capsys)
    assert (status, err) == (0, "")  # no progress bar outside a terminal
    assert "PyPI: 1 records read" in out and "1 added" in out
    status, out, err = run(["db", "update", "--mirror", mirror.url, "--db", db], capsys)
    assert (status, out, err) == (0, "PyPI: unchanged since the last download\n", "")
    status, out, err = run(["db", "update", "-e", "PyPI", "Missing", "--mirror", mirror.url, "--db", db], capsys)
    assert status == 2
    assert err.startswith("quorlen: error: ") and "HTTP 404" in err and len(err.splitlines()) == 1
