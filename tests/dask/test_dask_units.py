"""A scan cut into units (inputs read apart, packages checked in groups by
name) and put back together gives exactly the result of one process."""

from __future__ import annotations

import datetime

import pytest
from conftest import LOCKFILES, need_shared

from quorlen.scan import ecosystems, formats
from quorlen.scan.database import Database
from quorlen.scan.model import Package
from quorlen.scan.scan import scan_paths
from quorlen.scan.units import groups, scan_in_units

FORMATS = ("table", "json", "sarif")


class Records:
    """records(ecosystem, name) from a list, as the index answers."""

    def __init__(self, records):
        self.records_ = records

    def records(self, ecosystem, name):
        key = ecosystems.normalize_name(ecosystem, name)
        return [r for r in self.records_
                if any(isinstance(e, dict) and ecosystems.normalize_name("PyPI", e["package"]["name"]) == key
                       for e in r["affected"])]


def _entry(name, fixed):
    return {"package": {"ecosystem": "PyPI", "name": name},
            "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": fixed}]}]}


RECORDS = [
    # An entry that is not an object: the record is skipped with a warning,
    # once per scan however many files name the package.
    {"id": "BAD-1", "affected": [_entry("flask", "9.0"), "not an entry"]},
    {"id": "GOOD-1", "aliases": ["CVE-0-1"], "summary": "a hole", "affected": [_entry("flask", "2.0")]},
    {"id": "GOOD-2", "summary": "another", "affected": [_entry("jinja2", "3.0")]},
    # A fixed version the ordering cannot read: a warning for each package it is checked against.
    {"id": "ODD-1", "summary": "odd", "affected": [_entry("jinja2", "not a version !!")]},
    {"id": "GOOD-3", "summary": "ignored", "affected": [_entry("click", "8.0")]},
]


@pytest.fixture
def project(tmp_path):
    for folder in ("a", "b", "c"):
        (tmp_path / folder).mkdir()
        (tmp_path / folder / "requirements.txt").write_text("flask==1.0\njinja2==2.0\nclick==7.0\nrequests>=2\npyyaml\n")
    (tmp_path / "b" / "package-lock.json").write_text('{"lockfileVersion": 3, "packages": [}')
    (tmp_path / "c" / "quorlen.toml").write_text(
        '[[ignore]]\nid = "GOOD-3"\nreason = "r"\nexpires = 2000-01-01\n')
    return tmp_path


@pytest.mark.parametrize("parts", [1, 2, 7])
def test_units_give_the_one_process_result(project, parts):
    paths = [str(project / "a"), str(project / "b"), str(project / "missing"), str(project / "c"),
             str(project / "a" / "requirements.txt")]
    db = Records(RECORDS)
    today = datetime.date(2026, 1, 1)
    whole = scan_paths(paths, db=db, ignores=["CVE-0-1"], today=today)
    cut = scan_in_units(paths, db=db, ignores=["CVE-0-1"], today=today, parts=parts)
    assert cut == whole
    for f in FORMATS:
        assert formats.render(cut, f) == formats.render(whole, f)
    # The cases this scan is built to hold are all there.
    assert whole.errors and whole.ignored and whole.findings and whole.unchecked
    assert sum("BAD-1" in w for w in whole.warnings) == 1
    assert sum("ODD-1" in w for w in whole.warnings) >= 1


@pytest.fixture(scope="module")
def shared_scan(shared_index):
    need_shared()
    with Database(shared_index, readonly=True) as db:
        return scan_paths([str(LOCKFILES)], db=db)


@pytest.mark.parametrize("parts", [1, 3, 16])
def test_units_over_the_shared_lockfiles(shared_index, shared_scan, parts):
    with Database(shared_index, readonly=True) as db:
        cut = scan_in_units([str(LOCKFILES)], db=db, parts=parts)
    assert shared_scan.findings and len(shared_scan.files) > 20
    for f in FORMATS:
        assert formats.render(cut, f) == formats.render(shared_scan, f)


@pytest.mark.parametrize("names, parts", [
    (["a", "b", "A", "a", "c", "b", "d", "e", "a"], 3),
    (["x"] * 5, 4),
    ([f"p{i % 13}" for i in range(200)], 5),
    ([], 2),
])
def test_groups_keep_a_name_together_and_cover_every_package(names, parts):
    packages = [Package("PyPI", n, "1.0", "f", i) for i, n in enumerate(names)]
    cut = groups(packages, parts)
    assert sorted(i for g in cut for i in g) == list(range(len(packages)))
    assert len(cut) <= parts and all(g == sorted(g) for g in cut)
    home = {}
    for k, g in enumerate(cut):
        for i in g:
            assert home.setdefault(ecosystems.normalize_name("PyPI", names[i]), k) == k
