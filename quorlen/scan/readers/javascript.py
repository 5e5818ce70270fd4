"""Readers of JavaScript lockfiles: package-lock.json and
npm-shrinkwrap.json (lockfileVersion 1, 2 and 3), yarn.lock (classic and
berry) and pnpm-lock.yaml (lockfileVersion 5 to 9). All of them name npm
packages.

The project's own packages (the root entry, workspace folders) are
reported as path sources, as Cargo.lock's workspace members are; links to
them are not packages of their own. Everything installed from elsewhere
than the registry is reported with its source and where it came from. One
bad entry is an error of its own; the file's other entries are still read.

Lines: package-lock.json reports the line of the package's key, yarn.lock
the line of the entry's header, pnpm-lock.yaml the line of the package's
key under ``packages``.
"""

from __future__ import annotations

import dataclasses
import json
import re
import urllib.parse
from typing import Any

from quorlen.scan.model import GIT, PATH, REGISTRY, URL, LockfileError, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, fail, load_json
from quorlen.scan.readers.structured import Collector, YamlDocument, load_yaml_lines

ECOSYSTEM = "npm"

# Specifier and URL prefixes that say where a package comes from.
_GIT_PREFIXES = ("git+", "git:", "git@", "github:", "gitlab:", "bitbucket:", "gist:")
_PATH_PREFIXES = ("file:", "link:", "portal:", "workspace:")
_GIT_HOSTS = ("https://codeload.github.com/", "http://codeload.github.com/")


def _source_of_location(location: str | None) -> str:
    """Where a package was fetched from, by its URL or specifier: registry
    tarballs have the ``<registry>/<name>/-/<file>`` layout, anything else
    fetched over HTTP is a plain URL."""
    if not location:
        return REGISTRY
    lowered = location.lower()
    if lowered.startswith(_GIT_PREFIXES) or lowered.startswith(_GIT_HOSTS) or "#commit=" in lowered:
        return GIT
    if lowered.startswith(_PATH_PREFIXES):
        return PATH
    if lowered.startswith(("https://", "http://")):
        return REGISTRY if "/-/" in location else URL
    return REGISTRY


def _split_name(entry: str) -> tuple[str, str]:
    """``name@rest`` split at the ``@`` that ends the (possibly scoped) name;
    rest is "" when there is none."""
    at = entry.find("@", 1)
    return (entry, "") if at < 0 else (entry[:at], entry[at + 1:])


# ---------------------------------------------------------------------------
# package-lock.json and npm-shrinkwrap.json

def _key_line(cursor: Cursor, key: str, entry: Any) -> int:
    """The line of an entry's key. npm writes ``"key": {`` and a plain
    search finds that quickly; other spacing falls back to a pattern."""
    opening = "{" if isinstance(entry, dict) else ""
    literal = json.dumps(key, ensure_ascii=False) + ": " + opening
    at = cursor.text.find(literal, cursor.pos)
    if at < 0:
        return cursor.find_json_key(key, opening)
    cursor.pos = at + len(literal)
    return cursor.line_at(at)


def _resolved(entry: dict[str, Any], key: str, path: str, line: int, format: str) -> str | None:
    resolved = entry.get("resolved")
    if resolved is None or resolved is False:
        # npm 6 writes false for a dependency bundled in its parent's tarball.
        return None
    return expect(resolved, str, f"the 'resolved' of {key!r}", path, line, format)


def _located(source: str, location: str | None) -> str | None:
    """Where a package that is not from the registry came from; a registry
    package's tarball URL says nothing more than its version."""
    return None if source == REGISTRY else location


def _npm_package(out: Collector, path: str, format: str, key: str, entry: Any, line: int) -> None:
    expect(entry, dict, f"package {key!r}", path, line, format)
    if entry.get("link"):
        return  # a link to a workspace folder, which has an entry of its own
    if "node_modules/" not in key:
        # The root (key "") or a workspace folder: the project's own code.
        name = entry.get("name")
        if name is not None:
            expect(name, str, f"the 'name' of {key!r}", path, line, format)
            version = entry.get("version")
            out.add(name, version if isinstance(version, str) else None, line, source=PATH, location=key or ".")
        return
    name = entry.get("name") or key.rsplit("node_modules/", 1)[1]
    expect(name, str, f"the 'name' of {key!r}", path, line, format)
    resolved = _resolved(entry, key, path, line, format)
    source = _source_of_location(resolved)
    version = entry.get("version")
    if version is None and source == REGISTRY:
        fail(path, line, format, f"package {key!r} has no 'version'")
    if version is not None:
        expect(version, str, f"the 'version' of {key!r}", path, line, format)
    out.add(name, version, line, source=source, location=_located(source, resolved))


def _npm_packages(out: Collector, path: str, format: str, packages: dict[str, Any], cursor: Cursor) -> None:
    for key, entry in packages.items():
        line = _key_line(cursor, key, entry)
        with each_entry():
            _npm_package(out, path, format, key, entry, line)


def _npm_dependency(out: Collector, path: str, format: str, name: str, entry: Any, line: int) -> None:
    expect(entry, dict, f"package {name!r}", path, line, format)
    version = expect(entry.get("version"), str, f"the 'version' of {name!r}", path, line, format)
    if version.startswith("npm:"):
        # An alias: installed under one name, published under another.
        published, version = _split_name(version[4:])
        out.add(published, version, line)
    elif _source_of_location(version) != REGISTRY:
        # A git or local dependency: its "version" is where it came from.
        out.add(name, None, line, source=_source_of_location(version), location=version)
    else:
        resolved = _resolved(entry, name, path, line, format)
        source = _source_of_location(resolved)
        out.add(name, version, line, source=source, location=_located(source, resolved))


def _npm_dependencies(out: Collector, path: str, format: str, dependencies: Any, cursor: Cursor) -> None:
    """The nested ``dependencies`` of lockfileVersion 1, in document order."""
    expect(dependencies, dict, "'dependencies'", path, cursor.line_at(cursor.pos), format)
    for name, entry in dependencies.items():
        line = _key_line(cursor, name, entry)
        with each_entry():
            _npm_dependency(out, path, format, name, entry, line)
        if isinstance(entry, dict) and "dependencies" in entry:
            with each_entry():
                _npm_dependencies(out, path, format, entry["dependencies"], cursor)


def _read_npm(path: str, text: str, format: str) -> list[Package]:
    data = expect(load_json(path, text, format), dict, "the document", path, 1, format)
    out = Collector(path, ECOSYSTEM)
    cursor = Cursor(text)
    # Version 2 has both sections; "packages" is the complete one.
    if "packages" in data:
        packages = data["packages"]
        line = cursor.find_json_key("packages")
        _npm_packages(out, path, format, expect(packages, dict, "'packages'", path, line, format), cursor)
    elif "dependencies" in data:
        cursor.find_json_key("dependencies")
        _npm_dependencies(out, path, format, data["dependencies"], cursor)
    return out.packages


def read_package_lock(path: str, text: str) -> list[Package]:
    return _read_npm(path, text, "package-lock.json")


def read_shrinkwrap(path: str, text: str) -> list[Package]:
    return _read_npm(path, text, "npm-shrinkwrap.json")


# ---------------------------------------------------------------------------
# yarn.lock

YARN = "yarn.lock"

_BERRY = re.compile(r"^__metadata:", re.MULTILINE)
# A classic yarn.lock word: a quoted string (with escapes) or a bare token.
_YARN_WORD = r'"(?:[^"\\]|\\.)*"|[^\s"]+'
_YARN_FIELD = re.compile(rf"\s+(?P<key>{_YARN_WORD}?)(?P<colon>:?)(?:\s+(?P<value>{_YARN_WORD}))?\s*")
_YARN_SPECIFIER = re.compile(rf"\s*({_YARN_WORD})\s*")


def _unquote(text: str) -> str:
    if len(text) >= 2 and text[0] == text[-1] == '"':
        return re.sub(r"\\(.)", r"\1", text[1:-1])
    return text


@dataclasses.dataclass
class _ClassicEntry:
    line: int
    specs: list[str]
    fields: dict[str, str] = dataclasses.field(default_factory=dict)
    broken: bool = False  # a line of it was an error: its fields cannot be trusted


def _classic_header(path: str, number: int, stripped: str) -> _ClassicEntry:
    if not stripped.endswith(":"):
        fail(path, number, YARN, f"expected an entry header ending in ':', found {stripped[:60]!r}")
    specs = []
    for part in stripped[:-1].split(","):
        found = _YARN_SPECIFIER.fullmatch(part)
        if found is None:
            fail(path, number, YARN, f"not a package specifier: {part.strip()[:60]!r}")
        specs.append(_unquote(found.group(1)))
    return _ClassicEntry(number, [s for s in specs if s])


def _classic_field(path: str, number: int, raw: str, entry: _ClassicEntry) -> None:
    """One line of an entry's own fields (two spaces in); the deeper lines
    of nested blocks such as dependencies are only checked for their form."""
    found = _YARN_FIELD.fullmatch(raw)
    if found is None or not found["key"]:
        fail(path, number, YARN, f"expected 'key value' or 'key:', found {raw.strip()[:60]!r}")
    if found["value"] is None:
        if not found["colon"]:
            fail(path, number, YARN, f"{raw.strip()[:60]!r} has no value")
        return  # a nested block opens
    if raw.startswith("   "):
        return
    key, value = _unquote(found["key"]), _unquote(found["value"])
    if key in entry.fields:
        fail(path, number, YARN, f"a second {key!r} line in entry {entry.specs[0] if entry.specs else ''!r}")
    entry.fields[key] = value


def _classic_entries(path: str, text: str) -> list[_ClassicEntry]:
    """The entries of a classic yarn.lock. A bad line is an error of its
    own and spoils only the entry it is in."""
    entries: list[_ClassicEntry] = []
    current: _ClassicEntry | None = None
    for number, raw in enumerate(text.splitlines(), 1):
        stripped = raw.strip()
        if not stripped or stripped.startswith("#"):
            continue
        with each_entry():
            if not raw[0].isspace():
                current = None  # until the header reads, its lines belong to no entry
                current = _classic_header(path, number, stripped)
                entries.append(current)
            elif current is None:
                if not entries:
                    fail(path, number, YARN, "an indented line before the first entry")
            else:
                try:
                    _classic_field(path, number, raw, current)
                except LockfileError:
                    # A bad line of a nested block (dependencies) leaves the
                    # entry's own fields as they were.
                    current.broken = current.broken or not raw.startswith("   ")
                    raise
    return entries


def _classic_package(out: Collector, path: str, entry: _ClassicEntry) -> None:
    if not entry.specs:
        fail(path, entry.line, YARN, "an entry without a package specifier")
    name, wanted = _split_name(entry.specs[0])
    if wanted.startswith("npm:"):
        name = _split_name(wanted[4:])[0]
    version = entry.fields.get("version")
    if version is None:
        fail(path, entry.line, YARN, f"entry {entry.specs[0]!r} has no version")
    resolved = entry.fields.get("resolved")
    location = resolved or wanted
    source = _source_of_location(location)
    out.add(name, version, entry.line, source=source, location=_located(source, location))


def _read_yarn_classic(path: str, text: str) -> list[Package]:
    out = Collector(path, ECOSYSTEM)
    for entry in _classic_entries(path, text):
        if not entry.broken:
            with each_entry():
                _classic_package(out, path, entry)
    return out.packages


def _berry_source(resolution: str) -> tuple[str, str | None]:
    """(source, the published package's name or None to keep the entry's
    name) of a berry resolution's protocol part."""
    protocol = resolution.split(":", 1)[0] + ":" if ":" in resolution else ""
    if protocol == "npm:":
        return REGISTRY, None
    if protocol == "patch:":
        # A registry package with a local patch applied: it still carries
        # the published package's advisories.
        inner = urllib.parse.unquote(resolution[len("patch:"):].split("#", 1)[0])
        name, rest = _split_name(inner)
        return _berry_source(rest)[0], name
    return _source_of_location(resolution), None


def _berry_entry(out: Collector, path: str, key: str, entry: Any, line: int) -> None:
    expect(entry, dict, f"entry {key!r}", path, line, YARN)
    resolution = expect(entry.get("resolution"), str, f"the 'resolution' of {key!r}", path, line, YARN)
    name, protocol_part = _split_name(resolution)
    # A workspace (one of the project's own packages) is a folder of it.
    source, published = (PATH, None) if protocol_part.startswith("workspace:") else _berry_source(protocol_part)
    version = entry.get("version")
    if version is not None:
        expect(version, str, f"the 'version' of {key!r}", path, line, YARN)
    if version is None and source == REGISTRY:
        fail(path, line, YARN, f"entry {key!r} has no version")
    if version == "0.0.0-use.local":
        version = None  # a local folder's placeholder, not a release
    out.add(published or name, version, line, source=source, location=_located(source, protocol_part))


def _read_yarn_berry(path: str, text: str) -> list[Package]:
    document = load_yaml_lines(path, text, YARN)
    data = expect(document.value, dict, "the document", path, 1, YARN)
    out = Collector(path, ECOSYSTEM)
    for key, entry in data.items():
        if key != "__metadata":
            with each_entry():
                _berry_entry(out, path, key, entry, document.line(data, key))
    return out.packages


def read_yarn(path: str, text: str) -> list[Package]:
    return _read_yarn_berry(path, text) if _BERRY.search(text) else _read_yarn_classic(path, text)


# ---------------------------------------------------------------------------
# pnpm-lock.yaml

PNPM = "pnpm-lock.yaml"

# Registry package keys: "/name/1.2.3_peer" (5.x), "/name@1.2.3(peer)" (6.x)
# and "name@1.2.3(peer)" (9.x); the name may be scoped.
_PNPM_AT_KEY = re.compile(r"^/?((?:@[^/@]+/)?[^/@]+)@(\d[^/()@]*)(?:\(.*)?$")
_PNPM_SLASH_KEY = re.compile(r"^/((?:@[^/@]+/)?[^/@]+)/(\d[^/_()]*)(?:[_(].*)?$")


def _pnpm_source(resolution: Any) -> str:
    if not isinstance(resolution, dict):
        return URL
    if resolution.get("type") == "git" or "repo" in resolution:
        return GIT
    if "directory" in resolution:
        return PATH
    tarball = resolution.get("tarball")
    return _source_of_location(tarball) if isinstance(tarball, str) and tarball.startswith("file:") else URL


def read_pnpm(path: str, text: str) -> list[Package]:
    document: YamlDocument = load_yaml_lines(path, text, PNPM)
    data = expect(document.value, dict, "the document", path, 1, PNPM)
    out = Collector(path, ECOSYSTEM)
    packages = data.get("packages") or {}
    expect(packages, dict, "'packages'", path, document.line(data, "packages"), PNPM)
    # "importers" lists the workspace's own projects; everything they
    # install is listed under "packages".
    for key, entry in packages.items():
        with each_entry():
            _pnpm_package(out, path, key, entry, document.line(packages, key))
    return out.packages


def _pnpm_package(out: Collector, path: str, key: str, entry: Any, line: int) -> None:
    expect(entry, dict, f"package {key!r}", path, line, PNPM)
    found = _PNPM_AT_KEY.match(key) or _PNPM_SLASH_KEY.match(key)
    if found:
        out.add(found.group(1), found.group(2), line)
        return
    name = entry.get("name") or _split_name(key.lstrip("/"))[0]
    expect(name, str, f"the 'name' of {key!r}", path, line, PNPM)
    version = entry.get("version")
    if version is not None:
        expect(version, str, f"the 'version' of {key!r}", path, line, PNPM)
    source = _pnpm_source(entry.get("resolution"))
    # The key names the folder, repository or tarball the package came from.
    out.add(name, version, line, source=source, location=_located(source, key))


READERS: tuple[Reader, ...] = tuple(
    Reader(format, (format, "*__" + format), read) for format, read in (
        ("package-lock.json", read_package_lock),
        ("npm-shrinkwrap.json", read_shrinkwrap),
        (YARN, read_yarn),
        (PNPM, read_pnpm),
    )
)
