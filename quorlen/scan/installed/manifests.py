"""The records package managers keep of what they installed, as JSON or
Ruby text: RubyGems ``specifications/*.gemspec`` (read as text, never
evaluated), Composer's ``vendor/composer/installed.json`` and .NET's
``*.deps.json``."""

from __future__ import annotations

import re
from typing import Any

from quorlen.scan.ecosystems import normalize_name
from quorlen.scan.model import Package
from quorlen.scan.readers import php
from quorlen.scan.readers.parsing import Cursor, expect, fail, load_json

GEMSPEC = "gemspec"
COMPOSER = "composer-installed"
DEPS_JSON = "dotnet-deps"

# "s.name = "rack".freeze", "spec.version = '2.2.3'"
_GEM_FIELD = re.compile(r"""^\s*\w+\.(name|version)\s*=\s*(?:Gem::Version\.new\()?\s*["']([^"']+)["']""", re.M)


def wants_gemspec(path: str) -> bool:
    parts = path.split("/")
    return len(parts) >= 2 and parts[-2] == "specifications" and parts[-1].endswith(".gemspec")


def read_gemspec(path: str, data: bytes) -> list[Package]:
    text = data.decode("utf-8", "replace")
    found: dict[str, tuple[str, int]] = {}
    for m in _GEM_FIELD.finditer(text):
        found.setdefault(m.group(1), (m.group(2), text.count("\n", 0, m.start()) + 1))
    if "name" not in found or "version" not in found:
        fail(path, 1, GEMSPEC, "no name and version assigned in the specification")
    name, line = found["name"]
    return [Package("RubyGems", name, found["version"][0], path, line)]


def wants_composer(path: str) -> bool:
    return path == "vendor/composer/installed.json" or path.endswith("/vendor/composer/installed.json")


def read_composer(path: str, data: bytes) -> list[Package]:
    text = data.decode("utf-8-sig", "replace")
    doc = load_json(path, text, COMPOSER)
    # Composer 2 wraps the list in {"packages": [...]}; Composer 1 wrote the list alone.
    entries = doc.get("packages") if isinstance(doc, dict) else doc
    entries = expect(entries, list, "the package list", path, 1, COMPOSER)
    cursor = Cursor(text)
    packages = []
    for entry in entries:
        entry = expect(entry, dict, "a package", path, cursor.line_at(cursor.pos), COMPOSER)
        name = expect(entry.get("name"), str, "a package's name", path, cursor.line_at(cursor.pos), COMPOSER)
        line = cursor.find_json_string(name)
        version = expect(entry.get("version"), str, f"the version of {name}", path, line, COMPOSER)
        packages.append(Package("Packagist", normalize_name("Packagist", name), php.packagist_version(version),
                                path, line, source=php.source_kind(entry, version)))
    return packages


def wants_deps_json(path: str) -> bool:
    return path.endswith(".deps.json")


def read_deps_json(path: str, data: bytes) -> list[Package]:
    text = data.decode("utf-8-sig", "replace")
    doc: Any = expect(load_json(path, text, DEPS_JSON), dict, "the document", path, 1, DEPS_JSON)
    libraries = expect(doc.get("libraries", {}), dict, "'libraries'", path, 1, DEPS_JSON)
    cursor = Cursor(text)
    packages = []
    for key, library in libraries.items():
        line = cursor.find_json_key(key)
        name, sep, version = key.rpartition("/")
        if not sep or not name or not isinstance(library, dict):
            fail(path, line, DEPS_JSON, f"a library entry '{key[:60]}' that is not 'name/version'")
        if library.get("type") == "package":  # "project" and "reference": the program's own parts
            packages.append(Package("NuGet", name, version, path, line))
    return packages
