import json
import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import REGISTRY, URL
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("conan"))
def test_every_distinct_reference_of_the_real_file(path):
    text = path.read_text()
    refs = re.findall(r'(?m)^\s*"([^"/\s]+)/([^"#@\s]+)#', text)
    assert len(refs) == 63 + 20  # requires + build_requires, counted by hand (the shared data's README)
    packages = read_file(str(path))
    assert [(p.name, p.version) for p in packages] == list(dict.fromkeys(refs))
    for p in packages:
        assert line_of(path, p.line).strip().startswith(f'"{p.name}/{p.version}#')
        assert p.ecosystem == "ConanCenter" and p.source == REGISTRY


def test_hand_checked_entry():
    path = shared_file("conan", "2ff0d96")
    packages = {(p.name, p.version): p.line for p in read_file(str(path))}
    assert packages[("openssl", "3.2.1")] == 20 and packages[("zlib", "1.3.1")] == 5
    assert ("strawberryperl", "5.30.0.1") in packages and ("strawberryperl", "5.32.1.1") in packages


def test_references_and_the_older_graph_format(tmp_path):
    v05 = {"version": "0.5", "requires": ["a/1.0", "b/2.0@user/stable#rev%1.0"],
           "python_requires": ["c/3.0#rev"]}
    got = [(p.name, p.version, p.source, p.line)
           for p in read_text(tmp_path, "conan.lock", json.dumps(v05, indent=1))]
    assert got == [("a", "1.0", REGISTRY, 4), ("b", "2.0", URL, 5), ("c", "3.0", REGISTRY, 8)]
    v04 = {"graph_lock": {"nodes": {"0": {"path": "conanfile.txt", "requires": ["1"]},
                                    "1": {"ref": "zlib/1.2.11#rev", "requires": []}}}, "version": "0.4"}
    got = [(p.name, p.version, p.line) for p in read_text(tmp_path, "conan.lock", json.dumps(v04, indent=1))]
    assert got == [("zlib", "1.2.11", 11)]


@pytest.mark.parametrize("text, line", [
    ('{\n"version": "0.5",\n"requires": [\n"zlib/1.3', 4),       # truncated
    ('{\n"version": "0.5",\n"requires": [\n"zlib"\n]}', 4),      # no version
    ('{\n"version": "0.5",\n"requires": [\n1\n]}', 3),
    ('{\n"version": "0.5",\n"requires": "zlib/1.0"\n}', 3),
    ('{"version": "9"}', 1),
    ('{"version": "0.5", "requires": ' + "[" * 10000 + "]" * 10000 + "}", 1),
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "conan.lock", text, line, "conan.lock")


@pytest.mark.parametrize("name, format", [
    ("conan.lock", "conan.lock"),
    ("a__b__1234567__conan.lock", "conan.lock"),
    ("conanfile.txt", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
