"""osv_affected: the ecosystem choice, the walk over ranges and events, the
list of versions, the type checks of every container, and real advisories."""
import inspect
import json
import pathlib

import pytest

from helpers import unsupported
from quorlen import osv_affected



def events(*pairs):
    """One range from (kind, value) pairs, in order."""
    return {"ranges": [{"type": "ECOSYSTEM", "events": [{k: v} for k, v in pairs]}]}


def value_error(version, affected, message, ecosystem=None):
    with pytest.raises(ValueError) as e:
        osv_affected(version, affected, ecosystem)
    assert str(e.value) == message


def type_error(version, affected, message, ecosystem=None):
    with pytest.raises(TypeError) as e:
        osv_affected(version, affected, ecosystem)
    assert str(e.value) == message


# ---------------------------------------------------------------- one span

@pytest.mark.parametrize("affected, inside, outside", [
    (events(("introduced", "0"), ("fixed", "2.0")), ["0", "1.5", "1.9.9"], ["2.0", "2.0.0", "2.1"]),
    (events(("introduced", "1.0"), ("last_affected", "1.4")), ["1.0", "1.2", "1.4", "1.4.0"], ["0.9", "1.4.1", "1.5"]),
    (events(("introduced", "1.0")), ["1.0", "99"], ["0.9"]),
    (events(("fixed", "2.0")), ["1.0"], ["2.0"]),
    (events(("last_affected", "2.0")), ["2.0"], ["2.0.1"]),
    (events(("introduced", "0"), ("last_affected", "0")), ["0"], ["0.1"]),
    # a later value of the same kind replaces the earlier one
    (events(("introduced", "1.0"), ("introduced", "1.2"), ("fixed", "1.5")), ["1.2", "1.4"], ["1.1", "1.5"]),
    (events(("introduced", "1.0"), ("fixed", "1.5"), ("fixed", "1.3")), ["1.0", "1.2"], ["1.3", "1.4"]),
    # "fixed" and "last_affected" bound one span together: both must hold
    (events(("introduced", "1.0"), ("fixed", "2.0"), ("last_affected", "1.5")), ["1.5"], ["1.6", "0.5"]),
    # "limit" and unknown keys are ignored
    ({"ranges": [{"events": [{"introduced": "1.0"}, {"limit": "1.1"}, {"fixed": "2.0", "note": 3}]}]},
     ["1.5"], ["0.5", "2.0"]),
    (events(("introduced", "0.0"), ("fixed", "1")), ["0.0", "0.5"], ["1"]),
])
def test_one_span(affected, inside, outside):
    for v in inside:
        assert osv_affected(v, affected) is True, v
    for v in outside:
        assert osv_affected(v, affected) is False, v


def test_introduced_zero_alone_covers_every_version_without_parsing():
    only_zero = events(("introduced", "0"))
    for v in ["1.0", "anything", "", "not a version"]:
        assert osv_affected(v, only_zero, "pep440") is True
    # nothing after it is read either
    assert osv_affected("x", {"ranges": [only_zero["ranges"][0], 5], "versions": 7}, "pep440") is True


@pytest.mark.parametrize("range_", [
    {"events": []},
    {"events": [{}]},
    {"events": [{"limit": "1.0"}, {"other": None}]},
    {"type": "ECOSYSTEM"},
    {},
])
def test_ranges_without_values_contribute_nothing(range_):
    assert osv_affected("not a version", {"ranges": [range_]}, "pep440") is False
    assert osv_affected("1.0", {"ranges": [range_, {"events": [{"introduced": "0"}]}]}) is True


# ---------------------------------------------------------------- several spans in one range

TWO_PAIRS = events(("introduced", "1.0"), ("fixed", "1.2"), ("introduced", "2.0"), ("fixed", "2.2"))


@pytest.mark.parametrize("version, expected", [
    ("0.9", False), ("1.0", True), ("1.1", True), ("1.2", False), ("1.5", False),
    ("2.0", True), ("2.1", True), ("2.2", False), ("3.0", False),
])
def test_each_introduced_fixed_pair_is_its_own_span(version, expected):
    assert osv_affected(version, TWO_PAIRS) is expected


@pytest.mark.parametrize("pairs, inside, outside", [
    # a span closed by last_affected, then an open-ended one
    ([("introduced", "1.0"), ("last_affected", "1.3"), ("introduced", "2.0")], ["1.3", "2.0", "5"], ["1.4", "0.1"]),
    # "0" opening the second span means no lower bound for it
    ([("introduced", "3.0"), ("fixed", "3.1"), ("introduced", "0"), ("fixed", "1.0")], ["0.5", "3.0"], ["1.0", "2.0"]),
    # a lone "0" after a closed span covers everything from then on
    ([("introduced", "1.0"), ("fixed", "1.1"), ("introduced", "0")], ["0.1", "1.5", "not-reached"], []),
    # a second fixed before any new introduced replaces the first
    ([("introduced", "1.0"), ("fixed", "1.2"), ("fixed", "1.4"), ("introduced", "2.0"), ("fixed", "2.1")],
     ["1.3", "2.0"], ["1.4", "2.1"]),
    # a fixed with no introduced before it, then a pair
    ([("fixed", "1.0"), ("introduced", "2.0"), ("fixed", "3.0")], ["0.5", "2.5"], ["1.0", "1.5", "3.0"]),
])
def test_spans_follow_the_order_of_events(pairs, inside, outside):
    affected = events(*pairs)
    for v in inside:
        assert osv_affected(v, affected) is True, v
    for v in outside:
        assert osv_affected(v, affected) is False, v


def test_an_event_with_several_kinds_reads_introduced_first():
    # {"introduced", "fixed"} in one event after a closed span: the introduced
    # opens the new span and the fixed closes it
    affected = {"ranges": [{"events": [{"introduced": "1.0"}, {"fixed": "1.1"},
                                       {"fixed": "2.5", "introduced": "2.0"}]}]}
    assert [osv_affected(v, affected) for v in ["1.0", "1.5", "2.0", "2.5"]] == [True, False, True, False]


def test_spans_are_judged_in_order_and_stop_at_the_first_that_holds():
    # the second span's bound cannot be parsed under PEP 440, but it is never
    # needed when the first span holds
    affected = events(("introduced", "1.0"), ("fixed", "2.0"), ("introduced", "x9"), ("fixed", "9"))
    assert osv_affected("1.5", affected, "pep440") is True
    value_error("3.0", affected, "PEP 440 version must start with a digit: 'x9'", "pep440")


# ---------------------------------------------------------------- GIT ranges

def test_git_ranges_are_skipped():
    git = {"type": "GIT", "repo": "https://example.invalid/r",
           "events": [{"introduced": "0"}, {"fixed": "f00dfeed"}]}
    assert osv_affected("1.0", {"ranges": [git]}, "pep440") is False
    # skipped entirely: not even its events are checked
    assert osv_affected("1.0", {"ranges": [{"type": "GIT", "events": (1,)}]}) is False
    assert osv_affected("1.0", {"ranges": [{"type": "GIT", "events": [{"introduced": "0"}]}]}) is False


@pytest.mark.parametrize("type_", ["git", "Git", "GIT ", " GIT", "GIT\x00", "SEMVER", "ECOSYSTEM", 1, None, b"GIT"])
def test_only_the_exact_text_git_is_skipped(type_):
    assert osv_affected("1.0", {"ranges": [{"type": type_, "events": [{"introduced": "0"}]}]}) is True


# ---------------------------------------------------------------- the versions list

@pytest.mark.parametrize("version, listed, expected", [
    ("1.0", ["1.0"], True),
    ("1.0", ["0.9", "1.0"], True),
    ("1.0", ["1.0.0"], False),
    ("1.0", ["v1.0"], False),
    ("1.0", [" 1.0"], False),
    ("1.0RC1", ["1.0rc1"], False),
    ("é", ["e\u0301"], False),
    ("é", ["é"], True),
    ("1.0", [], False),
])
def test_versions_match_exact_text_only(version, listed, expected):
    assert osv_affected(version, {"versions": listed}, "pep440") is expected


def test_versions_are_not_parsed():
    assert osv_affected("not a version", {"versions": ["not a version"]}, "pep440") is True
    assert osv_affected("2.0", {"ranges": [], "versions": ["weird!", "2.0"]}, "pep440") is True


def test_ranges_are_looked_at_before_versions():
    affected = {"ranges": [{"events": [{"introduced": "0"}, {"fixed": "1.0"}]}], "versions": ["1.5"]}
    assert osv_affected("1.5", affected) is True
    assert osv_affected("0.5", {**affected, "versions": [1]}) is True  # the bad list is never reached
    type_error("2.0", {**affected, "versions": ["2.1", 1]}, "affected['versions'] item must be str, not int")


# ---------------------------------------------------------------- the ecosystem

def test_the_ecosystem_argument_wins_and_package_is_then_not_read():
    affected = {"package": 5, **events(("introduced", "1.0"), ("fixed", "1.0.post1"))}
    # 1.0.post1 is after 1.0 under PEP 440
    assert osv_affected("1.0", affected, "pep440") is True
    assert osv_affected("1.0", affected, ecosystem="PEP-440") is True


@pytest.mark.parametrize("package, expected", [
    ({"ecosystem": "pep440"}, False),
    ({"ecosystem": "Python"}, False),
    ({"ecosystem": "generic"}, True),
    ({"name": "x", "ecosystem": "PEP440"}, False),
    ({"name": "x"}, True),
    ({}, True),
    (None, True),  # no "package" key at all
])
def test_the_package_ecosystem_is_used_without_the_argument(package, expected):
    # A local label orders after its release under PEP 440, while the generic
    # ordering leaves build text out; so the answer shows which one was used.
    affected = events(("introduced", "0"), ("last_affected", "1.0"))
    if package is not None:
        affected["package"] = package
    assert osv_affected("1.0+local", affected) is expected
    assert osv_affected("1.0+local", affected, "generic") is True
    assert osv_affected("1.0+local", affected, "pep440") is False


def test_pypi_is_not_an_ecosystem_name():
    affected = {"package": {"ecosystem": "PyPI", "name": "demo"}, **events(("introduced", "0"), ("fixed", "2.0"))}
    value_error("1.0", affected, unsupported("pypi"))
    assert osv_affected("1.0", affected, "pep440") is True
    value_error("1.0", {"package": {"ecosystem": "Debian:12"}}, unsupported("debian:12"))
    value_error("1.0", {"package": {"ecosystem": ""}}, unsupported(""))


@pytest.mark.parametrize("name, message", [
    ("", unsupported("")),
    ("auto", unsupported("auto")),
    ("NOPE", unsupported("nope")),
    (" pep440", unsupported(" pep440")),
])
def test_unknown_ecosystem_argument(name, message):
    # the name is judged before anything in the record
    value_error("1.0", {"ranges": 5}, message, name)


def test_under_generic_no_text_fails_to_parse():
    affected = events(("introduced", "!!"), ("fixed", "??"))
    assert type(osv_affected("anything at all", affected)) is bool
    assert type(osv_affected("@", {"package": {"ecosystem": "generic"}, **affected})) is bool


def test_only_exactly_zero_is_the_open_start():
    value_error("abc", events(("introduced", "0.0")), "PEP 440 version must start with a digit: 'abc'", "pep440")
    value_error("abc", events(("introduced", " 0")), "PEP 440 version must start with a digit: 'abc'", "pep440")
    assert osv_affected("abc", events(("introduced", "0")), "pep440") is True


# ---------------------------------------------------------------- parse errors, reached in order

@pytest.mark.parametrize("version, affected, ecosystem, message", [
    ("abc", events(("introduced", "1.0")), "pep440", "PEP 440 version must start with a digit: 'abc'"),
    ("1.0", events(("introduced", "x1")), "pep440", "PEP 440 version must start with a digit: 'x1'"),
    ("1.0", events(("fixed", "!1")), "pep440", "invalid PEP 440 epoch: ''"),
    # joined bounds that the range grammar refuses
    ("1.0", events(("introduced", "")), None, "missing version in comparator '>='"),
    ("1.0", events(("fixed", "1.0,")), None, None),  # a trailing comma only ends the term
    ("1.0", events(("fixed", "1.0,2.0")), None,
     "invalid comparator: '2.0'; expected operator (>=, <=, >, <, ==, !=) followed by version"),
    ("1.0", events(("fixed", "1.0 ^a")), None, "invalid caret range: '^a'"),
    ("1.0", events(("fixed", "1.x")), None, "invalid x-range: '<1.x'"),
    ("1.0", events(("introduced", "1.0 [2.0]")), None, "invalid interval range: '[2.0]'"),
    # an error in an earlier range wins over a match in a later one
    ("1.0", {"ranges": [{"events": [{"fixed": "x"}]}, {"events": [{"introduced": "0"}]}]}, "pep440",
     "PEP 440 version must start with a digit: 'x'"),
])
def test_parse_errors(version, affected, ecosystem, message):
    if message is None:
        assert osv_affected(version, affected, ecosystem) is False
    else:
        value_error(version, affected, message, ecosystem)


# ---------------------------------------------------------------- type checks

class Dict(dict):
    pass


class List(list):
    pass


def test_subclasses_of_dict_and_list_are_accepted():
    affected = Dict(ranges=List([Dict(events=List([Dict(introduced="0"), Dict(fixed="2")]))]), versions=List(["9"]))
    assert osv_affected("1", affected) is True
    assert osv_affected("9", affected) is True
    assert osv_affected("3", affected) is False


@pytest.mark.parametrize("affected, message", [
    ({"package": ["pep440"]}, "affected['package'] must be dict, not list"),
    ({"package": None}, "affected['package'] must be dict, not None"),
    ({"package": {"ecosystem": 1}}, "affected['package']['ecosystem'] must be str, not int"),
    ({"package": {"ecosystem": None}}, "affected['package']['ecosystem'] must be str, not None"),
    ({"ranges": ({"events": []},)}, "affected['ranges'] must be list, not tuple"),
    ({"ranges": None}, "affected['ranges'] must be list, not None"),
    ({"ranges": [[]]}, "affected['ranges'] item must be dict, not list"),
    ({"ranges": [None]}, "affected['ranges'] item must be dict, not None"),
    ({"ranges": [{"events": ({"introduced": "0"},)}]}, "range['events'] must be list, not tuple"),
    ({"ranges": [{"events": None}]}, "range['events'] must be list, not None"),
    ({"ranges": [{"events": ["0"]}]}, "range['events'] item must be dict, not str"),
    ({"ranges": [{"events": [{"introduced": 0}]}]}, "event['introduced'] must be str, not int"),
    ({"ranges": [{"events": [{"fixed": None}]}]}, "event['fixed'] must be str, not None"),
    ({"ranges": [{"events": [{"last_affected": b"1"}]}]}, "event['last_affected'] must be str, not bytes"),
    # an event's values are checked in the order introduced, fixed, last_affected
    ({"ranges": [{"events": [{"last_affected": 1, "fixed": 2, "introduced": "0"}]}]},
     "event['fixed'] must be str, not int"),
    # every event is read before any span is judged
    ({"ranges": [{"events": [{"introduced": "0"}, {"fixed": "1"}, {"introduced": 2}]}]},
     "event['introduced'] must be str, not int"),
    ({"versions": ("1.0",)}, "affected['versions'] must be list, not tuple"),
    ({"versions": None}, "affected['versions'] must be list, not None"),
    ({"versions": ["0.9", 1.0]}, "affected['versions'] item must be str, not float"),
])
def test_container_type_errors(affected, message):
    type_error("1.0", affected, message)


def test_package_is_checked_before_ranges():
    type_error("1.0", {"ranges": 1, "package": 1}, "affected['package'] must be dict, not int")


@pytest.mark.parametrize("args, kwargs, message", [
    ((1, {}), {}, "osv_affected() argument 'version' must be str, not int"),
    ((None, {}), {}, "osv_affected() argument 'version' must be str, not None"),
    (("1.0", []), {}, "osv_affected() argument 'affected' must be dict, not list"),
    (("1.0", None), {}, "osv_affected() argument 'affected' must be dict, not None"),
    (("1.0", {}, 1), {}, "osv_affected() argument 'ecosystem' must be str, not int"),
    # the version's type is checked before the record's
    ((1, []), {}, "osv_affected() argument 'version' must be str, not int"),
    (("1.0",), {}, "osv_affected() missing required argument 'affected' (pos 2)"),
    (("1.0", {}), dict(eco="npm"), "osv_affected() got an unexpected keyword argument 'eco'"),
    (("1.0", {}, None, None), {}, "osv_affected() takes from 2 to 3 positional arguments but 4 were given"),
])
def test_argument_errors(args, kwargs, message):
    with pytest.raises(TypeError) as e:
        osv_affected(*args, **kwargs)
    assert str(e.value) == message


def test_keywords_and_none_ecosystem():
    affected = events(("introduced", "0"), ("fixed", "2"))
    assert osv_affected(version="1", affected=affected, ecosystem=None) is True
    assert osv_affected(affected=affected, version="3") is False
    assert str(inspect.signature(osv_affected)) == "(version, affected, ecosystem=None)"


# ---------------------------------------------------------------- real advisories

# The shared data sit beside the repository: ../shared/data/osv-pypi.
DATA = pathlib.Path(__file__).resolve().parents[1].parent / "shared" / "data" / "osv-pypi"


@pytest.fixture(scope="session")
def advisories():
    if not DATA.is_dir():
        pytest.skip(f"{DATA} is not present on this machine")
    records = {}
    for path in sorted(DATA.glob("*/*.json")):
        record = json.loads(path.read_text(encoding="utf-8"))
        records[record["id"]] = record
    return records


# Listed releases that the ranges of their own entry do not cover, each for a
# reason that lies in the record, not in the evaluation.
PRERELEASE_BEFORE_INTRODUCED = ("the range opens at the final release; its alpha, beta and rc sort below it "
                                "but the record lists them")
NOT_COVERED = {
    ("PYSEC-2023-61", "3.2a1"): PRERELEASE_BEFORE_INTRODUCED,
    ("PYSEC-2023-61", "3.2b1"): PRERELEASE_BEFORE_INTRODUCED,
    ("PYSEC-2023-61", "3.2rc1"): PRERELEASE_BEFORE_INTRODUCED,
    ("PYSEC-2023-61", "4.2a1"): PRERELEASE_BEFORE_INTRODUCED,
    ("PYSEC-2023-61", "4.2b1"): PRERELEASE_BEFORE_INTRODUCED,
    ("PYSEC-2023-61", "4.2rc1"): PRERELEASE_BEFORE_INTRODUCED,
    ("PYSEC-2023-177", "23.9.0"): "listed although the range says fixed 23.9.0",
    ("PYSEC-2023-177", "23.9.0.post1"): "listed although it comes after the fixed 23.9.0",
    ("PYSEC-2024-1", "0.5"): "the entry has no ranges at all, only the list",
}
# Listed texts that are no PEP 440 version, so evaluating them fails.
NOT_PEP440 = {
    ("PYSEC-2020-341", "-class.-jw.util.version.Version-"): "PEP 440 version must start with a digit",
    ("PYSEC-2021-121", "trunk"): "PEP 440 version must start with a digit",
    ("PYSEC-2017-41", "a3"): "PEP 440 version must start with a digit",
    ("PYSEC-2019-126", "a3"): "PEP 440 version must start with a digit",
}


def test_ranges_alone_find_every_listed_release(advisories):
    listed = 0
    missed, failed = {}, {}
    for rid, record in advisories.items():
        for entry in record["affected"]:
            ranges_only = {k: v for k, v in entry.items() if k != "versions"}
            for v in entry.get("versions", []):
                listed += 1
                try:
                    if not osv_affected(v, ranges_only, "pep440"):
                        missed[(rid, v)] = True
                except ValueError as e:
                    failed[(rid, v)] = str(e)
    assert listed == 140847
    assert set(missed) == set(NOT_COVERED)
    assert failed == {key: f"{why}: '{key[1]}'" for key, why in NOT_PEP440.items()}


def test_each_pair_of_a_real_range_keeps_its_own_span(advisories):
    # Django: 3.2 to 3.2.19, 4.0 to 4.1.9 and 4.2 to 4.2.1 in one range
    entry = {k: v for k, v in advisories["PYSEC-2023-61"]["affected"][0].items() if k != "versions"}
    for v in ["3.2", "3.2.18", "4.0", "4.1.8", "4.2"]:
        assert osv_affected(v, entry, "pep440") is True, v
    for v in ["3.1.9", "3.2.19", "3.3", "4.1.9", "4.1.10", "4.2.1", "5.0"]:
        assert osv_affected(v, entry, "pep440") is False, v


@pytest.mark.parametrize("rid, inside, outside", [
    # the GIT range's bound 9044aa99... would read as a huge first number
    ("PYSEC-2022-177", ["3.3.1"], ["3.3.2", "4.0"]),
    ("PYSEC-2023-11", ["1.8", "39.0.0"], ["1.7", "39.0.1"]),
    # the GIT range's bounds start with letters and would not parse as PEP 440
    ("PYSEC-2022-259", ["3.0.0", "3.3.3"], ["2.9", "3.3.4"]),
])
def test_real_git_ranges_are_skipped(advisories, rid, inside, outside):
    entry = advisories[rid]["affected"][0]
    assert entry["ranges"][0]["type"] == "GIT"
    ranges_only = {k: v for k, v in entry.items() if k != "versions"}
    for v in inside:
        assert osv_affected(v, ranges_only, "pep440") is True, v
    for v in outside:
        assert osv_affected(v, ranges_only, "pep440") is False, v
