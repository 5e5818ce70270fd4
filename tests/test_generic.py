"""The generic ordering: any text is a version; numbers, words ranked by
their tag weight, trailing zeros and release words ignored."""
import itertools

import pytest
from hypothesis import given, strategies as st

import quorlen
from quorlen import compare, eq, gt, lt

# Each group is equal within itself; the groups are in ascending order.
LADDER = [
    ["1.0~1"],
    ["1.0.dev1"],
    ["1.0a1", "1.0alpha1", "1.0.alpha.1", "1.0-A1"],
    ["1.0b1", "1.0beta1"],
    ["1.0m1", "1.0milestone1"],
    ["1.0rc1", "1.0c1", "1.0pre1", "1.0preview1", "1.0cr1", "1.0-RC1"],
    ["1.0-snapshot"],
    ["1.0-bar"],
    ["1.0-foo"],
    ["1.0", "1", "1.0.0", "1.0-final", "1.0.ga", "1.0-release", "1.0.0.0.final", "v1.0", "V1.0", "1.0+build.7"],
    ["1.0^1"],
    ["1.0.post1", "1.0p1", "1.0post1", "1.0patch1", "1.0sp1"],
    ["1.0.0.0.1"],
    ["1.0.1", "1.0-1"],
    ["1.1"],
    ["9.9"],
    ["1!2.0", "1:2.0"],
]


def test_ladder_orders_every_pair_both_ways():
    for (i, lo), (j, hi) in itertools.combinations(enumerate(LADDER), 2):
        for a, b in itertools.product(lo, hi):
            assert compare(a, b) == -1, (a, b)
            assert compare(b, a) == 1, (b, a)


@pytest.mark.parametrize("group", LADDER)
def test_ladder_groups_are_equal(group):
    for a, b in itertools.product(group, repeat=2):
        assert compare(a, b) == 0, (a, b)


@pytest.mark.parametrize(
    "a, b",
    [
        ("", "0"), ("   ", "0"), ("0.0", "0"), ("\u3000\t", "0.0.0"),
        ("18446744073709551616", "18446744073709551615"),
        ("99999999999999999999999", "18446744073709551615"),
        ("1.0é", "1.0"), ("1.0+", "1.0"), ("1.0+Build.5", "1.0+other"),
        ("1_0", "1.0"), ("1 0", "1.0"), ("1*0", "1.0"),
        (":2.0", "2.0"),
        ("1.0\x00", "1.0"),
        (" \u2028 1.2 \u00a0", "1.2"),
    ],
)
def test_equal_pairs(a, b):
    assert compare(a, b) == 0 and compare(b, a) == 0


@pytest.mark.parametrize(
    "lo, hi",
    [
        ("1.0.a", "1.0.1"),          # a number outranks a word
        ("9.9", "1!2.0"),            # epochs first
        ("a1:2", "2.0"),             # no epoch there: the word "a" first, and a word is below a number
        ("1.0", "1.0.1"),
        ("1.9", "1.10"),
        ("1.0-bar", "1.0-foo"),      # two unknown words, bytewise
        ("1.0-foo", "1.0-fooa"),     # a proper prefix is less
        ("v", "1"),
        ("vx", "vy"),
        ("1.0.0.0.1", "1.0.0.0.2"),
        ("0.1", "1"),
        ("1.0", "18446744073709551615"),
    ],
)
def test_ordered_pairs(lo, hi):
    assert compare(lo, hi) == -1
    assert compare(hi, lo) == 1
    assert lt(lo, hi) and gt(hi, lo) and not eq(lo, hi)


def test_epoch_too_large_stays_in_the_text():
    # Twenty nines do not fit in 64 bits: no epoch, the digits saturate into
    # a number segment followed by 1, which sorts far above plain 9.9.
    big = "9" * 20 + "!1"
    assert compare(big, "18446744073709551615.1") == 0
    assert compare(big, "1!0") == -1  # a real epoch of 1 beats any epoch-0 version


def test_cycle_the_ordering_allows():
    # A 0 followed by more segments outranks a word, while a trailing 0 is
    # passed over; the ordering is therefore not transitive here.
    assert compare("1.0rc1", "1") == -1
    assert compare("1", "1.post1") == -1
    assert compare("1.0rc1", "1.post1") == 1


version_text = st.text(alphabet=st.sampled_from(list("0123456789.-_~^+:!abcrpostdevRCv ")), max_size=20)


@given(version_text, version_text)
def test_compare_is_antisymmetric(a, b):
    assert compare(a, b) == -compare(b, a)


@given(version_text)
def test_compare_is_reflexive(a):
    assert compare(a, a) == 0


def test_huge_input_is_linear():
    # Ten megabytes in one text: a quadratic step would not finish.
    big = "1." * 5_000_000
    assert compare(big, big + "1") == -1


@given(version_text, version_text)
def test_texts_order_as_their_parses_do(a, b):
    # Two texts are compared without building their parses; a Version argument
    # goes through the stored parse. Both roads must agree.
    assert compare(a, b) == compare(quorlen.Version(a), quorlen.Version(b))


@pytest.mark.parametrize(
    "a, b",
    [("1.0.0.0", "1"), ("1.0.final.0.ga", "1"), ("1.0^", "1.0"), ("1.0.0^", "1"), ("1.0.0.1", "1.0"),
     ("1.final.1", "1"), ("1.0+5", "1.0.5"), ("1+x.0", "1.0+y"), ("1!0", "1!0.0.final")],
)
def test_trailing_zeros_and_release_words_only_count_when_something_follows(a, b):
    assert compare(a, b) == compare(quorlen.Version(a), quorlen.Version(b))
    assert compare(b, a) == -compare(a, b)
