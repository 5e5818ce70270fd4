"""Cargo.lock: every ``[[package]]`` entry (the old ``[root]`` table too).

Lines: the line of the entry's ``name = "..."``, found in document order.
A bad entry is an error of its own; the other entries are still read.
"""

from __future__ import annotations

import re
from typing import Any

from quorlen.scan.model import GIT, PATH, REGISTRY, URL, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, fail, load_toml

FORMAT = "Cargo.lock"
ECOSYSTEM = "crates.io"

# The crates.io index as Cargo writes it: the git index, then the sparse one.
CRATES_IO_SOURCES = frozenset({
    "registry+https://github.com/rust-lang/crates.io-index",
    "sparse+https://index.crates.io/",
})


def source_kind(source: str | None) -> str:
    """Where a crate comes from. A crate without a source is a member of the
    workspace itself; another registry than crates.io is not in OSV's data."""
    if source is None or source.startswith("path+"):
        return PATH
    if source in CRATES_IO_SOURCES:
        return REGISTRY
    if source.startswith("git+"):
        return GIT
    return URL


_PACKAGE = re.compile(r"(?m)^[ \t]*\[\[[ \t]*package[ \t]*\]\]")
_ROOT = re.compile(r"(?m)^[ \t]*\[[ \t]*root[ \t]*\]")


def _entries(path: str, doc: dict[str, Any]) -> list[tuple[re.Pattern[str], Any]]:
    """Each entry with the pattern of the header that starts it."""
    entries = expect(doc.get("package", []), list, "'package'", path, 1, FORMAT)
    root = doc.get("root")
    return [*([] if root is None else [(_ROOT, root)]), *((_PACKAGE, e) for e in entries)]


def read(path: str, text: str) -> list[Package]:
    doc = load_toml(path, text, FORMAT)
    cursor = Cursor(text)
    packages: list[Package] = []
    for header, entry in _entries(path, doc):
        with each_entry():
            packages.append(package(path, entry, cursor, cursor.find(header)))
    return packages


def package(path: str, entry: Any, cursor: Cursor, line: int) -> Package:
    entry = expect(entry, dict, "a package entry", path, line, FORMAT)
    name = expect(entry.get("name"), str, "a package's 'name'", path, line, FORMAT)
    line = cursor.find(re.compile(r"(?m)^[ \t]*name[ \t]*=[ \t]*[\"']" + re.escape(name) + r"[\"']"))
    version = expect(entry.get("version"), str, f"the 'version' of {name}", path, line, FORMAT)
    source = entry.get("source")
    if source is not None:
        source = expect(source, str, f"the 'source' of {name}", path, line, FORMAT)
    if not name or not version:
        fail(path, line, FORMAT, "a package entry with an empty name or version")
    kind = source_kind(source)
    return Package(ECOSYSTEM, name, version, path, line, source=kind, location=None if kind == REGISTRY else source)


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("Cargo.lock", "*__Cargo.lock"), read),)
