"""Maven versions: syntax checks, the item tree, its ordering and nesting limit."""

import itertools

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen


def cmp(a, b):
    return quorlen.compare(a, b, ecosystem="maven")


def assert_order(a, b, expected):
    """Checks a against b and b against a."""
    assert cmp(a, b) == expected, (a, b)
    assert cmp(b, a) == -expected, (b, a)


def parse_error(text):
    with pytest.raises(ValueError) as info:
        cmp(text, "1")
    return str(info.value)


# ---------------------------------------------------------------- syntax


@pytest.mark.parametrize(
    "text, message",
    [
        ("", "empty Maven version"),
        (" \t\u3000", "empty Maven version"),
        ("a1", "Maven version must start with a digit: 'a1'"),
        (" -1 ", "Maven version must start with a digit: ' -1 '"),
        (".1", "Maven version must start with a digit: '.1'"),
        ("\u0661.0", "Maven version must start with a digit: '\u0661.0'"),
        ("1.0-\u00b2", "Maven version contains a non-ASCII numeral '\u00b2': '1.0-\u00b2'"),
        ("1.\u0663", "Maven version contains a non-ASCII numeral '\u0663': '1.\u0663'"),
        ("1-\u216b", "Maven version contains a non-ASCII numeral '\u216b': '1-\u216b'"),
        ("1-\U0001d7d8 ", "Maven version contains a non-ASCII numeral '\U0001d7d8': '1-\U0001d7d8 '"),
    ],
)
def test_rejected_texts(text, message):
    assert parse_error(text) == message


@pytest.mark.parametrize("text", ["1", "1.0-\u00e9", "1-_+x", "0", "1..", "1--", "1 2", "9" * 100])
def test_accepted_texts(text):
    assert cmp(text, text) == 0


def test_second_argument_is_checked_too():
    with pytest.raises(ValueError, match="^empty Maven version$"):
        cmp("1", "")


# ---------------------------------------------------------------- equal forms


@pytest.mark.parametrize(
    "group",
    [
        ["1", "1.0", "1.0.0", "1.0.0.RELEASE", "1.0-final", "1-ga", "1-GA", "1.0.0-0", "1-", "1.", "1-0-0"],
        ["1-alpha-1", "1.0a1", "1.0-a1", "1.0-alpha-1", "1.a1", "1.0-alpha1", "1.0-ALPHA1", "1.0.a1"],
        ["1-snapshot", "1.0-SNAPSHOT", "1-Snapshot", "1.0.0-snapshot"],
        ["1-rc-1", "1.0-cr1", "1.0-rc1", "1.0-CR-1", "1rc1"],
        ["1-beta-2", "1b2", "1.0-b2", "1-beta2"],
        ["1-milestone-3", "1m3", "1-M3"],
        ["1.10", "1.010", "1.0010.0"],
        ["0", "0.0.0", "0-ga", "0.final"],
        ["1-xyz", "1.xyz", "1-XYZ"],
        ["1-\u00e9-2", "1\u00e92", "1\u00c9-2"],
        ["1-sp", "1-SP", "1.0-sp"],
    ],
)
def test_equal_forms(group):
    for a, b in itertools.combinations(group, 2):
        assert_order(a, b, 0)


# ---------------------------------------------------------------- ordering


QUALIFIER_CHAIN = ["1-alpha", "1-beta", "1-milestone", "1-rc", "1-snapshot", "1", "1-sp", "1-abc", "1-xyz"]


def test_qualifier_order_is_total_both_ways():
    for (i, a), (j, b) in itertools.combinations(enumerate(QUALIFIER_CHAIN), 2):
        assert_order(a, b, -1 if i < j else 1)


@pytest.mark.parametrize(
    "lower, higher",
    [
        ("1.2.3-4", "1.2.3.4"),  # a list ranks below a number
        ("1-alpha", "1-1"),  # a word ranks below a list
        ("1.a", "1.1"),
        ("1", "1.0.a"),  # a lone "a" is an unranked word, not alpha
        ("1-a1", "1-a"),  # alpha, against the unranked word a
        ("1-a1", "1-b1"),
        ("1", "1-0.1"),  # a list's first non-null item decides against nothing
        ("1", "1-ga-1"),
        ("1-rc-1", "1"),
        ("1-rc", "1-rc-1"),
        ("1-rc-1", "1-rc-2"),
        ("1.9", "1.10"),
        ("1.0.1", "1.1"),
        ("1", "1.0.0.1"),
        ("1-SNAPSHOT", "1"),
        ("1.0.0-SNAPSHOT", "1.0.1-SNAPSHOT"),
        ("2.0-alpha-1", "2.0"),
        ("1-1", "1.1"),
        ("1-sp-1", "1-sp-2"),
        ("1-abc", "1-abd"),
        ("1-ab", "1-abc"),
        ("1-alpha-1", "1--alpha"),  # a nested list ranks above a word
        ("1-alpha", "1--alpha"),
    ],
)
def test_ordering(lower, higher):
    assert_order(lower, higher, -1)


@pytest.mark.parametrize(
    "lower, higher",
    [
        ("9" * 29, "1" + "0" * 29),
        ("1." + "9" * 29, "1." + "1" + "0" * 29),
        ("18446744073709551615", "18446744073709551616"),
        ("1.18446744073709551616", "1.18446744073709551617"),
        ("1-" + "1" * 40 + "0", "1-" + "1" * 40 + "1"),
        ("1.000000000000000000000000000000009", "1.10"),
    ],
)
def test_long_numbers(lower, higher):
    assert_order(lower, higher, -1)


def test_long_numbers_with_leading_zeros_are_equal():
    assert_order("1." + "0" * 40 + "123456789012345678901234567890", "1.123456789012345678901234567890", 0)


@pytest.mark.parametrize(
    "lower, higher",
    [
        # Unranked words order as UTF-16: a supplementary character begins
        # with a surrogate, which sorts below U+E000..U+FFFF.
        ("1-\U00010000", "1-\ue000"),
        ("1-\U0001f600", "1-\uffee"),
        ("1-\ud7ff", "1-\U00010000"),
        ("1-\U00010000", "1-\U00010001"),
        ("1-z", "1-\u00e9"),
    ],
)
def test_unranked_words_in_utf16_order(lower, higher):
    assert_order(lower, higher, -1)


# ---------------------------------------------------------------- letter case


@pytest.mark.parametrize(
    "upper, lower",
    [
        ("1-\u00c4", "1-\u00e4"),
        ("1-\u0391\u039b\u03a6\u0391", "1-\u03b1\u03bb\u03c6\u03b1"),
        ("1-\u0416", "1-\u0436"),
        ("1-\u0130", "1-i\u0307"),  # full lower-casing: two characters
        ("1-\u212a", "1-k"),  # the Kelvin sign lower-cases to ASCII k
        ("1-\U00010400", "1-\U00010428"),
        ("1.0-\u212aX", "1-kx"),
        ("1-\u0100\u0102", "1-\u0101\u0103"),
    ],
)
def test_full_lower_casing(upper, lower):
    assert_order(upper, lower, 0)


@pytest.mark.parametrize("a, b", [("1-\u0130", "1-i"), ("1-\u00df", "1-ss"), ("1-\u0131", "1-i")])
def test_no_folding_beyond_lower_casing(a, b):
    assert cmp(a, b) != 0
    assert cmp(a, b) == -cmp(b, a)


def test_white_space_is_trimmed():
    assert_order("\u3000 1.0-RC1\u2029", "1-rc-1", 0)
    assert_order("\t1.0\n", "1", 0)


# ---------------------------------------------------------------- nesting


def nesting_message(text):
    return f"Maven version nests more than 256 levels deep: '{text}'"


@pytest.mark.parametrize(
    "ok, too_deep",
    [
        ("1" + "-1" * 255, "1" + "-1" * 256),
        ("1" + "a1" * 127, "1" + "a1" * 128),  # two levels per word between digits
        ("1" + "-1" * 254 + ".x", "1" + "-1" * 255 + ".x"),  # a trailing word opens one more
        ("1" + "-" * 255, "1" + "-" * 256),
        ("  1" + "-1" * 255 + " ", " 1" + "-1" * 256 + "\u3000"),
    ],
)
def test_nesting_limit(ok, too_deep):
    assert cmp(ok, ok) == 0
    assert parse_error(too_deep) == nesting_message(too_deep)


def test_deepest_trees_compare_at_the_bottom():
    base = "1" + "-1" * 254
    assert_order(base + "-1", base + "-2", -1)
    assert_order(base + "-1", base + "-1.0", 0)
    assert_order(base + "-rc", base, -1)
    assert_order("1" + "-1" * 255, "1" + "-1" * 254, 1)


def test_deep_nesting_of_nulls_equals_the_release():
    assert_order("1" + "-0" * 255, "1", 0)
    assert_order("1" + "-ga" * 255, "1", 0)


# ---------------------------------------------------------------- laws

PIECES = list("0129.-abmrcsx_") + ["ga", "sp", "rc", "alpha", "\u00e9"]
VERSION_TEXT = st.builds(
    lambda first, rest: first + "".join(rest),
    st.sampled_from("0123456789"),
    st.lists(st.sampled_from(PIECES), max_size=12),
)


@settings(max_examples=300, deadline=None)
@given(VERSION_TEXT, VERSION_TEXT, VERSION_TEXT)
def test_order_laws(a, b, c):
    ab, bc, ac = cmp(a, b), cmp(b, c), cmp(a, c)
    assert cmp(a, a) == 0
    assert cmp(b, a) == -ab
    if ab <= 0 and bc <= 0:
        assert ac <= 0
    if ab == 0 and bc == 0:
        assert ac == 0


@settings(max_examples=200, deadline=None)
@given(VERSION_TEXT)
def test_upper_case_and_trailing_zeros_change_nothing(text):
    assert cmp(text.upper(), text) == 0
    assert cmp(text + ".0", text + "-0") == 0


# ---------------------------------------------------------------- texts and trees
# compare() reads two texts in place; Version objects hold the parsed trees.
# Both must give one order.


def tree_order(a, b):
    va, vb = quorlen.Version(a, "maven"), quorlen.Version(b, "maven")
    return (va > vb) - (va < vb)


# Runs of null items before lists and at ends are where the in-place reading
# looks ahead, so zeros, release words and separators come often.
WALK_PIECES = PIECES + ["0", "00", "-0", ".0", "-ga", ".final", "-", ".", "1", "Σ", "Σa", "\ue000", "\U00010400"]
WALK_TEXT = st.builds(
    lambda first, rest: first + "".join(rest),
    st.sampled_from("0123456789"),
    st.lists(st.sampled_from(WALK_PIECES), max_size=20),
)


@settings(max_examples=1500, deadline=None)
@given(WALK_TEXT, WALK_TEXT)
def test_in_place_order_is_the_tree_order(a, b):
    assert cmp(a, b) == tree_order(a, b)


@settings(max_examples=300, deadline=None)
@given(WALK_TEXT, st.sampled_from(["-0", ".0", "-ga", "-0-0.0", "-0-1", ".0-a1", "-sp", "-x"]))
def test_in_place_order_of_near_neighbours(text, suffix):
    for a, b in [(text, text + suffix), (text + suffix, text), (text + suffix, text + suffix + "0")]:
        assert cmp(a, b) == tree_order(a, b), (a, b)


@pytest.mark.parametrize(
    "a, b",
    [
        ("1" + ".0" * 3000 + "-1", "1-1"),
        ("1" + ".0" * 3000 + "-1", "1" + ".0" * 2999 + ".1"),
        ("1" + "-0" * 250 + "-1", "1" + "-0" * 249 + "-1"),
        ("1" + "-0" * 250 + "-rc", "1" + "-0" * 250),
        ("1" + "-0" * 250 + ".0" * 100, "1"),
        ("1" + "-1" * 255, "1" + "-1" * 253 + "-0-1"),
        ("1." + "0" * 5000 + "1", "1.1"),
    ],
    ids=["dots-then-list", "dots-then-one", "lists-of-zeros", "zeros-then-rc", "zeros-then-dots", "deepest",
         "long-zeros"],
)
def test_long_runs_of_nulls_in_place_and_as_trees(a, b):
    assert cmp(a, b) == tree_order(a, b)
    assert cmp(b, a) == tree_order(b, a)


def test_in_place_failures_are_those_of_the_parse():
    deep = "1" + "-1" * 256
    assert parse_error(deep) == nesting_message(deep)
    with pytest.raises(ValueError) as info:
        cmp("1", deep)
    assert str(info.value) == nesting_message(deep)
    # The first text's failure comes first, the syntax check before the depth.
    with pytest.raises(ValueError, match="^empty Maven version$"):
        cmp("", deep)
    with pytest.raises(ValueError, match="nests more than"):
        cmp(deep, "")
