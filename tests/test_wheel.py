"""The package as users receive it: the source distribution, a wheel built from
it, and that wheel installed into a bare virtual environment that has no
compiler, no build tools and no system site-packages.

A green test run from the source tree cannot see a file missing from the
wheel; these tests can. The builds take about half a minute."""

import configparser
import csv
import importlib.util
import io
import json
import os
import pathlib
import re
import shutil
import sqlite3
import subprocess
import sys
import tarfile
import zipfile

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[1]
SYS_PY = "/usr/bin/python3"
# Everything that could compile or link code, or drive a build.
BUILD_TOOLS = ("cc", "c++", "gcc", "g++", "clang", "clang++", "ld", "as", "make", "meson", "ninja")


def _missing_tool():
    """Why the packaging tests cannot run here, or None when they can."""
    if shutil.which("git") is None or not (ROOT / ".git").exists():
        return "the source tree is not a git checkout (the source distribution is made from git)"
    if importlib.util.find_spec("mesonpy") is None:
        return "meson-python is not installed for this interpreter"
    if importlib.util.find_spec("pip") is None:
        return "pip is not installed for this interpreter"
    for tool in ("meson", "ninja"):
        if shutil.which(tool) is None:
            return f"{tool} is not on PATH"
    if not os.access(SYS_PY, os.X_OK):
        return f"{SYS_PY} is missing"
    if subprocess.run([SYS_PY, "-c", "import ensurepip, venv"], capture_output=True).returncode != 0:
        return f"{SYS_PY} cannot make virtual environments with pip (python3-venv)"
    return None


_why = _missing_tool()
pytestmark = pytest.mark.skipif(_why is not None, reason=_why or "")


def run(args, **kwargs):
    result = subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)
    assert result.returncode == 0, f"{args}: {result.stdout}\n{result.stderr}"
    return result.stdout


def git_files(*args):
    out = run(["git", "-c", "core.quotepath=off", *args], cwd=ROOT)
    return set(out.splitlines())


def committed_files(prefix="."):
    """The files of the last commit, which is what the source distribution holds."""
    return git_files("ls-tree", "-r", "--name-only", "HEAD", "--", prefix)


def working_files(prefix="."):
    """The files of the working tree that git does not ignore."""
    return git_files("ls-files", "--cached", "--others", "--exclude-standard", "--", prefix)


def project_version():
    """The version on meson.build's project line: the one place it is written."""
    m = re.search(r"^project\([^)]*?\bversion\s*:\s*'([^']+)'", (ROOT / "meson.build").read_text(), re.M | re.S)
    assert m, "meson.build names no project version"
    return m.group(1)


@pytest.fixture(scope="module")
def sdist(tmp_path_factory):
    out = tmp_path_factory.mktemp("sdist")
    code = "import sys, mesonpy; print(mesonpy.build_sdist(sys.argv[1]))"
    name = run([sys.executable, "-c", code, out], cwd=ROOT).strip().splitlines()[-1]
    return out / name


@pytest.fixture(scope="module")
def unpacked_sdist(sdist, tmp_path_factory):
    src = tmp_path_factory.mktemp("unpacked")
    with tarfile.open(sdist) as tar:
        for member in tar.getmembers():
            # Only plain files and folders, all inside the target folder.
            assert member.isfile() or member.isdir(), member.name
            assert not member.name.startswith("/") and ".." not in pathlib.PurePosixPath(member.name).parts
        tar.extractall(src)
    (top,) = src.iterdir()
    return top


@pytest.fixture(scope="module")
def wheel(unpacked_sdist, tmp_path_factory):
    """The wheel and the package files it must hold.

    scripts/test.sh builds the wheel from the working tree, installs it for the
    whole suite and names it in QUORLEN_WHEEL; without one, the wheel is built
    here from the source distribution, as pip builds one from an sdist."""
    prebuilt = os.environ.get("QUORLEN_WHEEL")
    if prebuilt:
        return pathlib.Path(prebuilt), working_files("quorlen")
    out = tmp_path_factory.mktemp("wheel")
    run([sys.executable, "-m", "pip", "wheel", "--no-build-isolation", "--no-deps", "--no-index", "-q",
         "-w", out, unpacked_sdist])
    (built,) = out.glob("*.whl")
    return built, committed_files("quorlen")


def shared_objects(folder):
    return {p for p in folder.rglob("*") if p.is_file() and (p.suffix == ".so" or ".so." in p.name)}


@pytest.fixture(scope="module")
def venv(wheel, tmp_path_factory):
    """A fresh environment with the wheel installed, the bare environment
    variables it was installed with, and the shared objects the install added."""
    env_dir = tmp_path_factory.mktemp("venv") / "env"
    run([SYS_PY, "-m", "venv", env_dir])
    bindir = env_dir / "bin"
    environ = {"PATH": str(bindir), "HOME": str(env_dir), "LC_ALL": "C.UTF-8"}
    before = shared_objects(env_dir)
    run([bindir / "python", "-m", "pip", "install", "-q", "--no-index", "--no-deps", "--disable-pip-version-check",
         wheel[0]], env=environ, cwd=env_dir)
    new = shared_objects(env_dir) - before
    return env_dir, environ, new


def wheel_record(wheel):
    with zipfile.ZipFile(wheel) as z:
        (record,) = [n for n in z.namelist() if n.endswith(".dist-info/RECORD")]
        return [row[0] for row in csv.reader(io.StringIO(z.read(record).decode()))]


def in_venv(venv, *args, stdin=None):
    env_dir, environ, _ = venv
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, input=stdin,
                          env=environ, cwd=env_dir)


# The source distribution

def test_sdist_holds_the_committed_tree_and_nothing_from_outside(sdist):
    with tarfile.open(sdist) as tar:
        members = tar.getmembers()
    top = sdist.name[: -len(".tar.gz")]
    files = set()
    for m in members:
        # A link could pull in files from beside the repository (../shared).
        assert m.isfile() or m.isdir(), f"{m.name} is not a plain file or folder"
        path = pathlib.PurePosixPath(m.name)
        assert path.parts[0] == top and ".." not in path.parts, m.name
        if m.isfile():
            files.add(str(path.relative_to(top)))
    assert files == committed_files() | {"PKG-INFO"}
    for name in ("LICENSE", "THIRD_PARTY_NOTICES.md", "meson.build", "pyproject.toml"):
        assert name in files


def test_sdist_configures_on_its_own(unpacked_sdist, tmp_path):
    # Every file meson.build names must be in the archive, or setup fails.
    run(["meson", "setup", tmp_path / "build", unpacked_sdist])
    assert (tmp_path / "build" / "build.ninja").is_file()


# The wheel's contents

def test_wheel_installs_every_package_file_of_the_source_tree(wheel):
    wheel, expected = wheel
    record = wheel_record(wheel)
    package = {n for n in record if n.startswith("quorlen/")}
    extensions = {n for n in package if re.fullmatch(r"quorlen/_quorlen\.cpython-[^/]+\.so", n)}
    assert len(extensions) == 1, package
    # Nothing missing, and nothing extra such as a stray __pycache__ folder.
    assert package - extensions == expected
    assert {"quorlen/py.typed", "quorlen/__init__.pyi", "quorlen/_quorlen.pyi"} <= package


def test_wheel_metadata_carries_the_licence_and_the_notices(wheel):
    wheel = wheel[0]
    version = project_version()
    distinfo = f"quorlen-{version}.dist-info"
    assert wheel.name.startswith(f"quorlen-{version}-")
    record = wheel_record(wheel)
    assert {n for n in record if not n.startswith("quorlen/")} == {
        f"{distinfo}/{n}" for n in ("METADATA", "WHEEL", "RECORD", "entry_points.txt", "LICENSE",
                                    "THIRD_PARTY_NOTICES.md")}
    with zipfile.ZipFile(wheel) as z:
        for name in ("LICENSE", "THIRD_PARTY_NOTICES.md"):
            assert z.read(f"{distinfo}/{name}") == (ROOT / name).read_bytes()
        meta = z.read(f"{distinfo}/METADATA").decode()
        entry_points = configparser.ConfigParser()
        entry_points.read_string(z.read(f"{distinfo}/entry_points.txt").decode())
    assert re.search(r"^Version: (.+)$", meta, re.M).group(1) == version
    assert re.search(r"^License: (.+)$", meta, re.M).group(1) == "MIT"
    assert entry_points["console_scripts"]["quorlen"] == "quorlen.cli:main"


# The wheel installed where nothing can be compiled

def test_install_compiles_nothing_and_needs_no_build_tools(venv, wheel):
    env_dir, environ, new_objects = venv
    for tool in BUILD_TOOLS:
        assert shutil.which(tool, path=environ["PATH"]) is None, tool
    assert "include-system-site-packages = false" in (env_dir / "pyvenv.cfg").read_text()
    # The one shared object in the environment that was not there before is the wheel's own.
    (extension,) = [n for n in wheel_record(wheel[0]) if n.endswith(".so")]
    assert {p.relative_to(p.parents[1]).as_posix() for p in new_objects} == {extension}


def test_installed_command_reports_the_one_version(venv):
    env_dir = venv[0]
    version = project_version()
    result = in_venv(venv, env_dir / "bin" / "quorlen", "--version")
    assert (result.returncode, result.stdout) == (0, f"quorlen {version}\n")
    code = ("import importlib.metadata, quorlen; "
            "print(quorlen.__version__, importlib.metadata.version('quorlen'), quorlen.__file__)")
    result = in_venv(venv, env_dir / "bin" / "python", "-I", "-c", code)
    assert result.returncode == 0, result.stderr
    own, metadata, location = result.stdout.split()
    assert own == metadata == version
    # The package under test is the installed one, not the source tree's.
    assert pathlib.Path(location).is_relative_to(env_dir)


def test_installed_command_compares_sorts_and_reads_osv_records(venv, tmp_path):
    quorlen = venv[0] / "bin" / "quorlen"
    # A SemVer pre-release orders before its release.
    result = in_venv(venv, quorlen, "compare", "1.0.0-rc.1", "1.0.0", "-e", "semver")
    assert (result.returncode, result.stdout) == (0, "-1\n")
    # PEP 440: a development release before its pre-releases, which come before the release.
    result = in_venv(venv, quorlen, "sort", "-e", "pep440", stdin="1.0\n1.0rc1\n1.0.dev1\n")
    assert (result.returncode, result.stdout) == (0, "1.0.dev1\n1.0rc1\n1.0\n")
    record = {"id": "TEST-2026-1", "modified": "2026-01-01T00:00:00Z",
              "affected": [{"package": {"ecosystem": "PyPI", "name": "demo"},
                            "ranges": [{"type": "ECOSYSTEM", "events": [{"introduced": "1.0"}, {"fixed": "1.5"}]}]}]}
    (tmp_path / "TEST-2026-1.json").write_text(json.dumps(record))
    for version, status, out in (("1.2", 0, "TEST-2026-1\n"), ("1.5", 1, ""), ("0.9", 1, "")):
        result = in_venv(venv, quorlen, "osv", tmp_path, "-e", "PyPI", "--package", "demo", "--version", version)
        assert (result.returncode, result.stdout) == (status, out), (version, result.stderr)


def test_installed_library_has_its_stubs_and_licence_files(venv):
    code = """
import importlib.metadata, json, pathlib, quorlen
folder = pathlib.Path(quorlen.__file__).parent
dist = importlib.metadata.distribution("quorlen")
print(json.dumps({
    "sorted": quorlen.sort_versions(["1.10", "1.9", "1.2"], "pep440"),
    "typing": sorted(p.name for p in folder.iterdir() if p.suffix in (".pyi", ".typed")),
    "licence": dist.read_text("LICENSE"),
    "notices": dist.read_text("THIRD_PARTY_NOTICES.md"),
}))
"""
    result = in_venv(venv, venv[0] / "bin" / "python", "-I", "-c", code)
    assert result.returncode == 0, result.stderr
    got = json.loads(result.stdout)
    assert got["sorted"] == ["1.2", "1.9", "1.10"]
    assert got["typing"] == ["__init__.pyi", "_quorlen.pyi", "py.typed"]
    assert got["licence"] == (ROOT / "LICENSE").read_text()
    assert got["notices"] == (ROOT / "THIRD_PARTY_NOTICES.md").read_text()


def test_installed_package_reads_its_bundled_advisories(venv, tmp_path):
    # The sample ships inside the package: the installed command builds an
    # index from it alone, and the index holds every record of the sample.
    code = """
import pathlib, sys, zipfile, quorlen.scan.database as db
sources = [pathlib.Path(str(s)) for s in db.sample_sources()]
assert sources and all(s.is_relative_to(pathlib.Path(sys.prefix)) for s in sources), sources
print(sum(len([n for n in zipfile.ZipFile(s).namelist() if n.endswith(".json")]) for s in sources))
"""
    result = in_venv(venv, venv[0] / "bin" / "python", "-I", "-c", code)
    assert result.returncode == 0, result.stderr
    members = int(result.stdout)
    index = tmp_path / "osv.sqlite3"
    built = in_venv(venv, venv[0] / "bin" / "quorlen", "db", "build", "--sample", "--db", str(index))
    assert built.returncode == 0, built.stderr
    with sqlite3.connect(index) as conn:
        (records,) = conn.execute("SELECT count(*) FROM records").fetchone()
    assert records == members > 0
