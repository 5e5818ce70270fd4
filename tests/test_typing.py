"""The typing stubs: they match the built module, and mypy reads them as intended."""

import importlib.util
import pathlib
import re
import subprocess
import sys

import pytest

import quorlen.cli
import quorlen.osvscan

HERE = pathlib.Path(__file__).resolve().parent
TYPING = HERE / "typing"

pytestmark = pytest.mark.skipif(importlib.util.find_spec("mypy") is None, reason="mypy is not installed")


def run_mypy_tool(args, cwd):
    # From a scratch folder: the source tree's quorlen/ has no extension and
    # must not stand in for the installed package.
    return subprocess.run([sys.executable, "-m", *args], cwd=cwd, capture_output=True, text=True)


def test_stubs_match_the_built_module(tmp_path):
    result = run_mypy_tool(["mypy.stubtest", "quorlen"], tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def _errors_by_line(output, path):
    lines = set()
    for line in output.splitlines():
        m = re.match(re.escape(str(path)) + r":(\d+): error:", line)
        if m:
            lines.add(int(m.group(1)))
    return lines


def test_strict_mypy_accepts_typed_use_and_the_cli_and_rejects_misuse(tmp_path):
    usage, misuse, scan_usage = TYPING / "usage.py", TYPING / "misuse.py", TYPING / "scan_usage.py"
    result = run_mypy_tool(
        ["mypy", "--strict", "--cache-dir", str(tmp_path / "cache"), "--no-error-summary",
         str(usage), str(misuse), str(scan_usage), quorlen.cli.__file__, quorlen.osvscan.__file__],
        tmp_path,
    )
    assert "error: " in result.stdout, result.stdout + result.stderr  # mypy ran and reported
    assert _errors_by_line(result.stdout, usage) == set(), result.stdout
    assert _errors_by_line(result.stdout, scan_usage) == set(), result.stdout
    marked = {n for n, text in enumerate(misuse.read_text().splitlines(), 1) if re.search(r"#\s*E\b", text)}
    assert _errors_by_line(result.stdout, misuse) == marked, result.stdout
    # Nothing else may fail: not the command line modules, not the stubs.
    others = [line for line in result.stdout.splitlines()
              if ": error:" in line and not line.startswith((str(usage), str(misuse)))]
    assert others == []
