"""Ecosystem names and keywords reach the same answer however the caller built
the str: a literal (interned, matched by identity), a str made at run time
(matched by hash or read as text), or a str subclass."""
import pytest

import quorlen
from test_ecosystems import ALIASES
from helpers import CANONICAL, fresh


class Name(str):
    pass


SPELLINGS = [
    pytest.param(lambda n: n, id="literal"),
    pytest.param(fresh, id="run-time"),
    pytest.param(Name, id="subclass"),
    pytest.param(lambda n: fresh(n).upper(), id="upper-case"),
]

NAMES = sorted(set(CANONICAL) | set(ALIASES))


def canonical_of(name):
    return ALIASES.get(name, name)


@pytest.mark.parametrize("spell", SPELLINGS)
def test_every_name_reaches_its_ecosystem_through_every_entry(spell):
    for name in NAMES:
        eco = canonical_of(name)
        a, b = ("v1.0.0", "v1.2.0") if eco == "go" else ("1.0.0", "1.2.0")
        given = spell(name)
        assert quorlen.Version(a, given).ecosystem == eco, name
        assert quorlen.Version(a, ecosystem=given).ecosystem == eco, name
        assert quorlen.compare(a, b, given) == quorlen.compare(a, b, eco) == -1, name
        assert quorlen.lt(a, b, ecosystem=given) is True, name
        assert quorlen.satisfies(b, f">{a}", given) is True, name
        assert quorlen.Version(a, eco).compare(b, given) == -1, name


@pytest.mark.parametrize("spell", SPELLINGS)
def test_auto_is_a_choice_where_it_is_one_and_unknown_elsewhere(spell):
    auto = spell("auto")
    assert quorlen.Version("2:1.0-1", auto).ecosystem == quorlen.Version("2:1.0-1").ecosystem
    assert quorlen.compare("1.0", "1.0.post1", auto) == quorlen.compare("1.0", "1.0.post1", "auto")
    assert quorlen.gt("1:1.0-1", "2.0-1", auto) == quorlen.gt("1:1.0-1", "2.0-1", "auto")
    with pytest.raises(quorlen.UnknownEcosystemError, match="unsupported ecosystem 'auto'"):
        quorlen.satisfies("1.0", ">=1", auto)
    with pytest.raises(quorlen.UnknownEcosystemError, match="unsupported ecosystem 'auto'"):
        quorlen.ranges_intersect(">=1", "<2", auto)


@pytest.mark.parametrize("spell", SPELLINGS)
@pytest.mark.parametrize("name", ["nope", "pypi", "generic ", "debian\x00", "pep440x"])
def test_names_no_ecosystem_answers_to_are_refused_alike(spell, name):
    for call in (lambda n: quorlen.compare("1", "2", n), lambda n: quorlen.Version("1", n),
                 lambda n: quorlen.satisfies("1", ">=1", n), lambda n: quorlen.eq("1", "1", n)):
        with pytest.raises(quorlen.UnknownEcosystemError) as literal:
            call(name)
        with pytest.raises(quorlen.UnknownEcosystemError) as spelled:
            call(spell(name))
        assert str(spelled.value) == str(literal.value)


@pytest.mark.parametrize("not_a_str", [None, 1, b"pep440", ["pep440"]])
def test_a_name_that_is_no_str_is_a_type_error_naming_the_argument(not_a_str):
    with pytest.raises(TypeError, match=r"compare\(\) argument 'ecosystem' must be str"):
        quorlen.compare("1", "2", not_a_str)
    with pytest.raises(TypeError, match=r"satisfies\(\) argument 'ecosystem' must be str"):
        quorlen.satisfies("1", ">=1", not_a_str)


@pytest.mark.parametrize("spell", SPELLINGS[:3])
def test_keywords_fresh_bind_like_literals(spell):
    kw = {spell("a"): "1.0", spell("b"): "1.0.post1", spell("ecosystem"): "pep440"}
    assert quorlen.compare(**kw) == -1
    assert quorlen.satisfies(**{spell("version"): "1.5", spell("constraint"): "~=1.4", spell("ecosystem"): "pep440"})
    assert quorlen.Version(**{spell("version"): "1.0.0", spell("ecosystem"): "semver"}).ecosystem == "semver"
    with pytest.raises(TypeError, match=r"compare\(\) got an unexpected keyword argument 'ecosystems'"):
        quorlen.compare("1", "2", **{spell("ecosystems"): "pep440"})
    with pytest.raises(TypeError, match=r"compare\(\) got multiple values for argument 'ecosystem'|"
                                        r"given by name \('ecosystem'\) and position"):
        quorlen.compare("1", "2", "pep440", **{spell("ecosystem"): "pep440"})
