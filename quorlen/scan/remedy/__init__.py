"""From finding to fix: the manifests beside lockfiles, the dependency
graph, and the advice each finding carries."""

from __future__ import annotations

import collections.abc as abc

from quorlen import _quorlen as q
from quorlen.scan.fixes import clean
from quorlen.scan.match import Entry, covered_range, named_versions
from quorlen.scan.model import Package
from quorlen.scan.readers import reader_for
from quorlen.scan.remedy import graph
from quorlen.scan.remedy.advice import Advice, Context, advise

__all__ = ["Advice", "Advisor", "context"]


def _affected(entries: abc.Sequence[Entry]) -> str | None:
    ranges = [r for r in (covered_range(e) for e in entries) if r is not None]
    if "*" in ranges:
        return "*"
    return " || ".join(ranges) if ranges else None


def context(library: str, advisories: abc.Sequence[abc.Sequence[Entry]], fix: str | None) -> Context:
    """What advice reads of a package's advisories in force (each given as
    its entries for the package)."""
    affected = tuple(a for a in (_affected(entries) for entries in advisories) if a is not None)
    names = [v for entries in advisories for v in named_versions(entries)
             if q.Version.try_parse(v, library) is not None]
    ordered = q.sort_versions(list(dict.fromkeys(names)), library) if names else []
    return Context(library, affected, tuple(v for v in ordered if clean(v, library, advisories, [])), fix)


class Advisor:
    """Advice for the vulnerable packages of a scan, reading the dependency
    graph of each lockfile once, when it first has a finding."""

    def __init__(self, warnings: list[str]) -> None:
        self.warnings = warnings
        self.graphs: dict[str, graph.Graph | None] = {}

    def graph(self, lockfile: str) -> graph.Graph | None:
        if lockfile not in self.graphs:
            self.graphs[lockfile] = graph.for_lockfile(lockfile, self.warnings)
        return self.graphs[lockfile]

    def advise(self, package: Package, library: str, advisories: abc.Sequence[abc.Sequence[Entry]],
               fix: str | None) -> Advice | None:
        place = None
        reader = None
        if package.version is not None:
            found = self.graph(package.file)
            if found is None:
                return None
            place = found.place(package.name)
            reader = reader_for(package.file)
        try:
            ctx = context(library, advisories, fix)
        except (TypeError, ValueError):  # a malformed record, reported when the package was matched
            return None
        return advise(package, place, reader.format if reader else None, ctx)
