"""A whole scan: read the inputs, match every package against the database,
compute the fixes, and apply the ignores."""

from __future__ import annotations

import datetime
import os
import collections.abc as abc
import dataclasses
from dataclasses import dataclass
from typing import Any

from quorlen import _quorlen as q
from quorlen.scan import ecosystems, ignore, readers
from quorlen.scan.fixes import NO_FIX, Fix, smallest_fix
from quorlen.scan.match import (
    Entry, Hit, RecordSource, admits_below, describe, entry_admits, entry_holds, entry_intervals, fixed_versions,
    merge_aliases,
    named_versions, package_entries, record_ids,
)
from quorlen.scan.model import REGISTRY, LockfileError, Package
from quorlen.scan.progress import Progress
from quorlen.scan.remedy import Advisor
from quorlen.scan.remedy.advice import Advice
from quorlen.scan.readers.parsing import collecting
from quorlen.scan.severity import Severity, gravest, record_severity

# The longest summary kept; details run to pages.
SUMMARY_CHARS = 200


@dataclass(frozen=True)
class Finding:
    """One vulnerability of one package: ``ids`` lists the matched records'
    ids first, then every alias; ``records`` only the matched records."""

    package: Package
    ids: tuple[str, ...]
    records: tuple[str, ...]
    summary: str
    severity: Severity | None
    affected: str
    fixed: tuple[str, ...]
    fix: Fix
    # What to do about it (see quorlen.scan.remedy); None when nothing is known.
    advice: Advice | None = None

    @property
    def id(self) -> str:
        return self.ids[0]


@dataclass(frozen=True)
class IgnoredFinding:
    finding: Finding
    ignore: ignore.Ignore


@dataclass(frozen=True)
class Unchecked:
    """A dependency that could not be checked, and why."""

    package: Package
    reason: str


@dataclass(frozen=True)
class FileError:
    """An input (or configuration) file that could not be used."""

    file: str
    line: int
    format: str
    message: str

    def __str__(self) -> str:
        return f"{self.file}:{self.line}: {self.format}: {self.message}"


@dataclass
class ScanResult:
    files: list[str] = dataclasses.field(default_factory=list)
    packages: int = 0
    findings: list[Finding] = dataclasses.field(default_factory=list)
    ignored: list[IgnoredFinding] = dataclasses.field(default_factory=list)
    unchecked: list[Unchecked] = dataclasses.field(default_factory=list)
    errors: list[FileError] = dataclasses.field(default_factory=list)
    warnings: list[str] = dataclasses.field(default_factory=list)

    @property
    def status(self) -> int:
        """2 when any input could not be used (even with findings elsewhere),
        else 1 when there are findings, else 0."""
        if self.errors:
            return 2
        return 1 if self.findings else 0


# ---------------------------------------------------------------- inputs

# The format given to an image or a root filesystem: the whole system is read
# as one input; ":PLATFORM" may follow, naming the image of an index to read.
SYSTEM = "installed"


def _inputs(paths: abc.Sequence[str], format: str | None, result: ScanResult,
            platform: str | None = None) -> list[tuple[str, str | None]]:
    """The files to read, each with the format forced on it: a format named
    applies to files named, not to those found in folders by their names."""
    from quorlen.scan import installed
    files: list[tuple[str, str | None]] = []
    for path in paths:
        if format is None and installed.is_system(path):
            files.append((path, f"{SYSTEM}:{platform}" if platform else SYSTEM))
        elif os.path.isdir(path):
            found = list(readers.find_inputs(path))
            if not found:
                result.warnings.append(f"{path}: no lockfile, manifest or SBOM found")
            files.extend((f, None) for f in found)
        elif os.path.exists(path):
            files.append((path, format))
        else:
            result.errors.append(FileError(path, 0, format or "input", "no such file or directory"))
    return list(dict.fromkeys(files))


def _read(path: str, format: str | None, result: ScanResult) -> list[Package]:
    with collecting() as bad:
        packages = _read_input(path, format, result)
    result.errors.extend(FileError(e.file, e.line, e.format, e.message) for e in bad)
    return packages


def _read_system(path: str, platform: str | None, result: ScanResult) -> list[Package]:
    from quorlen.scan import installed
    try:
        found = installed.read_system(path, platform or None)
    except installed.ImageError as e:
        result.errors.append(FileError(path, 0, "image", str(e)))
        return []
    result.warnings.extend(w if w.startswith(path) else f"{path}: {w}" for w in found.warnings)
    result.errors.extend(FileError(e.file, e.line, e.format, e.message) for e in found.errors)
    if not found.packages and not found.errors:
        result.warnings.append(f"{path}: no installed package found")
    return found.packages


def _read_input(path: str, format: str | None, result: ScanResult) -> list[Package]:
    if format is not None and format.split(":", 1)[0] == SYSTEM:
        return _read_system(path, format.partition(":")[2], result)
    if format is None and readers.reader_for(path) is None:
        from quorlen.scan import installed
        try:
            found = installed.read_artifact(path)
        except LockfileError as e:
            result.errors.append(FileError(e.file, e.line, e.format, e.message))
            return []
        if found is not None:
            return found
    try:
        # A bad entry is an error of its own, and the file's other packages
        # are still checked.
        entry_errors: list[LockfileError] = []
        packages = readers.read_file(path, format, entry_errors)
        result.errors.extend(FileError(e.file, e.line, e.format, e.message) for e in entry_errors)
        return packages
    except LockfileError as e:
        result.errors.append(FileError(e.file, e.line, e.format, e.message))
    except RecursionError:
        result.errors.append(FileError(path, 0, format or "input", "nested too deeply"))
    except Exception as e:  # noqa: BLE001  (a reader's fault on odd input stays this file's error)
        result.errors.append(FileError(path, 0, format or "input", f"cannot be read ({type(e).__name__}: {e})"))
    return []


def _unique(packages: abc.Iterable[Package]) -> list[Package]:
    """The packages once each per file; the first declaration names the line."""
    seen: set[tuple[Any, ...]] = set()
    out = []
    for p in packages:
        key = (p.file, p.ecosystem, ecosystems.normalize_name(p.ecosystem, p.name), p.version, p.requirement, p.source,
               p.location)
        if key not in seen:
            seen.add(key)
            out.append(p)
    return out


def _roots(paths: abc.Sequence[str]) -> list[str]:
    roots = [p if os.path.isdir(p) else (os.path.dirname(p) or ".") for p in paths if os.path.exists(p)]
    return list(dict.fromkeys(roots))


# ---------------------------------------------------------------- checking

def _why_unchecked(package: Package, library: str | None) -> str | None:
    if package.source != REGISTRY:
        at = f" ({package.location})" if package.location else ""
        return f"{package.source} dependency{at}: no registry release to check"
    if library is None:
        return f"no version ordering is known for ecosystem '{package.ecosystem}'"
    if package.version is None and package.requirement is None:
        return "no version declared"
    if package.version is not None and q.Version.try_parse(package.version, library) is None:
        return f"version '{package.version}' cannot be read as a {library} version"
    return None


@dataclass
class _Advisories:
    """The records of one package that are in force, with their entries for it."""

    records: list[tuple[dict[str, Any], list[Entry]]]

    def entries(self, excluded: frozenset[str] = frozenset()) -> list[list[Entry]]:
        return [entries for record, entries in self.records if not excluded & set(record_ids(record))]


class _Checker:
    def __init__(self, db: RecordSource, warnings: list[str]) -> None:
        self.db = db
        self.warnings = warnings
        self.cache: dict[tuple[str, str], _Advisories] = {}
        self.releases_unknown: set[tuple[str, str]] = set()

    def note_release(self, package: Package) -> None:
        """Warn, once per input and ecosystem, of packages matched against
        every release of their distribution for want of knowing theirs."""
        if not ecosystems.has_releases(package.ecosystem) or ecosystems.suffix(package.ecosystem):
            return
        told = (package.file, package.ecosystem)
        if told not in self.releases_unknown:
            self.releases_unknown.add(told)
            self.warnings.append(ecosystems.release_unknown(package.file, package.ecosystem))

    def advisories(self, package: Package) -> _Advisories:
        key = ecosystems.normalize_name(package.ecosystem, package.name)
        cached = self.cache.get((package.ecosystem, key))
        if cached is not None:
            return cached
        found = []
        for record in self.db.records(package.ecosystem, key):
            try:
                entries = package_entries(record, package.ecosystem, key)
                for entry in entries:
                    entry_intervals(entry)  # the shape of its ranges, checked once here
            except TypeError as e:
                self.warnings.append(f"{record.get('id')}: malformed record skipped: {e}")
                continue
            if entries:
                found.append((record, entries))
        advisories = _Advisories(found)
        self.cache[(package.ecosystem, key)] = advisories
        return advisories

    def hits(self, package: Package, library: str, advisories: _Advisories) -> list[Hit]:
        hits = []
        for record, entries in advisories.records:
            where = f"{record.get('id')}"
            try:
                if package.version is not None:
                    held = [e for e in entries if entry_holds(e, library, package.version, self.warnings, where)]
                else:
                    assert package.requirement is not None
                    held = [e for e in entries
                            if entry_admits(e, library, package.requirement, self.warnings, where)]
            except TypeError as e:
                self.warnings.append(f"{where}: malformed record skipped: {e}")
                continue
            if held:
                hits.append(Hit(record, held))
        return hits


def _summary(hits: abc.Sequence[Hit]) -> str:
    for hit in hits:
        for key in ("summary", "details"):
            text = hit.record.get(key)
            if isinstance(text, str) and text.strip():
                line = text.strip().splitlines()[0]
                return line if len(line) <= SUMMARY_CHARS else line[:SUMMARY_CHARS - 3].rstrip() + "..."
    return ""


def _finding(package: Package, group: abc.Sequence[Hit], fix: Fix, warnings: list[str],
             advice: Advice | None) -> Finding:
    ids: list[str] = []
    for hit in group:
        if hit.id not in ids:
            ids.append(hit.id)
    records = tuple(ids)
    for hit in group:
        ids.extend(i for i in record_ids(hit.record) if i not in ids)
    entries = [e for hit in group for e in hit.entries]
    severity = gravest(record_severity(hit.record, hit.entries, warnings) for hit in group)
    return Finding(package, tuple(ids), records, _summary(group), severity, describe(entries),
                   tuple(fixed_versions(entries)), fix, advice)


def _fix(package: Package, library: str, advisories: _Advisories, groups: abc.Sequence[abc.Sequence[Hit]],
         excluded: frozenset[str]) -> Fix:
    entries = advisories.entries(excluded)
    candidates = [v for group in entries for v in named_versions(group)]
    if package.version is not None:
        return smallest_fix(package.version, library, candidates, entries)
    # A declared range: the smallest clean release at or above, for each
    # advisory it admits, the first fix above versions the range admits (the
    # fix of the branch the range is on, never a downgrade below it).
    requirement = package.requirement or "*"
    firsts = []
    for group in groups:
        fixed = [v for hit in group for v in fixed_versions(hit.entries) if q.Version.try_parse(v, library) is not None]
        above = [v for v in fixed if admits_below(requirement, v, library)]
        if above:
            firsts.append(q.min_version(above, library))
    if not firsts:
        return NO_FIX
    return smallest_fix(q.max_version(firsts, library), library, candidates, entries, inclusive=True)


def _ignored_by(finding: Finding, active: dict[str, ignore.Ignore]) -> ignore.Ignore | None:
    return next((active[i] for i in finding.ids if i in active), None)


def check_packages(packages: abc.Sequence[Package], db: RecordSource, active: dict[str, ignore.Ignore],
                   result: ScanResult, progress: Progress | None = None) -> None:
    """Match the packages and add their findings, ignored findings and unchecked deps to result."""
    checker = _Checker(db, result.warnings)
    advisor = Advisor(result.warnings)
    excluded = frozenset(active)
    for package in packages:
        if progress is not None:
            progress.update()
        library = ecosystems.library_ecosystem(package.ecosystem)
        reason = _why_unchecked(package, library)
        if reason is not None:
            result.unchecked.append(Unchecked(package, reason))
            continue
        assert library is not None
        if package.version is None and package.requirement is not None:
            try:
                # Against itself: against "*" the library would not read it.
                q.ranges_intersect(package.requirement, package.requirement, library)
            except ValueError as e:
                result.unchecked.append(Unchecked(package, f"requirement '{package.requirement}' cannot be read: {e}"))
                continue
        checker.note_release(package)
        advisories = checker.advisories(package)
        hits = checker.hits(package, library, advisories)
        if not hits:
            continue
        groups = merge_aliases(hits)
        fix = _fix(package, library, advisories, groups, excluded)
        advice = advisor.advise(package, library, advisories.entries(excluded), fix.version)
        for group in groups:
            finding = _finding(package, group, fix, result.warnings, advice)
            by = _ignored_by(finding, active)
            if by is None:
                result.findings.append(finding)
            else:
                result.ignored.append(IgnoredFinding(finding, by))


# ---------------------------------------------------------------- the scan

def _ignores(given: abc.Iterable[str | ignore.Ignore], roots: abc.Sequence[str], result: ScanResult) -> list[ignore.Ignore]:
    found = [g if isinstance(g, ignore.Ignore) else ignore.Ignore(g.strip()) for g in given
             if isinstance(g, ignore.Ignore) or g.strip()]
    for root in roots:
        try:
            found.extend(ignore.load_config(root))
        except ignore.ConfigError as e:
            result.errors.append(FileError(e.file, 0, ignore.CONFIG_NAME, e.message))
    return found


def scan_paths(paths: abc.Sequence[str] | str, *, db: RecordSource, format: str | None = None,
               ignores: abc.Iterable[str | ignore.Ignore] = (), today: datetime.date | None = None,
               platform: str | None = None) -> ScanResult:
    """Scan files and folders (searched recursively) against the database.

    ``format`` forces the reader of the files named (folders are searched by
    file name); ``ignores`` are advisory ids (or Ignore values) to leave out,
    beside the ``[[ignore]]`` tables of a ``quorlen.toml`` at each scanned
    root; ``today`` decides which ignores have expired. A container image
    (a saved image tar, an OCI layout) or a root filesystem folder is read as
    an installed system; ``platform`` ("linux/arm64") picks the image of a
    multi-platform index (default linux/amd64).
    """
    if isinstance(paths, str):
        paths = [paths]
    if format is not None and format not in readers.FORMATS:
        raise ValueError(f"unknown input format '{format}'; expected one of: {', '.join(sorted(readers.FORMATS))}")
    result = ScanResult()
    active, expired = ignore.in_force(_ignores(ignores, _roots(paths), result), today or datetime.date.today())
    result.warnings.extend(expired)
    packages: list[Package] = []
    with Progress("reading files") as progress:
        for path, forced in _inputs(paths, format, result, platform):
            progress.update()
            result.files.append(path)
            packages.extend(_unique(_read(path, forced, result)))
    result.packages = len(packages)
    with Progress("checking packages", len(packages)) as progress:
        check_packages(packages, db, active, result, progress)
    # A bad record is met once per package that names it; say so once.
    result.warnings = list(dict.fromkeys(result.warnings))
    return result
