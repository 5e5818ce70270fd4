"""The fast paths agree with the slow ones they stand in for: comparing two
texts from their slices against parsing both in full, the compact sort keys
against the pairwise ordering, and the one-pass Version construction against
the parse it replaces. Results and error messages alike."""
import functools

from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from helpers import fresh, merge_sort
from quorlen import Version, batch_compare, compare, satisfies, sort_versions

ECOSYSTEMS = [
    "generic", "semver", "pep440", "debian", "rpm", "ruby", "maven", "go", "npm", "nuget", "composer", "crates",
    "hex", "swift", "calver", "alpine", "docker", "conda", "arch", "gentoo", "cran", "spack", "dart", "julia",
    "terraform", "helm", "cpan", "nix", "homebrew", "freebsd",
]

# Pieces that reach every rule: epochs, prefixes, tags of every weight, local
# labels, build text, prerelease identifiers, blanks and letter case.
PIECES = ["0", "1", "2", "01", "10", "99999999999999999999", ".", "-", "+", "~", "^", "!", ":", "_", " ",
          "v", "V", "a", "b", "rc", "RC", "dev", "post", "final", "ga", "sp", "x", "Beta", "é", "١"]
TEXT = st.lists(st.sampled_from(PIECES), max_size=8).map("".join)
ECO = st.sampled_from(ECOSYSTEMS)


def outcome(fn, *args):
    try:
        return fn(*args)
    except ValueError as e:
        return ("ValueError", str(e))


@settings(max_examples=1500, deadline=None)
@given(TEXT, TEXT, ECO)
def test_compare_of_texts_agrees_with_full_parses(a, b, eco):
    slow = outcome(batch_compare, [(a, b)], eco)
    fast = outcome(compare, a, b, eco)
    assert (fast if isinstance(fast, tuple) else [fast]) == slow


@settings(max_examples=800, deadline=None)
@given(TEXT, TEXT, ECO)
def test_compare_of_texts_agrees_with_versions(a, b, eco):
    va, vb = Version.try_parse(a, eco), Version.try_parse(b, eco)
    if va is not None and vb is not None:
        assert compare(a, b, eco) == compare(va, vb, eco) == (va > vb) - (va < vb)


@settings(max_examples=500, deadline=None)
@given(TEXT, TEXT, ECO)
def test_boolean_functions_agree_with_compare(a, b, eco):
    c = outcome(compare, a, b, eco)
    for fn, truth in ((quorlen.lt, c == -1), (quorlen.ge, c in (0, 1)), (quorlen.eq, c == 0)):
        assert outcome(fn, a, b, eco) == (c if isinstance(c, tuple) else truth)


@settings(max_examples=500, deadline=None)
@given(TEXT, st.sampled_from(["1.0", "2.0.0", "1:1.0-1", "1.0a1"]), ECO, st.sampled_from([">=", "<", "=="]))
def test_satisfies_agrees_with_compare(v, bound, eco, op):
    c = outcome(compare, v, bound, eco)
    got = outcome(satisfies, v, op + bound, eco)
    if isinstance(c, tuple):
        assert isinstance(got, tuple)
    elif not isinstance(got, tuple):
        assert got == {">=": c >= 0, "<": c < 0, "==": c == 0}[op]


@settings(max_examples=300, deadline=None)
@given(TEXT, st.sampled_from([">=1.0", "<2", "==1.0.0,!=1.0"]), st.sampled_from(["generic", "pep440", "debian"]))
def test_long_candidates_answer_as_short_ones(v, rng, eco):
    # Trailing zero segments push the candidate past the length that is read
    # again from its slices; where they change no ordering, no answer changes.
    long_v = v + ".0" * 40
    if outcome(compare, long_v, v, eco) == 0:
        assert outcome(satisfies, long_v, rng, eco) == outcome(satisfies, v, rng, eco)


SORT_TEXT = st.lists(st.sampled_from(["0", "1", "2", "4294967296", ".", "-", "+", "~", "^", "!", ":", "a", "rc",
                                      "post", "final", "X", "v"]), max_size=6).map("".join)


@settings(max_examples=600, deadline=None)
@given(st.lists(SORT_TEXT, max_size=40), ECO)
def test_sort_versions_is_the_merge_sort_under_compare(items, eco):
    items = [fresh(x) for x in items]
    got = outcome(sort_versions, items, eco)
    # Every item is parsed before any is compared: the first one the
    # ecosystem refuses is the error.
    errors = [e for e in (outcome(compare, x, x, eco) for x in items) if isinstance(e, tuple)]
    if errors:
        assert got == errors[0]
    else:
        expected = merge_sort(items, lambda a, b: compare(a, b, eco) < 0)
        assert [id(x) for x in got] == [id(x) for x in expected]


@settings(max_examples=200, deadline=None)
@given(st.lists(SORT_TEXT, max_size=30), st.sampled_from(["generic", "pep440", "semver", "debian"]))
def test_sort_versions_reads_versions_as_their_texts(items, eco):
    versions = [v for v in (Version.try_parse(x, eco) for x in items) if v is not None]
    by_text = sort_versions([str(v) for v in versions], eco)
    assert [str(v) for v in sort_versions(versions, eco)] == by_text


def generic_view(v):
    return (v.segments(), v.epoch, v.build, v.is_prerelease, v.is_postrelease, v.major, v.minor, v.patch, len(v))


@settings(max_examples=800, deadline=None)
@given(TEXT)
def test_one_pass_versions_hold_the_generic_parse(text):
    # A Maven Version keeps the generic parse too, built the general way.
    generic = Version(text, "generic")
    maven = Version.try_parse(text, "maven")
    if maven is not None:
        assert generic_view(maven) == generic_view(generic)
    # So does a PEP 440 Version with a local label: the label only adds.
    pep = Version.try_parse(text, "pep440")
    if pep is not None and "+" not in text:
        labelled = Version(text + "+local", "pep440")
        assert generic_view(labelled)[:2] == generic_view(pep)[:2] == generic_view(generic)[:2]
        assert generic_view(labelled)[3:] == generic_view(pep)[3:] == generic_view(generic)[3:]
        assert labelled > pep


@settings(max_examples=800, deadline=None)
@given(TEXT, ECO)
def test_versions_fail_as_the_parse_fails(text, eco):
    made = outcome(Version, text, eco)
    parsed = outcome(batch_compare, [(text, text)], eco)
    if isinstance(parsed, tuple):
        assert made == parsed
    else:
        assert made.raw == text and made.ecosystem == eco and made == Version(text, eco)


@settings(max_examples=500, deadline=None)
@given(TEXT)
def test_detected_versions_fall_back_to_generic(text):
    # Under "auto" the detected ecosystem keeps the text when its parse
    # accepts it; otherwise the Version is the generic one.
    made = Version(text, "auto")
    own = Version.try_parse(text, made.ecosystem)
    assert own is not None and generic_view(own) == generic_view(made)
    if made.ecosystem == "generic":
        assert generic_view(made) == generic_view(Version(text, "generic"))
