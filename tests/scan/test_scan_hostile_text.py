"""Text from records and scanned files never acts on the terminal; file names
that are not UTF-8 still give valid UTF-8 reports and whole output files."""

import json
import os
import re
import subprocess
import sys

import pytest

from quorlen.scan.database import Database
from quorlen.scan.text import visible

TITLE = "\x1b]0;pwned\x07"
CLEAR = "\x1b[2J"
RECORD = {
    "id": f"PYSEC-{TITLE}1", "modified": "2024-01-01T00:00:00Z", "aliases": ["CVE-\u202e2"],
    "summary": f"clears {CLEAR} then C1 \x9b31m and \u2066isolate\u2069",
    "affected": [{"package": {"ecosystem": "PyPI", "name": "demo"},
                  "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": "1.5"}]}]}],
}
# What a terminal would act on rather than print.
ACTIVE = re.compile("[\x00-\x09\x0b-\x1f\x7f-\x9f\u061c\u200e\u200f\u202a-\u202e\u2066-\u2069\ud800-\udfff]")


@pytest.fixture(scope="module")
def db(tmp_path_factory):
    folder = tmp_path_factory.mktemp("records")
    (folder / "r.json").write_text(json.dumps(RECORD))
    path = folder / "osv.sqlite3"
    with Database(path) as database:
        database.import_sources([str(folder / "r.json")])
    return path


def scan(*args, cwd):
    return subprocess.run([os.fsencode(sys.executable), b"-m", b"quorlen", b"scan",
                           *(a if isinstance(a, bytes) else str(a).encode() for a in args)],
                          capture_output=True, cwd=cwd, env={**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)})


@pytest.mark.parametrize("text, shown", [
    (TITLE, "\\x1b]0;pwned\\x07"), (CLEAR, "\\x1b[2J"), ("a\x9bb\x7f", "a\\x9bb\\x7f"),
    ("\u202eabc\u2066\u200f\u061c", "\\u202eabc\\u2066\\u200f\\u061c"), ("one\ntwo\ttab", "one\\ntwo\\ttab"),
    ("bad\udcffname", "bad\\xffname"), ("plain é 日本 \u200b", "plain é 日本 \u200b"),
])
def test_visible(text, shown):
    assert visible(text) == shown


def test_hostile_records_and_file_names_are_shown_escaped(tmp_path, db):
    folder = tmp_path / f"x{CLEAR}y"
    folder.mkdir()
    (folder / "requirements.txt").write_text("demo==1.4\n")
    (tmp_path / "requirements.txt").write_text(f"bad{TITLE}line here\n")
    table = scan(tmp_path, "--db", db, cwd=tmp_path)
    out, err = table.stdout.decode(), table.stderr.decode()
    assert table.returncode == 2, err
    for shown in (visible(RECORD["id"]), "CVE-\\u202e2", "clears \\x1b[2J then C1 \\x9b31m", "x\\x1b[2Jy"):
        assert shown in out
    assert "\\x1b]0" in err and len(err.splitlines()) == 1
    assert not ACTIVE.search(out) and not ACTIVE.search(err)
    # JSON keeps the data exact.
    doc = json.loads(scan(tmp_path, "--db", db, "--format", "json", cwd=tmp_path).stdout)
    assert (doc["findings"][0]["id"], doc["findings"][0]["summary"]) == (RECORD["id"], RECORD["summary"])


def test_file_names_that_are_not_utf8(tmp_path, db):
    folder = os.path.join(os.fsencode(tmp_path), b"bad\xffname")
    os.mkdir(folder)
    with open(os.path.join(folder, b"requirements.txt"), "w") as f:
        f.write("demo==1.4\n")
    result = scan(b"bad\xffname", "--db", db, "--format", "json", cwd=tmp_path)
    assert result.returncode == 1, result.stderr
    doc = json.loads(result.stdout.decode("utf-8"))
    assert doc["findings"][0]["package"]["file"] == "bad\\xffname/requirements.txt"
    table = scan(b"bad\xffname", "--db", db, cwd=tmp_path)
    assert b"bad\\xffname/requirements.txt" in table.stdout
    for format in ("json", "sarif"):
        out = tmp_path / f"report.{format}"
        result = scan(b"bad\xffname", "--db", db, "--format", format, "--output", out, cwd=tmp_path)
        assert (result.returncode, result.stderr) == (1, b"")
        text = out.read_bytes().decode("utf-8")
        if format == "sarif":
            uri = json.loads(text)["runs"][0]["results"][0]["locations"][0]["physicalLocation"]["artifactLocation"]
            assert uri == {"uri": "bad%FFname/requirements.txt"}
        assert oct(out.stat().st_mode & 0o777) == oct(0o666 & ~current_umask())
    # A report that cannot take its place leaves no temporary file.
    (tmp_path / "taken").mkdir()
    result = scan(b"bad\xffname", "--db", db, "--format", "json", "--output", tmp_path / "taken", cwd=tmp_path)
    assert result.returncode == 2 and len(result.stderr.splitlines()) == 1, result.stderr
    assert not [n for n in os.listdir(tmp_path) if n.endswith(".tmp")]


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask


def test_a_source_folder_whose_name_is_not_utf8_imports(tmp_path):
    folder = os.path.join(os.fsencode(tmp_path), b"rec\xffords")
    os.mkdir(folder)
    with open(os.path.join(folder, b"r.json"), "w") as f:
        json.dump(RECORD, f)
    with Database(tmp_path / "db") as db:
        assert db.import_sources([os.fsdecode(folder)]).added == 1
        assert db.info().sources[0].location == str(tmp_path / "rec\\xffords")
