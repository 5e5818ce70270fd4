"""Advice from the range algebra: the properties every advice must keep,
the requirement styles, manifests of each kind and the graph they give."""

import itertools

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorlen
from quorlen.scan.model import Package
from quorlen.scan.remedy import advice, graph, manifests, syntax
from quorlen.scan.remedy.advice import Context
from quorlen.scan.remedy.manifests import Declared

# Every version of three numbers below 4: the grid the properties are checked on.
GRID = [".".join(map(str, v)) for v in itertools.product(range(4), repeat=3)]
version = st.sampled_from(GRID)


def affected_by(v, affected, library):
    return any(quorlen.satisfies(v, a, library) for a in affected)


def declared_requirement(draw, library):
    low = draw(version)
    high = draw(version.filter(lambda h: quorlen.compare(h, low, library) > 0))
    style = draw(st.sampled_from(["^", "~", ">=", "==", "range"]))
    if style == "range":
        return f">={low},<{high}"
    if library == "crates" and style == "==":
        return "=" + low  # as a Cargo.toml writes it
    return style + low


@st.composite
def situations(draw):
    eco, library = draw(st.sampled_from([("PyPI", "pep440"), ("crates.io", "crates"), ("npm", "npm")]))
    declared = declared_requirement(draw, library)
    affected = []
    for _ in range(draw(st.integers(1, 3))):
        low, high = sorted(draw(st.lists(version, min_size=2, max_size=2, unique=True)),
                           key=lambda v: tuple(map(int, v.split("."))))
        affected.append(f"<{high}" if low == "0.0.0" else f">={low},<{high}")
    current = draw(version.filter(lambda v: affected_by(v, affected, library)))
    # The releases the advisories name: their fixed versions.
    named = sorted({a.rsplit("<", 1)[1] for a in affected}, key=lambda v: tuple(map(int, v.split("."))))
    clean = [v for v in named if not affected_by(v, affected, library)]
    above = [v for v in clean if quorlen.compare(v, current, library) > 0]
    return eco, library, declared, affected, current, clean, above[0] if above else None


@settings(max_examples=150, deadline=None)
@given(situations())
def test_advice_keeps_inside_the_declared_range_or_admits_no_newly_affected_version(case):
    eco, library, declared, affected, current, clean, fix = case
    place = graph.Place(True, Declared("p", declared, "manifest", 3), ("p",), ())
    got = advice.advise(Package(eco, "p", current, "lock", 1), place, "Cargo.lock", Context(library, tuple(affected),
                                                                                              tuple(clean), fix))
    old = syntax.to_library(declared, library)
    if got is None or got.kind == "lockfile":
        # Refreshing the lockfile names a clean version the declared range admits.
        assert got is None or (got.version == fix and quorlen.satisfies(fix, old, library))
        return
    assert got.kind == "requirement"
    if got.requirement is None:
        return
    new = syntax.to_library(got.requirement, library)
    admitted = [v for v in GRID if quorlen.satisfies(v, new, library)]
    assert any(not affected_by(v, affected, library) for v in admitted), (got, admitted)
    newly = [v for v in admitted if affected_by(v, affected, library) and not quorlen.satisfies(v, old, library)]
    assert newly == [], got


@pytest.mark.parametrize("declared, fix, library, want", [
    ("^2.10.0", "2.11.3", "npm", "^2.11.3"),
    ("~=2.10", "2.11.3", "pep440", "~=2.11"),
    ("~> 1.2", "1.4.1", "ruby", "~>1.4"),
    ("2.x", "3.1.0", "npm", "3.x"),
    ("==1.0", "1.2", "pep440", "==1.2"),
    (">=1.0,<2.0", "2.2.5", "pep440", ">=2.2.5"),
])
def test_a_requirement_moves_in_its_own_operator_style(declared, fix, library, want):
    assert advice.moved(declared, fix, library) == want


@pytest.mark.parametrize("written, library, read", [
    ("1.0.5", "crates", "^1.0.5"),
    ("=1.2.3, <1.3", "crates", "==1.2.3,<1.3.0"),
    ("=1.2, >0.9", "crates", ">=1.2.0,<1.3.0,>=0.10.0"),
    ("~> 1.2, >= 1.2.3", "ruby", "~>1.2,>=1.2.3"),
    ("^2.18", "pep440", "^2.18"),
])
def test_manifest_requirements_read_as_the_library_grammar(written, library, read):
    assert syntax.to_library(written, library) == read
    quorlen.range_simplify(read, library)  # and the library reads it


@pytest.mark.parametrize("range_text, library, written", [
    (">=2.2.5,<3.0.0", "npm", ">=2.2.5 <3.0.0"),
    (">=1.5.5,<2.0.0", "crates", ">=1.5.5, <2.0.0"),
    ("==1.2.3", "crates", "=1.2.3"),
    (">=1.2,<2.0 || >=2.5", "pep440", ">=1.2,<2.0 || >=2.5"),
])
def test_computed_ranges_are_written_in_the_manifests_syntax(range_text, library, written):
    assert syntax.to_ecosystem(range_text, library) == written


def test_a_union_is_kept_only_where_the_manifest_can_write_one():
    clean = ["1.5.0", "2.5.0"]
    assert advice.new_requirement(">=1.0.0", "npm", ["<1.5.0", ">=2.0.0,<2.5.0"], clean, "1.5.0") == \
        ">=1.5.0,<2.0.0 || >=2.5.0"
    assert advice.new_requirement(">=1.0.0", "crates", ["<1.5.0", ">=2.0.0,<2.5.0"], clean, "1.5.0") == \
        ">=1.5.0,<2.0.0"


MANIFESTS = {
    "package.json": ('{\n  "dependencies": {\n    "lodash": "^4.17.0",\n    "local": "file:../local"\n  },\n'
                     '  "devDependencies": {"mocha": "~8.0.0"}\n}\n',
                     [("lodash", "^4.17.0", 3), ("local", None, 4), ("mocha", "~8.0.0", 6)]),
    "Gemfile": ('source "https://rubygems.org"\ngem "rails", "~> 6.1", ">= 6.1.4"\n'
                'gem \'nokogiri\'\ngem "mine", path: "../mine"\n# gem "old", "1.0"\n',
                [("rails", "~> 6.1, >= 6.1.4", 2), ("nokogiri", "*", 3), ("mine", None, 4)]),
    "composer.json": ('{"require": {"php": ">=7.4",\n "monolog/monolog": "^2.0"}}\n', [("monolog/monolog", "^2.0", 2)]),
    "pubspec.yaml": ("name: app\ndependencies:\n  http: ^0.13.0\n  flutter:\n    sdk: flutter\n"
                     "dev_dependencies:\n  test: any\n",
                     [("http", "^0.13.0", 3), ("flutter", None, 4), ("test", "any", 7)]),
    "Cargo.toml": ('[dependencies]\nregex = "1.0.5"\nmine = { path = "mine" }\n\n'
                   '[dependencies.clap]\nversion = "2.32.0"\n',
                   [("regex", "1.0.5", 2), ("mine", None, 3), ("clap", "2.32.0", 5)]),
    "pyproject.toml": ('[project]\ndependencies = ["requests>=2.0", "attrs"]\n'
                       '[tool.poetry.dependencies]\npython = "^3.8"\ntomlkit = { version = "^0.5", extras = ["x"] }\n',
                       [("requests", ">=2.0", 2), ("attrs", "*", 2), ("tomlkit", "^0.5", 5)]),
}


@pytest.mark.parametrize("kind", sorted(MANIFESTS))
def test_manifests_name_each_declaration_with_its_requirement_and_line(tmp_path, kind):
    text, want = MANIFESTS[kind]
    path = tmp_path / kind
    path.write_text(text, encoding="utf-8")
    got = [(d.name, d.requirement, d.line) for d in manifests.read_manifest(str(path), kind)]
    assert got == want


def test_the_graph_of_a_package_lock_finds_the_path_and_the_parents_requirement(tmp_path):
    # No package.json beside it: the lockfile's root entry tells the direct dependencies.
    lock = tmp_path / "package-lock.json"
    lock.write_text('{"lockfileVersion": 3, "packages": {'
                    '"": {"dependencies": {"express": "^4.0.0"}},'
                    '"node_modules/express": {"version": "4.17.0", "dependencies": {"body-parser": "1.19.0"}},'
                    '"node_modules/body-parser": {"version": "1.19.0", "dependencies": {"qs": "~6.7.0"}},'
                    '"node_modules/qs": {"version": "6.7.0"}}}', encoding="utf-8")
    found = graph.for_lockfile(str(lock), [])
    assert found is not None
    express, qs = found.place("express"), found.place("qs")
    assert express.direct and express.declared.requirement == "^4.0.0"
    assert not qs.direct and qs.path == ("express", "body-parser", "qs") and qs.parents == (("body-parser", "~6.7.0"),)
    ctx = Context("npm", ("<6.7.3",), ("6.7.3",), "6.7.3")
    got = advice.advise(Package("npm", "qs", "6.7.0", str(lock), 1), qs, "package-lock.json", ctx)
    assert got.kind == "transitive" and got.lockfile_alone is True and got.command == "npm update qs"


def test_a_manifest_that_does_not_parse_costs_its_advice_with_a_warning(tmp_path):
    (tmp_path / "Cargo.lock").write_text('version = 3\n[[package]]\nname = "a"\nversion = "1.0.0"\n')
    (tmp_path / "Cargo.toml").write_text("[dependencies\n")
    warnings = []
    assert graph.for_lockfile(str(tmp_path / "Cargo.lock"), warnings) is None
    assert len(warnings) == 1 and "Cargo.toml" in warnings[0] and "invalid TOML" in warnings[0]


def test_commands_quote_a_hostile_package_name():
    assert advice._command("Cargo.lock", "x; rm -rf ~") == "cargo update -p 'x; rm -rf ~'"
