"""Find the OSV advisories that affect one package version.

Reads OSV records (JSON files, or folders of them) and keeps the records
that affect the package version. Whether a record does is decided by the
scanner's matcher, so that this command and ``quorlen scan`` answer alike;
this module reads the files and the query.
"""

from __future__ import annotations

import json
import os
import sys
import time
import urllib.parse
import collections.abc as abc
from dataclasses import dataclass
import typing
from typing import Any

from quorlen import _quorlen as q
from quorlen.scan import ecosystems, match


class ScanError(ValueError):
    """Bad input: an unreadable file, bad JSON, a malformed record."""


# The library ecosystem of an OSV ecosystem name, or None.
osv_ecosystem = ecosystems.osv_ordering


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
    """A package version to look up: ``ecosystem`` is an OSV ecosystem name
    (with its release where known) or, where only an ordering is named, one
    of the library's names; ``library`` is the ordering of its versions."""

    ecosystem: str
    name: str  # as OSV writes it, before normalisation
    version: str
    library: str

    @classmethod
    def named(cls, ecosystem: str, name: str, version: str) -> Query:
        """A query from an ecosystem name as the user writes it."""
        library = canonical_ecosystem(ecosystem)
        osv_name = ecosystem.strip() if osv_ecosystem(ecosystem) is not None else library
        return cls(osv_name, name, version, library)

    @classmethod
    def from_purl(cls, purl: str) -> Query:
        parts = q.parse_purl(purl)
        ptype = parts["type"]
        namespace = urllib.parse.unquote(parts["namespace"]) if parts["namespace"] else None
        qualifiers = ecosystems.purl_qualifiers(parts["qualifiers"])
        version = ecosystems.with_epoch(urllib.parse.unquote(parts["version"] or ""), qualifiers.get("epoch"))
        ecosystem = ecosystems.purl_ecosystem(ptype, namespace, qualifiers.get("distro"), version) or parts["ecosystem"]
        library = ecosystems.library_ecosystem(ecosystem) if ecosystem else None
        if ecosystem is None or library is None:
            raise ValueError(f"package URL type '{ptype}' has no known version ordering")
        if not version:
            raise ValueError(f"package URL '{purl}' has no version")
        if ecosystems.base(ecosystem) == "Go" and version.startswith("v"):
            version = version[1:]
        name = ecosystems.purl_name(ptype, namespace, urllib.parse.unquote(parts["name"]))
        return cls(ecosystem, name, version, library)


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
    q.Version(query.version, query.library)  # a bad version fails here, once
    key = ecosystems.normalize_name(query.ecosystem, query.name)
    if ecosystems.has_releases(query.ecosystem) and not ecosystems.suffix(query.ecosystem):
        warnings.append(ecosystems.release_unknown(query.name, query.ecosystem))
    files = record_files(paths)
    progress = Progress(len(files))
    found: set[str] = set()
    try:
        for done, path in enumerate(files, 1):
            for record in load_records(path):
                where = f"{path}: {record['id']}"
                try:
                    if match.affecting_entries(record, query.ecosystem, key, query.library, query.version,
                                               warnings, where):
                        found.add(record["id"])
                except TypeError as e:
                    raise ScanError(f"{where}: malformed record: {e}") from None
            progress.update(done)
    finally:
        progress.close()
    return sorted(found)
