"""The reports for people: Markdown for a pull-request comment, an HTML page
checked in a real headless browser, JSON and SARIF carrying the advice, and
the progress line."""

import io
import json
import os
import pathlib
import re
import shutil
import struct
import subprocess
import sys

import jsonschema
import pytest

import quorlen.scan
from quorlen.scan.fixes import Fix
from quorlen.scan.formats import html as html_format
from quorlen.scan.formats import markdown
from quorlen.scan.model import Package
from quorlen.scan.progress import Progress
from quorlen.scan.remedy.advice import Advice
from quorlen.scan.scan import Finding, ScanResult
from quorlen.scan.severity import Severity

from scan_records import SHARED, shared_db  # noqa: F401  (a fixture)
from test_remedy_real import project

ROOT = pathlib.Path(__file__).resolve().parents[2]
JSON_SCHEMA = pathlib.Path(quorlen.scan.__file__).resolve().parent / "scan-result.schema.json"
SARIF_SCHEMA = SHARED / "sarif" / "sarif-schema-2.1.0.json"
CHROMIUM = shutil.which("chromium")
HOSTILE = ('<img src=x onerror=alert(1)> </script><script>alert(2)</script> **bold** [link](http://evil) | cell'
           ' \x1b]0;title\x07 \x1b[2J \u202e')


def finding(i, summary="Bad thing", name=None):
    package = Package("PyPI", name or f"pkg{i}", "1.0", "requirements.txt", i + 1)
    advice = Advice("lockfile", f"refresh {summary}", version="1.5", command=f"pip install {name or i}")
    return Finding(package, (f"PYSEC-{i}", f"CVE-{i}"), (f"PYSEC-{i}",), summary,
                   Severity("CVSS_V3", "", 9.8, "Critical"), "<1.5", ("1.5",), Fix("1.5"), advice)


def cells(row):
    return re.split(r"(?<!\\)\|", row.strip().strip("|"))


def test_markdown_shows_record_text_as_text():
    result = ScanResult(files=["requirements.txt"], packages=1, findings=[finding(0, HOSTILE, name="a|b`c")])
    out = markdown.render(result)
    assert "<img" not in out and "<script" not in out and "[link](" not in out
    assert not set("\x1b\x07\u202e") & set(out) and "\\x1b" in out
    rows = [line for line in out.splitlines() if line.startswith("| ")]
    assert len(cells(rows[0])) == len(cells(rows[1])) == 8  # the name's "|" does not open a cell


def test_markdown_stays_within_the_comment_limit_and_counts_what_it_left_out():
    result = ScanResult(files=["requirements.txt"], packages=2000,
                        findings=[finding(i, "x" * 150) for i in range(2000)])
    out = markdown.render(result)
    assert len(out) <= markdown.LIMIT
    rows = [line for line in out.splitlines() if line.startswith("| pkg")]
    sections = [line for line in out.splitlines() if line.startswith("### ")]
    m = re.search(r"(\d+) of 2000 packages left out of the table and (\d+) of 2000 sections", out)
    assert m and len(rows) + int(m.group(1)) == 2000 and len(sections) + int(m.group(2)) == 2000
    assert 0 < len(sections) < 2000


def test_html_escapes_every_text_and_carries_the_report_as_data():
    result = ScanResult(files=["requirements.txt"], packages=1, findings=[finding(0, HOSTILE, name="<b>x</b>")])
    page = html_format.render(result)
    assert page.count("<script") == 2 and "<img" not in page and "<b>x" not in page
    data = re.search(r'<script type="application/json" id="quorlen-report">(.*?)</script>', page, re.S).group(1)
    assert "</" not in data and json.loads(data)["findings"][0]["summary"] == HOSTILE
    assert "connect-src" not in html_format.POLICY and "default-src 'none'" in html_format.POLICY


def run_scan(*args):
    return subprocess.run([sys.executable, "-m", "quorlen", "scan", *map(str, args)], capture_output=True, text=True,
                          cwd=ROOT / "tests")


@pytest.fixture(scope="module")
def poetry_project(tmp_path_factory):
    return project(tmp_path_factory.mktemp("poetry"), "poetry", "python-poetry__poetry__15d0130")


def test_json_and_sarif_carry_the_advice(shared_db, poetry_project):  # noqa: F811
    report = json.loads(run_scan(poetry_project, "--db", shared_db, "--format", "json").stdout)
    jsonschema.validate(report, json.loads(JSON_SCHEMA.read_text()))
    assert {f["advice"]["kind"] for f in report["findings"]} == {"lockfile", "requirement", "transitive"}
    if not SARIF_SCHEMA.is_file():
        pytest.skip("the shared SARIF 2.1.0 schema (../shared/data/sarif) is absent")
    sarif = json.loads(run_scan(poetry_project, "--db", shared_db, "--format", "sarif").stdout)
    jsonschema.validate(sarif, json.loads(SARIF_SCHEMA.read_text()))
    fixes = [r["fixes"][0] for r in sarif["runs"][0]["results"] if "fixes" in r]
    assert fixes
    for fix in fixes:
        change = fix["artifactChanges"][0]
        region = change["replacements"][0]["deletedRegion"]
        line = (poetry_project / change["artifactLocation"]["uri"].rsplit("/", 1)[1]).read_text().splitlines()[
            region["startLine"] - 1]
        # The region is the declared requirement itself, as the advice names it.
        assert line[region["startColumn"] - 1:region["endColumn"] - 1] in fix["description"]["text"]


def png_size(path):
    head = path.read_bytes()[:24]
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", head[16:24])


@pytest.mark.skipif(CHROMIUM is None, reason="chromium is not installed (apt-get install chromium)")
def test_the_html_report_in_a_headless_browser(shared_db, poetry_project, tmp_path):  # noqa: F811
    page = tmp_path / "report.html"
    assert run_scan(poetry_project, "--db", shared_db, "--format", "html", "--output", page).returncode == 1
    report = json.loads(run_scan(poetry_project, "--db", shared_db, "--format", "json").stdout)
    browser = [CHROMIUM, "--headless", "--disable-gpu", "--no-first-run", "--enable-logging=stderr", "--v=0",
               f"--user-data-dir={tmp_path / 'profile'}", "--window-size=1280,800"]
    if os.geteuid() == 0:
        browser.append("--no-sandbox")
    dom = subprocess.run([*browser, "--dump-dom", page.as_uri()], capture_output=True, text=True, timeout=120)
    console = [line for line in dom.stderr.splitlines() if ":CONSOLE" in line or "Uncaught" in line]
    assert console == []
    rows = re.findall(r'<tr class="finding" data-severity="[^"]*" data-id="([^"]*)"', dom.stdout)
    assert sorted(rows) == sorted(f["id"] for f in report["findings"])
    # The script ran: it shows the controls and counts the rows.
    assert f"{len(rows)} of {len(rows)} findings shown" in dom.stdout
    out = pathlib.Path(os.environ.get("QUORLEN_TEST_OUTPUT") or tmp_path)
    out.mkdir(parents=True, exist_ok=True)
    shot = out / "html-report-1280x800.png"
    subprocess.run([*browser, f"--screenshot={shot}", page.as_uri()], capture_output=True, timeout=120)
    assert png_size(shot) == (1280, 800)


class Terminal(io.StringIO):
    def isatty(self):
        return True


@pytest.mark.parametrize("stream, elapsed, shown", [
    (Terminal(), 0.5, False),  # quick work says nothing
    (Terminal(), 1.5, True),
    (io.StringIO(), 5.0, False),  # a pipe or a log never gets the line
])
def test_progress_appears_on_a_terminal_after_a_second(stream, elapsed, shown):
    now = [100.0]
    progress = Progress("checking packages", 10, stream=stream, clock=lambda: now[0])
    now[0] += elapsed
    progress.update(3)
    assert ("checking packages: 3/10" in stream.getvalue()) == shown
    progress.close()
    assert stream.getvalue().endswith("\r\033[K") == shown
