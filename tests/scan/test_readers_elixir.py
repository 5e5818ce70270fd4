import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.model import GIT, REGISTRY, URL
from quorlen.scan.readers import read_file, reader_for


@pytest.mark.parametrize("path", shared("mix"))
def test_every_entry_of_the_real_files(path):
    text = path.read_text()
    packages = read_file(str(path))
    assert len(packages) == len(re.findall(r'(?m)^  "[^"]+": \{', text))
    assert sum(p.source == GIT for p in packages) == text.count("{:git, ")
    for p in packages:
        assert line_of(path, p.line).startswith(f'  "{p.name}": {{') and p.ecosystem == "Hex"


@pytest.mark.parametrize("commit, name, version, line, source", [
    ("cca3905", "cowboy", "2.6.3", 2, REGISTRY),
    ("cca3905", "poison", "3.1.0", 18, REGISTRY),       # a 6-element tuple without a repository
    ("cca3905", "phoenix_pubsub", None, 14, GIT),
    ("14ceecc", "phoenix_view", None, 27, GIT),
    ("14ceecc", "argon2_elixir", "2.3.0", 2, REGISTRY),  # an 8-element tuple
])
def test_hand_checked_entries(commit, name, version, line, source):
    packages = read_file(str(shared_file("mix", commit)))
    assert (name, version, line, source) in {(p.name, p.version, p.line, p.source) for p in packages}


MIX_LOCK = """%{
  # the key is the app name; the package name is the tuple's second element
  "app": {:hex, :real_name, "1.0.0", "ab", [:mix], [{:dep, "~> 1.0", [hex: :dep, repo: "hexpm", optional: false]}],
    "hexpm", "cd"},
  "private": {:hex, :private, "0.2.0", "ef", [:mix], [], "hexpm:acme", "01"},
  "quoted": {:hex, :"odd-name", "2.0.0-rc.1", "23", [:rebar3], [], "hexpm", "45"},
}
"""


def test_names_repositories_and_layout(tmp_path):
    got = [(p.name, p.version, p.source, p.line) for p in read_text(tmp_path, "mix.lock", MIX_LOCK)]
    assert got == [("real_name", "1.0.0", REGISTRY, 3), ("private", "0.2.0", URL, 5),
                   ("odd-name", "2.0.0-rc.1", REGISTRY, 6)]


@pytest.mark.parametrize("text, line", [
    ('%{\n  "a": {:hex, :a, "1.0.0", "ab", [:mix], [], "hexpm"},\n  "b": {:hex, :b, "1', 3),  # truncated
    ('%{\n  "a": {:hex, :a, 1, "ab", [:mix], [], "hexpm"}\n}', 2),                             # wrong type
    ('%{\n  "a": {:hex}\n}', 2),
    ('%{\n  "a": [:hex, :a, "1.0.0"]\n}', 2),
    ('%{\n  "a" {:hex, :a, "1.0.0"}\n}', 2),                                                    # no colon
    ('%{"a": {:hex, :a, "1.0.0"}}\nSystem.cmd("rm", [])', 2),                                   # code after it
    ("[]", 1),
    ('%{"a": ' + "{" * 5000 + "}" * 5000 + "}", 1),                                             # deep nesting
], ids=short_id)
def test_malformed(tmp_path, text, line):
    assert_error(tmp_path, "mix.lock", text, line, "mix.lock")


@pytest.mark.parametrize("name, format", [
    ("mix.lock", "mix.lock"),
    ("a__b__1234567__mix.lock", "mix.lock"),
    ("mix.exs", None),
])
def test_file_names(name, format):
    reader = reader_for(f"project/sub/{name}")
    assert (reader.format if reader else None) == format
