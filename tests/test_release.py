"""What a release states about itself: one version everywhere, and notices
for every file of others that the source distribution carries."""

import importlib.metadata
import pathlib
import re
import subprocess
import sys

import pytest

import quorlen

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent


def meson_project_version():
    m = re.search(r"^project\([^)]*?\bversion\s*:\s*'([^']+)'", (ROOT / "meson.build").read_text(), re.M | re.S)
    assert m, "meson.build names no project version"
    return m.group(1)


def test_command_library_and_build_agree_on_the_version():
    # From the tests folder: the source tree's quorlen/ must not shadow the package.
    result = subprocess.run([sys.executable, "-m", "quorlen", "--version"], capture_output=True, text=True, cwd=HERE)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == f"quorlen {meson_project_version()}\n"
    assert quorlen.__version__ == meson_project_version()


def test_package_metadata_carries_the_same_version():
    try:
        metadata = importlib.metadata.version("quorlen")
    except importlib.metadata.PackageNotFoundError:
        pytest.skip("quorlen runs from a build folder here, not from an installed distribution")
    assert metadata == quorlen.__version__


def test_notices_name_every_example_file():
    examples = ROOT / "examples"
    if not examples.is_dir():
        pytest.skip("no examples/ folder in this tree")
    shipped = {p.relative_to(ROOT).as_posix() for p in examples.rglob("*") if p.is_file() and p.name != "README.md"}
    named = set(re.findall(r"`(examples/[^`]+)`", (ROOT / "THIRD_PARTY_NOTICES.md").read_text()))
    assert shipped == named
