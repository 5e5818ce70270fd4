"""Ecosystems ordered by their own tools' rules rather than the generic
ordering. No tool of these ecosystems installs here, so the cases come from
each ecosystem's documentation and its tools' published test cases; every
chain is checked pairwise both ways, and equal spellings hash alike."""

import itertools
import zipfile
import json

import pytest

import quorlen
from quorlen import Version

from scan.scan_records import SHARED


def cmp(a, b, eco):
    return quorlen.compare(a, b, ecosystem=eco)


def check_chain(eco, chain):
    """`chain`: groups of equal spellings in ascending order."""
    for (i, group_a), (j, group_b) in itertools.product(enumerate(chain), repeat=2):
        expected = (i > j) - (i < j)
        for a, b in itertools.product(group_a, group_b):
            assert cmp(a, b, eco) == expected, (a, b, eco)
    for group in chain:
        assert len({hash(Version(t, eco)) for t in group}) == 1, (group, eco)


def check_pairs(eco, pairs):
    """`pairs`: (lesser, greater) or (a, b, 0) for equal ones."""
    for a, b, *equal in pairs:
        expected = 0 if equal else -1
        assert cmp(a, b, eco) == expected, (a, b, eco)
        assert cmp(b, a, eco) == -expected, (b, a, eco)
        if equal:
            assert hash(Version(a, eco)) == hash(Version(b, eco)), (a, b, eco)


def check_laws(eco, texts):
    """The order is total on the texts: sorting puts no pair out of order,
    compare is antisymmetric, and equal versions hash alike."""
    ordered = quorlen.sort_versions(texts, ecosystem=eco)
    for i, j in itertools.combinations(range(len(ordered)), 2):
        a, b = ordered[i], ordered[j]
        assert cmp(a, b, eco) <= 0 and cmp(b, a, eco) == -cmp(a, b, eco), (a, b)
        if cmp(a, b, eco) == 0:
            assert hash(Version(a, eco)) == hash(Version(b, eco)), (a, b)
    assert [Version(t, eco) for t in ordered] == sorted(Version(t, eco) for t in texts)


# ------------------------------------------------------------------ alpine

ALPINE_CHAIN = [
    ["1.0_alpha"], ["1.0_alpha1", "1.0_alpha01"], ["1.0_alpha2"], ["1.0_beta"], ["1.0_pre1"], ["1.0_rc1"],
    ["1.0", "01.0", "1.00"], ["1.0-r0"], ["1.0-r1", "1.0-r01"], ["1.0_cvs"], ["1.0_svn"], ["1.0_git20200101"],
    ["1.0_hg"], ["1.0_p1"], ["1.0_p2-r1"], ["1.0a"], ["1.0b"], ["1.0.0_rc1"], ["1.0.1"], ["1.01"], ["1.1"],
]


def test_alpine_documented_order():
    check_chain("alpine", ALPINE_CHAIN)


def test_alpine_real_boundaries():
    check_pairs("apk", [
        ("1.1.1", "1.1.1w"),  # a letter release follows its base
        ("1.1.1k-r0", "1.1.1w"), ("1.1.1w", "1.1.2"), ("1.0.2j-r0", "1.0.2k"),
        ("10.3.1", "10.3.1_git20210424-r2"), ("10.3.1_git20210424-r2", "10.3.2"),
        ("1.1.14-r9", "1.1.14-r14"), ("2.34", "23_beta"), ("0.1.0_alpha", "0.1.0_alpha2"),
        ("3.18.4_rc2-r0", "3.18.4-r0"), ("10.4.25-r0", "10.5.16-r0"),
    ])


def alpine_real_versions():
    texts = set()
    apk = SHARED / "lockfiles" / "apk"
    osv = SHARED / "osv" / "Alpine.zip"
    if not apk.is_dir() or not osv.is_file():
        pytest.skip("the shared test data (../shared/data beside the repository) is not present")
    for path in apk.iterdir():
        texts.update(line[2:] for line in path.read_text().splitlines() if line.startswith("V:"))
    with zipfile.ZipFile(osv) as z:
        for name in z.namelist():
            for affected in json.loads(z.read(name))["affected"]:
                for r in affected["ranges"]:
                    texts.update(v for e in r["events"] for v in e.values() if v != "0")
    return sorted(texts)


def test_alpine_real_versions_total_order():
    texts = alpine_real_versions() + [t for group in ALPINE_CHAIN for t in group]
    check_laws("alpine", texts)
    # The package release orders only between equal versions.
    for a, b in itertools.combinations(alpine_real_versions(), 2):
        base_a, base_b = a.rsplit("-r", 1)[0], b.rsplit("-r", 1)[0]
        if base_a != base_b:
            assert cmp(a, b, "alpine") == cmp(base_a, base_b, "alpine"), (a, b)


# ------------------------------------------------------------------ gentoo

GENTOO_CHAIN = [
    ["1.0_alpha", "1.0_alpha0"], ["1.0_alpha1"], ["1.0_beta1"], ["1.0_pre1"], ["1.0_rc1"],
    ["1.0", "1.00", "1.0-r0"], ["1.0-r1"], ["1.0_p1"], ["1.0a"], ["1.0b_p1"], ["1.0.0"], ["1.01"], ["1.1"],
]


def test_gentoo_documented_order():
    check_chain("gentoo", GENTOO_CHAIN)


# Published comparison cases of the package manager's test suite.
def test_gentoo_published_cases():
    check_pairs("portage", [
        ("5.0", "6.0"), ("5", "5.0"), ("1.0-r0", "1.0-r1"), ("1.0", "1.0-r1"), ("1.0", "1.0.0"), ("1.0b", "1.0.0"),
        ("1_p1", "1b_p1"), ("1", "1b"), ("1.1", "1.1b"), ("12.2b", "12.2.5"), ("1.0_pre2", "1.0_p2"),
        ("1.0_alpha2", "1.0_p2"), ("1.0_alpha1", "1.0_beta1"), ("1.0_beta3", "1.0_rc3"), ("1.01", "1.1"),
        ("1.001000000000000000001", "1.001000000000000000002"), ("1.00100000000", "1.0010000000000000001"),
        ("999999999999999999999999999998", "999999999999999999999999999999"), ("1.0_pre1", "1.0_rc1"),
        ("1.0", "1.0-r0", 0), ("4.0", "4.0", 0), ("1.0_p1-r1", "1.0_p1-r01", 0),
    ])


@pytest.mark.parametrize("eco", ["alpine", "gentoo"])
def test_text_outside_the_grammar_still_orders(eco):
    # The tools refuse these; they keep a total order, after what they share.
    texts = ["1.0-foo", "1.0_foo", "1.0.x", "1.0foo", "1.0FOO", "1.0", "1.0_rc1", "1.0-r1", "2"]
    check_laws(eco, texts)
    assert cmp("1.0-foo", "1.0-bar", eco) == 1
    assert cmp("1.0_foo", "1.1", eco) == -1


# ------------------------------------------------------------------- nuget

# The order the versioning documentation lists, with the spellings it holds
# equal (missing parts, leading zeros, case, metadata).
NUGET_CHAIN = [
    ["1.0.1-aaa"], ["1.0.1-alpha10"], ["1.0.1-alpha2"], ["1.0.1-beta", "1.0.1-BETA", "1.0.1-Beta+git.7"],
    ["1.0.1-open"], ["1.0.1-rc"], ["1.0.1-rc.2"], ["1.0.1-rc.10", "1.0.1-rc.010"], ["1.0.1-rc.x"], ["1.0.1-zzz"],
    ["1.0.1", "1.0.1.0", "01.0.1", "1.0.1+b"], ["1.0.2-0"], ["1.0.2"], ["1.0.2.1"], ["1.1"],
]


def test_nuget_documented_order():
    check_chain("nuget", NUGET_CHAIN)


def test_nuget_semver2_labels():
    check_pairs("dotnet", [
        ("1.0.0-alpha", "1.0.0-alpha.1"), ("1.0.0-alpha.1", "1.0.0-alpha.beta"), ("1.0.0-beta.2", "1.0.0-beta.11"),
        ("1.0.0-preview.1", "1.0.0-rc.1"), ("1.0.0-1", "1.0.0-a"),
        ("1.0.0-ab", "1.0.0-a_b"),  # case is folded to upper case, which sorts below "_"
        ("1.0", "1.0.0.0", 0), ("1.0.0-RC.1", "1.0.0-rc.1", 0),
    ])


# ------------------------------------------------------------------- conda

# VersionOrder's documented chain, with the spellings it documents as equal.
CONDA_CHAIN = [
    ["0.4", "0.4.0"], ["0.4.1.rc", "0.4.1.RC"], ["0.4.1"], ["0.5a1"], ["0.5b3"], ["0.5C1"], ["0.5"], ["0.9.6"],
    ["0.960923"], ["1.0"], ["1.1dev1"], ["1.1_"], ["1.1a1"], ["1.1.0dev1", "1.1.dev1"], ["1.1.a1"], ["1.1.0rc1"],
    ["1.1.0", "1.1", "1.1-0"], ["1.1.0post1", "1.1.post1"], ["1.1post1"], ["1996.07.12"], ["1!0.4.1"],
    ["1!3.1.1.6"], ["2!0.4.1"],
]


def test_conda_documented_order():
    check_chain("conda", CONDA_CHAIN)


def test_conda_local_version_and_words():
    check_pairs("mamba", [
        ("1.0+a", "1.0+b"), ("1.0", "1.0+1"), ("1.0+1", "1.0.1"), ("1.0+0", "1.0", 0),
        ("1.0.dev", "1.0.alpha"), ("1.0.post", "1.0.1"),
        ("1.0.1", "1.0post"),  # "post" outranks every number of its component ("1.0.1.post", "1.0.2dev"),
        ("1.2.3_4", "1.2.3.4", 0), ("1.0DEV1", "1.0dev1", 0),
    ])


# --------------------------------------------------------------- terraform

# Cases published with the version library Terraform and OpenTofu use.
def test_terraform_published_cases():
    check_pairs("terraform", [
        ("1.2.3", "1.4.5"), ("1.1.4", "1.2"), ("1.2-beta", "1.2"), ("1.7rc1", "1.7rc2"), ("1.7rc2", "1.7"),
        ("1.2.0-X-1.2.0+metadata~dist", "1.2.0"), ("1.2-beta.1", "1.2-beta.2"), ("1.2-beta.2", "1.2-beta.11"),
        ("3.2-alpha", "3.2-alpha.1"), ("1.2-beta", "1.2-beta.3"), ("1.2-alpha", "1.2-beta.3"),
        ("1.2-alpha.3", "1.2-beta"), ("3.0-alpha.3", "3.0-rc.1"), ("3.0-alpha3", "3.0-rc1"),
        ("3.0-alpha.1", "3.0-alpha.beta"),
        ("1.0.0-alpha", "1.0.0-dev"),  # words by their bytes, with no ranks of their own
        ("1.2-beta", "1.2-beta", 0), ("1.2+foo", "1.2+beta", 0), ("1.2", "1.2.0.0", 0),
    ])


def test_terraform_mends_of_the_library():
    # Trailing zero segments no longer hide the pre-release; two spellings
    # of one number are equal rather than each the lesser; and of the
    # library's cycle x.1 < x.a < x < x.1 the last step is SemVer's.
    check_pairs("opentofu", [
        ("1.0.0.0-beta", "1.0.0"), ("1.0.0-beta", "1.0.0.0-beta", 0), ("1.0-rc.01", "1.0-rc.1", 0),
        ("5.4-alpha", "5.4-alpha.beta"), ("5.4-alpha.1", "5.4-alpha.beta"), ("5.4-alpha", "5.4-alpha.1"),
    ])


# ----------------------------------------------------------------- freebsd

# The rules `pkg version` documents, with the porter's handbook's spellings
# of pre-releases (1.3alpha as 1.3.a, 2.0rc3 as 2.0.r3).
FREEBSD_CHAIN = [
    ["0.9.b1"], ["0.9", "0.9.0", "0.09"], ["1.0.a", "1.0alpha"], ["1.0.a0", "1.0.alpha0"], ["1.0.a1", "1.0alpha1"],
    ["1.0.b1", "1.0beta1"], ["1.0.p2", "1.0pre2"], ["1.0.r3", "1.0rc3"], ["1.0", "1.0.0", "1..0"], ["1.0_1"],
    ["1.0_2", "1.0_02"], ["1.0.1"], ["1.0.2003.09.16", "1.0:2003.09.16"], ["1.0pl1"], ["1.0a"],
    ["1.0b", "1.0bcd"], ["1.1"], ["10.1", "10..1"], ["10a1.b2", "10a1b2"], ["0.1,1"], ["2.0_3,1"], ["1.0,2"],
]


def test_freebsd_documented_order():
    check_chain("freebsd", FREEBSD_CHAIN)


def test_freebsd_differs_from_generic_where_pkg_does():
    # The revision after '_' and the epoch after ',' are not version parts.
    assert quorlen.compare("1.0_1", "1.0.1") == 0
    check_pairs("freebsd-pkg", [("1.0_1", "1.0.1"), ("2.0", "1.0,1"), ("1.0.1:2003.09.16", "1.0:2003.09.16")])


# ------------------------------------------------------------------ homebrew

HOMEBREW_CHAIN = [
    ["1.0alpha1", "1.0a1", "1.0-ALPHA01"], ["1.0alpha2"], ["1.0beta1", "1.0b1"], ["1.0pre1"],
    ["1.0rc1", "1.0-rc1", "1.0.0rc1"], ["1.0rc2"], ["1.0", "1", "1.0.0", "1-0"], ["1.0a", "1a", "1.0.0a"],
    ["1.0b"], ["1.0p1", "1.0-p1"], ["1.0p2"], ["1.0.post1"], ["1.0w"], ["1.0.1"], ["1.1"], ["1.10", "1.010"],
    ["2"], ["HEAD", "HEAD-abc1234"],
]


def test_homebrew_documented_order():
    check_chain("homebrew", HOMEBREW_CHAIN)


def test_homebrew_differs_from_generic_where_brew_does():
    # A trailing letter is a later release, and pre comes before rc.
    assert quorlen.compare("1.1.1w", "1.1.1") == -1 and quorlen.compare("1.0pre1", "1.0rc1") == 0
    check_pairs("brew", [
        ("1.1.1", "1.1.1w"), ("1.1.1v", "1.1.1w"), ("1.0pre1", "1.0rc1"), ("3.12.0rc3", "3.12.0"),
        ("9.0p1", "9.1p1"), ("9.4p1", "9.5p1"), ("2.0.0-beta.2", "2.0.0"), ("20230101", "HEAD-0a1b2c3"),
    ])


# ------------------------------------------------------------------ spack

SPACK_CHAIN = [
    ["rc1"], ["1.0alpha", "1.0-alpha", "1.0.alpha"], ["1.0alpha1", "1.0_alpha_01"], ["1.0alpha2"], ["1.0beta"],
    ["1.0rc1", "1.0-rc.1"], ["1.0rc2"], ["1.0", "1-0", "1_0", "01.00"], ["1.0.B"], ["1.0a", "1.0.a"], ["1.0b"],
    ["1.0.0"], ["1.0.0.0"], ["1.0.1"], ["1.1"], ["1.10", "1.010"], ["2"], ["99999"],
    ["stable"], ["trunk"], ["head"], ["master"], ["main"], ["develop"], ["develop.1"],
]


def test_spack_documented_order():
    check_chain("spack", SPACK_CHAIN)


def test_spack_differs_from_generic_where_spack_does():
    # Every component counts, only alpha, beta and rc mark pre-releases, and
    # branch names rank above every number.
    assert quorlen.compare("1.0", "1.0.0") == 0 and quorlen.compare("develop", "1.0") == -1
    check_pairs("spack", [
        ("1.0", "1.0.0"), ("2023.10", "2023.10.1"), ("4.0.0rc1", "4.0.0"), ("1.2.0-beta", "1.2.0"),
        ("1.0", "1.0pre1"), ("2.5.0", "develop"), ("master", "develop"), ("main", "develop"),
    ])


@pytest.mark.parametrize("eco", ["homebrew", "spack"])
def test_mixed_texts_order_totally(eco):
    texts = ["1.0", "1.0.0", "1.0a", "1a", "1.0.0a", "1.0.a", "1.0+x", "1.0+y", "1.0~", "1.0rc1", "0", "0.0a",
             "a", "A", "x0", "1.0.0b0", "1..0", "-", "main", "HEAD", "HEAD-1", "1.post2", "1.0.post2", "1.0p",
             "1.0pre", "1.0alphabet", "1.0a0", "1.0.0.1", "\u00e91.0", "rc", "1rc"]
    check_laws(eco, texts)
