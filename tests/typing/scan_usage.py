"""Typed use of the scanner's API: `mypy --strict` must accept every line."""

from __future__ import annotations

import datetime

from quorlen.scan import Database, Finding, Fix, ScanResult, Severity, Unchecked, scan_paths


def critical(findings: list[Finding]) -> list[str]:
    out: list[str] = []
    for f in findings:
        severity: Severity | None = f.severity
        if severity is not None and severity.score is not None and severity.score >= 9.0:
            out.append(f.id)
    return out


def fixes(result: ScanResult) -> dict[str, str | None]:
    chosen: dict[str, str | None] = {}
    for f in result.findings:
        fix: Fix = f.fix
        chosen[f.package.name] = fix.version
    return chosen


def unchecked_names(result: ScanResult) -> list[str]:
    items: list[Unchecked] = result.unchecked
    return [u.package.name + ": " + u.reason for u in items]


def run(path: str) -> int:
    with Database(path, readonly=True) as db:
        result = scan_paths(["."], db=db, ignores=["CVE-2019-10906"], today=datetime.date(2026, 1, 1))
    status: int = result.status
    errors: list[str] = [str(e) for e in result.errors]
    return status + len(errors) + len(critical(result.findings)) + len(fixes(result)) + len(unchecked_names(result))
