"""The Python readers over the shared real lockfiles and over small made-up
files that probe one rule each."""

import re

import pytest
from packaging.utils import canonicalize_name
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import LockfileError
from quorlen.scan.readers import read_file, reader_for


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_text(text)
    return str(path)


def toml_pairs(text):
    """(canonical name, version) of each [[package]] block, by plain regexes."""
    pairs = set()
    for block in re.split(r"^\[\[package\]\]$", text, flags=re.M)[1:]:
        name = re.search(r'^name = "([^"\[]+)', block, re.M).group(1)
        version = re.search(r'^version = "([^"]+)"', block, re.M)
        pairs.add((canonicalize_name(name), version.group(1) if version else None))
    return pairs


# -- the shared files -------------------------------------------------------------------------------

@pytest.mark.parametrize("path", shared("poetry") + shared("pdm") + shared("uv"))
def test_toml_lockfiles_yield_every_distinct_locked_package(path):
    packages = read_file(str(path))
    assert {(p.name, p.version) for p in packages} == toml_pairs(path.read_text())
    assert len(packages) == len({(p.name, p.version) for p in packages})
    for p in packages:
        # The line named is the entry's own name line.
        assert canonicalize_name(re.match(r'name = "([^"\[]+)', line_of(path, p.line)).group(1)) == p.name


@pytest.mark.parametrize("path", shared("pipenv"))
def test_pipfile_lock_counts_each_group_entry(path):
    text = path.read_text()
    # After the metadata, package keys are the only objects opened at the
    # groups' depth.
    groups = text[text.index('\n    "default": {'):]
    assert len(read_file(str(path))) == len(re.findall(r'^        "[^"]+": \{$', groups, re.M))


@pytest.mark.parametrize("path", shared("requirements"))
def test_requirements_files_give_one_package_per_requirement_line(path):
    lines = path.read_text().splitlines()
    expected = [n for n, line in enumerate(lines, 1) if line.strip() and not line.startswith("#")]
    assert [p.line for p in read_file(str(path))] == expected


@pytest.mark.parametrize("folder, commit, name, version, line, requirement, source", [
    # Checked by hand against the files.
    ("requirements", "ecf984d", "jinja2", "2.10", 10, None, "registry"),
    ("requirements", "ecf984d", ".", None, 13, None, "path"),
    ("requirements", "3ed6007", "pytest", None, 2, ">=2.8.0,<=6.2.5", "registry"),
    ("requirements", "3ed6007", "trustme", None, 7, None, "registry"),
    ("pipenv", "60818d7", "passa", "0.3.1.dev0", 499, None, "git"),
    ("pipenv", "60818d7", "pipenv", None, 526, None, "path"),
    ("pipenv", "6126301", "requests", "2.18.4", 39, None, "registry"),
    ("poetry", "15d0130", "aspy-yaml", "1.3.0", 12, None, "registry"),
    ("pdm", "19f6c44", "cachecontrol", "0.12.11", 25, None, "registry"),
    ("uv", "0109e49", "flask", "3.1.1.dev0", 389, None, "path"),
])
def test_hand_checked_entries(folder, commit, name, version, line, requirement, source):
    found = [(p.line, p.requirement, p.source, p.ecosystem) for p in read_file(str(shared_file(folder, commit)))
             if (p.name, p.version) == (name, version)]
    assert found == [(line, requirement, source, "PyPI")]


# -- requirements rules -----------------------------------------------------------------------------

@pytest.mark.parametrize("text, expected", ids=short_id, argvalues=[
    ("Foo_Bar[x, y] == 2.0 ; python_version < '3'", ("foo-bar", "2.0", None, "registry")),
    ("foo===1.0+local", ("foo", "1.0+local", None, "registry")),
    ("foo>=1.0,<2", ("foo", None, ">=1.0,<2", "registry")),
    ("foo (>=1.0)", ("foo", None, ">=1.0", "registry")),
    ("foo==1.*", ("foo", None, "==1.*", "registry")),
    ("foo", ("foo", None, None, "registry")),
    ("foo==1.0 --hash=sha256:abcd --hash=sha256:ef01", ("foo", "1.0", None, "registry")),
    ("foo==1.0 \\\n    --hash=sha256:abcd", ("foo", "1.0", None, "registry")),
    ("foo==1.0  # pinned for a reason", ("foo", "1.0", None, "registry")),
    ("-e git+https://example.org/b.git@v1#egg=Bar_Baz", ("bar-baz", None, None, "git")),
    ("--editable=./libs/thing[extra]", ("./libs/thing", None, None, "path")),
    ("bar @ https://example.org/bar-1.0.tar.gz", ("bar", None, None, "url")),
    ("bar @ file:///opt/bar", ("bar", None, None, "path")),
    ("https://example.org/dist/thing-1.0.whl", ("https://example.org/dist/thing-1.0.whl", None, None, "url")),
    ("-r https://example.org/more.txt", ("https://example.org/more.txt", None, None, "url")),
])
def test_requirement_lines(tmp_path, text, expected):
    [p] = read_text(tmp_path, "requirements.txt", "--index-url https://example.org/simple\n" + text + "\n")
    assert (p.name, p.version, p.requirement, p.source, p.line) == (*expected, 2)


def test_includes_resolve_beside_the_including_file_and_stop_at_cycles(tmp_path):
    (tmp_path / "sub").mkdir()
    top = write(tmp_path, "requirements.txt", "a==1\n-r sub/more.txt\nb==2\n")
    more = write(tmp_path, "sub/more.txt", "\n--requirement=../requirements.txt\nc==3\n")
    found = [(p.name, p.file, p.line) for p in read_file(top)]
    assert found == [("a", top, 1), ("c", more, 3), ("b", top, 3)]


@pytest.mark.parametrize("text, line, words", ids=short_id, argvalues=[
    ("ok==1\nfoo >= 1.0 <<\n", 2, "not a version specifier"),
    ("ok==1\n\n%%%\n", 3, "not a requirement"),
    ("foo==1\nbar @\n", 2, "no URL"),
    ("-r\n", 1, "names no file"),
    ("x==1\n-r missing.txt\n", 2, "not a readable file"),
    ("x==1\n-r /etc/passwd\n", 2, "not a requirements file"),
    ("x==1\n-r .\n", 2, "not a requirements file"),
    ("x " + "y" * 500 + "\n", 1, "y" * 60 + "..."),
])
def test_malformed_requirements(tmp_path, text, line, words):
    assert words in str(assert_error(tmp_path, "requirements.txt", text, line, "requirements.txt"))


def test_an_include_through_a_link_must_reach_a_requirements_file(tmp_path):
    (tmp_path / "secret").write_text("password = hunter2\n")
    (tmp_path / "more.txt").symlink_to(tmp_path / "secret")
    error = assert_error(tmp_path, "requirements.txt", "-r more.txt\n", 1, "requirements.txt")
    assert "hunter2" not in str(error)


def test_include_depth_is_bounded(tmp_path):
    for n in range(40):
        write(tmp_path, f"r{n}-requirements.txt", f"p{n}==1\n-r r{n + 1}-requirements.txt\n")
    write(tmp_path, "r40-requirements.txt", "last==1\n")
    with pytest.raises(LockfileError, match="nested deeper"):
        read_file(str(tmp_path / "r0-requirements.txt"))


# -- malformed lockfiles ----------------------------------------------------------------------------

POETRY_OK = '[[package]]\nname = "a"\nversion = "1.0"\n\n[[package]]\nname = "b"\nversion = "2.0"\n'


@pytest.mark.parametrize("name, text, line", ids=short_id, argvalues=[
    ("poetry.lock", POETRY_OK[:-8], 7),  # truncated inside a string
    ("poetry.lock", POETRY_OK.replace('version = "2.0"', "version = 2.0"), 6),
    ("poetry.lock", POETRY_OK.replace('version = "2.0"\n', ""), 6),
    ("poetry.lock", 'package = "x"\n', 1),
    ("poetry.lock", POETRY_OK.replace('name = "b"', 'name = ["b"]'), 5),
    ("uv.lock", POETRY_OK + 'source = "registry"\n', 6),
    ("uv.lock", "version = 1\n[[package]\n", 2),
    ("pdm.lock", POETRY_OK + "[[package]]\nversion = '3'\n", 8),
    ("Pipfile.lock", '{"_meta": {},\n "default": {\n  "a": {"version": "==1"},\n  "b": []\n }}', 4),
    ("Pipfile.lock", '{"_meta": {},\n "default": {\n  "a": {"version": 1}}}', 3),
    ("Pipfile.lock", '{"_meta": {},\n "default": {\n  "a": {"hashes": []}}}', 3),
    ("Pipfile.lock", '{"default": {\n  "a": {"version": "==1"},\n', 3),
    ("Pipfile.lock", '[1, 2]', 1),
    ("Pipfile.lock", "[" * 100_000, 1),
    ("Pipfile.lock", '{"default": ' * 50_000, 1),
])
def test_malformed_lockfiles_give_one_line_errors(tmp_path, name, text, line):
    assert_error(tmp_path, "x__" + name, text, line, name)


@pytest.mark.parametrize("text, source", [
    ('[package.source]\ntype = "git"\nurl = "https://example.org/a.git"\n', "git"),
    ('[package.source]\ntype = "directory"\nurl = "../a"\n', "path"),
    ('[package.source]\ntype = "url"\nurl = "https://example.org/a.zip"\n', "url"),
    ('[package.source]\ntype = "legacy"\nurl = "https://mirror.example.org/simple"\n', "registry"),
])
def test_poetry_sources(tmp_path, text, source):
    packages = read_text(tmp_path, "poetry.lock", '[[package]]\nname = "a"\nversion = "1.0"\n' + text)
    assert [(p.name, p.version, p.source) for p in packages] == [("a", "1.0", source)]


@pytest.mark.parametrize("source, expected", [
    ('{ registry = "https://pypi.org/simple" }', "registry"),
    ('{ git = "https://example.org/a.git?rev=main#0123abc" }', "git"),
    ('{ url = "https://example.org/a-1.0.tar.gz" }', "url"),
    ('{ editable = "." }', "path"),
    ('{ virtual = "packages/a" }', "path"),
])
def test_uv_sources(tmp_path, source, expected):
    packages = read_text(tmp_path, "uv.lock", f'version = 1\n\n[[package]]\nname = "a"\nversion = "1.0"\nsource = {source}\n')
    assert [(p.version, p.source, p.line) for p in packages] == [("1.0", expected, 4)]


@pytest.mark.parametrize("name, format", [
    ("requirements.txt", "requirements.txt"), ("requirements-dev.txt", "requirements.txt"),
    ("dev-requirements.txt", "requirements.txt"), ("a__b__c__requirements.txt", "requirements.txt"),
    ("poetry.lock", "poetry.lock"), ("Pipfile.lock", "Pipfile.lock"), ("uv.lock", "uv.lock"),
    ("o__r__1234567__pdm.lock", "pdm.lock"),
    ("notes.txt", None), ("Pipfile", None), ("pyproject.toml", None), ("my.lock", None), ("poetry.lock.bak", None),
])
def test_recognised_names(name, format):
    reader = reader_for(name)
    assert (reader.format if reader else None) == format


def test_pipfile_lock_without_pin_keeps_the_range(tmp_path):
    packages = read_text(tmp_path, "Pipfile.lock", '{"_meta": {}, "default": {"a": {"version": ">=1.0"}}}')
    assert [(p.version, p.requirement) for p in packages] == [(None, ">=1.0")]
