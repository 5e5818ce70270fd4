"""Installed npm packages: ``node_modules/NAME/package.json`` and
``node_modules/@SCOPE/NAME/package.json``, at any depth of nesting. The
project's own package.json is outside node_modules and never read; files
deeper inside a package (its tests' fixtures) are not packages. Lines: the
``"name"`` key."""

from __future__ import annotations

import re

from quorlen.scan.model import Package
from quorlen.scan.readers.parsing import Cursor, load_json

FORMAT = "node-modules"
ECOSYSTEM = "npm"
_PATH = re.compile(r"(?:.*/)?node_modules/(?:@[^/]+/)?[^/@.][^/]*/package\.json")


def wants(path: str) -> bool:
    return _PATH.fullmatch(path) is not None


def read(path: str, data: bytes) -> list[Package]:
    text = data.decode("utf-8-sig", "replace")
    doc = load_json(path, text, FORMAT)
    if not isinstance(doc, dict):
        return []
    name, version = doc.get("name"), doc.get("version")
    if not isinstance(name, str) or not isinstance(version, str) or not name or not version:
        # Not a published package (a workspace link's stub, a bundled fixture).
        return []
    return [Package(ECOSYSTEM, name, version, path, Cursor(text).find_json_key("name"))]
