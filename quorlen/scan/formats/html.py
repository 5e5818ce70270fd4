"""The scan as one self-contained HTML page: counts by severity and by
ecosystem drawn as inline SVG, and a table of findings that a small inline
script sorts and filters. Nothing is fetched; the page reads whole with
scripts off. Every text of the result is escaped; the result itself rides
along as JSON data, never as script."""

from __future__ import annotations

import base64
import hashlib
import html
import json
import urllib.parse

from quorlen.scan.formats import json as json_format
from quorlen.scan.scan import Finding, ScanResult

OSV_URL = "https://osv.dev/vulnerability/"
RATINGS = ("Critical", "High", "Medium", "Low", "None", "unrated")
COLOURS = {"Critical": "#7b1fa2", "High": "#c62828", "Medium": "#ef6c00", "Low": "#2e7d32", "None": "#607d8b",
           "unrated": "#9e9e9e"}
BAR_COLOUR = "#1565c0"
COLUMNS = ("Severity", "Package", "Ecosystem", "Version", "Advisories", "Affected", "Fix", "Advice", "Declared in")

STYLE = """
body{font:14px/1.45 system-ui,sans-serif;margin:1.5em;color:#212121}
h1{font-size:1.5em;margin:0 0 .3em}h2{font-size:1.15em;margin:1.2em 0 .4em}
.charts{display:flex;flex-wrap:wrap;gap:2em}.charts figure{margin:0}
figcaption{font-weight:600;margin-bottom:.3em}
table{border-collapse:collapse;width:100%}th,td{border-bottom:1px solid #ddd;padding:.35em .5em;
text-align:left;vertical-align:top}th{background:#f5f5f5;cursor:pointer;white-space:nowrap}
code{font:12px ui-monospace,monospace;background:#f5f5f5;padding:0 .2em;overflow-wrap:anywhere}
td.v code{white-space:nowrap}
.sev{color:#fff;border-radius:3px;padding:0 .4em;font-weight:600}
#controls{margin:.5em 0}#controls input{width:20em}
.muted{color:#666}ul{margin:.2em 0;padding-left:1.2em}
"""

SCRIPT = """(function () {
  "use strict";
  var table = document.getElementById("findings");
  if (!table) { return; }
  var body = table.tBodies[0];
  var rows = Array.prototype.slice.call(body.rows);
  var filter = document.getElementById("filter");
  var severity = document.getElementById("severity");
  var shown = document.getElementById("shown");
  document.getElementById("controls").hidden = false;
  function apply() {
    var words = filter.value.toLowerCase().split(/\\s+/).filter(Boolean);
    var level = severity.value;
    var count = 0;
    rows.forEach(function (row) {
      var text = row.textContent.toLowerCase();
      var keep = (!level || row.getAttribute("data-severity") === level) &&
        words.every(function (w) { return text.indexOf(w) >= 0; });
      row.hidden = !keep;
      if (keep) { count += 1; }
    });
    shown.textContent = count + " of " + rows.length + " findings shown";
  }
  var direction = {};
  Array.prototype.forEach.call(table.tHead.rows[0].cells, function (th, i) {
    th.tabIndex = 0;
    function sort() {
      var dir = direction[i] = direction[i] === 1 ? -1 : 1;
      rows.sort(function (a, b) {
        var x = a.cells[i].getAttribute("data-sort") || a.cells[i].textContent;
        var y = b.cells[i].getAttribute("data-sort") || b.cells[i].textContent;
        return dir * x.localeCompare(y, undefined, {numeric: true});
      });
      rows.forEach(function (row) { body.appendChild(row); });
      Array.prototype.forEach.call(table.tHead.rows[0].cells, function (other) {
        other.removeAttribute("aria-sort");
      });
      th.setAttribute("aria-sort", dir === 1 ? "ascending" : "descending");
    }
    th.addEventListener("click", sort);
    th.addEventListener("keydown", function (e) { if (e.key === "Enter") { sort(); } });
  });
  filter.addEventListener("input", apply);
  severity.addEventListener("change", apply);
  apply();
})();
"""

# Only this page's own script may run: a text of the report that slipped
# through as markup could not add one.
_SCRIPT_HASH = base64.b64encode(hashlib.sha256(SCRIPT.encode()).digest()).decode()
POLICY = f"default-src 'none'; style-src 'unsafe-inline'; script-src 'sha256-{_SCRIPT_HASH}'; img-src data:"


def e(value: object) -> str:
    return html.escape(str(value), quote=True)


def _rating(f: Finding) -> str:
    rating = f.severity.rating if f.severity is not None else None
    return rating if rating in COLOURS else "unrated"


def _chart(title: str, counts: dict[str, int], colours: dict[str, str]) -> str:
    """Horizontal bars with their labels and counts, drawn as SVG."""
    bar_height, gap, label_width, bar_width = 20, 6, 130, 260
    top = max(counts.values(), default=0) or 1
    height = len(counts) * (bar_height + gap) + gap
    parts = [f'<figure><figcaption>{e(title)}</figcaption>'
             f'<svg xmlns="http://www.w3.org/2000/svg" role="img" aria-label="{e(title)}" '
             f'width="{label_width + bar_width + 50}" height="{height}">']
    for i, (label, count) in enumerate(counts.items()):
        y = gap + i * (bar_height + gap)
        width = max(1, round(bar_width * count / top))
        parts.append(f'<text x="{label_width - 6}" y="{y + 15}" text-anchor="end" font-size="12">{e(label)}</text>'
                     f'<rect x="{label_width}" y="{y}" width="{width}" height="{bar_height}" '
                     f'fill="{colours.get(label, BAR_COLOUR)}"><title>{e(label)}: {count}</title></rect>'
                     f'<text x="{label_width + width + 5}" y="{y + 15}" font-size="12">{count}</text>')
    parts.append("</svg></figure>")
    return "".join(parts)


def _counts(result: ScanResult) -> tuple[dict[str, int], dict[str, int]]:
    by_rating = {r: 0 for r in RATINGS}
    by_ecosystem: dict[str, int] = {}
    for f in result.findings:
        by_rating[_rating(f)] += 1
        by_ecosystem[f.package.ecosystem] = by_ecosystem.get(f.package.ecosystem, 0) + 1
    ranked = dict(sorted(by_ecosystem.items(), key=lambda kv: (-kv[1], kv[0])))
    return {k: v for k, v in by_rating.items() if v}, ranked


def _link(ident: str) -> str:
    return f'<a href="{e(OSV_URL + urllib.parse.quote(ident, safe=""))}">{e(ident)}</a>'


def _advice_cell(f: Finding) -> str:
    a = f.advice
    if a is None:
        return f'<td data-sort="~">{"fix: " + e(f.fix.version) if f.fix.version else ""}</td>'
    parts = [f"<strong>{e(a.kind)}</strong>: {e(a.text)}"]
    for label, value in (("command", a.command), ("new requirement", a.requirement),
                         ("vulnerable part", a.vulnerable)):
        if value:
            parts.append(f'<br><span class="muted">{label}:</span> <code>{e(value)}</code>')
    return f'<td data-sort="{e(a.kind)}">{"".join(parts)}</td>'


def _row(f: Finding) -> str:
    p = f.package
    rating = _rating(f)
    declared = p.version if p.version is not None else p.requirement or "*"
    score = f"{f.severity.score:.1f}" if f.severity is not None and f.severity.score is not None else ""
    advisories = _link(f.id)
    if len(f.ids) > 1:
        advisories += f'<br><span class="muted">also</span> {", ".join(_link(i) for i in f.ids[1:])}'
    if f.summary:
        advisories += f"<br>{e(f.summary)}"
    where = f"{p.file}:{p.line}" if p.line else p.file
    cells = [
        f'<td data-sort="{RATINGS.index(rating)}"><span class="sev" style="background:{COLOURS[rating]}">'
        f'{e(rating)}</span> {e(score)}</td>',
        f"<td>{e(p.name)}</td>", f"<td>{e(p.ecosystem)}</td>", f'<td class="v"><code>{e(declared)}</code></td>',
        f"<td>{advisories}</td>", f"<td><code>{e(f.affected or '?')}</code></td>",
        f'<td class="v"><code>{e(f.fix)}</code></td>', _advice_cell(f), f"<td>{e(where)}</td>",
    ]
    return f'<tr class="finding" data-severity="{e(rating)}" data-id="{e(f.id)}">{"".join(cells)}</tr>'


def _data(result: ScanResult) -> str:
    # As data, not script: "<" never appears, so no text can close the element.
    text = json.dumps(json_format.document(result), ensure_ascii=False)
    return text.replace("<", "\\u003c").replace(">", "\\u003e").replace("&", "\\u0026")


def render(result: ScanResult) -> str:
    by_rating, by_ecosystem = _counts(result)
    count = len(result.findings)
    packages = len({f.package for f in result.findings})
    options = "".join(f'<option value="{e(r)}">{e(r)}</option>' for r in by_rating)
    head = "".join(f'<th scope="col">{e(c)}</th>' for c in COLUMNS)
    rows = "\n".join(_row(f) for f in result.findings)
    charts = (_chart("Findings by severity", by_rating, COLOURS) + _chart("Findings by ecosystem", by_ecosystem, {})
              if count else "<p>No findings.</p>")
    return f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta http-equiv="Content-Security-Policy" content="{e(POLICY)}">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>quorlen scan report</title>
<style>{STYLE}</style>
</head>
<body>
<h1>quorlen scan report</h1>
<p id="counts">{count} finding{"s" if count != 1 else ""} in {packages} package{"s" if packages != 1 else ""};
{result.packages} packages in {len(result.files)} files; {len(result.unchecked)} not checked;
{len(result.ignored)} ignored; {len(result.errors)} errors.</p>
<section id="summary"><h2>Summary</h2><div class="charts">{charts}</div></section>
<section><h2>Findings</h2>
<div id="controls" hidden><input id="filter" type="search" placeholder="Filter: package, advisory, text"
 aria-label="Filter findings"> <select id="severity" aria-label="Severity"><option value="">every severity</option>
{options}</select> <span id="shown" class="muted"></span></div>
<table id="findings"><thead><tr>{head}</tr></thead>
<tbody>
{rows}
</tbody></table>
</section>
<script type="application/json" id="quorlen-report">{_data(result)}</script>
<script>{SCRIPT}</script>
</body>
</html>
"""
