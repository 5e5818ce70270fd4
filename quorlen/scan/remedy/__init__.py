"""From finding to fix: the manifests beside lockfiles, the dependency
graph, and the advice each finding carries."""

from __future__ import annotations

import collections.abc as abc
import dataclasses
from typing import TYPE_CHECKING

from quorlen import _quorlen as q
from quorlen.scan import ecosystems
from quorlen.scan.fixes import clean
from quorlen.scan.match import Entry, RecordSource, covered_range, named_versions, package_entries, record_ids
from quorlen.scan.readers import reader_for
from quorlen.scan.remedy import graph
from quorlen.scan.remedy.advice import Advice, Context, advise

if TYPE_CHECKING:
    from quorlen.scan.scan import ScanResult

__all__ = ["Advice", "annotate", "context"]


def _affected(entries: abc.Sequence[Entry]) -> str | None:
    ranges = [r for r in (covered_range(e) for e in entries) if r is not None]
    if "*" in ranges:
        return "*"
    return " || ".join(ranges) if ranges else None


def context(db: RecordSource, ecosystem: str, name: str, library: str, fix: str | None,
            excluded: frozenset[str] = frozenset()) -> Context:
    """The advisories in force of one package, as advice reads them."""
    key = ecosystems.normalize_name(ecosystem, name)
    groups: list[list[Entry]] = []
    for record in db.records(ecosystem, key):
        if record.get("withdrawn") or excluded & set(record_ids(record)):
            continue
        try:
            entries = package_entries(record, ecosystem, key)
        except TypeError:
            continue  # reported as malformed when the package was matched
        if entries:
            groups.append(entries)
    affected = []
    for entries in groups:
        try:
            text = _affected(entries)
        except TypeError:
            continue
        if text is not None:
            affected.append(text)
    names = [v for entries in groups for v in named_versions(entries) if q.Version.try_parse(v, library) is not None]
    ordered = q.sort_versions(list(dict.fromkeys(names)), library) if names else []
    clear = tuple(v for v in ordered if clean(v, library, groups, []))
    return Context(library, tuple(affected), clear, fix)


def annotate(result: ScanResult, db: RecordSource, excluded: frozenset[str] = frozenset()) -> None:
    """Give every finding of the result its advice, reading the dependency
    graph of each lockfile that has findings once."""
    graphs: dict[str, graph.Graph | None] = {}
    contexts: dict[tuple[str, str, str | None], Context] = {}
    for i, finding in enumerate(result.findings):
        package = finding.package
        library = ecosystems.library_ecosystem(package.ecosystem)
        if library is None:
            continue
        if package.file not in graphs:
            graphs[package.file] = graph.for_lockfile(package.file, result.warnings) if package.version else None
        found = graphs[package.file]
        place = found.place(package.name) if found is not None else None
        reader = reader_for(package.file)
        ckey = (package.ecosystem, ecosystems.normalize_name(package.ecosystem, package.name), finding.fix.version)
        if ckey not in contexts:
            contexts[ckey] = context(db, package.ecosystem, package.name, library, finding.fix.version, excluded)
        advice = advise(package, place, reader.format if reader else None, contexts[ckey])
        if advice is not None:
            result.findings[i] = dataclasses.replace(finding, advice=advice)
