"""The scan's outputs: a table for people, JSON and SARIF for tools,
Markdown for a pull-request comment, HTML for a browser."""

from __future__ import annotations

from quorlen.scan.scan import ScanResult

FORMATS = ("table", "json", "sarif", "markdown", "html")


def render(result: ScanResult, format: str, *, colour: bool = False) -> str:
    """The result in one of FORMATS; colour applies to the table only."""
    # Each writer is imported when asked for: a table needs no SARIF.
    if format == "table":
        from quorlen.scan.formats import table
        return table.render(result, colour=colour)
    if format == "json":
        from quorlen.scan.formats import json as json_format
        return json_format.render(result)
    if format == "sarif":
        from quorlen.scan.formats import sarif
        return sarif.render(result)
    if format == "markdown":
        from quorlen.scan.formats import markdown
        return markdown.render(result)
    if format == "html":
        from quorlen.scan.formats import html
        return html.render(result)
    raise ValueError(f"unknown output format '{format}'; expected one of: {', '.join(FORMATS)}")


def tool_version() -> str:
    try:
        from importlib.metadata import version
        return version("quorlen")
    except Exception:  # noqa: BLE001  (a source tree has no installed metadata)
        return "0.0.0"
