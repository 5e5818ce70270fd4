"""Strict Semantic Versioning: what is accepted, what is refused and why, and
the precedence of versions (npm shares the very same rules)."""

import pytest
from hypothesis import given, strategies as st

import quorlen

SEMVER_NAMES = ["semver", "npm", "semver_strict", "node"]
U64_MAX = 2**64 - 1


def cmp(a, b, eco="semver"):
    return quorlen.compare(a, b, ecosystem=eco)


def error(text, eco="semver"):
    with pytest.raises(ValueError) as info:
        quorlen.compare(text, text, ecosystem=eco)
    return str(info.value)


def assert_less(a, b, eco="semver"):
    assert cmp(a, b, eco) == -1, (a, b)
    assert cmp(b, a, eco) == 1, (b, a)


def assert_same(a, b, eco="semver"):
    assert cmp(a, b, eco) == 0, (a, b)
    assert cmp(b, a, eco) == 0, (b, a)


@pytest.mark.parametrize("eco", SEMVER_NAMES)
@pytest.mark.parametrize(
    "text, same_as",
    [
        ("v1.2.3", "1.2.3"),
        ("V1.2.3", "1.2.3"),
        (" 1.2.3 ", "1.2.3"),
        ("\u30001.2.3\n", "1.2.3"),
        ("0.0.0", "0.0.0"),
        ("1.2.3-0a", "1.2.3-0a"),
        ("1.2.3-0", "1.2.3-0"),
        ("1.2.3+anything!at+all", "1.2.3"),
        ("1.2.3+b1", "1.2.3+b2"),
        ("1.2.3+build-x", "1.2.3"),
        ("1.2.3-rc.1+build.5", "1.2.3-rc.1"),
        ("18446744073709551615.0.0", "18446744073709551615.0.0"),
        ("1.2.3-18446744073709551615", "1.2.3-18446744073709551615"),
        ("1.2.3---", "1.2.3---"),
    ],
)
def test_accepted_texts(eco, text, same_as):
    assert_same(text, same_as, eco)


@pytest.mark.parametrize("eco", SEMVER_NAMES)
@pytest.mark.parametrize(
    "text, message",
    [
        ("", "Expected 3 parts, got 1"),
        ("   ", "Expected 3 parts, got 1"),
        ("1.2", "Expected 3 parts, got 2"),
        ("1.2.3.4", "Expected 3 parts, got 4"),
        ("1.2-3.4.5", "Expected 3 parts, got 2"),
        ("v", "Expected 3 parts, got 1"),
        ("vx.1.2", "invalid major: 'vx'"),
        ("01.2.3", "leading zero in major: '01'"),
        ("1.02.3", "leading zero in minor: '02'"),
        ("1.2.00", "leading zero in patch: '00'"),
        ("00x.1.2", "leading zero in major: '00x'"),
        ("1..3", "empty minor"),
        ("1.2.", "empty patch"),
        (".1.2", "empty major"),
        ("1.2.x", "invalid patch: 'x'"),
        ("1.2.3a", "invalid patch: '3a'"),
        ("1.2. 3", "invalid patch: ' 3'"),
        ("18446744073709551616.0.0", "invalid major: '18446744073709551616'"),
        ("1.2.3-", "empty prerelease"),
        ("1.2.3-+build", "empty prerelease"),
        ("1.2.3-a..b", "empty identifier in prerelease"),
        ("1.2.3-a.", "empty identifier in prerelease"),
        ("1.2.3-.a", "empty identifier in prerelease"),
        ("1.2.3-a_b", "invalid character in prerelease identifier: 'a_b'"),
        ("1.2.3-ok.é", "invalid character in prerelease identifier: 'é'"),
        ("1.2.3-01", "leading zero in numeric prerelease identifier: '01'"),
        ("1.2.3-a.00", "leading zero in numeric prerelease identifier: '00'"),
        ("1.2.3-18446744073709551616", "numeric prerelease identifier out of range for u64: '18446744073709551616'"),
        # The first fault from the left wins.
        ("1.2.3-a_b.01", "invalid character in prerelease identifier: 'a_b'"),
        ("01.x.3-", "leading zero in major: '01'"),
    ],
)
def test_refused_texts(eco, text, message):
    assert error(text, eco) == message


PRECEDENCE_CHAIN = [
    "1.0.0-alpha",
    "1.0.0-alpha.1",
    "1.0.0-alpha.beta",
    "1.0.0-beta",
    "1.0.0-beta.2",
    "1.0.0-beta.11",
    "1.0.0-rc.1",
    "1.0.0",
    "1.0.1-0",
    "1.0.1",
    "1.1.0",
    "2.0.0",
    "10.0.0",
]


@pytest.mark.parametrize("eco", SEMVER_NAMES)
def test_precedence_chain_is_ordered_pairwise(eco):
    for i, a in enumerate(PRECEDENCE_CHAIN):
        for b in PRECEDENCE_CHAIN[i + 1 :]:
            assert_less(a, b, eco)


@pytest.mark.parametrize(
    "a, b",
    [
        ("1.0.0-Beta", "1.0.0-alpha"),  # byte order: upper case first
        ("1.0.0-2", "1.0.0-10"),  # numbers by value
        ("1.0.0-10", "1.0.0-a"),  # numbers below words
        ("1.0.0-999", "1.0.0-0a"),  # a digit-led word is still a word
        ("1.0.0-rc", "1.0.0-rc-1"),  # a proper prefix is less
        ("1.0.0-rc.1", "1.0.0-rc-1"),  # "rc" is a proper prefix of the one identifier "rc-1"
        ("1.2.3-rc.1", "1.2.3"),
        ("1.2.3", "1.2.4-0"),
        ("1.9.0", "1.10.0"),
        ("0.0.9", "0.1.0"),
        ("1.0.0-18446744073709551614", "1.0.0-18446744073709551615"),
        ("18446744073709551614.0.0", "18446744073709551615.0.0"),
    ],
)
def test_pairs_in_order(a, b):
    assert_less(a, b)


def test_rc_dash_one_is_a_single_identifier():
    # "rc-1" stays one identifier: it is a word, so it ranks above any number
    # and by bytes against other words.
    assert_less("1.2.3-999", "1.2.3-rc-1")
    assert_less("1.2.3-rc-1", "1.2.3-rc-2")
    assert_less("1.2.3-rc-1", "1.2.3-rc0")


def test_npm_and_semver_agree():
    texts = PRECEDENCE_CHAIN + ["1.0.0-Beta", "1.0.0-0a", "v2.0.0+b"]
    for a in texts:
        for b in texts:
            assert cmp(a, b, "npm") == cmp(a, b, "semver")


# ------------------------------------------------------------- model check
# An independent reading of the precedence rules, used to check the ordering
# on generated versions.


def model_key(text):
    core, _, pre = text.partition("-")
    nums = tuple(int(p) for p in core.split("."))
    if not _:
        return nums, (1,)
    ids = []
    for ident in pre.split("."):
        ids.append((0, int(ident), "") if ident.isdigit() else (1, 0, ident))
    return nums, (0, tuple(ids))


def model_cmp(a, b):
    ka, kb = model_key(a), model_key(b)
    return (ka > kb) - (ka < kb)


numbers = st.one_of(st.integers(0, 12), st.integers(0, U64_MAX))
identifiers = st.one_of(
    st.integers(0, 30).map(str),
    st.text("abAB-0123456789", min_size=1, max_size=4).filter(lambda s: not (s.isdigit() and (len(s) > 1 and s[0] == "0"))),
)
versions = st.builds(
    lambda n, pre: "{}.{}.{}".format(*n) + ("-" + ".".join(pre) if pre else ""),
    st.tuples(numbers, numbers, numbers),
    st.lists(identifiers, max_size=4),
)


@given(versions, versions)
def test_ordering_matches_the_precedence_rules(a, b):
    assert cmp(a, b) == model_cmp(a, b)
    assert cmp(b, a) == -model_cmp(a, b)


@given(versions, versions, versions)
def test_no_order_cycles(a, b, c):
    if cmp(a, b) <= 0 and cmp(b, c) <= 0:
        assert cmp(a, c) <= 0
