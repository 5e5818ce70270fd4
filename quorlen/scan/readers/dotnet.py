"""NuGet packages.lock.json: the packages of every target framework and
runtime section, one per distinct (name, version); ``Project`` entries
(other projects of the same solution) are path sources.

Lines: the line of the package's first key, found in document order. A
bad entry is an error of its own; the other entries are still read.
"""

from __future__ import annotations

from typing import Any

from quorlen.scan.ecosystems import normalize_name
from quorlen.scan.model import PATH, REGISTRY, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, fail, load_json

FORMAT = "packages.lock.json"
ECOSYSTEM = "NuGet"
KNOWN_TYPES = frozenset({"Direct", "Transitive", "CentralTransitive", "Project"})


def read(path: str, text: str) -> list[Package]:
    doc = expect(load_json(path, text, FORMAT), dict, "the document", path, 1, FORMAT)
    if doc.get("version") not in (1, 2):
        fail(path, 1, FORMAT, f"unknown lockfile version {doc.get('version')!r}")
    cursor = Cursor(text)
    cursor.find_json_key("dependencies", "{")
    targets = expect(doc.get("dependencies", {}), dict, "'dependencies'", path, cursor.line_at(cursor.pos), FORMAT)
    seen: set[tuple[str, str | None]] = set()
    packages = []
    for target, deps in targets.items():
        line = cursor.find_json_key(target, "{")
        with each_entry():
            deps = expect(deps, dict, f"the target '{target}'", path, line, FORMAT)
            for name, entry in deps.items():
                line = cursor.find_json_key(name, "{")
                with each_entry():
                    package = _package(path, name, entry, line)
                    key = (package.name, package.version)
                    if key not in seen:
                        seen.add(key)
                        packages.append(package)
    return packages


def _package(path: str, name: str, entry: Any, line: int) -> Package:
    entry = expect(entry, dict, f"the entry of {name}", path, line, FORMAT)
    kind = entry.get("type")
    if not isinstance(kind, str) or kind not in KNOWN_TYPES:
        fail(path, line, FORMAT, f"unknown type {kind!r} of {name}")
    resolved = entry.get("resolved")
    if kind == "Project":
        version = None if resolved is None else expect(resolved, str, f"'resolved' of {name}", path, line, FORMAT)
    else:
        version = expect(resolved, str, f"the 'resolved' version of {name}", path, line, FORMAT)
    return Package(ECOSYSTEM, normalize_name(ECOSYSTEM, name), version, path, line,
                   source=PATH if kind == "Project" else REGISTRY)


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("packages.lock.json", "*__packages.lock.json"), read),)
