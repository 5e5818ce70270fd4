"""The ecosystem rows as the module exposes them, and the functions that read
them agreeing with one another."""

import pytest

import quorlen
from quorlen import Version, osvscan

ROWS = quorlen.ecosystems()


def test_thirty_rows_with_distinct_names_and_aliases():
    names = [row["name"] for row in ROWS]
    aliases = [alias for row in ROWS for alias in row["aliases"]]
    assert len(ROWS) == 30
    assert len(set(names + aliases)) == len(names) + len(aliases)


@pytest.mark.parametrize("row", ROWS, ids=lambda row: row["name"])
def test_every_name_of_a_row_selects_that_row(row):
    for name in (row["name"], *row["aliases"], row["name"].upper()):
        assert Version("1.0.0" if row["name"] != "go" else "v1.0.0", name).ecosystem == row["name"]
    for purl_type in row["purl_types"]:
        assert quorlen.purl_ecosystem(f"pkg:{purl_type}/demo@1.0") == row["name"]
    for osv_name in row["osv_names"]:
        assert quorlen.osv_ecosystem(osv_name) == row["name"]


@pytest.mark.parametrize(
    "name, expected",
    [
        ("PyPI", "pep440"),
        ("Debian:12", "debian"),
        ("Go", "semver"),  # OSV's Go versions lack the "v" the go rules require
        ("crates.io", "crates"),
        ("Red Hat:enterprise_linux:9", "rpm"),
        ("Alpine:v3.18", "alpine"),
        (" npm ", "npm"),
        ("UBUNTU:22.04:LTS", "debian"),
    ],
)
def test_osv_names(name, expected):
    assert quorlen.osv_ecosystem(name) == expected
    assert osvscan.osv_ecosystem(name) == expected


@pytest.mark.parametrize("name", ["", "pep440", "Nope:1", ":PyPI", "PyPI2"])
def test_unknown_osv_names(name):
    with pytest.raises(quorlen.UnknownEcosystemError) as info:
        quorlen.osv_ecosystem(name)
    assert str(info.value) == f"unknown OSV ecosystem: '{name}'"
    assert osvscan.osv_ecosystem(name) is None


def test_unknown_ecosystems_raise_one_type_everywhere():
    assert issubclass(quorlen.UnknownEcosystemError, ValueError)
    calls = [
        lambda: Version("1.0", "nope"),
        lambda: quorlen.compare("1", "2", "nope"),
        lambda: quorlen.sort_versions(["1"], "nope"),
        lambda: quorlen.satisfies("1", ">=1", "nope"),
        lambda: quorlen.build_vers("nope", "*"),
        lambda: quorlen.vers_contains("vers:nope/*", "1"),
        lambda: Version("1.0").compare("1.0", "nope"),
    ]
    for call in calls:
        with pytest.raises(quorlen.UnknownEcosystemError, match="^unsupported ecosystem 'nope'; expected one of: generic"):
            call()
    # try_parse returns None for what it cannot parse, the name included.
    assert Version.try_parse("1.0", "nope") is None
