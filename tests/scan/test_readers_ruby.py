import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import GIT, PATH, REGISTRY, URL
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("gemfile"))
def test_every_gem_of_the_real_files(path):
    text = path.read_text()
    packages = read_file(str(path))
    assert len(packages) == len(re.findall(r"(?m)^    \S+ \(", text))
    for p in packages:
        assert line_of(path, p.line) == f"    {p.name} ({p.version})" and p.ecosystem == "RubyGems"


@pytest.mark.parametrize("commit, name, version, line, source", [
    ("a790570", "activemodel-serializers-xml", "1.0.1", 5, GIT),
    ("a790570", "devise", "4.7.0", 13, PATH),
    ("a790570", "rails", "5.2.0", 123, REGISTRY),
    ("fe3ed27", "CFPropertyList", "3.0.5", 4, REGISTRY),
])
def test_hand_checked_entries(commit, name, version, line, source):
    packages = read_file(str(shared_file("gemfile", commit)))
    assert (name, version, line, source) in {(p.name, p.version, p.line, p.source) for p in packages}


GEMFILE_LOCK = """PLUGIN SOURCE
  remote: https://plugins.example
  specs:
    a-plugin (0.1.0)

GEM
  remote: https://rubygems.org/
  specs:
    nokogiri (1.13.8-x86_64-linux)
      racc (~> 1.4)
    nokogiri (1.13.8-java)
    rails (7.0.0.pre.rc1)

PLATFORMS
  x86_64-linux

DEPENDENCIES
  nokogiri

BUNDLED WITH
   2.3.20
"""


def test_platforms_are_cut_from_versions(tmp_path):
    got = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "Gemfile.lock", GEMFILE_LOCK)]
    assert got == [("a-plugin", "0.1.0", URL, 4), ("nokogiri", "1.13.8", REGISTRY, 9),
                   ("nokogiri", "1.13.8", REGISTRY, 11), ("rails", "7.0.0.pre.rc1", REGISTRY, 12)]


@pytest.mark.parametrize("text, line", [
    ("GEM\n  remote: https://rubygems.org/\n  specs:\n    rack (2.0\n", 4),  # truncated
    ("GEM\n  specs:\n    rack 2.0.1\n", 3),
    ("<<<<<<< HEAD\nGEM\n", 1),                                             # merge conflict marker
    ("  specs:\n", 1),
    ("", 1),
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "Gemfile.lock", text, line, "Gemfile.lock")


@pytest.mark.parametrize("name, format", [
    ("Gemfile.lock", "Gemfile.lock"),
    ("gems.locked", "Gemfile.lock"),
    ("a__b__1234567__Gemfile.lock", "Gemfile.lock"),
    ("Gemfile", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
