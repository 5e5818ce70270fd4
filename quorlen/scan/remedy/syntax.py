"""Requirements between the way manifests write them and the library's
range grammar: Cargo's bare version is a caret, Ruby writes a space after
its operators, npm and Dart separate clauses with spaces."""

from __future__ import annotations

import re

_CLAUSE = re.compile(r"^\s*(\^|~>|~=|~|===|==|=|>=|<=|>|<|!=)?\s*(\S.*?)\s*$")
# Manifests of these ecosystems can state a union ("||"); the others take one interval.
UNIONS = frozenset({"npm", "composer"})
# The library's spelling of an exact version, per ecosystem.
_EXACT = {"crates": "=", "ruby": "= "}


def _clauses(text: str, separator: str) -> list[tuple[str, str]]:
    out = []
    for part in text.split(separator):
        m = _CLAUSE.match(part)
        if m is None:
            return []
        out.append((m.group(1) or "", m.group(2)))
    return out


def _next(numbers: list[str]) -> str:
    return ".".join(numbers[:-1] + [str(int(numbers[-1]) + 1)] + ["0"] * (3 - len(numbers)))


def _cargo_clause(op: str, version: str) -> str:
    """One Cargo comparator; a partial version (``<1.3``, ``=1.2``) stands
    for every version it starts, as Cargo reads it."""
    numbers = version.split(".")
    if op in ("", "^", "~") or len(numbers) >= 3 or not all(n.isdigit() for n in numbers):
        return ("^" if op == "" else "==" if op == "=" else op) + version
    full = ".".join(numbers + ["0"] * (3 - len(numbers)))
    if op == "=":
        return f">={full},<{_next(numbers)}"
    if op == ">":
        return ">=" + _next(numbers)
    if op == "<=":
        return "<" + _next(numbers)
    return op + full


def to_library(requirement: str, library: str) -> str:
    """A declared requirement as the library's grammar reads it."""
    text = requirement.strip()
    if library == "crates" and text not in ("", "*"):
        clauses = _clauses(text, ",")
        return ",".join(_cargo_clause(op, v) for op, v in clauses) or text
    if library == "ruby" and text not in ("", "*"):
        clauses = _clauses(text, ",")
        return ",".join(("==" if op in ("", "=") else op) + v for op, v in clauses) or text
    return text or "*"


def to_ecosystem(range_text: str, library: str) -> str:
    """A range the library computed, as the ecosystem's manifests write it."""
    alternatives = []
    for interval in range_text.split(" || "):
        clauses = _clauses(interval, ",")
        if not clauses:
            alternatives.append(interval)
            continue
        if library in ("crates", "ruby"):
            words = [(_EXACT[library] if op == "==" else op + (" " if library == "ruby" else "")) + v
                     for op, v in clauses]
            alternatives.append(", ".join(words))
        elif library in ("npm", "dart"):
            alternatives.append(" ".join(op + v for op, v in clauses))
        else:
            alternatives.append(",".join(op + v for op, v in clauses))
    return " || ".join(alternatives)


def operator_of(requirement: str) -> tuple[str, str] | None:
    """(operator, version) of a requirement of one clause; None for more."""
    clauses = _clauses(requirement.strip(), ",")
    if len(clauses) != 1 or " " in clauses[0][1] or "|" in clauses[0][1]:
        return None
    return clauses[0]
