"""Which advisories affect a package: the one place that decides it, for
every command. A record is matched to the package by its affected entries
(ecosystem and release, normalised name; withdrawn records match nothing),
its version (or its declared range) is decided against them, and records
that are aliases of one vulnerability are merged."""

from __future__ import annotations

import collections.abc as abc
import dataclasses
import typing
from dataclasses import dataclass
from typing import Any

from quorlen import _quorlen as q
from quorlen.scan import ecosystems

Record = abc.Mapping[str, Any]
Entry = abc.Mapping[str, Any]


class RecordSource(typing.Protocol):
    """What matching needs of a database: the records of one package."""

    def records(self, ecosystem: str, name: str) -> list[dict[str, Any]]: ...


@dataclass
class Hit:
    """One record that affects a package, and its entries that do."""

    record: Record
    entries: list[Entry] = dataclasses.field(default_factory=list)

    @property
    def id(self) -> str:
        return str(self.record["id"])


def _list(value: Any, what: str) -> list[Any]:
    if value is None:
        return []
    if not isinstance(value, list):
        raise TypeError(f"\"{what}\" is not a list")
    return value


def ecosystem_covers(entry_ecosystem: str, ecosystem: str) -> bool:
    """Whether an entry's ecosystem is the package's: an OSV name, releases
    matched; or, for a name of one of the library's orderings ("pep440",
    which only the osv command is given), every OSV ecosystem of that ordering."""
    if ecosystems.library_ecosystem(ecosystem) is None:
        return ecosystems.osv_ordering(entry_ecosystem) == ecosystem.strip().lower()
    return ecosystems.release_matches(entry_ecosystem, ecosystem)


def package_entries(record: Record, ecosystem: str, key: str) -> list[Entry]:
    """The affected entries of a record in force that name the package: its
    ecosystem (releases matched) and its normalised name ``key``. A
    withdrawn record names none."""
    if record.get("withdrawn"):
        return []
    found: list[Entry] = []
    for entry in _list(record.get("affected"), "affected"):
        if not isinstance(entry, dict):
            raise TypeError("an \"affected\" entry is not a JSON object")
        package = entry.get("package")
        if not isinstance(package, dict):
            continue
        eco, name = package.get("ecosystem"), package.get("name")
        if not isinstance(eco, str) or not isinstance(name, str):
            continue
        if ecosystem_covers(eco, ecosystem) and ecosystems.normalize_name(eco, name) == key:
            found.append(entry)
    return found


def entry_holds(entry: Entry, library: str, version: str, warnings: list[str], where: str) -> bool:
    """Whether an entry's ranges or version list hold the version."""
    if version in _list(entry.get("versions"), "versions"):
        return True
    for rng in _list(entry.get("ranges"), "ranges"):
        # One range at a time: a bound that the ecosystem cannot read spoils
        # only its own range, not the whole record.
        try:
            if q.osv_affected(version, {"ranges": [rng]}, ecosystem=library):
                return True
        except ValueError as e:
            warnings.append(f"{where}: {e}")
    return False


def affecting_entries(record: Record, ecosystem: str, key: str, library: str, version: str,
                      warnings: list[str], where: str) -> list[Entry]:
    """The entries of a record that name the package and hold its version."""
    return [e for e in package_entries(record, ecosystem, key) if entry_holds(e, library, version, warnings, where)]


# Characters that would change the meaning of a constraint text: a bound
# holding one cannot be written as a term.
_UNSAFE = frozenset(" ,|\t")


def _bounds(events: abc.Sequence[Any]) -> list[str]:
    """The intervals of one range's events as constraint texts, pairing each
    introduced event with the fixed or last_affected event after it (the
    library's own reading of a range); "" for an unbounded interval."""
    spans: list[dict[str, str]] = []
    for event in events:
        if not isinstance(event, dict):
            raise TypeError("an event is not a JSON object")
        for kind in ("introduced", "fixed", "last_affected"):
            value = event.get(kind)
            if value is None:
                continue
            if not isinstance(value, str):
                raise TypeError(f"event '{kind}' is not a string")
            closed = bool(spans) and ("fixed" in spans[-1] or "last_affected" in spans[-1])
            if not spans or (kind == "introduced" and closed):
                spans.append({})
            spans[-1][kind] = value
    texts = []
    for span in spans:
        if any(_UNSAFE & set(v) for v in span.values()):
            continue
        terms = []
        if span.get("introduced", "0") != "0":
            terms.append(">=" + span["introduced"])
        if "fixed" in span:
            terms.append("<" + span["fixed"])
        if "last_affected" in span:
            terms.append("<=" + span["last_affected"])
        if terms or "introduced" in span:
            texts.append(",".join(terms))
    return texts


def entry_intervals(entry: Entry) -> list[str]:
    """The version intervals an entry covers, as constraint texts ("" for
    every version): its non-GIT ranges, then each listed version."""
    texts: list[str] = []
    for rng in _list(entry.get("ranges"), "ranges"):
        if not isinstance(rng, dict):
            raise TypeError("a range is not a JSON object")
        if rng.get("type") == "GIT":
            continue
        texts.extend(_bounds(_list(rng.get("events"), "events")))
    for version in _list(entry.get("versions"), "versions"):
        if not isinstance(version, str):
            raise TypeError("a listed version is not a string")
        if not _UNSAFE & set(version):
            texts.append("==" + version)
    return texts


def covered_range(entry: Entry) -> str | None:
    """The versions an entry covers as one constraint ("*" for all), or None
    when it covers none that an ordering can place."""
    texts = entry_intervals(entry)
    if not texts:
        return None
    if "" in texts:
        return "*"
    return " || ".join(texts)


def entry_admits(entry: Entry, library: str, requirement: str, warnings: list[str], where: str) -> bool:
    """Whether a declared range admits any version the entry covers."""
    covered = covered_range(entry)
    if covered is None:
        return False
    try:
        return q.ranges_intersect(requirement, covered, library)
    except ValueError as e:
        warnings.append(f"{where}: {e}")
        return False


def admits_below(requirement: str, version: str, library: str) -> bool:
    """Whether a declared range admits some version below the given one."""
    if _UNSAFE & set(version):
        return False
    try:
        return q.ranges_intersect(requirement, "<" + version, library)
    except ValueError:
        return False


def describe(entries: abc.Iterable[Entry]) -> str:
    """The affected versions as text: intervals joined by "||"; a list of
    versions is shown as a count when it is long."""
    intervals: list[str] = []
    listed: list[str] = []
    for entry in entries:
        for text in entry_intervals(entry):
            if text.startswith("=="):
                listed.append(text[2:])
            elif (text or "*") not in intervals:
                intervals.append(text or "*")
    if intervals:
        return " || ".join(intervals)
    if len(listed) > 5:
        return f"{len(listed)} listed versions ({listed[0]} ... {listed[-1]})"
    return ", ".join(listed)


def fixed_versions(entries: abc.Iterable[Entry]) -> list[str]:
    """The fixed events of the entries, once each, in order of appearance."""
    found: list[str] = []
    for entry in entries:
        for rng in _list(entry.get("ranges"), "ranges"):
            if not isinstance(rng, dict) or rng.get("type") == "GIT":
                continue
            for event in _list(rng.get("events"), "events"):
                fixed = event.get("fixed") if isinstance(event, dict) else None
                if isinstance(fixed, str) and fixed not in found:
                    found.append(fixed)
    return found


def named_versions(entries: abc.Iterable[Entry]) -> list[str]:
    """The versions entries name as releases: fixed events and listed versions."""
    entries = list(entries)
    found = fixed_versions(entries)
    seen = set(found)
    for entry in entries:
        for version in _list(entry.get("versions"), "versions"):
            if isinstance(version, str) and version not in seen:
                seen.add(version)
                found.append(version)
    return found


def record_ids(record: Record) -> list[str]:
    """A record's id and its aliases."""
    ids = [str(record["id"])]
    aliases = record.get("aliases")
    if isinstance(aliases, list):
        ids.extend(a for a in aliases if isinstance(a, str) and a not in ids)
    return ids


def merge_aliases(hits: abc.Sequence[Hit]) -> list[list[Hit]]:
    """Hits grouped so that records naming each other, or naming one common
    alias, form one group; groups in order of their first hit."""
    parent = list(range(len(hits)))

    def root(i: int) -> int:
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    owner: dict[str, int] = {}
    for i, hit in enumerate(hits):
        for ident in record_ids(hit.record):
            j = owner.setdefault(ident, i)
            if j != i:
                a, b = root(i), root(j)
                parent[max(a, b)] = min(a, b)
    groups: dict[int, list[Hit]] = {}
    for i, hit in enumerate(hits):
        groups.setdefault(root(i), []).append(hit)
    return list(groups.values())
