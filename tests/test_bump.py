"""bump_major, bump_minor, bump_patch, bump_prerelease and next_stable."""
import inspect
import re

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from quorlen import bump_major, bump_minor, bump_patch, bump_prerelease, compare, next_stable

U64_MAX = "18446744073709551615"
U64_MAX_PLUS_1 = "18446744073709551616"


@pytest.mark.parametrize(
    "text, major, minor, patch, stable",
    [
        ("1.2.3", "2.0.0", "1.3.0", "1.2.4", "1.2.3"),
        ("1.2", "2.0.0", "1.3.0", "1.2.1", "1.2.0"),
        ("1", "2.0.0", "1.1.0", "1.0.1", "1.0.0"),
        ("", "1.0.0", "0.1.0", "0.0.1", "0.0.0"),
        ("1.2.3-alpha.1+build", "2.0.0", "1.3.0", "1.2.4", "1.2.3"),
        ("v2.0.post1", "3.0.0", "2.1.0", "2.0.1", "2.0.0"),
        ("1.0a1", "2.0.0", "1.1.0", "1.0.1", "1.0.0"),  # the third segment is the word a
        ("1!2.0", "3.0.0", "2.1.0", "2.0.1", "2.0.0"),  # the epoch plays no part
        ("7:1.2.3-1", "2.0.0", "1.3.0", "1.2.4", "1.2.3"),
        ("1.alpha.3", "2.0.0", "1.1.0", "1.0.4", "1.0.3"),
        ("alpha", "1.0.0", "0.1.0", "0.0.1", "0.0.0"),
        ("01.002.0003", "2.0.0", "1.3.0", "1.2.4", "1.2.3"),  # written without leading zeros
        ("1.2.3.4.5", "2.0.0", "1.3.0", "1.2.4", "1.2.3"),
        ("1_2-3", "2.0.0", "1.3.0", "1.2.4", "1.2.3"),
    ],
)
def test_release_bumps(text, major, minor, patch, stable):
    assert (bump_major(text), bump_minor(text), bump_patch(text), next_stable(text)) == (major, minor, patch, stable)


@pytest.mark.parametrize(
    "text, tag, expected",
    [
        ("1.2.3-alpha.1", None, "1.2.3-alpha.2"),
        ("1.2.3-alpha", None, "1.2.3-alpha.0"),
        ("1.2.3-beta.4", None, "1.2.3-alpha.0"),
        ("1.2", None, "1.2.0-alpha.0"),
        ("1.2.3-alpha.beta.1", None, "1.2.3-alpha.0"),  # only the segment right after the tag counts
        ("1.0~rc1", "rc", "1.0.0-rc.0"),
        ("1.2.3", "rc", "1.2.3-rc.0"),
        ("1.2.3-rc1", "RC", "1.2.3-rc.2"),
        ("1.2.3-RC.9", "rc", "1.2.3-rc.10"),
        ("1.2.3-rc.1", "beta", "1.2.3-beta.0"),
        ("1.2.3-beta.2-rc.5", "rc", "1.2.3-rc.0"),  # only the first word is looked at
        ("1.2.3-rc.007", "rc", "1.2.3-rc.8"),
        ("", None, "0.0.0-alpha.0"),
        ("1.2.3", "", "1.2.3-.0"),
        ("1.2.3", "PRÉ", "1.2.3-prÉ.0"),  # only ASCII letters are lower-cased
    ],
)
def test_bump_prerelease(text, tag, expected):
    result = bump_prerelease(text) if tag is None else bump_prerelease(text, tag)
    assert result == expected
    if tag is not None:
        assert bump_prerelease(version=text, tag=tag) == expected


@pytest.mark.parametrize(
    "fn, text, expected",
    [
        (bump_major, U64_MAX, U64_MAX_PLUS_1 + ".0.0"),
        (bump_major, "99999999999999999999999.5", U64_MAX_PLUS_1 + ".0.0"),  # saturated by the parse
        (bump_minor, "1." + U64_MAX, "1." + U64_MAX_PLUS_1 + ".0"),
        (bump_patch, "1.2." + U64_MAX, "1.2." + U64_MAX_PLUS_1),
        (bump_patch, U64_MAX + "." + U64_MAX + "." + U64_MAX, U64_MAX + "." + U64_MAX + "." + U64_MAX_PLUS_1),
        (bump_patch, "1.2.18446744073709551614", "1.2." + U64_MAX),
        (next_stable, U64_MAX + ".1.2", U64_MAX + ".1.2"),
    ],
)
def test_the_largest_component_is_never_wrapped(fn, text, expected):
    assert fn(text) == expected


def test_the_largest_prerelease_counter_is_never_wrapped():
    assert bump_prerelease("1.2.3-alpha." + U64_MAX) == "1.2.3-alpha." + U64_MAX_PLUS_1
    assert bump_prerelease(U64_MAX + ".0.0-rc." + U64_MAX, "rc") == U64_MAX + ".0.0-rc." + U64_MAX_PLUS_1


def test_a_bumped_u64_max_does_not_order_below_its_input():
    # The successor needs 65 bits; the generic parse saturates it, so it
    # orders equal to its input (never below, as a wrapped 0 would).
    for fn, text in [(bump_major, U64_MAX), (bump_minor, "1." + U64_MAX), (bump_patch, "1.2." + U64_MAX)]:
        assert compare(fn(text), text) == 0


@pytest.mark.parametrize("fn", [bump_major, bump_minor, bump_patch, next_stable])
def test_argument_errors_of_the_release_bumps(fn):
    name = fn.__name__
    with pytest.raises(TypeError) as info:
        fn(None)
    assert str(info.value) == f"{name}() argument 'version' must be str, not None"
    with pytest.raises(TypeError) as info:
        fn()
    assert str(info.value) == f"{name}() missing required argument 'version' (pos 1)"
    with pytest.raises(TypeError) as info:
        fn("1", "2")
    assert str(info.value) == f"{name}() takes 1 positional argument but 2 were given"
    assert fn(version="1.2.3") == fn("1.2.3")


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: bump_prerelease(1), "bump_prerelease() argument 'version' must be str, not int"),
        (lambda: bump_prerelease("1", None), "bump_prerelease() argument 'tag' must be str, not None"),
        (lambda: bump_prerelease(1, None), "bump_prerelease() argument 'version' must be str, not int"),
        (lambda: bump_prerelease("1", tag=3), "bump_prerelease() argument 'tag' must be str, not int"),
        (lambda: bump_prerelease("1", "a", "b"), "bump_prerelease() takes from 1 to 2 positional arguments but 3 were given"),
    ],
)
def test_argument_errors_of_bump_prerelease(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_signatures_and_docstrings():
    for fn in (bump_major, bump_minor, bump_patch):
        assert str(inspect.signature(fn)) == "(version)"
        assert fn.__doc__ in (None, "")
    assert str(inspect.signature(next_stable)) == "(version)"
    assert str(inspect.signature(bump_prerelease)) == "(version, tag='alpha')"
    assert next_stable.__doc__ == (
        "Return the release form of a version, stripping any prerelease/postrelease\n"
        "tags and build metadata. `1.2.3-alpha.1+build` \u2192 `1.2.3`."
    )
    assert bump_prerelease.__doc__ == (
        "Bump the prerelease counter on a version.\n"
        "\n"
        "Semantics:\n"
        "  - If the version has a prerelease segment with the same `tag`, the\n"
        "    first numeric segment following that tag is incremented.\n"
        "  - Otherwise the existing prerelease is replaced with `-{tag}.0`.\n"
        "  - If no release triple is present, it's filled with `0.0.0`."
    )


# Texts without an epoch separator and with digit runs short enough to stay
# below the 64-bit limit.
PLAIN = st.text(alphabet="0123456789.-+_~^abcdeilnoprstv ", max_size=14)
TRIPLE = re.compile(r"^(0|[1-9][0-9]*)\.(0|[1-9][0-9]*)\.(0|[1-9][0-9]*)$")


@settings(max_examples=400, deadline=None)
@given(PLAIN)
def test_release_bumps_order_above_their_input(text):
    for fn in (bump_major, bump_minor, bump_patch):
        bumped = fn(text)
        assert TRIPLE.match(bumped), (fn.__name__, text, bumped)
        assert compare(bumped, text) == 1, (fn.__name__, text, bumped)
        assert next_stable(bumped) == bumped
    assert compare(bump_major(text), bump_minor(text)) == 1
    assert compare(bump_minor(text), bump_patch(text)) == 1


@settings(max_examples=400, deadline=None)
@given(PLAIN, st.sampled_from(["alpha", "beta", "rc", "dev", "pre", "Alpha"]))
def test_prerelease_bumps_are_prereleases_of_the_release(text, tag):
    bumped = bump_prerelease(text, tag)
    release, _, rest = bumped.partition("-")
    assert release == next_stable(text)
    assert rest.startswith(tag.lower() + ".")
    # a known pre-release word orders the result below its release form
    assert compare(bumped, release) == -1
    # and bumping again moves the counter on
    again = bump_prerelease(bumped, tag)
    assert compare(again, bumped) == 1
