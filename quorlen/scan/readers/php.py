"""composer.lock: the entries of ``packages`` and ``packages-dev``.

Lines: the line of the entry's ``"name"``, found in document order. A
bad entry is an error of its own; the other entries are still read.
"""

from __future__ import annotations

import json
import re
from typing import Any

from quorlen.scan.ecosystems import normalize_name
from quorlen.scan.model import GIT, PATH, REGISTRY, Package
from quorlen.scan.readers import Reader
from quorlen.scan.readers.parsing import Cursor, each_entry, expect, load_json

FORMAT = "composer.lock"
ECOSYSTEM = "Packagist"
SECTIONS = ("packages", "packages-dev")

_TAG_V = re.compile(r"[vV](?=\d)")


def is_branch(version: str) -> bool:
    """A branch checkout (``dev-master``, ``2.x-dev``), which no advisory range can place."""
    return version.startswith("dev-") or version.endswith("-dev")


def packagist_version(version: str) -> str:
    """A tag as Packagist advisories write it: ``v1.2.3`` -> ``1.2.3``."""
    return _TAG_V.sub("", version, count=1) if _TAG_V.match(version) else version


def source_kind(entry: dict[str, Any], version: str) -> str:
    dist = entry.get("dist")
    if isinstance(dist, dict) and dist.get("type") == "path":
        return PATH
    return GIT if is_branch(version) else REGISTRY


def read(path: str, text: str) -> list[Package]:
    doc = expect(load_json(path, text, FORMAT), dict, "the document", path, 1, FORMAT)
    cursor = Cursor(text)
    packages: list[Package] = []
    for section in SECTIONS:
        entries = doc.get(section)
        if entries is None:
            continue
        cursor.find_json_key(section)
        with each_entry():
            entries = expect(entries, list, f"'{section}'", path, cursor.line_at(cursor.pos), FORMAT)
            for entry in entries:
                with each_entry():
                    packages.append(package(path, section, entry, cursor))
    return packages


def package(path: str, section: str, entry: Any, cursor: Cursor) -> Package:
    here = cursor.line_at(cursor.pos)
    entry = expect(entry, dict, f"an entry of '{section}'", path, here, FORMAT)
    name = expect(entry.get("name"), str, f"the 'name' of an entry of '{section}'", path, here, FORMAT)
    line = cursor.find(_name_pattern(name))
    version = expect(entry.get("version"), str, f"the 'version' of {name}", path, line, FORMAT)
    kind = source_kind(entry, version)
    return Package(ECOSYSTEM, normalize_name(ECOSYSTEM, name), packagist_version(version), path, line,
                   source=kind, location=_location(entry, kind))


def _location(entry: dict[str, Any], kind: str) -> str | None:
    """The folder (a path dist's URL) or repository (the source's URL) of a
    package that is not a registry release."""
    if kind == REGISTRY:
        return None
    table = entry.get("dist" if kind == PATH else "source")
    url = table.get("url") if isinstance(table, dict) else None
    return url if isinstance(url, str) else None


def _name_pattern(name: str) -> re.Pattern[str]:
    # Older Composer versions escaped "/" ("symfony\/console").
    quoted = re.escape(json.dumps(name)).replace("/", r"\\?/")
    return re.compile(r'"name"\s*:\s*' + quoted)


READERS: tuple[Reader, ...] = (Reader(FORMAT, ("composer.lock", "*__composer.lock"), read),)
