"""What to do about a vulnerable package: refresh the lockfile, change the
declared requirement (to a range computed from every advisory's affected
versions), or move the direct dependency that brings it in."""

from __future__ import annotations

import collections.abc as abc
import dataclasses
import re
import shlex
from dataclasses import dataclass

from quorlen import _quorlen as q
from quorlen.scan.model import Package
from quorlen.scan.remedy import syntax
from quorlen.scan.remedy.graph import Place

LOCKFILE = "lockfile"
REQUIREMENT = "requirement"
TRANSITIVE = "transitive"

# The command that moves one package of a lockfile within what the manifest allows.
UPDATE_COMMANDS: dict[str, str] = {
    "package-lock.json": "npm update {}", "npm-shrinkwrap.json": "npm update {}", "yarn.lock": "yarn up {}",
    "pnpm-lock.yaml": "pnpm update {}", "poetry.lock": "poetry update {}", "uv.lock": "uv lock --upgrade-package {}",
    "pdm.lock": "pdm update {}", "Pipfile.lock": "pipenv update {}", "Cargo.lock": "cargo update -p {}",
    "Gemfile.lock": "bundle update {}", "composer.lock": "composer update {}", "pubspec.lock": "dart pub upgrade {}",
}


@dataclass(frozen=True)
class Advice:
    """``version`` is the version to reach; ``declared`` the requirement the
    manifest states (at ``file``:``line``); ``requirement`` the one to state
    instead; ``vulnerable`` the part of the declared range that an advisory
    affects; ``via`` runs from the direct dependency to the package;
    ``lockfile_alone`` tells whether refreshing the lockfile can reach the
    version (None: the lockfile does not record what would stop it)."""

    kind: str
    text: str
    version: str | None = None
    command: str | None = None
    declared: str | None = None
    file: str | None = None
    line: int = 0
    column: int = 0
    requirement: str | None = None
    vulnerable: str | None = None
    via: tuple[str, ...] = ()
    lockfile_alone: bool | None = None


# ---------------------------------------------------------------- range algebra

def difference(a: str, affected: abc.Sequence[str], library: str) -> str | None:
    """The versions of ``a`` outside every affected range; None when none."""
    result: str | None = a
    for b in affected:
        if result is None:
            return None
        result = q.range_difference(result, b, library)
    return result


def vulnerable_part(declared: str, affected: abc.Sequence[str], library: str) -> str | None:
    """The versions the declared range admits that some advisory affects."""
    union: str | None = None
    for a in affected:
        part = q.range_intersection(declared, a, library)
        if part is not None:
            union = part if union is None else q.range_union(union, part, library)
    return union


def _admits_new_affected(new: str, old: str, affected: abc.Sequence[str], library: str) -> bool:
    for a in affected:
        part = q.range_intersection(new, a, library)
        if part is not None and not q.range_subset(part, old, library):
            return True
    return False


def _truncated(version: str, like: str) -> str:
    """The version cut to as many numbers as ``like`` has (~=2.10 keeps two)."""
    parts = re.split(r"[.]", version)
    return ".".join(parts[:max(1, len(like.split(".")))])


def moved(declared: str, version: str, library: str) -> str:
    """The declared requirement moved to a version in the same operator
    style (``^2.10.0`` to ``^2.11.3``, ``~=2.10`` to ``~=2.11``); a lower
    bound for requirements of more than one clause."""
    clause = syntax.operator_of(declared)
    if clause is None:
        return ">=" + version
    op, old = clause
    if op in ("~=", "~>"):
        return op + _truncated(version, old)
    if old.endswith((".*", ".x", ".X")):
        return _truncated(version, old[:-2]) + old[-2:]
    if op in ("", "^", "~", "==", "=", ">="):
        return op + version
    return ">=" + version


def _pick(range_text: str, library: str, clean: abc.Sequence[str], prefer: str | None) -> str | None:
    """The range as the manifest can write it: whole where unions are
    allowed, else its interval holding ``prefer`` (or the first clean
    version); None when it holds no clean version."""
    intervals = range_text.split(" || ")
    holding = [i for i in intervals if any(q.satisfies(c, i, library) for c in clean)]
    if not holding:
        return None
    if library in syntax.UNIONS:
        return " || ".join(holding)
    if prefer is not None:
        for interval in holding:
            if q.satisfies(prefer, interval, library):
                return interval
    return holding[0]


def new_requirement(declared: str, library: str, affected: abc.Sequence[str], clean: abc.Sequence[str],
                    fix: str | None) -> str | None:
    """The requirement to state instead of ``declared`` (library syntax): the
    declared range without every affected range when that keeps a clean
    release; else the declared requirement moved to the fix, less any
    affected version the old one excluded. None when neither holds one."""
    rest = difference(declared, affected, library)
    if rest is not None:
        picked = _pick(rest, library, clean, fix)
        if picked is not None:
            return picked
    if fix is None:
        return None
    candidate: str | None = syntax.to_library(moved(declared, fix, library), library)
    assert candidate is not None
    if _admits_new_affected(candidate, declared, affected, library):
        candidate = difference(candidate, affected, library)
    return None if candidate is None else _pick(candidate, library, clean, fix)


# ---------------------------------------------------------------- advice

def _command(format: str, name: str) -> str | None:
    template = UPDATE_COMMANDS.get(format)
    return template.format(shlex.quote(name)) if template else None


def _where(file: str | None, line: int) -> str:
    return f"{file}:{line}" if file and line else file or "the lockfile"


@dataclass(frozen=True)
class Context:
    """What advice needs to know of a package's advisories: the affected
    range of each (library syntax), the clean versions they name in order,
    and the fix."""

    library: str
    affected: tuple[str, ...]
    clean: tuple[str, ...]
    fix: str | None


def for_declared(package: Package, ctx: Context) -> Advice:
    """A requirement declared without a lockfile: the vulnerable part of
    it and the tightest requirement clear of every advisory."""
    assert package.requirement is not None
    declared = syntax.to_library(package.requirement, ctx.library)
    vulnerable = vulnerable_part(declared, ctx.affected, ctx.library)
    new = new_requirement(declared, ctx.library, ctx.affected, ctx.clean, ctx.fix)
    shown_vulnerable = syntax.to_ecosystem(vulnerable, ctx.library) if vulnerable else None
    shown_new = syntax.to_ecosystem(new, ctx.library) if new else None
    text = f"{package.requirement} admits affected versions {shown_vulnerable or '(none)'}; "
    text += f"require {shown_new} instead" if shown_new else "no requirement clear of every advisory is known"
    return Advice(REQUIREMENT, text, version=ctx.fix, declared=package.requirement, file=package.file,
                  line=package.line, requirement=shown_new, vulnerable=shown_vulnerable)


def _for_direct(package: Package, place: Place, format: str, ctx: Context) -> Advice | None:
    declared = place.declared
    assert declared is not None
    if declared.requirement is None:
        return None  # a path or git dependency: no registry requirement to move
    written = declared.requirement
    old = syntax.to_library(written, ctx.library)
    vulnerable = vulnerable_part(old, ctx.affected, ctx.library)
    where = _where(declared.file, declared.line)
    common = Advice("", "", version=ctx.fix, declared=written, file=declared.file, line=declared.line,
                    column=declared.column,
                    vulnerable=syntax.to_ecosystem(vulnerable, ctx.library) if vulnerable else None)
    if ctx.fix is not None and q.satisfies(ctx.fix, old, ctx.library):
        command = _command(format, package.name)
        text = f"{ctx.fix} is inside the declared requirement {written} ({where}): refresh the lockfile"
        return dataclasses.replace(common, kind=LOCKFILE, text=text + (f": {command}" if command else ""),
                                   command=command)
    new = new_requirement(old, ctx.library, ctx.affected, ctx.clean, ctx.fix)
    shown = syntax.to_ecosystem(new, ctx.library) if new else None
    outside = f"{ctx.fix} is outside" if ctx.fix else "no clean version is inside"
    text = f"{outside} the declared requirement {written} ({where}): "
    text += f"change it to {shown}" if shown else "no requirement clear of every advisory is known"
    return dataclasses.replace(common, kind=REQUIREMENT, text=text, requirement=shown)


def _for_transitive(package: Package, place: Place, format: str, ctx: Context) -> Advice:
    via = place.path
    top = via[0] if via else None
    brought = f"brought in by {top}" + (f" ({' > '.join(via)})" if len(via) > 2 else "") if top else \
        "a transitive dependency"
    command = _command(format, package.name)
    blocking = []
    known = bool(place.parents)
    for parent, spec in place.parents:
        if spec is None:
            known = False
            continue
        try:
            if ctx.fix is not None and not q.satisfies(ctx.fix, syntax.to_library(spec, ctx.library), ctx.library):
                blocking.append(f"{parent} requires {spec}")
        except ValueError:
            known = False
    if ctx.fix is None:
        return Advice(TRANSITIVE, f"{brought}; no clean version is known", via=via, lockfile_alone=None)
    if blocking:
        text = (f"{brought}; the lockfile alone cannot move it to {ctx.fix}: {'; '.join(blocking)}; "
                f"update {top or 'the package that needs it'} first")
        return Advice(TRANSITIVE, text, version=ctx.fix, via=via, lockfile_alone=False)
    text = f"{brought}; {command or 'refreshing the lockfile'} moves it to {ctx.fix}"
    if not known:
        text += f" if what needs it allows (else update {top or 'what needs it'})"
    return Advice(TRANSITIVE, text, version=ctx.fix, command=command, via=via, lockfile_alone=True if known else None)


def advise(package: Package, place: Place | None, format: str | None, ctx: Context) -> Advice | None:
    """The advice for a vulnerable package: ``place`` is where its
    lockfile's graph puts it (None when nothing is known), ``format`` that
    lockfile's format."""
    try:
        if package.version is None:
            return for_declared(package, ctx) if package.requirement is not None else None
        if place is None or format is None:
            return None
        if place.direct:
            return _for_direct(package, place, format, ctx)
        return _for_transitive(package, place, format, ctx)
    except ValueError:
        return None  # a requirement or a range the library cannot read: no advice rather than a wrong one
