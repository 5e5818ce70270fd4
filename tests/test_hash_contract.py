"""Equal Versions of one ecosystem hash alike, in every ecosystem: a set or
dict never holds two Versions that compare equal."""

import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from quorlen import Version

ECOSYSTEMS = [row["name"] for row in quorlen.ecosystems()]

PIECES = ["0", "1", "2", "10", "007", ".", "-", "+", "~", "^", ":", "_", "a", "alpha", "b", "rc", "RC", "dev",
          "post", "final", "ga", "sp", "x", "Beta", "el9", "v"]
TEXT = st.lists(st.sampled_from(PIECES), min_size=1, max_size=8).map("".join)

# Respellings that some ordering may hold equal to the original.
REWRITES = [
    (r"\.", "+"), (r"\+", "."), (r"-", "."), (r"\.", "_"), (r"(\d+)", r"0\1"), (r"^", "0:"), (r"^", "v"),
    (r"$", ".0"), (r"$", "-0"), (r"$", "0"), (r"$", "+build.7"), (r"\balpha\b", "a"), (r"\ba\b", "alpha"),
    (r"$", "-ga"), (r"$", ".final"), (r"^", "-"), (r"^", "0-"), (r"[a-z]+", lambda m: m.group().upper()),
]


def respell(text, picks):
    for k in picks:
        pattern, repl = REWRITES[k]
        text = re.sub(pattern, repl, text, count=1)
    return text


def version_or_none(text, eco):
    return Version.try_parse(text, eco)


@settings(max_examples=300, deadline=None)
@given(text=TEXT, picks=st.lists(st.integers(0, len(REWRITES) - 1), min_size=1, max_size=3))
@pytest.mark.parametrize("eco", ECOSYSTEMS)
def test_equal_versions_hash_alike(eco, text, picks):
    a = version_or_none(text, eco)
    b = version_or_none(respell(text, picks), eco)
    if a is not None and b is not None and a == b:
        assert hash(a) == hash(b), (a.raw, b.raw)
        assert len({a, b}) == 1


# Pairs each ordering holds equal though their texts differ; hand-checked
# against the rules of each format.
@pytest.mark.parametrize(
    "eco,a,b",
    [
        ("rpm", "1.0+x", "1.0.x"),
        ("rpm", "1.0-1", "1.00-01"),
        ("rpm", "1a", "1.a"),
        ("debian", "-1", "0-1"),
        ("debian", "1.0", "1.00-0"),
        ("debian", "1a", "1a0"),
        ("generic", "1.0a1", "1.0alpha1"),
        ("generic", "1.0", "1.0.0.final"),
        ("maven", "1.0", "1-ga"),
        ("semver", "1.0.0+a", "1.0.0+b"),
        ("pep440", "1.0", "1.0.0"),
    ],
)
def test_known_equal_spellings_hash_alike(eco, a, b):
    x, y = Version(a, eco), Version(b, eco)
    assert x == y
    assert hash(x) == hash(y)
