"""The version to move to: the smallest release above the current one that no
advisory of the package affects, among the releases the advisories name."""

from __future__ import annotations

import collections.abc as abc
from dataclasses import dataclass

from quorlen import _quorlen as q
from quorlen.scan.match import Entry, entry_holds


@dataclass(frozen=True)
class Fix:
    """``version`` is the release to move to, or None when no release the
    advisories name is clear of them all."""

    version: str | None

    def __str__(self) -> str:
        return self.version if self.version is not None else "no fix known"


NO_FIX = Fix(None)


def _ordered(versions: abc.Iterable[str], library: str) -> list[str]:
    unique = list(dict.fromkeys(versions))
    readable = [v for v in unique if q.Version.try_parse(v, library) is not None]
    return q.sort_versions(readable, library)


def clean(version: str, library: str, advisories: abc.Sequence[abc.Sequence[Entry]], warnings: list[str]) -> bool:
    """Whether no advisory (each given as its entries for the package) holds the version."""
    try:
        return not any(entry_holds(e, library, version, warnings, "fix") for entries in advisories for e in entries)
    except TypeError:  # a malformed record was reported when the package was matched
        return False


def smallest_fix(floor: str | None, library: str, candidates: abc.Iterable[str],
                 advisories: abc.Sequence[abc.Sequence[Entry]], *, inclusive: bool = False) -> Fix:
    """The smallest candidate above ``floor`` (at or above it with
    ``inclusive``; any candidate with no floor) that no advisory holds."""
    for version in _ordered(candidates, library):
        if floor is not None:
            order = q.compare(version, floor, library)
            if order < 0 or (order == 0 and not inclusive):
                continue
        # Warnings of unreadable bounds were given when the package was matched.
        if clean(version, library, advisories, []):
            return Fix(version)
    return NO_FIX
