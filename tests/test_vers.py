"""VERS strings: build_vers writes them, vers_contains reads and evaluates them,
in this library's own range grammar and in the published form."""
import inspect

import pytest
from hypothesis import given, strategies as st

from helpers import CANONICAL, unsupported
from quorlen import build_vers, range_contains, satisfies, vers_contains

COMPARATOR = "invalid comparator: '{}'; expected operator (>=, <=, >, <, ==, !=) followed by version"


@pytest.mark.parametrize("ecosystem, range_, expected", [
    ("Crates.IO", ">=1.0", "vers:crates/>=1.0"),
    ("npm", ">=1.0,<2.0", "vers:npm/>=1.0,<2.0"),
    ("node", "  ^1.0 || ^2.0 \n", "vers:npm/^1.0 || ^2.0"),
    ("PEP-440", "", "vers:pep440/"),
    ("python", "\u3000>= 1.0\u2003", "vers:pep440/>= 1.0"),
    ("Generic", "*", "vers:generic/*"),
    ("deb", "[1.0, 2.0)", "vers:debian/[1.0, 2.0)"),
    ("pkg", ">=1/2", "vers:julia/>=1/2"),
    ("semver-strict", "~1.2", "vers:semver/~1.2"),
])
def test_build_vers(ecosystem, range_, expected):
    assert build_vers(ecosystem, range_) == expected


@pytest.mark.parametrize("ecosystem, range_, message", [
    ("nope", ">=1.0", unsupported("nope")),
    ("AUTO", ">=1.0", unsupported("auto")),
    ("", ">=1.0", unsupported("")),
    (" npm", ">=1.0", unsupported(" npm")),
    # the name is judged first
    ("nope", "1.0", unsupported("nope")),
    ("npm", "1.0", COMPARATOR.format("1.0")),
    ("npm", ">=1.0 || =2.0", COMPARATOR.format("=2.0")),
    ("npm", ">=", "missing version in comparator '>='"),
    ("npm", "^a", "invalid caret range: '^a'"),
    ("npm", "[1.0]", "invalid interval range: '[1.0]'"),
])
def test_build_vers_errors(ecosystem, range_, message):
    with pytest.raises(ValueError) as e:
        build_vers(ecosystem, range_)
    assert str(e.value) == message


@pytest.mark.parametrize("vers, version, expected", [
    ("vers:npm/>=1.0.0,<2.0.0", "1.5.0", True),
    ("vers:npm/>=1.0.0,<2.0.0", "2.0.0", False),
    ("vers:npm/>=1.0.0,<2.0.0", "0.9.9", False),
    ("vers:npm/^1.0 || ^2.0", "2.5.0", True),
    ("vers:npm/^1.0 || ^2.0", "3.0.0", False),
    ("vers:generic/>=1.0, <2.0", "1.0", True),
    ("vers:Generic/>=1.0 <2.0", "2.0", False),
    ("vers:pep440/>=1.0", "1.0.post1", True),
    ("vers:pep440/<1.0", "1.0rc1", True),
    ("vers:pep440/[1.0,2.0)", "2.0", False),
    # the empty range and the wildcard accept every text, parsed or not
    ("vers:npm/", "not a version", True),
    ("vers:pep440/*", "not a version", True),
    ("vers:pep440/ || >=5", "not a version", True),
])
def test_vers_contains(vers, version, expected):
    assert vers_contains(vers, version) is expected


@pytest.mark.parametrize("vers, version, message", [
    ("VERS:npm/>=1.0", "1.0", "invalid VERS 'VERS:npm/>=1.0'; expected 'vers:' prefix"),
    ("vers", "1.0", "invalid VERS 'vers'; expected 'vers:' prefix"),
    ("", "1.0", "invalid VERS ''; expected 'vers:' prefix"),
    (" vers:npm/>=1", "1.0", "invalid VERS ' vers:npm/>=1'; expected 'vers:' prefix"),
    ("vers:npm", "1.0", "invalid VERS 'vers:npm'; expected 'vers:<ecosystem>/<range>'"),
    ("vers:", "1.0", "invalid VERS 'vers:'; expected 'vers:<ecosystem>/<range>'"),
    ("vers:/>=1.0", "1.0", unsupported("")),
    ("vers:auto/>=1.0", "1.0", unsupported("auto")),
    # a bad name is reported even when the range is bad too
    ("vers:nope/1.0", "1.0", unsupported("nope")),
    ("vers:npm/==1.0.0 1.0.0", "1.0.0", COMPARATOR.format("1.0.0")),
    # only the first "/" separates: the rest stays in the range
    ("vers:npm/>=1.0/2.0 =3", "1.0", COMPARATOR.format("=3")),
    # errors of evaluation, when a comparator needs the text
    ("vers:pep440/>=1.0", "abc", "PEP 440 version must start with a digit: 'abc'"),
    ("vers:pep440/>=x1", "1.0", "PEP 440 version must start with a digit: 'x1'"),
])
def test_vers_contains_errors(vers, version, message):
    with pytest.raises(ValueError) as e:
        vers_contains(vers, version)
    assert str(e.value) == message


def test_evaluation_is_lazy():
    # the second branch is never looked at once the first accepts
    assert vers_contains("vers:pep440/>=1.0 || >=x", "1.5") is True
    # a failing comparator abandons its branch before the unparsable one
    assert vers_contains("vers:pep440/>=3.0,<x || >=1.0", "1.5") is True


@pytest.mark.parametrize("fn, names", [(build_vers, ("ecosystem", "range")), (vers_contains, ("vers", "version"))])
def test_argument_errors(fn, names):
    name = fn.__name__
    good = {"ecosystem": "npm", "range": ">=1", "vers": "vers:npm/>=1.0.0", "version": "1.0.0"}
    for i, param in enumerate(names):
        for bad, tname in [(None, "None"), (1, "int"), (b"x", "bytes")]:
            args = [good[n] for n in names]
            args[i] = bad
            with pytest.raises(TypeError) as e:
                fn(*args)
            assert str(e.value) == f"{name}() argument '{param}' must be str, not {tname}"
    # the first argument's type is checked before the second's
    with pytest.raises(TypeError) as e:
        fn(None, None)
    assert str(e.value) == f"{name}() argument '{names[0]}' must be str, not None"
    with pytest.raises(TypeError) as e:
        fn(good[names[0]])
    assert str(e.value) == f"{name}() missing required argument '{names[1]}' (pos 2)"
    assert fn(**{n: good[n] for n in names}) is not None
    assert str(inspect.signature(fn)).startswith(f"({names[0]}, {names[1]}")


RANGES = st.sampled_from([
    "", "*", ">=1.0", "<2.0", ">=1.0,<2.0", ">=1.0 <2.0", "^1.2", "~1.2.3", "1.x", "[1.0,2.0)", "(1.0,2.0]",
    "==1.5", "!=1.5", ">=1.0 || <0.5", "<=0.9 || >2.1,<3", "  >=1.1  ",
])
VERSIONS = st.from_regex(r"[0-3](\.[0-9]){0,2}(rc1|\.post1)?", fullmatch=True)
ECOS = st.sampled_from(["generic", "pep440", "PEP440", "python", "debian", "rpm", "maven"])


@given(ECOS, RANGES, VERSIONS)
def test_written_vers_reads_back_to_the_same_range(eco, range_, version):
    vers = build_vers(eco, range_)
    assert vers.startswith("vers:") and vers.index("/") < len(vers)
    assert vers_contains(vers, version) is range_contains(version, range_, eco)


# ---------------------------------------------------------------- the published form

@pytest.mark.parametrize("vers, inside, outside", [
    ("vers:npm/1.2.3", ["1.2.3"], ["1.2.4", "1.2.2"]),
    ("vers:npm/=1.2.3", ["1.2.3"], ["1.2.4"]),
    ("vers:npm/>=1.0.0|<2.0.0", ["1.0.0", "1.9.9"], ["2.0.0", "0.9.0"]),
    ("vers:npm/<1.0.0|>2.0.0", ["0.9.0", "2.0.1"], ["1.0.0", "1.5.0", "2.0.0"]),
    ("vers:gem/>=2.2.0|!=2.2.1|<2.3.0", ["2.2.0", "2.2.2"], ["2.2.1", "2.3.0", "3.0"]),
    ("vers:maven/>=1.0|<=1.5|>=2.0|<3.0", ["1.0", "1.5", "2.5"], ["1.7", "3.0", "0.9"]),
    ("vers:pypi/0.0.0|0.0.1|0.0.2|0.0.3|1.0|2.0pre1", ["0.0.2", "2.0pre1", "2.0rc1"], ["0.0.4", "2.0"]),
    ("vers:pypi/1.0|>=2.0|<3.0|4.0", ["1.0", "2.5", "4.0"], ["1.5", "3.0", "3.5", "4.1"]),
    ("vers:maven/>=1.0.0-beta1|<=1.7.5|>=7.0.0-M1|<=7.0.7|>=7.1.0|<=7.1.2|>=8.0.0-M1|<=8.0.1",
     ["1.7.5", "7.0.0-M2", "7.1.1", "8.0.1"], ["1.8", "7.0.8", "7.2", "8.0.2"]),
    ("vers:golang/>=v1.2.0|<v1.3.0", ["v1.2.5"], ["v1.3.0"]),
    ("vers:cargo/>=1.0.0| <2.0.0", ["1.0.0"], ["2.0.0"]),  # blanks around constraints do not count
    # exclusions alone hold every other version, as in this library's grammar
    ("vers:npm/!=1.0.0|!=2.0.0", ["1.5.0", "3.0.0"], ["1.0.0", "2.0.0"]),
])
def test_published_form(vers, inside, outside):
    for v in inside:
        assert vers_contains(vers, v) is True, v
    for v in outside:
        assert vers_contains(vers, v) is False, v


@pytest.mark.parametrize("vers, problem", [
    ("vers:npm/>=2.0.0|<1.0.0", "constraint '<1.0.0' is out of order: versions must be sorted"),
    ("vers:npm/1.0.0|1.0.0", "constraint '1.0.0' repeats a version"),
    ("vers:pypi/1.0|1.0.0", "constraint '1.0.0' repeats a version"),
    ("vers:npm/>=1.0.0|>=1.5.0", "constraint '>=1.5.0' follows another lower bound"),
    ("vers:npm/<1.0.0|!=1.2.0|<=2.0.0", "constraint '<=2.0.0' follows another upper bound"),
    ("vers:npm/1.0.0|<2.0.0", "constraint '<2.0.0' is an upper bound after a single version"),
    ("vers:npm/*|>1.0.0", "'*' must stand alone"),
    ("vers:npm/>=1.0.0|", "constraint '' is empty"),
    ("vers:npm/>=1.0.0|^2.0.0", "constraint '^2.0.0' is not a comparator and a version"),
    ("vers:npm/>=1.0.0|<<2.0.0", "constraint '<<2.0.0' is not a comparator and a version"),
    ("vers:npm/1.0", "constraint '1.0' has a version the ecosystem refuses: Expected 3 parts, got 2"),
    ("vers:pypi/>=x|<2.0", "constraint '>=x' has a version the ecosystem refuses: "
                           "PEP 440 version must start with a digit: 'x'"),
])
def test_published_form_errors_name_the_constraint(vers, problem):
    with pytest.raises(ValueError) as e:
        vers_contains(vers, "1.0.0")
    assert str(e.value) == f"invalid VERS '{vers}'; {problem}"


@pytest.mark.parametrize("scheme, eco", [
    ("pypi", "pep440"), ("PyPI", "pep440"), ("gem", "ruby"), ("cargo", "crates"), ("golang", "go"), ("deb", "debian"),
    ("pkg", "julia"),  # an ecosystem name before a package-URL type
])
def test_scheme_is_an_ecosystem_name_or_a_package_url_type(scheme, eco):
    v = "v1.0.0" if eco == "go" else "1.0.0"
    assert vers_contains(f"vers:{scheme}/>={v}", v) is True
    # read under the ecosystem's ordering: its own refusals show
    with pytest.raises(ValueError):
        vers_contains(f"vers:{scheme}/>={v}", "")


@pytest.mark.parametrize("eco, range_, expected", [
    ("pep440", ">=1.0,<2.0", "vers:pypi/>=1.0|<2.0"),
    ("npm", ">=1.0.0,<2.0.0 || ==3.0.0", "vers:npm/>=1.0.0|<2.0.0|3.0.0"),
    ("ruby", ">=1.0,<2.0,!=1.5", "vers:gem/>=1.0|!=1.5|<2.0"),
    ("go", ">=v1.0.0", "vers:golang/>=v1.0.0"),
    ("freebsd", "*", "vers:freebsd/*"),  # its type "pkg" names julia
    ("semver", "<1.0.0 || >1.0.0,!=2.0.0", "vers:semver/!=1.0.0|!=2.0.0"),
])
def test_build_vers_standard(eco, range_, expected):
    assert build_vers(eco, range_, standard=True) == expected


@pytest.mark.parametrize("args, kwargs, error", [
    (("npm", ">2.0.0,<1.0.0"), {"standard": True}, ValueError),
    (("maven", "[1.0,2*0)"), {"standard": True}, ValueError),  # "*" is an operator of that form
    (("npm", ">=1.0.0", True), {}, TypeError),  # standard is keyword-only
])
def test_build_vers_standard_refuses(args, kwargs, error):
    with pytest.raises(error):
        build_vers(*args, **kwargs)


POINTS = ["1.0.0", "1.5.0", "2.0.0", "2.5.0", "3.0.0"]
SAMPLES = ["0.5.0", "1.2.0", "1.7.0", "2.2.0", "2.7.0", "3.5.0"] + POINTS
ROUND_TRIP_RANGES = [
    ">={0},<{2} || =={4}", "<{1} || >{3}", ">{0},!={1},<={3}", "!={2}", "*", "<={0} || >={1},<{2} || >{3},!={4}",
]


@pytest.mark.parametrize("eco", CANONICAL)
def test_standard_vers_round_trips_under_every_ecosystem(eco):
    prefix = "v" if eco == "go" else ""
    points = [prefix + p for p in POINTS]
    for template in ROUND_TRIP_RANGES:
        range_ = template.format(*points)
        vers = build_vers(eco, range_, standard=True)
        for s in SAMPLES:
            assert vers_contains(vers, prefix + s) is satisfies(prefix + s, range_, eco), (vers, s)
