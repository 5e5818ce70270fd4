"""Debian and RPM package versions: the epoch/version/revision split and the
two character-class orderings."""

import pytest

import quorlen

DEBIAN_NAMES = ["debian", "deb", "dpkg"]
RPM_NAMES = ["rpm", "redhat"]


def cmp(a, b, eco):
    return quorlen.compare(a, b, ecosystem=eco)


def assert_less(a, b, eco):
    assert cmp(a, b, eco) == -1, (a, b)
    assert cmp(b, a, eco) == 1, (b, a)


def assert_same(a, b, eco):
    assert cmp(a, b, eco) == 0, (a, b)
    assert cmp(b, a, eco) == 0, (b, a)


@pytest.mark.parametrize(
    "eco, message",
    [(name, "empty Debian version") for name in DEBIAN_NAMES] + [(name, "empty RPM version") for name in RPM_NAMES],
)
@pytest.mark.parametrize("text", ["", "   ", "\t\u2003\n"])
def test_empty_texts_are_refused(eco, message, text):
    with pytest.raises(ValueError) as info:
        quorlen.compare(text, "1.0", ecosystem=eco)
    assert str(info.value) == message


# ------------------------------------------------------------------ Debian

DEBIAN_LESS = [
    ("1.0~rc1", "1.0"),
    ("1.0~~", "1.0~"),
    ("1.0~", "1.0"),
    ("1.0~~a", "1.0~"),
    ("1.0", "1.0a"),
    ("1.0a", "1.0+"),  # letters before punctuation
    ("1.0z", "1.0."),
    ("1.0", "1.0.0"),
    ("1.0A", "1.0a"),  # letters weigh by byte value
    ("9", "10"),
    ("1.9", "1.10"),
    ("2:0.1", "3:0.0"),
    ("1:9.9", "2:0.1"),
    ("9.9", "1:0.1"),
    ("1.0-1", "1.0-2"),
    ("1.0-9", "1.0-10"),
    ("1.0-1", "1.0.1-0"),
    ("1.0-1~bpo1", "1.0-1"),
    ("1.0-1", "1.0-1+deb11u1"),
    ("1.0-1-2", "1.0-1-10"),  # upstream 1.0-1, revision 2 against 10
    ("1.0-1-9", "1.0-2-1"),  # the upstream decides before the revision
    ("1.0-0", "1.0-a"),
    ("1.0", "a:1.0"),  # no epoch: "a:" stays in the upstream, and a letter outranks a digit's 0
    ("-", "0-0a"),
    ("1:", "1:0a"),
    ("1.0+", "1.0é"),  # bytes of non-ASCII characters weigh as punctuation, by unsigned value
]


@pytest.mark.parametrize("eco", DEBIAN_NAMES)
@pytest.mark.parametrize("a, b", DEBIAN_LESS)
def test_debian_pairs_in_order(eco, a, b):
    assert_less(a, b, eco)


@pytest.mark.parametrize(
    "a, b",
    [
        ("1.01", "1.1"),
        ("1.0", "1.0-0"),
        ("1.0", "0:1.0"),
        ("1.0", "000:1.0"),
        ("1.0", " 1.0\n"),
        ("1.0-", "1.0"),
        ("1.0-00", "1.0"),
        ("-", "0"),
        ("1:", "1:0"),
        ("0001.0002", "1.2"),
    ],
)
def test_debian_equal_pairs(a, b):
    assert_same(a, b, "debian")


def test_debian_epoch_text_that_is_no_epoch_stays_in_the_upstream():
    # ':' without digits before it, or after a letter, is ordinary text.
    assert_same(":1.0", ":1.0", "debian")
    assert_less("0:1.0", ":1.0", "debian")  # ':' weighs as punctuation against the digit
    big = "9" * 20 + ":1.0"
    # 20 nines exceed 64 bits: no epoch, the digits lead the upstream instead.
    assert_less(big, "1:0", "debian")
    assert_less("99999999999999999998:1.0", big, "debian")


# --------------------------------------------------------------------- RPM

RPM_LESS = [
    ("1.0~rc1", "1.0"),
    ("1.0~rc1", "1.0~rc2"),
    ("1.0~~", "1.0~"),
    ("1.0", "1.0^git1"),
    ("1.0^git1", "1.0.1"),
    ("1.0^", "1.0^git1"),
    ("1.0^git1", "1.0a"),
    ("1.0~rc1", "1.0^"),
    ("1.0a", "1.0.1"),  # letters meet a number: the letters are less
    ("1.0", "1.0a"),
    ("1.9", "1.10"),
    ("A", "a"),
    ("alpha", "beta"),
    ("alpha", "alphab"),
    ("1.0", "1.0-0"),
    ("1.0-~1", "1.0"),
    ("2:1.0", "3:0"),
    ("1:9.9", "2:1.0"),
    ("1.0-2", "1.0-10"),
    ("1.2-3-4", "1.2-3-10"),
    ("1.2-3-9", "1.2-4-1"),
    ("1.0-1.el7", "1.0-1.el8"),
    ("2.17-326.el7", "2.17-326.el7_9"),
]


@pytest.mark.parametrize("eco", RPM_NAMES)
@pytest.mark.parametrize("a, b", RPM_LESS)
def test_rpm_pairs_in_order(eco, a, b):
    assert_less(a, b, eco)


@pytest.mark.parametrize(
    "a, b",
    [
        ("1.0.", "1.0"),
        ("1.0", "1_0"),
        ("1.0", "1..0"),
        ("1.010", "1.10"),
        ("1.0", "0:1.0"),
        ("1.0", "1.0-"),
        ("1.0", "1.0-._"),  # a release of separators only equals none
        ("1.0", " 1.0 "),
        ("1.0é", "1.0"),  # bytes of non-ASCII characters are separators
        ("007", "7"),
    ],
)
def test_rpm_equal_pairs(a, b):
    assert_same(a, b, "rpm")


def test_debian_and_rpm_differ_where_their_rules_do():
    # Debian ranks punctuation; RPM skips it.
    assert_same("1.0", "1_0", "rpm")
    assert_less("1.0", "1_0", "debian")
    # Only RPM knows '^'.
    assert_less("1.0^git1", "1.0.1", "rpm")
    assert_less("1.0.1", "1.0^git1", "debian")
