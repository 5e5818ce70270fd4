import json
import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import GIT, PATH, REGISTRY
from quorlen.scan.readers import read_file, reader_for

# Hand-counted entries of packages + packages-dev (the shared data's README).
COUNTS = {"e81f90d": 72 + 55, "d63eb81": 16 + 8}


@pytest.mark.parametrize("path", shared("composer"))
def test_every_entry_of_the_real_files(path):
    packages = read_file(str(path))
    commit = path.name.split("__")[2]
    assert len(packages) == COUNTS[commit] == len(re.findall(r'(?m)^            "name": ', path.read_text()))
    for p in packages:
        assert line_of(path, p.line).lower().strip() == f'"name": "{p.name}",' and p.ecosystem == "Packagist"


@pytest.mark.parametrize("commit, name, version, line", [
    ("e81f90d", "symfony/http-foundation", "4.3.4", None),  # written v4.3.4
    ("d63eb81", "composer/ca-bundle", "1.2.6", 10),
])
def test_hand_checked_entries(commit, name, version, line):
    path = shared_file("composer", commit)
    found = [p for p in read_file(str(path)) if p.name == name]
    assert [(p.version, p.source) for p in found] == [(version, REGISTRY)]
    assert line is None or found[0].line == line


def test_versions_names_and_sources(tmp_path):
    doc = {"packages": [
        {"name": "Vendor/Tagged", "version": "v2.1.0"},
        {"name": "vendor/branch", "version": "dev-master"},
        {"name": "vendor/alias", "version": "2.x-dev"},
        {"name": "vendor/local", "version": "1.0.0", "dist": {"type": "path", "url": "../local"}},
    ], "packages-dev": [{"name": "vendor/escaped", "version": "1.0.0"}]}
    text = json.dumps(doc, indent=4).replace("vendor/escaped", "vendor\\/escaped")
    got = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "composer.lock", text)]
    assert got == [("vendor/tagged", "2.1.0", REGISTRY, 4), ("vendor/branch", "dev-master", GIT, 8),
                   ("vendor/alias", "2.x-dev", GIT, 12), ("vendor/local", "1.0.0", PATH, 16),
                   ("vendor/escaped", "1.0.0", REGISTRY, 26)]


@pytest.mark.parametrize("text, line", [
    ('{\n"packages": [\n{"name": "a/b", "version": "1.0"', 3),          # truncated
    ('{\n"packages": [\n{"name": "a/b"}\n]}', 3),                       # no version
    ('{\n"packages": [\n{"name": "a/b", "version": 1}\n]}', 3),         # wrong type
    ('{\n"packages": {"a/b": "1.0"}\n}', 2),
    ('{\n"packages": [\n"a/b"\n]}', 2),
    ('[]', 1),
    ('{"packages": ' + "[" * 100000 + "]" * 100000 + "}", 1),           # deep nesting
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "composer.lock", text, line, "composer.lock")


@pytest.mark.parametrize("name, format", [
    ("composer.lock", "composer.lock"),
    ("a__b__1234567__composer.lock", "composer.lock"),
    ("composer.json", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
