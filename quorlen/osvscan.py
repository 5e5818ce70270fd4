"""Find the OSV advisories that affect one package version.

Reads OSV records (JSON files, or folders of them) and keeps the records
with an "affected" entry for the package whose ranges or version list hold
the version. The ordering of versions is the library's; this module only
maps OSV's names onto it and hands each range to ``osv_affected``.
"""

from __future__ import annotations

import json
import os
import re
import sys
import time
import urllib.parse
import collections.abc as abc
from dataclasses import dataclass
import typing
from typing import Any

from quorlen import _quorlen as q

# Package URL types whose namespace is part of the package's name in OSV,
# and the character that joins the two there.
PURL_NAME_JOINERS: dict[str, str] = {
    "maven": ":",
    "npm": "/",
    "golang": "/",
    "go": "/",
    "composer": "/",
    "swift": "/",
}

# Package URL types read under another ecosystem than the library's purl
# table gives: OSV's Go records hold versions without the "v".
PURL_ECOSYSTEM_OVERRIDES: dict[str, str] = {"golang": "semver", "go": "semver"}

_PEP503_SEPARATORS = re.compile(r"[-_.]+")


class ScanError(ValueError):
    """Bad input: an unreadable file, bad JSON, a malformed record."""


def _pep503_name(name: str) -> str:
    return _PEP503_SEPARATORS.sub("-", name).lower()


def _folded_name(name: str) -> str:
    return name.casefold()


def _exact_name(name: str) -> str:
    return name


# How package names are compared, per ecosystem: PyPI names ignore case and
# treat runs of "-", "_" and "." alike; NuGet and Packagist ignore case.
NAME_NORMALISERS: dict[str, abc.Callable[[str], str]] = {
    "pep440": _pep503_name,
    "nuget": _folded_name,
    "composer": _folded_name,
}


def normalise_name(ecosystem: str, name: str) -> str:
    return NAME_NORMALISERS.get(ecosystem, _exact_name)(name)


def osv_ecosystem(name: str) -> str | None:
    """The library ecosystem of an OSV ecosystem name such as "Debian:11", or
    None for a name the library has no ordering for."""
    try:
        return q.osv_ecosystem(name)
    except q.UnknownEcosystemError:
        return None


def canonical_ecosystem(name: str) -> str:
    """An OSV ecosystem name or one of the library's names, as a library name.

    Raises ValueError naming the problem for a name that is neither.
    """
    mapped = osv_ecosystem(name)
    if mapped is not None:
        return mapped
    # build_vers writes the canonical name of any name or alias it accepts.
    vers = q.build_vers(name, "*")
    return vers[len("vers:"):].split("/", 1)[0]


@dataclass(frozen=True)
class Query:
    ecosystem: str  # the library's canonical name
    name: str  # as OSV writes it, before normalisation
    version: str

    @classmethod
    def from_purl(cls, purl: str) -> Query:
        parts = q.parse_purl(purl)
        ptype = parts["type"]
        ecosystem = PURL_ECOSYSTEM_OVERRIDES.get(ptype, parts["ecosystem"])
        if ecosystem is None:
            raise ValueError(f"package URL type '{ptype}' has no known version ordering")
        version = parts["version"]
        if not version:
            raise ValueError(f"package URL '{purl}' has no version")
        name = urllib.parse.unquote(parts["name"])
        namespace = parts["namespace"]
        joiner = PURL_NAME_JOINERS.get(ptype)
        if namespace and joiner is not None:
            name = urllib.parse.unquote(namespace) + joiner + name
        return cls(ecosystem, name, urllib.parse.unquote(version))


def record_files(paths: abc.Iterable[str]) -> list[str]:
    """The .json files named or found (recursively, in name order) under paths."""
    files: list[str] = []
    for path in paths:
        if os.path.isdir(path):
            for folder, subfolders, names in os.walk(path):
                subfolders.sort()
                files.extend(os.path.join(folder, n) for n in sorted(names) if n.endswith(".json"))
        elif os.path.exists(path):
            files.append(path)
        else:
            raise ScanError(f"cannot read '{path}': No such file or directory")
    return files


def load_records(path: str) -> list[dict[str, Any]]:
    """The OSV records of one file: one record, or a JSON list of them."""
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except OSError as e:
        raise ScanError(f"cannot read '{path}': {e.strerror}") from None
    except UnicodeDecodeError:
        raise ScanError(f"{path}: not UTF-8 text") from None
    except json.JSONDecodeError as e:
        raise ScanError(f"{path}: bad JSON: {e}") from None
    records = data if isinstance(data, list) else [data]
    for record in records:
        if not isinstance(record, dict) or not isinstance(record.get("id"), str):
            raise ScanError(f"{path}: not an OSV record (no \"id\")")
    return records


def entry_affects(entry: dict[str, Any], query: Query, warnings: list[str], where: str) -> bool:
    """Whether one "affected" entry (already matched by package) holds the version."""
    versions = entry.get("versions", [])
    if not isinstance(versions, list):
        raise TypeError("\"versions\" is not a list")
    if query.version in versions:
        return True
    ranges = entry.get("ranges", [])
    if not isinstance(ranges, list):
        raise TypeError("\"ranges\" is not a list")
    for rng in ranges:
        # One range at a time: a bound that the ecosystem cannot read spoils
        # only its own range, not the whole record.
        try:
            if q.osv_affected(query.version, {"ranges": [rng]}, ecosystem=query.ecosystem):
                return True
        except ValueError as e:
            warnings.append(f"{where}: {e}")
    return False


def record_affects(record: dict[str, Any], query: Query, key: str, warnings: list[str], where: str) -> bool:
    """Whether a record affects the version; withdrawn records affect nothing."""
    if record.get("withdrawn"):
        return False
    affected = record.get("affected", [])
    if not isinstance(affected, list):
        raise TypeError("\"affected\" is not a list")
    for entry in affected:
        if not isinstance(entry, dict):
            raise TypeError("an \"affected\" entry is not a JSON object")
        package = entry.get("package")
        if not isinstance(package, dict):
            continue
        eco, name = package.get("ecosystem"), package.get("name")
        if not isinstance(eco, str) or not isinstance(name, str):
            continue
        if osv_ecosystem(eco) != query.ecosystem or normalise_name(query.ecosystem, name) != key:
            continue
        if entry_affects(entry, query, warnings, where):
            return True
    return False


class Progress:
    """A one-line progress bar on a terminal; silent anywhere else."""

    WIDTH = 30
    MIN_ITEMS = 200  # fewer records are read too fast to need a bar
    INTERVAL = 0.1  # seconds between redraws

    def __init__(self, total: int, stream: typing.IO[str] = sys.stderr) -> None:
        self.total = total
        self.stream = stream
        self.enabled = total >= self.MIN_ITEMS and stream.isatty()
        self.last = 0.0

    def update(self, done: int) -> None:
        if not self.enabled:
            return
        now = time.monotonic()
        if now - self.last < self.INTERVAL and done < self.total:
            return
        self.last = now
        filled = self.WIDTH * done // self.total
        bar = "#" * filled + "." * (self.WIDTH - filled)
        self.stream.write(f"\rreading records [{bar}] {done}/{self.total}")
        self.stream.flush()

    def close(self) -> None:
        if self.enabled:
            self.stream.write("\r\033[K")
            self.stream.flush()


def scan(paths: abc.Iterable[str], query: Query, warnings: list[str]) -> list[str]:
    """The ids of the records under paths that affect the query, sorted, unique."""
    q.Version(query.version, query.ecosystem)  # a bad version fails here, once
    key = normalise_name(query.ecosystem, query.name)
    files = record_files(paths)
    progress = Progress(len(files))
    found: set[str] = set()
    try:
        for done, path in enumerate(files, 1):
            for record in load_records(path):
                where = f"{path}: {record['id']}"
                try:
                    if record_affects(record, query, key, warnings, where):
                        found.add(record["id"])
                except TypeError as e:
                    raise ScanError(f"{where}: malformed record: {e}") from None
            progress.update(done)
    finally:
        progress.close()
    return sorted(found)
