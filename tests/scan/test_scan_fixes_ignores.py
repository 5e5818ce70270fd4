"""The fix of a package, clean against all its advisories at once, and the
ignores of --ignore and quorlen.toml."""

import datetime

import pytest

from quorlen.scan.ignore import ConfigError, parse_config
from quorlen.scan.model import Package
from quorlen.scan.scan import scan_paths

from scan_records import MemoryRecords


def _record(ident, events, versions=(), aliases=(), name="demo"):
    return {"id": ident, "modified": "2024-01-01T00:00:00Z", "aliases": list(aliases),
            "affected": [{"package": {"ecosystem": "PyPI", "name": name},
                          "ranges": [{"type": "ECOSYSTEM", "events": events}], "versions": list(versions)}]}


FIX_CASES = [
    # One advisory: its fixed version.
    ([_record("A", [{"introduced": "0"}, {"fixed": "1.5"}])], "1.2", "1.5"),
    # 1.5 fixes A but B covers it; 1.6 fixes B but A comes back at 1.6
    # (a second interval); 2.0 is the first named version clean of both.
    ([_record("A", [{"introduced": "0"}, {"fixed": "1.5"}, {"introduced": "1.6"}, {"fixed": "2.0"}]),
      _record("B", [{"introduced": "1.4"}, {"fixed": "1.6"}])], "1.2", "2.0"),
    # An advisory that does not affect 1.2 still rules out a fix it covers.
    ([_record("A", [{"introduced": "0"}, {"fixed": "1.5"}]),
      _record("B", [{"introduced": "1.5"}, {"fixed": "1.5.1"}])], "1.2", "1.5.1"),
    # Nothing named above the current version is clean.
    ([_record("A", [{"introduced": "0"}])], "1.2", None),
    ([_record("A", [{"introduced": "0"}, {"last_affected": "1.9"}])], "1.2", None),
    # Candidates go in version order, not text order: 1.3 (listed) and 1.9
    # are still covered by A; 1.10 is clean.
    ([_record("A", [{"introduced": "0"}, {"fixed": "1.10"}], versions=["1.3"]),
      _record("B", [{"introduced": "0"}, {"fixed": "1.9"}])], "1.2", "1.10"),
    # Withdrawn records neither match nor block.
    ([_record("A", [{"introduced": "0"}, {"fixed": "1.5"}]),
      dict(_record("W", [{"introduced": "1.5"}, {"fixed": "1.7"}]), withdrawn="2024-01-02T00:00:00Z")], "1.2", "1.5"),
]


@pytest.mark.parametrize("records, version, fix", FIX_CASES, ids=range(len(FIX_CASES)))
def test_the_fix_is_the_smallest_named_version_no_advisory_affects(tmp_path, records, version, fix):
    (tmp_path / "requirements.txt").write_text(f"demo=={version}\n")
    result = scan_paths([str(tmp_path)], db=MemoryRecords(records))
    assert result.findings and {f.fix.version for f in result.findings} == {fix}


@pytest.mark.parametrize("requirement, found, fix", [
    # A and B admitted: 1.5 is in B, 1.6 clean of both.
    (">=1.0", ["A", "B", "C"], "2.2.5"),
    (">=1.0,<2.0", ["A", "B"], "1.6"),
    # Only C's first interval admitted: its first fix, not the later
    # branch's 2.3.2; and never the older fixes 1.5 or 1.6 below it.
    (">=2.0,<2.1", ["C"], "2.2.5"),
    # C's second interval only: the fix of that branch.
    (">=2.3,<2.3.1", ["C"], "2.3.2"),
])
def test_a_declared_range_gets_the_first_clean_fix_of_what_it_admits(requirement, found, fix):
    records = [_record("A", [{"introduced": "0"}, {"fixed": "1.5"}]), _record("B", [{"introduced": "1.4"}, {"fixed": "1.6"}]),
               _record("C", [{"introduced": "2.0"}, {"fixed": "2.2.5"}, {"introduced": "2.3.0"}, {"fixed": "2.3.2"}])]
    from quorlen.scan.scan import ScanResult, check_packages
    result = ScanResult()
    check_packages([Package("PyPI", "demo", None, "r.txt", 1, requirement=requirement)], MemoryRecords(records), {}, result)
    assert [f.id for f in result.findings] == found
    assert {str(f.fix) for f in result.findings} == {fix}


TODAY = datetime.date(2026, 6, 1)
RECORDS = [_record("PYSEC-1", [{"introduced": "0"}, {"fixed": "2.0"}], aliases=["CVE-1"]),
           _record("PYSEC-2", [{"introduced": "0"}, {"fixed": "3.0"}])]


@pytest.mark.parametrize("config, option, found, ignored, expired", [
    ("", [], ["PYSEC-1", "PYSEC-2"], [], 0),
    ("", ["PYSEC-2"], ["PYSEC-1"], ["PYSEC-2"], 0),
    # An alias of the record ignores it too.
    ('[[ignore]]\nid = "CVE-1"\nreason = "not reachable"\n', [], ["PYSEC-2"], ["PYSEC-1"], 0),
    ('[[ignore]]\nid = "CVE-1"\nexpires = 2026-06-02\n', [], ["PYSEC-2"], ["PYSEC-1"], 0),
    # From the day of expiry on, the ignore warns and no longer applies.
    ('[[ignore]]\nid = "CVE-1"\nexpires = 2026-06-01\n', [], ["PYSEC-1", "PYSEC-2"], [], 1),
    ('[[ignore]]\nid = "PYSEC-2"\nexpires = "2020-01-01"\n[[ignore]]\nid = "PYSEC-1"\n', [],
     ["PYSEC-2"], ["PYSEC-1"], 1),
])
def test_ignores(tmp_path, config, option, found, ignored, expired):
    (tmp_path / "requirements.txt").write_text("demo==1.0\n")
    if config:
        (tmp_path / "quorlen.toml").write_text(config)
    result = scan_paths([str(tmp_path)], db=MemoryRecords(RECORDS), ignores=option, today=TODAY)
    assert [f.id for f in result.findings] == found
    assert [i.finding.id for i in result.ignored] == ignored
    assert len([w for w in result.warnings if "expired" in w]) == expired
    assert result.status == (1 if found else 0)


def test_ignored_advisories_do_not_hold_back_the_fix(tmp_path):
    (tmp_path / "requirements.txt").write_text("demo==1.0\n")
    plain = scan_paths([str(tmp_path)], db=MemoryRecords(RECORDS), today=TODAY)
    ignoring = scan_paths([str(tmp_path)], db=MemoryRecords(RECORDS), ignores=["PYSEC-2"], today=TODAY)
    assert {str(f.fix) for f in plain.findings} == {"3.0"}
    assert {str(f.fix) for f in ignoring.findings} == {"2.0"}


@pytest.mark.parametrize("text, message", [
    ("[[ignore]]\nreason = 'x'\n", "'id' is missing"),
    ("[[ignore]]\nid = 'A'\nexpires = 'soon'\n", "not a date"),
    ("[[ignore]]\nid = 'A'\nuntil = 2026-01-01\n", "unknown key 'until'"),
    ("ignore = 'A'\n", "array of tables"),
    ("[[ignore]\nid = 'A'\n", "not valid TOML"),
    ("x = " + "[" * 5000 + "]" * 5000 + "\n", "not valid TOML"),
])
def test_a_bad_configuration_is_refused_with_its_name(text, message):
    with pytest.raises(ConfigError) as e:
        parse_config(text, "proj/quorlen.toml")
    assert message in str(e.value) and str(e.value).startswith("proj/quorlen.toml: ")


def test_a_bad_configuration_is_a_file_error_and_the_scan_goes_on(tmp_path):
    (tmp_path / "requirements.txt").write_text("demo==1.0\n")
    (tmp_path / "quorlen.toml").write_text("[[ignore]]\nid = 7\n")
    result = scan_paths([str(tmp_path)], db=MemoryRecords(RECORDS), today=TODAY)
    assert [e.format for e in result.errors] == ["quorlen.toml"]
    assert [f.id for f in result.findings] == ["PYSEC-1", "PYSEC-2"]
    assert result.status == 2
