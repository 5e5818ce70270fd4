"""The JavaScript readers over the shared real lockfiles and over small
made-up files that probe one rule each."""

import json
import re

import pytest
from shared_lockfiles import assert_error, line_of, read_text, shared, shared_file, short_id

from quorlen.scan.readers import read_file, reader_for


def pairs(packages):
    return {(p.name, p.version) for p in packages}


# -- the shared files: every distinct package, counted by plain regexes over the raw text --------

@pytest.mark.parametrize("path", shared("npm"))
def test_package_locks_yield_every_installed_package(path):
    # Every entry, nested or under a node_modules path, opens with its version.
    entry = r'"(?:[^"]*node_modules/)?((?:@[^/"]+/)?[^/"]+)": \{\s*"version": "([^"]+)"'
    expected = set(re.findall(entry, path.read_text()))
    # The project's own folders (the root "" among them) open with their name.
    folder = r'\n    "((?:(?!node_modules)[^"])*)": \{\s*"name": "([^"]+)",\s*"version": "([^"]+)"'
    folders = {(name, version): key or "." for key, name, version in re.findall(folder, path.read_text())}
    packages = read_file(str(path))
    assert pairs(packages) == expected | set(folders)
    assert len(packages) == len(expected | set(folders))
    own = [p for p in packages if p.location in folders.values()]
    assert {(p.name, p.version): p.location for p in own} == folders
    assert all(line_of(path, p.line).strip() == f'"{"" if p.location == "." else p.location}": {{' for p in own)
    assert all(line_of(path, p.line).strip().endswith(f'{p.name}": {{') for p in packages if p not in own)


@pytest.mark.parametrize("path", shared("yarn"))
def test_yarn_locks_yield_every_resolved_package(path):
    text = path.read_text()
    if "__metadata:" in text:
        # Patched packages are their npm releases; workspaces are the project's own folders.
        expected = set(re.findall(r'^  resolution: "(@?[^@"]+)@npm:([^"]+)"$', text, re.M))
        expected |= {(name, None) for name in re.findall(r'^  resolution: "(@?[^@"]+)@workspace:', text, re.M)}
    else:
        expected = set(re.findall(r'^"?(@?[^@\s"]+)@[^\n]*:\n  version "([^"]+)"$', text, re.M))
    assert pairs(read_file(str(path))) == expected


@pytest.mark.parametrize("path", shared("pnpm"))
def test_pnpm_locks_yield_one_package_per_key(path):
    text = path.read_text()
    keys = re.findall(r"^  '?(/[^\s':]+)'?:$", text[text.index("\npackages:\n"):], re.M)
    packages = read_file(str(path))
    assert len(packages) == len(set(keys))
    assert all(line_of(path, p.line).strip().startswith(f"/{p.name}") for p in packages)


@pytest.mark.parametrize("folder, commit, name, version, line, source", [
    # Checked by hand against the files.
    ("npm", "60b2d64", "lodash", "4.17.15", 6318, "registry"),
    ("npm", "60b2d64", "@babel/code-frame", "7.8.3", 40, "registry"),  # nested
    ("npm", "484245c", "lru-cache", "11.0.2", 53, "registry"),
    ("yarn", "8a4d9a2", "ci-info", "2.0.0", 2211, "git"),
    ("yarn", "8bcba95", "fsevents", "2.3.2", 3999, "registry"),
    ("pnpm", "3adfc0f", "@babel/helper-compilation-targets", "7.16.3", 340, "registry"),
    ("pnpm", "a9be936", "@babel/helper-module-transforms", "7.23.3", 515, "registry"),
])
def test_hand_checked_entries(folder, commit, name, version, line, source):
    found = [(p.line, p.source, p.ecosystem) for p in read_file(str(shared_file(folder, commit)))
             if (p.name, p.version) == (name, version)]
    assert found == [(line, source, "npm")]


# -- rules of each format ---------------------------------------------------------------------------

def npm_lock(packages):
    return json.dumps({"name": "app", "lockfileVersion": 3, "packages": packages}, indent=2)


@pytest.mark.parametrize("key, entry, expected", [
    ("node_modules/a/node_modules/@s/b", {"version": "1.0.0"}, ("@s/b", "1.0.0", "registry")),
    ("node_modules/alias", {"name": "real", "version": "2.0.0"}, ("real", "2.0.0", "registry")),
    ("node_modules/g", {"version": "1.0.0", "resolved": "git+ssh://git@example.org/g.git#abc"}, ("g", "1.0.0", "git")),
    ("node_modules/f", {"version": "1.0.0", "resolved": "file:../f"}, ("f", "1.0.0", "path")),
    ("node_modules/t", {"version": "1.0.0", "resolved": "https://example.org/t.tgz"}, ("t", "1.0.0", "url")),
    ("node_modules/m", {"version": "1.0.0", "resolved": "https://mirror.example.org/m/-/m-1.0.0.tgz"},
     ("m", "1.0.0", "registry")),
])
def test_package_lock_entries(tmp_path, key, entry, expected):
    text = npm_lock({"": {"name": "app", "version": "9.9.9"}, "packages/ws": {"name": "ws", "version": "1.0.0"},
                     "node_modules/ws": {"resolved": "packages/ws", "link": True}, key: entry})
    *own, p = read_text(tmp_path, "package-lock.json", text)
    assert [(o.name, o.source, o.location) for o in own] == [("app", "path", "."), ("ws", "path", "packages/ws")]
    assert (p.name, p.version, p.source) == expected
    assert text.splitlines()[p.line - 1].strip().startswith(json.dumps(key))


@pytest.mark.parametrize("version, expected", [
    ("npm:real@3.1.0", ("real", "3.1.0", "registry")),
    ("git+https://example.org/x.git#0123abc", ("x", None, "git")),
    ("github:someone/x#0123abc", ("x", None, "git")),
    ("file:../x", ("x", None, "path")),
])
def test_package_lock_v1_versions_that_name_a_source(tmp_path, version, expected):
    text = json.dumps({"lockfileVersion": 1, "dependencies": {"x": {"version": version}}})
    [p] = read_text(tmp_path, "npm-shrinkwrap.json", text)
    assert (p.name, p.version, p.source) == expected


@pytest.mark.parametrize("document", [
    # npm 6 writes "resolved": false for a dependency bundled in its parent's tarball.
    {"lockfileVersion": 1, "dependencies": {"p": {"version": "2.0.0", "dependencies": {
        "b": {"version": "1.2.3", "resolved": False, "integrity": False, "bundled": True}}}}},
    {"lockfileVersion": 2, "packages": {"node_modules/p": {"version": "2.0.0"},
                                        "node_modules/p/node_modules/b": {"version": "1.2.3", "resolved": False}}},
])
def test_bundled_dependencies_are_registry_releases(tmp_path, document):
    packages = read_text(tmp_path, "package-lock.json", json.dumps(document, indent=2))
    assert [(p.name, p.version, p.source) for p in packages] == [("p", "2.0.0", "registry"), ("b", "1.2.3", "registry")]


YARN_BERRY = """__metadata:
  version: 6

"app@workspace:.":
  version: 0.0.0-use.local
  resolution: "app@workspace:."

"{key}":
  version: {version}
  resolution: "{resolution}"
"""


@pytest.mark.parametrize("key, version, resolution, expected", [
    ("a@npm:^1.10.0", "1.10.0", "a@npm:1.10.0", ("a", "1.10.0", "registry")),
    ("alias@npm:real@^2", "2.0.0", "real@npm:2.0.0", ("real", "2.0.0", "registry")),
    ("@s/p@patch:@s/p@npm%3A1.0.0#./fix.patch::locator=app", "1.0.0",
     "@s/p@patch:@s/p@npm%3A1.0.0#./fix.patch::version=1.0.0&hash=abc", ("@s/p", "1.0.0", "registry")),
    ("g@https://example.org/g.git#commit=abc", "1.2.0", "g@https://example.org/g.git#commit=abc", ("g", "1.2.0", "git")),
    ("l@link:../l", "0.0.0-use.local", "l@link:../l::locator=app", ("l", None, "path")),
    ("t@https://example.org/t-1.0.0.tgz", "1.0.0", "t@https://example.org/t-1.0.0.tgz", ("t", "1.0.0", "url")),
])
def test_yarn_berry_entries(tmp_path, key, version, resolution, expected):
    text = YARN_BERRY.format(key=key, version=version, resolution=resolution)
    workspace, p = read_text(tmp_path, "yarn.lock", text)
    assert (workspace.name, workspace.version, workspace.source, workspace.line) == ("app", None, "path", 4)
    assert (p.name, p.version, p.source, p.line) == (*expected, 8)


@pytest.mark.parametrize("header, resolved, expected", [
    ('"@s/a@^1.0.0", "@s/a@^1.1.0"', "https://registry.yarnpkg.com/@s/a/-/a-1.1.0.tgz", ("@s/a", "registry")),
    ('alias@npm:real@^1.0.0', "https://registry.yarnpkg.com/real/-/real-1.1.0.tgz", ("real", "registry")),
    ("x@someone/x#abc", "https://codeload.github.com/someone/x/tar.gz/abc", ("x", "git")),
    ("x@file:../x", None, ("x", "path")),
])
def test_yarn_classic_entries(tmp_path, header, resolved, expected):
    text = f"# yarn lockfile v1\n\n\n{header}:\n  version \"1.1.0\"\n"
    if resolved:
        text += f'  resolved "{resolved}"\n'
    text += '  dependencies:\n    version "9.9.9"\n'
    [p] = read_text(tmp_path, "yarn.lock", text)
    assert (p.name, p.version, p.source, p.line) == (expected[0], "1.1.0", expected[1], 4)


@pytest.mark.parametrize("key, entry, expected", [
    ("/a/1.0.0", "resolution: {integrity: sha512-x}", ("a", "1.0.0", "registry")),
    ("/@s/a/1.0.0_b@2.0.0", "resolution: {integrity: sha512-x}", ("@s/a", "1.0.0", "registry")),
    ("/@s/a@1.0.0(b@2.0.0)(c@3.0.0)", "resolution: {integrity: sha512-x}", ("@s/a", "1.0.0", "registry")),
    ("'@s/a@1.10.0'", "resolution: {integrity: sha512-x}", ("@s/a", "1.10.0", "registry")),
    ("github.com/someone/g/0123abc", "resolution: {tarball: https://codeload.github.com/someone/g/tar.gz/0123abc}\n"
     "    name: g\n    version: 2.0.0", ("g", "2.0.0", "url")),
    ("g@git+https://example.org/g.git#abc", "resolution: {type: git, repo: 'https://example.org/g.git', commit: abc}\n"
     "    version: 2.0.0", ("g", "2.0.0", "git")),
    ("file:../local", "resolution: {directory: ../local, type: directory}\n    name: local\n    version: 0.1.0",
     ("local", "0.1.0", "path")),
])
def test_pnpm_keys(tmp_path, key, entry, expected):
    text = ("lockfileVersion: '6.0'\n\nimporters:\n  .:\n    dependencies:\n      ws:\n        specifier: link:ws\n"
            f"        version: link:ws\n\npackages:\n\n  {key}:\n    {entry}\n")
    [p] = read_text(tmp_path, "pnpm-lock.yaml", text)
    assert (p.name, p.version, p.source, p.line) == (*expected, 12)


# -- malformed and hostile files ----------------------------------------------------------------

BOMB = "a: &a [x, x, x, x, x, x, x, x, x, x]\n" + "".join(
    f"{chr(98 + i)}: &{chr(98 + i)} [*{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}, "
    f"*{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}, *{chr(97 + i)}]\n"
    for i in range(9))


@pytest.mark.parametrize("name, text, line", ids=short_id, argvalues=[
    ("package-lock.json", '{"lockfileVersion": 3,\n "packages": {\n  "node_modules/a": {"version": "1"},\n', 4),
    ("package-lock.json", '{"lockfileVersion": 3,\n "packages": {\n  "node_modules/a": {"version": 1}}}', 3),
    ("package-lock.json", '{"lockfileVersion": 3,\n "packages": {\n  "node_modules/a": {}}}', 3),
    ("package-lock.json", '{"lockfileVersion": 3,\n "packages": [\n]}', 2),
    ("npm-shrinkwrap.json", '{"dependencies": {\n "a": {"version": "1"},\n "b": "2"}}', 3),
    ("npm-shrinkwrap.json", '{"dependencies": {\n "a": {"version": "1", "dependencies": {\n  "c": {}}}}}', 3),
    ("npm-shrinkwrap.json", '{"dependencies": {\n "a": {"version": "1", "resolved": 5}}}', 2),
    ("package-lock.json", '{"packages": {\n "node_modules/a": {"version": "1", "resolved": []}}}', 2),
    ("package-lock.json", "[" * 100_000, 1),
    ("yarn.lock", '# yarn lockfile v1\n\na@^1:\n  version "1.0.0"\n\nb@^2:\n  resolved "x"\n', 6),
    ("yarn.lock", "# yarn lockfile v1\n\na@^1:\n  version \"1.0.0\"\nb@^2\n", 5),
    ("yarn.lock", '  version "1.0.0"\n', 1),
    ("yarn.lock", '__metadata:\n  version: 6\n\n"a@npm:^1":\n  version: 1.0.0\n', 4),
    ("yarn.lock", '__metadata:\n  version: 6\n\n"a@npm:^1":\n  version: [1.0.0\n', 6),
    ("yarn.lock", "__metadata:\n  version: 6\n" + BOMB, 4),
    ("pnpm-lock.yaml", "lockfileVersion: 5.3\npackages:\n  /a/1.0.0: [x]\n", 3),
    ("pnpm-lock.yaml", "lockfileVersion: 5.3\npackages:\n  /a/1.0.0:\n    resolution: {integrity: x\n", 5),
    ("pnpm-lock.yaml", "lockfileVersion: 5.3\npackages:\n  - /a/1.0.0\n", 2),
    ("pnpm-lock.yaml", BOMB, 2),
    ("pnpm-lock.yaml", "a: " + "[" * 100_000 + "]" * 100_000, 1),
    ("pnpm-lock.yaml", "a: 1\n---\nb: 2\n", 2),
])
def test_malformed_lockfiles_give_one_line_errors(tmp_path, name, text, line):
    assert_error(tmp_path, "x__" + name, text, line, name)


@pytest.mark.parametrize("name, format", [
    ("package-lock.json", "package-lock.json"), ("o__r__1234567__package-lock.json", "package-lock.json"),
    ("npm-shrinkwrap.json", "npm-shrinkwrap.json"), ("yarn.lock", "yarn.lock"),
    ("pnpm-lock.yaml", "pnpm-lock.yaml"), ("x__pnpm-lock.yaml", "pnpm-lock.yaml"),
    ("package.json", None), ("yarn.lock.orig", None), ("old-package-lock.json", None),
])
def test_recognised_names(name, format):
    reader = reader_for(name)
    assert (reader.format if reader else None) == format
