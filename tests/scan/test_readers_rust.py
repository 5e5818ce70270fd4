import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import GIT, PATH, REGISTRY, URL
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("cargo"))
def test_every_entry_of_the_real_lockfiles(path):
    text = path.read_text()
    packages = read_file(str(path))
    blocks = re.split(r"(?m)^\[\[package\]\]$", text)[1:]
    assert len(packages) == len(blocks)
    # Entries without a source are the workspace's own crates.
    assert sum(p.source == PATH for p in packages) == sum("\nsource = " not in b for b in blocks)
    for p in packages:
        assert line_of(path, p.line) == f'name = "{p.name}"'
        assert p.ecosystem == "crates.io"


@pytest.mark.parametrize("commit, name, version, line, source", [
    ("4de227f", "aho-corasick", "0.7.6", 4, REGISTRY),
    ("4de227f", "grep", "0.2.4", 154, PATH),
    ("13faa39", "regex", "1.7.0", 417, REGISTRY),
    ("13faa39", "ripgrep", "13.0.0", 440, PATH),
])
def test_hand_checked_entries(commit, name, version, line, source):
    packages = read_file(str(shared_file("cargo", commit)))
    assert (name, version, line, source) in {(p.name, p.version, p.line, p.source) for p in packages}


def test_sources(tmp_path):
    text = """version = 3
[[package]]
name = "a"
version = "1.0.0"
source = "git+https://example.com/a?rev=1#abc"

[[package]]
name = "b"
version = "2.0.0"
source = "sparse+https://index.crates.io/"

[[package]]
name = "c"
version = "0.1.0"
source = "registry+https://my-registry.example/index"
"""
    packages = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "Cargo.lock", text)]
    assert packages == [("a", "1.0.0", GIT, 3), ("b", "2.0.0", REGISTRY, 8), ("c", "0.1.0", URL, 13)]


@pytest.mark.parametrize("text, line", [
    ('[[package]]\nname = "a"\nversion = "1.0', 3),               # truncated
    ('[[package]]\nname = "a"\n', 2),                              # no version
    ('[[package]]\nname = "a"\nversion = 1\n', 2),                 # wrong type
    ('[[package]]\nname = "a"\nversion = "1"\n[[package]]\nname = 3\nversion = "1"\n', 4),
    ('package = "x"\n', 1),
    ('\n\n[[package]\n', 3),                                        # invalid syntax
    ("x = " + "[" * 100000 + "]" * 100000, 1),                         # deep nesting
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "Cargo.lock", text, line, "Cargo.lock")


@pytest.mark.parametrize("name, format", [
    ("Cargo.lock", "Cargo.lock"),
    ("a__b__1234567__Cargo.lock", "Cargo.lock"),
    ("Cargo.toml", None),
    ("Cargo.lock.bak", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format


def test_the_oldest_layout_with_a_root_table(tmp_path):
    text = '[root]\nname = "app"\nversion = "0.1.0"\n\n[[package]]\nname = "libc"\nversion = "0.2.0"\n' \
           'source = "registry+https://github.com/rust-lang/crates.io-index"\n\n[metadata]\n' \
           '"checksum libc 0.2.0 (registry+https://github.com/rust-lang/crates.io-index)" = "00"\n'
    got = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "Cargo.lock", text)]
    assert got == [("app", "0.1.0", PATH, 2), ("libc", "0.2.0", REGISTRY, 6)]
