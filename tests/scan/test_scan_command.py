"""`quorlen scan` run as a process: exit statuses, the three outputs (JSON and
SARIF validated against their schemas), ignores and hostile inputs."""

import json
import os
import pathlib
import subprocess
import sys

import jsonschema
import pytest

import quorlen.scan

from scan_records import SHARED, lockfile, shared_db  # noqa: F401  (a fixture)

HERE = pathlib.Path(__file__).resolve().parent
JSON_SCHEMA = pathlib.Path(quorlen.scan.__file__).resolve().parent / "scan-result.schema.json"
SARIF_SCHEMA = SHARED / "sarif" / "sarif-schema-2.1.0.json"

RECORDS = [
    {"id": "PYSEC-9001", "modified": "2024-01-01T00:00:00Z", "aliases": ["CVE-9001"], "summary": "Bad demo",
     "severity": [{"type": "CVSS_V3", "score": "CVSS:3.1/AV:N/AC:L/PR:N/UI:N/S:U/C:H/I:H/A:H"}],
     "affected": [{"package": {"ecosystem": "PyPI", "name": "demo"},
                   "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": "1.5"}]}]}]},
    {"id": "RUSTSEC-9002", "modified": "2024-01-01T00:00:00Z",
     "affected": [{"package": {"ecosystem": "crates.io", "name": "democrate"},
                   "ranges": [{"type": "SEMVER", "events": [{"introduced": "0.0.0-0"}, {"fixed": "0.3.0"}]}]}]},
]

CARGO = '''version = 3

[[package]]
name = "democrate"
version = "0.2.0"
source = "registry+https://github.com/rust-lang/crates.io-index"
'''


def run(*args):
    return subprocess.run([sys.executable, "-m", "quorlen", "scan", *map(str, args)], capture_output=True,
                          text=True, cwd=HERE)


@pytest.fixture(scope="module")
def db(tmp_path_factory):
    from quorlen.scan.database import Database
    folder = tmp_path_factory.mktemp("records")
    for record in RECORDS:
        (folder / f"{record['id']}.json").write_text(json.dumps(record))
    path = folder / "osv.sqlite3"
    with Database(str(path)) as database:
        database.import_sources([str(folder)])
    return path


def project(tmp_path, **files):
    for name, text in files.items():
        path = tmp_path / name.replace("__", "/")
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return tmp_path


def errors(stderr):
    return [line for line in stderr.splitlines() if line.startswith("quorlen: error: ")]


@pytest.mark.parametrize("files, status, vulnerable", [
    ({"requirements.txt": "demo==1.5\n"}, 0, []),
    ({"requirements.txt": "demo==1.4\n"}, 1, ["demo"]),
    ({"requirements.txt": "demo==1.4\n", "sub__Cargo.lock": CARGO}, 1, ["demo", "democrate"]),
    # A file that does not parse: 2, even though the other file has findings.
    ({"requirements.txt": "demo==1.4\n", "sub__Cargo.lock": "[[package]\nname = 1\n"}, 2, ["demo"]),
    ({"requirements.txt": "demo==1.5\n", "sub__Cargo.lock": "[[package]\nname = 1\n"}, 2, []),
])
def test_exit_statuses(tmp_path, db, files, status, vulnerable):
    result = run(project(tmp_path, **files), "--db", db, "--format", "json")
    assert result.returncode == status, result.stderr
    assert "Traceback" not in result.stderr
    report = json.loads(result.stdout)
    assert report["status"] == status
    assert sorted({f["package"]["name"] for f in report["findings"]}) == vulnerable
    assert len(errors(result.stderr)) == (status == 2)


def test_a_file_that_does_not_parse_is_one_line_naming_file_line_and_format(tmp_path, db):
    root = project(tmp_path, **{"requirements.txt": "demo==1.4\n", "sub__Cargo.lock": "version = 3\n[[package]\nname = 1\n"})
    result = run(root, "--db", db)
    (line,) = errors(result.stderr)
    assert line.startswith(f"quorlen: error: {root / 'sub' / 'Cargo.lock'}:2: Cargo.lock: ")
    assert "PYSEC-9001" in result.stdout and result.returncode == 2


def test_the_table_groups_by_package_without_colour_on_a_pipe(tmp_path, db):
    result = run(project(tmp_path, **{"requirements.txt": "x==1\ndemo==1.0\n"}), "--db", db)
    assert result.returncode == 1 and "\033[" not in result.stdout
    lines = result.stdout.splitlines()
    assert lines[0].endswith("requirements.txt:2  PyPI  demo 1.0  (fix: 1.5)")
    assert lines[1] == "  Critical 9.8  PYSEC-9001 (CVE-9001)"
    assert lines[-1].startswith("1 finding in 1 package; 2 packages in 1 file")


def test_the_json_output_follows_its_schema(tmp_path, db):
    root = project(tmp_path, **{"requirements.txt": "demo==1.0\nlocal @ file:///x\nother>=1\n",
                                "quorlen.toml": '[[ignore]]\nid = "RUSTSEC-9002"\nreason = "test"\n',
                                "a__Cargo.lock": CARGO, "b__Cargo.lock": "[[package\n"})
    result = run(root, "--db", db, "--format", "json")
    report = json.loads(result.stdout)
    jsonschema.validate(report, json.loads(JSON_SCHEMA.read_text()))
    assert report["schema_version"] == "1"
    assert [f["ids"] for f in report["findings"]] == [["PYSEC-9001", "CVE-9001"]]
    assert report["findings"][0]["severity"]["score"] == 9.8
    assert [i["id"] for i in report["ignored"]] == ["RUSTSEC-9002"]
    assert len(report["errors"]) == 1 and report["status"] == 2


@pytest.mark.skipif(not SARIF_SCHEMA.is_file(), reason="the shared SARIF 2.1.0 schema (../shared/data/sarif) is absent")
def test_the_sarif_output_validates_against_the_official_schema(shared_db, tmp_path):  # noqa: F811
    out = tmp_path / "report.sarif"
    result = run(lockfile("requirements", "pypa__pipenv__ecf984d"), lockfile("go", "golang__vulndb"),
                 "--db", shared_db, "--format", "sarif", "--output", out)
    assert result.returncode == 1 and result.stdout == ""
    sarif = json.loads(out.read_text())
    jsonschema.validate(sarif, json.loads(SARIF_SCHEMA.read_text()))
    run_ = sarif["runs"][0]
    rules = [r["id"] for r in run_["tool"]["driver"]["rules"]]
    assert "PYSEC-2019-217" in rules and "GO-2025-3367" in rules
    assert all(rules[r["ruleIndex"]] == r["ruleId"] for r in run_["results"])
    jinja = [r for r in run_["results"] if r["ruleId"] == "PYSEC-2019-217"]
    assert jinja[0]["locations"][0]["physicalLocation"]["region"]["startLine"] == 10


def test_ignore_option_and_missing_database(tmp_path, db):
    root = project(tmp_path, **{"requirements.txt": "demo==1.0\n"})
    assert run(root, "--db", db, "--ignore", "CVE-9001").returncode == 0
    missing = run(root, "--db", tmp_path / "none.sqlite3")
    assert missing.returncode == 2 and len(errors(missing.stderr)) == 1 and missing.stdout == ""


def test_input_format_forces_the_reader_of_a_file_named(tmp_path, db):
    root = project(tmp_path, **{"deps.in": "demo==1.0\n"})
    unknown = run(root / "deps.in", "--db", db)
    assert unknown.returncode == 2 and errors(unknown.stderr)[0].endswith("name one with --input-format")
    assert run(root / "deps.in", "--db", db, "--input-format", "requirements.txt").returncode == 1


def test_a_bad_line_is_an_error_and_every_other_dependency_is_checked_or_listed(tmp_path, db):
    root = project(tmp_path, **{
        "requirements.txt": "demo==1.0\n-r missing.txt\nnot a requirement!\nother==2.0\n",
        "sub__Cargo.lock": 'version = 3\n[[package]]\nname = "bad"\nversion = 2\n' + CARGO.split("\n", 1)[1],
        "jvm__gradle.lockfile": "com.jetbrains.intellij.idea:ideaIU:IU-261.22158.277=c\nmy:proj:unspecified=c\n",
        "web__yarn.lock": '# yarn lockfile v1\n\nx@file:./a:\n  version "1.0.0"\n\nx@file:./b:\n  version "1.0.0"\n',
    })
    result = run(root, "--db", db, "--format", "json")
    report = json.loads(result.stdout)
    assert result.returncode == report["status"] == 2, result.stderr
    requirements, cargo = root / "requirements.txt", root / "sub" / "Cargo.lock"
    assert [line.split(": ", 4)[2:4] for line in errors(result.stderr)] == [
        [f"{requirements}:2", "requirements.txt"], [f"{requirements}:3", "requirements.txt"],
        [f"{cargo}:3", "Cargo.lock"]]
    assert sorted(f["package"]["name"] for f in report["findings"]) == ["demo", "democrate"]
    unchecked = sorted((u["package"]["name"], u["reason"]) for u in report["unchecked"])
    assert [name for name, _ in unchecked] == ["com.jetbrains.intellij.idea:ideaIU", "my:proj", "x", "x"]
    assert "'IU-261.22158.277'" in unchecked[0][1] and "'unspecified'" in unchecked[1][1]
    assert "file:./a" in unchecked[2][1] and "file:./b" in unchecked[3][1]
    # demo, other, democrate, the two Maven artifacts, the two folders.
    assert report["packages"] == 7


NESTED = "[" * 100000 + "]" * 100000
HOSTILE = {
    "Cargo.lock": "\x00\x01garbage\n[[[[\n",
    "requirements.txt": "demo==1.0\n-r requirements.txt\n",
    "packages.lock.json": NESTED,
    "composer.lock": '{"packages": ' + NESTED + "}",
    "go.mod": "module x\nrequire (\n" + "a v1\n" * 3 + "\x00",
    "poetry.lock": "[[package]]\nname = 'demo'\nversion = " + "[" * 50000 + "\n",
    "Pipfile.lock": '{"default": {"demo": {"version": ["==1.0"]}}}',
    "mix.lock": "%{" * 20000,
}


@pytest.mark.parametrize("name", sorted(HOSTILE))
def test_hostile_inputs_give_a_clear_error_for_that_file_alone(tmp_path, db, name):
    root = project(tmp_path, **{name: HOSTILE[name], "ok__requirements.txt": "demo==1.0\n"})
    result = run(root, "--db", db, "--format", "json")
    assert "Traceback" not in result.stderr and result.returncode in (1, 2), result.stderr
    report = json.loads(result.stdout)
    # The good file is scanned whatever the bad one holds.
    assert any(f["package"]["file"].endswith(os.path.join("ok", "requirements.txt")) for f in report["findings"])
    for line in errors(result.stderr):
        assert name in line and "\n" not in line
