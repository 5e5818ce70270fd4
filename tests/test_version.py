"""The Version class: construction, properties, indexing, conversions, the
process-independent hash and the ordering against versions and strings."""
import inspect
import pickle
import struct
import subprocess
import sys
import weakref

import pytest
from hypothesis import given, settings, strategies as st

import quorlen
from helpers import CANONICAL, UNSUPPORTED_NOPE
from quorlen import Version, compare

ECOSYSTEMS = CANONICAL
U64_MAX = 2**64 - 1
I64_MAX = 2**63 - 1
UNKNOWN_ECO = UNSUPPORTED_NOPE


def rejects(text, eco):
    return Version.try_parse(text, eco) is None


# Cases that need an ecosystem's own parse run only once that parse is in.
needs_semver = pytest.mark.skipif(not rejects("1.0", "semver"), reason="strict SemVer parse not built yet")
needs_pep440 = pytest.mark.skipif(not rejects("x", "pep440"), reason="PEP 440 parse not built yet")


def sample_text(eco):
    """A text that the ecosystem accepts (each accepts at least one)."""
    for text in ("1.2.3", "v1.2.3", "1.2.3-1", "1.2", "2024.01.15", "1.2.3-r1"):
        if Version.try_parse(text, eco) is not None:
            return text
    raise AssertionError(f"no sample text for {eco}")


# ---------------------------------------------------------------- the type


def test_type_is_final_without_dict_or_weakref():
    with pytest.raises(TypeError):
        type("Sub", (Version,), {})
    v = Version("1.0")
    with pytest.raises(AttributeError):
        v.__dict__
    with pytest.raises(AttributeError):
        v.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(v)
    assert Version.__module__ == "quorlen"
    assert Version.__name__ == "Version"
    assert Version.__bases__ == (object,)


def test_class_docstring_is_the_text_signature_only():
    assert Version.__text_signature__ == '(version, ecosystem="auto")'
    assert not Version.__doc__
    assert str(inspect.signature(Version)) == "(version, ecosystem='auto')"


@pytest.mark.parametrize(
    "name, signature, doc",
    [
        ("parse", "(version, ecosystem='auto')",
         "Classmethod alternative to the constructor; raises `ValueError` on invalid input."),
        ("try_parse", "(version, ecosystem='auto')",
         "Fallible parse; returns None instead of raising on invalid input."),
        ("from_dict", "(data)", "Reconstruct a Version from the dict produced by `to_dict()`."),
        ("__reduce__", "(self, /)",
         "Pickle support. Restores via `Version(raw, ecosystem)` so the parsed\nstate is rebuilt identically."),
        ("segments", "(self, /)", ""),
        ("release", "(self, /)", ""),
        ("to_dict", "(self, /)", ""),
        ("sort_key", "(self, /)", ""),
        ("compare", "(self, /, other, ecosystem=None)", ""),
    ],
)
def test_method_signatures_and_docstrings(name, signature, doc):
    method = getattr(Version, name)
    assert str(inspect.signature(method)) == signature
    assert (method.__doc__ or "") == doc


PROPERTIES = ["raw", "ecosystem", "epoch", "build", "is_prerelease", "is_postrelease", "is_stable",
              "count", "major", "minor", "patch"]


@pytest.mark.parametrize("name", PROPERTIES)
def test_properties_are_read_only_and_undocumented(name):
    assert getattr(Version, name).__doc__ is None
    with pytest.raises(AttributeError):
        setattr(Version("1.0"), name, 1)


def test_instances_come_back_as_version_from_every_constructor():
    for v in (Version("1.0"), Version.parse("1.0"), Version.try_parse("1.0"), Version.from_dict({"raw": "1.0"})):
        assert type(v) is Version


def test_short_instance_stays_small():
    # One block per instance: the struct, the packed segments and the text.
    assert sys.getsizeof(Version("1.2.3", "generic")) <= 128


# ---------------------------------------------------------------- construction


@pytest.mark.parametrize("eco", ["auto", "AUTO", "Auto", "aUtO"])
def test_auto_in_any_case_detects(eco):
    assert Version("1.0.post1", eco).ecosystem == "pep440"
    assert Version("1.0", eco).ecosystem == "generic"


@pytest.mark.parametrize("alias, canonical", [("Python", "pep440"), ("GEM", "ruby"), ("golang", "go"), ("GENERIC", "generic")])
def test_ecosystem_aliases_resolve_to_canonical_names(alias, canonical):
    assert Version(sample_text(canonical), alias).ecosystem == canonical


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: Version(None), "Version() argument 'version' must be str, not None"),
        (lambda: Version("1.0", None), "Version() argument 'ecosystem' must be str, not None"),
        (lambda: Version(b"1.0"), "Version() argument 'version' must be str, not bytes"),
        (lambda: Version.parse(1), "parse() argument 'version' must be str, not int"),
        (lambda: Version.parse("1.0", ecosystem=2), "parse() argument 'ecosystem' must be str, not int"),
        (lambda: Version.try_parse(1.5), "try_parse() argument 'version' must be str, not float"),
        (lambda: Version.try_parse("1", None), "try_parse() argument 'ecosystem' must be str, not None"),
        (lambda: Version(), "Version() missing required argument 'version' (pos 1)"),
        (lambda: Version("1", "generic", "x"), "Version() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda: Version("1", eco="generic"), "Version() got an unexpected keyword argument 'eco'"),
        (lambda: Version.from_dict([]), "from_dict() argument 'data' must be dict, not list"),
        (lambda: Version.from_dict({"raw": 1}), "from_dict() key 'raw' must be str, not int"),
        (lambda: Version.from_dict({"raw": "1.0", "ecosystem": None}), "from_dict() key 'ecosystem' must be str, not None"),
    ],
)
def test_wrong_argument_types_name_the_argument(call, message):
    with pytest.raises(TypeError) as e:
        call()
    assert str(e.value) == message


def test_keywords_and_the_tuple_call_path_agree():
    direct = Version(version="1.0a1", ecosystem="generic")
    via_new = Version.__new__(Version, "1.0a1", ecosystem="generic")
    assert (direct.raw, direct.ecosystem) == (via_new.raw, via_new.ecosystem) == ("1.0a1", "generic")


@pytest.mark.parametrize("make", [Version, Version.parse, lambda t, e: Version.from_dict({"raw": t, "ecosystem": e})])
def test_unknown_ecosystem_is_a_value_error(make):
    with pytest.raises(ValueError) as e:
        make("1.0", "NOPE")
    assert str(e.value) == UNKNOWN_ECO
    assert Version.try_parse("1.0", "nope") is None


def test_try_parse_keeps_type_errors():
    with pytest.raises(TypeError):
        Version.try_parse(None)


@needs_semver
@pytest.mark.parametrize("text, message", [("1.0", "Expected 3 parts, got 2"), ("01.0.0", "leading zero in major: '01'")])
def test_rejected_versions_raise_the_parse_message(text, message):
    with pytest.raises(ValueError) as e:
        Version(text, "semver")
    assert str(e.value) == message
    assert Version.try_parse(text, "semver") is None


@needs_pep440
def test_auto_falls_back_to_generic_when_the_detected_parse_fails():
    # "!" points at PEP 440, whose epoch must be digits.
    v = Version("x1!2.0")
    assert v.ecosystem == "generic"
    assert v.to_dict()["ecosystem"] == "generic"
    assert pickle.loads(pickle.dumps(v)).ecosystem == "generic"
    with pytest.raises(ValueError) as e:
        Version("x1!2.0", "pep440")
    assert str(e.value) == "invalid PEP 440 epoch: 'x1'"


# ---------------------------------------------------------------- properties

# text, ecosystem, segments, epoch, build, pre, post
PROPERTY_CASES = [
    ("1.2.3", "semver", (1, 2, 3), 0, "", False, False),
    ("v1.2.3-rc.1+Build.5", "generic", (1, 2, 3, "rc", 1), 0, "Build.5", True, False),
    ("2:1.0-3", "debian", (1, 0, 3), 2, "", False, False),
    ("1.0.post1", "pep440", (1, 0, "post", 1), 0, "", False, True),
    ("alpha", "generic", ("alpha",), 0, "", True, False),
    ("", "generic", (), 0, "", False, False),
    (" 1.0 ", "generic", (1, 0), 0, "", False, False),
    ("1.0~rc1", "generic", (1, 0, "~", "rc", 1), 0, "", True, False),
    ("1.0^git1", "generic", (1, 0, "^", "git", 1), 0, "", False, True),
    ("18446744073709551615:1", "generic", (1,), U64_MAX, "", False, False),
    ("99999999999999999999999.1", "generic", (U64_MAX, 1), 0, "", False, False),
    ("1.0.0-ALPHA+", "generic", (1, 0, 0, "alpha"), 0, "", True, False),
]


@pytest.mark.parametrize("text, eco, segs, epoch, build, pre, post", PROPERTY_CASES)
def test_properties_come_from_the_generic_parse(text, eco, segs, epoch, build, pre, post):
    v = Version(text, eco)
    numbers = [s if isinstance(s, int) else 0 for s in segs] + [0, 0, 0]
    release = []
    for s in segs:
        if not isinstance(s, int):
            break
        release.append(s)
    assert v.raw == str(v) == text
    assert v.ecosystem == eco
    assert v.segments() == segs
    assert v.release() == tuple(release)
    assert (v.epoch, v.build, v.is_prerelease, v.is_postrelease, v.is_stable) == (epoch, build, pre, post, not pre)
    assert (v.major, v.minor, v.patch) == tuple(numbers[:3])
    assert v.count == len(v) == len(segs)
    assert bool(v) == bool(segs)
    assert v.to_dict() == {
        "raw": text, "ecosystem": eco, "epoch": epoch, "major": numbers[0], "minor": numbers[1],
        "patch": numbers[2], "build": build, "is_prerelease": pre, "is_postrelease": post,
    }


def test_to_dict_key_order():
    assert list(Version("1.2.3").to_dict()) == [
        "raw", "ecosystem", "epoch", "major", "minor", "patch", "build", "is_prerelease", "is_postrelease",
    ]


def test_major_skips_text_segments_positionally():
    v = Version("1.x.3")
    assert (v.major, v.minor, v.patch) == (1, 0, 3)


@pytest.mark.parametrize("text", ["1.0'x", "a\\b", "é1.0", ""])
def test_repr_inserts_the_raw_text_unescaped(text):
    assert repr(Version(text)) == "Version('" + text + "')"


# ---------------------------------------------------------------- indexing


@pytest.mark.parametrize("idx, expected", [(0, 1), (1, 2), (2, "rc"), (-1, "rc"), (-3, 1), (True, 2)])
def test_getitem(idx, expected):
    assert Version("1.2rc")[idx] == expected


@pytest.mark.parametrize("text, idx", [("1.2.3", 3), ("1.2.3", -4), ("1.2.3", 10**18), ("", 0), ("", -1),
                                       ("1.2.3", -(2**63))])
def test_getitem_out_of_range(text, idx):
    count = len(Version(text))
    with pytest.raises(IndexError) as e:
        Version(text)[idx]
    assert str(e.value) == f"segment index {idx} out of range (version has {count} segments)"


@pytest.mark.parametrize("idx, type_name", [("0", "str"), (1.0, "float"), (None, "None"), (slice(0, 1), "slice")])
def test_getitem_takes_integers_only(idx, type_name):
    with pytest.raises(TypeError) as e:
        Version("1.2.3")[idx]
    assert str(e.value) == f"__getitem__() argument 'idx' must be int, not {type_name}"


@pytest.mark.parametrize("idx", [2**63, -(2**63) - 1, 2**100])
def test_getitem_too_large_is_an_overflow(idx):
    with pytest.raises(OverflowError):
        Version("1.2.3")[idx]


# ---------------------------------------------------------------- sort keys


@pytest.mark.parametrize(
    "text, key",
    [
        ("1.0", ((2, 0, ""), (2, 1, ""), (1, 30, ""))),
        ("1.0.0.final", ((2, 0, ""), (2, 1, ""), (1, 30, ""))),
        ("1.0rc1", ((2, 0, ""), (2, 1, ""), (1, 20, "rc"), (2, 1, ""), (1, 30, ""))),
        ("1.0-foo.0", ((2, 0, ""), (2, 1, ""), (1, 29, "foo"), (1, 30, ""))),
        ("1.final.2", ((2, 0, ""), (2, 1, ""), (1, 30, "final"), (2, 2, ""), (1, 30, ""))),
        ("0.0.1", ((2, 0, ""), (2, 0, ""), (2, 0, ""), (2, 1, ""), (1, 30, ""))),
        ("", ((2, 0, ""), (1, 30, ""))),
        ("3:1.0+b", ((2, 3, ""), (2, 1, ""), (1, 30, ""))),
        ("99999999999999999999", ((2, 0, ""), (2, I64_MAX, ""), (1, 30, ""))),
        ("9223372036854775808.9223372036854775807", ((2, 0, ""), (2, I64_MAX, ""), (2, I64_MAX, ""), (1, 30, ""))),
        ("18446744073709551615:1", ((2, I64_MAX, ""), (2, 1, ""), (1, 30, ""))),
    ],
)
def test_sort_key(text, key):
    v = Version(text, "generic")
    assert v.sort_key() == key


def test_sort_key_clamps_but_the_values_stay_whole():
    v = Version("18446744073709551615:99999999999999999999", "generic")
    assert v.epoch == U64_MAX and v.segments() == (U64_MAX,) and v.to_dict()["major"] == U64_MAX
    assert v.sort_key()[:2] == ((2, I64_MAX, ""), (2, I64_MAX, ""))


@needs_pep440
@pytest.mark.parametrize(
    "text, tail",
    [
        ("1.0", ()),
        ("1.0+", ((1, 30, ""),)),
        ("1.0+abc.0", ((1, 29, "abc"), (1, 30, ""))),
        ("1.0+ubuntu.1", ((1, 29, "ubuntu"), (2, 1, ""), (1, 30, ""))),
        ("1.0+rc.0.5", ((1, 29, "rc"), (2, 0, ""), (2, 5, ""), (1, 30, ""))),
        ("1.0+99999999999999999999999", ((2, I64_MAX, ""), (1, 30, ""))),
    ],
)
def test_pep440_local_label_closes_the_sort_key(text, tail):
    assert Version(text, "pep440").sort_key() == ((2, 0, ""), (2, 1, ""), (1, 30, "")) + tail


# ---------------------------------------------------------------- hashing


def siphash13(data, k0=0, k1=0):
    """Reference SipHash-1-3, written from the published algorithm."""
    mask = 2**64 - 1

    def rotl(x, b):
        return ((x << b) | (x >> (64 - b))) & mask

    v0, v1, v2, v3 = k0 ^ 0x736F6D6570736575, k1 ^ 0x646F72616E646F6D, k0 ^ 0x6C7967656E657261, k1 ^ 0x7465646279746573

    def rnd():
        nonlocal v0, v1, v2, v3
        v0 = (v0 + v1) & mask; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32)
        v2 = (v2 + v3) & mask; v3 = rotl(v3, 16); v3 ^= v2
        v0 = (v0 + v3) & mask; v3 = rotl(v3, 21); v3 ^= v0
        v2 = (v2 + v1) & mask; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32)

    tail = len(data) % 8
    blocks = [int.from_bytes(data[i:i + 8], "little") for i in range(0, len(data) - tail, 8)]
    blocks.append(int.from_bytes(data[len(data) - tail:], "little") | ((len(data) & 0xFF) << 56))
    for m in blocks:
        v3 ^= m
        rnd()
        v0 ^= m
    v2 ^= 0xFF
    for _ in range(3):
        rnd()
    return v0 ^ v1 ^ v2 ^ v3


def as_py_hash(h):
    h = h - 2**64 if h >= 2**63 else h
    return -2 if h == -1 else h


@pytest.mark.skipif(sys.hash_info.algorithm != "siphash13", reason="interpreter hashes bytes otherwise")
def test_reference_siphash_agrees_with_the_interpreter():
    # With PYTHONHASHSEED=0 the interpreter hashes bytes by SipHash-1-3 under
    # the all-zero key, which pins the reference above to an outside source.
    samples = [b"a", b"abcdefg", b"abcdefgh", b"\0\1\2\3\4\5\6\7\x08\xff", bytes(range(40))]
    out = subprocess.run([sys.executable, "-c", f"print([hash(b) for b in {samples!r}])"], capture_output=True,
                         text=True, check=True, env={"PYTHONHASHSEED": "0"}).stdout
    assert out.strip() == str([as_py_hash(siphash13(b)) for b in samples])


def u64(n):
    return struct.pack("<Q", n)


@pytest.mark.parametrize(
    "text, data",
    [
        ("1.0.0", u64(0) + b"\0" + u64(1)),
        ("", u64(0)),
        ("2:1.0a1", u64(2) + b"\0" + u64(1) + b"\1" + struct.pack("<i", 0) + b"\0" + u64(1)),
        ("1.0-foo", u64(0) + b"\0" + u64(1) + b"\2foo\xff"),
        ("1.0.dev2", u64(0) + b"\0" + u64(1) + b"\1" + struct.pack("<i", -5) + b"\0" + u64(2)),
        ("1.final.2", u64(0) + b"\0" + u64(1) + b"\0" + u64(2)),
        ("0.0.1", u64(0) + b"\0" + u64(0) + b"\0" + u64(0) + b"\0" + u64(1)),
    ],
)
def test_hash_is_siphash13_of_the_documented_bytes(text, data):
    assert hash(Version(text, "generic")) == as_py_hash(siphash13(data))


def test_equal_generic_versions_hash_alike():
    assert len({hash(Version(t, "generic")) for t in ("1", "1.0", "1.0.0", "v1.0.final", "1+build")}) == 1


VERSION_TEXT = st.lists(
    st.sampled_from(["0", "1", "2", "10", "a", "rc", "final", "post", "foo", ".", "-", "~", "+b"]), max_size=6
).map("".join)


@given(VERSION_TEXT, VERSION_TEXT, st.sampled_from(["generic", "maven", "pep440", "debian", "rpm"]))
@settings(max_examples=300)
def test_equality_implies_equal_hash(a, b, eco):
    va, vb = Version.try_parse(a, eco), Version.try_parse(b, eco)
    if va is not None and vb is not None and va == vb:
        assert hash(va) == hash(vb)


HASH_SCRIPT = (
    "import sys; from quorlen import Version as V; "
    "print([hash(V(t, e)) for t, e in [('1.2.3', 'generic'), ('1.0a1', 'pep440'), ('2:1.0-1', 'debian'), "
    "('1.0-SNAPSHOT', 'maven'), ('x-y-z', 'generic')]])"
)


def test_hash_is_the_same_in_every_process():
    runs = [
        subprocess.run([sys.executable, "-c", HASH_SCRIPT], capture_output=True, text=True, check=True,
                       env={"PYTHONHASHSEED": seed}, cwd="/").stdout
        for seed in ("1", "2")
    ]
    assert runs[0] == runs[1] and runs[0].startswith("[")


# ---------------------------------------------------------------- ordering


def test_other_types_are_not_implemented():
    v = Version("1.0")
    assert (v == 1) is False and (v != 1) is True and (v == None) is False  # noqa: E711
    assert v.__lt__(1) is NotImplemented and v.__eq__([]) is NotImplemented
    for op in ("<", "<=", ">", ">="):
        with pytest.raises(TypeError):
            eval(f"v {op} 1")


def test_an_instance_equals_itself():
    for eco in ECOSYSTEMS:
        v = Version(sample_text(eco), eco)
        assert v == v and v <= v and not v < v and not v != v


def test_strings_parse_under_the_instance_ecosystem_not_detection():
    v = Version("1.0", "generic")
    # Under detection '1.0.post1' would be PEP 440; generic orders the same here.
    assert v < "1.0.post1" and v == "1.0.0" and v != "1.1" and v > "1.0rc1" and v >= "1" and v <= "1.0.0.0"


@needs_semver
def test_unparseable_string_raises_even_for_equality():
    v = Version("1.0.0", "semver")
    for op in ("==", "!=", "<"):
        with pytest.raises(ValueError) as e:
            eval(f"v {op} '1.0'")
        assert str(e.value) == "Expected 3 parts, got 2"


def test_different_ecosystems_compare_by_the_generic_parse():
    assert Version("1.0", "pep440") == Version("1.0.0", "generic")
    assert Version("1.0", "generic") < Version("1.0.1", "nuget")
    # Build text and flags take no part; epochs do.
    assert Version("1.0+a", "generic") == Version("1.0+b", "ruby")
    assert Version("1:0.1", "generic") > Version("9.0", "calver")


@pytest.mark.skipif(Version("1.0-1", "debian") == Version("1.0.1", "debian"), reason="Debian parse not built yet")
def test_same_ecosystem_uses_its_own_rules():
    # Debian reads -1 as a revision; across ecosystems the generic parse sees 1.0.1.
    assert Version("1.0-1", "debian") < Version("1.0.1", "debian")
    assert Version("1.0-1", "debian") == Version("1.0.1", "rpm")


POOLS = {
    "generic": ["1.0", "1.0.0", "1.0a1", "1.0-foo", "2:0.1", "1.0.post1", "1.0~rc1", "", "1.0+b", "0.9"],
    "semver": ["1.0.0", "1.0.0-rc.1", "1.0.0-rc.2", "1.0.0-1", "1.0.0+b", "2.0.0", "1.10.0"],
    "pep440": ["1.0", "1.0+abc", "1.0+5", "1.0+", "1.0+0", "1.0a1", "1.0.dev1", "1!0.5", "1.0+ubuntu.1"],
    "debian": ["1.0-1", "1.0.1", "1:0.9", "1.0~rc1", "1.0", "1.0+b1", "2.0-0ubuntu1"],
    "rpm": ["1.0-1", "1.0.1", "1:0.9", "1.0~rc1", "1.0^git1", "1.0", "1.0-1.el8"],
    "maven": ["1.0", "1", "1.0-SNAPSHOT", "1.0-alpha-1", "1.0-rc1", "1.0.1", "1.0-sp1", "1-ga"],
    "ruby": ["1.0", "1.0.a", "1.0.1", "1.0.pre"],
    "go": ["v1.0.0", "v1.0.0-rc.1", "v2.0.0"],
}


@pytest.mark.parametrize("eco", sorted(POOLS))
def test_instance_ordering_agrees_with_the_module_compare(eco):
    texts = [t for t in POOLS[eco] if Version.try_parse(t, eco) is not None]
    versions = [Version(t, eco) for t in texts]
    for a, va in zip(texts, versions):
        for b, vb in zip(texts, versions):
            expected = compare(a, b, ecosystem=eco)
            got = (va > vb) - (va < vb)
            assert got == expected, (a, b)
            assert (va == vb) == (expected == 0) and (va != vb) == (expected != 0)
            assert (va <= vb) == (expected <= 0) and (va >= vb) == (expected >= 0)
            assert va.compare(vb) == expected and va.compare(b) == expected
            assert ((va > b) - (va < b)) == expected


@given(VERSION_TEXT, VERSION_TEXT)
def test_generic_instance_ordering_matches_compare(a, b):
    assert (Version(a, "generic") > Version(b, "generic")) - (Version(a, "generic") < Version(b, "generic")) == compare(a, b)


def test_sorting_instances_is_stable_and_ordered():
    texts = ["1.10", "1.9", "1.0.0", "1.0", "1.0rc1"]
    assert [v.raw for v in sorted(Version(t, "generic") for t in texts)] == ["1.0rc1", "1.0.0", "1.0", "1.9", "1.10"]


# ---------------------------------------------------------------- compare()


def test_compare_defaults_to_the_instance_ecosystem():
    v = Version("1.0", "generic")
    assert v.compare("1.0.0") == 0 and v.compare("2") == -1 and v.compare(Version("0.1")) == 1
    assert v.compare("2", None) == v.compare("2", ecosystem="AUTO") == -1


def test_compare_with_a_named_ecosystem_reparses_self():
    v = Version("1.0-1", "generic")
    assert v.compare("1.0.1") == 0
    assert v.compare("1.0.1", "generic") == 0


@pytest.mark.parametrize(
    "args, exc, message",
    [
        ((1,), TypeError, "expected Version or str"),
        (("1.0", 5), TypeError, "compare() argument 'ecosystem' must be str, not int"),
        (("1.0", "nope"), ValueError, UNKNOWN_ECO),
        ((1, "nope"), ValueError, UNKNOWN_ECO),  # the ecosystem is resolved first
        ((), TypeError, "compare() missing required argument 'other' (pos 1)"),
    ],
)
def test_compare_errors(args, exc, message):
    with pytest.raises(exc) as e:
        Version("1.0").compare(*args)
    assert str(e.value) == message


@needs_semver
def test_compare_raises_the_parse_message_of_the_named_ecosystem():
    with pytest.raises(ValueError) as e:
        Version("1.0", "generic").compare("1.0.0", "semver")
    assert str(e.value) == "Expected 3 parts, got 2"


# ---------------------------------------------------------------- dicts and pickles


@pytest.mark.parametrize("eco", ECOSYSTEMS + ["auto"])
def test_round_trips_keep_value_and_ecosystem(eco):
    v = Version(sample_text("generic" if eco == "auto" else eco), eco)
    for back in (Version.from_dict(v.to_dict()), pickle.loads(pickle.dumps(v)),
                 pickle.loads(pickle.dumps(v, protocol=0))):
        assert type(back) is Version
        assert back == v and back.ecosystem == v.ecosystem and back.raw == v.raw
        assert back.to_dict() == v.to_dict() and back.sort_key() == v.sort_key() and hash(back) == hash(v)


def test_reduce_names_the_class_and_the_canonical_ecosystem():
    assert Version("1.0.post1").__reduce__() == (Version, ("1.0.post1", "pep440"))
    assert Version("1.0", "Python").__reduce__() == (Version, ("1.0", "pep440"))


class Dict(dict):
    pass


@pytest.mark.parametrize(
    "data, raw, eco",
    [
        ({"raw": "1.0.post1"}, "1.0.post1", "pep440"),
        ({"raw": "1.0", "ecosystem": "AUTO"}, "1.0", "generic"),
        ({"raw": "1.0", "ecosystem": "generic", "major": 99, "epoch": "x"}, "1.0", "generic"),
        (Dict(raw="2.0", ecosystem="Generic"), "2.0", "generic"),
    ],
)
def test_from_dict_reads_only_raw_and_ecosystem(data, raw, eco):
    v = Version.from_dict(data)
    assert (v.raw, v.ecosystem, v.major) == (raw, eco, int(raw[0]))


def test_from_dict_without_raw():
    for data in ({}, {"ecosystem": "generic"}):
        with pytest.raises(ValueError) as e:
            Version.from_dict(data)
        assert str(e.value) == "missing 'raw' key"


def test_module_reexports_the_class():
    assert quorlen.Version is quorlen._quorlen.Version
