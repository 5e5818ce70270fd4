"""pubspec.lock: the entries of ``packages``. Hosted packages from pub.dev
are checkable; git, path and SDK packages (``flutter``) and packages of
another package server are reported as not checkable.

Lines: the line of the package's key under ``packages:``. A bad entry is
an error of its own; the other entries are still read.
"""

from __future__ import annotations

import re
from typing import Any

from quorlen.scan.model import GIT, PATH, REGISTRY, URL, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, fail, load_yaml

FORMAT = "pubspec.lock"
ECOSYSTEM = "Pub"

# The public package server under its past and present names.
PUB_DEV = frozenset({"https://pub.dartlang.org", "https://pub.dev"})

SOURCES = {"git": GIT, "path": PATH, "sdk": PATH}


def source_kind(source: str, description: Any) -> str:
    if source in SOURCES:
        return SOURCES[source]
    if source != "hosted":
        return URL
    url = description.get("url") if isinstance(description, dict) else None
    return REGISTRY if url is None or str(url).rstrip("/") in PUB_DEV else URL


def read(path: str, text: str) -> list[Package]:
    doc = load_yaml(path, text, FORMAT)
    if doc is None:
        fail(path, 1, FORMAT, "empty document")
    doc = expect(doc, dict, "the document", path, 1, FORMAT)
    cursor = Cursor(text)
    cursor.find(re.compile(r"(?m)^packages[ \t]*:"))
    entries = expect(doc.get("packages") or {}, dict, "'packages'", path, cursor.line_at(cursor.pos), FORMAT)
    packages: list[Package] = []
    for key, entry in entries.items():
        key = str(key)
        line = cursor.find(re.compile(r"(?m)^[ \t]+[\"']?" + re.escape(key) + r"[\"']?[ \t]*:"))
        with each_entry():
            packages.append(package(path, key, entry, line))
    return packages


def location(source: str, description: Any) -> str | None:
    """The folder, repository or SDK a package that is not hosted on
    pub.dev comes from."""
    if isinstance(description, str):
        return description  # an SDK's name
    if not isinstance(description, dict):
        return None
    where = description.get("path" if source == "path" else "url")
    return str(where) if where is not None else None


def package(path: str, key: str, entry: Any, line: int) -> Package:
    entry = expect(entry, dict, f"the entry of {key}", path, line, FORMAT)
    version = expect(entry.get("version"), str, f"the 'version' of {key}", path, line, FORMAT)
    source = expect(entry.get("source"), str, f"the 'source' of {key}", path, line, FORMAT)
    description = entry.get("description")
    name = description.get("name", key) if isinstance(description, dict) and source == "hosted" else key
    kind = source_kind(source, description)
    return Package(ECOSYSTEM, str(name), version, path, line, source=kind,
                   location=None if kind == REGISTRY else location(source, description))


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("pubspec.lock", "*__pubspec.lock"), read),)
