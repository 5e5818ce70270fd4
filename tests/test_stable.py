"""stable_versions and latest_stable: what counts as stable, identity and
order of the kept items, tie rule, error order."""
import inspect

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from helpers import UNSUPPORTED_NOPE, fresh
from quorlen import Version, compare, latest_stable, stable_versions

@pytest.mark.parametrize("name", ["stable_versions", "latest_stable"])
def test_text_signature(name):
    fn = getattr(quorlen, name)
    assert str(inspect.signature(fn)) == "(versions, ecosystem='generic')"
    assert fn.__doc__ in (None, "")


@pytest.mark.parametrize(
    "text, stable",
    [
        ("1.0", True),
        ("1.0-foo", True),  # unknown words are not pre-releases
        ("1.0-final", True),
        ("2.0.post1", True),
        ("1.0+rc1", True),  # build metadata plays no part
        ("", True),
        ("1.1a1", False),
        ("2.0-rc.1", False),
        ("1.0-SNAPSHOT", False),
        ("1.0~1", False),
        ("1.0.dev3", False),
    ],
)
def test_what_counts_as_stable(text, stable):
    item = fresh(text)
    assert stable_versions([item]) == ([item] if stable else [])
    if stable:
        assert latest_stable([item]) is item
    else:
        with pytest.raises(ValueError, match="^no stable versions found$"):
            latest_stable([item])


def test_stable_versions_keeps_input_order_and_objects():
    items = [fresh(x) for x in ["1.0", "1.1a1", "1.1", "2.0-rc.1", "2.0.post1", "1.0"]]
    result = stable_versions(items)
    assert [id(x) for x in result] == [id(items[i]) for i in (0, 2, 4, 5)]
    assert result is not items


def test_latest_stable_of_the_same_list():
    items = [fresh(x) for x in ["1.0", "1.1a1", "1.1", "2.0-rc.1", "2.0.post1"]]
    assert latest_stable(items) is items[4]


def test_latest_stable_last_of_equal_maxima():
    items = [fresh("1.0"), fresh("1.0.0")]
    assert latest_stable(items) is items[1]
    items = [fresh("1"), fresh("2.0"), fresh("2.0a1"), fresh("2"), fresh("1.9")]
    assert latest_stable(items) is items[3]


def test_version_objects_are_returned_themselves():
    v, w = Version("3.0"), Version("4.0b1")
    assert stable_versions([w, v, "1"]) == [v, "1"]
    assert stable_versions([w, v])[0] is v
    assert latest_stable(["2", w, v]) is v


def test_prereleases_are_dropped_before_the_ecosystem_parses():
    assert stable_versions(["1.0-beta", "1.0.0"], ecosystem="semver") == ["1.0.0"]
    with pytest.raises(ValueError) as info:
        stable_versions(["1.0.0-alpha", "1.0"], ecosystem="semver")
    with pytest.raises(ValueError) as alone:
        compare("1.0", "1.0.0", ecosystem="semver")
    assert str(info.value) == str(alone.value)
    assert latest_stable(["1.0-beta", "1.0.0", "0.9.0"], ecosystem="semver") == "1.0.0"


@pytest.mark.parametrize(
    "call, kind, message",
    [
        (lambda: stable_versions("1.0"), TypeError, "stable_versions() argument 'versions' must be Sequence, not str"),
        (lambda: latest_stable(iter([])), TypeError, "latest_stable() argument 'versions' must be Sequence, not list_iterator"),
        (lambda: stable_versions(["1"], ecosystem=None), TypeError,
         "stable_versions() argument 'ecosystem' must be str, not None"),
        (lambda: stable_versions(["1", 2]), TypeError, "expected Version or str"),
        # a foreign item is refused even where a pre-release would be dropped
        (lambda: stable_versions(["1a1", 2]), TypeError, "expected Version or str"),
        (lambda: latest_stable([1.0]), TypeError, "expected Version or str"),
        (lambda: latest_stable([]), ValueError, "empty sequence"),
        (lambda: latest_stable([], ecosystem="nope"), ValueError, "empty sequence"),
        (lambda: latest_stable(["1a1"]), ValueError, "no stable versions found"),
        (lambda: latest_stable(["1a1", "2.0b2", "3~1"]), ValueError, "no stable versions found"),
        (lambda: stable_versions([], ecosystem="nope"), ValueError, UNSUPPORTED_NOPE),
        (lambda: stable_versions([1], ecosystem="NOPE"), ValueError, UNSUPPORTED_NOPE),
        (lambda: latest_stable(["1"], ecosystem="nope"), ValueError, UNSUPPORTED_NOPE),
        # under auto the first item decides, even a pre-release; a foreign one is a TypeError
        (lambda: latest_stable([1, "2"], ecosystem="auto"), TypeError, "expected Version or str"),
        # the first failure in input order wins
        (lambda: latest_stable(["1", 2, None]), TypeError, "expected Version or str"),
    ],
)
def test_errors(call, kind, message):
    with pytest.raises(kind) as info:
        call()
    assert str(info.value) == message


def test_empty_lists_and_auto():
    assert stable_versions([]) == [] and stable_versions(()) == []
    assert stable_versions(["1a1", "2rc1"]) == []
    assert stable_versions([], ecosystem="auto") == []
    assert stable_versions(["1.0", "1.0rc1"], ecosystem="Auto") == ["1.0"]


@settings(max_examples=300, deadline=None)
@given(st.lists(st.text(alphabet="0123456789.-abrcpostdev~^", max_size=8), max_size=30))
def test_laws(items):
    items = [fresh(x) for x in items]
    kept = stable_versions(items)
    # the filter looks at each item alone, keeps input order, and is idempotent
    assert [id(x) for x in kept] == [id(x) for x in items if stable_versions([x])]
    assert stable_versions(kept) == kept
    if kept:
        # the highest stable item is the maximum of the stable items
        assert latest_stable(items) is quorlen.max_version(kept)
    elif items:
        with pytest.raises(ValueError, match="^no stable versions found$"):
            latest_stable(items)
