"""Rust programs built with the auditable build wrapper: the dependency
tree it stores, as zlib-compressed JSON, in a section of its own. Crates
from crates.io are checked; local and git crates are reported as such, and
the program's own (root) crate is left out. Lines: none (0)."""

from __future__ import annotations

import json
import struct
import zlib
from typing import Any

from quorlen.scan.installed import binaries
from quorlen.scan.model import GIT, PATH, REGISTRY, Package
from quorlen.scan.readers.parsing import expect, fail

FORMAT = "rust-auditable"
ECOSYSTEM = "crates.io"
SECTIONS = (".dep-v0", "__dep_v0")
# The JSON of a program with thousands of crates is a few hundred kilobytes.
MAX_JSON = 8 << 20
_SOURCES = {"crates.io": REGISTRY, "local": PATH, "git": GIT}


def probe(data: bytes) -> bool:
    return any(name.encode() in data for name in SECTIONS)


def read(path: str, data: bytes) -> list[Package]:
    try:
        binary = binaries.parse(data)
        compressed = binary.section(*SECTIONS) if binary is not None else None
    except (struct.error, ValueError, IndexError) as e:
        fail(path, 0, FORMAT, f"unreadable executable ({e})")
    if compressed is None:
        return []
    try:
        inflater = zlib.decompressobj()
        text = inflater.decompress(compressed, MAX_JSON + 1)
        doc: Any = json.loads(text)
    except (zlib.error, ValueError) as e:
        fail(path, 0, FORMAT, f"unreadable dependency list ({e})")
    if len(text) > MAX_JSON:
        fail(path, 0, FORMAT, f"a dependency list larger than {MAX_JSON} bytes")
    doc = expect(doc, dict, "the dependency list", path, 0, FORMAT)
    packages = []
    for crate in expect(doc.get("packages", []), list, "'packages'", path, 0, FORMAT):
        crate = expect(crate, dict, "a package", path, 0, FORMAT)
        name = expect(crate.get("name"), str, "a package's name", path, 0, FORMAT)
        version = expect(crate.get("version"), str, f"the version of {name}", path, 0, FORMAT)
        if crate.get("root"):
            continue
        source = _SOURCES.get(str(crate.get("source", "crates.io")).split("+")[0], REGISTRY)
        packages.append(Package(ECOSYSTEM, name, version, path, 0, source=source))
    return packages
