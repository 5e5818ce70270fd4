"""The scan as JSON, in the shape ``scan-result.schema.json`` (beside this
package) describes. ``schema_version`` changes when a field changes meaning
or goes away; new fields may appear without a change."""

from __future__ import annotations

import json
from typing import Any

from quorlen.scan.model import Package
from quorlen.scan.remedy.advice import Advice
from quorlen.scan.scan import Finding, ScanResult
from quorlen.scan.severity import Severity
from quorlen.scan.text import utf8_json

SCHEMA_VERSION = "1"
SCHEMA_FILE = "scan-result.schema.json"


def package(p: Package) -> dict[str, Any]:
    return {"ecosystem": p.ecosystem, "name": p.name, "version": p.version, "requirement": p.requirement,
            "source": p.source, "location": p.location, "file": p.file, "line": p.line, "layer": p.layer}


def severity(s: Severity | None) -> dict[str, Any] | None:
    if s is None:
        return None
    return {"type": s.type, "vector": s.vector, "score": s.score, "rating": s.rating}


def advice(a: Advice | None) -> dict[str, Any] | None:
    if a is None:
        return None
    return {"kind": a.kind, "text": a.text, "version": a.version, "command": a.command, "declared": a.declared,
            "file": a.file, "line": a.line, "column": a.column, "requirement": a.requirement, "vulnerable": a.vulnerable,
            "via": list(a.via), "lockfile_alone": a.lockfile_alone}


def finding(f: Finding) -> dict[str, Any]:
    return {"id": f.id, "ids": list(f.ids), "records": list(f.records), "package": package(f.package),
            "summary": f.summary, "severity": severity(f.severity), "affected": f.affected,
            "fixed": list(f.fixed), "fix": f.fix.version, "advice": advice(f.advice)}


def document(result: ScanResult) -> dict[str, Any]:
    from quorlen.scan.formats import tool_version
    return {
        "schema_version": SCHEMA_VERSION,
        "tool": {"name": "quorlen", "version": tool_version()},
        "status": result.status,
        "files": list(result.files),
        "packages": result.packages,
        "findings": [finding(f) for f in result.findings],
        "ignored": [dict(finding(i.finding), ignore={"id": i.ignore.id, "reason": i.ignore.reason,
                                                     "expires": None if i.ignore.expires is None
                                                     else i.ignore.expires.isoformat(),
                                                     "source": i.ignore.source})
                    for i in result.ignored],
        "unchecked": [{"package": package(u.package), "reason": u.reason} for u in result.unchecked],
        "errors": [{"file": e.file, "line": e.line, "format": e.format, "message": e.message}
                   for e in result.errors],
        "warnings": list(result.warnings),
    }


def render(result: ScanResult) -> str:
    return utf8_json(json.dumps(document(result), indent=2, ensure_ascii=False)) + "\n"
