import json

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import PATH, REGISTRY
from quorlen.scan.readers import read_file, reader_for

# Distinct (name, version) pairs, hand-counted (the shared data's README).
UNIQUE = {"0c42b9a": 41, "1026291": 99}


@pytest.mark.parametrize("path", shared("nuget"))
def test_every_distinct_package_of_the_real_files(path):
    packages = read_file(str(path))
    assert len(packages) == UNIQUE[path.name.split("__")[2]]
    assert len({(p.name, p.version) for p in packages}) == len(packages)
    for p in packages:
        assert line_of(path, p.line).lower().strip().startswith(f'"{p.name}": {{') and p.ecosystem == "NuGet"


@pytest.mark.parametrize("commit, name, version, line, source", [
    ("1026291", "commandlineparser", "2.8.0", 5, REGISTRY),
    ("1026291", "azure.bicep.core", None, 671, PATH),
    ("0c42b9a", "microsoft.codeanalysis.bannedapianalyzers", "3.3.2", 5, REGISTRY),
])
def test_hand_checked_entries(commit, name, version, line, source):
    packages = read_file(str(shared_file("nuget", commit)))
    assert (name, version, line, source) in {(p.name, p.version, p.line, p.source) for p in packages}


def test_targets_are_merged_by_name_and_version(tmp_path):
    doc = {"version": 1, "dependencies": {
        "net6.0": {"Foo": {"type": "Direct", "requested": "[1.0.0, )", "resolved": "1.0.0"},
                   "Bar": {"type": "CentralTransitive", "requested": "[2.0.0, )", "resolved": "2.0.0"}},
        "net6.0/linux-x64": {"FOO": {"type": "Transitive", "resolved": "1.0.0"},
                             "Foo": {"type": "Transitive", "resolved": "1.1.0"},
                             "Lib": {"type": "Project", "dependencies": {"Foo": "[1.0.0, )"}}},
    }}
    got = [(p.name, p.version, p.source, p.line)
           for p in read_text(tmp_path, "packages.lock.json", json.dumps(doc, indent=2))]
    assert got == [("foo", "1.0.0", REGISTRY, 5), ("bar", "2.0.0", REGISTRY, 10), ("foo", "1.1.0", REGISTRY, 21),
                   ("lib", None, PATH, 25)]


@pytest.mark.parametrize("text, line", [
    ('{"version": 1,\n"dependencies": {"net6.0": {\n"A": {"type": "Direct", "resolved": "1.0', 3),  # truncated
    ('{"version": 1,\n"dependencies": {"net6.0": {\n"A": {"type": "Direct"}}}}', 3),              # no version
    ('{"version": 1,\n"dependencies": {"net6.0": {\n"A": {"type": "Direct", "resolved": 1}}}}', 3),
    ('{"version": 1,\n"dependencies": {"net6.0": {\n"A": {"type": "Odd", "resolved": "1"}}}}', 3),
    ('{"version": 1,\n"dependencies": {"net6.0": {\n"A": {"type": ["Direct"], "resolved": "1"}}}}', 3),
    ('{"version": 1,\n"dependencies": {"net6.0": [\n]}}', 2),
    ('{"version": 7, "dependencies": {}}', 1),
    ('{"version": 1, "dependencies": ' + "[" * 50000, 1),                                        # deep nesting
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "packages.lock.json", text, line, "packages.lock.json")


@pytest.mark.parametrize("name, format", [
    ("packages.lock.json", "packages.lock.json"),
    ("a__b__1234567__packages.lock.json", "packages.lock.json"),
    ("packages.config", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
