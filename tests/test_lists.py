"""version, compare_semver_strict, sort_versions, batch_compare, max_version
and min_version: sequence rules, identity of returned items, tie rules, error
order, and sorting under orderings that are not transitive."""
import functools
import inspect
from collections import namedtuple

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from helpers import UNSUPPORTED_NOPE, fresh
from quorlen import Version, batch_compare, compare, max_version, min_version, sort_versions

# ---------------------------------------------------------------- signatures


@pytest.mark.parametrize(
    "name, signature",
    [
        ("version", "(s, ecosystem='auto')"),
        ("compare_semver_strict", "(a, b)"),
        ("sort_versions", "(versions, ecosystem='generic')"),
        ("batch_compare", "(pairs, ecosystem='generic')"),
        ("max_version", "(versions, ecosystem='generic')"),
        ("min_version", "(versions, ecosystem='generic')"),
    ],
)
def test_text_signature_and_empty_docstring(name, signature):
    fn = getattr(quorlen, name)
    assert str(inspect.signature(fn)) == signature
    assert fn.__doc__ in (None, "")
    assert fn.__name__ == name


# ---------------------------------------------------------------- ordering results


def test_sort_keeps_equal_items_in_input_order():
    assert sort_versions(["1.10", "1.9", "1.0.0", "1.0"]) == ["1.0.0", "1.0", "1.9", "1.10"]
    assert sort_versions(["1.0", "1.0.0", "1"]) == ["1.0", "1.0.0", "1"]
    assert sort_versions(["2", "1.0rc1", "1.0", "1.0.post1", "1.0a1"]) == ["1.0a1", "1.0rc1", "1.0", "1.0.post1", "2"]
    assert sort_versions([]) == [] and sort_versions(()) == []


def test_sort_returns_the_callers_objects_in_a_new_list():
    items = [fresh("2.0"), fresh("1.0"), Version("1.5"), fresh("1.0.0")]
    before = list(items)
    result = sort_versions(items)
    assert [id(x) for x in result] == [id(items[1]), id(items[3]), id(items[2]), id(items[0])]
    assert result is not items
    assert items == before and all(a is b for a, b in zip(items, before))


def test_sort_accepts_tuples_and_other_sequences():
    assert sort_versions(("2", "1")) == ["1", "2"]

    class Seq:
        def __getitem__(self, i):
            if i >= 3:
                raise IndexError(i)
            return ("3", "1", "2")[i]

    assert sort_versions(Seq()) == ["1", "2", "3"]


def test_sort_with_auto_takes_the_ecosystem_from_the_first_item():
    # 2.0.post1 is detected as pep440; 1.0 then parses under pep440 too.
    assert sort_versions(["2.0.post1", "1.0"], ecosystem="auto") == ["1.0", "2.0.post1"]
    assert sort_versions([], ecosystem="AUTO") == []


def test_max_returns_the_last_of_equal_maxima():
    items = [fresh("1.0"), fresh("1.0.0"), fresh("0.9")]
    assert max_version(items) is items[1]
    items = [fresh("2"), fresh("1"), fresh("2.0"), fresh("2.0.0"), fresh("1.9")]
    assert max_version(items) is items[3]


def test_min_returns_the_first_of_equal_minima():
    items = [fresh("1.0"), fresh("1.0.0"), fresh("2")]
    assert min_version(items) is items[0]
    items = [fresh("3"), fresh("1.0"), fresh("2"), fresh("1"), fresh("1.0.0")]
    assert min_version(items) is items[1]


def test_max_and_min_return_a_version_object_itself():
    w = Version("3.0")
    assert max_version([w, "2.0"]) is w
    assert min_version(["4.0", w]) is w
    assert max_version((w,)) is w and min_version([w]) is w


def test_batch_compare_orders_each_pair():
    assert batch_compare([("1.0", "2.0"), ("2.0", "2.0"), ("3.0", "2.0")]) == [-1, 0, 1]
    assert batch_compare([]) == []
    assert batch_compare([(Version("1.0"), "1.0.0")]) == [0]
    assert all(type(x) is int for x in batch_compare([("1", "2"), ("2", "1")]))


def test_batch_compare_accepts_tuple_subclasses():
    Pair = namedtuple("Pair", "a b")
    assert batch_compare([Pair("1.0", "0.9")]) == [1]


def test_batch_compare_resolves_auto_per_pair():
    # Each pair is detected from its own first element, exactly as compare does.
    pairs = [("1.0.post1", "1.0-1"), ("1.0", "1.0-1"), ("1:2.0~rc1", "2.0"), ("2024.01", "2024.1"), (Version("1.0a1"), "1.0")]
    assert batch_compare(pairs, ecosystem="auto") == [compare(a, b, ecosystem="auto") for a, b in pairs]


def test_compare_semver_strict():
    assert quorlen.compare_semver_strict("1.0.0-rc.1", "1.0.0") == -1
    assert quorlen.compare_semver_strict("1.0.0", "1.0.0+build") == 0
    assert quorlen.compare_semver_strict("2.0.0", "1.9.9") == 1
    with pytest.raises(ValueError):
        quorlen.compare_semver_strict("1.0", "1.0.0")
    assert compare("1.0", "1.0.0") == 0


def test_version_refuses_a_version():
    with pytest.raises(TypeError, match=r"^version\(\) argument 's' must be str, not (quorlen\.)?Version$"):
        quorlen.version(Version("1.0"))


def test_version_builds_a_version():
    v = quorlen.version("1.0")
    assert type(v) is Version
    assert str(v) == "1.0"
    assert str(quorlen.version(s="2.0", ecosystem="generic")) == "2.0"


# ---------------------------------------------------------------- argument errors


def _message(call):
    with pytest.raises((TypeError, ValueError)) as info:
        call()
    return info.type, str(info.value)


@pytest.mark.parametrize(
    "call, kind, message",
    [
        (lambda: sort_versions("1.0"), TypeError, "sort_versions() argument 'versions' must be Sequence, not str"),
        (lambda: max_version("1.0"), TypeError, "max_version() argument 'versions' must be Sequence, not str"),
        (lambda: min_version(iter(["1"])), TypeError, "min_version() argument 'versions' must be Sequence, not list_iterator"),
        (lambda: sort_versions({"1", "2"}), TypeError, "sort_versions() argument 'versions' must be Sequence, not set"),
        (lambda: sort_versions({"1": 1}), TypeError, "sort_versions() argument 'versions' must be Sequence, not dict"),
        (lambda: batch_compare("12"), TypeError, "batch_compare() argument 'pairs' must be Sequence, not str"),
        (lambda: batch_compare([["1.0", "2.0"]]), TypeError, "batch_compare() argument 'pairs' item 0 must be tuple, not list"),
        (lambda: batch_compare([("1", "2"), ("1", "2", "3")]), TypeError,
         "batch_compare() argument 'pairs' item 1 must be a tuple of length 2, not 3"),
        (lambda: batch_compare([("1", 2)]), TypeError, "expected Version or str"),
        (lambda: sort_versions(["1", 2]), TypeError, "expected Version or str"),
        (lambda: sort_versions(b"12"), TypeError, "expected Version or str"),
        (lambda: sort_versions(["1"], ecosystem=None), TypeError, "sort_versions() argument 'ecosystem' must be str, not None"),
        (lambda: sort_versions(), TypeError, "sort_versions() missing required argument 'versions' (pos 1)"),
        (lambda: quorlen.compare_semver_strict("1.0.0", 1), TypeError, "compare_semver_strict() argument 'b' must be str, not int"),
        (lambda: max_version([]), ValueError, "empty sequence"),
        (lambda: min_version(()), ValueError, "empty sequence"),
        (lambda: quorlen.version("1.0", "nope"), quorlen.UnknownEcosystemError, UNSUPPORTED_NOPE),
    ],
)
def test_errors(call, kind, message):
    assert _message(call) == (kind, message)


@pytest.mark.parametrize(
    "call, kind, message",
    [
        # an empty list is reported before the ecosystem is looked at
        (lambda: max_version([], ecosystem="nope"), ValueError, "empty sequence"),
        (lambda: min_version([], ecosystem=3), TypeError, "min_version() argument 'ecosystem' must be str, not int"),
        # ...but sort_versions and batch_compare still refuse the name
        (lambda: sort_versions([], ecosystem="NOPE"), quorlen.UnknownEcosystemError, UNSUPPORTED_NOPE),
        (lambda: batch_compare([], ecosystem="nope"), quorlen.UnknownEcosystemError, UNSUPPORTED_NOPE),
        # the list is bound before the ecosystem argument
        (lambda: sort_versions("1", ecosystem=None), TypeError, "sort_versions() argument 'versions' must be Sequence, not str"),
        (lambda: batch_compare([["1", "2"]], ecosystem="nope"), TypeError,
         "batch_compare() argument 'pairs' item 0 must be tuple, not list"),
        # the ecosystem is resolved before any item is parsed
        (lambda: sort_versions([1], ecosystem="nope"), quorlen.UnknownEcosystemError, UNSUPPORTED_NOPE),
        (lambda: max_version([1], ecosystem="nope"), quorlen.UnknownEcosystemError, UNSUPPORTED_NOPE),
        # under auto the first item decides, and a foreign first item is a TypeError
        (lambda: max_version([1, "2"], ecosystem="auto"), TypeError, "expected Version or str"),
        (lambda: batch_compare([(1, "2")], ecosystem="auto"), TypeError, "expected Version or str"),
        # the first failing pair wins
        (lambda: batch_compare([("1", "2"), (3, 4), ("1", 5)]), TypeError, "expected Version or str"),
    ],
)
def test_error_order(call, kind, message):
    assert _message(call) == (kind, message)


def test_first_rejected_item_wins_and_no_result_is_returned():
    items = ["1.0.0", "1.0", "x"]
    with pytest.raises(ValueError) as first:
        sort_versions(items, ecosystem="semver")
    with pytest.raises(ValueError) as alone:
        compare("1.0", "1.0.0", ecosystem="semver")
    assert str(first.value) == str(alone.value)
    assert items == ["1.0.0", "1.0", "x"]


def test_a_failure_mid_list_leaves_the_input_alone():
    items = ["3", "1", "2", object(), "0"]
    before = list(items)
    with pytest.raises(TypeError):
        sort_versions(items)
    assert all(a is b for a, b in zip(items, before)) and len(items) == len(before)


# ---------------------------------------------------------------- misbehaving sequences


def test_items_are_read_once_by_iteration():
    reads = []

    class Counting(list):
        def __iter__(self):
            reads.append(1)
            return super().__iter__()

    seq = Counting(["2", "1"])
    assert sort_versions(seq) == ["1", "2"]
    assert reads == [1]


def test_errors_raised_while_reading_pass_through():
    class Broken:
        def __getitem__(self, i):
            raise RuntimeError("boom")

    with pytest.raises(RuntimeError, match="^boom$"):
        sort_versions(Broken())

    class BadIter(list):
        def __iter__(self):
            raise LookupError("no items")

    with pytest.raises(LookupError, match="^no items$"):
        max_version(BadIter(["1"]))


def test_a_sequence_that_mutates_itself_while_read():
    class Growing:
        def __init__(self):
            self.items = ["3", "1"]

        def __getitem__(self, i):
            if i >= len(self.items):
                raise IndexError(i)
            if len(self.items) < 6:
                self.items.append(str(len(self.items)))
            return self.items[i]

    assert sort_versions(Growing()) == ["1", "2", "3", "3", "4", "5"]


# ---------------------------------------------------------------- non-transitive orderings

# Under generic rules 1.0rc1 < 1 < 1.post1, yet 1.0rc1 > 1.post1 (0 against a word).
CYCLE = ["1.0rc1", "1", "1.post1"]


def test_the_cycle_is_real():
    assert compare("1.0rc1", "1") == -1
    assert compare("1", "1.post1") == -1
    assert compare("1.0rc1", "1.post1") == 1


@settings(max_examples=200, deadline=None)
@given(st.lists(st.sampled_from(CYCLE + ["1.0", "0.9", "1.0.post1", "1.0a"]), max_size=200))
def test_sorting_a_cyclic_list_gives_a_permutation(items):
    items = [fresh(x) for x in items]
    result = sort_versions(items)
    assert sorted(map(id, result)) == sorted(map(id, items))
    if items:
        assert any(max_version(items) is x for x in items)
        assert any(min_version(items) is x for x in items)


@pytest.mark.parametrize("n", [2, 3, 1000, 4099])
def test_long_cyclic_lists(n):
    items = [fresh(CYCLE[i % 3]) for i in range(n)]
    result = sort_versions(items)
    assert sorted(map(id, result)) == sorted(map(id, items))


# ---------------------------------------------------------------- laws under a consistent ordering

VERSION_TEXT = st.text(alphabet="0123456789.-abrcpostdev~^+!:", max_size=12)


def _cmp(a, b):
    return compare(a, b)


@settings(max_examples=300, deadline=None)
@given(st.lists(st.sampled_from(["0", "1", "1.0", "1.0.0", "2", "1.1", "1.0a1", "1.0.post1", "1!0", "10"]), max_size=40))
def test_sort_is_the_stable_sort_of_a_total_order(items):
    items = [fresh(x) for x in items]
    expected = sorted(items, key=functools.cmp_to_key(_cmp))  # Python's sort is stable
    assert [id(x) for x in sort_versions(items)] == [id(x) for x in expected]
    if items:
        assert max_version(items) is expected[-1]
        lows = [x for x in items if compare(x, expected[0]) == 0]
        assert min_version(items) is lows[0]


@settings(max_examples=300, deadline=None)
@given(st.lists(st.tuples(VERSION_TEXT, VERSION_TEXT), max_size=20))
def test_batch_compare_agrees_with_compare(pairs):
    assert batch_compare(pairs) == [compare(a, b) for a, b in pairs]
