"""The constraint functions as Python sees them: signatures, docstrings,
argument conversion and the order in which failures are reported."""

import inspect

import pytest

import quorlen
from helpers import unsupported
from quorlen import range_contains, ranges_intersect, satisfies

BAD_COMPARATOR = "invalid comparator: '1.0'; expected operator (>=, <=, >, <, ==, !=) followed by version"

SATISFIES_DOC = (
    "Check whether `version` satisfies `constraint`.\n"
    "\n"
    "Supported syntax:\n"
    "  - Operators: `>=`, `<=`, `>`, `<`, `==`, `!=`\n"
    "  - AND via comma: `>=1.0,<2.0`\n"
    "  - OR via `||`: `^1.0 || ^2.0`\n"
    "  - Shorthand: `^1.2.3`, `~1.2`, `1.2.x`, `*`"
)


def error_of(exc_type, fn, *args, **kwargs):
    with pytest.raises(exc_type) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc_type
    return str(info.value)


@pytest.mark.parametrize(
    "fn,signature",
    [
        (satisfies, '(version, constraint, ecosystem="generic")'),
        (range_contains, '(version, range, ecosystem="generic")'),
        (ranges_intersect, '(left, right, ecosystem="generic")'),
    ],
)
def test_text_signatures(fn, signature):
    assert fn.__text_signature__ == signature
    params = list(inspect.signature(fn).parameters.values())
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params)
    assert params[2].default == "generic"


def test_docstrings():
    assert satisfies.__doc__ == SATISFIES_DOC
    assert range_contains.__doc__ is None
    assert ranges_intersect.__doc__ is None


def test_registered_in_order():
    names = quorlen.__all__
    i = names.index("satisfies")
    assert names[i : i + 3] == ["satisfies", "range_contains", "ranges_intersect"]


@pytest.mark.parametrize(
    "version,constraint,expected",
    [
        ("1.5", ">=1.0,<2.0", True),
        ("2.5", "^1.0 || ^2.0", True),
        ("3.1", "^1.0 || ^2.0", False),
        ("anything at all", "*", True),
        ("0.9", "~1.0", False),
    ],
)
def test_satisfies_and_range_contains_agree(version, constraint, expected):
    assert satisfies(version, constraint) is expected
    assert satisfies(version=version, constraint=constraint, ecosystem="generic") is expected
    assert range_contains(version, constraint) is expected
    assert range_contains(version=version, range=constraint, ecosystem="generic") is expected
    assert range_contains(ecosystem="GENERIC", range=constraint, version=version) is expected


@pytest.mark.parametrize("eco", ["semver", "SemVer", "pep440", "python", "npm", "crates.io"])
def test_ecosystem_names_and_aliases(eco):
    assert satisfies("1.5.0", ">=1.0.0, <2.0.0", ecosystem=eco) is True
    assert ranges_intersect("^1.0.0", "^2.0.0", eco) is False


@pytest.mark.parametrize("fn", [satisfies, range_contains, ranges_intersect])
@pytest.mark.parametrize("name,shown", [("auto", "auto"), ("AUTO", "auto"), ("Nope", "nope"), (" generic", " generic"), ("", "")])
def test_auto_and_unknown_names_are_refused(fn, name, shown):
    assert error_of(quorlen.UnknownEcosystemError, fn, "1.0", "*", name) == unsupported(shown)


@pytest.mark.parametrize(
    "fn,params",
    [
        (satisfies, ("version", "constraint", "ecosystem")),
        (range_contains, ("version", "range", "ecosystem")),
        (ranges_intersect, ("left", "right", "ecosystem")),
    ],
)
@pytest.mark.parametrize("bad,type_name", [(1, "int"), (None, "None"), (b"1.0", "bytes"), (["1.0"], "list")])
def test_every_argument_must_be_a_str(fn, params, bad, type_name):
    name = fn.__name__
    for i, param in enumerate(params):
        args = ["1.0", "*", "generic"]
        args[i] = bad
        assert error_of(TypeError, fn, *args) == f"{name}() argument '{param}' must be str, not {type_name}"


def test_a_version_object_is_not_a_str():
    v = quorlen.Version("1.0")
    message = error_of(TypeError, satisfies, v, "*")
    assert message.startswith("satisfies() argument 'version' must be str, not ")
    assert message.endswith("Version")


@pytest.mark.parametrize(
    "args,kwargs,message",
    [
        # Conversion runs in parameter order: the first bad argument is named.
        ((1, 2, 3), {}, "satisfies() argument 'version' must be str, not int"),
        (("1.0", 2, 3), {}, "satisfies() argument 'constraint' must be str, not int"),
        ((), {"ecosystem": 3, "constraint": 2, "version": "1.0"}, "satisfies() argument 'constraint' must be str, not int"),
        (("1.0",), {}, "satisfies() missing required argument 'constraint' (pos 2)"),
        ((), {}, "satisfies() missing required argument 'version' (pos 1)"),
        (("1.0", "*", "generic", 4), {}, "satisfies() takes from 2 to 3 positional arguments but 4 were given"),
        (("1.0", "*"), {"range": "*"}, "satisfies() got an unexpected keyword argument 'range'"),
        (("1.0", "*"), {"constraint": "*"}, "argument for satisfies() given by name ('constraint') and position (2)"),
    ],
)
def test_binding_errors(args, kwargs, message):
    assert error_of(TypeError, satisfies, *args, **kwargs) == message


def test_range_contains_names_its_own_parameters():
    assert error_of(TypeError, range_contains, "1.0", constraint="*") == (
        "range_contains() got an unexpected keyword argument 'constraint'"
    )
    assert error_of(TypeError, range_contains, "1.0", None) == "range_contains() argument 'range' must be str, not None"


def test_a_type_error_comes_before_a_bad_ecosystem():
    assert error_of(TypeError, satisfies, "1.0", 5, "nope") == "satisfies() argument 'constraint' must be str, not int"
    assert error_of(TypeError, ranges_intersect, "^1", None, "nope") == (
        "ranges_intersect() argument 'right' must be str, not None"
    )


def test_the_ecosystem_is_checked_before_the_range():
    assert error_of(quorlen.UnknownEcosystemError, satisfies, "1.0", "1.0", "nope") == unsupported("nope")
    assert error_of(quorlen.UnknownEcosystemError, ranges_intersect, "1.0", "2.0", "nope") == unsupported("nope")


def test_bad_constraints_raise_the_parse_message():
    assert error_of(ValueError, satisfies, "1.0", "1.0") == BAD_COMPARATOR
    assert error_of(ValueError, range_contains, "1.0", "1.0") == BAD_COMPARATOR
    # Even a version that no comparator will ever look at.
    assert error_of(ValueError, satisfies, "1.0", "* || 1.0") == BAD_COMPARATOR


def test_ranges_intersect_parses_left_then_right():
    assert error_of(ValueError, ranges_intersect, "1.0", "^") == BAD_COMPARATOR
    assert error_of(ValueError, ranges_intersect, ">=1.0", "^") == "invalid caret range: '^'"
    assert error_of(ValueError, ranges_intersect, "^", "1.0") == "invalid caret range: '^'"


@pytest.mark.parametrize(
    "left,right,expected",
    [("^1.0", "^2.0", False), ("[1.0,2.0]", "[2.0,3.0]", True), ("[1.0,2.0)", "[2.0,3.0)", False)],
)
def test_ranges_intersect_by_keyword(left, right, expected):
    assert ranges_intersect(left, right) is expected
    assert ranges_intersect(right=right, left=left, ecosystem="generic") is expected


def test_text_that_cannot_be_encoded_is_refused():
    with pytest.raises(UnicodeEncodeError):
        satisfies("\ud800", "*")
    with pytest.raises(UnicodeEncodeError):
        ranges_intersect("*", ">=\udfff")
