"""conan.lock: the references of a lockfile of version 0.5
(``requires``, ``build_requires``, ``python_requires``) and of the older
graph lockfiles (version 0.4, ``graph_lock.nodes``). A reference is
``name/version[@user[/channel]][#revision[%timestamp]]``; one package per
distinct (name, version). A reference with a user or channel is not a
ConanCenter recipe, so it is reported as not checkable.

Lines: the line of the reference's first occurrence.
"""

from __future__ import annotations

import re
from typing import Any

from quorlen.scan.model import REGISTRY, URL, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, fail, load_json

FORMAT = "conan.lock"
ECOSYSTEM = "ConanCenter"
SECTIONS = ("requires", "build_requires", "python_requires")

_REFERENCE = re.compile(
    r"(?P<name>[^/@#%\s]+)/(?P<version>[^/@#%\s]+)(?:@(?P<user>[^/#%\s]*)(?:/(?P<channel>[^#%\s]*))?)?"
    r"(?:#[^%\s]*(?:%\S*)?)?"
)


def reference(path: str, line: int, ref: str) -> tuple[str, str, str]:
    """(name, version, source) of a recipe reference."""
    m = _REFERENCE.fullmatch(ref)
    if m is None:
        fail(path, line, FORMAT, f"invalid reference '{ref[:80]}'")
    source = URL if m["user"] or m["channel"] else REGISTRY
    return m["name"], m["version"], source


def references(path: str, doc: dict[str, Any], cursor: Cursor) -> list[tuple[str, int]]:
    """(reference, line) of each reference, in document order."""
    found: list[tuple[str, int]] = []
    version = doc.get("version")
    if version == "0.4":
        graph = expect(doc.get("graph_lock"), dict, "'graph_lock'", path, 1, FORMAT)
        nodes = expect(graph.get("nodes"), dict, "'graph_lock.nodes'", path, 1, FORMAT)
        for node_id, node in nodes.items():
            line = cursor.find_json_key(node_id, "{")
            with each_entry():
                node = expect(node, dict, f"node {node_id}", path, line, FORMAT)
                ref = node.get("ref")
                if ref is not None:  # None: the consumer's own conanfile
                    ref = expect(ref, str, f"the 'ref' of node {node_id}", path, line, FORMAT)
                    found.append((ref, cursor.find_json_string(ref)))
        return found
    if not isinstance(version, str) or not version.startswith("0."):
        fail(path, 1, FORMAT, f"unknown lockfile version {version!r}")
    for section in SECTIONS:
        if doc.get(section) is None:
            continue
        line = cursor.find_json_key(section)
        with each_entry():
            for ref in expect(doc[section], list, f"'{section}'", path, line, FORMAT):
                with each_entry():
                    ref = expect(ref, str, f"an entry of '{section}'", path, cursor.line_at(cursor.pos), FORMAT)
                    found.append((ref, cursor.find_json_string(ref)))
    return found


def read(path: str, text: str) -> list[Package]:
    doc = expect(load_json(path, text, FORMAT), dict, "the document", path, 1, FORMAT)
    seen: set[tuple[str, str]] = set()
    packages = []
    for ref, line in references(path, doc, Cursor(text)):
        with each_entry():
            name, version, source = reference(path, line, ref)
            if (name, version) not in seen:
                seen.add((name, version))
                packages.append(Package(ECOSYSTEM, name, version, path, line, source=source))
    return packages


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("conan.lock", "*__conan.lock"), read),)
