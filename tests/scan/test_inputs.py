"""Which files a folder search hands to the readers, and what reading refuses."""

import os

import pytest

from quorlen.scan import readers
from quorlen.scan.model import LockfileError


def touch(path, text="x"):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def found(root):
    return [os.path.relpath(p, root) for p in readers.find_inputs(str(root))]


@pytest.mark.parametrize("rel, taken", [
    ("var/lib/dpkg/status", True),
    ("rootfs/var/lib/dpkg/status", True),
    ("lib/apk/db/installed", True),
    ("docs/status", False),          # a name too common to mean dpkg anywhere else
    ("build/installed", False),
    ("debian-12__status", True),     # a copy that keeps its origin in its name
    ("node_modules/x/package-lock.json", False),
    (".git/requirements.txt", False),
    ("app/poetry.lock", True),
])
def test_folder_search_takes_system_files_only_where_systems_keep_them(tmp_path, rel, taken):
    touch(tmp_path / rel)
    assert found(tmp_path) == ([os.path.normpath(rel)] if taken else [])


def test_links_out_of_the_folder_are_not_followed(tmp_path):
    secret = touch(tmp_path / "outside" / "credentials")
    repo = tmp_path / "repo"
    touch(repo / "real" / "poetry.lock")
    (repo / "requirements.txt").symlink_to(secret)
    (repo / "Cargo.lock").symlink_to(repo / "real" / "poetry.lock")  # stays inside: still read
    assert found(repo) == ["Cargo.lock", os.path.join("real", "poetry.lock")]


def test_a_fifo_is_refused_not_read(tmp_path):
    fifo = tmp_path / "requirements.txt"
    os.mkfifo(fifo)
    with pytest.raises(LockfileError, match="not a regular file"):
        readers.read_file(str(fifo))


# -- one bad entry or line: an error of its own, the rest of the file still read ------------------

YARN_BROKEN = '''# yarn lockfile v1

a@^1:
  version "1.0.0"
  resolved "https://registry.yarnpkg.com/a/-/a-1.0.0.tgz"

b@^8:
  version "8.0.0

c@^2:
  version "2.0.0"
  version "2.1.0"

d@^3:
  version "3.0.0"
  dependencies:
    e "^1.0.0
'''

PUBSPEC_BROKEN = '''packages:
  a:
    description: {name: a, url: "https://pub.dev"}
    source: hosted
    version: "1.0.0"
  b:
    source: hosted
    version: 2
  c:
    description: {name: c, url: "https://pub.dev"}
    source: hosted
    version: "3.0.0"
'''


@pytest.mark.parametrize("name, text, names, bad_lines", [
    ("requirements.txt", "a==1.0\nnot a requirement!\n-r missing.txt\nb==2.0\n", {"a", "b"}, [2, 3]),
    ("go.mod", "module m\nrequire (\n\tx.org/a v1.0.0\n\tx.org/b 1.0\n\tx.org/c v1.2.0\n)\nfrobnicate\n",
     {"x.org/a", "x.org/c"}, [4, 7]),
    ("Gemfile.lock", "GEM\n  remote: https://rubygems.org/\n  specs:\n    a (1.0)\n    b 2.0\n    c (3.0)\n\n"
     "PLATFORMS\n  ruby\n", {"a", "c"}, [5]),
    ("gradle.lockfile", "g:a:1.0=x\ng-b-2.0=x\ng:c:3.0=x\ng:d:4 .0=x\nempty=\n", {"g:a", "g:c"}, [2, 4]),
    ("mix.lock", '%{\n  "a": {:hex, :a, "1.0.0", "h", [:mix], [], "hexpm"},\n  "b": {:hex, :b, ~r/x/},\n'
     '  "c": {:hex, :c},\n  "d": {:hex, :d, "2.0.0", "h", [:mix], [], "hexpm"},\n}\n', {"a", "d"}, [3, 4]),
    ("pubspec.lock", PUBSPEC_BROKEN, {"a", "c"}, [6]),
    ("yarn.lock", YARN_BROKEN, {"a", "d"}, [8, 12, 17]),
    ("package-lock.json", '{"lockfileVersion": 3, "packages": {\n"node_modules/a": {"version": "1.0.0"},\n'
     '"node_modules/b": {"version": true},\n"node_modules/c": {"version": "2.0.0"}}}', {"a", "c"}, [3]),
    ("Cargo.lock", 'version = 3\n[[package]]\nname = "a"\nversion = "1.0.0"\n[[package]]\nname = "b"\nversion = 2\n'
     '[[package]]\nname = "c"\nversion = "3.0.0"\n', {"a", "c"}, [6]),
    ("poetry.lock", '[[package]]\nname = "a"\nversion = "1.0"\n[[package]]\nname = "b"\n[[package]]\nname = "c"\n'
     'version = "3.0"\n', {"a", "c"}, [5]),
    ("composer.lock", '{"packages": [\n{"name": "v/a", "version": "1.0.0"},\n{"name": "v/b"},\n'
     '{"name": "v/c", "version": "3.0.0"}]}', {"v/a", "v/c"}, [3]),
    ("pom.xml", "<project>\n<dependencies>\n<dependency><groupId>g</groupId><artifactId>a</artifactId></dependency>\n"
     "<dependency><artifactId>b</artifactId></dependency>\n"
     "<dependency><groupId>g</groupId><artifactId>c</artifactId></dependency>\n</dependencies>\n</project>\n",
     {"g:a", "g:c"}, [4]),
])
def test_a_bad_entry_is_an_error_of_its_own_and_the_rest_is_read(tmp_path, name, text, names, bad_lines):
    path = touch(tmp_path / name, text)
    errors = []
    packages = readers.read_file(str(path), errors=errors)
    assert {p.name for p in packages} == names
    assert [e.line for e in errors] == bad_lines
    assert all(str(e).startswith(f"{path}:{e.line}: {name}: ") and "\n" not in str(e) for e in errors)
    # A caller that collects nothing is stopped by the first one, as before.
    with pytest.raises(LockfileError) as first:
        readers.read_file(str(path))
    assert first.value.line == bad_lines[0]


@pytest.mark.parametrize("name, text", [
    ("yarn.lock", '# yarn lockfile v1\n\nx@file:./a:\n  version "1.0.0"\n\nx@file:./b:\n  version "1.0.0"\n'),
    ("package-lock.json", '{"lockfileVersion": 3, "packages": {"node_modules/x": {"version": "1.0.0", '
     '"resolved": "file:a"}, "node_modules/y/node_modules/x": {"version": "1.0.0", "resolved": "file:b"}}}'),
    ("requirements.txt", "-e ./a#egg=x\n-e ./b#egg=x\n"),
    ("Gemfile.lock", "PATH\n  remote: a\n  specs:\n    x (1.0)\n\nPATH\n  remote: b\n  specs:\n    x (1.0)\n"),
])
def test_local_dependencies_of_one_name_in_two_folders_stay_two(tmp_path, name, text):
    packages = readers.read_file(str(touch(tmp_path / name, text)))
    assert [(p.name, p.source) for p in packages] == [("x", "path")] * 2
    assert len({p.location for p in packages}) == 2 and None not in {p.location for p in packages}


def test_a_file_no_reader_recognises_names_the_option_that_picks_one(tmp_path):
    with pytest.raises(LockfileError, match="name one with --input-format$"):
        readers.read_file(str(touch(tmp_path / "deps.in")))
