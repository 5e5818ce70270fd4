"""Known findings in real lockfiles against every shared record. Each
expectation was checked by hand against the records in ../shared/data: the
ranges of every advisory of the package, and the fixed versions they name."""

import pytest

from quorlen.scan import Database, scan_paths

from scan_records import lockfile, shared_db  # noqa: F401  (a fixture)

# (folder, file prefix, package, version, advisories that must be found and
# no others, the fix)
KNOWN = [
    # jinja2: PYSEC-2019-217 <2.10.1, PYSEC-2021-66 <2.11.3; not PYSEC-2014-8
    # (<2.7.2), PYSEC-2014-82 (<2.7.3), PYSEC-2019-220 (<2.8.1).
    ("requirements", "pypa__pipenv__ecf984d", "jinja2", "2.10", {"PYSEC-2019-217", "PYSEC-2021-66"}, "2.11.3"),
    # urllib3: not PYSEC-2017-98 (1.17 to 1.18.1), PYSEC-2018-32 (<1.23),
    # PYSEC-2020-149 (1.25.2 to 1.25.8), PYSEC-2021-59 (1.26.0 to 1.26.4). The
    # fixes 1.24.2 ... 1.26.17 each fall in a later advisory; 1.26.18 in none.
    ("requirements", "pypa__pipenv__ecf984d", "urllib3", "1.24.1",
     {"PYSEC-2019-132", "PYSEC-2019-133", "PYSEC-2020-148", "PYSEC-2021-108", "PYSEC-2023-192", "PYSEC-2023-207",
      "PYSEC-2023-212"}, "1.26.18"),
    ("pipenv", "pypa__pipenv__6126301", "urllib3", "1.22",
     {"PYSEC-2018-32", "PYSEC-2019-132", "PYSEC-2019-133", "PYSEC-2020-148", "PYSEC-2021-108", "PYSEC-2023-192",
      "PYSEC-2023-207", "PYSEC-2023-212"}, "1.26.18"),
    # go-git/v5: every record of the module has introduced 0; the highest fix is 5.19.2.
    ("go", "golang__vulndb__821b6d5", "github.com/go-git/go-git/v5", "5.4.2",
     {"GO-2025-3367", "GO-2026-4473", "GO-2026-4909", "GO-2026-5105", "GO-2026-5693", "GO-2026-6213"}, "5.19.2"),
    ("go", "golang__vulndb__821b6d5", "github.com/go-git/go-billy/v5", "5.3.1", {"GO-2026-5597"}, "5.9.0"),
    ("cargo", "BurntSushi__ripgrep__4de227f", "regex", "1.2.1", {"RUSTSEC-2022-0013"}, "1.5.5"),
    ("cargo", "BurntSushi__ripgrep__4de227f", "crossbeam-channel", "0.3.9", {"RUSTSEC-2022-0019"}, "0.4.3"),
]

# Advisories of the package that must not be reported for the version
# declared: fixed already, or outside every range.
CLEAN = [
    ("cargo", "BurntSushi__ripgrep__13faa39", "regex", "1.7.0", {"RUSTSEC-2022-0013"}),
    ("cargo", "BurntSushi__ripgrep__13faa39", "crossbeam-channel", "0.5.6", {"RUSTSEC-2022-0019"}),
    # requests 2.20.1: PYSEC-2018-28 is fixed in 2.20.0, the 2014 and 2015
    # ones in 2.3.0 and 2.6.0; only PYSEC-2023-74 (2.3.0 to 2.31.0) remains.
    ("requirements", "pypa__pipenv__ecf984d", "requests", "2.20.1",
     {"PYSEC-2014-13", "PYSEC-2014-14", "PYSEC-2015-17", "PYSEC-2018-28"}),
]


def _packages(path):
    from quorlen.scan.readers import read_file
    return read_file(path)


def _scan(db_path, folder, prefix):
    with Database(db_path, readonly=True) as db:
        return scan_paths([lockfile(folder, prefix)], db=db)


@pytest.mark.parametrize("folder, prefix, name, version, ids, fix", KNOWN, ids=[k[2] + "@" + k[3] for k in KNOWN])
def test_known_findings(shared_db, folder, prefix, name, version, ids, fix):  # noqa: F811
    result = _scan(shared_db, folder, prefix)
    assert result.errors == []
    mine = [f for f in result.findings if f.package.name == name]
    assert mine and {f.package.version for f in mine} == {version}
    assert {r for f in mine for r in f.records} == ids
    assert {str(f.fix) for f in mine} == {fix}


@pytest.mark.parametrize("folder, prefix, name, version, ids", CLEAN, ids=[c[2] for c in CLEAN])
def test_advisories_that_do_not_apply_are_not_reported(shared_db, folder, prefix, name, version, ids):  # noqa: F811
    with Database(shared_db, readonly=True) as db:
        assert all(db.record(i) is not None for i in ids)
        result = scan_paths([lockfile(folder, prefix)], db=db)
    assert any(p.name == name and p.version == version for p in _packages(lockfile(folder, prefix)))
    reported = {r for f in result.findings if f.package.name == name for r in f.records}
    assert reported & ids == set()


def test_a_record_and_its_aliases_are_one_finding(shared_db):  # noqa: F811
    # RUSTSEC-2022-0013 names CVE-2022-24713 and GHSA-m5pq-gvj9-9vr8.
    result = _scan(shared_db, "cargo", "BurntSushi__ripgrep__4de227f")
    (regex,) = [f for f in result.findings if f.package.name == "regex"]
    assert regex.ids == ("RUSTSEC-2022-0013", "CVE-2022-24713", "GHSA-m5pq-gvj9-9vr8")
    assert regex.severity is not None and regex.severity.vector.startswith("CVSS:3.")
    assert regex.affected == ">=0.0.0-0,<1.5.5" and regex.fixed == ("1.5.5",)
