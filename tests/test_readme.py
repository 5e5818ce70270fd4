"""The README's examples: its Python sessions run as doctests, its console sessions as shell commands."""

import doctest
import os
import pathlib
import re
import subprocess
import sys

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
README = ROOT / "README.md"
FENCE = re.compile(r"^```(\w+)\n(.*?)^```\s*$", re.M | re.S)


def blocks(language):
    text = README.read_text(encoding="utf-8")
    for m in FENCE.finditer(text):
        if m.group(1) == language:
            yield text.count("\n", 0, m.start()) + 2, m.group(2)


PYTHON = list(blocks("python"))
CONSOLE = list(blocks("console"))


def test_the_readme_has_examples():
    assert len(PYTHON) >= 10 and len(CONSOLE) >= 1


@pytest.mark.parametrize("line, source", PYTHON, ids=[f"line{line}" for line, _ in PYTHON])
def test_python_examples(line, source):
    test = doctest.DocTestParser().get_doctest(source, {}, f"README.md:{line}", str(README), line)
    assert test.examples, "a python block without >>> examples"
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS | doctest.NORMALIZE_WHITESPACE)
    out = []
    result = runner.run(test, out=out.append)
    assert result.failed == 0, "".join(out)


def sessions(source):
    """(command, expected output) pairs of a console block."""
    pairs = []
    for chunk in re.split(r"^\$ ", source, flags=re.M)[1:]:
        command, _, output = chunk.partition("\n")
        pairs.append((command, output))
    return pairs


CONSOLE_RUNS = [(line, cmd, out) for line, source in CONSOLE for cmd, out in sessions(source)]


@pytest.mark.parametrize("line, command, expected", CONSOLE_RUNS, ids=[c for _, c, _ in CONSOLE_RUNS])
def test_console_examples(line, command, expected):
    if "osv-pypi" in command and not (ROOT.parent / "shared" / "data" / "osv-pypi").is_dir():
        pytest.skip("the shared advisory records are not present")
    # The installed command comes first on PATH; the project folder is the
    # working directory, as in the README.
    env = dict(os.environ, PATH=f"{pathlib.Path(sys.executable).parent}{os.pathsep}{os.environ.get('PATH', '')}")
    result = subprocess.run(["bash", "-c", "set -o pipefail; " + command], capture_output=True, text=True,
                            cwd=ROOT, env=env)
    assert (result.returncode, result.stdout, result.stderr) == (0, expected, "")
