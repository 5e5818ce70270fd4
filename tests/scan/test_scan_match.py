"""Matching packages to advisories: release suffixes, the ranges an entry
covers, declared ranges, aliases, and every listed version of the shared
records found by the ranges alone."""

import pytest

import quorlen
from quorlen.scan import ecosystems
from quorlen.scan.match import Hit, covered_range, entry_holds, merge_aliases, package_entries
from quorlen.scan.model import Package
from quorlen.scan.scan import ScanResult, check_packages

from scan_records import MemoryRecords, all_shared_records


@pytest.mark.parametrize("entry, package, expected", [
    ("Debian:12", "Debian:12", True),
    ("Debian:11", "Debian:12", False),
    ("debian:12", "Debian:12", True),
    ("Alpine:v3.18", "Alpine:v3.18", True),
    ("Alpine:v3.18", "Alpine:3.18", True),
    ("Alpine:v3.14", "Alpine:v3.18", False),
    ("Alpine:v3.1", "Alpine:v3.14", False),
    ("Alpine:v3.14", "Alpine:v3.14.0", True),
    ("Ubuntu:20.04:LTS", "Ubuntu:20.04", True),
    ("Ubuntu:Pro:18.04:LTS", "Ubuntu:18.04", True),
    ("Ubuntu:22.04:LTS", "Ubuntu:20.04", False),
    ("AlmaLinux:9", "AlmaLinux:9", True),
    ("AlmaLinux:8", "AlmaLinux:9", False),
    # A package whose release is unknown is covered by every release.
    ("Debian:12", "Debian", True),
    ("AlmaLinux:8", "AlmaLinux", True),
    # An entry without a release covers every release.
    ("Debian", "Debian:12", True),
    ("Ubuntu:20.04:LTS", "Debian:12", False),
    ("PyPI", "npm", False),
])
def test_release_suffixes(entry, package, expected):
    assert ecosystems.release_matches(entry, package) is expected


def _entry(*ranges, versions=None):
    entry = {"package": {"ecosystem": "PyPI", "name": "demo"}, "ranges": [{"type": "ECOSYSTEM", "events": r}
                                                                          for r in ranges]}
    if versions is not None:
        entry["versions"] = versions
    return entry


ENTRIES = [
    _entry([{"introduced": "0"}, {"fixed": "2.10.1"}]),
    _entry([{"introduced": "1.0"}, {"fixed": "1.2"}, {"introduced": "2.0"}, {"fixed": "2.2"}]),
    _entry([{"introduced": "1.5"}, {"last_affected": "1.7"}]),
    _entry([{"introduced": "3.0"}]),
    _entry([{"introduced": "0"}]),
    _entry([{"fixed": "1.1"}], [{"introduced": "2.0"}, {"fixed": "2.1"}]),
    _entry(versions=["1.3", "2.5"]),
    _entry([{"introduced": "1.0"}, {"fixed": "1.2"}], versions=["3.1"]),
    {"package": {"ecosystem": "PyPI", "name": "demo"},
     "ranges": [{"type": "GIT", "repo": "x", "events": [{"introduced": "0"}, {"fixed": "abc"}]}]},
]
PROBES = ["0.1", "1.0", "1.1", "1.2", "1.3", "1.5", "1.7", "1.8", "2.0", "2.1", "2.2", "2.5", "2.10",
          "2.10.1", "3.0", "3.1", "9.0"]


@pytest.mark.parametrize("entry", ENTRIES, ids=range(len(ENTRIES)))
def test_the_covered_range_holds_what_the_library_decides(entry):
    # The covered range (used for declared ranges) must agree, version by
    # version, with the library's own decision of the entry.
    covered = covered_range(entry)
    for version in PROBES:
        expected = quorlen.osv_affected(version, entry, ecosystem="pep440")
        got = covered is not None and quorlen.satisfies(version, covered, "pep440")
        assert got == expected, (version, covered)


def _hits(records, package):
    result = ScanResult()
    check_packages([package], MemoryRecords(records), {}, result)
    return result


def _record(ident, entry, **extra):
    return {"id": ident, "modified": "2024-01-01T00:00:00Z", "affected": [entry], **extra}


@pytest.mark.parametrize("requirement, expected", [
    (">=2.11", ["C"]),
    (">=2.10", ["A", "C"]),
    ("==2.10.1", []),
    ("<1.0", ["A"]),
    ("2.1.*", ["A", "B"]),
    (">=2.2,<2.10", ["A"]),
    (">=5", ["C"]),
])
def test_a_declared_range_lists_the_advisories_it_admits(requirement, expected):
    records = [_record("A", ENTRIES[0]), _record("B", ENTRIES[1]), _record("C", ENTRIES[3])]
    result = _hits(records, Package("PyPI", "demo", None, "requirements.txt", 3, requirement=requirement))
    assert [f.id for f in result.findings] == expected


def test_withdrawn_records_and_other_releases_are_skipped():
    entry = {"package": {"ecosystem": "Debian:11", "name": "demo"},
             "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "0"}, {"fixed": "2.0-1"}]}]}
    entry12 = dict(entry, package={"ecosystem": "Debian:12", "name": "demo"})
    records = [_record("DSA-1", entry), _record("DSA-2", entry12),
               _record("DSA-3", entry12, withdrawn="2024-02-01T00:00:00Z")]
    on12 = _hits(records, Package("Debian:12", "demo", "1.0-1", "status", 10))
    unknown = _hits(records, Package("Debian", "demo", "1.0-1", "status", 10))
    assert [f.id for f in on12.findings] == ["DSA-2"]
    assert [f.id for f in unknown.findings] == ["DSA-1", "DSA-2"]


def test_aliases_make_one_finding_listing_every_id():
    entry = ENTRIES[0]
    records = [
        _record("PYSEC-1", entry, aliases=["CVE-1", "GHSA-1"]),
        _record("GHSA-1", entry, aliases=["CVE-1"]),           # names PYSEC-1's alias
        _record("OSV-9", entry, aliases=["PYSEC-1"]),          # names PYSEC-1 itself
        _record("PYSEC-2", entry, aliases=["CVE-2"]),          # a vulnerability of its own
    ]
    result = _hits(records, Package("PyPI", "Demo", "2.0", "requirements.txt", 1))
    assert [(f.records, set(f.ids)) for f in result.findings] == [
        (("PYSEC-1", "GHSA-1", "OSV-9"), {"PYSEC-1", "GHSA-1", "OSV-9", "CVE-1"}),
        (("PYSEC-2",), {"PYSEC-2", "CVE-2"}),
    ]


def test_alias_groups_join_through_a_chain():
    def hit(ident, aliases):
        return Hit({"id": ident, "aliases": aliases})
    groups = merge_aliases([hit("A", ["X"]), hit("B", ["Y"]), hit("C", ["X", "Y"]), hit("D", [])])
    assert [[h.id for h in g] for g in groups] == [["A", "B", "C"], ["D"]]


@pytest.mark.parametrize("package, reason", [
    (Package("PyPI", "demo", "1.0", "f", 1, source="git"), "git dependency"),
    (Package("PyPI", "demo", None, "f", 1), "no version declared"),
    (Package("Nowhere", "demo", "1.0", "f", 1), "no version ordering"),
    (Package("PyPI", "demo", "not a version!", "f", 1), "cannot be read"),
    (Package("PyPI", "demo", None, "f", 1, requirement=">>>1"), "cannot be read"),
])
def test_dependencies_that_cannot_be_checked_are_reported(package, reason):
    result = _hits([_record("A", ENTRIES[4])], package)
    assert result.findings == [] and len(result.unchecked) == 1
    assert reason in result.unchecked[0].reason


# Listed versions that the entry's ranges do not hold, each for a reason
# that lies in the record itself.
NOT_IN_RANGES = {
    # The ranges start at the final releases 3.2 and 4.2; their earlier
    # pre-releases are listed anyway.
    ("PYSEC-2023-61", "3.2a1"), ("PYSEC-2023-61", "3.2b1"), ("PYSEC-2023-61", "3.2rc1"),
    ("PYSEC-2023-61", "4.2a1"), ("PYSEC-2023-61", "4.2b1"), ("PYSEC-2023-61", "4.2rc1"),
    # The ECOSYSTEM range is fixed in 23.9.0; the list follows the GIT range
    # and names 23.9.0 and its post-release.
    ("PYSEC-2023-177", "23.9.0"), ("PYSEC-2023-177", "23.9.0.post1"),
    # The entry has no ranges at all, only the list.
    ("PYSEC-2024-1", "0.5"),
    # Listed texts that are not versions at all.
    ("PYSEC-2020-341", "-class.-jw.util.version.Version-"),
    ("PYSEC-2021-121", "trunk"),
    ("PYSEC-2017-41", "a3"),
    ("PYSEC-2019-126", "a3"),
}


def test_every_listed_version_of_the_shared_records_is_found_by_the_ranges_alone():
    missed, checked, ecosystems_seen = set(), 0, set()
    for record in all_shared_records():
        if record.get("withdrawn"):
            continue
        for entry in record.get("affected", []):
            versions = entry.get("versions") or []
            eco = entry["package"]["ecosystem"]
            library = ecosystems.library_ecosystem(eco)
            assert library is not None or not versions, eco
            ranges_only = {k: v for k, v in entry.items() if k != "versions"}
            covered = covered_range(ranges_only)
            for version in versions:
                checked += 1
                ecosystems_seen.add(ecosystems.base(eco))
                warnings = []
                found = entry_holds(ranges_only, library, version, warnings, record["id"])
                if found:
                    # The covered range says the same as the entry.
                    assert quorlen.satisfies(version, covered, library), (record["id"], version, covered)
                else:
                    missed.add((record["id"], version))
    assert checked > 100_000 and "PyPI" in ecosystems_seen
    assert missed == NOT_IN_RANGES


def test_entries_are_matched_by_normalised_name():
    record = _record("A", {"package": {"ecosystem": "PyPI", "name": "Zope.Interface"}})
    assert package_entries(record, "PyPI", ecosystems.normalize_name("PyPI", "zope_interface")) != []
    assert package_entries(record, "npm", "zope-interface") == []


@pytest.mark.parametrize("bad", [
    {"ranges": "all"},
    {"ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": 0}]}]},
    {"ranges": [{"type": "ECOSYSTEM", "events": ["0"]}]},
    {"ranges": [["introduced"]]},
    {"versions": [1, 2]},
    {"ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "x!y"}]}]},
])
def test_a_malformed_record_is_skipped_with_a_warning_and_the_others_still_count(bad):
    good = _record("GOOD", ENTRIES[0])
    broken = _record("BAD", dict({"package": {"ecosystem": "PyPI", "name": "demo"}}, **bad))
    for package in (Package("PyPI", "demo", "1.0", "r.txt", 1), Package("PyPI", "demo", "2.0", "r.txt", 2),
                    Package("PyPI", "demo", None, "r.txt", 3, requirement=">=1.0")):
        result = _hits([broken, good], package)
        assert [f.id for f in result.findings] == ["GOOD"]
        assert any("BAD" in w for w in result.warnings)
        assert {str(f.fix) for f in result.findings} == {"2.10.1"}
