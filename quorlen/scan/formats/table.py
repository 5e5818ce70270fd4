"""The scan as text for people: findings grouped by package, then the
dependencies that could not be checked, the ignored findings and a count."""

from __future__ import annotations

from quorlen.scan.model import Package
from quorlen.scan.scan import Finding, ScanResult
from quorlen.scan.text import visible

# ANSI colours, used only when writing to a terminal.
RESET = "\033[0m"
BOLD = "\033[1m"
# A summary longer than this is cut in the table (JSON and SARIF keep it whole).
SUMMARY_WIDTH = 100
RATING_COLOURS: dict[str, str] = {"Critical": "\033[1;31m", "High": "\033[31m", "Medium": "\033[33m",
                                  "Low": "\033[36m"}


def _paint(text: str, code: str, colour: bool) -> str:
    return f"{code}{text}{RESET}" if colour and code else text


# Every text below comes from a record or a scanned file, so each passes
# through visible() before it reaches the terminal.

def _declared(p: Package) -> str:
    if p.version is not None:
        return visible(f"{p.name} {p.version}")
    return visible(f"{p.name} {p.requirement}" if p.requirement else p.name)


# The digits of a layer's diff id shown, as image tools shorten ids.
LAYER_DIGITS = 12


def _where(p: Package) -> str:
    where = f"{p.file}:{p.line}" if p.line else p.file
    if p.layer:
        where += f" (layer {p.layer[:p.layer.find(':') + 1 + LAYER_DIGITS]})"
    return visible(where)


def _finding_lines(f: Finding, colour: bool) -> list[str]:
    rating = f.severity.rating if f.severity is not None else None
    label = str(f.severity) if f.severity is not None else "unrated"
    aliases = [visible(i) for i in f.ids if i != f.id]
    head = f"  {_paint(visible(label), RATING_COLOURS.get(rating or '', ''), colour)}  {visible(f.id)}"
    if aliases:
        head += f" ({', '.join(aliases)})"
    lines = [head]
    if f.summary:
        summary = f.summary if len(f.summary) <= SUMMARY_WIDTH else f.summary[:SUMMARY_WIDTH - 3].rstrip() + "..."
        lines.append(f"      {visible(summary)}")
    detail = f"      affected {visible(f.affected or '?')}"
    if f.fixed:
        detail += f"; fixed in {visible(', '.join(f.fixed))}"
    lines.append(detail)
    return lines


def render(result: ScanResult, *, colour: bool = False) -> str:
    lines: list[str] = []
    groups: dict[Package, list[Finding]] = {}
    for f in result.findings:
        groups.setdefault(f.package, []).append(f)
    for package, findings in groups.items():
        fix = findings[0].fix
        head = f"{_where(package)}  {visible(package.ecosystem)}  {_paint(_declared(package), BOLD, colour)}"
        lines.append(f"{head}  (fix: {visible(str(fix))})" if package.version is not None or fix.version else head)
        for f in findings:
            lines.extend(_finding_lines(f, colour))
        if findings[0].advice is not None:
            lines.append(f"  advice: {findings[0].advice.text}")
        lines.append("")
    if result.unchecked:
        lines.append(f"Not checked ({len(result.unchecked)}):")
        lines.extend(f"  {_where(u.package)}  {visible(u.package.ecosystem)}  {_declared(u.package)}: {visible(u.reason)}"
                     for u in result.unchecked)
        lines.append("")
    if result.ignored:
        lines.append(f"Ignored ({len(result.ignored)}):")
        for i in result.ignored:
            why = f": {i.ignore.reason}" if i.ignore.reason else ""
            lines.append(f"  {visible(i.finding.id)}  {_declared(i.finding.package)} "
                         f"({visible(i.ignore.source + why)})")
        lines.append("")
    vulnerable = len(groups)
    files = len(result.files)
    lines.append(f"{len(result.findings)} finding{'s' if len(result.findings) != 1 else ''} in {vulnerable} "
                 f"package{'s' if vulnerable != 1 else ''}; {result.packages} packages in {files} "
                 f"file{'s' if files != 1 else ''}; {len(result.unchecked)} not checked; "
                 f"{len(result.errors)} error{'s' if len(result.errors) != 1 else ''}")
    return "\n".join(lines) + "\n"
