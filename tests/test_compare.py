"""compare and the eight boolean comparison functions: argument binding,
ecosystem resolution, error order and messages."""
import inspect

import pytest

import quorlen
from quorlen import compare

BOOLEANS = {
    # name: results for orderings (less, equal, greater)
    "eq": (False, True, False),
    "ne": (True, False, True),
    "gt": (False, False, True),
    "ge": (False, True, True),
    "gte": (False, True, True),
    "lt": (True, False, False),
    "le": (True, True, False),
    "lte": (True, True, False),
}
PAIRS = [("1.0", "2.0", -1), ("1.0", "1.0.0", 0), ("2.0", "1.0", 1)]


@pytest.mark.parametrize("name", sorted(BOOLEANS))
@pytest.mark.parametrize("a, b, order", PAIRS)
def test_booleans_follow_the_ordering(name, a, b, order):
    fn = getattr(quorlen, name)
    assert fn(a, b) is BOOLEANS[name][order + 1]
    assert fn(a=a, b=b, ecosystem="generic") is BOOLEANS[name][order + 1]
    assert fn.__name__ == name


@pytest.mark.parametrize("a, b, order", PAIRS + [("1.0a", "1.0", -1), ("1.0+build1", "1.0+build2", 0)])
def test_compare_returns_an_int(a, b, order):
    assert compare(a, b) == order
    assert type(compare(a, b)) is int


def test_text_signatures_and_docstrings():
    assert str(inspect.signature(compare)) == "(a, b, ecosystem='generic')"
    for name in BOOLEANS:
        fn = getattr(quorlen, name)
        assert str(inspect.signature(fn)) == "(a, b, ecosystem='generic')"
        assert fn.__doc__ in (None, "")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: compare(), "compare() missing required argument 'a' (pos 1)"),
        (lambda: compare("1"), "compare() missing required argument 'b' (pos 2)"),
        (lambda: compare("1", "2", "generic", "x"), "compare() takes from 2 to 3 positional arguments but 4 were given"),
        (lambda: compare("1", "2", bogus=1), "compare() got an unexpected keyword argument 'bogus'"),
        (lambda: compare("1", "2", a="1"), "argument for compare() given by name ('a') and position (1)"),
        (lambda: compare("1", "2", ecosystem=None), "compare() argument 'ecosystem' must be str, not None"),
        (lambda: compare("1", "2", ecosystem=3), "compare() argument 'ecosystem' must be str, not int"),
        (lambda: compare(1, "1.0"), "expected Version or str"),
        (lambda: compare("1.0", b"1.0"), "expected Version or str"),
        (lambda: quorlen.gt(1, "1.0"), "gt() argument 'a' must be str, not int"),
        (lambda: quorlen.lte("1", None), "lte() argument 'b' must be str, not None"),
        (lambda: quorlen.eq("1", "2", ecosystem=None), "eq() argument 'ecosystem' must be str, not None"),
        (lambda: quorlen.ne(b="1"), "ne() missing required argument 'a' (pos 1)"),
    ],
)
def test_type_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_booleans_do_not_take_versions():
    v = quorlen.Version("1.0")
    with pytest.raises(TypeError, match=r"^ge\(\) argument 'a' must be str, not quorlen\.Version$"):
        quorlen.ge(v, "1.0")


def test_ecosystem_is_resolved_before_the_versions():
    with pytest.raises(ValueError, match="^unsupported ecosystem 'nope'"):
        compare(1, "2.0", ecosystem="nope")
    with pytest.raises(ValueError, match="^unsupported ecosystem 'nope'"):
        compare("1.0", "2.0", ecosystem="NOPE")
    # The boolean functions check the types of both texts first.
    with pytest.raises(TypeError):
        quorlen.lt("1.0", 2, ecosystem="nope")


def test_lone_surrogate_raises_instead_of_crashing():
    with pytest.raises(UnicodeEncodeError):
        compare("\udc80", "1.0")
    with pytest.raises(UnicodeEncodeError):
        quorlen.eq("1.0", "\ud800")


def test_auto_resolves_from_the_first_argument():
    # 1.0~rc1 is detected as Debian, where "~" sorts before the end of the text.
    assert compare("1.0~rc1", "1.0", ecosystem="auto") == -1
    assert compare("1.0", "1.0~rc1", ecosystem="AUTO") == 1


def test_version_arguments_are_read_as_their_text():
    v = quorlen.Version("1.0")
    assert compare(v, "1.0.0") == 0
    assert compare("2.0", v) == 1
    assert compare(v, v) == 0


def test_module_lists_its_names_in_registration_order():
    names = list(quorlen._quorlen.__all__)
    assert names[0] == "Version"
    order = [
        "UnknownEcosystemError", "version", "compare", "compare_semver_strict", "sort_versions", "batch_compare", "gt", "ge", "gte",
        "lt", "le", "lte", "eq", "ne", "max_version", "min_version", "stable_versions", "latest_stable",
        "satisfies", "range_contains", "ranges_intersect", "range_intersection", "range_union", "range_subset",
        "range_complement", "range_difference", "range_simplify", "parse_purl", "build_purl", "purl_ecosystem", "build_vers", "vers_contains", "osv_affected",
        "osv_range", "bump_major", "bump_minor", "bump_patch",
        "bump_prerelease", "next_stable", "ecosystems", "osv_ecosystem",
    ]
    assert names[1:] == order
    assert len(names) == len(set(names))
