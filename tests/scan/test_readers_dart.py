import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import GIT, PATH, REGISTRY, URL
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("pub"))
def test_every_entry_of_the_real_files(path):
    text = path.read_text()
    packages = read_file(str(path))
    assert len(packages) == len(re.findall(r"(?m)^    source: ", text))
    assert sum(p.source == PATH for p in packages) == len(re.findall(r"(?m)^    source: sdk$", text))
    for p in packages:
        assert line_of(path, p.line) == f"  {p.name}:" and p.ecosystem == "Pub"


@pytest.mark.parametrize("name, version, line, source", [
    ("_fe_analyzer_shared", "7.0.0", 4, REGISTRY),
    ("flutter", "0.0.0", 165, PATH),
    ("yaml", "2.2.1", 739, REGISTRY),
])
def test_hand_checked_entries(name, version, line, source):
    packages = read_file(str(shared_file("pub", "17437de")))
    assert (name, version, line, source) in {(p.name, p.version, p.line, p.source) for p in packages}


PUBSPEC_LOCK = """packages:
  from_git:
    dependency: "direct main"
    description:
      path: "."
      ref: main
      url: "https://example.com/x.git"
    source: git
    version: "1.0.0"
  local:
    description:
      path: "../local"
      relative: true
    source: path
    version: "0.1.0"
  private:
    description:
      name: private
      url: "https://pub.example.com"
    source: hosted
    version: "2.0.0"
  newer:
    description:
      name: newer
      sha256: "00"
      url: "https://pub.dev"
    source: hosted
    version: "3.0.0"
sdks:
  dart: ">=3.0.0 <4.0.0"
"""


def test_sources(tmp_path):
    got = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "pubspec.lock", PUBSPEC_LOCK)]
    assert got == [("from_git", "1.0.0", GIT, 2), ("local", "0.1.0", PATH, 10), ("private", "2.0.0", URL, 16),
                   ("newer", "3.0.0", REGISTRY, 22)]


BOMB = "a: &a [x, x, x, x, x, x, x, x, x]\n" + "".join(
    f"{c}: &{c} [*{p}, *{p}, *{p}, *{p}, *{p}, *{p}, *{p}, *{p}, *{p}]\n" for p, c in zip("abcdefgh", "bcdefghi"))


@pytest.mark.parametrize("text, line", [
    ("packages:\n  a:\n    source: hosted\n    version: \"1.0", 4),          # truncated
    ("packages:\n  a:\n    source: hosted\n", 2),                             # no version
    ("packages:\n  a:\n    source: hosted\n    version: [1]\n", 2),           # wrong type
    ("packages:\n  - a\n", 1),
    ("packages:\n  a: [\n", 3),
    ("", 1),
    ("packages: &p {}\nother: *p\n", 2),
    (BOMB, 2),                                                                # an alias bomb
    ("packages: " + "[" * 100000 + "]" * 100000, 1),                          # deep nesting, flow style
    ("packages:\n" + "".join(" " * i + "a:\n" for i in range(1, 400)), 201),  # and block style
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "pubspec.lock", text, line, "pubspec.lock")


@pytest.mark.parametrize("name, format", [
    ("pubspec.lock", "pubspec.lock"),
    ("a__b__1234567__pubspec.lock", "pubspec.lock"),
    ("pubspec.yaml", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
