"""Hostile inputs through the Python API: huge texts, huge lists, invalid
Unicode, NUL bytes, white space of every kind, deep Maven nesting, and
containers or keys whose methods misbehave while being read. Each call must
give the right answer or a clear exception, never a crash. The sizes are
chosen so that an algorithm quadratic in the input would visibly hang.

Functions that the module does not export yet are skipped one by one.
"""

import collections.abc
import pickle

import pytest

from helpers import fresh
from quorlen import _quorlen as q

U64_MAX = 2**64 - 1
MB10 = 10 * 2**20
MILLION = 10**6

# Every character with the Unicode White_Space property.
WHITE_SPACE = (
    [chr(c) for c in range(0x09, 0x0E)]
    + [" ", "\x85", "\xa0", "\u1680"]
    + [chr(c) for c in range(0x2000, 0x200B)]
    + ["\u2028", "\u2029", "\u202f", "\u205f", "\u3000"]
)
# Look like blanks but lack the property, so they are never trimmed.
NOT_WHITE_SPACE = ["\u200b", "\u180e", "\ufeff", "\u2060"]


def fn(name):
    if name not in q.__all__:
        pytest.skip(f"{name} is not exported yet")
    return getattr(q, name)


def member(name):
    if name not in vars(q.Version):
        pytest.skip(f"Version.{name} does not exist yet")
    return getattr(q.Version, name)


# ------------------------------------------------------------- invalid Unicode

SURROGATE_CALLS = [
    ("compare", ("\ud800", "1.0")),
    ("compare", ("1.0", "\udfff")),
    ("compare", ("1.0", "2.0", "\ud800")),
    ("eq", ("1.0", "\ud800")),
    ("lt", ("\udbff\udbff", "1")),
    ("version", ("\ud800",)),
    ("version", ("1.0", "\ud800")),
    ("compare_semver_strict", ("1.0.0", "\ud800")),
    ("sort_versions", (["1.0", "\ud800"],)),
    ("max_version", (["\ud800", "1.0"],)),
    ("min_version", (["1.0", "\ud800"],)),
    ("stable_versions", (["1.0", "\ud800"],)),
    ("latest_stable", (["\ud800"],)),
    ("batch_compare", ([("1.0", "\ud800")],)),
    ("satisfies", ("\ud800", "*")),
    ("satisfies", ("1.0", ">=\ud800")),
    ("range_contains", ("1.0", "\ud800")),
    ("ranges_intersect", ("^1", "\ud800")),
    ("parse_purl", ("pkg:npm/\ud800",)),
    ("purl_ecosystem", ("\ud800",)),
    ("build_purl", ("npm", "a", "\ud800")),
    ("build_purl", ("npm", "a", None, None, None, "\udc80")),
    ("build_vers", ("npm", ">=\ud800")),
    ("vers_contains", ("vers:npm/*", "\ud800")),
    ("osv_affected", ("\ud800", {})),
    ("osv_affected", ("1.0", {"ranges": [{"events": [{"introduced": "\ud800"}]}]})),
    ("osv_affected", ("1.0", {}, "\ud800")),
    ("bump_major", ("\ud800",)),
    ("bump_minor", ("\ud800",)),
    ("bump_patch", ("\ud800",)),
    ("next_stable", ("\ud800",)),
    ("bump_prerelease", ("1.0", "\ud800")),
]


@pytest.mark.parametrize("name,args", SURROGATE_CALLS, ids=[f"{n}-{i}" for i, (n, _) in enumerate(SURROGATE_CALLS)])
def test_lone_surrogate_is_a_clear_error(name, args):
    # UnicodeEncodeError is a ValueError: the text has no UTF-8 form.
    with pytest.raises(ValueError):
        fn(name)(*args)


def test_lone_surrogate_in_version_members():
    V = q.Version
    with pytest.raises(ValueError):
        V("\ud800")
    with pytest.raises(ValueError):
        V("1.0", "\ud800")
    v = V("1.0")
    if "__eq__" in vars(V):
        with pytest.raises(ValueError):
            v == "\ud800"  # noqa: B015
    if "compare" in vars(V):
        with pytest.raises(ValueError):
            v.compare("\ud800")


# ------------------------------------------------------------------ NUL bytes


@pytest.mark.parametrize("a,b,expected", [
    ("1\x002", "1.2", 0),          # NUL is skipped and ends the digit run
    ("1.0\x00", "1.0", 0),
    ("\x001.0\x00\x00", "1", 0),
    ("1\x00\x003", "1.2", 1),
    ("1.0\x00a", "1.0", -1),       # an unknown tag before the release
])
def test_nul_bytes_in_generic_versions(a, b, expected):
    assert fn("compare")(a, b) == expected
    assert fn("compare")(b, a) == -expected


def test_nul_bytes_survive_in_version_text():
    v = q.Version("1\x002\x00", "generic")
    if "raw" in vars(q.Version):
        assert v.raw == str(v) == "1\x002\x00"
    if "segments" in vars(q.Version):
        assert v.segments() == (1, 2)
    if "__repr__" in vars(q.Version):
        assert repr(v) == "Version('1\x002\x00')"


def test_nul_bytes_in_messages_and_identifiers():
    with pytest.raises(ValueError) as err:
        fn("parse_purl")("x\x00y")
    assert str(err.value) == "invalid purl 'x\x00y'; expected 'pkg:' prefix"
    parts = fn("parse_purl")("pkg:npm/a\x00b@1\x00")
    assert (parts["name"], parts["version"]) == ("a\x00b", "1\x00")
    assert fn("build_purl")("npm", "a\x00b", "1\x00") == "pkg:npm/a\x00b@1\x00"
    assert fn("build_vers")("npm", ">=1.0\x00") == "vers:npm/>=1.0\x00"
    with pytest.raises(ValueError) as err:
        fn("compare")("1", "2", "gen\x00eric")
    assert "'gen\x00eric'" in str(err.value)


# ----------------------------------------------------------------- White space


@pytest.mark.parametrize("ws", WHITE_SPACE, ids=[f"U+{ord(c):04X}" for c in WHITE_SPACE])
def test_every_white_space_character_is_trimmed_and_separates(ws):
    assert fn("compare")(ws + "1.2" + ws * 3, "1.2") == 0
    assert fn("compare")(ws + "v1.2" + ws, "1.3") == -1
    if "raw" in vars(q.Version):
        assert q.Version(ws + "1.2" + ws, "generic").raw == ws + "1.2" + ws
    assert fn("satisfies")("1.5", ws + ">=1.0" + ws + "<2.0" + ws)
    assert not fn("satisfies")("2.5", ">=1.0" + ws + "<2.0")
    assert fn("build_vers")("npm", ws + ">=1.0" + ws) == "vers:npm/>=1.0"


@pytest.mark.parametrize("ch", NOT_WHITE_SPACE, ids=[f"U+{ord(c):04X}" for c in NOT_WHITE_SPACE])
def test_look_alike_blanks_are_not_trimmed(ch):
    # The character stays part of the term, so the term has no operator.
    with pytest.raises(ValueError, match="invalid comparator"):
        fn("build_vers")("npm", ch + ">=1.0")


# ------------------------------------------------------------------ Huge texts

BIG_DIGITS = "9" * MB10
MILLION_SEGMENTS = "1." * MILLION  # followed by one more component in the cases


@pytest.mark.parametrize("a,b,eco,expected", [
    (BIG_DIGITS, str(U64_MAX), "generic", 0),                  # saturation
    (BIG_DIGITS + ".1", BIG_DIGITS, "generic", 1),
    (MILLION_SEGMENTS + "1", MILLION_SEGMENTS + "2", "generic", -1),
    (MILLION_SEGMENTS + "0", MILLION_SEGMENTS[:-1], "generic", 0),
    (MILLION_SEGMENTS + "1", MILLION_SEGMENTS + "2", "pep440", -1),
    ("1.0.0-" + "a" * MB10, "1.0.0", "semver", -1),
    ("1.0.0-" + "a." * MILLION + "a", "1.0.0-" + "a." * MILLION + "b", "semver", -1),
    ("1.0-" + "a" * MB10, "1.0-" + "a" * MB10 + "b", "debian", -1),
    ("1.0-" + "a" * MB10, "1.0-" + "a" * MB10 + "b", "rpm", -1),
    ("1" + "-1" * 255, "1" + "-1" * 254 + "-2", "maven", -1),
    ("1-" * MILLION + "1", "1-" * MILLION + "1", "generic", 0),
], ids=["digits", "digits-tail", "segments", "segments-zero", "pep440-segments", "semver-pre",
        "semver-idents", "debian", "rpm", "maven-255", "dashes"])
def test_huge_versions_compare(a, b, eco, expected):
    assert fn("compare")(a, b, eco) == expected
    assert fn("compare")(b, a, eco) == -expected


@pytest.mark.parametrize("text,eco", [
    ("a" * MB10, "pep440"),  # must begin with a digit
    ("1.0.0-" + "0" + "1" * MB10 + "." + "01", "semver"),
    (BIG_DIGITS + ".0.0", "semver"),
    ("1" + "-1" * MILLION, "maven"),
], ids=["pep440-letter", "semver-leading-zero", "semver-overflow", "maven-deep"])
def test_huge_invalid_versions_raise(text, eco):
    with pytest.raises(ValueError):
        fn("compare")(text, "1", eco)


def test_maven_nesting_limit():
    compare = fn("compare")
    deepest = "1" + "-1" * 255
    assert compare(deepest, deepest, "maven") == 0
    too_deep = "1" + "-1" * 256
    with pytest.raises(ValueError) as err:
        compare(too_deep, "1", "maven")
    assert str(err.value) == f"Maven version nests more than 256 levels deep: '{too_deep}'"
    if "__hash__" in vars(q.Version):
        assert hash(q.Version(deepest, "maven")) == hash(q.Version(deepest + ".0", "maven"))


def test_version_of_a_million_segments():
    v = q.Version(MILLION_SEGMENTS + "2", "generic")
    if "__len__" in vars(q.Version):
        assert len(v) == MILLION + 1
    if "__getitem__" in vars(q.Version):
        assert (v[0], v[-1], v[MILLION // 2]) == (1, 2, 1)
    if "sort_key" in vars(q.Version):
        key = v.sort_key()
        assert len(key) == MILLION + 3  # epoch, every segment, the closing entry
        assert key[-2] == (2, 2, "")
    if "__reduce__" in vars(q.Version):
        assert pickle.loads(pickle.dumps(v)) == v
    if "major" in vars(q.Version):
        assert q.Version(BIG_DIGITS).major == U64_MAX
    if "__hash__" in vars(q.Version):
        assert hash(v) == hash(q.Version(MILLION_SEGMENTS + "2.0.0", "generic"))


def test_huge_lists():
    items = [f"{i % 1000}.{i}" for i in range(200_000)]
    ordered = fn("sort_versions")(items)
    assert ordered[0] == "0.0" and ordered[-1] == "999.199999"
    assert fn("max_version")(items) == "999.199999"
    assert fn("min_version")(items) == "0.0"
    assert fn("batch_compare")([("1", "2")] * 200_000) == [-1] * 200_000
    assert len(fn("stable_versions")(items + ["1.0a1"] * 1000)) == len(items)


# ------------------------------------------------------------------------ Ranges

PINS = "||".join(f"==0.{i}" for i in range(100_000))


def test_a_hundred_thousand_branches():
    assert fn("satisfies")("0.99999", PINS)
    assert not fn("satisfies")("1.0", PINS)
    assert fn("range_contains")("0.5", PINS)
    assert fn("ranges_intersect")(PINS, ">=0.99999")
    assert not fn("ranges_intersect")(PINS, ">=1")
    assert fn("vers_contains")("vers:generic/" + PINS, "0.99999")
    assert fn("build_vers")("generic", PINS) == "vers:generic/" + PINS


def test_huge_constraints():
    satisfies = fn("satisfies")
    assert satisfies("1.0", ">=1.0," * MILLION)
    assert not satisfies("1.0", ">=" + BIG_DIGITS)
    assert satisfies("1.0", "<" + BIG_DIGITS)
    assert satisfies("1.0", "||" * MILLION)  # empty branches accept
    with pytest.raises(ValueError):
        satisfies("1.0", "[" * MB10)
    with pytest.raises(ValueError):
        satisfies("1.0", "^" + "a." * MILLION)


# ------------------------------------------------------------------------ OSV


def test_huge_osv_records():
    osv = fn("osv_affected")
    many = {"ranges": [{"events": [{"introduced": f"{i}.0"}, {"fixed": f"{i}.1"}]} for i in range(1, 100_001)]}
    assert osv("100000.0.5", many)
    assert not osv("0.5", many)
    listed = {"versions": [f"x{i}" for i in range(100_000)] + ["hit"]}
    assert osv("hit", listed)
    assert not osv("x", listed)


def test_one_range_of_a_hundred_thousand_events():
    osv = fn("osv_affected")
    long_range = {"ranges": [{"events": [{"introduced": f"{i}.0", "fixed": f"{i}.5"} for i in range(100_000)]}]}
    # Each event opens its own interval [i.0, i.5).
    assert osv("99999.2", long_range)
    assert osv("5.2", long_range)
    assert not osv("5.7", long_range)


# ---------------------------------------------- Containers that change while read


class ShrinkingSeq(collections.abc.Sequence):
    """Drops its tail the first time its second item is read."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        if i == 1:
            del self.items[3:]
        return self.items[i]


class FailingSeq(collections.abc.Sequence):
    def __len__(self):
        return 3

    def __getitem__(self, i):
        if i == 1:
            raise RuntimeError("boom")
        return "1.0"


class ClearingList(list):
    """A list whose own iteration empties it after the first item."""

    def __iter__(self):
        for x in list.copy(self):
            yield x
            self.clear()
            return

    def __getitem__(self, i):
        value = list.__getitem__(self, i)
        self.clear()
        return value


LIST_FUNCS = [("sort_versions", ["1", "2", "3"]), ("max_version", "3"), ("min_version", "1"),
              ("stable_versions", ["3", "1", "2"]), ("latest_stable", "3")]


@pytest.mark.parametrize("name,expected", LIST_FUNCS, ids=[n for n, _ in LIST_FUNCS])
def test_sequence_that_shrinks_while_read(name, expected):
    seq = ShrinkingSeq(["3", "1", "2", "5", "4"])
    try:
        result = fn(name)(seq)
    except IndexError:
        return  # read by length and index: the vanished item is a clear error
    assert result == expected  # read by iteration: the three items that remain


@pytest.mark.parametrize("name", [n for n, _ in LIST_FUNCS] + ["batch_compare"])
def test_sequence_whose_read_fails(name):
    with pytest.raises(RuntimeError, match="boom"):
        fn(name)(FailingSeq())


@pytest.mark.parametrize("name", [n for n, _ in LIST_FUNCS])
def test_list_subclass_that_empties_itself(name):
    items = ["3", "1", "2"]
    result = fn(name)(ClearingList(items))
    # Either the list's storage was read directly, or its iterator yielded
    # one item and stopped; both are readings of a real state of the list.
    full = {"sort_versions": ["1", "2", "3"], "max_version": "3", "min_version": "1",
            "stable_versions": ["3", "1", "2"], "latest_stable": "3"}[name]
    first = {"sort_versions": ["3"], "max_version": "3", "min_version": "3",
             "stable_versions": ["3"], "latest_stable": "3"}[name]
    assert result in (full, first)


class StrWithHostileEq(str):
    def __eq__(self, other):
        raise RuntimeError("eq called")

    def __lt__(self, other):
        raise RuntimeError("lt called")

    __hash__ = str.__hash__


def test_str_subclass_items_are_returned_as_the_same_objects():
    items = [StrWithHostileEq(t) for t in ("2.0", "1.0", "3.0")]
    ordered = fn("sort_versions")(items)
    assert [id(x) for x in ordered] == [id(items[1]), id(items[0]), id(items[2])]
    assert fn("max_version")(items) is items[2]
    assert fn("min_version")(items) is items[1]


class Index:
    def __init__(self, value=None, error=None):
        self.value, self.error = value, error

    def __index__(self):
        if self.error:
            raise self.error
        return self.value


@pytest.mark.parametrize("idx,errors", [
    (Index(error=ZeroDivisionError("index")), (ZeroDivisionError, TypeError)),
    (Index(value=2**70), (OverflowError, IndexError, TypeError)),
    (2**70, (OverflowError, IndexError)),
    (-(2**70), (OverflowError, IndexError)),
    (slice(0, 1), (TypeError,)),
    ("0", (TypeError,)),
    (1.0, (TypeError,)),
])
def test_hostile_indexes(idx, errors):
    member("__getitem__")
    v = q.Version("1.2.3")
    with pytest.raises(errors):
        v[idx]


# --------------------------------------- Dict keys whose __eq__ runs during lookup


class CollidingKey:
    """Hashes like `name`, so a lookup of `name` compares against it first;
    its __eq__ then runs `action` (clearing a container, or raising)."""

    def __init__(self, name, action):
        self.name, self.action = name, action

    def __hash__(self):
        return hash(self.name)

    def __eq__(self, other):
        self.action()
        return False


def raising():
    raise RuntimeError("eq raised")


def test_from_dict_whose_lookup_empties_it():
    from_dict = member("from_dict")
    data = {}
    data["raw"] = fresh("1.2")
    data[CollidingKey("ecosystem", data.clear)] = 0
    try:
        v = from_dict(data)
    except (ValueError, TypeError):
        return
    assert str(v) == "1.2"


def test_from_dict_whose_lookup_raises():
    from_dict = member("from_dict")
    data = {"raw": fresh("1.2"), CollidingKey("ecosystem", raising): 0}
    try:
        v = from_dict(data)
    except RuntimeError:
        return
    assert str(v) == "1.2"


def osv_cases():
    """(record builder, version, expected): each record holds a key whose
    comparison empties a container that the call is in the middle of reading,
    or raises. The expected answer holds whether the lookup was disturbed or
    the call read the container another way."""

    def event_cleared():
        event = {"introduced": fresh("1.0")}
        event[CollidingKey("fixed", event.clear)] = 0
        event["fixed"] = fresh("2.0")
        return {"ranges": [{"events": [event]}]}

    def events_list_cleared():
        events = []
        first = {"introduced": fresh("1.0")}
        first[CollidingKey("fixed", events.clear)] = 0
        events += [first, {"fixed": fresh("2.0")}, {"last_affected": fresh("3.0")}]
        return {"ranges": [{"events": events}]}

    def ranges_list_cleared():
        ranges = []
        # The colliding key goes in first, so the lookup meets it first.
        first = {CollidingKey("events", ranges.clear): 0}
        first["events"] = [{"introduced": fresh("1.0")}]
        ranges += [first, {"events": [{"introduced": "0"}]}]
        return {"ranges": ranges}

    def record_cleared():
        record = {"package": {"ecosystem": fresh("npm")}}
        record[CollidingKey("ranges", record.clear)] = 0
        record["ranges"] = [{"events": [{"introduced": fresh("1.0.0")}]}]
        return record

    def versions_cleared():
        record = {"versions": [fresh("1.5")]}
        record[CollidingKey("ranges", record.clear)] = 0
        return record

    def raising_event():
        return {"ranges": [{"events": [{"introduced": fresh("1.0"), CollidingKey("fixed", raising): 0}]}]}

    return [
        (event_cleared, "1.5", True),
        (events_list_cleared, "0.5", False),
        (ranges_list_cleared, "0.5", None),
        (record_cleared, "1.5.0", None),
        (versions_cleared, "1.5", None),
        (raising_event, "1.5", True),
    ]


@pytest.mark.parametrize("build,version,expected", osv_cases(), ids=lambda x: getattr(x, "__name__", None))
def test_osv_record_that_changes_while_read(build, version, expected):
    osv = fn("osv_affected")
    try:
        result = osv(version, build())
    except (RuntimeError, TypeError, ValueError):
        return
    assert isinstance(result, bool)
    if expected is not None:
        assert result is expected
