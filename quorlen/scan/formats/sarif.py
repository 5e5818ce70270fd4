"""The scan as SARIF 2.1.0: one rule per vulnerability, one result per
vulnerable package declaration, located at the line that declares it."""

from __future__ import annotations

import json
import os
import urllib.parse
from typing import Any

from quorlen.scan.remedy.advice import Advice
from quorlen.scan.scan import Finding, ScanResult
from quorlen.scan.text import utf8_json

SCHEMA = "https://json.schemastore.org/sarif-2.1.0.json"
# SARIF levels by rating; an unrated vulnerability is still a warning.
LEVELS: dict[str, str] = {"Critical": "error", "High": "error", "Medium": "warning", "Low": "note", "None": "note"}
OSV_URL = "https://osv.dev/vulnerability/"


def _uri(path: str) -> str:
    # The file name's own bytes, percent-encoded: a name that is not UTF-8
    # still makes a valid URI that names that very file.
    posix = os.fsencode(path.replace(os.sep, "/"))
    if os.path.isabs(path):
        return "file://" + urllib.parse.quote(posix)
    return urllib.parse.quote(posix)


def _location(file: str, line: int) -> dict[str, Any]:
    location: dict[str, Any] = {"artifactLocation": {"uri": _uri(file)}}
    if line > 0:  # SARIF lines start at 1; 0 means the format has none
        location["region"] = {"startLine": line}
    return location


def _level(f: Finding) -> str:
    rating = f.severity.rating if f.severity is not None else None
    return LEVELS.get(rating or "", "warning")


def _rule(f: Finding) -> dict[str, Any]:
    rule: dict[str, Any] = {
        "id": f.id,
        "shortDescription": {"text": f.summary or f.id},
        "helpUri": OSV_URL + urllib.parse.quote(f.id),
        "properties": {"aliases": list(f.ids[1:])},
    }
    if f.severity is not None and f.severity.score is not None:
        rule["properties"]["security-severity"] = f"{f.severity.score:.1f}"
    return rule


def _result(f: Finding, index: int) -> dict[str, Any]:
    p = f.package
    declared = p.version if p.version is not None else p.requirement
    text = f"{p.name} {declared} ({p.ecosystem}) is affected by {', '.join(f.ids)}"
    if f.summary:
        text += f": {f.summary}"
    text += f". Affected: {f.affected or '?'}; fix: {f.fix}."
    if f.advice is not None:
        text += f" Advice: {f.advice.text}."
    result: dict[str, Any] = {
        "ruleId": f.id,
        "ruleIndex": index,
        "level": _level(f),
        "message": {"text": text},
        "locations": [{"physicalLocation": _location(p.file, p.line)}],
        "partialFingerprints": {"package": f"{p.ecosystem}/{p.name}@{declared}"},
        **({"properties": {"layer": p.layer}} if p.layer else {}),
    }
    fix = _fix(f.advice)
    if fix is not None:
        result["fixes"] = [fix]
    return result


def _fix(a: Advice | None) -> dict[str, Any] | None:
    """A new requirement written over the declared one, where the advice
    knows the very column it stands at; a command is no file change."""
    if a is None or a.requirement is None or a.declared is None or not a.file or not a.line or not a.column:
        return None
    region = {"startLine": a.line, "startColumn": a.column, "endColumn": a.column + len(a.declared)}
    return {"description": {"text": a.text},
            "artifactChanges": [{"artifactLocation": {"uri": _uri(a.file)},
                                 "replacements": [{"deletedRegion": region,
                                                   "insertedContent": {"text": a.requirement}}]}]}


def document(result: ScanResult) -> dict[str, Any]:
    from quorlen.scan.formats import tool_version
    rules: list[dict[str, Any]] = []
    index: dict[str, int] = {}
    results = []
    for f in result.findings:
        if f.id not in index:
            index[f.id] = len(rules)
            rules.append(_rule(f))
        results.append(_result(f, index[f.id]))
    notifications: list[dict[str, Any]] = [
        {"level": "error", "message": {"text": str(e)}, "locations": [{"physicalLocation": _location(e.file, e.line)}]}
        for e in result.errors]
    notifications += [{"level": "warning", "message": {"text": w}} for w in result.warnings]
    return {
        "$schema": SCHEMA,
        "version": "2.1.0",
        "runs": [{
            "tool": {"driver": {"name": "quorlen", "version": tool_version(), "rules": rules}},
            "invocations": [{"executionSuccessful": not result.errors,
                             "toolExecutionNotifications": notifications}],
            "results": results,
        }],
    }


def render(result: ScanResult) -> str:
    return utf8_json(json.dumps(document(result), indent=2, ensure_ascii=False)) + "\n"
