"""`quorlen db build` and `quorlen db info`: output, warnings and one-line errors."""

import json
import pathlib
import zipfile

import pytest

from quorlen import cli
from quorlen.scan.database import sample_sources


def run(argv, capsys):
    try:
        status = cli.main(argv)
    except SystemExit as e:
        status = e.code
    out, err = capsys.readouterr()
    return status, out, err


def test_build_sample_then_info(tmp_path, capsys):
    db = str(tmp_path / "osv.sqlite3")
    counts, withdrawn = {}, 0
    for source in sample_sources():
        with zipfile.ZipFile(source) as z:
            counts[pathlib.Path(source).stem] = len(z.infolist())
            withdrawn += sum(1 for i in z.infolist() if json.loads(z.read(i)).get("withdrawn"))
    status, out, err = run(["db", "build", "--sample", "--db", db], capsys)
    assert (status, err) == (0, "")
    assert out.startswith(f"{sum(counts.values())} records read from 3 sources: {sum(counts.values())} added")
    status, out, err = run(["db", "info", "--db", db], capsys)
    assert (status, err) == (0, "")
    lines = out.splitlines()
    assert lines[0] == f"index: {db}"
    assert lines[1] == f"records: {sum(counts.values())} ({withdrawn} withdrawn)"
    table = lines[lines.index("records per ecosystem:") + 1:lines.index("sources:")]
    assert {line.split()[0]: int(line.split()[1]) for line in table} == counts
    assert sum(1 for line in lines if "(zip):" in line) == 3
    # A second build changes nothing.
    status, out, _ = run(["db", "build", "--sample", "--db", db], capsys)
    assert status == 0 and f"0 added, 0 updated, {sum(counts.values())} unchanged" in out


def test_skipped_records_warn_but_succeed(tmp_path, capsys):
    folder = tmp_path / "recs"
    folder.mkdir()
    (folder / "ok.json").write_text(json.dumps({"id": "OK-1", "modified": "2024-01-01T00:00:00Z"}))
    (folder / "bad.json").write_text("{\"summary\": \"no id\"}")
    status, out, err = run(["db", "build", str(folder), "--db", str(tmp_path / "db")], capsys)
    assert status == 0
    assert "1 not OSV records, skipped" in out
    assert err.splitlines() == [f"quorlen: warning: {folder / 'bad.json'}: skipped: no \"id\"",
                                f"quorlen: warning: {folder}: 1 inputs that are not OSV records skipped"]


@pytest.mark.parametrize("argv, message", [
    (["db", "info", "--db", "{tmp}/absent"], "no advisory index at"),
    (["db", "build", "--db", "{tmp}/db"], "name a SOURCE, or --sample"),
    (["db", "build", "{tmp}/absent", "--db", "{tmp}/db"], "No such file or directory"),
    (["db", "build", "{tmp}/fake.zip", "--db", "{tmp}/db"], "not a readable zip"),
    (["db", "info", "--db", "{tmp}/fake.zip"], "not a readable advisory index"),
    (["db", "update", "-e", "PyPI", "--mirror", "ftp://x", "--db", "{tmp}/db"], "not an http or https URL"),
    (["db", "update", "--db", "{tmp}/db"], "no ecosystem to update"),
    (["db", "frobnicate"], "invalid choice"),
])
def test_errors_are_one_line(tmp_path, capsys, argv, message):
    (tmp_path / "fake.zip").write_bytes(b"PK\x03\x04 not really" * 50)
    status, out, err = run([a.replace("{tmp}", str(tmp_path)) for a in argv], capsys)
    assert status == 2
    assert len(err.splitlines()) == 1 and err.startswith("quorlen: error: ") and message in err, err
