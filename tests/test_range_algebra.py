"""Range algebra: intersection, union, subset, complement, difference and
simplify, their laws under
every ecosystem's ordering, the OSV entry as a range, and the mended meaning
of the pessimistic operators and the prefix matches."""

import json
import pathlib
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from quorlen import (
    range_complement,
    range_difference,
    range_intersection,
    range_simplify,
    range_subset,
    range_union,
    ranges_intersect,
    satisfies,
)

ECOSYSTEMS = [
    "generic", "semver", "pep440", "debian", "rpm", "ruby", "maven", "go", "npm", "nuget", "composer", "crates",
    "hex", "swift", "calver", "alpine", "docker", "conda", "arch", "gentoo", "cran", "spack", "dart", "julia",
    "terraform", "helm", "cpan", "nix", "homebrew", "freebsd",
]


def test_every_ecosystem_is_covered():
    # An independent count: the ecosystems the unknown-name message lists.
    with pytest.raises(ValueError) as info:
        satisfies("1.0", "*", "nope")
    listed = str(info.value).split("expected one of: ")[1].split(", ")
    assert sorted(listed) == sorted(ECOSYSTEMS)


def error_of(fn, *args):
    with pytest.raises(ValueError) as info:
        fn(*args)
    return str(info.value)


# ---------------------------------------------------------------- hand-checked answers

@pytest.mark.parametrize("a,b,both,either", [
    (">=1.0,<2.0", ">=1.5", ">=1.5,<2.0", ">=1.0"),
    ("<1.0", ">1.0", None, "!=1.0"),
    ("<=1.0", ">=1.0", "==1.0", "*"),
    ("^1.0 || ^2.0", ">=1.5,<2.5", ">=1.5,<2.5", ">=1.0.0,<3.0.0"),
    (">=1.0,<=1.0,!=1.0", "*", None, "*"),
    ("==1.5", "!=1.5", None, "*"),
    ("!=1.2.*", ">=1.0,<2.0", ">=1.0,<1.2.0 || >=1.3.0,<2.0", "*"),
    (">=2.0,>=1.0", "<1.5", None, "<1.5 || >=2.0"),
    ("<1.0 || >=3.0", "[1.0,3.0)", None, "*"),
    ("<1.0 || >=3.0", "[1.0,3.0]", "==3.0", "*"),
    (">1.0,!=2.0", "<3.0,!=2.5", ">1.0,<3.0,!=2.0,!=2.5", "*"),
    (">=1.0,<2.0,!=1.5", "==1.5 || ==1.7", "==1.7", ">=1.0,<2.0"),
    ("==1.0 || ==2.0", "==2.0 || ==3.0", "==2.0", "==1.0 || ==2.0 || ==3.0"),
])
def test_intersection_and_union(a, b, both, either):
    assert range_intersection(a, b) == both
    assert range_intersection(b, a) == both
    assert range_union(a, b) == either
    assert range_union(b, a) == either


@pytest.mark.parametrize("r,outside", [
    ("*", None),
    (">2,<1", "*"),
    ("<1.0 || >1.0", "==1.0"),
    (">=1.0,<2.0,!=1.5", "<1.0 || ==1.5 || >=2.0"),
    ("(1.0,2.0] || [3.0,4.0)", "<=1.0 || >2.0,<3.0 || >=4.0"),
])
def test_complement(r, outside):
    assert range_complement(r) == outside


@pytest.mark.parametrize("a,b,rest", [
    (">=1.0,<3.0", "==2.0", ">=1.0,<3.0,!=2.0"),
    ("*", "<1.0 || >1.0", "==1.0"),
    (">=1.0,<2.0", "*", None),
    (">=1.0,!=1.5", ">=1.0,<2.0,!=1.7", "==1.7 || >=2.0"),
])
def test_difference(a, b, rest):
    assert range_difference(a, b) == rest


@pytest.mark.parametrize("a,b,expected", [
    ("^1.2", ">=1.0", True),
    (">=1.0", "^1.2", False),
    ("==1.5", ">=1.0,<2.0,!=1.6", True),
    ("==1.6", ">=1.0,<2.0,!=1.6", False),
    (">=1.0,<2.0", "<1.5 || >=1.5", True),
    (">=1.0,<2.0", "<1.5 || >1.5", False),
    (">=1.0,<2.0,!=1.5", "<1.5 || >1.5", True),
    (">2.0,<1.0", "==7", True),  # nothing lies in the left range
    ("*", "!=1.0", False),
    ("!=1.2.*", "<1.2.0 || >=1.3.0", True),
    ("<1.2.0 || >=1.3.0", "!=1.2.*", True),
    ("<1.2.0 || >1.3.0", "!=1.2.*", True),
    ("<1.2.0 || >=1.2.9", "!=1.2.*", False),
])
def test_subset(a, b, expected):
    assert range_subset(a, b) is expected


@pytest.mark.parametrize("r,expected", [
    ("*", "*"),
    ("", "*"),
    (">=1 || <0", "<0 || >=1"),
    ("<1.0 || >1.0", "!=1.0"),
    ("<1.0 || >1.0 || ==1.0", "*"),
    ("==1.0 || >=1.0,<2.0 || ==2.0", ">=1.0,<=2.0"),
    (">=1.0,>=0.5,<3,<2.0,!=5,!=1.0", ">1.0,<2.0"),
    (">=1.0,<=1.0", "==1.0"),
    (">2,<1", None),
    ("==1.0,==2.0", None),
    ("!=1.0,!=1.0.0,>=0.5", ">=0.5,!=1.0"),
    (">=3,<4 || >=1,<2 || >=2,<3", ">=1,<4"),
    (">=1,<2 || >2,<3", ">=1,<3,!=2"),
    ("~1.2.3", ">=1.2.3,<1.3.0"),
])
def test_simplify(r, expected):
    assert range_simplify(r) == expected


@pytest.mark.parametrize("r,expected", [
    (">=1.0,<=1.0.0", "==1.0"),
    ("==1.0 || ==1.0.0", "==1.0"),
    (">=1.0.0,<2 || >=1.0,<2.0", ">=1.0.0,<2"),
])
def test_versions_that_order_equal_are_one_version(r, expected):
    assert range_simplify(r, "pep440") == expected


# ---------------------------------------------------------------- errors

BAD_SEMVER = "Expected 3 parts, got 2"


@pytest.mark.parametrize("fn", [range_intersection, range_union, range_subset, range_difference])
def test_errors_name_the_left_range_first(fn):
    assert error_of(fn, "1.0", "^") == (
        "invalid comparator: '1.0'; expected operator (>=, <=, >, <, ==, !=) followed by version")
    assert error_of(fn, ">=1.0", "^") == "invalid caret range: '^'"
    assert error_of(fn, ">=1.0", ">=1.0.0 || <1.0", "semver") == BAD_SEMVER
    assert error_of(fn, ">=1.0.0 || <1.0", ">=2.0", "semver") == BAD_SEMVER
    assert error_of(fn, "*", "*", "nope").startswith("unsupported ecosystem 'nope'")


def test_every_version_is_parsed_even_after_an_answer():
    # The algebra reads whole ranges: an unparsable bound in a branch that
    # cannot matter to the answer is still an error.
    assert error_of(range_simplify, "* || <1.0", "semver") == BAD_SEMVER
    assert error_of(range_intersection, ">2.0.0,<1.0.0", "<x", "semver") != ""


@pytest.mark.parametrize("fn,args,message", [
    (range_intersection, ("^1", None), "range_intersection() argument 'b' must be str, not None"),
    (range_union, (1, "^1"), "range_union() argument 'a' must be str, not int"),
    (range_subset, ("^1", "^1", None), "range_subset() argument 'ecosystem' must be str, not None"),
    (range_simplify, (b"^1",), "range_simplify() argument 'r' must be str, not bytes"),
    (range_complement, ("^1", 2), "range_complement() argument 'ecosystem' must be str, not int"),
    (range_difference, ("^1", None), "range_difference() argument 'b' must be str, not None"),
])
def test_arguments_must_be_str(fn, args, message):
    with pytest.raises(TypeError) as info:
        fn(*args)
    assert str(info.value) == message


# ---------------------------------------------------------------- mends

@pytest.mark.parametrize("range_,inside,outside", [
    ("~=1.2", ["1.2", "1.5", "1.99.99"], ["1.1.9", "2.0"]),
    ("~>1.2", ["1.2", "1.5"], ["2.0"]),
    ("~=1.2.3", ["1.2.3", "1.2.99"], ["1.2.2", "1.3.0"]),
    ("~=1.2.3.4", ["1.2.3.4", "1.2.3.99"], ["1.2.3.3", "1.2.4", "1.2.5"]),
    ("~>1", ["1.0", "1.9"], ["0.9", "2.0"]),
    ("~=2.2.post3", ["2.2.post3", "2.9"], ["2.2", "3.0"]),
    ("~=1.4.5a4", ["1.4.5a4", "1.4.9"], ["1.4.5a3", "1.5.0"]),
    ("~=1.2.x", ["1.2.0", "1.2.9"], ["1.3.0"]),  # a wildcard keeps the tilde rule
    ("~1.2", ["1.2.0", "1.2.9"], ["1.3.0"]),  # so does the plain tilde
    ("==1.2.*", ["1.2", "1.2.0", "1.2.9"], ["1.1.9", "1.3.0"]),
    ("== 1.2.*", ["1.2.9"], ["1.3.0"]),
    ("!=1.2.*", ["1.1.9", "1.3.0", "2.0"], ["1.2", "1.2.0", "1.2.9"]),
    ("!=1.*", ["0.9", "2.0"], ["1.0", "1.9.9"]),
    (">=1.0,!=1.2.*,!=1.4.*", ["1.0", "1.3.5", "1.5"], ["0.9", "1.2.1", "1.4.0"]),
])
def test_pessimistic_and_prefix_forms(range_, inside, outside):
    for v in inside:
        assert satisfies(v, range_, "pep440") is True, v
    for v in outside:
        assert satisfies(v, range_, "pep440") is False, v


@pytest.mark.parametrize("range_,message", [
    ("==1.x-beta", "invalid x-range: '==1.x-beta'"),
    ("!=v1.*", "invalid x-range: '!=v1.*'"),
    ("!=18446744073709551615.*", "invalid x-range: '!=18446744073709551615.*'; upper bound exceeds 18446744073709551615"),
    ("~=1..2", "invalid tilde range: '~1..2'"),
    ("~=1.", "invalid tilde range: '~1.'"),
    ("~=a1", "invalid tilde range: '~a1'"),
    ("~=1.99999999999999999999.1", "invalid tilde range: '~1.99999999999999999999.1'"),
])
def test_bad_prefix_and_pessimistic_forms(range_, message):
    assert error_of(satisfies, "1.0", range_) == message


def test_pessimistic_upper_bound_parses_under_triple_only_orderings():
    # The upper bound is padded to three numbers, so 1.2.3 ~> 2.0.0 works
    # where a two-number text would not parse.
    for eco in ("semver", "npm", "crates"):
        assert satisfies("1.9.0", "~>1.2.3", eco) is False
        assert satisfies("1.2.9", "~>1.2.3", eco) is True
        assert satisfies("1.9.0", "~=1.2.0 || ~>1.2.0", eco) is False


# ---------------------------------------------------------------- laws under every ordering

# Bounds lie on a grid; a half step sits between any two neighbours of it and
# the ends lie outside it, so the samples meet every piece of any difference
# of two generated ranges.
BOUNDS = [(x, y) for x in range(1, 5) for y in range(4)]
SAMPLES = [(x, y, 0) for x, y in BOUNDS] + [(x, y, 5) for x, y in BOUNDS] + [(0, 1, 0), (9, 0, 0)]


def prefix_of(eco):
    return "v" if eco == "go" else ""


def comparator(eco):
    p = prefix_of(eco)
    plain = st.builds(lambda op, b: f"{op}{p}{b[0]}.{b[1]}.0",
                      st.sampled_from([">", ">=", "<", "<=", "==", "!="]), st.sampled_from(BOUNDS[:12]))
    if p:
        return plain
    # Shorthands write their bounds without a prefix.
    short = st.builds(lambda form, b: form.format(x=b[0], y=b[1]),
                      st.sampled_from(["^{x}.{y}.0", "~{x}.{y}.0", "{x}.{y}.x", "{x}.x", "~={x}.{y}.0",
                                       "=={x}.{y}.*", "!={x}.{y}.*", "!={x}.*"]),
                      st.sampled_from([b for b in BOUNDS[:12] if b[1] < 3]))
    return st.one_of(plain, plain, short)


def range_of(eco):
    branch = st.lists(comparator(eco), max_size=3).map(",".join)
    return st.lists(branch, min_size=1, max_size=3).map(" || ".join)


def members(eco, r):
    if r is None:
        return set()
    p = prefix_of(eco)
    return {s for s in SAMPLES if satisfies(p + "%d.%d.%d" % s, r, eco)}


@st.composite
def eco_and_ranges(draw):
    eco = draw(st.sampled_from(ECOSYSTEMS))
    return eco, draw(range_of(eco)), draw(range_of(eco))


@settings(max_examples=600, deadline=None)
@given(eco_and_ranges())
def test_laws(case):
    eco, a, b = case
    in_a, in_b = members(eco, a), members(eco, b)
    both = range_intersection(a, b, eco)
    assert members(eco, both) == in_a & in_b
    assert ranges_intersect(a, b, eco) is (both is not None)
    assert members(eco, range_union(a, b, eco)) == in_a | in_b
    assert range_subset(a, b, eco) is (in_a <= in_b)
    rest = range_difference(a, b, eco)
    assert members(eco, rest) == in_a - in_b
    # a = (a - b) | (a & b), as one text
    rejoined = range_union(rest, both, eco) if rest is not None and both is not None else rest or both
    simple = range_simplify(a, eco)
    assert rejoined == simple
    outside = range_complement(a, eco)
    assert members(eco, outside) == set(SAMPLES) - in_a
    if outside is None:
        assert simple == "*"
    else:
        assert range_complement(outside, eco) == simple
    assert members(eco, simple) == in_a
    if simple is not None:
        assert range_simplify(simple, eco) == simple
        # The same versions written another way come to the same text.
        assert range_simplify(range_union(simple, a, eco), eco) == simple


# ---------------------------------------------------------------- OSV entries

OSV_PYPI = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "data" / "osv-pypi"


@pytest.mark.parametrize("affected,expected", [
    ({"ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "1.0"}, {"fixed": "1.2"}, {"introduced": "2.0"},
                                                   {"fixed": "2.2"}]}],
      "versions": ["0.5", "1.1"]}, "==0.5 || >=1.0,<1.2 || >=2.0,<2.2"),
    ({"ranges": [{"events": [{"introduced": "0"}, {"last_affected": "1.4"}]}]}, "<=1.4"),
    ({"ranges": [{"events": [{"introduced": "0"}]}], "versions": ["1.0"]}, "*"),
    ({"ranges": [{"type": "GIT", "events": [{"introduced": "abc"}, {"fixed": "def"}]}]}, None),
    ({"ranges": [{"events": [{"limit": "2.0"}]}]}, None),
    ({}, None),
    ({"versions": ["1.0", "1.0.0", "0.9"]}, "==0.9 || ==1.0"),
])
def test_osv_range(affected, expected):
    assert quorlen.osv_range(affected) == expected


def test_osv_range_ecosystem_comes_from_the_entry_unless_given():
    entry = {"package": {"ecosystem": "PyPI"}, "ranges": [{"events": [{"introduced": "1.0"}]}]}
    assert error_of(quorlen.osv_range, entry).startswith("unsupported ecosystem 'pypi'")
    assert quorlen.osv_range(entry, "pep440") == ">=1.0"
    assert error_of(quorlen.osv_range, {"ranges": [{"events": [{"fixed": "1.0"}]}]}, "semver") == BAD_SEMVER
    with pytest.raises(TypeError):
        quorlen.osv_range({"ranges": ({"events": []},)})
    with pytest.raises(TypeError):
        quorlen.osv_range({"versions": [1]})


def osv_entries():
    if not OSV_PYPI.is_dir():
        pytest.skip(f"no advisory records at {OSV_PYPI}")
    for path in sorted(OSV_PYPI.glob("*/*.json"))[:400]:
        for affected in json.loads(path.read_text(encoding="utf-8")).get("affected", []):
            yield path.name, affected


def spelled_otherwise(listed, v):
    try:
        return listed != v and quorlen.compare(listed, v, "pep440") == 0
    except ValueError:
        return False


def test_osv_range_covers_what_osv_affected_decides_on_real_records():
    checked = 0
    for name, affected in osv_entries():
        try:
            r = quorlen.osv_range(affected, "pep440")
        except ValueError:
            continue  # a bound that PEP 440 cannot read
        vers = quorlen.build_vers("pep440", r) if r is not None else None
        published = quorlen.build_vers("pep440", r, standard=True) if r is not None else None
        texts = set(affected.get("versions", []))
        for rng in affected.get("ranges", []):
            for event in rng.get("events", []):
                texts.update(v for k, v in event.items() if k != "limit")
        for v in sorted(texts):
            try:
                quorlen.Version(v, "pep440")
            except ValueError:
                continue  # a commit hash, or a text PEP 440 cannot read
            try:
                expected = quorlen.osv_affected(v, affected, "pep440")
            except ValueError:
                continue
            if any(spelled_otherwise(w, v) for w in affected.get("versions", [])):
                continue  # the entry's list matches text only; a pin matches every spelling
            try:
                got = r is not None and satisfies(v, r, "pep440")
            except ValueError:
                continue  # only the entry's text list can match a version PEP 440 cannot read
            assert got is expected, (name, v, r)
            if vers is not None:
                assert quorlen.vers_contains(vers, v) is expected
                assert quorlen.vers_contains(published, v) is expected
            checked += 1
    assert checked > 1000


@pytest.mark.parametrize("operation", [
    lambda r: quorlen.range_simplify(r),
    lambda r: quorlen.range_intersection(r, ">=0"),
    lambda r: quorlen.range_union(r, ">=0"),
    lambda r: quorlen.range_subset(r, ">=0"),
])
@pytest.mark.parametrize("rng, bound", [
    ("(1.0.0, 2.0.*]", "2.0.*"),  # written back as "<=2.0.*" it would read as an x-range
    ("[1.x,2]", "1.x"),
    ("(=1,2]", "=1"),             # ">==1" is no comparator
    ("[1.xa,2)", "1.xa"),         # ".x" inside a component still reads as an x-range
    ("(0.9,1.X5]", "1.X5"),
])
def test_interval_bounds_that_cannot_be_written_back_are_refused(operation, rng, bound):
    with pytest.raises(ValueError, match=re.escape(f"range bound cannot be written as a comparator: '{bound}'")):
        operation(rng)
