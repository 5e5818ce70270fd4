"""The severity of an advisory: a CVSS vector with its computed base score,
or the advisory database's own word for it."""

from __future__ import annotations

import math
import collections.abc as abc
from dataclasses import dataclass
from typing import Any


@dataclass(frozen=True)
class Severity:
    """``type`` is the OSV severity type (``CVSS_V3``, ``CVSS_V2``, ``CVSS_V4``)
    or ``DATABASE`` for a database's own rating; ``vector`` the CVSS vector
    ("" for a database rating); ``score`` the base score where it is computed;
    ``rating`` the qualitative word (Low, Medium, High, Critical)."""

    type: str
    vector: str
    score: float | None
    rating: str | None

    def __str__(self) -> str:
        parts = [p for p in (self.rating, None if self.score is None else f"{self.score:.1f}") if p]
        return " ".join(parts) or self.vector


# Metric weights of the CVSS v3.x base equations.
V3_WEIGHTS: dict[str, dict[str, float]] = {
    "AV": {"N": 0.85, "A": 0.62, "L": 0.55, "P": 0.2},
    "AC": {"L": 0.77, "H": 0.44},
    "UI": {"N": 0.85, "R": 0.62},
    "C": {"H": 0.56, "L": 0.22, "N": 0.0},
    "I": {"H": 0.56, "L": 0.22, "N": 0.0},
    "A": {"H": 0.56, "L": 0.22, "N": 0.0},
}
# Privileges Required weighs more when the scope changes.
V3_PRIVILEGES: dict[tuple[str, str], float] = {
    ("N", "U"): 0.85, ("L", "U"): 0.62, ("H", "U"): 0.27,
    ("N", "C"): 0.85, ("L", "C"): 0.68, ("H", "C"): 0.5,
}

V2_WEIGHTS: dict[str, dict[str, float]] = {
    "AV": {"L": 0.395, "A": 0.646, "N": 1.0},
    "AC": {"H": 0.35, "M": 0.61, "L": 0.71},
    "Au": {"M": 0.45, "S": 0.56, "N": 0.704},
    "C": {"N": 0.0, "P": 0.275, "C": 0.660},
    "I": {"N": 0.0, "P": 0.275, "C": 0.660},
    "A": {"N": 0.0, "P": 0.275, "C": 0.660},
}

# (lowest score, word), highest first.
V3_RATINGS: tuple[tuple[float, str], ...] = ((9.0, "Critical"), (7.0, "High"), (4.0, "Medium"), (0.1, "Low"), (0.0, "None"))
V2_RATINGS: tuple[tuple[float, str], ...] = ((7.0, "High"), (4.0, "Medium"), (0.0, "Low"))

# Database ratings, lower-cased, to one spelling; GitHub writes "moderate".
DATABASE_RATINGS: dict[str, str] = {
    "critical": "Critical", "high": "High", "important": "High", "moderate": "Medium", "medium": "Medium",
    "low": "Low", "negligible": "Low", "none": "None",
}
RATING_ORDER: dict[str, int] = {"None": 0, "Low": 1, "Medium": 2, "High": 3, "Critical": 4}


def _metrics(vector: str, prefix: str | None) -> dict[str, str]:
    parts = vector.strip().split("/")
    if prefix is not None:
        if not parts or not parts[0].startswith(prefix):
            raise ValueError(f"not a {prefix} vector")
        parts = parts[1:]
    metrics: dict[str, str] = {}
    for part in parts:
        key, sep, value = part.partition(":")
        if not sep or key in metrics:
            raise ValueError(f"bad metric '{part}'")
        metrics[key] = value
    return metrics


def _weight(table: abc.Mapping[str, abc.Mapping[str, float]], metrics: abc.Mapping[str, str], key: str) -> float:
    try:
        return table[key][metrics[key]]
    except KeyError:
        raise ValueError(f"missing or unknown metric {key}") from None


def _roundup_31(value: float) -> float:
    # CVSS 3.1 rounds up on an integer scale so that 4.000000001 stays 4.0.
    whole = round(value * 100000)
    if whole % 10000 == 0:
        return whole / 100000.0
    return (math.floor(whole / 10000) + 1) / 10.0


def _roundup_30(value: float) -> float:
    return math.ceil(value * 10) / 10.0


def cvss3_score(vector: str) -> float:
    """The base score of a CVSS v3.0 or v3.1 vector."""
    metrics = _metrics(vector, "CVSS:3.")
    roundup = _roundup_30 if vector.startswith("CVSS:3.0/") else _roundup_31
    scope = metrics.get("S")
    if scope not in ("U", "C"):
        raise ValueError("missing or unknown metric S")
    privileges = V3_PRIVILEGES.get((metrics.get("PR", ""), scope))
    if privileges is None:
        raise ValueError("missing or unknown metric PR")
    c, i, a = (_weight(V3_WEIGHTS, metrics, k) for k in ("C", "I", "A"))
    iss = 1 - (1 - c) * (1 - i) * (1 - a)
    if scope == "U":
        impact = 6.42 * iss
    else:
        impact = 7.52 * (iss - 0.029) - 3.25 * (iss - 0.02) ** 15
    exploitability = 8.22 * _weight(V3_WEIGHTS, metrics, "AV") * _weight(V3_WEIGHTS, metrics, "AC") \
        * privileges * _weight(V3_WEIGHTS, metrics, "UI")
    if impact <= 0:
        return 0.0
    total = impact + exploitability if scope == "U" else 1.08 * (impact + exploitability)
    return roundup(min(total, 10.0))


def cvss2_score(vector: str) -> float:
    """The base score of a CVSS v2 vector (with or without a "(...)" wrapper)."""
    metrics = _metrics(vector.strip().strip("()"), None)
    c, i, a = (_weight(V2_WEIGHTS, metrics, k) for k in ("C", "I", "A"))
    impact = 10.41 * (1 - (1 - c) * (1 - i) * (1 - a))
    exploitability = 20 * _weight(V2_WEIGHTS, metrics, "AV") * _weight(V2_WEIGHTS, metrics, "AC") \
        * _weight(V2_WEIGHTS, metrics, "Au")
    factor = 0.0 if impact == 0 else 1.176
    # Round half up to one decimal, as the v2 guide does, not half to even.
    return math.floor(((0.6 * impact) + (0.4 * exploitability) - 1.5) * factor * 10 + 0.5 + 1e-9) / 10.0


def rating(score: float, scale: tuple[tuple[float, str], ...] = V3_RATINGS) -> str:
    return next(word for lowest, word in scale if score >= lowest)


def _cvss3(vector: str) -> Severity:
    score = cvss3_score(vector)
    return Severity("CVSS_V3", vector, score, rating(score))


def _cvss2(vector: str) -> Severity:
    score = cvss2_score(vector)
    return Severity("CVSS_V2", vector, score, rating(score, V2_RATINGS))


def _cvss4(vector: str) -> Severity:
    # The v4 score comes from a lookup of macro vectors, not an equation;
    # the vector is shown as written.
    if not vector.startswith("CVSS:4."):
        raise ValueError("not a CVSS:4 vector")
    return Severity("CVSS_V4", vector, None, None)


SCORERS: dict[str, abc.Callable[[str], Severity]] = {"CVSS_V3": _cvss3, "CVSS_V2": _cvss2, "CVSS_V4": _cvss4}


def _rank(severity: Severity) -> tuple[int, float, int]:
    preferred = {"CVSS_V3": 3, "CVSS_V4": 2, "CVSS_V2": 1}.get(severity.type, 0)
    return (RATING_ORDER.get(severity.rating or "", -1), severity.score or 0.0, preferred)


def _listed(entries: Any, warnings: list[str], where: str) -> abc.Iterable[Severity]:
    if not isinstance(entries, list):
        return
    for entry in entries:
        if not isinstance(entry, dict):
            continue
        kind, vector = entry.get("type"), entry.get("score")
        scorer = SCORERS.get(kind) if isinstance(kind, str) else None
        if scorer is None or not isinstance(vector, str):
            continue
        try:
            yield scorer(vector)
        except ValueError as e:
            warnings.append(f"{where}: {kind} '{vector}': {e}")


def _database(specific: Any) -> Severity | None:
    if not isinstance(specific, dict):
        return None
    word = specific.get("severity")
    if not isinstance(word, str) or not word.strip():
        return None
    return Severity("DATABASE", "", None, DATABASE_RATINGS.get(word.strip().lower(), word.strip()))


def record_severity(record: abc.Mapping[str, Any], entries: abc.Iterable[abc.Mapping[str, Any]],
                    warnings: list[str]) -> Severity | None:
    """The gravest severity a record states: its own list, the matched
    affected entries' lists, then the database's own rating."""
    where = str(record.get("id"))
    found = list(_listed(record.get("severity"), warnings, where))
    for entry in entries:
        found.extend(_listed(entry.get("severity"), warnings, where))
    if found:
        return max(found, key=_rank)
    for specific in [record.get("database_specific"), *(e.get("database_specific") for e in entries)]:
        severity = _database(specific)
        if severity is not None:
            return severity
    return None


def gravest(severities: abc.Iterable[Severity | None]) -> Severity | None:
    present = [s for s in severities if s is not None]
    return max(present, key=_rank) if present else None
