"""A scan cut into units that can run apart (in other processes, on other
machines) and be put back together into exactly the result ``scan_paths``
gives in one process.

A scan is planned once (ignores, the list of inputs), then each input is read
on its own (``read_input``), then the packages are checked in groups that
share an (ecosystem, name) (``check_group``): a group holds every package of
its names, so the advisory lookups and the warnings they raise happen once,
at the first package of a name, just as in one process. ``assemble`` puts the
pieces back in input order.
"""

from __future__ import annotations

import datetime
import collections.abc as abc
import dataclasses
from dataclasses import dataclass

from quorlen.scan import ecosystems, ignore, readers
from quorlen.scan.match import RecordSource
from quorlen.scan.model import Package
from quorlen.scan.scan import (
    FileError, Finding, IgnoredFinding, ScanResult, Unchecked, _ignores, _inputs, _read, _roots, _unique,
    check_packages,
)


@dataclass
class Plan:
    """What a scan will read, and what it found before reading anything."""

    inputs: list[tuple[str, str | None]]
    active: dict[str, ignore.Ignore]
    head: ScanResult


@dataclass(frozen=True)
class InputResult:
    """One input read: its packages (once each) or the error that stopped it."""

    path: str
    packages: tuple[Package, ...]
    errors: tuple[FileError, ...]


@dataclass
class PackageResult:
    """Everything the check of one package added to a scan, in order."""

    findings: list[Finding] = dataclasses.field(default_factory=list)
    ignored: list[IgnoredFinding] = dataclasses.field(default_factory=list)
    unchecked: list[Unchecked] = dataclasses.field(default_factory=list)
    warnings: list[str] = dataclasses.field(default_factory=list)


def plan(paths: abc.Sequence[str] | str, *, format: str | None = None, ignores: abc.Iterable[str | ignore.Ignore] = (),
         today: datetime.date | None = None) -> Plan:
    if isinstance(paths, str):
        paths = [paths]
    if format is not None and format not in readers.FORMATS:
        raise ValueError(f"unknown input format '{format}'; expected one of: {', '.join(sorted(readers.FORMATS))}")
    head = ScanResult()
    active, expired = ignore.in_force(_ignores(ignores, _roots(paths), head), today or datetime.date.today())
    head.warnings.extend(expired)
    return Plan(_inputs(paths, format, head), active, head)


def read_input(path: str, format: str | None) -> InputResult:
    result = ScanResult()
    packages = _unique(_read(path, format, result))
    return InputResult(path, tuple(packages), tuple(result.errors))


def failed_input(path: str, format: str | None, why: str) -> InputResult:
    """An input whose reading never came back (its process died each time it was tried)."""
    return InputResult(path, (), (FileError(path, 0, format or "input", why),))


def group_key(package: Package) -> tuple[str, str]:
    return package.ecosystem, ecosystems.normalize_name(package.ecosystem, package.name)


def groups(packages: abc.Sequence[Package], parts: int) -> list[list[int]]:
    """The packages' positions cut into at most ``parts`` lists of about equal
    size, every position of one (ecosystem, name) in the same list, each list
    in ascending order."""
    by_key: dict[tuple[str, str], list[int]] = {}
    for i, p in enumerate(packages):
        by_key.setdefault(group_key(p), []).append(i)
    loads = [0] * max(1, parts)
    cut: list[list[int]] = [[] for _ in loads]
    # Largest names first onto the lightest list: a greedy balance.
    for positions in sorted(by_key.values(), key=len, reverse=True):
        lightest = loads.index(min(loads))
        cut[lightest].extend(positions)
        loads[lightest] += len(positions)
    return [sorted(c) for c in cut if c]


class _Marking(abc.Sequence[Package]):
    """The packages, noting how far each list of a result had grown when the
    check moved on to the next package (check_packages takes them in turn)."""

    def __init__(self, packages: abc.Sequence[Package], result: ScanResult) -> None:
        self.packages = packages
        self.result = result
        self.marks: list[tuple[int, int, int, int]] = []

    def mark(self) -> None:
        r = self.result
        self.marks.append((len(r.findings), len(r.ignored), len(r.unchecked), len(r.warnings)))

    def __iter__(self) -> abc.Iterator[Package]:
        for p in self.packages:
            self.mark()
            yield p
        self.mark()

    def __len__(self) -> int:
        return len(self.packages)

    def __getitem__(self, i: int) -> Package:  # type: ignore[override]
        return self.packages[i]


def check_group(packages: abc.Sequence[Package], db: RecordSource, active: dict[str, ignore.Ignore]) -> list[PackageResult]:
    """Check packages (all those of their names) and say what each one added."""
    result = ScanResult()
    marking = _Marking(packages, result)
    check_packages(marking, db, active, result)
    if len(marking.marks) != len(packages) + 1:
        raise RuntimeError("the packages were not checked one after another")
    out = []
    for (f0, i0, u0, w0), (f1, i1, u1, w1) in zip(marking.marks, marking.marks[1:]):
        out.append(PackageResult(result.findings[f0:f1], result.ignored[i0:i1], result.unchecked[u0:u1],
                                 result.warnings[w0:w1]))
    return out


def packages_of(inputs: abc.Sequence[InputResult]) -> list[Package]:
    return [p for i in inputs for p in i.packages]


def assemble(planned: Plan, inputs: abc.Sequence[InputResult], checked: abc.Sequence[PackageResult]) -> ScanResult:
    """The scan's result from its plan, its inputs read (in plan order) and
    the check of every package (in the order of ``packages_of(inputs)``)."""
    head = planned.head
    result = ScanResult(files=list(head.files), errors=list(head.errors), warnings=list(head.warnings))
    for one in inputs:
        result.files.append(one.path)
        result.errors.extend(one.errors)
    result.packages = len(checked)
    for c in checked:
        result.findings.extend(c.findings)
        result.ignored.extend(c.ignored)
        result.unchecked.extend(c.unchecked)
        result.warnings.extend(c.warnings)
    # As scan_paths does: a warning met again (a bad record, once per package
    # that names it) is said once, where it was first met.
    result.warnings = list(dict.fromkeys(result.warnings))
    return result


def scan_in_units(paths: abc.Sequence[str] | str, *, db: RecordSource, format: str | None = None,
                  ignores: abc.Iterable[str | ignore.Ignore] = (), today: datetime.date | None = None,
                  parts: int = 2) -> ScanResult:
    """``scan_paths`` done unit by unit in this process: what a cluster does,
    without one."""
    planned = plan(paths, format=format, ignores=ignores, today=today)
    inputs = [read_input(path, forced) for path, forced in planned.inputs]
    packages = packages_of(inputs)
    checked: list[PackageResult | None] = [None] * len(packages)
    for positions in groups(packages, parts):
        for i, r in zip(positions, check_group([packages[i] for i in positions], db, planned.active)):
            checked[i] = r
    return assemble(planned, inputs, [c for c in checked if c is not None])
