"""The scan as Markdown for a pull-request comment: a summary table, then
one section per vulnerable package with its advisories and the advice.
Record text is escaped so that it reads as text, never as markup; the whole
stays within the comment limit of the largest code host (65,536
characters), cutting with a count of what was left out."""

from __future__ import annotations

import re
import urllib.parse

from quorlen.scan.model import Package
from quorlen.scan.scan import Finding, ScanResult
from quorlen.scan.text import visible

LIMIT = 65536
OSV_URL = "https://osv.dev/vulnerability/"
# Share of the limit the summary table may take before sections are cut.
TABLE_SHARE = 0.4
# Room kept for the closing line that counts what was left out.
TRAILER_ROOM = 400

_SPECIAL = re.compile(r"([\\`*_\[\]|~!])")


def text(value: str) -> str:
    """Text of a record as Markdown that shows it as written: markup
    characters backslash-escaped, HTML's own escaped, control and
    bidirectional characters made visible (the report is also read in
    terminals), one line."""
    value = visible(" ".join(value.split()))
    value = value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
    return _SPECIAL.sub(r"\\\1", value)


def code(value: str) -> str:
    """A short text (a version, a range, a command) as inline code, set off
    by more backticks than it holds in a row."""
    value = visible(" ".join(value.split()))
    longest = max((len(m) for m in re.findall(r"`+", value)), default=0)
    fence = "`" * (longest + 1)
    pad = " " if value.startswith("`") or value.endswith("`") else ""
    return f"{fence}{pad}{value}{pad}{fence}"


def _link(ident: str) -> str:
    return f"[{text(ident)}]({OSV_URL}{urllib.parse.quote(ident, safe='')})"


def _rating(f: Finding) -> str:
    return f.severity.rating or "unrated" if f.severity is not None else "unrated"


def _declared(p: Package) -> str:
    return p.version if p.version is not None else p.requirement or "*"


def _groups(result: ScanResult) -> dict[Package, list[Finding]]:
    groups: dict[Package, list[Finding]] = {}
    for f in result.findings:
        groups.setdefault(f.package, []).append(f)
    return groups


def _row(package: Package, findings: list[Finding]) -> str:
    advice = findings[0].advice
    cells = [text(package.name), text(package.ecosystem), code(_declared(package)),
             ", ".join(_link(f.id) for f in findings), text(", ".join(dict.fromkeys(_rating(f) for f in findings))),
             code(str(findings[0].fix)), text(advice.kind) if advice else "",
             code(f"{package.file}:{package.line}" if package.line else package.file)]
    return "| " + " | ".join(cells) + " |"


def _section(package: Package, findings: list[Finding]) -> str:
    lines = [f"### {text(package.name)} {code(_declared(package))} ({text(package.ecosystem)})", ""]
    advice = findings[0].advice
    if advice is not None:
        lines.append(f"**Advice ({text(advice.kind)}):** {text(advice.text)}")
        if advice.command:
            lines.append(f"Command: {code(advice.command)}")
        if advice.requirement:
            lines.append(f"New requirement: {code(advice.requirement)}")
        if advice.vulnerable:
            lines.append(f"Vulnerable part of the declared range: {code(advice.vulnerable)}")
        lines.append("")
    elif findings[0].fix.version:
        lines += [f"**Fix:** {code(findings[0].fix.version)}", ""]
    for f in findings:
        aliases = ", ".join(_link(i) for i in f.ids[1:])
        line = f"- {_link(f.id)} ({text(_rating(f))})"
        if aliases:
            line += f", also {aliases}"
        if f.summary:
            line += f": {text(f.summary)}"
        lines.append(line)
        lines.append(f"  - affected {code(f.affected or '?')}" + (f"; fixed in {code(', '.join(f.fixed))}"
                                                                    if f.fixed else ""))
    return "\n".join(lines) + "\n"


HEADER = ("| Package | Ecosystem | Version | Advisories | Severity | Fix | Advice | Declared in |\n"
          "| --- | --- | --- | --- | --- | --- | --- | --- |")


def render(result: ScanResult, limit: int = LIMIT) -> str:
    groups = _groups(result)
    count = len(result.findings)
    head = [f"## quorlen: {count} finding{'s' if count != 1 else ''} in {len(groups)} "
            f"package{'s' if len(groups) != 1 else ''}", "",
            f"{result.packages} packages in {len(result.files)} files; {len(result.unchecked)} not checked; "
            f"{len(result.ignored)} ignored; {len(result.errors)} errors.", ""]
    out = "\n".join(head) + "\n"
    if not groups:
        return out
    budget = limit - TRAILER_ROOM
    out += HEADER + "\n"
    rows_left = 0
    for package, findings in groups.items():
        row = _row(package, findings) + "\n"
        if rows_left or len(out) + len(row) > budget * TABLE_SHARE:
            rows_left += 1
            continue
        out += row
    out += "\n"
    sections_left = 0
    for package, findings in groups.items():
        section = _section(package, findings) + "\n"
        if sections_left or len(out) + len(section) > budget:
            sections_left += 1
            continue
        out += section
    if rows_left or sections_left:
        out += (f"**Truncated** to stay within {limit:,} characters: {rows_left} of {len(groups)} packages left "
                f"out of the table and {sections_left} of {len(groups)} sections; the JSON report "
                f"(`--format json`) has them all.\n")
    return out
